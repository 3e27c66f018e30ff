// The entry points the page calls. The data set lies in the page's in-memory
// file system under /data (the page fetches it first). Messages go to stderr,
// which the page shows in words.
//
//   gf_web_check()             checks the data set; 0, or 1 with one line on stderr
//   gf_web_start(gentle)       start-up of the live show, with the flash limiter when gentle is 1; 0, or 1 with one
//   line on stderr gf_web_gentle()            1 when the live show runs with the flash limiter gf_web_set_gentle(on)
//   turns the live show's flash limiter on (counting from the next frame) or off gf_web_step(now)           one pass of
//   the show with the audio clock at stream frame `now`; 0 once over gf_web_stop()              shutdown (also after
//   the show has ended by itself) gf_web_advance(now)        the audio clock has reached stream frame `now`: the syncs
//   due fire gf_web_render_audio(n)     the next n stereo frames of music, interleaved 16-bit gf_web_key() a key: ends
//   the show at the end of the next pass gf_web_sync_worst_ms()     the latest a sync has fired after its note, by the
//   audio clock gf_web_syncs_fired(), gf_web_syncs_later_than(frames)  how many syncs fired, and how many later than
//   that gf_web_frames(list, n, num, den, gentle, order, row)  the offline show at num/den fps (gentle: as --gentle)
//                              from the first frame at or after order:row; each listed frame's pixels
//                              (counted from there) go to Module.gfFrame
//   gf_web_benchmark()         the cost of a frame per order, printed as the desktop's --benchmark prints it
//   gf_web_seek_table(), gf_web_seek_table_full()  checkpoints a seek can start from; 1 once they cover the show
#include <emscripten.h>

#include <algorithm>
#include <memory>
#include <set>

#include "driver/capture_benchmark.h"
#include "driver/capture_platform.h"
#include "driver/data_files.h"
#include "driver/demo.h"
#include "driver/timeline.h"
#include "driver/web/web_platform.h"
#include "effects/flash_limit.h"
#include "platform/music.h"

// The page hashes each listed frame.
EM_JS(void, page_frame, (uint32_t index, const uint32_t* pixels), { Module.gfFrame(index, pixels); });

namespace {

constexpr const char* kDataDir = "data";  // the page writes the data set to /data; messages name it as the site does

struct LiveShow {
    gf::DemoOptions options;
    gf::WebPlatform platform;
    std::unique_ptr<gf::DemoRun> run;
};

std::unique_ptr<LiveShow> s_show;

// Finds and checks the data set; false with one line on stderr when it is unusable.
bool find_data(gf::DemoOptions& options) {
    gf::Status status = gf::find_data_files({kDataDir}, options.files);
    if (status.ok) {
        status = gf::check_data_files(options.files);
    }
    if (!status.ok) {
        gf::report(status.message);
        return false;
    }
    options.order_count = gf::module_order_count(options.files.module);
    return true;
}

}  // namespace

extern "C" {

EMSCRIPTEN_KEEPALIVE int gf_web_check() {
    gf::DemoOptions options;
    return find_data(options) ? 0 : 1;
}

EMSCRIPTEN_KEEPALIVE int gf_web_start(int gentle) {
    s_show.reset();
    auto show = std::make_unique<LiveShow>();
    if (!find_data(show->options)) {
        return gf::kExitFailure;
    }
    show->options.gentle = gentle != 0;
    show->options.interactive = true;  // the page's keys pause, step and seek
    show->run = std::make_unique<gf::DemoRun>(show->platform, show->options, gf::real_effect_ops());
    if (show->run->start() != 0) {
        return gf::kExitFailure;
    }
    s_show = std::move(show);
    return 0;
}

EMSCRIPTEN_KEEPALIVE int gf_web_gentle() { return s_show && s_show->options.gentle ? 1 : 0; }

// The show reads its options by reference, so the change holds from the next pass; a
// limiter turned on starts afresh, as it does at the show's start.
EMSCRIPTEN_KEEPALIVE void gf_web_set_gentle(int on) {
    if (!s_show || s_show->options.gentle == (on != 0)) {
        return;
    }
    if (on != 0) {
        gf::reset_flash_limit();
    }
    s_show->options.gentle = on != 0;
}

EMSCRIPTEN_KEEPALIVE int gf_web_step(double now) {
    if (!s_show) {
        return 0;
    }
    s_show->platform.reach(static_cast<uint64_t>(std::max(now, 0.0)));
    return s_show->run->step() ? 1 : 0;
}

EMSCRIPTEN_KEEPALIVE void gf_web_advance(double now) {
    if (s_show) {
        s_show->platform.reach(static_cast<uint64_t>(std::max(now, 0.0)));
    }
}

EMSCRIPTEN_KEEPALIVE void gf_web_stop() {
    if (s_show) {
        s_show->run->finish();
        s_show.reset();
    }
}

EMSCRIPTEN_KEEPALIVE const int16_t* gf_web_render_audio(int frames) {
    if (!s_show || frames <= 0) {
        return nullptr;
    }
    return s_show->platform.render_ahead(static_cast<std::size_t>(frames));
}

EMSCRIPTEN_KEEPALIVE void gf_web_key() {
    if (s_show) {
        s_show->platform.press_key();
    }
}

// A viewer key of the page (keys.h's KeyRole numbers), taken at the end of the next pass.
EMSCRIPTEN_KEEPALIVE void gf_web_viewer_key(int role) {
    if (s_show && role > static_cast<int>(gf::KeyRole::ToggleFullscreen) &&
        role <= static_cast<int>(gf::KeyRole::ToStart)) {
        s_show->platform.viewer_key(static_cast<gf::KeyRole>(role));
    }
}

// Goes to the first frame at or after order:row (a #t= link); 0 when it cannot.
EMSCRIPTEN_KEEPALIVE int gf_web_seek(int order, int row) {
    if (!s_show || order < 0 || row < 0 || order >= s_show->options.order_count) {
        return 0;
    }
    return s_show->run->seek_to_position(static_cast<uint32_t>(order), static_cast<uint32_t>(row)) ? 1 : 0;
}

// Goes to the frame of the show at `ms` from its start (a click on the timeline); 0 when it cannot.
EMSCRIPTEN_KEEPALIVE int gf_web_seek_ms(double ms) {
    if (!s_show || !(ms >= 0)) {
        return 0;
    }
    constexpr double kPageFramesPerMs = 60.0 / 1000.0;  // WebPlatform::seek_rate
    return s_show->run->seek_to_frame(static_cast<uint64_t>(ms * kPageFramesPerMs)) ? 1 : 0;
}

// The show's length and where each order starts, in seconds, for the page's timeline:
// fills `out` with the length then each order's start; returns how many orders.
EMSCRIPTEN_KEEPALIVE int gf_web_orders(double* out, int room) {
    if (!s_show || room < 1) {
        return 0;
    }
    const std::vector<double> starts = gf::order_start_seconds(std::min(s_show->options.order_count, room - 1));
    out[0] = gf::module_duration_seconds();
    std::copy(starts.begin(), starts.end(), out + 1);
    return static_cast<int>(starts.size());
}

// Checkpoints a seek can start from, and 1 once the run ahead of the viewer has covered the show.
EMSCRIPTEN_KEEPALIVE int gf_web_seek_table() { return s_show ? static_cast<int>(s_show->run->checkpoints_kept()) : 0; }
EMSCRIPTEN_KEEPALIVE int gf_web_seek_table_full() { return s_show && s_show->run->looked_ahead() ? 1 : 0; }

// Seeks so far, and the stream frame the music stands at after the latest: the page
// starts its sound again from there.
EMSCRIPTEN_KEEPALIVE int gf_web_seeks() { return s_show ? s_show->platform.seeks() : 0; }
EMSCRIPTEN_KEEPALIVE double gf_web_stream_frame() { return static_cast<double>(gf::music_stream_frame()); }
// The position heard now: order in the low 16 bits, row in the high 16.
EMSCRIPTEN_KEEPALIVE int gf_web_position() { return s_show ? static_cast<int>(s_show->platform.music_position()) : 0; }

EMSCRIPTEN_KEEPALIVE double gf_web_sync_worst_ms() {
    if (!s_show) {
        return -1;
    }
    return static_cast<double>(s_show->platform.timeline().worst_late_frames()) * 1000.0 / gf::kMixRate;
}

EMSCRIPTEN_KEEPALIVE int gf_web_syncs_fired() {
    return s_show ? static_cast<int>(s_show->platform.timeline().fired()) : 0;
}

EMSCRIPTEN_KEEPALIVE int gf_web_syncs_later_than(int frames) {
    return s_show ? static_cast<int>(s_show->platform.timeline().fired_later_than(static_cast<uint64_t>(frames))) : 0;
}

EMSCRIPTEN_KEEPALIVE int gf_web_frames(const uint32_t* list, int count, int fps_num, int fps_den, int gentle,
                                       int start_order, int start_row) {
    gf::DemoOptions options;
    if (!find_data(options)) {
        return gf::kExitFailure;
    }
    options.gentle = gentle != 0;
    // The frames from a start position are the whole show's from its first frame at or after it.
    if (start_order < 0 || start_row < 0) {
        gf::report("start: " + std::to_string(start_order) + ":" + std::to_string(start_row) + " is not a position");
        return gf::kExitUsage;
    }
    if (const gf::Status start =
            gf::check_position(options.files.module, options.order_count, static_cast<uint32_t>(start_order),
                               static_cast<uint32_t>(start_row));
        !start.ok) {
        gf::report("start: " + start.message);
        return gf::kExitUsage;
    }
    const std::set<uint64_t> wanted(list, list + std::max(count, 0));
    const uint64_t last = wanted.empty() ? 0 : *wanted.rbegin();
    gf::CaptureSink sink;
    sink.frame = [&wanted](const gf::CapturedFrame& frame) {
        if (wanted.count(frame.index) != 0) {
            page_frame(static_cast<uint32_t>(frame.index), frame.pixels);
        }
        return true;
    };
    gf::CapturePlatform platform({fps_num, fps_den}, sink, last + 1);
    platform.start_at(static_cast<uint32_t>(start_order), static_cast<uint32_t>(start_row));
    return gf::demo_main(platform, options);
}

EMSCRIPTEN_KEEPALIVE int gf_web_benchmark() {
    gf::DemoOptions options;
    if (!find_data(options)) {
        return gf::kExitFailure;
    }
    return gf::run_benchmark(options, gf::FrameRate{}, 0, nullptr);
}

}  // extern "C"

int main() { return 0; }
