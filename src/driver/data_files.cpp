// Data lookup and the start-up checks of the data files.
#include "driver/data_files.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

#include "common/bytes.h"
#include "common/it_layout.h"
#include "driver/timeline.h"
#include "platform/image_loader.h"
#include "platform/music.h"

namespace gf {

namespace fs = std::filesystem;

namespace {

// Folder of the running executable, or "" when it cannot be told.
std::string executable_dir() {
    std::error_code error;
    const fs::path exe = fs::read_symlink("/proc/self/exe", error);
    if (error) {
        return "";
    }
    return exe.parent_path().string();
}

bool is_file(const fs::path& path) {
    std::error_code error;
    return fs::is_regular_file(path, error);
}

std::string describe_dirs(const std::vector<std::string>& dirs) {
    std::string text;
    for (std::size_t i = 0; i < dirs.size(); ++i) {
        if (i > 0) {
            text += (i + 1 == dirs.size()) ? " or " : ", ";
        }
        text += dirs[i] == "." ? std::string("the current directory") : dirs[i];
    }
    return text;
}

Status find_one(const std::vector<std::string>& dirs, const char* name, std::string& found) {
    for (const std::string& dir : dirs) {
        const fs::path candidate = fs::path(dir) / name;
        if (is_file(candidate)) {
            // Named as read, so that a stray file in the current directory shows as ./xmas.it.
            const fs::path normal = candidate.lexically_normal();
            found = (normal.has_parent_path() ? normal : fs::path(".") / normal).string();
            return {};
        }
    }
    return failed_on(name, "not found in " + describe_dirs(dirs));
}

Status check_readable(const std::string& path, char* head, std::size_t head_size, std::size_t& got) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return failed_on(path, std::string("cannot be read (") + std::strerror(errno) + ")");
    }
    in.read(head, static_cast<std::streamsize>(head_size));
    got = static_cast<std::size_t>(in.gcount());
    return {};
}

}  // namespace

bool reports_out_of_memory(const std::string& message) { return message.find("std::bad_alloc") != std::string::npos; }

Status about_file(const std::string& path, const Status& status, const char* fallback) {
    if (status.ok) {
        return status;
    }
    const std::string& message = status.message;
    if (reports_out_of_memory(message)) {
        return failed_on(path, "out of memory while loading it");
    }
    if (message.empty()) {
        return failed_on(path, fallback);
    }
    if (message.find(path) != std::string::npos) {
        return status;
    }
    const std::string name_only = fs::path(path).filename().string() + ": ";
    return failed_on(path, message.rfind(name_only, 0) == 0 ? message.substr(name_only.size()) : message);
}

Status check_data_dir(const std::string& dir) {
    std::error_code error;
    const fs::file_status status = fs::status(dir, error);
    if (status.type() == fs::file_type::not_found) {
        return {false, "--data " + dir + ": no such folder"};
    }
    if (error) {
        return {false, "--data " + dir + ": " + error.message()};
    }
    if (status.type() != fs::file_type::directory) {
        return {false, "--data " + dir + ": not a folder (give the folder that holds the data files)"};
    }
    return {};
}

std::vector<std::string> data_search_dirs(const std::string& data_dir) {
    if (!data_dir.empty()) {
        return {data_dir};
    }
    std::vector<std::string> dirs = {"."};
    const std::string exe_dir = executable_dir();
    if (!exe_dir.empty()) {
        dirs.push_back((fs::path(exe_dir) / ".." / "data").lexically_normal().string());
        dirs.push_back((fs::path(exe_dir) / "data").lexically_normal().string());
        // An installation moved to another prefix keeps its data beside bin/.
        dirs.push_back((fs::path(exe_dir) / ".." / "share" / "glimmerfrost").lexically_normal().string());
    }
#ifdef GF_INSTALL_DATADIR
    if (std::find(dirs.begin(), dirs.end(), GF_INSTALL_DATADIR) == dirs.end()) {
        dirs.push_back(GF_INSTALL_DATADIR);
    }
#endif
    return dirs;
}

Status find_data_files(const std::vector<std::string>& dirs, DataFiles& files) {
    Status status = find_one(dirs, kModuleFile, files.module);
    for (int slot = 0; status.ok && slot < kPictureCount; ++slot) {
        status = find_one(dirs, kPictureSizes[static_cast<std::size_t>(slot)].file, files.pictures[slot]);
    }
    if (status.ok) {
        status = find_one(dirs, kMeshFile, files.mesh);
    }
    return status;
}

Status check_picture(const Image& image, const std::string& path, int slot) {
    const PictureSize& need = kPictureSizes[static_cast<std::size_t>(slot)];
    const Status status = check_picture_size(image, path, need.width, need.min_height);
    return {status.ok, status.message};
}

Status check_data_files(const DataFiles& files) {
    constexpr std::size_t kMagicSize = sizeof(it::header::kMagicText);
    char head[kMagicSize] = {};
    std::size_t got = 0;
    Status status = check_readable(files.module, head, sizeof(head), got);
    if (!status.ok) {
        return status;
    }
    if (got < kMagicSize || std::memcmp(head, it::header::kMagicText, kMagicSize) != 0) {
        return failed_on(files.module, "not an Impulse Tracker module");
    }
    // Loading it is the only sure test that the player can play it; no output is opened.
    const Status module = load_module(files.module);
    free_music();
    if (!module.ok) {
        return about_file(files.module, module, "cannot be played");
    }
    for (int slot = 0; slot < kPictureCount; ++slot) {
        const std::string& path = files.pictures[slot];
        status = check_readable(path, head, 0, got);
        if (!status.ok) {
            return status;
        }
        Image image;
        const PictureSize& size = kPictureSizes[static_cast<std::size_t>(slot)];
        const Status loaded = load_jpeg(image, path, PictureNeed{size.width, size.min_height});
        if (!loaded.ok) {
            release_image(image);
            return about_file(path, loaded, "cannot be decoded");
        }
        status = check_picture(image, path, slot);
        release_image(image);
        if (!status.ok) {
            return status;
        }
    }
    status = check_readable(files.mesh, head, 0, got);
    if (!status.ok) {
        return status;
    }
    return about_file(files.mesh, real_effect_ops().validate_mesh_file(files.mesh), "not a usable mesh");
}

int module_order_count(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    uint8_t header[it::header::kSize] = {};  // the order list follows the header
    if (!in.read(reinterpret_cast<char*>(header), sizeof(header))) {
        return -1;
    }
    const std::size_t entries = le::load16(header + it::header::kOrderCount);
    std::string orders(entries, '\0');
    if (!in.read(orders.data(), static_cast<std::streamsize>(entries))) {
        return -1;
    }
    const std::size_t end = orders.find(static_cast<char>(it::kOrderEnd));  // 254 marks an entry that is skipped
    return static_cast<int>(end == std::string::npos ? entries : end);
}

Status check_position(const std::string& path, int orders, uint32_t order, uint32_t row) {
    if (orders >= 0 && order >= static_cast<uint32_t>(orders)) {
        return {false, "order " + std::to_string(order) + " is past the last order of " + path + " (" +
                           std::to_string(orders - 1) + ")"};
    }
    const int rows = module_order_rows(path, order);
    if (rows >= 0 && row >= static_cast<uint32_t>(rows)) {
        return {false, "row " + std::to_string(row) + " is past the end of order " + std::to_string(order) +
                           ", which has " + std::to_string(rows) + " rows (0-" + std::to_string(rows - 1) + ")"};
    }
    return {};
}

int module_order_rows(const std::string& path, uint32_t order) {
    constexpr int kEmptyPatternRows = 64;  // a pattern stored as offset 0 is 64 empty rows
    std::ifstream in(path, std::ios::binary);
    uint8_t header[it::header::kSize] = {};
    if (!in.read(reinterpret_cast<char*>(header), sizeof(header))) {
        return -1;
    }
    const std::size_t orders = le::load16(header + it::header::kOrderCount);
    const std::size_t instruments = le::load16(header + it::header::kInstrumentCount);
    const std::size_t samples = le::load16(header + it::header::kSampleCount);
    const std::size_t patterns = le::load16(header + it::header::kPatternCount);
    std::vector<uint8_t> list(orders);
    if (order >= orders || !in.read(reinterpret_cast<char*>(list.data()), static_cast<std::streamsize>(orders))) {
        return -1;
    }
    const std::size_t pattern = list[order];
    if (pattern >= patterns) {
        return -1;  // a skip or end marker, or a pattern that is not stored
    }
    // The pattern offsets follow the instrument and sample offsets, four bytes each.
    uint8_t word[4] = {};
    in.seekg(static_cast<std::streamoff>(it::header::kSize + orders + 4 * (instruments + samples + pattern)));
    if (!in.read(reinterpret_cast<char*>(word), sizeof word)) {
        return -1;
    }
    const uint32_t offset = le::load32(word);
    if (offset == 0) {
        return kEmptyPatternRows;
    }
    in.seekg(static_cast<std::streamoff>(offset + it::pattern::kRows));
    if (!in.read(reinterpret_cast<char*>(word), 2)) {
        return -1;
    }
    return le::load16(word);
}

std::string next_free_name(const std::string& dir, const std::string& stem, const std::string& ext) {
    for (int n = 0;; ++n) {
        std::string name = stem;
        if (n > 0) {
            name.append(1, '-').append(std::to_string(n));
        }
        name += ext;
        const fs::path candidate = fs::path(dir) / name;
        std::error_code error;
        // symlink_status: a dangling link is a taken name too.
        if (!fs::exists(fs::symlink_status(candidate, error))) {
            return dir == "." ? name : candidate.string();
        }
    }
}

}  // namespace gf
