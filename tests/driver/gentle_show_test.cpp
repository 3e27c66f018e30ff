// The gentle show where the show flashes most (orders 7 and 12 to 15), captured
// as --frames captures it: the flash analysis fails the show there and passes
// the gentle show, whose frames stay those of the show until it has to limit.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "common/random.h"
#include "driver/capture_platform.h"
#include "driver/data_files.h"
#include "driver/demo.h"
#include "flashcheck/flash_report.h"

namespace gf {
namespace {

struct Excerpt {
    uint32_t order;
    uint64_t frames;  // at 30 fps
};

struct Captured {
    FlashAnalyser analyser;
    std::vector<uint32_t> first_frame;
};

Captured capture(const Excerpt& excerpt, bool gentle) {
    DemoOptions options;
    EXPECT_TRUE(find_data_files({GF_DATA_DIR}, options.files).ok);
    options.start_order = excerpt.order;
    options.gentle = gentle;
    seed_rand(kRandInitialState);  // as a new process starts: the two captures see the same draws
    Captured c;
    CaptureSink sink;
    sink.frame = [&c](const CapturedFrame& f) {
        c.analyser.add_frame(f.pixels, f.ms, f.order);
        if (f.index == 0) c.first_frame.assign(f.pixels, f.pixels + kScreenPixels);
        return true;
    };
    CapturePlatform platform(FrameRate{30, 1}, sink, excerpt.frames);
    EXPECT_EQ(demo_main(platform, options), 0);
    return c;
}

TEST(GentleShow, TheWorstOrdersFailTheFlashAnalysisAndPassItGently) {
    for (const Excerpt excerpt : {Excerpt{7, 9 * 30}, Excerpt{12, 32 * 30}}) {
        const Captured show = capture(excerpt, false);
        const Captured gentle = capture(excerpt, true);
        EXPECT_GT(show.analyser.failing_seconds(), 0u) << "from order " << excerpt.order << '\n'
                                                       << show.analyser.table();
        EXPECT_TRUE(gentle.analyser.passes()) << "from order " << excerpt.order << '\n' << gentle.analyser.table();
        EXPECT_EQ(gentle.first_frame, show.first_frame) << "from order " << excerpt.order;
    }
}

}  // namespace
}  // namespace gf
