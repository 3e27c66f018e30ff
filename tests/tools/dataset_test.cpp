// The data-set generator as a program: two runs into fresh folders write the
// same ten files byte for byte, and bad command lines fail with a message.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/run_process.h"

namespace gf {
namespace {

namespace fs = std::filesystem;

std::vector<char> read_bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> file_names(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class DatasetProgram : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() / ("gf_dataset_" + std::to_string(::getpid()));
        fs::remove_all(root_);
        fs::create_directories(root_);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    static testing::ProcessResult run(std::vector<std::string> args) {
        testing::ProcessOptions options;
        options.args = std::move(args);
        options.timeout_seconds = 300.0;
        return testing::run_process(GF_DATAGEN_EXECUTABLE, options);
    }
    fs::path root_;
};

TEST_F(DatasetProgram, TwoRunsWriteIdenticalFiles) {
    const fs::path first = root_ / "first", second = root_ / "nested" / "second";
    for (const fs::path& dir : {first, second}) {
        const testing::ProcessResult result = run({dir.string()});
        ASSERT_EQ(result.exit_code, 0) << result.err;
    }
    const std::vector<std::string> expected = {"boem.jpg",     "credits.jpg", "finalgrtz.jpg", "glimzz.jpg",
                                               "goodboy.jpg",  "kerst.jpg",   "kubus.3ds",     "muur.jpg",
                                               "presents.jpg", "xmas.it"};
    ASSERT_EQ(file_names(first), expected);
    ASSERT_EQ(file_names(second), expected);
    for (const std::string& name : expected) {
        SCOPED_TRACE(name);
        const std::vector<char> a = read_bytes(first / name);
        EXPECT_FALSE(a.empty());
        EXPECT_TRUE(a == read_bytes(second / name)) << "differs between runs";
    }
}

TEST_F(DatasetProgram, BadCommandLinesFailWithAMessage) {
    testing::ProcessResult result = run({});
    EXPECT_EQ(result.exit_code, 2);
    EXPECT_NE(result.err.find("usage"), std::string::npos) << result.err;

    // A plain file where the output folder should be.
    const fs::path blocker = root_ / "blocker";
    std::ofstream(blocker) << "not a folder";
    result = run({(blocker / "data").string()});
    EXPECT_NE(result.exit_code, 0);
    EXPECT_NE(result.err.find(blocker.string()), std::string::npos) << result.err;
}

}  // namespace
}  // namespace gf
