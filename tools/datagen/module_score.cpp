// The arrangement of "xmas.it": two public-domain carols, "Deck the Halls"
// and the chorus of "Jingle Bells", over a chord plan of two chords a bar.
// 17 orders of four 4/4 bars (8 rows a beat). The scene timeline keys its
// scenes to these orders, so the sections follow it:
//   0      intro: choir and bells; four sleigh-bell accents in rows 0..63
//   1      build-up: the first phrase of "Deck the Halls" on bells
//   2..3   the beat starts (kick every beat); the lead takes the tune
//   4..5   full groove: second half of the tune
//   6..7a  main theme, sleigh bells every half bar
//   7b     breakdown: no drums, sleigh-bell hits on rows 92, 96, ..., 124
//   8      calm: "Jingle Bells" on bells
//   9..11  climax in A: "Jingle Bells", sleigh bells on every beat
//   12..13 heavy drums
//   14     reprise of the last phrase of "Deck the Halls"
//   15     outro hits
//   16     a last chord that rings out
#include <algorithm>
#include <array>
#include <vector>

#include "datagen/module.h"

namespace gf::datagen {

namespace {

using itw::Cell;
using itw::Pattern;

constexpr int kBar = 32;
constexpr int kHalfBar = 16;
constexpr int kBeat = kXmasRowsPerBeat;
constexpr int kSongRows = kXmasOrders * kXmasRows;

constexpr int pos(int order, int row = 0) { return order * kXmasRows + row; }

// Channels.
constexpr int kChLead = 0;
constexpr int kChHarmony = 1;
constexpr int kChBells = 2;
constexpr int kChArp = 3;
constexpr int kChBass = 4;
constexpr int kChPad = 5;    // 5, 6, 7
constexpr int kChChoir = 8;  // 8, 9
constexpr int kChKick = 10;  // also the toms
constexpr int kChSnare = 11;
constexpr int kChHat = 12;
constexpr int kChCrash = 13;
constexpr int kChSleigh = 14;
constexpr int kChStab = 15;
constexpr std::array<int, 3> kPadChannels = {kChPad, kChPad + 1, kChPad + 2};
constexpr std::array<int, 2> kChoirChannels = {kChChoir, kChChoir + 1};
constexpr std::array<int, 3> kStabChannels = {kChLead, kChHarmony, kChStab};

constexpr int kDrumNote = 60;  // drums and sleigh bells play at their recorded pitch

// Pitches of the tunes as written in C major (60 = middle C); each section transposes them.
constexpr int B3 = 59, C4 = 60, D4 = 62, E4 = 64, F4 = 65, Fs4 = 66, G4 = 67, A4 = 69, B4 = 71, C5 = 72;
constexpr int kToG = 7;  // orders 0..8 are in G major
constexpr int kToA = 9;  // from the climax on, A major

struct Step {
    int note;
    int rows;
};
using Tune = std::vector<Step>;

// "Deck the Halls" (traditional Welsh), four bars a phrase.
const Tune kDeckOpening = {{G4, 12}, {F4, 4}, {E4, 8}, {D4, 8},  {C4, 8}, {D4, 8}, {E4, 8}, {C4, 8}, {D4, 4},
                           {E4, 4},  {F4, 4}, {D4, 4}, {E4, 12}, {D4, 4}, {C4, 8}, {B3, 8}, {C4, 16}};
const Tune kDeckMiddle = {{D4, 12}, {E4, 4}, {F4, 8}, {D4, 8}, {E4, 12}, {F4, 4}, {G4, 8}, {D4, 8}, {E4, 4},
                          {Fs4, 4}, {G4, 8}, {A4, 4}, {B4, 4}, {C5, 8},  {B4, 8}, {A4, 8}, {G4, 16}};
const Tune kDeckClosing = {{G4, 12}, {F4, 4}, {E4, 8}, {D4, 8},  {C4, 8}, {D4, 8}, {E4, 8}, {C4, 8}, {A4, 4},
                           {A4, 4},  {A4, 4}, {A4, 4}, {G4, 12}, {F4, 4}, {E4, 8}, {D4, 8}, {C4, 16}};
// The closing "fa la la" bars alone.
const Tune kDeckTag = {{A4, 4}, {A4, 4}, {A4, 4}, {A4, 4}, {G4, 12}, {F4, 4}, {E4, 8}, {D4, 8}, {C4, 16}};

// Chorus of "Jingle Bells" (James Lord Pierpont, 1857).
const Tune kJingleFirst = {{E4, 8}, {E4, 8}, {E4, 16}, {E4, 8}, {E4, 8}, {E4, 16},
                           {E4, 8}, {G4, 8}, {C4, 12}, {D4, 4}, {E4, 32}};
const Tune kJingleSecond = {{F4, 8}, {F4, 8}, {F4, 12}, {F4, 4}, {F4, 8}, {E4, 8},  {E4, 8}, {E4, 4},
                            {E4, 4}, {E4, 8}, {D4, 8},  {D4, 8}, {E4, 8}, {D4, 16}, {G4, 16}};
const Tune kJingleLast = {{F4, 8}, {F4, 8}, {F4, 8}, {F4, 8}, {F4, 8}, {E4, 8}, {E4, 8},
                          {E4, 4}, {E4, 4}, {G4, 8}, {G4, 8}, {F4, 8}, {D4, 8}, {C4, 32}};

enum class Quality { Major, Minor, Dominant7 };
struct Chord {
    int root;  // pitch class in C major: C = 0 .. B = 11
    Quality quality;
};
constexpr Chord C{0, Quality::Major}, Dm{2, Quality::Minor}, Em{4, Quality::Minor}, F{5, Quality::Major},
    G{7, Quality::Major}, G7{7, Quality::Dominant7}, Am{9, Quality::Minor}, D7{2, Quality::Dominant7},
    A7{9, Quality::Dominant7};

// Two chords a bar, eight an order, as degrees of C major; `key` moves them.
struct Section {
    int key;
    std::array<Chord, 8> chords;
};
const std::array<Section, kXmasOrders> kPlan = {{
    {kToG, {C, C, F, F, Am, Am, G, G}},    // 0 intro
    {kToG, {C, Am, F, C, Dm, C, G, C}},    // 1 build-up
    {kToG, {C, Am, F, C, Dm, C, G, C}},    // 2
    {kToG, {C, Am, F, C, Dm, C, G, C}},    // 3
    {kToG, {G, G7, C, G, Em, D7, G, G7}},  // 4
    {kToG, {C, Am, F, C, F, G7, C, C}},    // 5
    {kToG, {C, Am, F, C, Dm, C, G, C}},    // 6 main theme
    {kToG, {F, G7, C, C, Am, Am, G, G}},   // 7 tag, breakdown
    {kToG, {C, C, Am, Am, C, G, C, A7}},   // 8 calm; A7 here is E7 of the next key
    {kToA, {C, C, Am, Am, C, G, C, C}},    // 9 climax
    {kToA, {F, F, C, C, D7, D7, G, G7}},   // 10
    {kToA, {F, F, C, C, G7, G7, C, C}},    // 11
    {kToA, {Am, Am, F, F, C, C, G, G}},    // 12 heavy drums
    {kToA, {Am, Am, F, F, C, C, G, G}},    // 13
    {kToA, {C, Am, F, C, F, G7, C, C}},    // 14 reprise
    {kToA, {F, F, G, G, Am, Am, G7, G7}},  // 15 outro hits
    {kToA, {C, C, C, C, C, C, C, C}},      // 16 last chord
}};

int key_at(int at) { return kPlan[at / kXmasRows].key; }
Chord chord_at(int at) { return kPlan[at / kXmasRows].chords[(at % kXmasRows) / kHalfBar]; }

std::vector<int> chord_tones(const Chord& chord) {
    switch (chord.quality) {
        case Quality::Major:
            return {0, 4, 7};
        case Quality::Minor:
            return {0, 3, 7};
        case Quality::Dominant7:
            return {0, 4, 7, 10};
    }
    return {0, 4, 7};
}

int wrap12(int value) { return ((value % 12) + 12) % 12; }

// The pitch of pitch class `pc` inside [low, low + 12).
int place(int pc, int low) { return low + wrap12(pc - low); }

// Close voicing of three notes inside [low, low + 12); a seventh chord drops its root.
std::array<int, 3> voicing(const Chord& chord, int key, int low) {
    std::vector<int> tones = chord_tones(chord);
    if (tones.size() == 4) tones.erase(tones.begin());
    std::array<int, 3> notes{};
    for (int i = 0; i < 3; ++i) notes[i] = place(chord.root + tones[i] + key, low);
    std::sort(notes.begin(), notes.end());
    return notes;
}

constexpr int kBassLow = 31;  // bass roots lie in G1..F#2

int bass_root(int at) { return place(chord_at(at).root + key_at(at), kBassLow); }

class Score {
public:
    Score() : patterns_(kXmasOrders, Pattern(kXmasRows, kXmasChannels)) {}

    void note(int at, int channel, int pitch, int instrument, int volume) {
        if (at < 0 || at >= kSongRows) return;
        Cell& cell = patterns_[at / kXmasRows].at(at % kXmasRows, channel);
        cell.note = pitch;
        cell.instrument = instrument;
        cell.volume = volume;
    }

    // A note-off where nothing else starts.
    void off(int at, int channel) {
        if (at < 0 || at >= kSongRows) return;
        Cell& cell = patterns_[at / kXmasRows].at(at % kXmasRows, channel);
        if (cell.note == itw::kNoNote) cell.note = itw::kNoteOff;
    }

    // Empties a cell that an earlier, broader pass filled.
    void clear(int at, int channel) {
        if (at < 0 || at >= kSongRows) return;
        patterns_[at / kXmasRows].at(at % kXmasRows, channel) = Cell{};
    }

    void effect(int at, int channel, char letter, int param) {
        Cell& cell = patterns_[at / kXmasRows].at(at % kXmasRows, channel);
        cell.effect = itw::effect(letter);
        cell.param = param;
    }

    std::vector<Pattern> take() { return std::move(patterns_); }

    // A tune from `at`, transposed by `shift`; each note holds until the next.
    // Returns the row after the last note, where a note-off ends the line.
    int melody(int at, int channel, int instrument, const Tune& tune, int shift, int volume) {
        for (const Step& step : tune) {
            note(at, channel, step.note + shift, instrument, volume);
            at += step.rows;
        }
        off(at, channel);
        return at;
    }

    // A second voice under a tune: for each note the highest tone of the
    // chord sounding there that lies at least a minor third below it.
    void harmony(int at, int channel, int instrument, const Tune& tune, int shift, int volume) {
        for (const Step& step : tune) {
            const Chord chord = chord_at(at);
            const int key = key_at(at);
            // The chord in the tune's own C major: shift the melody back into it.
            const int melody = step.note + shift - key;
            int best = melody - 12;
            for (int tone : chord_tones(chord)) {
                for (int pitch = place(chord.root + tone, melody - 15); pitch <= melody - 3; pitch += 12) {
                    best = std::max(best, pitch);
                }
            }
            note(at, channel, best + key, instrument, volume);
            at += step.rows;
        }
        off(at, channel);
    }

    // Sustained chords on several channels from `from` to `to`: a voice is
    // struck only when its pitch changes; all are released at `to`.
    template <size_t N>
    void chords(int from, int to, const std::array<int, N>& channels, int instrument, int low, int volume) {
        std::array<int, N> sounding{};
        sounding.fill(-1);
        for (int at = from; at < to; at += kHalfBar) {
            const std::array<int, 3> notes = voicing(chord_at(at), key_at(at), low);
            for (size_t i = 0; i < N; ++i) {
                const int pitch = notes[3 - N + i];  // the top N notes of the voicing
                if (pitch != sounding[i]) {
                    note(at, channels[i], pitch, instrument, volume);
                    sounding[i] = pitch;
                }
            }
        }
        for (int channel : channels) off(to, channel);
    }

    // Bass: the root held for each chord (struck again at every bar line).
    void bass_long(int from, int to, int volume) {
        int sounding = -1;
        for (int at = from; at < to; at += kHalfBar) {
            const int root = bass_root(at);
            if (root != sounding || at % kBar == 0) note(at, kChBass, root, xmas::kBass, volume);
            sounding = root;
        }
        off(to, kChBass);
    }

    // Bass in eighths, root and octave in turn.
    void bass_pulse(int from, int to, int volume) {
        for (int at = from; at < to; at += 4) {
            const int root = bass_root(at);
            const bool upbeat = (at / 4) % 2 == 1;
            note(at, kChBass, upbeat ? root + 12 : root, xmas::kBass, upbeat ? volume - 8 : volume);
        }
        off(to, kChBass);
    }

    // Bass groove for each half bar: root (dotted), root, octave, fifth.
    void bass_groove(int from, int to, int volume) {
        static constexpr int kRow[] = {0, 6, 8, 12};
        static constexpr int kInterval[] = {0, 0, 12, 7};
        static constexpr int kAccent[] = {0, -14, -4, -8};
        for (int at = from; at < to; at += kHalfBar) {
            const int root = bass_root(at);
            for (int i = 0; i < 4; ++i)
                note(at + kRow[i], kChBass, root + kInterval[i], xmas::kBass, volume + kAccent[i]);
        }
        off(to, kChBass);
    }

    // Broken chords: `step` rows a note, rising through the voicing and its octave.
    void arpeggio(int from, int to, int channel, int low, int step, int volume) {
        for (int at = from; at < to; at += step) {
            const std::array<int, 3> notes = voicing(chord_at(at), key_at(at), low);
            const int sequence[] = {notes[0],      notes[1],      notes[2], notes[0] + 12,
                                    notes[1] + 12, notes[0] + 12, notes[2], notes[1]};
            const int index = ((at % kBar) / step) % 8;
            note(at, channel, sequence[index], xmas::kBells, volume);
        }
    }

    void kick(int at, int volume) { note(at, kChKick, kDrumNote, xmas::kKick, volume); }
    void snare(int at, int volume) { note(at, kChSnare, kDrumNote, xmas::kSnare, volume); }
    void hat(int at, int volume) { note(at, kChHat, kDrumNote, xmas::kClosedHat, volume); }
    void open_hat(int at, int volume) { note(at, kChHat, kDrumNote, xmas::kOpenHat, volume); }
    void crash(int at, int volume) { note(at, kChCrash, kDrumNote, xmas::kCrash, volume); }
    void tom(int at, int pitch, int volume) { note(at, kChKick, pitch, xmas::kTom, volume); }
    void sleigh(int at, int volume) { note(at, kChSleigh, kDrumNote, xmas::kSleighBells, volume); }

    // Snare notes every `step` rows from `from` to `to`, growing louder.
    void snare_roll(int from, int to, int step, int volume_from, int volume_to) {
        const int count = (to - from) / step;
        for (int i = 0; i < count; ++i) {
            snare(from + i * step, volume_from + (volume_to - volume_from) * i / std::max(count - 1, 1));
        }
    }

    // Four on the floor with snare on two and four, hats on eighths.
    void beat_basic(int order) {
        for (int bar = 0; bar < 4; ++bar) {
            const int at = pos(order, bar * kBar);
            for (int beat = 0; beat < 4; ++beat) kick(at + beat * kBeat, 58);
            snare(at + 8, 52);
            snare(at + 24, 52);
            for (int row = 0; row < kBar; row += 4) hat(at + row, row % 8 == 4 ? 30 : 18);
        }
    }

    // The full groove: a pushed kick, ghost snares, sixteenth hats, an open
    // hat in the third bar and a crash at the top of the order.
    void beat_full(int order) {
        crash(pos(order), 44);
        for (int bar = 0; bar < 4; ++bar) {
            const int at = pos(order, bar * kBar);
            for (int beat = 0; beat < 4; ++beat) kick(at + beat * kBeat, 60);
            if (bar % 2 == 1) kick(at + 22, 44);
            snare(at + 8, 56);
            snare(at + 24, 56);
            if (bar % 2 == 0) snare(at + 30, 18);
            static constexpr int kHatVolume[] = {30, 14, 22, 14};
            for (int row = 0; row < kBar; row += 2) hat(at + row, kHatVolume[(row / 2) % 4]);
            if (bar == 2) open_hat(at + 12, 30);
        }
    }

    // Heavy drums: syncopated kicks, loud backbeat, open hats on the
    // off-beats and a crash on every bar.
    void beat_heavy(int order) {
        for (int bar = 0; bar < 4; ++bar) {
            const int at = pos(order, bar * kBar);
            crash(at, bar == 0 ? 46 : 34);
            for (int row : {0, 6, 16, 22}) kick(at + row, 62);
            if (bar % 2 == 1) kick(at + 28, 50);
            snare(at + 8, 62);
            snare(at + 24, 62);
            if (bar == 3) snare(at + 30, 40);
            for (int row = 4; row < kBar; row += 8) open_hat(at + row, 28);
            for (int row = 0; row < kBar; row += 8) hat(at + row, 20);
        }
    }

private:
    std::vector<Pattern> patterns_;
};

constexpr int kPadLow = 55;    // strings voiced in G3..F#4
constexpr int kChoirLow = 62;  // choir in D4..C#5 (the top two notes of the voicing)
constexpr int kArpLow = 67;    // broken chords from G4
constexpr int kTwinkleLow = 79;
constexpr int kOctave = 12;

void intro(Score& score) {
    // Order 0: strings and choir fade in; four quiet sleigh-bell shakes, one
    // each half bar of the first two bars; bells twinkle, then quicken.
    for (int row : {0, 16, 32, 48}) score.sleigh(pos(0, row), 30);
    score.arpeggio(pos(0), pos(0, 64), kChBells, kTwinkleLow, 8, 22);
    score.arpeggio(pos(0, 64), pos(1), kChBells, kTwinkleLow, 4, 26);
    score.bass_long(pos(0, 64), pos(1, 64), 42);
    for (int row = 96; row < kXmasRows; row += 8) score.hat(pos(0, row + 4), 14);

    // Order 1: the first phrase of "Deck the Halls" on bells while the
    // drums build: a kick on each bar, every beat in the last bar, a snare roll.
    score.melody(pos(1), kChBells, xmas::kBells, kDeckOpening, kToG + kOctave, 42);
    score.bass_pulse(pos(1, 64), pos(2), 44);
    for (int row : {0, 32, 64, 96, 104, 112, 120}) score.kick(pos(1, row), 56);
    for (int row = 0; row < kXmasRows; row += 4) score.hat(pos(1, row), row % 8 == 4 ? 24 : 14);
    score.snare_roll(pos(1, 112), pos(2), 2, 14, 50);
}

void deck_the_halls(Score& score) {
    // Orders 2..3: the beat starts; the lead plays the opening phrase twice.
    for (int order : {2, 3}) {
        score.beat_basic(order);
        score.melody(pos(order), kChLead, xmas::kLead, kDeckOpening, kToG, 50);
    }
    score.harmony(pos(3), kChHarmony, xmas::kLead, kDeckOpening, kToG, 28);
    score.crash(pos(2), 44);
    score.bass_pulse(pos(2), pos(4), 48);
    score.arpeggio(pos(2), pos(4), kChArp, kArpLow, 4, 18);
    score.snare_roll(pos(3, 120), pos(4), 2, 30, 48);

    // Orders 4..5: full groove, second half of the tune with harmony.
    score.beat_full(4);
    score.beat_full(5);
    score.melody(pos(4), kChLead, xmas::kLead, kDeckMiddle, kToG, 52);
    score.harmony(pos(4), kChHarmony, xmas::kLead, kDeckMiddle, kToG, 30);
    score.melody(pos(5), kChLead, xmas::kLead, kDeckClosing, kToG, 52);
    score.harmony(pos(5), kChHarmony, xmas::kLead, kDeckClosing, kToG, 30);
    score.bass_groove(pos(4), pos(6), 50);
    score.arpeggio(pos(4), pos(6), kChArp, kArpLow, 2, 16);
    score.snare_roll(pos(5, 112), pos(6), 2, 24, 54);
}

void main_theme(Score& score) {
    // Order 6 and the first half of 7: the tune in full dress, bells an
    // octave up, sleigh bells every half bar (each advances the picture band).
    score.beat_full(6);
    score.beat_full(7);
    for (int at = pos(6); at < pos(7, 64); at += kHalfBar) score.sleigh(at, 36);
    score.melody(pos(6), kChLead, xmas::kLead, kDeckOpening, kToG, 54);
    score.harmony(pos(6), kChHarmony, xmas::kLead, kDeckOpening, kToG, 32);
    score.melody(pos(6), kChBells, xmas::kBells, kDeckOpening, kToG + kOctave, 30);
    score.melody(pos(7), kChLead, xmas::kLead, kDeckTag, kToG, 54);
    score.harmony(pos(7), kChHarmony, xmas::kLead, kDeckTag, kToG, 32);
    score.melody(pos(7), kChBells, xmas::kBells, kDeckTag, kToG + kOctave, 30);
    score.bass_groove(pos(6), pos(7, 64), 50);
    score.arpeggio(pos(6), pos(7, 64), kChArp, kArpLow, 4, 18);
}

void breakdown(Score& score) {
    // Second half of order 7: the drums drop out under the TV noise; the
    // sleigh bells strike on every flash row, 92 to 124, growing louder. The
    // first is held back one tick (SD1) so that it comes after the frame that
    // opens row 92 has re-armed the flash.
    const int first = pos(7, 64);
    for (int at = first; at < pos(8); ++at) {
        // Clear the groove that beat_full wrote into the second half.
        for (int channel : {kChKick, kChSnare, kChHat, kChCrash}) score.clear(at, channel);
    }
    score.crash(first, 40);
    score.bass_long(first, pos(8), 40);
    for (int i = 0; i < 8; ++i) {
        // Falling broken chords on the bells, one every beat.
        const int at = first + i * kBeat;
        const std::array<int, 3> notes = voicing(chord_at(at), key_at(at), kTwinkleLow);
        score.note(at, kChBells, notes[2 - i % 3], xmas::kBells, 30);
    }
    for (int row = 92; row <= 124; row += 4) score.sleigh(pos(7, row), 24 + (row - 92));
    score.effect(pos(7, 92), kChSleigh, 'S', 0xD1);
    score.snare_roll(pos(7, 112), pos(8), 2, 10, 36);
}

void calm(Score& score) {
    // Order 8: "Jingle Bells" on the bells over strings and choir, quiet hats,
    // and a roll in the last beat into the climax.
    score.melody(pos(8), kChBells, xmas::kBells, kJingleFirst, kToG + kOctave, 46);
    score.bass_long(pos(8), pos(9), 40);
    for (int row = 32; row < 120; row += 8) score.hat(pos(8, row + 4), 14);
    score.kick(pos(8, 112), 44);
    score.snare_roll(pos(8, 120), pos(9), 2, 24, 50);
}

void climax(Score& score) {
    // Orders 9..11 in A: the chorus with harmony and bells, sleigh bells on
    // every beat (each one switches the sub-scene), a "hey!" stab.
    const Tune* tunes[] = {&kJingleFirst, &kJingleSecond, &kJingleLast};
    for (int i = 0; i < 3; ++i) {
        const int order = 9 + i;
        score.beat_full(order);
        score.crash(pos(order, 64), 38);
        score.melody(pos(order), kChLead, xmas::kLead, *tunes[i], kToA, 54);
        score.harmony(pos(order), kChHarmony, xmas::kLead, *tunes[i], kToA, 32);
        score.melody(pos(order), kChBells, xmas::kBells, *tunes[i], kToA + kOctave, 28);
        for (int row = 0; row < kXmasRows; row += kBeat) score.sleigh(pos(order, row), row % kHalfBar == 0 ? 36 : 28);
    }
    score.bass_groove(pos(9), pos(12), 52);
    score.arpeggio(pos(9), pos(12), kChArp, kArpLow, 2, 14);
    score.note(pos(10, 112), kChStab, voicing(G, kToA, 64)[2], xmas::kStab, 44);
    score.crash(pos(10, 112), 40);
    score.snare_roll(pos(11, 112), pos(12), 2, 30, 58);
}

void heavy(Score& score) {
    // Orders 12..13: heavy drums, string stabs on the off-beats of two and
    // four, sixteenth bells; a tom fill at the end.
    score.beat_heavy(12);
    score.beat_heavy(13);
    score.bass_pulse(pos(12), pos(14), 52);
    score.arpeggio(pos(12), pos(14), kChArp, kArpLow, 2, 18);
    for (int at = pos(12); at < pos(14); at += kBar) {
        for (int row : {12, 28}) {
            const std::array<int, 3> notes = voicing(chord_at(at + row), key_at(at + row), 64);
            for (size_t i = 0; i < kStabChannels.size(); ++i) {
                score.note(at + row, kStabChannels[i], notes[i], xmas::kStab, 40);
            }
        }
    }
    const int fill = pos(13, 112);
    const int toms[] = {74, 74, 71, 71, 67, 67, 64, 64};
    for (int at = fill; at < pos(14); ++at) {
        score.clear(at, kChKick);
        score.clear(at, kChSnare);
    }
    for (int i = 0; i < 8; ++i) score.tom(fill + 2 * i, toms[i], 54);
    score.snare(fill + 14, 58);
}

void reprise(Score& score) {
    // Order 14: the closing phrase of "Deck the Halls" in A, sleigh bells every half bar.
    score.beat_full(14);
    for (int row = 0; row < kXmasRows; row += kHalfBar) score.sleigh(pos(14, row), 36);
    score.melody(pos(14), kChLead, xmas::kLead, kDeckClosing, kToA, 54);
    score.harmony(pos(14), kChHarmony, xmas::kLead, kDeckClosing, kToA, 32);
    score.melody(pos(14), kChBells, xmas::kBells, kDeckClosing, kToA + kOctave, 30);
    score.bass_groove(pos(14), pos(15), 50);
    score.arpeggio(pos(14), pos(15), kChArp, kArpLow, 4, 18);
    score.snare_roll(pos(14, 120), pos(15), 2, 34, 56);
}

void outro(Score& score) {
    // Order 15: hits in 3 + 3 + 2 for three bars, then on every beat; each
    // hit is kick, snare, string stab, bass and a sleigh-bell accent.
    std::vector<int> hits;
    for (int bar = 0; bar < 3; ++bar) {
        for (int row : {0, 12, 24}) hits.push_back(bar * kBar + row);
    }
    for (int row = 96; row < kXmasRows; row += kBeat) hits.push_back(row);
    for (int row : hits) {
        const int at = pos(15, row);
        const std::array<int, 3> notes = voicing(chord_at(at), key_at(at), 64);
        for (size_t i = 0; i < kStabChannels.size(); ++i) {
            score.note(at, kStabChannels[i], notes[i], xmas::kStab, 48);
        }
        score.note(at, kChBass, bass_root(at), xmas::kBass, 54);
        score.off(at + 6, kChBass);
        score.kick(at, 62);
        score.snare(at, row % kBar == 0 ? 40 : 52);
        score.sleigh(at, 40);
        if (row % kBar == 0) score.crash(at, 44);
    }
}

void last_chord(Score& score) {
    // Order 16: the tonic chord struck once with kick, crash and sleigh
    // bells; the bells climb through it; everything is released in the last
    // quarter so it rings out to the end.
    const int at = pos(16);
    score.kick(at, 62);
    score.crash(at, 48);
    score.sleigh(at, 40);
    score.note(at, kChBass, bass_root(at), xmas::kBass, 54);
    score.off(pos(16, 80), kChBass);
    score.note(at, kChLead, C5 + kToA, xmas::kLead, 48);
    score.off(pos(16, 80), kChLead);
    const std::array<int, 3> notes = voicing(C, kToA, kArpLow);
    for (int i = 0; i < 6; ++i) {
        score.note(at + 4 * i, kChBells, notes[i % 3] + kOctave * (i / 3), xmas::kBells, 34 - 2 * i);
    }
}

}  // namespace

std::vector<itw::Pattern> compose_xmas_patterns() {
    Score score;
    // Strings and choir carry the harmony from the first row to the last chord.
    score.chords(pos(0), pos(15), kPadChannels, xmas::kStrings, kPadLow, 30);
    score.chords(pos(0), pos(7, 64), kChoirChannels, xmas::kChoir, kChoirLow, 28);
    score.chords(pos(7, 64), pos(15), kChoirChannels, xmas::kChoir, kChoirLow, 32);
    intro(score);
    deck_the_halls(score);
    main_theme(score);
    breakdown(score);
    calm(score);
    climax(score);
    heavy(score);
    reprise(score);
    outro(score);
    score.chords(pos(16), pos(16, 96), kPadChannels, xmas::kStrings, kPadLow, 36);
    score.chords(pos(16), pos(16, 96), kChoirChannels, xmas::kChoir, kChoirLow, 34);
    last_chord(score);
    return score.take();
}

}  // namespace gf::datagen
