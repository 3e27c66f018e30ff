// The command line: every option's value is parsed or refused by name.
#include "driver/options.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

namespace gf {
namespace {

ParsedOptions parse(std::vector<const char*> args) {
    args.insert(args.begin(), "glimmerfrost");
    return parse_options(static_cast<int>(args.size()), args.data());
}

TEST(OptionsTest, ValuesComeFromTheNextArgumentOrAfterEquals) {
    const ParsedOptions none = parse({});
    ASSERT_TRUE(none.status.ok);
    EXPECT_EQ(none.options.action, ProgramAction::Play);
    EXPECT_EQ(none.options.display.aspect, Aspect::FourThree);
    EXPECT_EQ(none.options.display.fps, 0.0);  // vsync, or 60 Hz pacing without it

    const ParsedOptions parsed = parse({"--data", "/tmp/d", "--aspect=square", "--scale", "3", "--fullscreen",
                                        "--fps=60000/1001", "--mute", "--start", "9:16", "--gentle"});
    ASSERT_TRUE(parsed.status.ok) << parsed.status.message;
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
    EXPECT_TRUE(o.gentle);
    EXPECT_FALSE(none.options.gentle);
    EXPECT_EQ(o.start_order, 9u);
    EXPECT_EQ(o.start_row, 16u);
    EXPECT_EQ(parse({"--start=12"}).options.start_row, 0u);
}

TEST(OptionsTest, CaptureOptionsSelectAnOfflineRunAndHelpWins) {
    EXPECT_EQ(parse({"--capture", "show.mp4"}).options.action, ProgramAction::Capture);
    EXPECT_EQ(parse({"--frames=out"}).options.action, ProgramAction::Capture);
    EXPECT_EQ(parse({"--benchmark"}).options.action, ProgramAction::Capture);
    EXPECT_EQ(parse({"--frames=out", "--max-frames", "120"}).options.capture.max_frames, 120u);
    EXPECT_EQ(parse({"--capture", "x.mp4", "--help"}).options.action, ProgramAction::Help);
    EXPECT_EQ(parse({"--version", "--mute"}).options.action, ProgramAction::Version);
}

TEST(OptionsTest, VideoQualitySizeAndRates) {
    const ParsedOptions parsed = parse({"--capture", "x.mp4", "--quality", "small", "--crf=18", "--preset", "faster",
                                        "--size", "2880x2160", "--mute", "--fps", "29.97"});
    ASSERT_TRUE(parsed.status.ok) << parsed.status.message;
    const CaptureOptions& c = parsed.options.capture;
    EXPECT_EQ(c.quality, "small");
    EXPECT_EQ(c.crf, 18);
    EXPECT_EQ(c.preset, "faster");
    EXPECT_EQ(c.width, 2880);
    EXPECT_EQ(c.height, 2160);
    EXPECT_TRUE(c.mute);
    EXPECT_EQ(c.fps_num, 30000);
    EXPECT_EQ(c.fps_den, 1001);
    for (const char* rate : {"24", "240", "23.976", "59.94", "119.88", "120000/1001", "120/2"}) {
        EXPECT_TRUE(parse({"--capture", "x.mp4", "--fps", rate}).status.ok) << rate;
    }
    // The window and the frames folder take any rate; a video's closing fade needs 24 or more.
    EXPECT_TRUE(parse({"--fps", "10"}).status.ok);
    EXPECT_TRUE(parse({"--frames", "d", "--fps", "10"}).status.ok);
}

TEST(OptionsTest, OnlyTheVideoContainersWeWriteAreAccepted) {
    // Some of these would make FFmpeg write other files of its own (playlists, segments),
    // metadata or raw dumps; all are refused before anything is opened.
    for (const char* name : {"x.m3u8", "x.mpd", "x.ffmeta", "x.yuv", "x.rgb", "x.js", "x.roq", "x.avi", "x.flv", "x.ts",
                             "x.nut", "x.3gp", "x.m4v", "x.png", "x.jpg", "x.wav", "x", "x.mp4.", "dir.mp4/x"}) {
        const ParsedOptions parsed = parse({"--capture", name});
        EXPECT_FALSE(parsed.status.ok) << name;
        EXPECT_NE(parsed.status.message.find(std::string("'") + name +
                                             "' is not a video name: use .mp4, .mkv, .mov, .webm or .gif"),
                  std::string::npos)
            << parsed.status.message;
    }
    for (const char* name : {"x.mp4", "x.mkv", "x.mov", "x.webm", "x.gif", "X.MP4", "take:1.webm", "out/x.gif/"}) {
        EXPECT_TRUE(parse({"--capture", name}).status.ok) << name;
    }
}

TEST(OptionsTest, RefusedOptionsAreNamed) {
    const std::vector<std::pair<std::vector<const char*>, const char*>> cases = {
        {{"--bogus"}, "--bogus"},
        {{"stray"}, "stray"},
        {{"--aspect", "wide"}, "--aspect"},
        {{"--aspect"}, "--aspect"},
        {{"--scale", "0"}, "--scale"},
        {{"--scale", "17"}, "--scale"},
        {{"--scale", "2x"}, "--scale"},
        {{"--fps", "60/0"}, "--fps"},
        {{"--fps", "5000"}, "--fps"},
        {{"--fps", "-60"}, "--fps"},
        {{"--start", "256"}, "--start"},
        {{"--start", "3:200"}, "--start"},
        {{"--start", ":3"}, "--start"},
        {{"--data="}, "--data"},
        {{"--mute=yes"}, "--mute"},
        {{"--max-frames", "0"}, "--max-frames"},
        {{"--gentle=1"}, "--gentle"},
        {{"--quality", "best"}, "--quality"},
        {{"--crf", "52"}, "--crf"},
        {{"--preset", "turbo"}, "--preset"},
        {{"--size", "1601x1200"}, "--size"},
        {{"--size", "160x100"}, "--size"},
        {{"--size", "1600"}, "--size"},
        {{"--capture", "x.mp4", "--fps", "10"}, "--fps"},
        {{"--capture", "x.mp4", "--fps", "241"}, "--fps"},
        {{"--capture", "x.mp4", "--fps", "30001/1000"}, "--fps"},
        {{"--benchmark", "--capture", "x.mp4"}, "--benchmark"},
        {{"--frames", "d", "--benchmark"}, "--benchmark"},
        {{"--capture", "out.mkv", "--frames", "./out.mkv/"}, "same path"},
        {{"--capture", "x.mp4", "--end", "9:200"}, "--end"},
        {{"--start", "10", "--capture", "x.mp4", "--end", "9:63"}, "not after the start 10:0"},
        {{"--start", "9:8", "--frames", "d", "--end", "9:8"}, "not after the start 9:8"},
    };
    for (const auto& [args, named] : cases) {
        const ParsedOptions parsed = parse(args);
        EXPECT_FALSE(parsed.status.ok) << named;
        EXPECT_NE(parsed.status.message.find(named), std::string::npos) << parsed.status.message;
    }
}

// A clip's end is kept for every offline run.
TEST(OptionsTest, EndPositionForCapturesFramesAndBenchmark) {
    for (const char* run : {"--capture=x.mp4", "--frames=d", "--benchmark"}) {
        const ParsedOptions parsed = parse({run, "--start", "9", "--end", "10:4"});
        ASSERT_TRUE(parsed.status.ok) << parsed.status.message;
        EXPECT_TRUE(parsed.options.capture.end_given);
        EXPECT_EQ(parsed.options.capture.end_order, 10u);
        EXPECT_EQ(parsed.options.capture.end_row, 4u);
    }
}

// Options that would be dropped without a word are refused, naming the option and the run.
TEST(OptionsTest, OptionsThatDoNotApplyAreRefused) {
    const std::vector<std::pair<std::vector<const char*>, const char*>> cases = {
        {{"--crf", "20"}, "option --crf only applies to a video made with --capture"},
        {{"--quality", "small"}, "option --quality only applies"},
        {{"--preset", "fast"}, "option --preset only applies"},
        {{"--frames", "d", "--size", "640x400"}, "option --size only applies to a video made with --capture (--frames"},
        {{"--end", "10"}, "option --end only applies with --capture, --frames or --benchmark"},
        {{"--capture", "x.mp4", "--scale", "2"}, "option --scale only applies to the window, not with --capture"},
        {{"--fullscreen", "--frames", "d"}, "option --fullscreen only applies to the window, not with --frames"},
        {{"--benchmark", "--interactive"}, "option --interactive only applies to the window, not with --benchmark"},
    };
    for (const auto& [args, message] : cases) {
        const ParsedOptions parsed = parse(args);
        EXPECT_FALSE(parsed.status.ok) << message;
        EXPECT_EQ(parsed.status.message.rfind(message, 0), 0u) << parsed.status.message;
    }
    // --help and --version answer whatever else is given.
    EXPECT_EQ(parse({"--crf", "20", "--help"}).options.action, ProgramAction::Help);
}

// A value left out, at the end or as "--name=", is said in one form for every option.
TEST(OptionsTest, MissingValuesAreSaidTheSameWay) {
    for (const char* name : {"--data", "--aspect", "--scale", "--fps", "--start", "--end", "--capture", "--frames",
                             "--quality", "--crf", "--preset", "--size", "--max-frames"}) {
        const std::string with_equals = std::string(name) + "=";
        for (const ParsedOptions& parsed : {parse({name}), parse({with_equals.c_str()})}) {
            EXPECT_FALSE(parsed.status.ok) << name;
            EXPECT_EQ(parsed.status.message.rfind(std::string("option ") + name + " needs ", 0), 0u)
                << parsed.status.message;
        }
    }
}

// The option names in `text`, from plain text or from roff, where '-' is written "\-": every
// "--name" word, and "-x" words when `short_too`. (Scanned by hand: std::regex trips GCC 12's
// uninitialised-use warning in sanitizer builds.)
std::vector<std::string> option_names(const std::string& text, bool short_too) {
    std::string plain;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!(text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '-')) {
            plain += text[i];
        }
    }
    const auto is_name_char = [](char c) { return (c >= 'a' && c <= 'z') || c == '-'; };
    std::vector<std::string> names;
    for (std::size_t at = 0; at < plain.size(); ++at) {
        const bool word_start = at == 0 || plain[at - 1] == ' ' || plain[at - 1] == '"' || plain[at - 1] == '\n' ||
                                plain[at - 1] == '(' || plain[at - 1] == '`' || plain[at - 1] == '\'';
        const std::size_t dashes = plain.compare(at, 2, "--") == 0 ? 2 : plain[at] == '-' ? 1 : 0;
        if (!word_start || dashes == 0 || (dashes == 1 && !short_too) || at + dashes >= plain.size() ||
            plain[at + dashes] < 'a' || plain[at + dashes] > 'z') {
            continue;
        }
        std::size_t end = at + dashes;
        while (end < plain.size() && is_name_char(plain[end])) {
            ++end;
        }
        names.push_back(plain.substr(at, end - at));
        at = end;
    }
    return names;
}

// The man page is written by hand: its OPTIONS section describes exactly the options of the
// usage text, each once under every name the program takes for it, and neither it nor the
// usage text names an option the program does not have.
TEST(OptionsTest, ManualPageDescribesExactlyTheOptionsOfTheTable) {
    std::vector<std::string> table;
    for (const OptionEntry& entry : option_table()) {
        if (!entry.help.empty()) {
            table.push_back(entry.name);
            if (!entry.alias.empty()) {
                table.push_back(entry.alias);
            }
        }
    }
    const std::string path = std::string(GF_SOURCE_DIR) + "/docs/glimmerfrost.6";
    std::ifstream page(path);
    ASSERT_TRUE(page) << "cannot read " << path;
    // Each option is a .TP paragraph whose next line names it, e.g. ".BR \-\-help \", \" \-h".
    std::vector<std::string> described;
    std::string whole_page;
    bool in_options = false;
    bool tag_next = false;
    for (std::string line; std::getline(page, line);) {
        whole_page += line + '\n';
        if (line.rfind(".SH", 0) == 0) {
            in_options = line == ".SH OPTIONS";
        } else if (in_options && tag_next) {
            for (const std::string& name : option_names(line, true)) {
                described.push_back(name);
            }
        }
        tag_next = in_options && line == ".TP";
    }
    std::sort(table.begin(), table.end());
    std::sort(described.begin(), described.end());
    EXPECT_GE(table.size(), 10u);
    EXPECT_EQ(described, table);
    for (const std::string& text : {whole_page, usage_text()}) {
        for (const std::string& name : option_names(text, false)) {
            EXPECT_TRUE(std::binary_search(table.begin(), table.end(), name)) << name << " is not an option";
        }
    }
}

}  // namespace
}  // namespace gf
