// The program's one pseudo-random generator. Its sequence is fixed (state 1,
// × 214013 + 2531011, 15-bit results) and shared in call order by snow, noise
// and the timeline, so the show renders the same on every machine.
#pragma once

#include <cstdint>

namespace gf {

constexpr uint32_t kRandInitialState = 1;

// Next value, 0 to 32767.
int rand();

// Sets the generator state (tests and deterministic capture start from kRandInitialState).
void seed_rand(uint32_t state);

uint32_t rand_state();

}  // namespace gf
