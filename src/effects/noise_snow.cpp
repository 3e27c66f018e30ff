// TV noise and snow. The generator's call order matters (it is shared with
// the timeline), so every loop draws its values flake by flake, in order.
#include "effects/noise_snow.h"

#include <algorithm>
#include <cstring>

#include "common/frame_globals.h"
#include "common/random.h"
#include "common/types.h"

namespace gf {

std::array<uint32_t, kNoiseTableSize> noise_table{};
std::array<Snowflake, kSnowflakeCount> snowflakes{};

namespace {
constexpr uint32_t kGreyReplicate = 0x010101u;  // one byte into red, green and blue
}

void init_noise() {
    for (uint32_t& grey : noise_table) {
        grey = (static_cast<uint32_t>(rand()) & 0xFFu) * kGreyReplicate;
    }
}

void draw_noise(uint32_t* buffer) {
    // (frame_time · (i + 8192)) & 0x1FFF equals (frame_time · i) & 0x1FFF, so
    // the pattern repeats every 8192 pixels: draw the first 8192 and copy them on.
    const uint32_t step = frame_time;
    uint32_t index = 0;  // frame_time · i modulo 2^32, advanced by addition
    const int first = std::min(kNoiseTableSize, kScreenPixels);
    for (int i = 0; i < first; ++i) {
        buffer[i] = noise_table[index & kNoiseIndexMask];
        index += step;
    }
    for (int done = first; done < kScreenPixels; done += kNoiseTableSize) {
        const int count = std::min(kNoiseTableSize, kScreenPixels - done);
        std::memcpy(buffer + done, buffer, static_cast<std::size_t>(count) * sizeof(uint32_t));
    }
}

void init_snow() {
    for (Snowflake& flake : snowflakes) {
        flake.x = rand() % kScreenWidth;
        flake.y = rand() % kScreenHeight;
    }
}

void draw_snow(uint32_t* buffer) {
    for (Snowflake& flake : snowflakes) {
        flake.x += rand() % 3 - 1;
        if (flake.x > kScreenWidth - 1 || flake.x < 0) {
            flake.x = rand() % kScreenWidth;
            flake.y = 0;
        }
        // Rows stay within 0 … 199 between calls; the test guards the buffer
        // against flakes set from outside.
        if (flake.y >= 0 && flake.y < kScreenHeight) {
            buffer[flake.y * kScreenWidth + flake.x] = kSnowColour;
        }
    }
}

void fall_snow(uint32_t fast) {
    const int32_t fall = fast == 1 ? 2 : 1;
    for (Snowflake& flake : snowflakes) {
        flake.y += fall;
        if (flake.y >= kScreenHeight) {
            flake.y = 0;
            flake.x = rand() % kScreenWidth;
        }
    }
}

}  // namespace gf
