// What an installation holds beside the program, and the manual page kept in
// step with --help.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "platform/frame_files.h"
#include "support/run_process.h"

namespace gf {
namespace {

namespace fs = std::filesystem;
using gf::testing::ProcessOptions;
using gf::testing::ProcessResult;
using gf::testing::run_process;

// The long options named in `text` ("--name"), from plain text or from roff, where '-' is written '\\-'.
// (Scanned by hand: std::regex trips GCC 12's uninitialised-use warning in sanitizer builds.)
std::set<std::string> long_options(const std::string& text) {
    std::string plain;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!(text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '-')) {
            plain += text[i];
        }
    }
    const auto is_name_char = [](char c) { return (c >= 'a' && c <= 'z') || c == '-'; };
    std::set<std::string> names;
    for (std::size_t at = plain.find("--"); at != std::string::npos; at = plain.find("--", at + 2)) {
        if (at + 2 >= plain.size() || plain[at + 2] < 'a' || plain[at + 2] > 'z') {
            continue;
        }
        std::size_t end = at + 2;
        while (end < plain.size() && is_name_char(plain[end])) {
            ++end;
        }
        names.insert(plain.substr(at, end - at));
        at = end - 2;
    }
    return names;
}

std::string read_all(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(InstallTest, ManualPageAndHelpNameTheSameOptions) {
    ProcessOptions options;
    options.args = {"--help"};
    const ProcessResult help = run_process(GF_EXECUTABLE, options);
    ASSERT_EQ(help.exit_code, 0);
    const std::set<std::string> in_help = long_options(help.out);
    const std::set<std::string> in_manual = long_options(read_all(fs::path(GF_SOURCE_DIR) / "docs" / "glimmerfrost.6"));
    EXPECT_GE(in_help.size(), 10u);
    EXPECT_EQ(in_manual, in_help);
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
