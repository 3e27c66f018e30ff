// The samples of "xmas.it", synthesised in code. Tonal samples that sustain
// are built as exact loops: every partial completes a whole number of cycles
// over the loop, so the loop point is seamless.
#include "datagen/module_samples.h"

#include <cstdint>
#include <functional>
#include <vector>

#include "datagen/synth.h"

namespace gf::datagen::samples {

namespace {

using itw::Sample;
namespace s = synth;

constexpr double kRate = s::kSampleRate;
constexpr double kPeak = 0.9;       // every sample is normalised to 90 % of full scale
constexpr int kHalfSecond = 22050;  // loop length of the sustained tones

int samples_for(double seconds) { return static_cast<int>(seconds * kRate); }

// One detuned copy of a harmonic tone inside a loop: `cycles` whole
// fundamental cycles per loop.
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
    // sin(a + φ) = sin a · cos φ + cos a · sin φ, with sin a and cos a from
    // one table over the loop: every partial's angle is a whole step of it.
    std::vector<double> sin_table(loop), cos_table(loop);
    for (int n = 0; n < loop; ++n) {
        sin_table[n] = s::sine(static_cast<double>(n) / loop);
        cos_table[n] = s::sine(static_cast<double>(n) / loop + 0.25);
    }
    s::Noise phases(seed);
    for (const LoopVoice& voice : voices) {
        const double fundamental = voice.cycles * kRate / loop;
        for (int h = 1; h * fundamental <= max_hz; ++h) {
            const double weight = voice.gain * amplitude(h, h * fundamental);
            const double phase = 0.5 * (phases.next() + 1.0);
            if (weight == 0.0) continue;
            const double a = weight * s::sine(phase + 0.25), b = weight * s::sine(phase);
            const int64_t step = static_cast<int64_t>(h) * voice.cycles % loop;
            int64_t position = 0;
            for (int n = 0; n < loop; ++n) {
                out[n] += a * sin_table[position] + b * cos_table[position];
                position += step;
                if (position >= loop) position -= loop;
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

// A half-second loop of detuned voices around `cycles`, tuned by its centre voice.
Sample loop_sample(const char* name, int cycles, const std::vector<LoopVoice>& offsets, double max_hz,
                   const std::function<double(int, double)>& amplitude, uint32_t seed) {
    std::vector<LoopVoice> voices;
    for (const LoopVoice& v : offsets) voices.push_back({cycles + v.cycles, v.gain});
    Sample sample =
        looped(make_sample(name, additive_loop(kHalfSecond, voices, max_hz, amplitude, seed), 1), 0, kHalfSecond);
    sample.c5_speed = s::c5_speed_for(cycles * kRate / kHalfSecond);
    return sample;
}

}  // namespace

// A shake of eight small bells, each with four inharmonic partials, struck
// three times in quick succession, over a short rattle of high noise.
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
// The ring lasts longer than the longest bell note of the score and fades
// to silence over its last half second, so no note stops dead.
Sample bells(int note) {
    const int length = samples_for(2.4);
    const int fade = samples_for(0.5);
    const double carrier = s::note_hz(note);
    std::vector<double> out(length);
    for (int n = 0; n < length; ++n) {
        const double t = n / kRate;
        const double attack = 1.0 - s::exp(-t / 0.0015);
        const double index_a = 2.2 * s::exp(-t / 0.15) + 0.3;
        const double index_b = 1.6 * s::exp(-t / 0.09);
        const double pair_a = s::sine(carrier * t + index_a / (2 * s::kPi) * s::sine(carrier * t));
        const double pair_b = s::sine(carrier * t + index_b / (2 * s::kPi) * s::sine(3.5 * carrier * t));
        const double tail = n < length - fade ? 1.0 : 0.5 + 0.5 * s::sine(0.25 + 0.5 * (n - (length - fade)) / fade);
        out[n] = tail * attack * (0.8 * s::exp(-t / 0.75) * pair_a + 0.5 * s::exp(-t / 0.3) * pair_b);
    }
    const char* name = note < 73 ? "fm bells low" : note < 85 ? "fm bells mid" : "fm bells high";
    return make_sample(name, out, s::c5_speed_for(carrier));
}

// Plucked bass: a band-limited sawtooth whose brightness falls over the
// first tenth of a second to a still bright, steady stretch that loops. The
// score keeps its roots below 100 Hz, so the fundamental carries the weight
// and the upper harmonics let it be heard on small speakers.
Sample bass(int period) {
    const int periods = 8 * 672 / period * 2;  // about 0.3 s whatever the pitch
    constexpr int kLoopPeriods = 4;
    const int length = period * periods;
    const int loop_begin = period * (periods - kLoopPeriods);
    const double loop_time = loop_begin / kRate;
    std::vector<double> out(length, 0.0);
    for (int n = 0; n < length; ++n) {
        // Brightness settles at the loop start and stays fixed inside the loop.
        const double t = n < loop_begin ? n / kRate : loop_time;
        const double darkness = 0.006 + 0.04 * (1.0 - s::exp(-t / 0.06));
        double v = 0.0;
        for (int h = 1; h * kRate / period <= 12000.0; ++h) {
            const double weight = 1.0 / h * s::exp(-(h - 1) * darkness);
            v += weight * s::sine(static_cast<double>((static_cast<int64_t>(h) * n) % period) / period);
        }
        out[n] = s::soft_clip(v, 0.4);
    }
    return looped(make_sample(period > 500 ? "bass low" : "bass high", out, s::c5_speed_for(kRate / period)),
                  loop_begin, length);
}

// Lead: three detuned voices, each a blend of sawtooth and square, bright
// up to 14 kHz.
Sample lead(int cycles) {
    auto amplitude = [](int h, double hz) {
        const double saw = 0.65 / h;
        const double square = (h % 2 == 1) ? 0.45 / h : 0.0;
        return (saw + square) * s::exp(-hz / 14000.0);
    };
    const char* name = cycles < 200 ? "lead low" : cycles < 400 ? "lead high" : "lead top";
    Sample sample = loop_sample(name, cycles, {{-1, 0.7}, {0, 1.0}, {1, 0.7}}, 14000.0, amplitude, 0x1EAD + cycles);
    sample.vibrato_speed = 20;
    sample.vibrato_depth = 4;
    sample.vibrato_rate = 24;
    return sample;
}

// Strings: five sawtooth voices spread over ±4 Hz, an open, airy top.
Sample strings(int cycles) {
    // The fundamental held back a little: the warmth comes from the bass, the
    // strings carry the shimmer above it.
    auto amplitude = [](int h, double hz) { return (h == 1 ? 0.55 : 1.0) * s::exp(-hz / 6000.0) / h; };
    const char* name = cycles < 150 ? "strings low" : cycles < 300 ? "strings high" : "strings top";
    return loop_sample(name, cycles, {{-2, 0.4}, {-1, 0.8}, {0, 1.0}, {1, 0.8}, {2, 0.4}}, 12000.0, amplitude,
                       0x5781 + cycles);
}

// Choir "aah": three voices whose harmonics are weighted by the formants of
// an open vowel (about 800, 1150, 2800 and 3500 Hz) over a gentle slope.
// The formants stay put whatever the pitch, as a real choir's vowel does.
Sample choir(int cycles) {
    struct Formant {
        double hz, width, gain;
    };
    static constexpr Formant kFormants[] = {{800, 130, 1.0}, {1150, 140, 0.55}, {2800, 260, 0.3}, {3500, 320, 0.18}};
    auto amplitude = [](int h, double hz) {
        double weight = 0.3 / h;
        for (const Formant& f : kFormants) {
            const double d = (hz - f.hz) / f.width;
            weight += f.gain * s::exp(-d * d);
        }
        return weight;
    };
    const char* name = cycles < 120 ? "choir low" : cycles < 180 ? "choir mid" : "choir high";
    return loop_sample(name, cycles, {{-1, 0.8}, {0, 1.0}, {1, 0.8}}, 5500.0, amplitude, 0xC401 + cycles);
}

Sample square(int period) {
    const int loop = period * 8;
    std::vector<double> out(loop, 0.0);
    for (int n = 0; n < loop; ++n) {
        for (int h = 1; h * kRate / period <= 9000.0; h += 2) {
            out[n] += s::sine(static_cast<double>((static_cast<int64_t>(h) * n) % period) / period) / h;
        }
    }
    return looped(make_sample(period > 60 ? "square low" : "square high", out, s::c5_speed_for(kRate / period)), 0,
                  loop);
}

// Kick: a sine swept from about 260 Hz down to 50 Hz with a bright click,
// short and gently saturated.
Sample kick() {
    const int length = samples_for(0.3);
    std::vector<double> out(length);
    s::Noise rng(0xB00);
    s::HighPass click_filter(2000.0);
    double cycles = 0.0;
    for (int n = 0; n < length; ++n) {
        const double t = n / kRate;
        const double hz = 50.0 + 130.0 * s::exp(-t / 0.03) + 80.0 * s::exp(-t / 0.005);
        const double body = s::sine(cycles) * s::exp(-t / 0.11) * (1.0 - s::exp(-t / 0.0008));
        cycles += hz / kRate;
        const double click = 0.5 * click_filter.step(rng.next()) * s::exp(-t / 0.003);
        out[n] = s::soft_clip(1.4 * body + click, 0.6);
    }
    return make_sample("kick", out, s::kSampleRate);
}

// Snare: two decaying drum-head tones and a burst of noise.
Sample snare() {
    const int length = samples_for(0.32);
    std::vector<double> out(length);
    s::Noise rng(0x5AE);
    // The noise band-limited to the crack of the wires (2 to 12 kHz), so
    // the drum is not papery on a big system.
    s::HighPass noise_filter(2000.0);
    s::LowPass wires(12000.0);
    for (int n = 0; n < length; ++n) {
        const double t = n / kRate;
        const double body =
            0.65 * s::sine(190.0 * t) * s::exp(-t / 0.045) + 0.4 * s::sine(340.0 * t) * s::exp(-t / 0.03);
        const double noise = wires.step(noise_filter.step(rng.next())) * (1.0 * s::exp(-t / 0.1));
        out[n] = s::soft_clip(body + noise, 0.4);
    }
    return make_sample("snare", out, s::kSampleRate);
}

// Hi-hat: six square waves at inharmonic frequencies plus noise, band-passed
// to 4-9 kHz (the metal, not the hiss); rings for about half a second (the
// closed hat's envelope cuts it).
Sample hat() {
    const int length = samples_for(0.45);
    std::vector<double> out(length);
    s::Noise rng(0x4A7);
    s::HighPass first(4000.0);
    s::HighPass second(4000.0);
    s::LowPass third(9000.0);
    s::LowPass fourth(9000.0);
    const double metal[] = {205.3, 304.4, 369.6, 522.7, 540.0, 800.0};
    for (int n = 0; n < length; ++n) {
        const double t = n / kRate;
        double v = 0.0;
        for (double hz : metal) v += s::sine(hz * 2.7 * t) >= 0.0 ? 1.0 : -1.0;
        v = v / 6.0 + 0.8 * rng.next();
        out[n] = fourth.step(third.step(second.step(first.step(v)))) * s::exp(-t / 0.14) * (1.0 - s::exp(-t / 0.0005));
    }
    return make_sample("hi-hat", out, s::kSampleRate);
}

// Crash cymbal: forty inharmonic partials between 3 and 11 kHz and
// high-passed noise, a bright burst over a long decay.
Sample crash() {
    const int length = samples_for(1.6);
    std::vector<double> out(length, 0.0);
    s::Noise rng(0xC2A5);
    struct Partial {
        double hz, tau, gain, phase;
    };
    std::vector<Partial> partials;
    for (int i = 0; i < 40; ++i) {
        const double hz = 3000.0 + 8000.0 * 0.5 * (rng.next() + 1.0);
        partials.push_back({hz, 0.3 + 0.6 * 0.5 * (rng.next() + 1.0), 0.5 + 0.5 * rng.next(), rng.next()});
    }
    s::HighPass noise_filter(3000.0);
    for (int n = 0; n < length; ++n) {
        const double t = n / kRate;
        double v = 0.0;
        for (const Partial& p : partials) v += p.gain * s::exp(-t / p.tau) * s::sine(p.hz * t + p.phase);
        v = 0.08 * v + noise_filter.step(rng.next()) * (0.8 * s::exp(-t / 0.55) + 0.8 * s::exp(-t / 0.05));
        out[n] = v * (1.0 - s::exp(-t / 0.0005));
    }
    return make_sample("crash", out, s::kSampleRate);
}

// Hand clap: three quick bursts of band-passed noise, then a short room tail.
Sample clap() {
    const int length = samples_for(0.3);
    std::vector<double> out(length);
    s::Noise rng(0xC1A9);
    s::HighPass low_cut(900.0);
    s::LowPass high_cut(5000.0);
    const double bursts[] = {0.0, 0.011, 0.023};
    for (int n = 0; n < length; ++n) {
        const double t = n / kRate;
        double level = 0.6 * s::exp(-(t - 0.023) / 0.09) * (t >= 0.023 ? 1.0 : 0.0);
        for (double b : bursts) {
            if (t >= b) level += s::exp(-(t - b) / 0.006);
        }
        out[n] = level * high_cut.step(low_cut.step(rng.next()));
    }
    return make_sample("clap", out, s::kSampleRate);
}

// Shaker: high noise with a soft 8 ms attack and a 60 ms decay.
Sample shaker() {
    const int length = samples_for(0.15);
    std::vector<double> out(length);
    s::Noise rng(0x5A4E);
    s::HighPass first(5000.0);
    s::HighPass second(5000.0);
    for (int n = 0; n < length; ++n) {
        const double t = n / kRate;
        out[n] = second.step(first.step(rng.next())) * (1.0 - s::exp(-t / 0.008)) * s::exp(-t / 0.06);
    }
    return make_sample("shaker", out, s::kSampleRate);
}

// Tom: a sine that drops a fifth from its strike, with a little skin noise;
// its instrument's pitch envelope bends it further.
Sample tom() {
    const int length = samples_for(0.5);
    std::vector<double> out(length);
    s::Noise rng(0x7011);
    s::LowPass skin(4000.0);
    double cycles = 0.0;
    const double base = s::note_hz(48.0);
    for (int n = 0; n < length; ++n) {
        const double t = n / kRate;
        const double hz = base * (1.0 + 0.5 * s::exp(-t / 0.04));
        cycles += hz / kRate;
        out[n] = s::sine(cycles) * s::exp(-t / 0.18) + 0.3 * skin.step(rng.next()) * s::exp(-t / 0.02);
    }
    return make_sample("tom", out, s::kSampleRate);
}

// Riser: noise whose level climbs over two seconds, brighter as it climbs,
// saturated softly as it nears the top so its last second is loud for its
// peak: it has to be heard through the full band.
Sample riser() {
    const int length = samples_for(2.0);
    std::vector<double> out(length);
    s::Noise rng(0x215E);
    s::HighPass air(2500.0);
    s::LowPass body(1200.0);
    for (int n = 0; n < length; ++n) {
        const double t = n / kRate;
        const double rise = t / 2.0;
        const double v = rng.next();
        out[n] = s::soft_clip(4.0 * rise * rise * (air.step(v) + 0.4 * (1.0 - rise) * body.step(v)), 2.0);
    }
    return make_sample("riser", out, s::kSampleRate);
}

}  // namespace gf::datagen::samples
