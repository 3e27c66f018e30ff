// Writes Impulse Tracker (.it) modules: instrument mode, 16-bit signed mono
// samples, packed patterns. Used by the data-set generator and by tests to
// build tiny fixture modules.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace gf::itw {

// Note values of a pattern cell (IT numbering: 0 = C-0, 60 = C-5, 119 = B-9).
constexpr int kNoNote = -1;     // cell has no note
constexpr int kNoteOff = 255;   // ===
constexpr int kNoteCut = 254;   // ^^^
constexpr int kNoteFade = 246;  // ~~~ (any value 120..253 fades)
constexpr int kMiddleC = 60;

// Effect letters as IT stores them: A = 1, B = 2, ... (e.g. 'S' - 'A' + 1 = 19 for SDx note delay).
constexpr int effect(char letter) { return letter - 'A' + 1; }

struct Cell {
    int note = kNoNote;
    int instrument = 0;  // 0 = none (1-based otherwise)
    int volume = -1;     // -1 = none, else 0..64 (set volume)
    int effect = 0;      // 0 = none
    int param = 0;
};

struct Pattern {
    int rows = 64;  // 32..200
    // cells[row][channel]; channels beyond the vector are empty.
    std::vector<std::vector<Cell>> cells;

    explicit Pattern(int row_count = 64, int channels = 8);
    Cell& at(int row, int channel);
};

struct EnvelopeNode {
    int tick = 0;   // 0..9999
    int value = 0;  // 0..64 for volume
};

struct Envelope {
    bool enabled = false;
    bool loop = false;
    bool sustain = false;
    int loop_begin = 0, loop_end = 0;
    int sustain_begin = 0, sustain_end = 0;
    std::vector<EnvelopeNode> nodes;  // at most 25
};

struct Instrument {
    std::string name;
    int sample = 1;        // every note plays this sample (1-based)
    int fadeout = 256;     // 0..1024 (IT stores 0..256 × ... as the tracker does)
    int global_volume = 128;
    int default_pan = -1;  // -1 = off, else 0..64
    int new_note_action = 0;  // 0 cut, 1 continue, 2 note off, 3 note fade
    Envelope volume_envelope;
};

struct Sample {
    std::string name;
    std::vector<int16_t> data;  // 16-bit signed mono
    int c5_speed = 44100;       // playback rate of C-5
    int default_volume = 64;    // 0..64
    int global_volume = 64;     // 0..64
    bool loop = false;
    uint32_t loop_begin = 0, loop_end = 0;
};

struct Module {
    std::string title;
    std::string message;        // song message (credits)
    int channels = 8;           // channels used by patterns (1..64)
    int initial_speed = 6;
    int initial_tempo = 125;
    int global_volume = 128;
    int mix_volume = 48;
    std::vector<int> orders;    // pattern indices; 254 (skip) and 255 (end) allowed
    std::vector<Pattern> patterns;
    std::vector<Instrument> instruments;
    std::vector<Sample> samples;
};

// Serialises the module. Same input, same bytes.
std::vector<uint8_t> write_it(const Module& module);

}  // namespace gf::itw
