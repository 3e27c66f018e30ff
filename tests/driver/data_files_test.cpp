// Finding the data files and checking them before the show starts, on the
// generated data set and on damaged copies of it.
#include "driver/data_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace gf {
namespace {

namespace fs = std::filesystem;

class DataFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() /
                ("gf_data_files_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(root_);
        fs::create_directories(root_);
    }
    void TearDown() override { fs::remove_all(root_); }

    fs::path copy_data(const std::string& dir) {
        const fs::path target = root_ / dir;
        fs::create_directories(target);
        for (const char* file : kDataFiles) {
            fs::copy_file(fs::path(GF_DATA_DIR) / file, target / file);
        }
        return target;
    }

    fs::path root_;
};

TEST_F(DataFilesTest, EachFileComesFromTheFirstFolderThatHasItAndAMissingOneIsNamed) {
    const fs::path full = copy_data("full");
    const fs::path partial = root_ / "partial";
    fs::create_directories(partial);
    fs::copy_file(full / "muur.jpg", partial / "muur.jpg");
    fs::create_directory(partial / "xmas.it");  // a folder of the name is not the file

    DataFiles files;
    ASSERT_TRUE(find_data_files({partial.string(), full.string()}, files).ok);
    EXPECT_EQ(files.module, (full / "xmas.it").string());
    EXPECT_EQ(files.pictures[1], (partial / "muur.jpg").string());
    EXPECT_EQ(files.pictures[0], (full / "glimzz.jpg").string());
    EXPECT_EQ(files.mesh, (full / "kubus.3ds").string());

    fs::remove(full / "boem.jpg");
    const Status status = find_data_files({partial.string(), full.string()}, files);
    EXPECT_FALSE(status.ok);
    EXPECT_EQ(status.message, "boem.jpg: not found in " + partial.string() + " or " + full.string());
}

TEST_F(DataFilesTest, SearchGoesFromTheCurrentFolderToBesideTheExecutableToTheInstallation) {
    EXPECT_EQ(data_search_dirs("/some/where"), std::vector<std::string>{"/some/where"});
    const std::vector<std::string> dirs = data_search_dirs("");
    const fs::path exe_dir = fs::read_symlink("/proc/self/exe").parent_path();
    ASSERT_GE(dirs.size(), 4u);
    EXPECT_EQ(dirs[0], ".");
    EXPECT_EQ(dirs[1], (exe_dir.parent_path() / "data").string());
    EXPECT_EQ(dirs[2], (exe_dir / "data").string());
    EXPECT_EQ(dirs[3], (exe_dir.parent_path() / "share" / "glimmerfrost").string());
    EXPECT_TRUE(fs::path(dirs.back()).is_absolute());
}

TEST_F(DataFilesTest, DataOptionNamesAFolderThatExists) {
    const fs::path file = root_ / "xmas.it";
    std::ofstream(file) << "IMPM";
    for (const auto& [dir, problem] : std::vector<std::pair<fs::path, std::string>>{
             {file, "not a folder"}, {root_ / "missing", "no such folder"}, {root_, ""}}) {
        const Status status = check_data_dir(dir.string());
        EXPECT_EQ(status.ok, problem.empty()) << dir;
        if (!problem.empty()) {
            EXPECT_EQ(status.message.rfind("--data " + dir.string() + ": " + problem, 0), 0u) << status.message;
        }
    }
}

TEST_F(DataFilesTest, OutOfMemoryWhileLoadingIsNotBlamedOnTheFile) {
    // A library that runs out of memory throws std::bad_alloc, which the player reports as its reason.
    EXPECT_TRUE(reports_out_of_memory("./xmas.it: not a module that can be played (std::bad_alloc)"));
    EXPECT_FALSE(reports_out_of_memory("./xmas.it: damaged module: order list runs past the end"));
}

TEST_F(DataFilesTest, GeneratedDataPassesAndDamagedFilesAreRefusedByName) {
    DataFiles files;
    ASSERT_TRUE(find_data_files({GF_DATA_DIR}, files).ok);
    const Status good = check_data_files(files);
    EXPECT_TRUE(good.ok) << good.message;

    const std::pair<const char*, std::string> damages[] = {
        {"xmas.it", "MTM\x10 not a module at all"},
        {"xmas.it", std::string("IMPM") + std::string(60, '\0')},  // the header's start and nothing more
        {"muur.jpg", ""},     // empty: credits.jpg (320 × 200) copied where a 256 × 256 texture belongs
        {"goodboy.jpg", ""},  // 200 rows where at least 480 are scrolled
        {"presents.jpg", std::string("\xFF\xD8\xFF\xE0", 4)},
        {"kubus.3ds", "this is no mesh"},
    };
    int index = 0;
    for (const auto& [file, bytes] : damages) {
        const fs::path dir = copy_data("case" + std::to_string(index++));
        if (bytes.empty()) {
            fs::copy_file(dir / "credits.jpg", dir / file, fs::copy_options::overwrite_existing);
        } else {
            std::ofstream(dir / file, std::ios::binary | std::ios::trunc) << bytes;
        }
        ASSERT_TRUE(find_data_files({dir.string()}, files).ok);
        const Status status = check_data_files(files);
        EXPECT_FALSE(status.ok) << file;
        EXPECT_NE(status.message.find((dir / file).string()), std::string::npos) << status.message;
        EXPECT_EQ(status.message.find('\n'), std::string::npos) << status.message;
    }
}

TEST_F(DataFilesTest, OrderCountStopsAtTheEndMarker) {
    // Header of 192 bytes with 5 order-list entries: 0, 1, 254 (skip), 255 (end), 2.
    std::string module(0xC0, '\0');
    module.replace(0, 4, "IMPM");
    module[0x20] = 5;
    module += std::string("\x00\x01\xFE\xFF\x02", 5);
    std::ofstream(root_ / "a.it", std::ios::binary) << module;
    EXPECT_EQ(module_order_count((root_ / "a.it").string()), 3);
    std::ofstream(root_ / "b.it", std::ios::binary) << module.substr(0, 0xC2);  // list cut short
    EXPECT_EQ(module_order_count((root_ / "b.it").string()), -1);
    EXPECT_EQ(module_order_count((root_ / "none.it").string()), -1);
}

TEST_F(DataFilesTest, NextFreeNameNeverReusesAnExistingFileOrLink) {
    const std::string dir = root_.string();
    EXPECT_EQ(next_free_name(dir, "glimmerfrost", ".mp4"), (root_ / "glimmerfrost.mp4").string());
    std::ofstream(root_ / "glimmerfrost.mp4") << "x";
    std::ofstream(root_ / "glimmerfrost-1.mp4") << "x";
    fs::create_symlink(root_ / "gone", root_ / "glimmerfrost-2.mp4");  // dangling
    EXPECT_EQ(next_free_name(dir, "glimmerfrost", ".mp4"), (root_ / "glimmerfrost-3.mp4").string());
}

}  // namespace
}  // namespace gf
