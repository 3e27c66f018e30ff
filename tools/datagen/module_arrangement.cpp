// The arrangement of "xmas.it": three public-domain carols, "Deck the Halls",
// the chorus of "Jingle Bells" and the opening of "Joy to the World", over a
// chord plan of two chords a bar. 17 orders of four 4/4 bars (8 rows a beat).
// The scene timeline keys its scenes to these orders, so the sections follow it:
//   0      intro: two string voices, bells twinkle; four sleigh-bell accents in rows 0..63
//   1      build-up: the first phrase of "Deck the Halls" on bells, with echo
//   2..3   the beat starts (kick every beat); the lead takes the tune
//   4..5   full groove: second half of the tune, chip arpeggios
//   6..7a  main theme with a countermelody, sleigh bells every half bar
//   7b     breakdown: no drums, no strings, sleigh-bell hits on rows 92, 96, ..., 124
//   8      calm: "Jingle bells, jingle bells" on bells with echo, choir
//   9..11  climax in A: the rest of the chorus, sleigh bells on every beat
//   12..13 heavy drums: "Joy to the World", then the "fa la la" tag
//   14     reprise of the last phrase of "Deck the Halls"
//   15     outro hits
//   16     the final hit on its first row, then only its ring
// The tune is always on the lead channel, in the middle of the stereo field.
// Instruments 1 (sleigh bells) and 6 (kick) cue the scenes on every note, so
// their rows are fixed by the scenes and only their loudness is free.
#include <array>
#include <vector>

#include "datagen/module.h"
#include "datagen/module_score.h"

namespace gf::datagen {

namespace {

using namespace score;

constexpr int kPadLow = 55;    // strings voiced in G3..F#4
constexpr int kChoirLow = 62;  // choir in D4..C#5 (the top two notes of the voicing)
constexpr int kArpLow = 67;    // broken chords from G4
constexpr int kChipLow = 72;   // chip arpeggios from C5
constexpr int kTwinkleLow = 79;
constexpr int kCounterLow = 74;  // the countermelody above the tune

// Hi-hat figures, one row a character: x closed, o open, g ghost, . rest.
// Each groove names one for each of its four bars.
constexpr const char* kHatEighths = "x...g...x...g...x...g...x...g...";
constexpr const char* kHatSixteens = "x.g.x.g.x.g.x.g.x.g.x.g.x.g.x.g.";
constexpr const char* kHatSkip = "x.g.x..gx.g.o...x.g.x..gx.gxo...";
constexpr const char* kHatOffbeat = "....o.......o.......o.......o...";
constexpr const char* kHatDrive = "xgxgxgxgxgxgxgxgxgxgxgxgxgxgxgxg";
constexpr const char* kHatSwing = "x..gx..gx..gx..gx..gx..go..gx..g";

// A drummer's touch: the beat strongest, the off-beat eighths a little
// softer, the sixteenths softer still, and a small sway of level from hit
// to hit, so no two bars sound stamped from one mould.
int touch(int at) {
    static constexpr int kSway[] = {0, -2, 1, -1, 2, -3, 0, 1, -1, 2, -2, 0};
    const int row = at % kBar;
    const int place = row % kBeat == 0 ? 0 : row % 4 == 0 ? -3 : -5;
    return place + kSway[(at / 2) % 12];
}

void hats(Score& s, int at, const char* figure, int volume) {
    for (int row = 0; row < kBar; ++row) {
        switch (figure[row]) {
            case 'x':
                s.hat(at + row, volume + touch(at + row));
                break;
            case 'g':
                s.hat(at + row, volume - 10 + touch(at + row));
                // The ghosts before the next beat lag a tick: a loose swing.
                if (row % kBeat >= 6) s.nudge(at + row, kChHat, 1);
                break;
            case 'o':
                s.open_hat(at + row, volume);
                // Choke it a tick into the second row after, where that row is free.
                if (row + 2 < kBar && figure[row + 1] == '.' && figure[row + 2] == '.') {
                    s.effect(at + row + 2, kChHat, 'S', 0xC1);
                }
                break;
            default:
                break;
        }
    }
}

// Snare backbeat with the groove's own extras: ghost notes, a flam, claps.
enum class Backbeat { Plain, Ghosts, Claps, Shuffle, Heavy };

void backbeat(Score& s, int at, Backbeat kind, int volume) {
    // Beat 4 leans in a little harder than beat 2.
    s.snare(at + 8, volume - 2);
    s.snare(at + 24, volume + 1);
    switch (kind) {
        case Backbeat::Plain:
            break;
        case Backbeat::Ghosts:
            s.snare(at + 14, volume - 34);
            s.snare(at + 30, volume - 30);
            s.nudge(at + 14, kChSnare, 1);
            break;
        case Backbeat::Claps:
            // The claps a tick behind the snare: a flam.
            s.clap(at + 8, volume - 8);
            s.clap(at + 24, volume - 6);
            s.clap(at + 28, volume - 26);
            s.nudge(at + 8, kChPerc, 1);
            s.nudge(at + 24, kChPerc, 1);
            break;
        case Backbeat::Shuffle:
            s.snare(at + 19, volume - 32);
            s.effect(at + 19, kChSnare, 'S', 0xD1);  // a tick late: a lazy ghost
            s.shaker(at + 4, volume - 24);
            s.shaker(at + 12, volume - 28);
            s.shaker(at + 20, volume - 24);
            s.shaker(at + 28, volume - 28);
            break;
        case Backbeat::Heavy:
            s.clap(at + 8, volume - 4);
            s.clap(at + 24, volume - 4);
            s.snare(at + 30, volume - 22);
            break;
    }
}

struct Groove {
    const char* hats;
    Backbeat backbeat;
};

// Drums of one order except the kicks: a groove per bar (a bar without one
// is left to a fill or a break) and a crash on the order's first row.
void drums(Score& s, int order, const std::array<Groove, 4>& bars, int volume) {
    s.crash(pos(order), volume - 10);
    for (int bar = 0; bar < 4; ++bar) {
        if (bars[bar].hats == nullptr) continue;
        const int at = pos(order, bar * kBar);
        hats(s, at, bars[bar].hats, volume - 8);
        backbeat(s, at, bars[bar].backbeat, volume);
    }
}

// The kick rows the scenes are timed to, louder on the bar lines.
void kicks_every_beat(Score& s, int order, int from_row, int to_row, bool push) {
    for (int row = from_row; row < to_row; row += kBeat) {
        s.kick(pos(order, row), row % kBar == 0 ? 62 : row % kHalfBar == 0 ? 58 : 54);
    }
    if (!push) return;
    // The pushed kick before the third beat of every second bar.
    for (int row = from_row + kBar + 22; row < to_row; row += 2 * kBar) s.kick(pos(order, row), 42);
}

void kicks_heavy(Score& s, int order, int to_row) {
    for (int bar = 0; bar * kBar < to_row; ++bar) {
        std::vector<int> rows = {0, 6, 16, 22};
        if (bar % 2 == 1) rows.push_back(28);
        for (int row : rows) {
            const int volume = row == 0 ? 60 : row == 16 ? 56 : row == 28 ? 44 : 50;
            if (bar * kBar + row < to_row) s.kick(pos(order, bar * kBar + row), volume);
        }
    }
}

void intro(Score& s) {
    for (int row : {0, 16, 32, 48}) s.sleigh(pos(0, row), 40 + row / 4);
    s.bell_arpeggio(pos(0), pos(0, 64), kChBells, kTwinkleLow, 8, 24);
    s.bell_arpeggio(pos(0, 64), pos(1), kChBells, kTwinkleLow, 4, 28);
    s.echo(pos(0), pos(1), kChBells, kChEcho, 6, 45);
    s.bass_long(pos(0, 64), pos(1, 64), 40);
    for (int row = 64; row < kXmasRows; row += 4) s.shaker(pos(0, row), (row % 8 == 0 ? 16 : 10) + (row - 64) / 4);
    s.riser(pos(0, 96), 36);

    // Order 1: the opening phrase on bells (on the lead channel) with its
    // echo; a kick on each bar, then every beat; a retriggered snare roll
    // into the beat.
    s.melody(pos(1), kChLead, xmas::kBells, kDeckOpening, kToG + kOctave, 44);
    s.echo(pos(1), pos(2), kChLead, kChEcho, 6, 26);
    s.bass_pulse(pos(1, 64), pos(2), 42);
    for (int row : {0, 32, 64, 96, 104, 112, 120}) s.kick(pos(1, row), row < 96 ? 50 + row / 16 : 56 + (row - 96) / 8);
    for (int bar = 0; bar < 4; ++bar) hats(s, pos(1, bar * kBar), bar < 2 ? kHatOffbeat : kHatEighths, 26);
    s.retrigger_roll(pos(1, 112), pos(2), 4, 2, 20);
    s.riser(pos(1, 96), 38);
}

void deck_the_halls(Score& s) {
    // Order 2: the beat starts; the lead plays the opening phrase.
    kicks_every_beat(s, 2, 0, kXmasRows, false);
    drums(s, 2,
          {{{kHatEighths, Backbeat::Plain},
            {kHatEighths, Backbeat::Plain},
            {kHatEighths, Backbeat::Ghosts},
            {kHatEighths, Backbeat::Plain}}},
          54);
    s.melody(pos(2), kChLead, xmas::kLead, kDeckOpening, kToG, 50, {true, true});
    s.bass_pulse(pos(2), pos(3), 48);
    s.bell_arpeggio(pos(2), pos(3), kChBells, kArpLow + kOctave, 4, 22);

    // Order 3: an octave up with harmony and echo, busier hats, a fill of
    // snare sixteenths into the full groove.
    kicks_every_beat(s, 3, 0, kXmasRows, false);
    drums(s, 3,
          {{{kHatSixteens, Backbeat::Ghosts}, {kHatSixteens, Backbeat::Claps}, {kHatSixteens, Backbeat::Ghosts}, {}}},
          56);
    s.melody(pos(3), kChLead, xmas::kLead, kDeckOpening, kToG + kOctave, 48, {true, true});
    s.harmony(pos(3), kChHarmony, xmas::kLead, kDeckOpening, kToG + kOctave, 21);
    s.echo(pos(3), pos(4), kChLead, kChEcho, 6, 26);
    s.bass_groove(pos(3), pos(4), 48);
    hats(s, pos(3, 96), kHatSkip, 30);
    s.snare_roll(pos(3, 112), pos(4), 2, 22, 54);

    // Orders 4..5: the full groove, the second half of the tune with harmony,
    // chip arpeggios; a tom fill down into the main theme.
    for (int order : {4, 5}) kicks_every_beat(s, order, 0, kXmasRows, true);
    drums(s, 4,
          {{{kHatSkip, Backbeat::Ghosts},
            {kHatSixteens, Backbeat::Plain},
            {kHatSkip, Backbeat::Ghosts},
            {kHatSixteens, Backbeat::Claps}}},
          58);
    drums(s, 5, {{{kHatSwing, Backbeat::Shuffle}, {kHatSwing, Backbeat::Ghosts}, {kHatSwing, Backbeat::Shuffle}, {}}},
          58);
    s.melody(pos(4), kChLead, xmas::kLead, kDeckMiddle, kToG, 52, {true, true});
    s.harmony(pos(4), kChHarmony, xmas::kLead, kDeckMiddle, kToG, 22);
    s.melody(pos(5), kChLead, xmas::kLead, kDeckClosing, kToG, 52, {true, true});
    s.harmony(pos(5), kChHarmony, xmas::kLead, kDeckClosing, kToG, 22);
    s.echo(pos(5), pos(6), kChLead, kChEcho, 3, 26);
    s.bass_groove(pos(4), pos(6), 50);
    s.chip_arpeggio(pos(4), pos(5), kChipLow, 30);
    s.bell_arpeggio(pos(5), pos(6), kChBells, kArpLow, 2, 18);
    hats(s, pos(5, 96), kHatOffbeat, 34);
    const int toms[] = {79, 79, 76, 76, 72, 72, 67, 67};
    for (int i = 0; i < 8; ++i) s.tom(pos(5, 112) + 2 * i, toms[i], 40 + 2 * i);
    s.snare(pos(5, 104), 50);
    s.snare(pos(5, 108), 44);
}

void main_theme(Score& s) {
    // Order 6 and the first half of 7: the tune in full dress with a
    // countermelody above it; sleigh bells every half bar (each advances
    // the picture band).
    kicks_every_beat(s, 6, 0, kXmasRows, true);
    kicks_every_beat(s, 7, 0, 64, true);
    drums(s, 6,
          {{{kHatSixteens, Backbeat::Claps},
            {kHatSkip, Backbeat::Ghosts},
            {kHatSixteens, Backbeat::Claps},
            {kHatDrive, Backbeat::Heavy}}},
          58);
    drums(s, 7, {{{kHatSkip, Backbeat::Claps}, {kHatDrive, Backbeat::Ghosts}, {}, {}}}, 58);
    for (int at = pos(6); at < pos(7, 64); at += kHalfBar) s.sleigh(at, (at % kBar) == 0 ? 58 + touch(at) : 48);
    s.melody(pos(6), kChLead, xmas::kLead, kDeckOpening, kToG, 54, {true, true});
    s.harmony(pos(6), kChHarmony, xmas::kLead, kDeckOpening, kToG, 20);
    s.melody(pos(7), kChLead, xmas::kLead, kDeckTag, kToG, 58, {true, true});
    s.harmony(pos(7), kChHarmony, xmas::kLead, kDeckTag, kToG, 24);
    s.counterline(pos(6), pos(7, 64), kChCounter, xmas::kBells, kCounterLow, 24);
    s.echo(pos(6), pos(7, 64), kChLead, kChEcho, 6, 38);
    s.bass_groove(pos(6), pos(7, 64), 50);
    s.chip_arpeggio(pos(6), pos(7, 64), kChipLow, 26);
}

void breakdown(Score& s) {
    // Second half of order 7: the drums drop out under the TV noise; the
    // sleigh bells strike on every flash row, 92 to 124, growing louder. The
    // first is held back one tick (SD1) so that it comes after the frame that
    // opens row 92 has re-armed the flash.
    const int first = pos(7, 64);
    s.crash(first, 40);
    s.bass_long(first, pos(8), 38);
    for (int i = 0; i < 8; ++i) {
        // Falling broken chords on the bells, one every beat, echoed.
        const int at = first + i * kBeat;
        const std::array<int, 3> notes = voicing(chord_at(at), key_at(at), kTwinkleLow);
        s.note(at, kChBells, notes[2 - i % 3], xmas::kBells, 32 - i);
    }
    s.echo(first, pos(8), kChBells, kChEcho, 3, 55);
    for (int row = 92; row <= 124; row += 4) s.sleigh(pos(7, row), 34 + (row - 92) * 3 / 4);
    s.effect(pos(7, 92), kChSleigh, 'S', 0xD1);
    s.riser(pos(7, 96), 44);
    s.retrigger_roll(pos(7, 112), pos(8), 8, 3, 12);
}

void calm(Score& s) {
    // Order 8: "Jingle bells, jingle bells" on the bells (played on the lead
    // channel, so the tune stays in the middle) with its echo over the choir
    // alone, quiet shakers, and a clap crescendo into the climax.
    s.melody(pos(8), kChLead, xmas::kBells, kJingleFirst, kToG + kOctave, 46);
    s.echo(pos(8), pos(9), kChLead, kChEcho, 6, 26);
    s.bass_long(pos(8), pos(9), 40);
    for (int row = 0; row < 112; row += 4) s.shaker(pos(8, row + 2), (row % 8 == 0 ? 22 : 16) + row / 8);
    s.kick(pos(8, 112), 46);
    for (int row = 112; row < kXmasRows; row += 2) s.clap(pos(8, row), 20 + (row - 112) * 2);
    s.riser(pos(8, 96), 38);
}

void climax(Score& s) {
    // Orders 9..11 in A: the rest of the chorus that order 8 began ("Oh what
    // fun ... hey!", "Jingle bells ..." again, "... one-horse open sleigh")
    // with harmony, a countermelody and chip arpeggios; sleigh bells on
    // every beat (each one switches the sub-scene).
    const Tune* tunes[] = {&kJingleSecond, &kJingleFirst, &kJingleLast};
    const std::array<Groove, 4> grooves[] = {
        {{{kHatSixteens, Backbeat::Ghosts},
          {kHatSkip, Backbeat::Claps},
          {kHatSixteens, Backbeat::Ghosts},
          {kHatSkip, Backbeat::Claps}}},
        {{{kHatDrive, Backbeat::Claps},
          {kHatSixteens, Backbeat::Shuffle},
          {kHatDrive, Backbeat::Claps},
          {kHatSixteens, Backbeat::Plain}}},
        {{{kHatSkip, Backbeat::Heavy}, {kHatDrive, Backbeat::Ghosts}, {kHatSkip, Backbeat::Heavy}, {}}},
    };
    for (int i = 0; i < 3; ++i) {
        const int order = 9 + i;
        kicks_every_beat(s, order, 0, kXmasRows, true);
        drums(s, order, grooves[i], 52);
        s.crash(pos(order, 64), 36);
        s.melody(pos(order), kChLead, xmas::kLead, *tunes[i], kToA, 56, {true, true});
        s.harmony(pos(order), kChHarmony, xmas::kLead, *tunes[i], kToA, 18);
        for (int row = 0; row < kXmasRows; row += kBeat) {
            s.sleigh(pos(order, row), row % kHalfBar == 0 ? 46 + touch(pos(order, row)) : 36);
        }
    }
    s.counterline(pos(9), pos(12), kChCounter, xmas::kBells, kCounterLow, 24);
    s.echo(pos(9), pos(12), kChLead, kChEcho, 6, 26);
    s.bass_groove(pos(9), pos(12), 50);
    s.chip_arpeggio(pos(9), pos(11), kChipLow, 26);
    s.bell_arpeggio(pos(11), pos(12), kChBells, kArpLow, 2, 16);
    // Pan the chip line in towards the middle and back out to the right:
    // 16 rows of two slide ticks each way, so it ends where it began.
    for (int row = 0; row < 16; ++row) {
        s.effect(pos(10, row + 32), kChChip, 'P', 0x10);
        s.effect(pos(10, row + 96), kChChip, 'P', 0x01);
    }
    for (size_t i = 0; i < kStabChannels.size(); ++i) {
        s.note(pos(10, 112), kStabChannels[i], voicing(G, kToA, 64)[i], xmas::kStab, 42);
    }
    s.crash(pos(10, 112), 40);
    s.retrigger_roll(pos(11, 96), pos(12), 4, 2, 30);
    s.riser(pos(11, 96), 48);
}

void stabs(Score& s, int order, std::initializer_list<int> rows, int volume) {
    for (int bar = 0; bar < 4; ++bar) {
        for (int row : rows) {
            const int at = pos(order, bar * kBar + row);
            const std::array<int, 3> notes = voicing(chord_at(at), key_at(at), 64);
            for (size_t i = 0; i < kStabChannels.size(); ++i)
                s.note(at, kStabChannels[i], notes[i], xmas::kStab, volume);
            s.effect(at + 3, kChStab, 'S', 0xC1);  // the middle voice short: a bite
        }
    }
}

void heavy(Score& s) {
    // Order 12: "Joy to the World" on the lead over heavy drums, pulsing
    // bass and sixteenth bells; order 13: the "fa la la" tag on the lead with
    // brass stabs between its notes and the choir; a tom fill at the end.
    kicks_heavy(s, 12, kXmasRows);
    kicks_heavy(s, 13, 112);
    drums(s, 12,
          {{{kHatDrive, Backbeat::Heavy},
            {kHatOffbeat, Backbeat::Heavy},
            {kHatDrive, Backbeat::Heavy},
            {kHatOffbeat, Backbeat::Claps}}},
          58);
    drums(s, 13,
          {{{kHatOffbeat, Backbeat::Heavy}, {kHatSixteens, Backbeat::Heavy}, {kHatOffbeat, Backbeat::Heavy}, {}}}, 58);
    for (int order : {12, 13}) {
        for (int bar = 0; bar < 4; ++bar) s.crash(pos(order, bar * kBar), bar == 0 ? 48 : 36);
    }
    s.melody(pos(12), kChLead, xmas::kLead, kJoyOpening, kToA, 60, {true, true});
    s.melody(pos(12, 64), kChLead, xmas::kLead, kJoyOpening, kToA, 54, {true, true});
    s.melody(pos(12, 64), kChCounter, xmas::kBells, kJoyOpening, kToA + kOctave, 36);
    s.harmony(pos(12), kChHarmony, xmas::kLead, kJoyOpening, kToA, 27);
    s.echo(pos(12), pos(13), kChLead, kChEcho, 3, 26);
    s.bass_pulse(pos(12), pos(13), 56);
    s.bell_arpeggio(pos(12), pos(13), kChBells, kArpLow + kOctave, 2, 24);
    s.melody(pos(13), kChLead, xmas::kLead, kDeckTag, kToA, 54, {true, true});
    s.melody(pos(13, 64), kChLead, xmas::kLead, kDeckTag, kToA, 58, {true, true});
    stabs(s, 13, {12, 28}, 50);
    s.bass_groove(pos(13), pos(14), 56);
    s.chip_arpeggio(pos(13), pos(14), kChipLow, 30);
    const int fill = pos(13, 96);
    const int toms[] = {84, 84, 81, 81, 79, 79, 76, 76, 72, 72, 69, 69, 67, 67, 64, 64};
    for (int i = 0; i < 16; ++i) s.tom(fill + 2 * i, toms[i], 44 + i);
    s.snare(fill + 30, 60);
    s.retrigger_roll(pos(13, 112), pos(13, 120), 8, 1, 26);
}

void reprise(Score& s) {
    // Order 14: the closing phrase of "Deck the Halls" in A with the
    // countermelody, sleigh bells every half bar; a clap-and-snare fill.
    kicks_every_beat(s, 14, 0, kXmasRows, true);
    drums(s, 14, {{{kHatSkip, Backbeat::Ghosts}, {kHatSixteens, Backbeat::Shuffle}, {kHatSkip, Backbeat::Claps}, {}}},
          58);
    for (int row = 0; row < kXmasRows; row += kHalfBar) s.sleigh(pos(14, row), 52 + touch(pos(14, row)));
    s.melody(pos(14), kChLead, xmas::kLead, kDeckClosing, kToA, 58, {true, true});
    s.harmony(pos(14), kChHarmony, xmas::kLead, kDeckClosing, kToA, 20);
    s.counterline(pos(14), pos(15), kChCounter, xmas::kBells, kCounterLow, 24);
    s.echo(pos(14), pos(15), kChLead, kChEcho, 6, 26);
    s.bass_groove(pos(14), pos(15), 50);
    s.bell_arpeggio(pos(14), pos(15), kChBells, kArpLow, 4, 16);
    for (int row = 96; row < kXmasRows; row += 3) {
        if (row % 6 == 0)
            s.snare(pos(14, row), 30 + (row - 96));
        else
            s.clap(pos(14, row), 26 + (row - 96));
    }
}

void outro(Score& s) {
    // Order 15: hits in 3 + 3 + 2 for three bars, then on every beat; each
    // hit is kick, snare, brass stab, bass and a sleigh-bell accent.
    std::vector<int> hits;
    for (int bar = 0; bar < 3; ++bar) {
        for (int row : {0, 12, 24}) hits.push_back(bar * kBar + row);
    }
    for (int row = 96; row < kXmasRows; row += kBeat) hits.push_back(row);
    for (int row : hits) {
        const int at = pos(15, row);
        const std::array<int, 3> notes = voicing(chord_at(at), key_at(at), 64);
        for (size_t i = 0; i < kStabChannels.size(); ++i) s.note(at, kStabChannels[i], notes[i], xmas::kStab, 52);
        s.note(at, kChBass, bass_root(at), xmas::kBass, 56);
        s.effect(at, kChBass, 'S', 0xC6);
        s.kick(at, 62);
        s.snare(at, row % kBar == 0 ? 40 : 54);
        s.clap(at, row % kBar == 0 ? 30 : 44);
        s.sleigh(at, 56);
        if (row % kBar == 0) s.crash(at, 44);
    }
    for (int i = 0; i < 8; ++i) s.hat(pos(15, 97 + 4 * i), 20 + 2 * i);
    s.riser(pos(15, 96), 48);
}

void last_chord(Score& s) {
    // Order 16: the tonic struck once on its first row with kick, crash,
    // sleigh bells, stab, bass, lead and choir; the bells climb through it.
    // Nothing new starts after the first bar: the ring is what fades out.
    const int at = pos(16);
    s.kick(at, 64);
    s.crash(at, 56);
    s.sleigh(at, 60);
    s.note(at, kChBass, bass_root(at), xmas::kBass, 58);
    s.off(pos(16, 80), kChBass);
    s.note(at, kChLead, C5 + kToA, xmas::kLead, 52);
    for (int row = 4; row < 64; ++row) s.effect(at + row, kChLead, 'H', 0x64);
    s.off(pos(16, 80), kChLead);
    s.note(at, kChEcho, C5 + kToA - kOctave, xmas::kLead, 40);
    s.off(pos(16, 80), kChEcho);
    const std::array<int, 3> notes = voicing(C, kToA, 64);
    for (size_t i = 0; i < kStabChannels.size(); ++i) s.note(at, kStabChannels[i], notes[i], xmas::kStab, 56);
    const std::array<int, 3> high = voicing(C, kToA, kArpLow);
    for (int i = 0; i < 6; ++i) s.note(at + 4 * i, kChBells, high[i % 3] + kOctave * (i / 3), xmas::kBells, 40 - 2 * i);
}

}  // namespace

std::vector<itw::Pattern> compose_xmas_patterns() {
    Score s;
    // The arc: a quiet start, the beat growing through "Deck the Halls", a
    // breath in the breakdown and the calm order, the key change above the
    // main theme, the heavy orders the loudest.
    constexpr int kLevels[kXmasOrders] = {80, 76, 82, 86, 90, 90, 82, 86, 80, 100, 98, 98, 106, 106, 98, 96, 86};
    for (int order = 0; order < kXmasOrders; ++order) s.level(order, kLevels[order]);
    // Strings: two voices in the intro, all three once the beat starts, out
    // for the breakdown and the calm order, back with the key change. The
    // choir joins at the main theme and carries the breakdown alone.
    constexpr std::array<int, 2> kTopPads = {kChPad + 1, kChPad + 2};
    s.chords(pos(0), pos(2), kTopPads, xmas::kStrings, kPadLow, 30);
    s.chords(pos(2), pos(7, 64), kPadChannels, xmas::kStrings, kPadLow, 38);
    s.chords(pos(9), pos(16), kPadChannels, xmas::kStrings, kPadLow, 38);
    s.chords(pos(6), pos(7, 64), kChoirChannels, xmas::kChoir, kChoirLow, 28);
    s.chords(pos(7, 64), pos(16), kChoirChannels, xmas::kChoir, kChoirLow, 34);
    intro(s);
    deck_the_halls(s);
    main_theme(s);
    breakdown(s);
    calm(s);
    climax(s);
    heavy(s);
    reprise(s);
    outro(s);
    s.chords(pos(16), pos(16, 96), kPadChannels, xmas::kStrings, kPadLow + kOctave, 44);
    s.chords(pos(16), pos(16, 96), kChoirChannels, xmas::kChoir, kChoirLow, 40);
    last_chord(s);
    return s.take();
}

}  // namespace gf::datagen
