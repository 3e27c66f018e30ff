// The data-set generator as a program: two runs into fresh folders write the
// data set's files and no other, the same bytes both times; a run writes
// exactly the committed manifest (so a data set that differs on another
// machine is caught by file name), and bad command lines fail with a message.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "datagen/manifest.h"
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
    const std::vector<std::string>& expected = datagen::kDatasetFiles;  // the data set's files, in name order
    ASSERT_EQ(file_names(first), expected);
    ASSERT_EQ(file_names(second), expected);
    for (const std::string& name : expected) {
        SCOPED_TRACE(name);
        const std::vector<char> a = read_bytes(first / name);
        EXPECT_FALSE(a.empty());
        EXPECT_TRUE(a == read_bytes(second / name)) << "differs between runs";
    }
}

TEST_F(DatasetProgram, WritesTheCommittedManifest) {
    const fs::path data = root_ / "data", manifest = root_ / "dataset.manifest";
    const testing::ProcessResult result = run({"--manifest", manifest.string(), data.string()});
    ASSERT_EQ(result.exit_code, 0) << result.err;
    const std::vector<char> written = read_bytes(manifest), committed = read_bytes(GF_DATASET_MANIFEST);
    ASSERT_FALSE(committed.empty()) << GF_DATASET_MANIFEST << " is missing";
    const auto expected = datagen::parse_manifest({committed.begin(), committed.end()});
    const auto actual = datagen::parse_manifest({written.begin(), written.end()});
    // The build generates and installs the files the committed manifest lists: it must list them all and no other.
    EXPECT_EQ(actual.size(), datagen::kDatasetFiles.size());
    EXPECT_EQ(expected.size(), datagen::kDatasetFiles.size()) << GF_DATASET_MANIFEST << " lists other files";
    for (const std::string& name : datagen::kDatasetFiles) {
        const auto want = expected.find(name), got = actual.find(name);
        ASSERT_NE(got, actual.end()) << name << " missing from the written manifest";
        EXPECT_TRUE(want != expected.end() && want->second == got->second)
            << name << " differs from the committed manifest: generated " << got->second << ", committed "
            << (want == expected.end() ? "nothing" : want->second)
            << " (rewrite it with: cmake --build build --target dataset-manifest)";
    }
}

TEST(Sha256, MatchesTheStandardTestVectors) {
    // The empty message, one block, a message whose padding spills into a
    // second block, and one longer than a block.
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000, 'a'), "41edece42d63e8d9bf515a9ba6932e1c20cbc9f5a5d134645adb5db1b9737ea3"},
    };
    for (const auto& [message, digest] : cases) {
        EXPECT_EQ(datagen::sha256_hex({message.begin(), message.end()}), digest) << message.size() << " bytes";
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

    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"--manifest"}, {"--frobnicate", "out"}, {"a", "b"}}) {
        result = run(args);
        EXPECT_EQ(result.exit_code, 2) << args[0];
        EXPECT_NE(result.err.find(args[0]), std::string::npos) << result.err;
    }
}

}  // namespace
}  // namespace gf
