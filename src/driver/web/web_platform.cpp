// The live show's platform in the browser: the canvas, the music pulled ahead
// for Web Audio, and the syncs released by the audio clock.
#include "driver/web/web_platform.h"

#include <emscripten.h>

#include <algorithm>
#include <array>

#include "platform/music.h"

// The page draws the frame into its canvas.
EM_JS(void, page_present, (const uint32_t* pixels), { Module.gfPresent(pixels); });
// The page holds its sound (the audio clock stands still) or lets it go on.
EM_JS(void, page_pause, (int paused), { Module.gfPause(paused); });

namespace gf {

namespace {

constexpr std::size_t kStretchFrames = kMaxChunkFrames;  // the position is known this finely

// The live platform (one at a time) and the handler behind each sync handle: the
// player calls on_rendered_sync while rendering ahead, which queues the call for
// the time its note is heard.
WebPlatform* s_live = nullptr;
uint64_t s_note_frame = 0;
std::array<SyncProc, 256> s_procs{};
bool s_seeking = false;  // a seek renders: each sync fires when rendered

void on_rendered_sync(uint32_t handle, uint32_t data) {
    if (s_live == nullptr || handle >= s_procs.size() || s_procs.at(handle) == nullptr) {
        return;
    }
    if (s_seeking) {
        s_procs.at(handle)(handle, data);
    } else {
        s_live->timeline().queue({s_note_frame, s_procs.at(handle), handle, data});
    }
}

void follow_notes() {
    set_sync_position_hook([](uint64_t frame) { s_note_frame = frame; });
}

}  // namespace

WebPlatform::WebPlatform() : LibraryPlatform(AudioOutput::Offline) { s_live = this; }

WebPlatform::~WebPlatform() {
    set_sync_position_hook({});
    s_procs.fill(nullptr);
    s_live = nullptr;
}

Status WebPlatform::open_display(const char*, int width, int height, int) {
    if (width != kScreenWidth || height != kScreenHeight) {
        return {false, "canvas: only a 320 x 200 frame can be shown"};
    }
    return {};
}

void WebPlatform::present_frame() { page_present(surface_.data()); }

Status WebPlatform::init_music() {
    Status status = LibraryPlatform::init_music();
    follow_notes();
    return status;
}

void WebPlatform::play_music(uint32_t order, uint32_t row) {
    LibraryPlatform::play_music(order, row);
    timeline_.clear();
    timeline_.rendered(0, gf::music_position());
    timeline_.reach(0);
    rendered_ = 0;
    playing_ = true;
}

void WebPlatform::stop_music() {
    LibraryPlatform::stop_music();
    playing_ = false;
}

void WebPlatform::free_music() {
    set_sync_position_hook({});
    LibraryPlatform::free_music();
    playing_ = false;
}

uint32_t WebPlatform::add_instrument_sync(SyncProc proc, int instrument) {
    const uint32_t handle = LibraryPlatform::add_instrument_sync(on_rendered_sync, instrument);
    if (handle != 0 && handle < s_procs.size()) {
        s_procs.at(handle) = proc;
    }
    return handle;
}

bool WebPlatform::seek_rate(int& num, int& den) {
    num = 60;  // the animation frames of most screens
    den = 1;
    return true;
}

void WebPlatform::pull_music(bool pulled) {
    s_seeking = pulled;
    if (pulled) {
        return;
    }
    follow_notes();
    const uint64_t at = music_stream_frame();
    timeline_.clear();
    timeline_.rendered(at, gf::music_position());
    timeline_.reach(at);
    rendered_ = at;
    playing_ = true;
    ++seeks_;
}

void WebPlatform::pause_music(bool paused) { page_pause(paused ? 1 : 0); }

KeyRole WebPlatform::take_viewer_key() {
    if (viewer_keys_.empty()) {
        return KeyRole::Ignore;
    }
    const KeyRole key = viewer_keys_.front();
    viewer_keys_.pop_front();
    return key;
}

const int16_t* WebPlatform::render_ahead(std::size_t frames) {
    sound_.assign(2 * frames, 0);
    if (!playing_) {
        return sound_.data();
    }
    for (std::size_t done = 0; done < frames;) {
        const std::size_t count = std::min(kStretchFrames, frames - done);
        render_music(sound_.data() + 2 * done, count);
        timeline_.rendered(rendered_, gf::music_position());
        rendered_ += count;
        done += count;
    }
    return sound_.data();
}

}  // namespace gf
