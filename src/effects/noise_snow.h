// TV noise and falling snow, both driven by the program's one generator
// gf::rand(). Noise reads a table of 8192 random greys filled at start-up;
// snow keeps 256 flakes that drift sideways, fall and come back at the top.
#pragma once

#include <array>
#include <cstdint>

namespace gf {

constexpr int kNoiseTableSize = 8192;
constexpr uint32_t kNoiseIndexMask = kNoiseTableSize - 1;  // 13-bit index
constexpr int kSnowflakeCount = 256;
constexpr uint32_t kSnowColour = 0x00FFFFFF;

struct Snowflake {
    int32_t x = 0;  // 0 … 319 after init_snow, draw_snow and a wrap in fall_snow
    int32_t y = 0;  // 0 … 199 between calls
};

// 8192 greys (R = G = B); filled once by init_noise.
extern std::array<uint32_t, kNoiseTableSize> noise_table;
extern std::array<Snowflake, kSnowflakeCount> snowflakes;

// Draws 8192 values from rand() into noise_table.
void init_noise();
// Pixel i = noise_table[(frame_time · i) & 0x1FFF]; calls no rand().
void draw_noise(uint32_t* buffer);
// Scatters the flakes: x = rand() % 320, then y = rand() % 200, flake by flake.
void init_snow();
// Drifts every flake by −1, 0 or +1 column (a flake leaving the sides
// restarts at a random column of row 0) and plots it white.
void draw_snow(uint32_t* buffer);
// Moves every flake down one row, two when `fast` is exactly 1; a flake
// passing the bottom restarts at a random column of row 0.
void fall_snow(uint32_t fast);

}  // namespace gf
