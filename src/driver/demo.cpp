// demo_main: start-up, the frame loop and shutdown, each in a fixed order.
// Start-up checks every load and stops with one line naming the file before
// any window opens; the loop ends on a key (or a stop request), when the
// closing fade has silenced the music, or a second after the music has ended.
#include "driver/demo.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <ctime>
#include <iostream>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "common/frame_globals.h"
#include "driver/beat_state.h"
#include "driver/capture_platform.h"
#include "driver/data_files.h"
#include "driver/show_state.h"
#include "driver/timeline.h"
#include "effects/flash_limit.h"
#include "platform/clock.h"
#include "platform/music.h"

namespace gf {

namespace {

constexpr const char* kTitle = "Glimmerfrost";
constexpr int kUseOptions = 0;  // no output option: the display's default mode
constexpr int kInstrumentCamera = 6;
constexpr int kInstrumentBeat = 1;
constexpr int kWorkBuffers = 6;
constexpr uint32_t kMusicEndGraceMs = 1000;  // a capture keeps the same second after the music's end

// Ends the show a second after the music has ended, whatever the closing fade has reached:
// a start late in the last order, or a module that never reaches it, would otherwise
// leave the loop drawing nothing for ever.
class MusicEndWatch {
public:
    bool over(uint32_t position, uint32_t now) {
        if ((position & 0xFFFFu) != kOrderAfterEnd) {
            return false;
        }
        if (!seen_) {
            seen_ = true;
            since_ = now;
        }
        return now - since_ >= kMusicEndGraceMs;
    }

private:
    bool seen_ = false;
    uint32_t since_ = 0;
};

// One frame through `platform`: its surface becomes `screen` while `draw` fills it,
// the frame is shown, and `frame_time` becomes the clock read after the update (the
// time the next frame is drawn at). The show's passes and a seek's all go through
// here, the one place that sets the two; start and finish only clear them, and a
// checkpoint put back restores `frame_time` with the rest of the show's state.
template <typename Draw>
void frame_pass(Platform& platform, const Draw& draw) {
    screen = platform.lock_frame();
    draw();
    platform.unlock_frame();
    platform.present_frame();
    platform.update_display();
    frame_time = time_get_time();
}

// The viewer's state: Space holds the music, the clock and the picture together;
// Left and Right restart the music at the previous or next order with a fresh
// beat state, as a start with --start does.
struct Viewer {
    bool paused = false;
    bool redraw = false;  // draw one frame while paused: the order has changed
};

double wall_now() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }

// The position word (order low, row high) as a number that orders positions as the show does.
uint32_t position_key(uint32_t position) { return ((position & 0xFFFFu) << 16) | (position >> 16); }
uint32_t position_key(uint32_t order, uint32_t row) { return (order << 16) | (row & 0xFFFFu); }

void jump_to_order(Platform& platform, uint32_t order) {
    platform.stop_music();  // no sync may run while the beat state is reset
    const uint32_t handles[3] = {inst6_sync.load(), scene_sync.load(), band_sync.load()};
    reset_beat_state();
    inst6_sync.store(handles[0]);
    scene_sync.store(handles[1]);
    band_sync.store(handles[2]);
    reset_timeline();
    exit_requested = 0;
    if (platform.music_volume() != 100) {
        platform.set_music_volume(100);  // the closing fade may have lowered it
    }
    platform.play_music(order, 0);
}

// One line on stdout after each viewer key: where the music stands, as ORDER:ROW,
// the form --start takes, so that a scene found here can be started directly.
// False when the line cannot be written (the reader of a pipe has gone).
bool say_where(Platform& platform, const Viewer& viewer) {
    const uint32_t at = platform.music_position();
    std::cout << (viewer.paused ? "paused at " : "playing from ") << (at & 0xFFFFu) << ':' << (at >> 16) << std::endl;
    return static_cast<bool>(std::cout);
}

// False when the show should end because its lines can no longer be written.
bool handle_viewer_keys(Platform& platform, Viewer& viewer, int order_count) {
    for (KeyRole key = platform.take_viewer_key(); key != KeyRole::Ignore; key = platform.take_viewer_key()) {
        if (key == KeyRole::Pause) {
            viewer.paused = !viewer.paused;
            hold_clock(viewer.paused);
            platform.pause_music(viewer.paused);
            if (!say_where(platform, viewer)) {
                return false;
            }
            continue;
        }
        uint32_t order = platform.music_position() & 0xFFFFu;
        if (order == kOrderAfterEnd) {
            order = order_count > 0 ? static_cast<uint32_t>(order_count) : 0;  // past the end: the last is previous
        }
        if (key == KeyRole::PreviousOrder) {
            order = order > 0 ? order - 1 : 0;  // the first order restarts
        } else if (order_count < 0 || order + 1 < static_cast<uint32_t>(order_count)) {
            ++order;
        } else {
            continue;  // already at the last order
        }
        jump_to_order(platform, order);
        if (viewer.paused) {
            platform.pause_music(true);
            viewer.redraw = true;
        }
        if (!say_where(platform, viewer)) {
            return false;
        }
    }
    return true;
}

// Start-up steps 2-4: eight empty pictures and six black work buffers; the pictures are
// handed to the scenes that draw with them (the buffers by State::point_objects).
void make_scene_objects(std::array<Image, kPictureCount>& images,
                        std::array<std::unique_ptr<PixelBuffer>, kWorkBuffers>& buffers, SceneObjects& objects) {
    for (auto& buffer : buffers) {
        buffer = std::make_unique<PixelBuffer>();
    }
    for (int slot = 0; slot < kPictureCount; ++slot) {
        objects.pictures[slot] = &images[slot];
    }
}

// Start-up steps 5 and 6, and the mesh checked: why the show cannot start, naming the file.
Status load_show_files(Platform& platform, const EffectOps& fx, const DataFiles& files,
                       std::array<Image, kPictureCount>& images) {
    // 5: the player and the module.
    Status status = platform.init_music();
    if (!status.ok) {
        return status.message.empty() ? failed("cannot start the music player") : status;
    }
    status = platform.load_module(files.module);
    if (!status.ok) {
        return about_file(files.module, status, "cannot be loaded");
    }
    // 6: the pictures, slot 0 first, each at the size its scenes read.
    for (int slot = 0; slot < kPictureCount; ++slot) {
        const std::string& path = files.pictures[slot];
        status = platform.load_jpeg(images[slot], path);
        if (!status.ok) {
            return about_file(path, status, "cannot be decoded");
        }
        status = check_picture(images[slot], path, slot);
        if (!status.ok) {
            return status;
        }
    }
    // The mesh is loaded after the window opens, so it is checked now.
    return about_file(files.mesh, fx.validate_mesh_file(files.mesh), "not a usable mesh");
}

}  // namespace

double drawing_clock() {
    timespec ts{};
    if (clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts) == 0 && (ts.tv_sec != 0 || ts.tv_nsec != 0)) {
        return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
    }
    return wall_now();
}

bool checkpoint_due(uint64_t show_ms, double work_seconds) {
    return show_ms >= kCheckpointShowMs ||
           (show_ms >= kCheckpointLeastShowMs && work_seconds >= kCheckpointWorkSeconds);
}

DemoOptions from_the_start(const DemoOptions& demo) {
    DemoOptions whole = demo;
    whole.start_order = 0;
    whole.start_row = 0;
    return whole;
}

int demo_main(Platform& platform, const DemoOptions& options) {
    return demo_main(platform, options, real_effect_ops());
}

int demo_main(Platform& platform, const DemoOptions& options, const EffectOps& fx) {
    DemoRun run(platform, options, fx);
    const int failed = run.start();
    if (failed != 0) {
        return failed;
    }
    while (run.step()) {
    }
    return run.finish();
}

namespace {

// A work buffer as a checkpoint keeps it: runs of one colour (most buffers are black but
// for what their scene draws, or one colour), or the pixels as they are when that is smaller.
class PackedBuffer {
public:
    explicit PackedBuffer(const PixelBuffer& buffer) {
        const uint32_t* p = buffer.pixels;
        for (int i = 0; i < kScreenPixels && words_.size() < kScreenPixels;) {
            int end = i + 1;
            while (end < kScreenPixels && p[end] == p[i]) {
                ++end;
            }
            words_.push_back(static_cast<uint32_t>(end - i));
            words_.push_back(p[i]);
            i = end;
        }
        runs_ = words_.size() < kScreenPixels;
        if (!runs_) {
            words_.assign(p, p + kScreenPixels);
        }
        words_.shrink_to_fit();
    }
    void unpack(PixelBuffer& buffer) const {
        if (!runs_) {
            std::copy(words_.begin(), words_.end(), buffer.pixels);
            return;
        }
        uint32_t* out = buffer.pixels;
        for (std::size_t i = 0; i < words_.size(); i += 2) {
            out = std::fill_n(out, words_[i], words_[i + 1]);
        }
    }
    // Whether it holds exactly `buffer`'s pixels.
    bool holds(const PixelBuffer& buffer) const {
        if (!runs_) {
            return std::equal(words_.begin(), words_.end(), buffer.pixels);
        }
        const uint32_t* in = buffer.pixels;
        for (std::size_t i = 0; i < words_.size(); i += 2) {
            const uint32_t colour = words_[i + 1];
            if (std::any_of(in, in + words_[i], [colour](uint32_t pixel) { return pixel != colour; })) {
                return false;
            }
            in += words_[i];
        }
        return true;
    }
    std::size_t bytes() const { return sizeof(*this) + words_.capacity() * sizeof(uint32_t); }

private:
    bool runs_ = true;  // words_ is (count, colour) pairs; otherwise the pixels
    std::vector<uint32_t> words_;
};

}  // namespace

// What lives from start-up to shutdown.
struct DemoRun::Checkpoint {
    ShowState show;
    std::vector<std::shared_ptr<const PackedBuffer>> buffers;  // shared by checkpoints where they are the same
    MusicEndWatch music_end;
    std::unique_ptr<PlatformState> platform;
    std::unique_ptr<FlashLimitState> flash_limit;  // the gentle show's limiter (kept on the heap: it holds a frame)
};

// Seeking in a window: the show as it runs from its start at a steady frame rate, on
// an offline platform of its own (the shadow), with a checkpoint every
// kCheckpointShowMs of show kept as seeks pass them.
struct Seeker {
    struct Entry {
        uint32_t key = 0;  // position_key of the next frame's position
        std::shared_ptr<const DemoRun::Checkpoint> checkpoint;
    };
    bool enabled = false;
    FrameRate rate;
    uint64_t every = 1;                       // frames between two checkpoints
    std::unique_ptr<CapturePlatform> shadow;  // made at the first seek
    std::map<uint64_t, Entry> checkpoints;    // by the frame drawn next; frame 0 is the show's start
    int64_t frame = -1;                       // the steady-rate frame the window shows, when it shows one of them
    // The same run from the start, a slice at a time in idle time, keeping every checkpoint:
    // its own offline platform and music, work buffers, and between slices its show's state.
    struct Ahead {
        bool done = false;  // the whole show is covered (or it cannot run)
        std::unique_ptr<SideMusic> music;
        std::unique_ptr<CapturePlatform> platform;
        std::array<std::unique_ptr<PixelBuffer>, kWorkBuffers> buffers;
        ShowState show;
        ClockState clock;
        MusicEndWatch music_end;
        std::shared_ptr<const DemoRun::Checkpoint> last;  // the latest checkpoint it has passed
        uint64_t last_frame = 0;
        double work = 0;                                    // seconds spent drawing since
        std::unique_ptr<FlashLimitState> live_flash_limit;  // the window's, kept during a slice
        std::unique_ptr<FlashLimitState> flash_limit;       // its own between slices (the gentle show)
    } ahead;
};

struct DemoRun::State {
    std::array<Image, kPictureCount> images{};
    std::array<std::unique_ptr<PixelBuffer>, kWorkBuffers> buffers;
    SceneObjects objects;
    Viewer viewer;
    MusicEndWatch music_end;
    bool first_pass = true;
    Seeker seeker;

    // The chains draw into `buffers`.
    void point_objects() {
        objects.scroll_buffer = buffers[0].get();
        objects.band_buffer = buffers[1].get();
        objects.cube_buffer = buffers[2].get();
        objects.cube_glow_buffer = buffers[3].get();
        objects.snow_buffer = buffers[4].get();
        objects.flash_buffer = buffers[5].get();
    }
};

DemoRun::DemoRun(Platform& platform, const DemoOptions& options, const EffectOps& effects)
    : platform_(platform), options_(options), fx_(effects), state_(std::make_unique<State>()) {}

DemoRun::~DemoRun() = default;

int DemoRun::start() {
    Platform& platform = platform_;
    const EffectOps& fx = fx_;
    const DataFiles& files = options_.files;
    auto& images = state_->images;
    auto& buffers = state_->buffers;
    SceneObjects& objects = state_->objects;
    screen = nullptr;
    frame_time = 0;
    exit_requested = 0;
    reset_beat_state();
    reset_timeline();
    reset_flash_limit();

    // 1-4: the Display is the platform's; eight empty pictures; six black work buffers.
    make_scene_objects(images, buffers, objects);
    state_->point_objects();
    // A start-up failure undoes what was done, in shutdown order, before any window opens.
    const auto fail = [&](const Status& failure) {
        const int code = report_failure(failure);
        for (Image& image : images) {
            if (image.pixels != nullptr) {
                platform.release_image(image);
            }
        }
        platform.free_music();
        platform.destroy_display();
        return code;
    };

    if (const Status refused = load_show_files(platform, fx, files, images); !refused.ok) {
        return fail(refused);
    }
    // 7: the window.
    const Status status = platform.open_display(kTitle, kScreenWidth, kScreenHeight, kUseOptions);
    if (!status.ok) {
        return fail(status.message.empty() ? failed("cannot open the display") : status);
    }
    // 8: effect tables; these draw the first random numbers.
    fx.reset_tunnel_camera();
    fx.init_swirl();
    fx.init_snow();
    fx.init_noise();
    // 9: the three syncs; each handle is stored before playback can call the handler.
    inst6_sync.store(platform.add_instrument_sync(on_music_sync, kInstrumentCamera), std::memory_order_relaxed);
    scene_sync.store(platform.add_instrument_sync(on_music_sync, kInstrumentBeat), std::memory_order_relaxed);
    band_sync.store(platform.add_instrument_sync(on_music_sync, kInstrumentBeat), std::memory_order_relaxed);
    // 10, 11: the cubes, then the music.
    fx.load_cubes(files.mesh);
    Seeker& seeker = state_->seeker;
    int num = 0;
    int den = 1;
    seeker.enabled = platform.seek_rate(num, den);
    if (seeker.enabled) {
        // The show's start, kept before the music plays: every seek begins from a checkpoint.
        seeker.rate = {num, den};
        seeker.every =
            std::max<uint64_t>(1, kCheckpointShowMs * static_cast<uint64_t>(num) / (1000 * static_cast<uint64_t>(den)));
        auto start = std::make_shared<Checkpoint>();
        start->show = save_show_state();
        start->buffers.assign(buffers.size(), std::make_shared<const PackedBuffer>(PixelBuffer{}));
        start->platform = CapturePlatform::start_state();
        seeker.checkpoints[0] = {0, std::move(start)};
        if (options_.interactive && options_.seek_ahead) {
            // The run ahead's music, loaded now rather than in the first frame's idle time: it takes a while.
            seeker.ahead.music = make_side_music(on_music_sync);
            seeker.ahead.done = !seeker.ahead.music;  // without it, seeks fill the table as they pass
        }
        platform.play_music(0, 0);
        if (options_.start_order != 0 || options_.start_row != 0) {
            seek_to_position(options_.start_order, options_.start_row);
        }
    } else {
        platform.play_music(options_.start_order, options_.start_row);
    }

    return 0;
}

bool DemoRun::seek_to_position(uint32_t order, uint32_t row) { return seek(position_key(order, row), -1); }

bool DemoRun::seek_to_frame(uint64_t frame) { return seek(0, static_cast<int64_t>(frame)); }

void DemoRun::shadow_pass(CapturePlatform& shadow) {
    frame_pass(shadow, [&] {
        run_timeline(shadow, state_->objects, fx_);
        if (options_.gentle) {
            // The limiter's memory of the last second is part of the show's state: the run
            // to a seek's frame keeps it as the whole show does.
            limit_flashes(screen, time_get_time());
        }
    });
}

// Runs the shadow from the checkpoint before the target up to it: the frame `frame`
// (from 0), or with frame < 0 the first frame whose position is at or after `key`.
// Then the window goes on from there: its clock from the frame's time (held while
// paused), the music from the frame's sample.
bool DemoRun::seek(uint32_t key, int64_t frame) {
    Seeker& s = state_->seeker;
    if (!s.enabled) {
        return false;
    }
    const bool paused = state_->viewer.paused;
    platform_.pull_music(true);
    if (!s.shadow) {
        s.shadow = std::make_unique<CapturePlatform>(s.rate, CaptureSink{});
        s.shadow->keep_surface_in_state(false);
    }
    use_virtual_clock(kCaptureClockStart);
    CapturePlatform::follow_music_clock();
    auto from = s.checkpoints.begin();
    for (auto it = s.checkpoints.begin(); it != s.checkpoints.end(); ++it) {
        const bool before = frame >= 0 ? it->first <= static_cast<uint64_t>(frame) : it->second.key < key;
        if (before) {
            from = it;
        }
    }
    bool ok = restore_on(*s.shadow, *from->second.checkpoint);
    const Checkpoint* last = from->second.checkpoint.get();
    while (ok) {
        const uint64_t at = s.shadow->frames();
        const uint32_t next = position_key(s.shadow->music_position());
        if (at % s.every == 0 && s.checkpoints.count(at) == 0) {
            if (auto checkpoint = save_on(*s.shadow, last)) {
                last = checkpoint.get();
                s.checkpoints[at] = {next, std::move(checkpoint)};
            }
        }
        const bool reached = frame >= 0 ? at >= static_cast<uint64_t>(frame) : next >= key;
        if (reached || exit_requested == 1 || s.shadow->key_pressed()) {
            break;
        }
        shadow_pass(*s.shadow);
    }
    s.frame = ok ? static_cast<int64_t>(s.shadow->frames()) : -1;
    const uint32_t now = time_get_time();
    set_sync_position_hook({});
    use_system_clock();
    set_clock(now);
    if (paused) {
        hold_clock(true);
    }
    platform_.pull_music(false);
    if (paused) {
        platform_.pause_music(true);
        state_->viewer.redraw = true;
    }
    return ok;
}

bool DemoRun::viewer_keys() {
    Platform& platform = platform_;
    Viewer& viewer = state_->viewer;
    Seeker& seeker = state_->seeker;
    if (!seeker.enabled) {
        return handle_viewer_keys(platform, viewer, options_.order_count);
    }
    const int order_count = options_.order_count;
    for (KeyRole key = platform.take_viewer_key(); key != KeyRole::Ignore; key = platform.take_viewer_key()) {
        const uint32_t at = platform.music_position();
        uint32_t order = at & 0xFFFFu;
        if (order == kOrderAfterEnd) {
            order = order_count > 0 ? static_cast<uint32_t>(order_count) : 0;  // past the end: the last is previous
        }
        switch (key) {
            case KeyRole::Pause:
                viewer.paused = !viewer.paused;
                hold_clock(viewer.paused);
                platform.pause_music(viewer.paused);
                break;
            case KeyRole::PreviousOrder:
                seek(position_key(order > 0 ? order - 1 : 0, 0), -1);  // the first order restarts
                break;
            case KeyRole::NextOrder:
                if (order_count >= 0 && order + 1 >= static_cast<uint32_t>(order_count)) {
                    continue;  // already at the last order
                }
                seek(position_key(order + 1, 0), -1);
                break;
            case KeyRole::ToStart:
                seek(0, 0);
                break;
            case KeyRole::NextFrame:
            case KeyRole::PreviousFrame:
                if (!viewer.paused) {
                    continue;  // frame steps are for a paused picture
                }
                if (seeker.frame < 0) {
                    seek(position_key(at), -1);  // first onto the steady frames, at the position shown
                } else if (key == KeyRole::NextFrame) {
                    seek(0, seeker.frame + 1);
                } else {
                    seek(0, std::max<int64_t>(0, seeker.frame - 1));
                }
                break;
            default:
                continue;
        }
        if (!say_where(platform, viewer)) {
            return false;
        }
    }
    return true;
}

bool DemoRun::step() {
    Platform& platform = platform_;
    Viewer& viewer = state_->viewer;
    // 12: a key already waiting skips the show.
    if (state_->first_pass) {
        state_->first_pass = false;
        if (platform.key_pressed()) {
            return false;
        }
    }
    if (exit_requested == 1) {
        return false;  // the pass that set it has been shown in full
    }
    frame_pass(platform, [&] {
        // Paused, the last picture is shown again as it stands, so the window stays live.
        if (!viewer.paused || viewer.redraw) {
            run_timeline(platform, state_->objects, fx_);
            if (options_.gentle) {
                // The finished frame, before it is shown or encoded.
                limit_flashes(screen, time_get_time());
            }
            viewer.redraw = false;
        }
    });
    if (platform.key_pressed() || state_->music_end.over(platform.music_position(), frame_time)) {
        return false;
    }
    if (!viewer.paused) {
        state_->seeker.frame = -1;  // playing on at the window's own pace
    }
    if (options_.interactive && !viewer_keys()) {
        return false;  // nobody reads the lines any more: the end of the show
    }
    if (options_.interactive && options_.seek_ahead) {
        look_ahead(viewer.paused ? kAheadPausedSeconds : kAheadPlayingSeconds);
    }
    return true;
}

std::size_t DemoRun::checkpoints_kept() const { return state_->seeker.checkpoints.size(); }

bool DemoRun::looked_ahead() const { return state_->seeker.ahead.done; }

// One pass of the run ahead, with the window's show put aside: from where the last pass
// left it (or the show's start), a checkpoint when one is due, then its frame drawn.
void DemoRun::look_ahead_pass() {
    Seeker& s = state_->seeker;
    Seeker::Ahead& a = s.ahead;
    const SideMusicScope side(*a.music);
    bool running = true;
    if (!a.platform) {
        a.platform = std::make_unique<CapturePlatform>(s.rate, CaptureSink{});
        a.platform->keep_surface_in_state(false);
        CapturePlatform::follow_music_clock();
        a.last = s.checkpoints.at(0).checkpoint;
        running = restore_on(*a.platform, *a.last);
    } else {
        restore_clock(a.clock);
        restore_show_state(a.show);
        state_->music_end = a.music_end;
        flash_limit = *a.flash_limit;
    }
    const uint64_t at = a.platform->frames();
    const auto kept = s.checkpoints.find(at);
    if (kept != s.checkpoints.end()) {
        a.last = kept->second.checkpoint;  // a seek has passed here
        a.last_frame = at;
        a.work = 0;
    } else if (checkpoint_due(frame_start_ms(at, s.rate) - frame_start_ms(a.last_frame, s.rate), a.work)) {
        const uint32_t next = position_key(a.platform->music_position());
        if (auto checkpoint = save_on(*a.platform, a.last.get())) {
            a.last = checkpoint;
            a.last_frame = at;
            a.work = 0;
            s.checkpoints[at] = {next, std::move(checkpoint)};
        }
    }
    if (!running || exit_requested == 1 || a.platform->key_pressed()) {
        a.done = true;
        a.platform.reset();  // with the side music and the clock still its own
    } else {
        const double started = drawing_clock();
        shadow_pass(*a.platform);
        a.work += drawing_clock() - started;
        a.clock = save_clock();
        a.show = save_show_state();
        a.music_end = state_->music_end;
        *a.flash_limit = flash_limit;
    }
}

// One slice of the run ahead, a pass at a time. The effects keep their state module-wide,
// so for each pass the window's show is put aside (its state, its work buffers, its clock)
// and put back exactly as it was; the window's music keeps playing, only held from
// rendering during the pass (no sync of it may run meanwhile), and the run ahead has
// music of its own. The window's frames and sound are those it has without the slice.
void DemoRun::look_ahead(double seconds) {
    Seeker& s = state_->seeker;
    Seeker::Ahead& a = s.ahead;
    if (!s.enabled || a.done) {
        return;
    }
    if (!a.music) {
        a.music = make_side_music(on_music_sync);
        if (!a.music) {
            a.done = true;  // no second player of the module: seeks fill the table as they pass
            return;
        }
    }
    if (!a.live_flash_limit) {
        for (auto& buffer : a.buffers) {
            buffer = std::make_unique<PixelBuffer>();
        }
        a.live_flash_limit = std::make_unique<FlashLimitState>();
        a.flash_limit = std::make_unique<FlashLimitState>();
    }
    const double until = wall_now() + seconds;
    do {
        hold_music_output(true);
        const ClockState live_clock = save_clock();
        const ShowState live_show = save_show_state();
        const MusicEndWatch live_end = state_->music_end;
        uint32_t* const live_screen = screen;
        *a.live_flash_limit = flash_limit;
        std::swap(state_->buffers, a.buffers);
        state_->point_objects();
        look_ahead_pass();
        std::swap(state_->buffers, a.buffers);
        state_->point_objects();
        restore_show_state(live_show);
        state_->music_end = live_end;
        flash_limit = *a.live_flash_limit;
        screen = live_screen;
        restore_clock(live_clock);
        hold_music_output(false);
    } while (!a.done && wall_now() < until);
    if (a.done) {
        a.music.reset();  // what the run ahead used is not needed any more
        a.last.reset();
        a.live_flash_limit.reset();
        a.flash_limit.reset();
        for (auto& buffer : a.buffers) {
            buffer.reset();
        }
    }
}

std::shared_ptr<const DemoRun::Checkpoint> DemoRun::save(const Checkpoint* previous) const {
    return save_on(platform_, previous);
}

std::size_t DemoRun::bytes(const std::vector<const Checkpoint*>& checkpoints) {
    std::size_t total = 0;
    std::set<const PackedBuffer*> buffers;
    for (const Checkpoint* checkpoint : checkpoints) {
        total += sizeof(Checkpoint) + (checkpoint->platform ? checkpoint->platform->bytes() : 0) +
                 (checkpoint->flash_limit ? sizeof(FlashLimitState) : 0) +
                 checkpoint->buffers.size() * sizeof(std::shared_ptr<const PackedBuffer>);
        for (const auto& buffer : checkpoint->buffers) {
            buffers.insert(buffer.get());
        }
    }
    for (const PackedBuffer* buffer : buffers) {
        total += buffer->bytes();
    }
    return total;
}

bool DemoRun::restore(const Checkpoint& checkpoint) { return restore_on(platform_, checkpoint); }

std::shared_ptr<const DemoRun::Checkpoint> DemoRun::save_on(Platform& platform, const Checkpoint* previous) const {
    auto checkpoint = std::make_shared<Checkpoint>();
    checkpoint->platform = platform.save_state();
    if (!checkpoint->platform) {
        return nullptr;
    }
    checkpoint->show = save_show_state();
    checkpoint->buffers.reserve(state_->buffers.size());
    for (std::size_t i = 0; i < state_->buffers.size(); ++i) {
        const PixelBuffer& buffer = *state_->buffers[i];
        if (previous != nullptr && i < previous->buffers.size() && previous->buffers[i]->holds(buffer)) {
            checkpoint->buffers.push_back(previous->buffers[i]);  // unchanged since: kept once
        } else {
            checkpoint->buffers.push_back(std::make_shared<const PackedBuffer>(buffer));
        }
    }
    checkpoint->music_end = state_->music_end;
    if (options_.gentle) {
        checkpoint->flash_limit = std::make_unique<FlashLimitState>(flash_limit);
    }
    return checkpoint;
}

bool DemoRun::restore_on(Platform& platform, const Checkpoint& checkpoint) {
    if (checkpoint.buffers.size() != state_->buffers.size() || !platform.restore_state(*checkpoint.platform)) {
        return false;
    }
    restore_show_state(checkpoint.show);
    for (std::size_t i = 0; i < checkpoint.buffers.size(); ++i) {
        checkpoint.buffers[i]->unpack(*state_->buffers[i]);
    }
    state_->music_end = checkpoint.music_end;
    if (checkpoint.flash_limit) {
        flash_limit = *checkpoint.flash_limit;
    } else {
        reset_flash_limit();
    }
    return true;
}

int DemoRun::finish() {
    Platform& platform = platform_;
    // Shutdown: the music stops before anything it might still touch is released.
    hold_clock(false);
    platform.stop_music();
    fx_.free_swirl();
    fx_.free_cubes();
    for (Image& image : state_->images) {
        platform.release_image(image);
    }
    platform.free_music();
    for (auto& buffer : state_->buffers) {
        buffer.reset();
    }
    screen = nullptr;
    platform.destroy_display();
    return 0;
}

}  // namespace gf
