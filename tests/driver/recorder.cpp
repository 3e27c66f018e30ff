// Recording effects and the fake platform.
#include "recorder.h"

#include <filesystem>

#include "driver/beat_state.h"
#include "driver/picture_sizes.h"
#include "platform/clock.h"

namespace gf::test {

std::vector<std::string> call_log;
std::string mesh_problem;

namespace {

std::map<const void*, std::string> s_names;
int s_unnamed = 0;
FakePlatform* s_platform = nullptr;

// Pointers nobody named (demo_main's own work buffers) are named in order of first use.
std::string name(const void* pointer) {
    const auto found = s_names.find(pointer);
    if (found != s_names.end()) {
        return found->second;
    }
    std::string label = "work" + std::to_string(++s_unnamed);
    s_names[pointer] = label;
    return label;
}

std::string call(const char* op, std::initializer_list<std::string> args) {
    std::string text = std::string(op) + "(";
    bool first = true;
    for (const std::string& arg : args) {
        text += (first ? "" : ",") + arg;
        first = false;
    }
    return text + ")";
}

using std::to_string;

void r_copy_frame(uint32_t* d, const uint32_t* s, uint32_t n) { record(call("copy_frame", {name(d), name(s), to_string(n)})); }
void r_add_saturate(uint32_t* d, const uint32_t* a, const uint32_t* b) { record(call("add_saturate", {name(d), name(a), name(b)})); }
void r_fill_flash(uint32_t* b, uint32_t t) { record(call("fill_flash", {name(b), to_string(t)})); }
void r_invert_frame(uint32_t* b) { record(call("invert_frame", {name(b)})); }
void r_update_scroll_offsets(uint32_t base) { record(call("update_scroll_offsets", {to_string(base)})); }
void r_blit_scrolled(uint32_t* d, const uint32_t* p, int sel) { record(call("blit_scrolled", {name(d), name(p), to_string(sel)})); }
void r_blit_band(uint32_t* d, const uint32_t* p, uint32_t band) { record(call("blit_band", {name(d), name(p), to_string(band)})); }
void r_blur5(const uint32_t* s, uint32_t* d) { record(call("blur5", {name(s), name(d)})); }
void r_clear_frame(uint32_t* b) { record(call("clear_frame", {name(b)})); }
void r_set_zoom_preset(uint32_t t0, int code) { record(call("set_zoom_preset", {to_string(t0), to_string(code)})); }
void r_zoom_blur(uint32_t* b) { record(call("zoom_blur", {name(b)})); }
void r_init_swirl() { record("init_swirl()"); }
void r_animate_swirl() { record("animate_swirl()"); }
void r_draw_swirl(uint32_t* d, const uint32_t* p) { record(call("draw_swirl", {name(d), name(p)})); }
void r_free_swirl() { record("free_swirl()"); }
void r_init_noise() { record("init_noise()"); }
void r_draw_noise(uint32_t* b) { record(call("draw_noise", {name(b)})); }
void r_init_snow() { record("init_snow()"); }
void r_draw_snow(uint32_t* b) { record(call("draw_snow", {name(b)})); }
void r_fall_snow(uint32_t fast) { record(call("fall_snow", {to_string(fast)})); }
void r_render_ray_grid(uint32_t* d, const uint32_t* t) { record(call("render_ray_grid", {name(d), name(t)})); }
void r_reset_tunnel_camera() { record("reset_tunnel_camera()"); }
void r_animate_tunnel_camera(uint32_t t, int mode) { record(call("animate_tunnel_camera", {to_string(t), to_string(mode)})); }
std::string r_validate_mesh_file(const std::string& path) {
    record(call("validate_mesh_file", {std::filesystem::path(path).filename().string()}));
    return mesh_problem;
}
void r_load_cubes(const std::string& path) { record(call("load_cubes", {std::filesystem::path(path).filename().string()})); }
void r_free_cubes() { record("free_cubes()"); }
void r_draw_cubes(uint32_t* b) { record(call("draw_cubes", {name(b)})); }

const EffectOps s_recording = {
    r_copy_frame, r_add_saturate, r_fill_flash, r_invert_frame, r_update_scroll_offsets, r_blit_scrolled,
    r_blit_band, r_blur5, r_clear_frame, r_set_zoom_preset, r_zoom_blur, r_init_swirl, r_animate_swirl,
    r_draw_swirl, r_free_swirl, r_init_noise, r_draw_noise, r_init_snow, r_draw_snow, r_fall_snow,
    r_render_ray_grid, r_reset_tunnel_camera, r_animate_tunnel_camera, r_validate_mesh_file, r_load_cubes,
    r_free_cubes, r_draw_cubes,
};

std::string file_name(const std::string& path) { return std::filesystem::path(path).filename().string(); }

}  // namespace

void name_pointer(const void* pointer, const std::string& label) { s_names[pointer] = label; }
void clear_pointer_names() {
    s_names.clear();
    s_unnamed = 0;
}

const EffectOps& recording_effects() { return s_recording; }

void record(const std::string& entry) {
    call_log.push_back(entry);
    if (s_platform != nullptr && !s_platform->move_after.empty() && entry.rfind(s_platform->move_after, 0) == 0) {
        s_platform->positions = {s_platform->moved_position};
        s_platform->move_after.clear();
    }
}

FakePlatform::FakePlatform() {
    s_platform = this;
    name_pointer(surface.data(), "screen");
}

Status FakePlatform::open_display(const char* title, int width, int height, int use_options) {
    record(call("open_display", {title, to_string(width), to_string(height), to_string(use_options)}));
    return display_status;
}
uint32_t* FakePlatform::lock_frame() {
    record("lock_frame()");
    return surface.data();
}
void FakePlatform::unlock_frame() { record("unlock_frame()"); }
void FakePlatform::present_frame() { record("present_frame()"); }
void FakePlatform::update_display() {
    record("update_display()");
    advance_virtual_clock(clock_step);
}
bool FakePlatform::key_pressed() {
    record("key_pressed()");
    return ++key_calls >= key_from_call;
}
void FakePlatform::destroy_display() { record("destroy_display()"); }
Status FakePlatform::init_music() {
    record("init_music()");
    return {};
}
Status FakePlatform::load_module(const std::string& path) {
    record(call("load_module", {file_name(path)}));
    return module_status;
}
void FakePlatform::play_music(uint32_t order, uint32_t row) {
    record(call("play_music", {to_string(order), to_string(row)}));
    handles_at_play[0] = inst6_sync.load();
    handles_at_play[1] = scene_sync.load();
    handles_at_play[2] = band_sync.load();
    scene_pick_at_play = beat.scene_pick.load();
}
void FakePlatform::stop_music() { record("stop_music()"); }
void FakePlatform::free_music() { record("free_music()"); }
uint32_t FakePlatform::music_position() {
    const std::size_t index = static_cast<std::size_t>(position_queries);
    ++position_queries;
    return index < positions.size() ? positions[index] : positions.back();
}
uint32_t FakePlatform::add_instrument_sync(SyncProc proc, int instrument) {
    record(call("add_instrument_sync", {proc == &on_music_sync ? "on_music_sync" : "?", to_string(instrument)}));
    return next_handle_++;
}
int FakePlatform::music_volume() { return volume; }
void FakePlatform::set_music_volume(int value) {
    record(call("set_music_volume", {to_string(value)}));
    volume = value;
}
Status FakePlatform::load_jpeg(Image& image, const std::string& path) {
    const std::string file = file_name(path);
    record(call("load_jpeg", {file}));
    if (file == failing_picture) {
        return {false, path + ": not a JPEG file"};
    }
    std::pair<int, int> size {0, 0};
    for (const PictureSize& need : kPictureSizes) {
        if (file == need.file) {
            size = {need.width, need.min_height};
        }
    }
    if (const auto found = picture_sizes.find(file); found != picture_sizes.end()) {
        size = found->second;
    }
    image.width = size.first;
    image.height = size.second;
    image.pixels = new uint32_t[static_cast<std::size_t>(size.first) * static_cast<std::size_t>(size.second)]();
    name_pointer(image.pixels, file.substr(0, file.find('.')));
    return {};
}
void FakePlatform::release_image(Image& image) {
    record(call("release_image", {name(image.pixels)}));
    delete[] image.pixels;
    image.pixels = nullptr;
}

}  // namespace gf::test
