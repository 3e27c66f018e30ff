// Temporary outputs: exclusive, unpredictable names that carry the writer's
// process id; stale ones of dead processes are removed without following links.
#include "platform/output_file.h"

#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace gf {
namespace {

namespace fs = std::filesystem;

fs::path scratch(const std::string& name) {
    const fs::path dir = fs::temp_directory_path() / ("gf_output_file_" + std::to_string(getpid()) + "_" + name);
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

std::string text_of(const fs::path& path) {
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A process id that no longer exists: a child that has exited and been reaped.
pid_t dead_pid() {
    const pid_t child = fork();
    if (child == 0) {
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return child;
}

TEST(OutputFile, TemporaryNamesAreFreshEachTimeAndNameTheirProcess) {
    const fs::path dir = scratch("names");
    const fs::path final_path = dir / "show.mp4";
    fs::path first;
    fs::path second;
    int fd1 = -1;
    int fd2 = -1;
    int lock1 = -1;
    int lock2 = -1;
    ASSERT_TRUE(create_temporary_file(final_path, first, fd1, lock1).ok);
    ASSERT_TRUE(create_temporary_file(final_path, second, fd2, lock2).ok);
    for (const int fd : {fd1, fd2, lock1, lock2}) {
        close(fd);
    }
    EXPECT_NE(first, second) << "the random part must differ";
    EXPECT_EQ(first.parent_path(), dir);
    EXPECT_EQ(first.filename().string().rfind(".show.mp4.partial-" + std::to_string(getpid()) + "-", 0), 0u) << first;
    EXPECT_EQ(temporary_name_owner(first.filename().string()), getpid());
    fs::path folder;
    int folder_lock = -1;
    ASSERT_TRUE(create_temporary_folder(dir / "frames", folder, folder_lock).ok);
    close(folder_lock);
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_EQ(temporary_name_owner(folder.filename().string()), getpid());
    fs::remove_all(dir);
}

TEST(OutputFile, OnlyOurOwnTemporaryNamesAreRecognised) {
    const std::vector<std::pair<std::string, pid_t>> cases = {
        {".show.mp4.partial-123-aB3dE6gH", 123},  // ours
        {".show.mp4.partial-4567", 4567},         // ours, from before the random part
        {".a.partial-b.partial-9-abcdefgh", 9},   // the last tag counts
        {"show.mp4.partial-123-aB3dE6gH", 0},     // not hidden
        {".show.mp4.partial-", 0},
        {".show.mp4.partial-0", 0},
        {".show.mp4.partial-12x", 0},
        {".show.mp4.partial-12-short", 0},
        {".show.mp4.partial-12-abc/efgh", 0},
        {".show.mp4.partial-99999999999", 0},  // past any process id
        {".bashrc", 0},
    };
    for (const auto& [name, owner] : cases) {
        const auto found = temporary_name_owner(name);
        EXPECT_EQ(found.value_or(0), owner) << name;
    }
}

TEST(OutputFile, StaleTemporariesOfDeadProcessesAreRemovedWithoutFollowingLinks) {
    const fs::path dir = scratch("stale");
    const fs::path victim_dir = scratch("stale_victim");
    std::ofstream(victim_dir / "precious") << "keep me";
    const std::string dead = std::to_string(dead_pid());
    const std::string alive = std::to_string(getppid());
    std::ofstream(dir / (".show.mp4.partial-" + dead + "-abcdefgh")) << "half a video";
    fs::create_directory(dir / (".frames.partial-" + dead));
    std::ofstream(dir / (".frames.partial-" + dead) / "frame_000000.png") << "png";
    fs::create_symlink(victim_dir, dir / (".link.partial-" + dead + "-zzzzzzzz"));
    std::ofstream(dir / (".other.mp4.partial-" + alive + "-abcdefgh")) << "still being written";
    std::ofstream(dir / "show.mp4") << "a finished video";
    std::ofstream(dir / ".notes.partial-draft") << "not ours";

    EXPECT_EQ(remove_stale_temporaries(dir), 3);
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(dir)) {
        left.push_back(entry.path().filename().string());
    }
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{".notes.partial-draft", ".other.mp4.partial-" + alive + "-abcdefgh",
                                              "show.mp4"}));
    EXPECT_EQ(text_of(victim_dir / "precious"), "keep me") << "the link's target was touched";
    fs::remove_all(dir);
    fs::remove_all(victim_dir);
}

TEST(OutputFile, TargetsThatCannotTakeTheOutputAreRefusedByName) {
    const fs::path dir = scratch("targets");
    mkfifo((dir / "pipe").c_str(), 0600);
    fs::create_directory(dir / "folder");
    std::ofstream(dir / "folder" / "x") << "x";
    std::ofstream(dir / "file") << "x";
    EXPECT_NE(check_file_target(dir / "pipe", "pipe").message.find("FIFO"), std::string::npos);
    EXPECT_NE(check_file_target("/dev/null", "/dev/null").message.find("device"), std::string::npos);
    EXPECT_NE(check_file_target(dir / "folder", "folder").message.find("folder"), std::string::npos);
    EXPECT_TRUE(check_file_target(dir / "file", "file").ok) << "a regular file is replaced";
    EXPECT_TRUE(check_file_target(dir / "new.mp4", "new.mp4").ok);
    for (const char* name : {".", "..", "sub/.", "sub/.."}) {
        EXPECT_NE(check_folder_target(without_trailing_separator(name), name).message.find(name), std::string::npos)
            << name;
    }
    EXPECT_NE(check_folder_target(fs::current_path(), "here").message.find("current folder"), std::string::npos);
    EXPECT_NE(check_folder_target(dir / "folder", "folder").message.find("not empty"), std::string::npos);
    EXPECT_NE(check_folder_target(dir / "file", "file").message.find("not a folder"), std::string::npos);
    EXPECT_TRUE(check_folder_target(dir / "new", "new").ok);
    fs::remove_all(dir);
}

// Several runs sharing a folder, possibly from other PID namespaces, with outputs they replace.
TEST(OutputFile, SharedFoldersKeepOtherRunsOutputsAndWhatIsReplaced) {
    const fs::path dir = scratch("shared");
    const std::string dead = std::to_string(dead_pid());

    // A partial whose process looks gone (another PID namespace) but which a live run holds locked.
    const fs::path live = dir / (".show.mp4.partial-" + dead + "-abcdefgh");
    std::ofstream(live) << "being written";
    const int held = open(live.c_str(), O_RDONLY);
    ASSERT_EQ(flock(held, LOCK_EX), 0);
    EXPECT_EQ(remove_stale_temporaries(dir), 0);
    EXPECT_TRUE(fs::exists(live)) << "a live run's output was removed";
    close(held);
    EXPECT_EQ(remove_stale_temporaries(dir), 1) << "unlocked, it is a leftover";
    // Our own temporaries are locked from their creation to the end of the run.
    fs::path temp;
    int fd = -1;
    int lock = -1;
    ASSERT_TRUE(create_temporary_file(dir / "mine.mp4", temp, fd, lock).ok);
    const int probe = open(temp.c_str(), O_RDONLY);
    EXPECT_NE(flock(probe, LOCK_EX | LOCK_NB), 0);
    close(probe);
    close(fd);
    close(lock);
    fs::remove(temp);

    // Two runs finishing under the same free name: the second takes the next one.
    std::vector<fs::path> claimed;
    for (const char* content : {"first", "second"}) {
        ASSERT_TRUE(create_temporary_file(dir / "glimmerfrost.mp4", temp, fd, lock).ok);
        ASSERT_EQ(write(fd, content, std::strlen(content)), static_cast<ssize_t>(std::strlen(content)));
        close(fd);
        fs::path final_path = dir / "glimmerfrost.mp4";
        ASSERT_TRUE(claim_free_name(temp, final_path).ok);
        close(lock);
        claimed.push_back(final_path);
    }
    EXPECT_EQ(claimed, (std::vector<fs::path>{dir / "glimmerfrost.mp4", dir / "glimmerfrost-1.mp4"}));
    EXPECT_EQ(text_of(dir / "glimmerfrost.mp4"), "first");

    // What replaces a private file or folder is as private; names near the length limit fit.
    std::ofstream(dir / "private.mp4") << "old";
    chmod((dir / "private.mp4").c_str(), 0600);
    fs::create_directory(dir / "private");
    chmod((dir / "private").c_str(), 0710);
    const std::string longest(255, 'n');
    for (const std::string& name : {std::string("private.mp4"), longest}) {
        ASSERT_TRUE(create_temporary_file(dir / name, temp, fd, lock).ok) << name.size();
        close(fd);
        close(lock);
        struct stat info {};
        ASSERT_EQ(stat(temp.c_str(), &info), 0);
        if (name == longest) {
            EXPECT_EQ(temporary_name_owner(temp.filename().string()), getpid());
        } else {
            EXPECT_EQ(info.st_mode & 07777, 0600u);
        }
        ASSERT_TRUE(move_into_place(temp, dir / name).ok);
    }
    ASSERT_TRUE(create_temporary_folder(dir / "private", temp, lock).ok);
    close(lock);
    ASSERT_TRUE(move_into_place(temp, dir / "private").ok);
    struct stat folder_info {};
    ASSERT_EQ(stat((dir / "private").c_str(), &folder_info), 0);
    EXPECT_EQ(folder_info.st_mode & 07777, 0710u);
    ASSERT_TRUE(create_temporary_folder(dir / std::string(255, 'f'), temp, lock).ok);
    close(lock);

    // A link to an empty folder cannot be renamed over: refused before any work.
    fs::create_directory(dir / "empty");
    fs::create_directory_symlink(dir / "empty", dir / "link");
    EXPECT_NE(check_folder_target(dir / "link", "link").message.find("link to a folder"), std::string::npos);
    fs::remove_all(dir);
}

}  // namespace
}  // namespace gf
