// The capture's progress line and the music length it is measured against.
#include "platform/progress.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace gf {
namespace {

TEST(Progress, BarShowsShareFpsAndTimeLeft) {
    EXPECT_EQ(format_minutes(0), "0:00");
    EXPECT_EQ(format_minutes(61.9), "1:01");
    EXPECT_EQ(format_minutes(130.6), "2:10");
    EXPECT_EQ(format_minutes(-1), "-:--");
    ProgressSnapshot s;
    s.frames = 600;
    s.show_seconds = 10;  // 10 s of a 40 s show in 5 s: 2 show seconds a second, 15 s left
    s.total_seconds = 40;
    s.order = 7;
    s.row = 64;
    s.wall_seconds = 5;
    const std::string line = format_progress(s, 8);
    EXPECT_EQ(line.substr(0, 10), "[##------]");
    EXPECT_NE(line.find(" 25%"), std::string::npos) << line;
    EXPECT_NE(line.find("order  7 row  64"), std::string::npos) << line;
    EXPECT_NE(line.find("120 fps"), std::string::npos) << line;
    EXPECT_NE(line.find("0:15 left"), std::string::npos) << line;
    s.total_seconds = 0;  // unknown length
    EXPECT_NE(format_progress(s, 8).find("-:-- left"), std::string::npos);

    // Not live: only the summary line is printed.
    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    ProgressDisplay quiet(false, out);
    quiet.update(s);
    quiet.finish("done");
    std::rewind(out);
    char text[64] = {};
    const std::size_t n = std::fread(text, 1, sizeof text - 1, out);
    std::fclose(out);
    EXPECT_EQ(std::string(text, n), "done\n");
}

// The bar measures the clip between two positions, not the whole module: the spans
// between positions add up, and a position past the last order means the module's end.
TEST(Progress, LengthOfAClipIsTheMusicBetweenItsPositions) {
    const std::string module = std::string(GF_DATA_DIR) + "/xmas.it";
    const double whole = music_seconds_between(module, 0, 0, 255, 0);
    const double to_16 = music_seconds_between(module, 0, 0, 16, 0);
    const double from_9 = music_seconds_between(module, 9, 0, 255, 0);
    EXPECT_GT(whole, 60.0);
    EXPECT_GT(to_16, 0.0);
    EXPECT_LT(to_16, whole);
    EXPECT_GT(from_9, 0.0);
    EXPECT_LT(from_9, whole);
    EXPECT_NEAR(music_seconds_between(module, 0, 0, 9, 0) + music_seconds_between(module, 9, 0, 16, 0), to_16, 0.01);
    EXPECT_EQ(music_seconds_between(module, 9, 0, 9, 0), 0.0);
    EXPECT_EQ(music_seconds_between(module + ".missing", 0, 0, 16, 0), 0.0);
}

}  // namespace
}  // namespace gf
