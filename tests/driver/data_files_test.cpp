// Finding the data files and checking them before the show starts, on the
// generated data set and on damaged copies of it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "driver/data_files.h"

namespace gf {
namespace {

namespace fs = std::filesystem;

const char* const kAllFiles[] = {"xmas.it",     "glimzz.jpg",    "muur.jpg", "credits.jpg", "presents.jpg",
                                 "goodboy.jpg", "finalgrtz.jpg", "boem.jpg", "kerst.jpg",   "kubus.3ds"};

class DataFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() /
                ("gf_data_files_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        fs::create_directories(root_);
    }
    void TearDown() override { fs::remove_all(root_); }

    // A copy of the generated data set in `dir`.
    fs::path copy_data(const std::string& dir) {
        const fs::path target = root_ / dir;
        fs::create_directories(target);
        for (const char* file : kAllFiles) {
            fs::copy_file(fs::path(GF_DATA_DIR) / file, target / file);
        }
        return target;
    }

    static void write(const fs::path& path, const std::string& bytes) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << bytes;
    }

    fs::path root_;
};

TEST_F(DataFilesTest, EachFileIsTakenFromTheFirstFolderThatHasIt) {
    const fs::path full = copy_data("full");
    const fs::path partial = root_ / "partial";
    fs::create_directories(partial);
    fs::copy_file(full / "muur.jpg", partial / "muur.jpg");
    fs::copy_file(full / "xmas.it", partial / "xmas.it");

    DataFiles files;
    ASSERT_TRUE(find_data_files({partial.string(), full.string()}, files).ok);
    EXPECT_EQ(files.module, (partial / "xmas.it").string());
    EXPECT_EQ(files.pictures[1], (partial / "muur.jpg").string());
    EXPECT_EQ(files.pictures[0], (full / "glimzz.jpg").string());
    EXPECT_EQ(files.pictures[7], (full / "kerst.jpg").string());
    EXPECT_EQ(files.mesh, (full / "kubus.3ds").string());
}

TEST_F(DataFilesTest, MissingFileIsNamedWithWhereItWasLookedFor) {
    const fs::path full = copy_data("full");
    fs::remove(full / "boem.jpg");
    fs::create_directory(full / "kubus.3ds.d");
    DataFiles files;
    const Status status = find_data_files({full.string(), (root_ / "nowhere").string()}, files);
    EXPECT_FALSE(status.ok);
    EXPECT_NE(status.message.find("boem.jpg"), std::string::npos) << status.message;
    EXPECT_NE(status.message.find((root_ / "nowhere").string()), std::string::npos) << status.message;

    // A folder of the file's name is not the file.
    fs::remove(full / "kubus.3ds");
    fs::create_directory(full / "kubus.3ds");
    fs::copy_file(root_ / "full" / "credits.jpg", full / "boem.jpg");
    EXPECT_FALSE(find_data_files({full.string()}, files).ok);
}

TEST_F(DataFilesTest, NamedDataFolderIsTheOnlyOneSearched) {
    EXPECT_EQ(data_search_dirs("/some/where"), std::vector<std::string> {"/some/where"});
    const std::vector<std::string> dirs = data_search_dirs("");
    ASSERT_GE(dirs.size(), 2u);
    EXPECT_EQ(dirs.front(), ".");
    // Beside the executable (the test binary here) and then the installed folder.
    const fs::path exe = fs::read_symlink("/proc/self/exe");
    EXPECT_EQ(dirs[1], (exe.parent_path().parent_path() / "data").string());
    ASSERT_GE(dirs.size(), 4u);
    EXPECT_EQ(dirs[2], (exe.parent_path() / "data").string());
    EXPECT_EQ(dirs[3], (exe.parent_path().parent_path() / "share" / "glimmerfrost").string());
    EXPECT_EQ(fs::path(dirs.back()).filename(), "glimmerfrost");
    EXPECT_TRUE(fs::path(dirs.back()).is_absolute());
}

TEST_F(DataFilesTest, GeneratedDataSetPassesTheChecks) {
    DataFiles files;
    ASSERT_TRUE(find_data_files({GF_DATA_DIR}, files).ok);
    const Status status = check_data_files(files);
    EXPECT_TRUE(status.ok) << status.message;
}

TEST_F(DataFilesTest, DamagedFilesAreRefusedWithTheFileNamed) {
    struct Damage {
        const char* file;
        std::string bytes;  // new contents; empty: copy credits.jpg over it
    };
    const Damage damages[] = {
        {"xmas.it", "MTM\x10 not a module at all"},
        {"xmas.it", "IM"},
        {"xmas.it", std::string("IMPM") + std::string(60, '\0')},  // the header's start and nothing more
        {"muur.jpg", ""},  // a 320 × 200 picture where a 256 × 256 texture belongs
        {"goodboy.jpg", ""},  // 200 rows where at least 480 are scrolled
        {"presents.jpg", std::string("\xFF\xD8\xFF\xE0", 4)},  // a JPEG that ends at once
        {"kubus.3ds", "this is no mesh"},
    };
    for (const Damage& damage : damages) {
        const fs::path dir = copy_data(std::string("case_") + std::to_string(&damage - damages));
        if (damage.bytes.empty()) {
            fs::copy_file(dir / "credits.jpg", dir / damage.file, fs::copy_options::overwrite_existing);
        } else {
            write(dir / damage.file, damage.bytes);
        }
        DataFiles files;
        ASSERT_TRUE(find_data_files({dir.string()}, files).ok);
        const Status status = check_data_files(files);
        EXPECT_FALSE(status.ok) << damage.file;
        EXPECT_NE(status.message.find((dir / damage.file).string()), std::string::npos) << status.message;
        EXPECT_EQ(status.message.find('\n'), std::string::npos) << status.message;
    }
}

TEST_F(DataFilesTest, UnreadableFileIsReported) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "root reads every file";
    }
    const fs::path dir = copy_data("locked");
    fs::permissions(dir / "kerst.jpg", fs::perms::none);
    DataFiles files;
    ASSERT_TRUE(find_data_files({dir.string()}, files).ok);
    const Status status = check_data_files(files);
    EXPECT_FALSE(status.ok);
    EXPECT_NE(status.message.find("kerst.jpg"), std::string::npos) << status.message;
}

TEST_F(DataFilesTest, NextFreeNameNeverReusesAnExistingFileOrLink) {
    const std::string dir = root_.string();
    EXPECT_EQ(next_free_name(dir, "glimmerfrost", ".mp4"), (root_ / "glimmerfrost.mp4").string());
    write(root_ / "glimmerfrost.mp4", "x");
    write(root_ / "glimmerfrost-1.mp4", "x");
    fs::create_symlink(root_ / "gone", root_ / "glimmerfrost-2.mp4");  // dangling
    EXPECT_EQ(next_free_name(dir, "glimmerfrost", ".mp4"), (root_ / "glimmerfrost-3.mp4").string());
}

}  // namespace
}  // namespace gf
