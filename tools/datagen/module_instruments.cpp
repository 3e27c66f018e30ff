// The module's instruments: which samples each plays across the keyboard
// (tonal parts that span more than an octave are multi-sampled, so no note
// is pitched far from where it was synthesised) and their envelopes.
#include <vector>

#include "datagen/module.h"
#include "datagen/module_samples.h"

namespace gf::datagen {

namespace {

using itw::Envelope;
using itw::Instrument;
using itw::KeyZone;

// Sample numbers (1-based) in the order add_xmas_instruments stores them.
enum SampleNumber {
    kSleighSample = 1,
    kBellLowSample,
    kBellMidSample,
    kBellHighSample,
    kBassLowSample,
    kBassHighSample,
    kLeadLowSample,
    kLeadHighSample,
    kLeadTopSample,
    kStringsLowSample,
    kStringsHighSample,
    kStringsTopSample,
    kKickSample,
    kSnareSample,
    kHatSample,
    kChoirLowSample,
    kChoirMidSample,
    kChoirHighSample,
    kCrashSample,
    kClapSample,
    kShakerSample,
    kSquareLowSample,
    kSquareHighSample,
    kTomSample,
    kRiserSample,
};

Envelope envelope(std::vector<itw::EnvelopeNode> nodes, int sustain_node = -1) {
    Envelope e;
    e.enabled = true;
    e.nodes = std::move(nodes);
    if (sustain_node >= 0) {
        e.sustain = true;
        e.sustain_begin = e.sustain_end = sustain_node;
    }
    return e;
}

// A pan (or pitch) envelope that sways between its nodes for as long as the note lasts.
Envelope sway(std::vector<itw::EnvelopeNode> nodes) {
    Envelope e = envelope(std::move(nodes));
    e.loop = true;
    e.loop_begin = 0;
    e.loop_end = static_cast<int>(e.nodes.size()) - 1;
    return e;
}

// New note actions.
constexpr int kCut = 0;
constexpr int kContinue = 1;
constexpr int kOff = 2;
constexpr int kFade = 3;

Instrument instrument(const char* name, int sample, int global_volume, int new_note_action, int fadeout,
                      Envelope volume_envelope = {}) {
    Instrument i;
    i.name = name;
    i.sample = sample;
    i.global_volume = global_volume;
    i.new_note_action = new_note_action;
    i.fadeout = fadeout;
    i.volume_envelope = std::move(volume_envelope);
    return i;
}

Instrument zoned(Instrument i, std::vector<KeyZone> zones) {
    i.zones = std::move(zones);
    return i;
}

}  // namespace

void add_xmas_instruments(itw::Module& module) {
    namespace smp = samples;
    // Tonal samples and the note (60 = middle C) each was synthesised at:
    // bells G4, G5 and G6, bass C2 and C3, lead C4, C5 and C6, strings G3,
    // G4 and G5, choir G3, D4 and A4, square C5 and C6. Each zone keeps its
    // notes within about half an octave of its sample.
    module.samples = {smp::sleigh_bells(), smp::bells(67),    smp::bells(79),  smp::bells(91), smp::bass(672),
                      smp::bass(336),      smp::lead(131),    smp::lead(262),  smp::lead(524), smp::strings(98),
                      smp::strings(196),   smp::strings(392), smp::kick(),     smp::snare(),   smp::hat(),
                      smp::choir(98),      smp::choir(147),   smp::choir(220), smp::crash(),   smp::clap(),
                      smp::shaker(),       smp::square(84),   smp::square(42), smp::tom(),     smp::riser()};

    // Envelope ticks are 20 ms at tempo 125. Sustained instruments hold at
    // their sustain node until a note-off, then fall to 0.
    Instrument strings =
        zoned(instrument("Strings", kStringsLowSample, 48, kOff, 32, envelope({{0, 0}, {8, 64}, {9, 64}, {50, 0}}, 2)),
              {{61, kStringsLowSample}, {73, kStringsHighSample}, {119, kStringsTopSample}});
    strings.pan_envelope = sway({{0, -12}, {120, 12}, {240, -12}});
    Instrument choir =
        zoned(instrument("Choir", kChoirLowSample, 56, kOff, 32, envelope({{0, 0}, {14, 64}, {15, 64}, {70, 0}}, 2)),
              {{58, kChoirLowSample}, {65, kChoirMidSample}, {119, kChoirHighSample}});
    choir.pan_envelope = sway({{0, 10}, {160, -10}, {320, 10}});
    Instrument tom = instrument("Tom", kTomSample, 110, kCut, 0, envelope({{0, 64}, {10, 40}, {24, 0}}));
    tom.pitch_envelope = envelope({{0, 0}, {6, -4}, {24, -10}});
    Instrument stab = zoned(
        instrument("Brass stab", kStringsLowSample, 100, kOff, 64, envelope({{0, 64}, {3, 50}, {10, 20}, {18, 0}})),
        {{61, kStringsLowSample}, {73, kStringsHighSample}, {119, kStringsTopSample}});
    stab.pitch_envelope = envelope({{0, -3}, {2, 0}});
    Instrument riser = instrument("Riser", kRiserSample, 128, kCut, 0);
    riser.pitch_envelope = envelope({{0, -16}, {96, 16}});

    module.instruments = {
        instrument("Sleigh bells", kSleighSample, 128, kContinue, 0),
        zoned(instrument("Bells", kBellLowSample, 96, kFade, 40),
              {{73, kBellLowSample}, {85, kBellMidSample}, {119, kBellHighSample}}),
        zoned(instrument("Bass", kBassLowSample, 76, kCut, 128,
                         envelope({{0, 64}, {4, 56}, {25, 46}, {26, 46}, {30, 0}}, 3)),
              {{42, kBassLowSample}, {119, kBassHighSample}}),
        zoned(instrument("Lead", kLeadLowSample, 128, kOff, 64,
                         envelope({{0, 0}, {1, 64}, {12, 52}, {13, 52}, {17, 0}}, 3)),
              {{65, kLeadLowSample}, {77, kLeadHighSample}, {119, kLeadTopSample}}),
        strings,
        instrument("Kick", kKickSample, 50, kCut, 0),
        instrument("Snare", kSnareSample, 106, kCut, 0),
        instrument("Closed hat", kHatSample, 128, kCut, 0, envelope({{0, 64}, {2, 28}, {5, 0}})),
        choir,
        instrument("Crash", kCrashSample, 110, kFade, 24),
        instrument("Open hat", kHatSample, 96, kCut, 0),
        tom,
        stab,
        instrument("Clap", kClapSample, 104, kCut, 0),
        instrument("Shaker", kShakerSample, 110, kCut, 0),
        zoned(instrument("Chip arpeggio", kSquareLowSample, 36, kOff, 96,
                         envelope({{0, 64}, {2, 44}, {3, 40}, {8, 0}}, 2)),
              {{77, kSquareLowSample}, {119, kSquareHighSample}}),
        riser,
    };
}

}  // namespace gf::datagen
