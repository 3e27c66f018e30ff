// The tunes, the chord plan and the Score that writes notes and effects; see
// module_score.h.
#include "datagen/module_score.h"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace gf::datagen::score {

const Tune kDeckOpening = {{G4, 12}, {F4, 4}, {E4, 8}, {D4, 8},  {C4, 8}, {D4, 8}, {E4, 8}, {C4, 8}, {D4, 4},
                           {E4, 4},  {F4, 4}, {D4, 4}, {E4, 12}, {D4, 4}, {C4, 8}, {B3, 8}, {C4, 16}};
const Tune kDeckMiddle = {{D4, 12}, {E4, 4}, {F4, 8}, {D4, 8}, {E4, 12}, {F4, 4}, {G4, 8}, {D4, 8}, {E4, 4},
                          {Fs4, 4}, {G4, 8}, {A4, 4}, {B4, 4}, {C5, 8},  {B4, 8}, {A4, 8}, {G4, 16}};
const Tune kDeckClosing = {{G4, 12}, {F4, 4}, {E4, 8}, {D4, 8},  {C4, 8}, {D4, 8}, {E4, 8}, {C4, 8}, {A4, 4},
                           {A4, 4},  {A4, 4}, {A4, 4}, {G4, 12}, {F4, 4}, {E4, 8}, {D4, 8}, {C4, 16}};
const Tune kDeckTag = {{A4, 4}, {A4, 4}, {A4, 4}, {A4, 4}, {G4, 12}, {F4, 4}, {E4, 8}, {D4, 8}, {C4, 16}};
const Tune kJingleFirst = {{E4, 8}, {E4, 8}, {E4, 16}, {E4, 8}, {E4, 8}, {E4, 16},
                           {E4, 8}, {G4, 8}, {C4, 12}, {D4, 4}, {E4, 32}};
const Tune kJingleSecond = {{F4, 8}, {F4, 8}, {F4, 12}, {F4, 4}, {F4, 8}, {E4, 8},  {E4, 8}, {E4, 4},
                            {E4, 4}, {E4, 8}, {D4, 8},  {D4, 8}, {E4, 8}, {D4, 16}, {G4, 16}};
const Tune kJingleLast = {{F4, 8}, {F4, 8}, {F4, 8}, {F4, 8}, {F4, 8}, {E4, 8}, {E4, 8},
                          {E4, 4}, {E4, 4}, {G4, 8}, {G4, 8}, {F4, 8}, {D4, 8}, {C4, 32}};
const Tune kJoyOpening = {{C5, 8}, {B4, 6}, {A4, 2}, {G4, 12}, {F4, 4}, {E4, 8}, {D4, 8}, {C4, 16}};

namespace {

// Two chords a bar, eight an order, as degrees of C major; `key` moves them.
// Every tune note on beats 1 and 3 is a tone of the chord under it.
struct Section {
    int key;
    std::array<Chord, 8> chords;
};
const std::array<Section, kXmasOrders> kPlan = {{
    {kToG, {C, C, F, F, Am, Am, G, G}},    // 0 intro
    {kToG, {C, Am, F, C, Dm, C, C, C}},    // 1 build-up: "Deck the halls"
    {kToG, {C, Am, F, C, Dm, C, C, C}},    // 2
    {kToG, {C, Am, F, C, Dm, C, C, C}},    // 3
    {kToG, {G, G7, C, G, Em, D7, G, G7}},  // 4 "Don we now"
    {kToG, {C, Am, F, C, F, G7, C, C}},    // 5 "Troll the ancient"
    {kToG, {C, Am, F, C, Dm, C, C, C}},    // 6 main theme
    {kToG, {F, G7, C, C, Am, Am, G, G}},   // 7 "fa la la", breakdown
    {kToG, {C, C, Am, Am, C, F, C, A7}},   // 8 calm "Jingle bells"; A7 here is E7 of the next key
    {kToA, {F, F, F, C, C, D7, G, G7}},    // 9 climax: "Oh what fun ... hey!"
    {kToA, {C, C, Am, Am, C, F, C, C7}},   // 10 "Jingle bells"
    {kToA, {F, F, Dm, C, G, G7, C, C}},    // 11 "Oh what fun ... open sleigh"
    {kToA, {C, G7, Am, C, C, G7, Am, C}},  // 12 heavy: "Joy to the World"
    {kToA, {F, C, C, C, Dm, C, Am, C}},    // 13 "fa la la" twice
    {kToA, {C, Am, F, C, F, G7, C, C}},    // 14 reprise
    {kToA, {F, F, G, G, Am, Am, G7, G7}},  // 15 outro hits
    {kToA, {C, C, C, C, C, C, C, C}},      // 16 last chord
}};

// A dominant for one beat inside a half bar, under the note before a
// cadence ("... la la la", "... is come"): order, beat (0..15), chord.
struct Change {
    int order;
    int beat;
    Chord chord;
};
constexpr Change kChanges[] = {
    {1, 13, G7}, {2, 13, G7},  {3, 13, G7}, {5, 13, G7},  {6, 13, G7},  {7, 5, G7},
    {12, 5, G7}, {12, 13, G7}, {13, 5, G7}, {13, 13, G7}, {14, 13, G7},
};

constexpr int kBassLow = 31;  // bass roots in G1..F#2: every fundamental below 100 Hz

int wrap12(int value) { return ((value % 12) + 12) % 12; }
int clamp_volume(int v) { return std::clamp(v, 0, 64); }

// Accent by position: strongest on the bar line, lighter off the beat.
int accent(int at) {
    const int row = at % kBar;
    if (row == 0) return 4;
    if (row % kBeat == 0) return 1;
    if (row % 4 == 0) return -3;
    return -7;
}

}  // namespace

int key_at(int at) { return kPlan[at / kXmasRows].key; }
Chord chord_at(int at) {
    const int order = at / kXmasRows, beat = (at % kXmasRows) / kBeat;
    for (const Change& change : kChanges) {
        if (change.order == order && change.beat == beat) return change.chord;
    }
    return kPlan[order].chords[(at % kXmasRows) / kHalfBar];
}

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

int place(int pc, int low) { return low + wrap12(pc - low); }

std::array<int, 3> voicing(const Chord& chord, int key, int low) {
    std::vector<int> tones = chord_tones(chord);
    if (tones.size() == 4) tones.erase(tones.begin());
    std::array<int, 3> notes{};
    for (int i = 0; i < 3; ++i) notes[i] = place(chord.root + tones[i] + key, low);
    std::sort(notes.begin(), notes.end());
    return notes;
}

int bass_root(int at) { return place(chord_at(at).root + key_at(at), kBassLow); }

Score::Score() : patterns_(kXmasOrders, itw::Pattern(kXmasRows, kXmasChannels)) { level_.fill(100); }

std::vector<itw::Pattern> Score::take() {
    for (int order = 0; order < kXmasOrders; ++order) {
        for (std::vector<itw::Cell>& line : patterns_[order].cells) {
            for (itw::Cell& cell : line) {
                if (cell.volume >= 0) cell.volume = clamp_volume((cell.volume * level_[order] + 50) / 100);
            }
        }
    }
    return std::move(patterns_);
}

void Score::note(int at, int channel, int pitch, int instrument, int volume) {
    if (at < 0 || at >= kSongRows) return;
    // Instruments 1 and 6 cue the scenes on every note they play: a stray
    // one elsewhere would flash or bounce the picture out of time.
    if ((instrument == xmas::kSleighBells) != (channel == kChSleigh) ||
        (instrument == xmas::kKick) != (channel == kChKick)) {
        throw std::logic_error("instrument " + std::to_string(instrument) + " on channel " + std::to_string(channel));
    }
    itw::Cell& cell = patterns_[at / kXmasRows].at(at % kXmasRows, channel);
    cell.note = pitch;
    cell.instrument = instrument;
    cell.volume = clamp_volume(volume);
}

void Score::off(int at, int channel) {
    if (at < 0 || at >= kSongRows) return;
    itw::Cell& cell = patterns_[at / kXmasRows].at(at % kXmasRows, channel);
    if (cell.note == itw::kNoNote) cell.note = itw::kNoteOff;
}

void Score::clear(int at, int channel) {
    if (at < 0 || at >= kSongRows) return;
    patterns_[at / kXmasRows].at(at % kXmasRows, channel) = itw::Cell{};
}

void Score::effect(int at, int channel, char letter, int param) {
    if (at < 0 || at >= kSongRows) return;
    itw::Cell& cell = patterns_[at / kXmasRows].at(at % kXmasRows, channel);
    cell.effect = itw::effect(letter);
    cell.param = param;
}

void Score::nudge(int at, int channel, int ticks) {
    if (at < 0 || at >= kSongRows || channel == kChSleigh || channel == kChKick) return;
    itw::Cell& cell = patterns_[at / kXmasRows].at(at % kXmasRows, channel);
    if (cell.effect != 0) return;
    cell.effect = itw::effect('S');
    cell.param = 0xD0 + ticks;
}

int Score::melody(int at, int channel, int instrument, const Tune& tune, int shift, int volume, Expression how) {
    int previous = -1;
    for (size_t i = 0; i < tune.size(); ++i) {
        const Step& step = tune[i];
        const int pitch = step.note + shift;
        note(at, channel, pitch, instrument, volume + accent(at));
        const int leap = pitch - previous;
        // Slide into a long note that follows a step or a small leap.
        if (how.glide && previous >= 0 && step.rows >= 8 && leap != 0 && std::abs(leap) <= 5 && i % 3 == 1) {
            effect(at, channel, 'G', 0x18);
        }
        // Vibrato grows on the held part of a long note.
        if (how.vibrato && step.rows >= 12) {
            for (int row = 6; row < step.rows; ++row) effect(at + row, channel, 'H', row < 10 ? 0x62 : 0x64);
        }
        previous = pitch;
        at += step.rows;
    }
    off(at, channel);
    return at;
}

void Score::harmony(int at, int channel, int instrument, const Tune& tune, int shift, int volume) {
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
        note(at, channel, best + key, instrument, volume + accent(at) / 2);
        at += step.rows;
    }
    off(at, channel);
}

void Score::counterline(int from, int to, int channel, int instrument, int low, int volume) {
    int previous = low + 7;
    for (int at = from; at < to; at += kHalfBar) {
        const Chord chord = chord_at(at);
        const int key = key_at(at);
        // The chord tone nearest the last note without repeating it: a line
        // that moves by small steps. Where the chord changes inside the half
        // bar, a tone both chords share where there is one.
        const Chord after = chord_at(at + kBeat);
        const std::vector<int> later = chord_tones(after);
        int best = -1;
        for (const bool shared_only : {true, false}) {
            for (int tone : chord_tones(chord)) {
                const int pitch = place(chord.root + tone + key, low);
                const bool shared = std::any_of(later.begin(), later.end(),
                                                [&](int t) { return wrap12(after.root + t - chord.root - tone) == 0; });
                if (pitch == previous || (shared_only && !shared)) continue;
                if (best < 0 || std::abs(pitch - previous) < std::abs(best - previous)) best = pitch;
            }
            if (best >= 0) break;
        }
        note(at, channel, best, instrument, volume - 12);
        for (int row = 0; row < 3; ++row) effect(at + row, channel, 'D', 0x20);  // swell in
        if ((at / kHalfBar) % 4 == 3 && at + kHalfBar < to) {
            // A passing note a step above the next bar's first tone, slid into it.
            const int next = voicing(chord_at(at + kHalfBar), key_at(at + kHalfBar), low)[1];
            note(at + 12, channel, next + 2, instrument, volume - 6);
            effect(at + kHalfBar, channel, 'G', 0x10);
        }
        previous = best;
    }
    off(to, channel);
}

void Score::echo(int from, int to, int source, int target, int delay, int percent) {
    for (int at = from; at < to; ++at) {
        const itw::Pattern& pattern = patterns_[at / kXmasRows];
        const std::vector<itw::Cell>& line = pattern.cells[at % kXmasRows];
        if (source >= static_cast<int>(line.size())) continue;
        const itw::Cell cell = line[source];
        if (cell.note == itw::kNoNote) continue;
        if (cell.note >= itw::kNoteFade || cell.instrument == 0) {
            off(at + delay, target);
            continue;
        }
        note(at + delay, target, cell.note, cell.instrument, cell.volume * percent / 100);
    }
}

template <size_t N>
void Score::chords(int from, int to, const std::array<int, N>& channels, int instrument, int low, int volume) {
    std::array<int, N> sounding{};
    sounding.fill(-1);
    for (int at = from; at < to; at += kBeat) {
        const std::array<int, 3> notes = voicing(chord_at(at), key_at(at), low);
        for (size_t i = 0; i < N; ++i) {
            const int pitch = notes[3 - N + i];  // the top N notes of the voicing
            if (pitch == sounding[i]) continue;
            note(at, channels[i], pitch, instrument, volume - 16);
            for (int row = 0; row < 4; ++row) effect(at + row, channels[i], 'D', 0x20);  // +4 a row
            sounding[i] = pitch;
        }
    }
    for (int channel : channels) off(to, channel);
}
template void Score::chords<3>(int, int, const std::array<int, 3>&, int, int, int);
template void Score::chords<2>(int, int, const std::array<int, 2>&, int, int, int);

void Score::bass_long(int from, int to, int volume) {
    int sounding = -1;
    for (int at = from; at < to; at += kBeat) {
        const int root = bass_root(at);
        if (root != sounding || at % kBar == 0) note(at, kChBass, root, xmas::kBass, volume + accent(at));
        sounding = root;
    }
    off(to, kChBass);
}

void Score::bass_pulse(int from, int to, int volume) {
    for (int at = from; at < to; at += 4) {
        const int root = bass_root(at);
        const bool upbeat = (at / 4) % 2 == 1;
        note(at, kChBass, upbeat ? root + 12 : root, xmas::kBass, volume + accent(at));
        if (upbeat) effect(at, kChBass, 'S', 0xC2 + (at / kBar) % 2);  // cut the octave short
    }
    off(to, kChBass);
}

void Score::bass_groove(int from, int to, int volume) {
    static constexpr int kRow[] = {0, 6, 8, 12};
    static constexpr int kInterval[] = {0, 0, 12, 7};
    static constexpr int kLevel[] = {0, -18, -4, -8};  // the second root a ghost note
    for (int at = from; at < to; at += kHalfBar) {
        for (int i = 0; i < 4; ++i) {
            const int row = at + kRow[i];
            note(row, kChBass, bass_root(row) + kInterval[i], xmas::kBass, volume + kLevel[i]);
        }
        if ((at / kHalfBar) % 2 == 1) effect(at + 12, kChBass, 'G', 0x40);  // slide up into the fifth
    }
    off(to, kChBass);
}

void Score::bell_arpeggio(int from, int to, int channel, int low, int step, int volume) {
    for (int at = from; at < to; at += step) {
        const std::array<int, 3> notes = voicing(chord_at(at), key_at(at), low);
        const int sequence[] = {notes[0],      notes[1],      notes[2], notes[0] + 12,
                                notes[1] + 12, notes[0] + 12, notes[2], notes[1]};
        const int index = ((at % kBar) / step) % 8;
        note(at, channel, sequence[index], xmas::kBells, volume + accent(at) - (index % 2) * 4);
    }
}

void Score::chip_arpeggio(int from, int to, int low, int volume) {
    for (int at = from; at < to; ++at) {
        const Chord chord = chord_at(at);
        const std::array<int, 3> notes = voicing(chord, key_at(at), low);
        const int third = notes[1] - notes[0], fifth = notes[2] - notes[0];
        if (at % kBeat == 0) note(at, kChChip, notes[0], xmas::kChip, volume + accent(at));
        effect(at, kChChip, 'J', third * 16 + fifth);
    }
    off(to, kChChip);
}

void Score::kick(int at, int volume) { note(at, kChKick, kDrumNote, xmas::kKick, volume); }
void Score::sleigh(int at, int volume) { note(at, kChSleigh, kDrumNote, xmas::kSleighBells, volume); }

void Score::retrigger_roll(int from, int to, int rows, int ticks_apart, int volume) {
    for (int at = from; at < to; at += rows) {
        snare(at, volume + (at - from) * 24 / std::max(to - from, 1));
        // Retrigger with the volume rising by 2 each time (x = A).
        for (int row = 0; row < rows; ++row) effect(at + row, kChSnare, 'Q', 0xA0 + ticks_apart);
    }
}

void Score::snare_roll(int from, int to, int step, int volume_from, int volume_to) {
    const int count = (to - from) / step;
    for (int i = 0; i < count; ++i) {
        snare(from + i * step, volume_from + (volume_to - volume_from) * i / std::max(count - 1, 1));
    }
}

}  // namespace gf::datagen::score
