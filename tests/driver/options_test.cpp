// The command line: every option's value is parsed or refused by name.
#include <gtest/gtest.h>

#include <vector>

#include "driver/options.h"

namespace gf {
namespace {

ParsedOptions parse(std::vector<const char*> args) {
    args.insert(args.begin(), "glimmerfrost");
    return parse_options(static_cast<int>(args.size()), args.data());
}

TEST(OptionsTest, NoArgumentsPlaysTheShowWithTheDefaults) {
    const ParsedOptions parsed = parse({});
    ASSERT_TRUE(parsed.ok);
    const ProgramOptions& o = parsed.options;
    EXPECT_EQ(o.action, ProgramAction::Play);
    EXPECT_TRUE(o.data_dir.empty());
    EXPECT_EQ(o.display.aspect, Aspect::FourThree);
    EXPECT_EQ(o.display.scale, 0);
    EXPECT_FALSE(o.display.fullscreen);
    EXPECT_EQ(o.display.fps, 0.0);
    EXPECT_FALSE(o.mute);
    EXPECT_EQ(o.start_order, 0u);
    EXPECT_EQ(o.start_row, 0u);
    EXPECT_EQ(o.capture.fps_num, 60);
    EXPECT_EQ(o.capture.fps_den, 1);
}

TEST(OptionsTest, ValuesAreTakenFromTheNextArgumentOrAfterEquals) {
    const ParsedOptions parsed = parse({"--data", "/tmp/d", "--aspect=square", "--scale", "3", "--fullscreen",
                                        "--fps=60000/1001", "--mute", "--start", "9:16"});
    ASSERT_TRUE(parsed.ok) << parsed.error;
    const ProgramOptions& o = parsed.options;
    EXPECT_EQ(o.action, ProgramAction::Play);
    EXPECT_EQ(o.data_dir, "/tmp/d");
    EXPECT_EQ(o.display.aspect, Aspect::Square);
    EXPECT_TRUE(o.capture.square_pixels);
    EXPECT_EQ(o.display.scale, 3);
    EXPECT_TRUE(o.display.fullscreen);
    EXPECT_EQ(o.capture.fps_num, 60000);
    EXPECT_EQ(o.capture.fps_den, 1001);
    EXPECT_NEAR(o.display.fps, 59.94, 0.001);
    EXPECT_TRUE(o.mute);
    EXPECT_TRUE(o.start_given);
    EXPECT_EQ(o.start_order, 9u);
    EXPECT_EQ(o.start_row, 16u);

    const ParsedOptions order_only = parse({"--start=12"});
    ASSERT_TRUE(order_only.ok);
    EXPECT_EQ(order_only.options.start_order, 12u);
    EXPECT_EQ(order_only.options.start_row, 0u);
}

TEST(OptionsTest, CaptureOptionsSelectAnOfflineRun) {
    EXPECT_EQ(parse({"--capture", "show.mp4"}).options.action, ProgramAction::Capture);
    EXPECT_EQ(parse({"--capture", "show.mp4"}).options.capture.video_path, "show.mp4");
    EXPECT_EQ(parse({"--frames=out"}).options.capture.frames_dir, "out");
    EXPECT_EQ(parse({"--frames=out"}).options.action, ProgramAction::Capture);
    EXPECT_TRUE(parse({"--benchmark"}).options.capture.benchmark);
    EXPECT_EQ(parse({"--benchmark"}).options.action, ProgramAction::Capture);
    EXPECT_EQ(parse({"--fps", "50"}).options.capture.fps_num, 50);
    EXPECT_EQ(parse({"--frames=out", "--max-frames", "120"}).options.capture.max_frames, 120u);
    // Help and version win over everything else on the line.
    EXPECT_EQ(parse({"--capture", "x.mp4", "--help"}).options.action, ProgramAction::Help);
    EXPECT_EQ(parse({"--version", "--mute"}).options.action, ProgramAction::Version);
}

TEST(OptionsTest, RefusedOptionsAreNamed) {
    struct Case {
        std::vector<const char*> args;
        const char* named;
    };
    const Case cases[] = {
        {{"--bogus"}, "--bogus"},
        {{"-x"}, "-x"},
        {{"stray"}, "stray"},
        {{"--aspect", "wide"}, "--aspect"},
        {{"--aspect"}, "--aspect"},
        {{"--scale", "0"}, "--scale"},
        {{"--scale", "17"}, "--scale"},
        {{"--scale", "2x"}, "--scale"},
        {{"--fps", "0"}, "--fps"},
        {{"--fps", "60/0"}, "--fps"},
        {{"--fps", "5000"}, "--fps"},
        {{"--fps", "-60"}, "--fps"},
        {{"--start", "256"}, "--start"},
        {{"--start", "3:200"}, "--start"},
        {{"--start", "3:"}, "--start"},
        {{"--start", ":3"}, "--start"},
        {{"--data"}, "--data"},
        {{"--data="}, "--data"},
        {{"--capture"}, "--capture"},
        {{"--mute=yes"}, "--mute"},
        {{"--max-frames", "0"}, "--max-frames"},
    };
    for (const Case& c : cases) {
        const ParsedOptions parsed = parse(c.args);
        EXPECT_FALSE(parsed.ok) << c.named;
        EXPECT_NE(parsed.error.find(c.named), std::string::npos) << parsed.error;
    }
}

TEST(OptionsTest, UsageListsEveryOptionAndTheKeys) {
    const std::string usage = usage_text();
    for (const char* option : {"--data", "--aspect", "--scale", "--fullscreen", "--fps", "--mute", "--start",
                               "--capture", "--frames", "--benchmark", "--help", "--version", "Alt+Enter", "F11"}) {
        EXPECT_NE(usage.find(option), std::string::npos) << option;
    }
}

}  // namespace
}  // namespace gf
