// Writes Impulse Tracker (.it) modules: instrument mode, 16-bit signed mono
// samples, packed patterns. Used by the data-set generator and by tests to
// build tiny fixture modules. The file claims Impulse Tracker 2.14 (Cwt = Cmwt
// = 0x0214), which libopenmpt and libxmp both read as instrument-mode IT.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/status.h"

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
    int volume = -1;     // -1 = none, else 0..64 (set volume); the other IT volume-column
                         // codes pass through: 65..124 slides, 128..192 panning, 193..212 G/H
    int effect = 0;      // 0 = none
    int param = 0;
};

struct Pattern {
    int rows = 64;  // 1..200 (Impulse Tracker's own editor makes 32..200)
    // cells[row][channel]; channels beyond the vector are empty.
    std::vector<std::vector<Cell>> cells;

    explicit Pattern(int row_count = 64, int channels = 8);
    // The cell at (row, channel); widens the row when the channel lies beyond it.
    // Throws std::out_of_range for a row outside the pattern or a channel outside 0..63.
    Cell& at(int row, int channel);
};

struct EnvelopeNode {
    int tick = 0;   // 0..9999
    int value = 0;  // 0..64 for volume; −32..32 for panning (left..right) and pitch (half-semitones)
};

struct Envelope {
    bool enabled = false;
    bool loop = false;
    bool sustain = false;
    int loop_begin = 0, loop_end = 0;
    int sustain_begin = 0, sustain_end = 0;
    std::vector<EnvelopeNode> nodes;  // at most 25
};

// A key range of a multi-sampled instrument: notes up to and including
// `top_note` (and above the previous zone's top) play `sample` (1-based).
struct KeyZone {
    int top_note = 119;
    int sample = 1;
};

struct Instrument {
    std::string name;
    int sample = 1;              // every note plays this sample (1-based) when `zones` is empty
    std::vector<KeyZone> zones;  // otherwise in rising order of top_note; notes above the last zone play it
    // After a note-off (once the envelope has no sustain left) the note's fade
    // volume, 1024 at full, drops by this much every tick. 0..1024 is accepted;
    // IT stores at most 256 (gone in 4 ticks), so larger values are written as 256.
    int fadeout = 256;
    int global_volume = 128;
    int default_pan = -1;     // -1 = off, else 0..64
    int new_note_action = 0;  // 0 cut, 1 continue, 2 note off, 3 note fade
    Envelope volume_envelope;
    Envelope pan_envelope;    // offsets the pan by −32..32
    Envelope pitch_envelope;  // offsets the pitch by −32..32 half-semitones
};

struct Sample {
    std::string name;
    std::vector<int16_t> data;  // 16-bit signed mono
    int c5_speed = 44100;       // playback rate of C-5
    int default_volume = 64;    // 0..64
    int global_volume = 64;     // 0..64
    bool loop = false;
    uint32_t loop_begin = 0, loop_end = 0;  // loop_end is the first sample after the loop
    // Automatic vibrato applied by the player to every note of this sample.
    int vibrato_speed = 0;  // 0..64
    int vibrato_depth = 0;  // 0..64
    int vibrato_rate = 0;   // 0..64: how fast the depth sweeps in
    int vibrato_type = 0;   // 0 sine, 1 ramp down, 2 square, 3 random
};

struct Module {
    std::string title;
    std::string message;  // song message (credits)
    int channels = 8;     // channels used by patterns (1..64)
    int initial_speed = 6;
    int initial_tempo = 125;
    int global_volume = 128;
    int mix_volume = 48;
    std::vector<int> orders;  // pattern indices; 254 (skip) and 255 (end) allowed
    // Initial panning of channel i (0 left .. 64 right); channels without an entry are centred.
    std::vector<int> channel_pan;
    std::vector<Pattern> patterns;
    std::vector<Instrument> instruments;
    std::vector<Sample> samples;
};

// Succeeds when the module can be written; otherwise fails with one line naming
// the first field that is out of range (e.g. "pattern 2, row 5, channel 3:
// instrument 14 does not exist (the module has 13)").
Status check_module(const Module& module);

// Serialises the module. Same input, same bytes. Throws std::invalid_argument
// with the message of check_module when the module cannot be written.
std::vector<uint8_t> write_it(const Module& module);

}  // namespace gf::itw
