// The flash limiter on hand-made strobes: what it lets through untouched, what
// it darkens, that the analyser then finds no failing second, and that its
// state is all it carries from frame to frame.
#include "effects/flash_limit.h"

#include <gtest/gtest.h>

#include <vector>

#include "common/types.h"
#include "flashcheck/flash_report.h"

namespace gf {
namespace {

constexpr uint64_t kFps = 60;
constexpr uint32_t kClockStart = 5000;

// A block switching between two colours every `period` frames over a still background.
struct Strobe {
    const char* name;
    uint32_t base, off, on;
    int x, y, width, height;
    int period;
};

std::vector<uint32_t> strobe_frame(const Strobe& s, uint64_t i) {
    std::vector<uint32_t> frame(kScreenPixels, s.base);
    const uint32_t block = (i / s.period) % 2 == 0 ? s.off : s.on;
    for (int y = s.y; y < s.y + s.height; ++y) {
        std::fill_n(frame.begin() + y * kScreenWidth + s.x, s.width, block);
    }
    return frame;
}

uint32_t now(uint64_t i) { return kClockStart + static_cast<uint32_t>(i * 1000 / kFps); }

bool no_channel_brighter(uint32_t out, uint32_t in) {
    for (int shift : {0, 8, 16}) {
        if (((out >> shift) & 0xFFu) > ((in >> shift) & 0xFFu)) return false;
    }
    return true;
}

TEST(FlashLimit, StrobesLeaveNoFailingSecondAndTheirFirstFlashesUntouched) {
    const Strobe cases[] = {
        {"whole frame, black and white", 0, 0x000000, 0xFFFFFF, 0, 0, 320, 200, 3},
        {"saturated red on black", 0, 0x000000, 0xC00000, 0, 0, 320, 200, 2},
        {"white block in a grey picture", 0x606060, 0x101010, 0xFFFFFF, 200, 120, 80, 60, 2},
    };
    for (const Strobe& s : cases) {
        reset_flash_limit();
        FlashAnalyser unlimited;
        FlashAnalyser limited;
        std::vector<uint32_t> previous_out;
        for (uint64_t i = 0; i < 3 * kFps; ++i) {
            const std::vector<uint32_t> in = strobe_frame(s, i);
            std::vector<uint32_t> out = in;
            limit_flashes(out.data(), now(i));
            unlimited.add_frame(in.data(), now(i), 0);
            limited.add_frame(out.data(), now(i), 0);
            // Three flashes and the fall of a fourth pass before any limit.
            if (i < 7 * static_cast<uint64_t>(s.period)) {
                ASSERT_EQ(out, in) << s.name << ", frame " << i;
            }
            // A limited frame is the picture darkened, or the last frame shown again.
            for (std::size_t p = 0; p < out.size(); ++p) {
                if (!no_channel_brighter(out[p], in[p])) {
                    ASSERT_EQ(out, previous_out) << s.name << ", frame " << i;
                    break;
                }
            }
            // Away from the block (three cells and more) the picture is untouched.
            for (int y = 0; y < kScreenHeight; ++y) {
                for (int x = 0; x < kScreenWidth; ++x) {
                    const bool far =
                        x < s.x - 40 || x >= s.x + s.width + 40 || y < s.y - 25 || y >= s.y + s.height + 25;
                    if (far) {
                        ASSERT_EQ(out[y * kScreenWidth + x], in[y * kScreenWidth + x])
                            << s.name << " x " << x << " y " << y << " frame " << i;
                    }
                }
            }
            previous_out = out;
        }
        EXPECT_FALSE(unlimited.passes()) << s.name;
        EXPECT_TRUE(limited.passes()) << s.name << '\n' << limited.table();
    }
}

// Restoring the saved state replays the same frames: nothing else carries over.
TEST(FlashLimit, RestoringItsStateRepeatsTheSameFrames) {
    const Strobe s{"strobe", 0x204060, 0x000000, 0xFFFFFF, 0, 0, 320, 200, 2};
    reset_flash_limit();
    for (uint64_t i = 0; i < 40; ++i) {
        std::vector<uint32_t> frame = strobe_frame(s, i);
        limit_flashes(frame.data(), now(i));
    }
    const FlashLimitState saved = flash_limit;
    std::vector<std::vector<uint32_t>> first;
    for (uint64_t i = 40; i < 80; ++i) {
        first.push_back(strobe_frame(s, i));
        limit_flashes(first.back().data(), now(i));
    }
    flash_limit = saved;
    for (uint64_t i = 40; i < 80; ++i) {
        std::vector<uint32_t> frame = strobe_frame(s, i);
        limit_flashes(frame.data(), now(i));
        ASSERT_EQ(frame, first[i - 40]) << "frame " << i;
    }
    reset_flash_limit();
}

}  // namespace
}  // namespace gf
