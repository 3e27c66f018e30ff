// Deterministic synthesis primitives; see synth.h.
#include "datagen/synth.h"

#include <cmath>

namespace gf::datagen::synth {

namespace {

constexpr double kLn2 = 0.69314718055994530942;
constexpr double kTwoPi = 2.0 * kPi;

// sin(x) for |x| ≤ π/2 (Taylor series to x^17, Horner form).
double sine_quarter(double x) {
    const double x2 = x * x;
    double term = 1.0;
    // 1 − x²/(2·3) · (1 − x²/(4·5) · (1 − …)) evaluated from the inside out.
    for (int k = 8; k >= 1; --k) {
        term = 1.0 - x2 / static_cast<double>((2 * k) * (2 * k + 1)) * term;
    }
    return x * term;
}

}  // namespace

double sine(double cycles) {
    double f = cycles - std::floor(cycles);  // [0, 1): floor is exact
    // Fold onto [−1/4, 1/4] using sin(π − x) = sin(x) and sin(x − 2π) = sin(x).
    if (f > 0.75) {
        f -= 1.0;
    } else if (f > 0.25) {
        f = 0.5 - f;
    }
    return sine_quarter(f * kTwoPi);
}

double exp(double x) {
    // x = k·ln2 + r with |r| ≤ ln2/2; e^x = 2^k · e^r.
    const double k = std::floor(x / kLn2 + 0.5);
    const double r = x - k * kLn2;
    double sum = 1.0;
    double term = 1.0;
    for (int n = 1; n <= 18; ++n) {
        term *= r / n;
        sum += term;
    }
    return std::ldexp(sum, static_cast<int>(k));  // exact scaling by a power of two
}

double exp2(double x) { return exp(x * kLn2); }

double note_hz(double note) { return kMiddleCHz * exp2((note - 60.0) / 12.0); }

double Noise::next() {
    // xorshift32 (Marsaglia): a full-period generator on non-zero states.
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return static_cast<double>(state_) / 2147483648.0 - 1.0;
}

uint32_t Noise::below(uint32_t range) {
    next();
    return static_cast<uint32_t>((static_cast<uint64_t>(state_) * range) >> 32);
}

LowPass::LowPass(double cutoff_hz) {
    // a = 1 − e^(−2π·fc/fs): the one-pole filter whose −3 dB point is near fc.
    a_ = 1.0 - exp(-kTwoPi * cutoff_hz / kSampleRate);
}

double LowPass::step(double x) {
    y_ += a_ * (x - y_);
    return y_;
}

double soft_clip(double x, double k) { return x / (1.0 + std::fabs(x) * k); }

std::vector<int16_t> to_pcm16(const std::vector<double>& signal, double peak) {
    double largest = 0.0;
    for (double v : signal) largest = std::fmax(largest, std::fabs(v));
    std::vector<int16_t> pcm(signal.size(), 0);
    if (largest == 0.0) return pcm;
    const double scale = peak * 32767.0 / largest;
    for (size_t i = 0; i < signal.size(); ++i) {
        const double v = signal[i] * scale;
        double rounded = std::floor(std::fabs(v) + 0.5);
        if (rounded > 32767.0) rounded = 32767.0;
        pcm[i] = static_cast<int16_t>(v < 0 ? -rounded : rounded);
    }
    return pcm;
}

int c5_speed_for(double sample_hz) { return static_cast<int>(std::floor(kSampleRate * kMiddleCHz / sample_hz + 0.5)); }

}  // namespace gf::datagen::synth
