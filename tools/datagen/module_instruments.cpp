// The module's ten samples, synthesised at 44.1 kHz in 16 bits, and the
// thirteen instruments that play them. Tonal samples that sustain are built
// as exact loops: every partial completes a whole number of cycles over the
// loop, so the loop point is seamless.
#include <cstdint>
#include <functional>
#include <vector>

#include "datagen/module.h"
#include "datagen/synth.h"

namespace gf::datagen {

namespace {

using itw::Envelope;
using itw::Instrument;
using itw::Sample;
namespace s = synth;

constexpr double kRate = s::kSampleRate;
constexpr double kPeak = 0.9;  // every sample is normalised to 90 % of full scale

int samples_for(double seconds) { return static_cast<int>(seconds * kRate); }

// One detuned copy of a harmonic tone inside a loop of `loop` samples:
// `cycles` whole fundamental cycles per loop.
struct LoopVoice {
    int cycles;
    double gain;
};

// Sums harmonics of every voice over one loop. `amplitude(h, hz)` gives the
// weight of harmonic h whose frequency is hz; phases are fixed pseudo-random
// so the waveform has no tall spikes. The phase of harmonic h of a voice at
// sample n is (h·cycles·n mod loop) / loop, computed in integers, so the
// last sample leads exactly into the first.
std::vector<double> additive_loop(int loop, const std::vector<LoopVoice>& voices, double max_hz,
                                  const std::function<double(int, double)>& amplitude, uint32_t seed) {
    std::vector<double> out(loop, 0.0);
    s::Noise phases(seed);
    for (const LoopVoice& voice : voices) {
        const double fundamental = voice.cycles * kRate / loop;
        for (int h = 1; h * fundamental <= max_hz; ++h) {
            const double weight = voice.gain * amplitude(h, h * fundamental);
            const double phase = 0.5 * (phases.next() + 1.0);
            if (weight == 0.0) continue;
            const int64_t step = static_cast<int64_t>(h) * voice.cycles;
            for (int n = 0; n < loop; ++n) {
                const int64_t position = (step * n) % loop;
                out[n] += weight * s::sine(static_cast<double>(position) / loop + phase);
            }
        }
    }
    return out;
}

Sample make_sample(const char* name, const std::vector<double>& signal, int c5_speed) {
    Sample sample;
    sample.name = name;
    sample.data = s::to_pcm16(signal, kPeak);
    sample.c5_speed = c5_speed;
    return sample;
}

Sample looped(Sample sample, uint32_t begin, uint32_t end) {
    sample.loop = true;
    sample.loop_begin = begin;
    sample.loop_end = end;
    return sample;
}

// Sleigh bells: a shake of eight small bells, each with four inharmonic
// partials, struck three times in quick succession, over a short rattle of
// high noise. Played at its own pitch (C-5).
Sample sleigh_bells() {
    const int length = samples_for(0.55);
    std::vector<double> out(length, 0.0);
    s::Noise rng(0x51E16);
    const double impact_time[] = {0.0, 0.042, 0.094};
    const double impact_gain[] = {1.0, 0.65, 0.45};
    const double ratios[] = {1.0, 1.59, 2.14, 2.83};
    const double partial_gain[] = {1.0, 0.55, 0.35, 0.2};
    for (int bell = 0; bell < 8; ++bell) {
        const double base = 2400.0 + 420.0 * bell + 150.0 * rng.next();
        const double tau = 0.07 + 0.03 * (rng.next() + 1.0) * 0.5;
        for (int hit = 0; hit < 3; ++hit) {
            const double start = impact_time[hit] + 0.006 * (rng.next() + 1.0) * 0.5;
            const double gain = impact_gain[hit] * (0.6 + 0.2 * (rng.next() + 1.0));
            const int first = static_cast<int>(start * kRate);
            for (int n = first; n < length; ++n) {
                const double t = (n - first) / kRate;
                const double envelope = gain * s::exp(-t / tau);
                if (envelope < 1e-5) break;
                double v = 0.0;
                for (int p = 0; p < 4; ++p) v += partial_gain[p] * s::sine(base * ratios[p] * t + 0.13 * p);
                out[n] += envelope * v;
            }
        }
    }
    s::HighPass rattle_filter(5000.0);
    for (int n = 0; n < length; ++n) {
        const double t = n / kRate;
        double rattle = 0.0;
        for (int hit = 0; hit < 3; ++hit) {
            if (t >= impact_time[hit]) rattle += impact_gain[hit] * s::exp(-(t - impact_time[hit]) / 0.025);
        }
        out[n] += 1.5 * rattle * rattle_filter.step(rng.next());
    }
    return make_sample("sleigh bells", out, s::kSampleRate);
}

// Bells by frequency modulation: a harmonic pair (modulator at the carrier
// frequency, index falling fast, so the strike is bright and the tail pure)
// plus an inharmonic pair (modulator at 3.5 × the carrier) for the shimmer.
// Synthesised two octaves above middle C, where the bells mostly play, and
// stored with the C-5 speed that makes note 60 sound middle C.
Sample fm_bells() {
    const int length = samples_for(1.4);
    const double carrier = s::note_hz(84.0);  // two octaves above middle C
    std::vector<double> out(length);
    for (int n = 0; n < length; ++n) {
        const double t = n / kRate;
        const double attack = 1.0 - s::exp(-t / 0.0015);
        const double index_a = 1.6 * s::exp(-t / 0.12) + 0.15;
        const double index_b = 1.3 * s::exp(-t / 0.07);
        const double pair_a = s::sine(carrier * t + index_a / (2 * s::kPi) * s::sine(carrier * t));
        const double pair_b = s::sine(carrier * t + index_b / (2 * s::kPi) * s::sine(3.5 * carrier * t));
        out[n] = attack * (0.8 * s::exp(-t / 0.75) * pair_a + 0.45 * s::exp(-t / 0.28) * pair_b);
    }
    return make_sample("fm bells", out, s::c5_speed_for(carrier));
}

// Plucked synth bass: a band-limited sawtooth whose brightness falls over the
// first quarter second, then one steady stretch that loops. The period is a
// whole number of samples (336, 131.25 Hz) so the loop holds whole cycles.
Sample synth_bass() {
    constexpr int kPeriod = 336;
    constexpr int kPeriods = 40;
    constexpr int kLoopPeriods = 4;
    const int length = kPeriod * kPeriods;
    const int loop_begin = kPeriod * (kPeriods - kLoopPeriods);
    const double loop_time = loop_begin / kRate;
    std::vector<double> out(length, 0.0);
    for (int n = 0; n < length; ++n) {
        // Brightness settles at the loop start and stays fixed inside the loop.
        const double t = n < loop_begin ? n / kRate : loop_time;
        const double darkness = 0.05 + 0.32 * (1.0 - s::exp(-t / 0.07));
        double v = 0.0;
        for (int h = 1; h <= 40; ++h) {
            const double weight = (h == 1 ? 1.6 : 1.0) / h * s::exp(-(h - 1) * darkness);
            v += weight * s::sine(static_cast<double>((static_cast<int64_t>(h) * n) % kPeriod) / kPeriod);
        }
        out[n] = s::soft_clip(v, 0.25);
    }
    return looped(make_sample("synth bass", out, s::c5_speed_for(kRate / kPeriod)), loop_begin, length);
}

// Lead: three detuned voices (260, 262, 264 Hz over a half-second loop),
// each a blend of sawtooth and square rolled off above the 18th harmonic.
Sample lead() {
    const int loop = samples_for(0.5);
    const std::vector<LoopVoice> voices = {{130, 0.7}, {131, 1.0}, {132, 0.7}};
    auto amplitude = [](int h, double) {
        const double saw = 0.65 / h;
        const double square = (h % 2 == 1) ? 0.45 / h : 0.0;
        return (saw + square) * s::exp(-h / 18.0);
    };
    Sample sample = looped(make_sample("lead", additive_loop(loop, voices, 9000.0, amplitude, 0x1EAD), 0), 0, loop);
    sample.c5_speed = s::c5_speed_for(262.0);
    sample.vibrato_speed = 20;
    sample.vibrato_depth = 6;
    sample.vibrato_rate = 24;
    return sample;
}

// Strings pad: five sawtooth voices spread over ±3 Hz around 262 Hz in a
// one-second loop, with a soft high roll-off.
Sample strings() {
    const int loop = samples_for(1.0);
    const std::vector<LoopVoice> voices = {{259, 0.7}, {261, 0.9}, {262, 1.0}, {263, 0.9}, {265, 0.7}};
    auto amplitude = [](int h, double) { return s::exp(-h / 7.0) / h; };
    Sample sample = looped(make_sample("strings", additive_loop(loop, voices, 7500.0, amplitude, 0x5781), 0), 0, loop);
    sample.c5_speed = s::c5_speed_for(262.0);
    return sample;
}

// Choir "aah": three voices whose harmonics are weighted by the formants of
// an open vowel (about 800, 1150, 2800 and 3500 Hz) over a gentle slope.
Sample choir() {
    const int loop = samples_for(1.0);
    const std::vector<LoopVoice> voices = {{259, 0.8}, {262, 1.0}, {265, 0.8}};
    struct Formant {
        double hz, width, gain;
    };
    const Formant formants[] = {{800, 130, 1.0}, {1150, 140, 0.5}, {2800, 260, 0.18}, {3500, 320, 0.1}};
    auto amplitude = [&](int h, double hz) {
        double weight = 0.3 / h;
        for (const Formant& f : formants) {
            const double d = (hz - f.hz) / f.width;
            weight += f.gain * s::exp(-d * d);
        }
        return weight;
    };
    Sample sample = looped(make_sample("choir", additive_loop(loop, voices, 4800.0, amplitude, 0xC401), 0), 0, loop);
    sample.c5_speed = s::c5_speed_for(262.0);
    return sample;
}

// Kick: a sine swept from about 230 Hz down to 48 Hz with a click on top,
// gently saturated.
Sample kick() {
    const int length = samples_for(0.42);
    std::vector<double> out(length);
    s::Noise rng(0xB00);
    s::LowPass click_filter(3000.0);
    double cycles = 0.0;
    for (int n = 0; n < length; ++n) {
        const double t = n / kRate;
        const double hz = 48.0 + 120.0 * s::exp(-t / 0.035) + 60.0 * s::exp(-t / 0.006);
        const double body = s::sine(cycles) * s::exp(-t / 0.16) * (1.0 - s::exp(-t / 0.0008));
        cycles += hz / kRate;
        const double click = 0.35 * click_filter.step(rng.next()) * s::exp(-t / 0.002);
        out[n] = s::soft_clip(1.4 * body + click, 0.6);
    }
    return make_sample("kick", out, s::kSampleRate);
}

// Snare: two decaying drum-head tones and a high-passed noise burst.
Sample snare() {
    const int length = samples_for(0.32);
    std::vector<double> out(length);
    s::Noise rng(0x5AE);
    s::HighPass noise_filter(1200.0);
    s::LowPass soften(9000.0);
    for (int n = 0; n < length; ++n) {
        const double t = n / kRate;
        const double body =
            0.6 * s::sine(185.0 * t) * s::exp(-t / 0.045) + 0.35 * s::sine(330.0 * t) * s::exp(-t / 0.03);
        const double noise = soften.step(noise_filter.step(rng.next())) * (0.9 * s::exp(-t / 0.11));
        out[n] = s::soft_clip(body + noise, 0.4);
    }
    return make_sample("snare", out, s::kSampleRate);
}

// Hi-hat: six square waves at inharmonic frequencies plus noise, high-passed
// twice; rings for about half a second (the closed hat cuts it short with
// its envelope).
Sample hat() {
    const int length = samples_for(0.45);
    std::vector<double> out(length);
    s::Noise rng(0x4A7);
    s::HighPass first(6500.0);
    s::HighPass second(6500.0);
    const double metal[] = {205.3, 304.4, 369.6, 522.7, 540.0, 800.0};
    for (int n = 0; n < length; ++n) {
        const double t = n / kRate;
        double v = 0.0;
        for (double hz : metal) v += s::sine(hz * 2.7 * t) >= 0.0 ? 1.0 : -1.0;
        v = v / 6.0 + 0.8 * rng.next();
        out[n] = second.step(first.step(v)) * s::exp(-t / 0.14) * (1.0 - s::exp(-t / 0.0005));
    }
    return make_sample("hi-hat", out, s::kSampleRate);
}

// Crash cymbal: forty inharmonic partials between 3 and 11 kHz and
// high-passed noise, a bright burst over a long decay.
Sample crash() {
    const int length = samples_for(1.3);
    std::vector<double> out(length, 0.0);
    s::Noise rng(0xC2A5);
    struct Partial {
        double hz, tau, gain, phase;
    };
    std::vector<Partial> partials;
    for (int i = 0; i < 40; ++i) {
        const double hz = 3000.0 + 8000.0 * 0.5 * (rng.next() + 1.0);
        partials.push_back({hz, 0.25 + 0.5 * 0.5 * (rng.next() + 1.0), 0.5 + 0.5 * rng.next(), rng.next()});
    }
    s::HighPass noise_filter(3000.0);
    for (int n = 0; n < length; ++n) {
        const double t = n / kRate;
        double v = 0.0;
        for (const Partial& p : partials) v += p.gain * s::exp(-t / p.tau) * s::sine(p.hz * t + p.phase);
        v = 0.08 * v + noise_filter.step(rng.next()) * (0.8 * s::exp(-t / 0.45) + 0.8 * s::exp(-t / 0.05));
        out[n] = v * (1.0 - s::exp(-t / 0.0005));
    }
    return make_sample("crash", out, s::kSampleRate);
}

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

}  // namespace

void add_xmas_instruments(itw::Module& module) {
    // Sample numbers follow the first ten instruments.
    module.samples = {sleigh_bells(), fm_bells(), synth_bass(), lead(),  strings(),
                      kick(),         snare(),    hat(),        choir(), crash()};
    constexpr int kSleighSample = 1, kBellSample = 2, kBassSample = 3, kLeadSample = 4, kStringSample = 5;
    constexpr int kKickSample = 6, kSnareSample = 7, kHatSample = 8, kChoirSample = 9, kCrashSample = 10;

    // Envelope ticks are 20 ms at tempo 125. Sustained instruments hold at
    // their sustain node until a note-off, then fall to 0.
    module.instruments = {
        instrument("Sleigh bells", kSleighSample, 128, kContinue, 0),
        instrument("Bells", kBellSample, 100, kFade, 40),
        instrument("Bass", kBassSample, 66, kCut, 128, envelope({{0, 64}, {4, 56}, {25, 46}, {26, 46}, {30, 0}}, 3)),
        instrument("Lead", kLeadSample, 116, kOff, 64, envelope({{0, 0}, {1, 64}, {12, 52}, {13, 52}, {17, 0}}, 3)),
        instrument("Strings", kStringSample, 80, kOff, 32, envelope({{0, 0}, {14, 64}, {15, 64}, {60, 0}}, 2)),
        instrument("Kick", kKickSample, 108, kCut, 0),
        instrument("Snare", kSnareSample, 128, kCut, 0),
        instrument("Closed hat", kHatSample, 90, kCut, 0, envelope({{0, 64}, {2, 28}, {5, 0}})),
        instrument("Choir", kChoirSample, 84, kOff, 32, envelope({{0, 0}, {20, 64}, {21, 64}, {75, 0}}, 2)),
        instrument("Crash", kCrashSample, 80, kFade, 24),
        instrument("Open hat", kHatSample, 76, kCut, 0),
        instrument("Tom", kKickSample, 110, kCut, 0, envelope({{0, 64}, {8, 40}, {18, 0}})),
        instrument("Strings stab", kStringSample, 100, kOff, 64, envelope({{0, 64}, {3, 48}, {10, 16}, {16, 0}})),
    };
}

}  // namespace gf::datagen
