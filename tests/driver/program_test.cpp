// The real executable: usage, refused options, missing data, and a smoke run
// under SDL's dummy drivers that SIGTERM ends through the normal shutdown.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/run_process.h"

namespace gf {
namespace {

namespace fs = std::filesystem;
using gf::testing::lines_of;
using gf::testing::ProcessOptions;
using gf::testing::ProcessResult;
using gf::testing::run_process;

ProcessResult run(std::vector<std::string> args, const fs::path& work = {}, double sigterm_after = -1.0) {
    ProcessOptions options;
    options.args = std::move(args);
    options.env = {{"SDL_VIDEODRIVER", "dummy"}, {"SDL_AUDIODRIVER", "dummy"}};
    options.working_dir = work.string();
    options.send_sigterm_after = sigterm_after;
    options.timeout_seconds = 30.0;
    return run_process(GF_EXECUTABLE, options);
}

const char* const kTryHelp = "Try 'glimmerfrost --help' for more information.";

TEST(ProgramTest, HelpSucceedsAndAUsageErrorIsOneLineThenTheHelpHintWithCodeTwo) {
    const ProcessResult help = run({"--help"});
    EXPECT_EQ(help.exit_code, 0);
    EXPECT_EQ(help.out.rfind("Usage: glimmerfrost", 0), 0u) << help.out;
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--sparkle"}, "unknown option --sparkle"},
        {{"--scale", "x"}, "option --scale: 'x' is not a whole number from 1 to 16"},
        {{"--mute", "--", "--help"}, "unexpected argument '--help'"},  // '--' ends the options
        {{"--interactive", "--capture", "show.mp4"},
         "option --interactive only applies to the window, not with --capture"},
    };
    for (const auto& [args, error] : cases) {
        const ProcessResult refused = run(args);
        EXPECT_EQ(refused.exit_code, 2) << error;
        EXPECT_EQ(lines_of(refused.err), (std::vector<std::string>{"glimmerfrost: " + error, kTryHelp}));
        EXPECT_TRUE(refused.out.empty()) << refused.out;
    }
}

TEST(ProgramTest, StartPastTheLastOrderOrPastTheOrdersLastRowIsRefused) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"40", "order 40 is past the last order of "},
        {"16:199", "row 199 is past the end of order 16, which has 128 rows (0-127)"},
    };
    for (const auto& [start, error] : cases) {
        const ProcessResult result = run({"--data", GF_DATA_DIR, "--start", start});
        EXPECT_EQ(result.exit_code, 2) << start;
        ASSERT_EQ(lines_of(result.err).size(), 2u) << result.err;
        EXPECT_EQ(lines_of(result.err)[0].rfind("glimmerfrost: option --start: " + error, 0), 0u) << result.err;
        EXPECT_EQ(lines_of(result.err).back(), kTryHelp);
    }
}

TEST(ProgramTest, MissingDataIsOneLineAndCodeOneBeforeAnythingIsWritten) {
    const fs::path empty = fs::temp_directory_path() / "gf_program_test_empty";
    fs::remove_all(empty);
    fs::create_directories(empty);
    const ProcessResult result = run({"--data", empty.string()}, empty);
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_EQ(lines_of(result.err), std::vector<std::string>{"glimmerfrost: xmas.it: not found in " + empty.string()});
    EXPECT_TRUE(fs::is_empty(empty));
    fs::remove_all(empty);
}

TEST(ProgramTest, AStrayDataFileInTheCurrentDirectoryIsNamedByItsPath) {
    const fs::path work = fs::temp_directory_path() / "gf_program_test_stray";
    fs::remove_all(work);
    fs::create_directories(work);
    std::ofstream(work / "xmas.it") << "a shopping list, not music";
    const ProcessResult result = run({}, work);
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_EQ(lines_of(result.err), std::vector<std::string>{"glimmerfrost: ./xmas.it: not an Impulse Tracker module"});
    fs::remove_all(work);
}

// Without a display the program says why, naming the display the environment gave; what needs
// a window, or a rate no video can have, is refused before anything is written.
TEST(ProgramTest, WithoutADisplayTheReasonIsSaidAndNothingIsWrittenOnARefusal) {
    const fs::path work = fs::temp_directory_path() / "gf_program_test_viewer";
    fs::remove_all(work);
    fs::create_directories(work);
    const std::string viewer = "glimmerfrost: option --interactive needs a window, and no display was found (";
    struct Case {
        std::vector<std::string> args;
        std::string display;
        int exit_code;
        std::vector<std::string> lines;
    };
    const std::vector<Case> cases = {
        {{"--interactive"}, "", 1, {viewer + "neither DISPLAY nor WAYLAND_DISPLAY is set)"}},
        {{"--interactive"},
         ":7919",
         1,
         {viewer + "the X11 display ':7919' (DISPLAY) could not be reached at /tmp/.X11-unix/X7919: "
                   "No such file or directory)"}},
        {{"--fps", "23"},
         "",
         2,
         {"glimmerfrost: option --fps: with no display the show is rendered to a video, which is made at 24 to 240 "
          "frames per second or at 23.976, 29.97, 59.94 or 119.88",
          kTryHelp}},
    };
    for (const Case& c : cases) {
        ProcessOptions options;
        options.args = {"--data", GF_DATA_DIR};
        options.args.insert(options.args.end(), c.args.begin(), c.args.end());
        options.env = {
            {"SDL_VIDEODRIVER", ""}, {"DISPLAY", c.display}, {"WAYLAND_DISPLAY", ""}, {"SDL_AUDIODRIVER", "dummy"}};
        options.working_dir = work.string();
        options.timeout_seconds = 30.0;
        const ProcessResult result = run_process(GF_EXECUTABLE, options);
        EXPECT_EQ(result.exit_code, c.exit_code);
        EXPECT_EQ(lines_of(result.err), c.lines);
        EXPECT_TRUE(fs::is_empty(work));  // no video was started in its place
    }
    fs::remove_all(work);
}

TEST(ProgramTest, SmokeRunUnderDummyDriversEndsCleanlyOnSigterm) {
    const fs::path work = fs::temp_directory_path() / "gf_program_test_smoke";
    fs::remove_all(work);
    fs::create_directories(work);
    const ProcessResult result = run({"--data", GF_DATA_DIR}, work, 2.0);
    EXPECT_FALSE(result.timed_out);
    EXPECT_EQ(result.signal, 0);
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_TRUE(fs::is_empty(work));  // a window run writes nothing
    // The one line that says the show flashes, before the window opens.
    EXPECT_NE(result.err.find("glimmerfrost: warning: this show has fast flashing lights"), std::string::npos)
        << result.err;
    fs::remove_all(work);
}

}  // namespace
}  // namespace gf
