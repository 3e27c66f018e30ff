// Temporary outputs: exclusive creation, stale clean-up, the rename into place,
// and removal from a signal handler.
#include "platform/output_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <system_error>

namespace gf {

namespace fs = std::filesystem;

namespace {

constexpr const char* kPartialTag = ".partial-";
constexpr int kRandomLength = 8;
constexpr int kCreateAttempts = 32;
constexpr std::size_t kAbortPathMax = 4096;
constexpr int kAbortFolderPasses = 4;  // the writer may add a file while the folder is emptied

const char kRandomAlphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";

std::string random_part() {
    unsigned char bytes[kRandomLength] = {};
    if (getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) {
        // No kernel randomness: still unpredictable enough to avoid a planted name, and
        // creation stays exclusive either way.
        const auto seed = static_cast<unsigned long>(std::chrono::steady_clock::now().time_since_epoch().count());
        for (int i = 0; i < kRandomLength; ++i) {
            bytes[i] = static_cast<unsigned char>(seed >> (i * 7));
        }
    }
    std::string text(kRandomLength, 'x');
    for (int i = 0; i < kRandomLength; ++i) {
        text[static_cast<std::size_t>(i)] = kRandomAlphabet[bytes[i] % (sizeof kRandomAlphabet - 1)];
    }
    return text;
}

fs::path temporary_name(const fs::path& final_path) {
    std::string tail = kPartialTag;
    tail += std::to_string(getpid());
    tail += '-';
    tail += random_part();
    // A final name near the file system's limit is shortened in the temporary name, which
    // must fit too; the tag at its end still says whose it is.
    std::string stem = final_path.filename().string();
    const std::size_t room = NAME_MAX - 1 - tail.size();
    if (stem.size() > room) {
        stem.resize(room);
    }
    std::string name = ".";
    name += stem;
    name += tail;
    const fs::path folder = final_path.parent_path();
    return folder.empty() ? fs::path(name) : folder / name;
}

// Where the temporary output goes, in words, for messages: the folder holding `final_path`.
std::string folder_words(const fs::path& final_path) {
    return final_path.has_parent_path() ? final_path.parent_path().string() : std::string(".");
}

std::string kind_of(mode_t mode) {
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    if (S_ISSOCK(mode)) return "a socket";
    if (S_ISDIR(mode)) return "a folder";
    return "not a regular file";
}

char s_abort_file[kAbortPathMax];
char s_abort_folder[kAbortPathMax];
volatile std::sig_atomic_t s_has_abort_file = 0;
volatile std::sig_atomic_t s_has_abort_folder = 0;

void store_abort_path(char* slot, volatile std::sig_atomic_t& flag, const fs::path& path) {
    flag = 0;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    const std::string text = path.string();
    if (text.empty() || text.size() >= kAbortPathMax) {
        return;
    }
    std::memcpy(slot, text.c_str(), text.size() + 1);
    std::atomic_signal_fence(std::memory_order_seq_cst);
    flag = 1;
}

// Empties a flat folder with raw system calls (no allocation, no locks) and removes it.
void remove_flat_folder(const char* path) {
    for (int pass = 0; pass < kAbortFolderPasses; ++pass) {
        const int dir = open(path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (dir < 0) {
            return;
        }
        alignas(8) char buffer[4096];
        for (;;) {
            const long got = syscall(SYS_getdents64, dir, buffer, sizeof buffer);
            if (got <= 0) {
                break;
            }
            for (long at = 0; at < got;) {
                const auto* entry = reinterpret_cast<const struct dirent64*>(buffer + at);
                const char* name = entry->d_name;
                if (std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0) {
                    unlinkat(dir, name, 0);
                }
                at += entry->d_reclen;
            }
        }
        close(dir);
        if (rmdir(path) == 0 || errno != ENOTEMPTY) {
            return;
        }
    }
}

}  // namespace

fs::path without_trailing_separator(const std::string& text) {
    fs::path path(text);
    while (!path.has_filename() && path.has_relative_path()) {
        path = path.parent_path();
    }
    return path;
}

// True when `path` is mounted on its own (a mount point): its device differs from its folder's.
// Such a name cannot be renamed over.
bool is_mount_point(const fs::path& path, const struct stat& info) {
    const fs::path parent = path.has_parent_path() ? path.parent_path() : fs::path(".");
    struct stat above {};
    return stat(parent.c_str(), &above) == 0 && above.st_dev != info.st_dev;
}

Status check_file_target(const fs::path& final_path, const std::string& given) {
    struct stat info {};
    if (stat(final_path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
        if (S_ISDIR(info.st_mode)) {
            return failed_on(given, "is a folder, not a video file name");
        }
        return failed_on(given, "is " + kind_of(info.st_mode) + "; a capture is written only to a regular file");
    }
    struct stat own {};
    if (lstat(final_path.c_str(), &own) == 0 && !S_ISLNK(own.st_mode) && is_mount_point(final_path, own)) {
        return failed_on(given, "is a mount point and cannot be replaced");
    }
    return {};
}

Status check_folder_target(const fs::path& final_path, const std::string& given) {
    const std::string last = final_path.filename().string();
    if (last == "." || last == ".." || final_path.empty()) {
        return failed_on(given, "name the frames folder itself (a new or empty folder), not '" + last + "'");
    }
    std::error_code ec;
    const fs::file_status state = fs::status(final_path, ec);
    if (fs::exists(state)) {
        if (!fs::is_directory(state)) {
            return failed_on(given, "exists and is not a folder");
        }
        // The finished folder is renamed over the empty one, which works for the folder itself only.
        struct stat own {};
        if (lstat(final_path.c_str(), &own) == 0 && S_ISLNK(own.st_mode)) {
            return failed_on(given, "is a link to a folder; name the folder itself");
        }
        if (is_mount_point(final_path, own)) {
            return failed_on(given, "is a mount point and cannot be replaced; name a folder inside it");
        }
        if (fs::equivalent(final_path, fs::current_path(ec), ec)) {
            return failed_on(given, "is the current folder; name a new or empty folder");
        }
        if (!fs::is_empty(final_path, ec)) {
            return failed_on(given, "folder is not empty (frames are written only into a new or empty folder)");
        }
    }
    return {};
}

namespace {

// Gives `fd` the permission bits and group of the file or folder `final_path` names now, so
// that what replaces it is no more open than it was. Nothing to keep when it does not exist.
void keep_mode_and_group(int fd, const fs::path& final_path) {
    struct stat info {};
    if (stat(final_path.c_str(), &info) != 0) {
        return;
    }
    // The group may be one this user cannot give; then the folder's default stands. The
    // mode comes second, as a change of group clears the set-id bits.
    if (fchown(fd, static_cast<uid_t>(-1), info.st_gid) != 0) {
        errno = 0;
    }
    if (fchmod(fd, info.st_mode & 07777) != 0) {
        errno = 0;
    }
}

// Holds an exclusive advisory lock on `fd` for as long as the returned descriptor stays open,
// which marks the output as live for other runs' clean-up, whatever process ids they can see.
int lock_output(int fd) {
    const int lock = fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (lock >= 0 && flock(lock, LOCK_EX | LOCK_NB) != 0) {
        close(lock);
        return -1;
    }
    return lock;
}

}  // namespace

Status create_temporary_file(const fs::path& final_path, fs::path& temp, int& fd, int& lock) {
    for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
        const fs::path name = temporary_name(final_path);
        fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            lock = lock_output(fd);
            keep_mode_and_group(fd, final_path);
            temp = name;
            return {};
        }
        if (errno != EEXIST) {
            return {false, "cannot create a file in " + folder_words(final_path) + ": " + std::strerror(errno)};
        }
    }
    return {false, "cannot create a temporary file in " + folder_words(final_path) + ": every name tried exists"};
}

Status create_temporary_folder(const fs::path& final_path, fs::path& temp, int& lock) {
    for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
        const fs::path name = temporary_name(final_path);
        if (mkdir(name.c_str(), 0777) == 0) {
            const int dir = open(name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (dir >= 0) {
                lock = lock_output(dir);
                keep_mode_and_group(dir, final_path);
                close(dir);
            }
            temp = name;
            return {};
        }
        if (errno != EEXIST) {
            return {false, "cannot create a folder beside it: " + std::string(std::strerror(errno))};
        }
    }
    return {false, "cannot create a folder beside it: every name tried exists"};
}

std::optional<pid_t> temporary_name_owner(const std::string& file_name) {
    if (file_name.size() < 2 || file_name[0] != '.') {
        return std::nullopt;
    }
    const std::size_t tag = file_name.rfind(kPartialTag);
    if (tag == std::string::npos || tag < 2) {
        return std::nullopt;
    }
    std::size_t at = tag + std::strlen(kPartialTag);
    long pid = 0;
    const std::size_t digits_from = at;
    while (at < file_name.size() && file_name[at] >= '0' && file_name[at] <= '9' && at - digits_from < 10) {
        pid = pid * 10 + (file_name[at] - '0');
        ++at;
    }
    if (at == digits_from || pid <= 0 || pid > 0x7FFFFFFF) {
        return std::nullopt;
    }
    if (at == file_name.size()) {
        return static_cast<pid_t>(pid);  // the older form, without a random part
    }
    if (file_name[at] != '-' || file_name.size() - at - 1 != static_cast<std::size_t>(kRandomLength)) {
        return std::nullopt;
    }
    for (std::size_t i = at + 1; i < file_name.size(); ++i) {
        if (std::strchr(kRandomAlphabet, file_name[i]) == nullptr) {
            return std::nullopt;
        }
    }
    return static_cast<pid_t>(pid);
}

int remove_stale_temporaries(const fs::path& folder) {
    const fs::path where = folder.empty() ? fs::path(".") : folder;
    std::error_code ec;
    fs::directory_iterator it(where, ec);
    if (ec) {
        return 0;
    }
    int removed = 0;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) {
            break;
        }
        const std::string name = it->path().filename().string();
        const std::optional<pid_t> owner = temporary_name_owner(name);
        if (!owner || *owner == getpid()) {
            continue;
        }
        struct stat info {};
        if (lstat(it->path().c_str(), &info) != 0 || info.st_uid != geteuid()) {
            continue;
        }
        // A process we may not signal still exists; only "no such process" means it is gone.
        if (kill(*owner, 0) == 0 || errno != ESRCH) {
            continue;
        }
        // A process in another PID namespace (a container, a sandbox) looks gone from here:
        // a live run holds a lock on its output, so a locked one is left alone.
        if (!S_ISLNK(info.st_mode)) {
            const int probe = open(it->path().c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
            if (probe < 0) {
                continue;
            }
            const bool live = flock(probe, LOCK_EX | LOCK_NB) != 0;
            close(probe);
            if (live) {
                continue;
            }
        }
        std::error_code ignored;
        if (fs::remove_all(it->path(), ignored) > 0) {  // a link is removed, never followed
            ++removed;
        }
    }
    return removed;
}

std::string with_final_name(std::string message, const fs::path& temp, const fs::path& final_path) {
    const std::string from = temp.string();
    const std::string to = final_path.string();
    if (from.empty()) {
        return message;
    }
    for (std::size_t at = message.find(from); at != std::string::npos; at = message.find(from, at + to.size())) {
        message.replace(at, from.size(), to);
    }
    return message;
}

Status move_into_place(const fs::path& temp, const fs::path& final_path) {
    if (std::rename(temp.c_str(), final_path.c_str()) != 0) {
        return failed_on(final_path.string(),
                         std::string("cannot move the finished output into place: ") + std::strerror(errno));
    }
    return {};
}

Status claim_free_name(const fs::path& temp, fs::path& final_path) {
    const fs::path folder = final_path.parent_path();
    const std::string stem = final_path.stem().string();
    const std::string extension = final_path.extension().string();
    for (int n = 0;; ++n) {
        std::string name = stem;
        if (n > 0) {
            name += '-';
            name += std::to_string(n);
        }
        name += extension;
        const fs::path candidate = folder.empty() ? fs::path(name) : folder / name;
        // Fails when the name exists, so another run's finished file is never replaced.
        int moved = renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, candidate.c_str(), RENAME_NOREPLACE);
        if (moved != 0 && (errno == EINVAL || errno == ENOSYS)) {
            // A file system without that kind of rename: a new link fails on an existing name too.
            moved = link(temp.c_str(), candidate.c_str());
            if (moved == 0) {
                unlink(temp.c_str());
            }
        }
        if (moved == 0) {
            final_path = candidate;
            return {};
        }
        if (errno != EEXIST) {
            return failed_on(candidate.string(),
                             std::string("cannot move the finished output into place: ") + std::strerror(errno));
        }
    }
}

void register_abort_file(const fs::path& path) { store_abort_path(s_abort_file, s_has_abort_file, path); }

void register_abort_folder(const fs::path& path) { store_abort_path(s_abort_folder, s_has_abort_folder, path); }

void clear_abort_outputs() {
    s_has_abort_file = 0;
    s_has_abort_folder = 0;
}

void remove_abort_outputs_now() {
    if (s_has_abort_file != 0) {
        unlink(s_abort_file);
    }
    if (s_has_abort_folder != 0) {
        remove_flat_folder(s_abort_folder);
    }
}

}  // namespace gf
