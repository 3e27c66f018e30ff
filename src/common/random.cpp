// The shared generator: a linear congruential generator modulo 2^32.
#include "common/random.h"

namespace gf {

namespace {
uint32_t s_state = kRandInitialState;
}

int rand() {
    s_state = s_state * 214013u + 2531011u;
    return static_cast<int>((s_state >> 16) & 0x7FFFu);
}

void seed_rand(uint32_t state) { s_state = state; }

uint32_t rand_state() { return s_state; }

}  // namespace gf
