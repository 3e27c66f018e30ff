// The composing toolkit behind "xmas.it" (module_score.cpp): the song's grid
// and channels, the tunes and the chord plan, and Score, which writes notes
// and effects into the 17 patterns. module_arrangement.cpp uses it to lay out
// the sections.
#pragma once

#include <array>
#include <vector>

#include "datagen/module.h"

namespace gf::datagen::score {

constexpr int kBar = 32;
constexpr int kHalfBar = 16;
constexpr int kBeat = kXmasRowsPerBeat;
constexpr int kSongRows = kXmasOrders * kXmasRows;

constexpr int pos(int order, int row = 0) { return order * kXmasRows + row; }

// Channels. Only kChSleigh plays instrument 1 and only kChKick instrument 6:
// every note of those two cues the scenes.
constexpr int kChLead = 0;
constexpr int kChHarmony = 1;
constexpr int kChBells = 2;
constexpr int kChChip = 3;
constexpr int kChBass = 4;
constexpr int kChPad = 5;    // 5, 6, 7
constexpr int kChChoir = 8;  // 8, 9
constexpr int kChKick = 10;
constexpr int kChSnare = 11;
constexpr int kChHat = 12;
constexpr int kChCrash = 13;
constexpr int kChSleigh = 14;
constexpr int kChStab = 15;
constexpr int kChEcho = 16;
constexpr int kChCounter = 17;
constexpr int kChPerc = 18;  // claps and shakers
constexpr int kChTom = 19;   // toms and risers
constexpr std::array<int, 3> kPadChannels = {kChPad, kChPad + 1, kChPad + 2};
constexpr std::array<int, 2> kChoirChannels = {kChChoir, kChChoir + 1};
constexpr std::array<int, 3> kStabChannels = {kChHarmony, kChStab, kChCounter};

constexpr int kDrumNote = 60;  // drums and sleigh bells play at their recorded pitch

// Pitches of the tunes as written in C major (60 = middle C); each section transposes them.
constexpr int B3 = 59, C4 = 60, D4 = 62, E4 = 64, F4 = 65, Fs4 = 66, G4 = 67, A4 = 69, B4 = 71, C5 = 72;
constexpr int kToG = 7;  // orders 0..8 are in G major
constexpr int kToA = 9;  // from the climax on, A major
constexpr int kOctave = 12;

struct Step {
    int note;
    int rows;
};
using Tune = std::vector<Step>;

// "Deck the Halls" (traditional Welsh), four bars a phrase.
extern const Tune kDeckOpening, kDeckMiddle, kDeckClosing, kDeckTag;
// Chorus of "Jingle Bells" (James Lord Pierpont, 1857).
extern const Tune kJingleFirst, kJingleSecond, kJingleLast;
// "Joy to the World" (Lowell Mason after Handel, 1839), its first phrase.
extern const Tune kJoyOpening;

enum class Quality { Major, Minor, Dominant7 };
struct Chord {
    int root;  // pitch class in C major: C = 0 .. B = 11
    Quality quality;
};
constexpr Chord C{0, Quality::Major}, Dm{2, Quality::Minor}, Em{4, Quality::Minor}, F{5, Quality::Major},
    G{7, Quality::Major}, G7{7, Quality::Dominant7}, Am{9, Quality::Minor}, D7{2, Quality::Dominant7},
    A7{9, Quality::Dominant7}, C7{0, Quality::Dominant7};

int key_at(int at);
Chord chord_at(int at);
std::vector<int> chord_tones(const Chord& chord);
// The pitch of pitch class `pc` inside [low, low + 12).
int place(int pc, int low);
// Close voicing of three notes inside [low, low + 12); a seventh chord drops its root.
std::array<int, 3> voicing(const Chord& chord, int key, int low);
int bass_root(int at);

// How a line is played: portamento into some of its notes, vibrato on the
// long ones.
struct Expression {
    bool glide = false;
    bool vibrato = false;
};

class Score {
public:
    Score();

    // A note with `volume` in its volume column (clamped to 0..64).
    void note(int at, int channel, int pitch, int instrument, int volume);
    // Scales every note volume of an order to `percent`, when the patterns
    // are taken: the arc of the song from order to order.
    void level(int order, int percent) { level_[order] = percent; }
    // A note-off where nothing else starts.
    void off(int at, int channel);
    // Empties a cell that an earlier, broader pass filled.
    void clear(int at, int channel);
    void effect(int at, int channel, char letter, int param);
    // Plays a note `ticks` ticks late (a note delay) where the cell holds no
    // other effect: the push and drag of a player's hands. Never on a cue.
    void nudge(int at, int channel, int ticks);

    std::vector<itw::Pattern> take();

    // A tune from `at`, transposed by `shift`; each note holds until the next,
    // louder on the strong beats. Returns the row after the last note, where
    // a note-off ends the line.
    int melody(int at, int channel, int instrument, const Tune& tune, int shift, int volume, Expression how = {});
    // A second voice under a tune: for each note the highest tone of the
    // chord sounding there that lies at least a minor third below it.
    void harmony(int at, int channel, int instrument, const Tune& tune, int shift, int volume);
    // A countermelody in half and whole notes: chord tones inside [low, low + 12)
    // chosen to move against the tune, each long note swelling in, with a
    // passing note into every second bar.
    void counterline(int from, int to, int channel, int instrument, int low, int volume);
    // Copies every note of `source` between `from` and `to` onto `target`
    // `delay` rows later at `percent` of its volume: a tape echo.
    void echo(int from, int to, int source, int target, int delay, int percent);

    // Sustained chords, a voice struck only when its pitch changes, each
    // strike swelling up from below `volume` by volume slides; all released at `to`.
    template <size_t N>
    void chords(int from, int to, const std::array<int, N>& channels, int instrument, int low, int volume);

    // Bass: the root held for each chord, struck again at every bar line.
    void bass_long(int from, int to, int volume);
    // Eighths, root and octave in turn; the octaves cut short.
    void bass_pulse(int from, int to, int volume);
    // Root (dotted), ghost root, octave, fifth each half bar; a slide up into
    // each bar's last note.
    void bass_groove(int from, int to, int volume);
    // Broken chords on the bells, `step` rows a note, rising and falling.
    void bell_arpeggio(int from, int to, int channel, int low, int step, int volume);
    // Chip-tune arpeggio: the chord's root held with the arpeggio effect
    // cycling through its third and fifth, restruck every beat.
    void chip_arpeggio(int from, int to, int low, int volume);

    // The scene cues: only these write instruments 1 and 6.
    void kick(int at, int volume);
    void sleigh(int at, int volume);

    void snare(int at, int volume) { note(at, kChSnare, kDrumNote, xmas::kSnare, volume); }
    void hat(int at, int volume) { note(at, kChHat, kDrumNote, xmas::kClosedHat, volume); }
    void open_hat(int at, int volume) { note(at, kChHat, kDrumNote, xmas::kOpenHat, volume); }
    void crash(int at, int volume) { note(at, kChCrash, kDrumNote, xmas::kCrash, volume); }
    void clap(int at, int volume) { note(at, kChPerc, kDrumNote, xmas::kClap, volume); }
    void shaker(int at, int volume) { note(at, kChPerc, kDrumNote, xmas::kShaker, volume); }
    void tom(int at, int pitch, int volume) { note(at, kChTom, pitch, xmas::kTom, volume); }
    void riser(int at, int volume) { note(at, kChTom, kDrumNote, xmas::kRiser, volume); }

    // A snare roll by retrigger: one note every `rows` rows from `from` to
    // `to`, each retriggered `ticks_apart` ticks apart and growing louder.
    void retrigger_roll(int from, int to, int rows, int ticks_apart, int volume);
    // Snare notes every `step` rows, growing from one volume to another.
    void snare_roll(int from, int to, int step, int volume_from, int volume_to);

private:
    std::vector<itw::Pattern> patterns_;
    std::array<int, kXmasOrders> level_{};
};

}  // namespace gf::datagen::score
