// Test doubles for the driver: effect operations and a platform that append
// every call, with its arguments, to one shared log. Buffers and pictures are
// named, so the log reads like the chains it records.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "common/data_set.h"
#include "driver/beat_state.h"
#include "driver/platform_ops.h"
#include "driver/timeline.h"
#include "platform/clock.h"

namespace gf::test {

inline std::vector<std::string> call_log;
inline std::string mesh_problem;  // the failure the recording validate_mesh_file answers; empty: none
inline std::map<const void*, std::string> pointer_names;
inline int unnamed_pointers = 0;
inline std::string move_after;       // when a logged call starts with this text ...
inline uint32_t moved_position = 0;  // ... the fake platform's position becomes this
inline std::vector<uint32_t>* positions_to_move = nullptr;

constexpr uint32_t position(uint32_t order, uint32_t row) { return order | (row << 16); }

inline void clear_pointer_names() {
    pointer_names.clear();
    unnamed_pointers = 0;
}

// Pointers nobody named (demo_main's own work buffers) become work1, work2, ... by first use.
inline std::string name(const void* pointer) {
    auto [it, added] = pointer_names.try_emplace(pointer);
    if (added) {
        it->second = "work" + std::to_string(++unnamed_pointers);
    }
    return it->second;
}

inline std::string file_name(const std::string& path) { return std::filesystem::path(path).filename().string(); }

template <typename... Args>
void record(const char* op, const Args&... args) {
    std::string text = std::string(op) + "(";
    ((text += (text.back() == '(' ? "" : ",") + std::string(args)), ...);
    call_log.push_back(text + ")");
    if (!move_after.empty() && call_log.back().rfind(move_after, 0) == 0 && positions_to_move != nullptr) {
        *positions_to_move = {moved_position};
        move_after.clear();
    }
}

using std::to_string;

inline const EffectOps& recording_effects() {
    static const EffectOps ops = {
        [](uint32_t* d, const uint32_t* s, uint32_t n) { record("copy_frame", name(d), name(s), to_string(n)); },
        [](uint32_t* d, const uint32_t* a, const uint32_t* b) { record("add_saturate", name(d), name(a), name(b)); },
        [](uint32_t* b, uint32_t t) { record("fill_flash", name(b), to_string(t)); },
        [](uint32_t* b) { record("invert_frame", name(b)); },
        [](uint32_t base) { record("update_scroll_offsets", to_string(base)); },
        [](uint32_t* d, const uint32_t* p, int s) { record("blit_scrolled", name(d), name(p), to_string(s)); },
        [](uint32_t* d, const uint32_t* p, uint32_t b) { record("blit_band", name(d), name(p), to_string(b)); },
        [](const uint32_t* s, uint32_t* d) { record("blur5", name(s), name(d)); },
        [](uint32_t* b) { record("clear_frame", name(b)); },
        [](uint32_t t0, int code) { record("set_zoom_preset", to_string(t0), to_string(code)); },
        [](uint32_t* b) { record("zoom_blur", name(b)); },
        [] { record("init_swirl"); },
        [] { record("animate_swirl"); },
        [](uint32_t* d, const uint32_t* p) { record("draw_swirl", name(d), name(p)); },
        [] { record("free_swirl"); },
        [] { record("init_noise"); },
        [](uint32_t* b) { record("draw_noise", name(b)); },
        [] { record("init_snow"); },
        [](uint32_t* b) { record("draw_snow", name(b)); },
        [](uint32_t fast) { record("fall_snow", to_string(fast)); },
        [](uint32_t* d, const uint32_t* t) { record("render_ray_grid", name(d), name(t)); },
        [] { record("reset_tunnel_camera"); },
        [](uint32_t t, int mode) { record("animate_tunnel_camera", to_string(t), to_string(mode)); },
        [](const std::string& path) {
            record("validate_mesh_file", file_name(path));
            return mesh_problem.empty() ? Status{} : failed(mesh_problem);
        },
        [](const std::string& path) { record("load_cubes", file_name(path)); },
        [] { record("free_cubes"); },
        [](uint32_t* b) { record("draw_cubes", name(b)); },
    };
    return ops;
}

// A platform that records its calls and plays back scripted answers.
class FakePlatform : public Platform {
public:
    FakePlatform() {
        pointer_names[surface.data()] = "screen";
        positions_to_move = &positions;
    }
    ~FakePlatform() override { positions_to_move = nullptr; }

    std::vector<uint32_t> positions = {0};  // successive music_position answers; the last repeats
    int position_queries = 0;
    int volume = 100;
    int key_from_call = 1 << 30;  // key_pressed is true from this call on (1: before the first frame)
    int key_calls = 0;
    std::map<int, std::vector<KeyRole>> viewer_keys;  // handed out, in order, after key_pressed call N
    Status module_status, display_status;
    std::map<std::string, std::pair<int, int>> picture_sizes;  // by file; others get their slot's size
    uint32_t handles_at_play[3] = {};
    int32_t scene_pick_at_play = -1;
    PixelBuffer surface;

    Status open_display(const char* title, int w, int h, int use_options) override {
        record("open_display", std::string(title), to_string(w), to_string(h), to_string(use_options));
        return display_status;
    }
    uint32_t* lock_frame() override {
        record("lock_frame");
        return surface.data();
    }
    void unlock_frame() override { record("unlock_frame"); }
    void present_frame() override { record("present_frame"); }
    void update_display() override {
        record("update_display");
        advance_virtual_clock(17);
    }
    bool key_pressed() override {
        record("key_pressed");
        return ++key_calls >= key_from_call;
    }
    void destroy_display() override { record("destroy_display"); }
    KeyRole take_viewer_key() override {
        std::vector<KeyRole>& waiting = viewer_keys[key_calls];
        if (waiting.empty()) return KeyRole::Ignore;
        const KeyRole key = waiting.front();
        waiting.erase(waiting.begin());
        return key;
    }
    void pause_music(bool paused) override { record("pause_music", to_string(paused)); }
    Status init_music() override {
        record("init_music");
        return {};
    }
    Status load_module(const std::string& path) override {
        record("load_module", file_name(path));
        return module_status;
    }
    void play_music(uint32_t order, uint32_t row) override {
        record("play_music", to_string(order), to_string(row));
        handles_at_play[0] = inst6_sync;
        handles_at_play[1] = scene_sync;
        handles_at_play[2] = band_sync;
        scene_pick_at_play = beat.scene_pick;
    }
    void stop_music() override { record("stop_music"); }
    void free_music() override { record("free_music"); }
    uint32_t music_position() override {
        const auto index = static_cast<std::size_t>(position_queries++);
        return index < positions.size() ? positions[index] : positions.back();
    }
    uint32_t add_instrument_sync(SyncProc proc, int instrument) override {
        record("add_instrument_sync", std::string(proc == &on_music_sync ? "on_music_sync" : "?"),
               to_string(instrument));
        return next_handle_++;
    }
    int music_volume() override { return volume; }
    void set_music_volume(int value) override {
        record("set_music_volume", to_string(value));
        volume = value;
    }
    Status load_jpeg(Image& image, const std::string& path) override {
        const std::string file = file_name(path);
        record("load_jpeg", file);
        std::pair<int, int> size{0, 0};
        for (const PictureSize& need : kPictureSizes) {
            if (file == need.file) size = {need.width, need.min_height};
        }
        if (const auto found = picture_sizes.find(file); found != picture_sizes.end()) size = found->second;
        image.width = size.first;
        image.height = size.second;
        image.pixels = new uint32_t[static_cast<std::size_t>(size.first * size.second)]();
        pointer_names[image.pixels] = file.substr(0, file.find('.'));
        return {};
    }
    void release_image(Image& image) override {
        record("release_image", name(image.pixels));
        delete[] image.pixels;
        image.pixels = nullptr;
    }

private:
    uint32_t next_handle_ = 101;
};

}  // namespace gf::test
