// What an installation holds beside the program. (The manual page is kept in step
// with the options by options_test.)
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/frame_files.h"
#include "support/run_process.h"

namespace gf {
namespace {

namespace fs = std::filesystem;
using gf::testing::ProcessOptions;
using gf::testing::ProcessResult;
using gf::testing::run_process;

std::string read_all(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(InstallTest, InstallPutsManualPageMenuEntryAndIconsInTheUsualPlaces) {
    const fs::path prefix = fs::temp_directory_path() / "gf_install_test";
    fs::remove_all(prefix);
    ProcessOptions options;
    options.args = {"--install", GF_BUILD_DIR, "--prefix", prefix.string()};
    options.timeout_seconds = 120.0;
    const ProcessResult install = run_process(GF_CMAKE_COMMAND, options);
    ASSERT_EQ(install.exit_code, 0) << install.err;
    for (const char* file : {"bin/glimmerfrost", "share/glimmerfrost/xmas.it", "share/man/man6/glimmerfrost.6",
                             "share/applications/glimmerfrost.desktop"}) {
        EXPECT_TRUE(fs::is_regular_file(prefix / file)) << file;
    }
    // Each icon is a PNG of the size its folder names.
    for (const int size : {16, 32, 48, 256, 512}) {
        const std::string side = std::to_string(size);
        PngImage icon;
        const Status read =
            read_png((prefix / "share/icons/hicolor" / (side + "x" + side) / "apps/glimmerfrost.png").string(), icon);
        ASSERT_TRUE(read.ok) << read.message;
        EXPECT_EQ(icon.width, size);
        EXPECT_EQ(icon.height, size);
    }
    // The menu entry starts the installed program and shows the installed icon.
    const std::string entry = read_all(prefix / "share/applications/glimmerfrost.desktop");
    EXPECT_NE(entry.find("\nExec=glimmerfrost\n"), std::string::npos) << entry;
    EXPECT_NE(entry.find("\nIcon=glimmerfrost\n"), std::string::npos) << entry;
    fs::remove_all(prefix);
}

}  // namespace
}  // namespace gf
