// Test doubles for the driver: effect operations and a platform that append
// every call, with its arguments, to one shared log; buffers and pictures are
// named so the log reads like the chains it records.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "driver/platform_ops.h"
#include "driver/timeline.h"

namespace gf::test {

// The calls made so far, e.g. "add_saturate(screen,screen,snow)".
extern std::vector<std::string> call_log;

// Names printed for pointers in the log; unknown pointers are named "work1", "work2", ... in order of first use.
void name_pointer(const void* pointer, const std::string& name);
void clear_pointer_names();

// Effect operations that only record their calls. validate_mesh_file answers
// `mesh_problem`.
const EffectOps& recording_effects();
extern std::string mesh_problem;

// A platform that records its calls and plays back scripted answers.
class FakePlatform : public Platform {
public:
    FakePlatform();

    // Positions returned by successive music_position queries; the last one repeats.
    std::vector<uint32_t> positions = {0};
    // When the log receives a call starting with `move_after`, the position becomes `moved_position`.
    std::string move_after;
    uint32_t moved_position = 0;
    int position_queries = 0;

    int volume = 100;
    // key_pressed answers true from this call on (1 = the test before the first frame).
    int key_from_call = 1000000;
    int key_calls = 0;
    uint32_t clock_step = 17;  // virtual milliseconds added by each update_display

    Status module_status;
    Status display_status;
    // Size given to each loaded picture, by file name; missing names get their slot's size.
    std::map<std::string, std::pair<int, int>> picture_sizes;
    std::string failing_picture;  // load_jpeg fails for this file name

    // Seen when play_music was called.
    uint32_t handles_at_play[3] = {};
    int32_t scene_pick_at_play = -1;

    PixelBuffer surface;

    Status open_display(const char* title, int width, int height, int use_options) override;
    uint32_t* lock_frame() override;
    void unlock_frame() override;
    void present_frame() override;
    void update_display() override;
    bool key_pressed() override;
    void destroy_display() override;
    Status init_music() override;
    Status load_module(const std::string& path) override;
    void play_music(uint32_t order, uint32_t row) override;
    void stop_music() override;
    void free_music() override;
    uint32_t music_position() override;
    uint32_t add_instrument_sync(SyncProc proc, int instrument) override;
    int music_volume() override;
    void set_music_volume(int volume) override;
    Status load_jpeg(Image& image, const std::string& path) override;
    void release_image(Image& image) override;

private:
    uint32_t next_handle_ = 101;
};

// Appends a call to the log (and moves the fake's position when asked to).
void record(const std::string& call);

// Position word of `order` and `row`.
constexpr uint32_t position(uint32_t order, uint32_t row) { return order | (row << 16); }

}  // namespace gf::test
