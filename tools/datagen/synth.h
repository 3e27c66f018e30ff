// Deterministic sound synthesis for the module's samples: sine and
// exponential from basic arithmetic only (no libm), a fixed-seed noise
// generator, simple filters and the conversion to 16-bit PCM. The same
// code gives the same samples, bit for bit, on every machine.
#pragma once

#include <cstdint>
#include <vector>

namespace gf::datagen::synth {

constexpr int kSampleRate = 44100;
constexpr double kPi = 3.14159265358979323846;
constexpr double kMiddleCHz = 261.6255653005986;  // C-5 in the tracker's numbering

// sin(2π·cycles). Reduces to a quarter period and sums a Taylor series;
// the error is below 1e-12, far under one step of 16-bit audio.
double sine(double cycles);

// e^x for |x| up to about 700, by halving into [−ln2/2, ln2/2] and a series.
double exp(double x);

// 2^x.
double exp2(double x);

// Frequency of a note, 12 to the octave, note 60 = middle C (261.63 Hz).
double note_hz(double note);

// White noise in [−1, 1) from a 32-bit xorshift generator with a fixed seed.
class Noise {
public:
    explicit Noise(uint32_t seed) : state_(seed == 0 ? 0x9E3779B9u : seed) {}
    double next();
    // A whole number in 0..range−1.
    uint32_t below(uint32_t range);

private:
    uint32_t state_;
};

// First-order low-pass: y += a·(x − y), with a from the cut-off frequency.
class LowPass {
public:
    explicit LowPass(double cutoff_hz);
    double step(double x);

private:
    double a_;
    double y_ = 0.0;
};

// First-order high-pass: the input minus its low-passed copy.
class HighPass {
public:
    explicit HighPass(double cutoff_hz) : low_(cutoff_hz) {}
    double step(double x) { return x - low_.step(x); }

private:
    LowPass low_;
};

// Soft saturation that keeps small signals linear: x / (1 + |x|·k) scaled so
// that the slope at 0 is 1.
double soft_clip(double x, double k);

// Scales the signal so that its largest magnitude becomes `peak` × 32767 and
// rounds to 16 bits (halves away from zero). A silent signal stays silent.
std::vector<int16_t> to_pcm16(const std::vector<double>& signal, double peak);

// C-5 playback rate for a sample whose fundamental is `sample_hz` at 44.1 kHz,
// so that note 60 sounds middle C.
int c5_speed_for(double sample_hz);

}  // namespace gf::datagen::synth
