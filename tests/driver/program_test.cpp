// The real executable: help, refused options, missing data, and a smoke run
// under SDL's dummy drivers that a SIGTERM ends through the normal shutdown.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/run_process.h"

namespace gf {
namespace {

namespace fs = std::filesystem;
using gf::testing::ProcessOptions;
using gf::testing::ProcessResult;
using gf::testing::lines_of;
using gf::testing::run_process;

ProcessOptions headless(std::vector<std::string> args) {
    ProcessOptions options;
    options.args = std::move(args);
    options.env = {{"SDL_VIDEODRIVER", "dummy"}, {"SDL_AUDIODRIVER", "dummy"}};
    options.timeout_seconds = 60.0;
    return options;
}

TEST(ProgramTest, HelpAndVersionPrintAndSucceed) {
    const ProcessResult help = run_process(GF_EXECUTABLE, headless({"--help"}));
    EXPECT_EQ(help.exit_code, 0);
    EXPECT_EQ(help.out.rfind("Usage: glimmerfrost", 0), 0u) << help.out;
    EXPECT_TRUE(help.err.empty()) << help.err;
    const ProcessResult version = run_process(GF_EXECUTABLE, headless({"--version"}));
    EXPECT_EQ(version.exit_code, 0);
    EXPECT_EQ(version.out.rfind("glimmerfrost ", 0), 0u) << version.out;
}

TEST(ProgramTest, UnknownOptionIsRefusedWithUsageAndCodeTwo) {
    const ProcessResult result = run_process(GF_EXECUTABLE, headless({"--sparkle"}));
    EXPECT_EQ(result.exit_code, 2);
    const auto lines = lines_of(result.err);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "glimmerfrost: unknown option --sparkle");
    EXPECT_NE(result.err.find("Usage: glimmerfrost"), std::string::npos);
    EXPECT_TRUE(result.out.empty());
}

TEST(ProgramTest, MissingDataIsOneLineAndCodeOneBeforeAnythingOpens) {
    const fs::path empty = fs::temp_directory_path() / "gf_program_test_empty";
    fs::create_directories(empty);
    ProcessOptions options = headless({"--data", empty.string()});
    options.working_dir = empty.string();
    const ProcessResult result = run_process(GF_EXECUTABLE, options);
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_EQ(lines_of(result.err),
              std::vector<std::string> {"glimmerfrost: xmas.it: not found in " + empty.string()});
    // Nothing was written where it ran (no capture was started).
    EXPECT_TRUE(fs::is_empty(empty));
    fs::remove_all(empty);
}

TEST(ProgramTest, SmokeRunUnderDummyDriversEndsCleanlyOnSigterm) {
    const fs::path work = fs::temp_directory_path() / "gf_program_test_smoke";
    fs::remove_all(work);
    fs::create_directories(work);
    ProcessOptions options = headless({"--data", GF_DATA_DIR});
    options.working_dir = work.string();
    options.send_sigterm_after = 2.0;
    options.timeout_seconds = 30.0;
    const ProcessResult result = run_process(GF_EXECUTABLE, options);
    EXPECT_FALSE(result.timed_out);
    EXPECT_EQ(result.signal, 0);
    EXPECT_EQ(result.exit_code, 0) << result.err;
    fs::remove_all(work);
}

}  // namespace
}  // namespace gf
