// The module player over libopenmpt, played through SDL2 audio (or a silent
// real-time thread, or pulled offline by the caller).
//
// libopenmpt has no note callback, so instrument syncs come from the pattern
// data: the song is rendered in small steps, and whenever the playing row
// changes, the note scheduler is told where the new row began and queues the
// row's notes at their start samples; each fires once rendering has reached it.
//
// The threading contract is in music_player.h; the outputs that call the
// renderer are in music_output.cpp.
#include "platform/music.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <libopenmpt/libopenmpt.hpp>
#include <memory>
#include <ostream>
#include <span>
#include <thread>
#include <vector>

#include "platform/module_check.h"
#include "platform/music_player.h"
#include "platform/note_scheduler.h"

namespace gf {
namespace music_detail {

Player g_player;
thread_local constinit Player* t_player = &g_player;

}  // namespace music_detail

using namespace music_detail;

namespace {

constexpr std::size_t kMaxModuleBytes = 64u << 20;

// Writes nothing: libopenmpt's log messages would otherwise reach std::clog.
class NullBuffer : public std::streambuf {
protected:
    int overflow(int c) override { return c == EOF ? 0 : c; }
};

NullBuffer s_null_buffer;
std::ostream s_null_log(&s_null_buffer);

// The instruments that have syncs, as published so far.
InstrumentSet wanted_instruments() {
    InstrumentSet wanted;
    const int count = player().sync_count.load(std::memory_order_acquire);
    for (int i = 0; i < count; ++i) {
        wanted.set(static_cast<std::size_t>(player().syncs[i].instrument));
    }
    return wanted;
}

void fire(const NoteStart& note) {
    const int count = player().sync_count.load(std::memory_order_acquire);
    for (int i = 0; i < count; ++i) {
        if (player().syncs[i].instrument != note.instrument) {
            continue;
        }
        if (player().sync_hook) {
            player().sync_hook(note.frame);
        }
        player().syncs[i].proc(static_cast<uint32_t>(i + 1), note.instrument);
    }
}

// Fires the queued notes that start before `end`, in the order they were queued.
void fire_due(uint64_t end) {
    NoteStart note;
    while (player().scheduler.take_due(end, note)) {
        fire(note);
    }
}

void publish_end() {
    player().ended.store(true, std::memory_order_relaxed);
    player().position.store(kOrderAfterEnd, std::memory_order_relaxed);
    player().scheduler.drop_queued();
}

// The row (order, row) was first heard at `frame`: queue its notes and
// predict where the next row starts from the row's ticks and the tempo.
void row_started(int order, int row, uint64_t frame) {
    openmpt::module& mod = *player().module;
    RenderState& r = player().render;
    r.last_order = order;
    r.last_row = row;
    r.row_start = frame;
    fire_due(frame);  // delayed notes of the last row go first, while the position still shows it
    player().position.store((static_cast<uint32_t>(order) & 0xFFFFu) | (static_cast<uint32_t>(row) << 16),
                            std::memory_order_relaxed);
    const int tempo = static_cast<int>(mod.get_current_tempo());
    const int ticks =
        player().scheduler.row_started(mod.get_current_pattern(), row, frame, static_cast<int>(mod.get_current_speed()),
                                       tempo, kMixRate, wanted_instruments());
    if (ticks == 0) {
        r.watch_from = r.watch_until = kNever;
        return;
    }
    // A tempo slide moves the row change away from the prediction. Later, it
    // is still found frame by frame for a while; earlier, it is seen within
    // kStepFrames, and the next row, predicted from that early start, is
    // caught again: an error never lasts beyond one row.
    const uint64_t next = frame + static_cast<uint64_t>(ticks) * frames_per_tick(tempo, kMixRate);
    constexpr uint64_t kEarly = 2;
    constexpr uint64_t kLate = 2 * kStepFrames;
    r.watch_from = std::max(frame + 1, next - std::min(next, kEarly));
    r.watch_until = next + kLate;
}

// Frames to render next, at most `limit`: one at a time near a row change,
// and a step never passes a queued note's first frame, so that it fires
// as soon as rendering has reached it.
std::size_t next_step(std::size_t limit) {
    const RenderState& r = player().render;
    const uint64_t at = r.stream_frame;
    if (at >= r.watch_from && at <= r.watch_until) {
        return 1;
    }
    uint64_t step = std::min<uint64_t>(kStepFrames, limit);
    if (r.watch_from > at) {
        step = std::min(step, r.watch_from - at);
    }
    const uint64_t note = player().scheduler.next_start();
    if (note != kNever && note >= at) {
        step = std::min(step, note - at + 1);
    }
    return static_cast<std::size_t>(step);
}

// Renders up to `frames` (≤ kMaxChunkFrames) into the mix buffer, firing syncs on the way.
// Returns the frames of music rendered; fewer once the song has ended.
std::size_t render_chunk(std::size_t frames) {
    openmpt::module& mod = *player().module;
    RenderState& r = player().render;
    std::size_t done = 0;
    while (done < frames && !player().ended.load(std::memory_order_relaxed)) {
        const std::size_t step = next_step(frames - done);
        const std::size_t got = mod.read_interleaved_stereo(kMixRate, step, r.mix + 2 * done);
        const uint64_t start = r.stream_frame;
        r.stream_frame += got;
        done += got;
        if (got < step) {
            // The song ended inside this step; the position reads 0xFFFF from here on.
            fire_due(r.stream_frame);
            publish_end();
            break;
        }
        // A new row shows after its first frame is rendered: with one-frame steps
        // (and on the first step) `start` is that frame exactly.
        const int order = mod.get_current_order();
        const int row = mod.get_current_row();
        if (order != r.last_order || row != r.last_row) {
            row_started(order, row, start);
        }
        fire_due(r.stream_frame);
    }
    return done;
}

// Scales the chunk by the volume, ramping from the last chunk's gain so that a
// change never clicks, and converts to 16-bit.
void apply_volume(int16_t* out, std::size_t frames) {
    const float target =
        static_cast<float>(std::clamp(player().volume.load(std::memory_order_relaxed), 0, 100)) / 100.0f;
    const float from = player().render.gain;
    for (std::size_t i = 0; i < frames; ++i) {
        const float gain = (i + 1 == frames)
                               ? target
                               : from + (target - from) * static_cast<float>(i + 1) / static_cast<float>(frames);
        for (std::size_t c = 0; c < 2; ++c) {
            const float v = std::clamp(player().render.mix[2 * i + c] * gain, -1.0f, 1.0f);
            out[2 * i + c] = static_cast<int16_t>(std::lrint(v * 32767.0f));
        }
    }
    player().render.gain = target;
}

// The song as the player plays it: stopping at its end, once.
std::unique_ptr<openmpt::module> open_song(const void* data, std::size_t size) {
    auto song = std::make_unique<openmpt::module>(data, size, s_null_log);
    song->ctl_set_text("play.at_end", "stop");
    // A jump to a position plays on the notes struck before it, as if the song had been
    // played up to there: this also puts the row timing exactly where the whole song has it.
    song->ctl_set_boolean("seek.sync_samples", true);
    song->set_repeat_count(0);
    return song;
}

void unload_module() {
    player().module.reset();
    player().module_bytes.clear();
    player().scheduler.clear();
}

// Hands the patterns to the note scheduler, reduced to what the syncs need.
void load_patterns() {
    openmpt::module& mod = *player().module;
    const int channels = std::max(0, static_cast<int>(mod.get_num_channels()));
    const int patterns = std::max(0, static_cast<int>(mod.get_num_patterns()));
    std::vector<int> rows(static_cast<std::size_t>(patterns), 0);
    std::vector<PatternCell> cells;
    for (int p = 0; p < patterns; ++p) {
        rows[static_cast<std::size_t>(p)] = std::max(0, static_cast<int>(mod.get_pattern_num_rows(p)));
        for (int r = 0; r < rows[static_cast<std::size_t>(p)]; ++r) {
            for (int ch = 0; ch < channels; ++ch) {
                PatternCell cell;
                const int note = mod.get_pattern_row_channel_command(p, r, ch, openmpt::module::command_note);
                // libopenmpt numbers real notes 1..120; note-off, note-cut and note-fade lie above.
                cell.note = (note >= 1 && note <= 120) ? static_cast<uint8_t>(note) : 0;
                cell.instrument = mod.get_pattern_row_channel_command(p, r, ch, openmpt::module::command_instrument);
                if (mod.get_pattern_row_channel_command(p, r, ch, openmpt::module::command_effect) != 0 &&
                    mod.format_pattern_row_channel_command(p, r, ch, openmpt::module::command_effect) == "S") {
                    cell.s_effect = 1;
                    cell.s_param = mod.get_pattern_row_channel_command(p, r, ch, openmpt::module::command_parameter);
                }
                cells.push_back(cell);
            }
        }
    }
    player().scheduler.load(channels, std::move(rows), std::move(cells));
}

}  // namespace

namespace music_detail {

// Fills `frames` stereo frames of `out`; silence where there is no music.
std::size_t render_into(int16_t* out, std::size_t frames) {
    player().in_render.store(true);
    std::size_t music = 0;
    if (player().render_open.load() && player().module) {
        std::size_t done = 0;
        while (done < frames) {
            const std::size_t chunk = std::min<std::size_t>(kMaxChunkFrames, frames - done);
            const std::size_t got = player().ended.load(std::memory_order_relaxed) ? 0 : render_chunk(chunk);
            apply_volume(out + 2 * done, got);
            std::fill(out + 2 * (done + got), out + 2 * (done + chunk), int16_t{0});
            music += got;
            done += chunk;
        }
    } else {
        std::fill(out, out + 2 * frames, int16_t{0});
    }
    player().in_render.store(false);
    return music;
}

// Stops the renderer and waits until it is outside render_into.
void close_gate() {
    player().render_open.store(false);
    while (player().in_render.load()) {
        std::this_thread::yield();
    }
}

}  // namespace music_detail

Status load_module(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return failed_on(path, std::string("cannot open (") + std::strerror(errno) + ")");
    }
    std::vector<char> bytes;
    char buffer[65536];
    while (file) {
        file.read(buffer, sizeof buffer);
        bytes.insert(bytes.end(), buffer, buffer + file.gcount());
        if (bytes.size() > kMaxModuleBytes) {
            return failed_on(path, "too large for a module (over 64 MiB)");
        }
    }
    if (file.bad()) {
        return failed_on(path, "read error");
    }
    return load_module_from_memory(bytes.data(), bytes.size(), path);
}

Status load_module_from_memory(const void* data, std::size_t size, const std::string& name) {
    close_gate();
    stop_output();
    unload_module();
    player().ended.store(false);
    player().position.store(0);
    player().volume.store(100);
    player().render.gain = 1.0f;
    if (size == 0) {
        return failed_on(name, "empty file, not a module");
    }
    if (const Status structure = check_module_structure(std::span(static_cast<const uint8_t*>(data), size));
        !structure.ok) {
        return failed_on(name, "damaged module: " + structure.message);
    }
    try {
        player().module = open_song(data, size);
        player().module_bytes.assign(static_cast<const char*>(data), static_cast<const char*>(data) + size);
        load_patterns();
    } catch (const std::exception& e) {
        unload_module();
        return failed_on(name, std::string("not a module that can be played (") + e.what() + ")");
    }
    return {};
}

void play_music(uint32_t order, uint32_t row) {
    close_gate();
    stop_output();
    if (!player().module) {
        return;
    }
    player().module->set_position_order_row(static_cast<int32_t>(order), static_cast<int32_t>(row));
    player().render = RenderState{};
    player().render.gain = static_cast<float>(std::clamp(player().volume.load(), 0, 100)) / 100.0f;
    player().scheduler.restart();
    player().ended.store(false);
    player().position.store((order & 0xFFFFu) | (row << 16));
    player().render_open.store(true);
    start_output();
}

struct MusicState::Saved {
    NoteScheduler scheduler;
    RenderState render;
    uint32_t position = 0;
    bool ended = false;
    int volume = 100;
};

MusicState::MusicState() = default;
std::size_t MusicState::bytes() const {
    return sizeof(*this) + (saved_ ? sizeof(Saved) - sizeof(NoteScheduler) + saved_->scheduler.bytes() : 0);
}
MusicState::~MusicState() = default;
MusicState::MusicState(MusicState&&) noexcept = default;
MusicState& MusicState::operator=(MusicState&&) noexcept = default;

MusicState save_music_state() {
    MusicState state;
    if (!player().module) {
        return state;
    }
    const bool was_open = player().render_open.load();
    close_gate();
    state.saved_ = std::make_unique<MusicState::Saved>();
    state.saved_->scheduler = player().scheduler;
    state.saved_->render = player().render;
    state.saved_->position = player().position.load();
    state.saved_->ended = player().ended.load();
    state.saved_->volume = player().volume.load();
    player().render_open.store(was_open);
    return state;
}

MusicState music_start_state() {
    MusicState state;
    if (!player().module) {
        return state;
    }
    state.saved_ = std::make_unique<MusicState::Saved>();
    state.saved_->scheduler = player().scheduler;
    state.saved_->scheduler.restart();
    state.saved_->render = RenderState{};
    return state;
}

bool restore_music_state(const MusicState& state) {
    if (!state.saved_ || !player().module) {
        return false;
    }
    close_gate();
    stop_output();
    const MusicState::Saved& saved = *state.saved_;
    openmpt::module& mod = *player().module;
    // libopenmpt goes to the start of the row in progress, its notes ringing and its row
    // timing as in the whole song, and renders on to the saved frame with nothing fired:
    // the notes heard before it are in the saved syncs' effects already.
    if (!saved.ended && saved.render.last_order < 0) {
        // Nothing rendered yet: the position is where play_music put it.
        mod.set_position_order_row(static_cast<int32_t>(saved.position & 0xFFFFu),
                                   static_cast<int32_t>(saved.position >> 16));
    } else if (!saved.ended) {
        mod.set_position_order_row(saved.render.last_order, saved.render.last_row);
        float scratch[2 * kMaxChunkFrames];
        for (uint64_t left = saved.render.stream_frame - saved.render.row_start; left > 0;) {
            const std::size_t step = static_cast<std::size_t>(std::min<uint64_t>(left, kMaxChunkFrames));
            const std::size_t got = mod.read_interleaved_stereo(kMixRate, step, scratch);
            if (got == 0) {
                break;
            }
            left -= got;
        }
    }
    player().scheduler = saved.scheduler;
    player().render = saved.render;
    player().position.store(saved.position);
    player().ended.store(saved.ended);
    player().volume.store(saved.volume);
    player().render_open.store(true);
    start_output();
    return true;
}

void stop_music() {
    close_gate();
    stop_output();
}

void free_music() {
    close_gate();
    stop_output();
    close_device();
    unload_module();
    player().sync_count.store(0);
    player().sync_hook = nullptr;
    player().position.store(0);
    player().ended.store(false);
}

uint32_t music_position() {
    fall_back_if_device_lost();
    return player().position.load(std::memory_order_relaxed);
}

uint32_t music_order() { return music_position() & 0xFFFFu; }
uint32_t music_row() { return music_position() >> 16; }

uint32_t add_instrument_sync(SyncProc proc, int instrument) {
    if (proc == nullptr || instrument < 1 || instrument > 255) {
        return 0;
    }
    const int count = player().sync_count.load();
    if (count == kMaxSyncs) {
        return 0;
    }
    player().syncs[count] = Registration{proc, instrument};
    player().sync_count.store(count + 1, std::memory_order_release);
    return static_cast<uint32_t>(count + 1);
}

int music_volume() { return player().volume.load(std::memory_order_relaxed); }

void set_music_volume(int volume) { player().volume.store(std::clamp(volume, 0, 100), std::memory_order_relaxed); }

std::size_t render_music(int16_t* out, std::size_t frames) { return render_into(out, frames); }

void set_sync_position_hook(std::function<void(uint64_t frame)> hook) {
    const bool was_open = player().render_open.load();
    close_gate();
    player().sync_hook = std::move(hook);
    player().render_open.store(was_open);
}

bool music_ended() { return player().ended.load(std::memory_order_relaxed); }

std::vector<double> order_start_seconds(int orders) {
    std::vector<double> starts;
    if (!player().module || orders <= 0) {
        return starts;
    }
    try {
        // A copy of the song, so that the one playing is not moved.
        openmpt::module song(player().module_bytes, s_null_log);
        for (int order = 0; order < orders; ++order) {
            starts.push_back(song.set_position_order_row(order, 0));
        }
    } catch (const std::exception&) {
        starts.clear();
    }
    return starts;
}

double module_duration_seconds() { return player().module ? player().module->get_duration_seconds() : 0.0; }

uint64_t music_stream_frame() { return player().render.stream_frame; }

void pull_music(bool pulled) {
    if (pulled == player().pulled) {
        return;
    }
    if (pulled) {
        stop_output();
        player().pulled = true;
        return;
    }
    player().pulled = false;
    if (player().render_open.load()) {
        start_output();
    }
}

void pause_music(bool paused) {
    if (!player().render_open.load()) {
        return;  // nothing is playing
    }
    if (paused) {
        stop_output();
    } else if (!player().silent_thread.joinable()) {
        start_output();  // the silent thread's pacing starts afresh from now
    }
}

SideMusic::SideMusic() : player_(std::make_unique<Player>()) {}
SideMusic::~SideMusic() = default;

std::unique_ptr<SideMusic> make_side_music(SyncProc proc) {
    const Player& heard = player();
    if (!heard.module || proc == nullptr) {
        return nullptr;
    }
    std::unique_ptr<SideMusic> side(new SideMusic());
    Player& p = *side->player_;
    try {
        p.module = open_song(heard.module_bytes.data(), heard.module_bytes.size());
    } catch (const std::exception&) {
        return nullptr;
    }
    hold_music_output(true);  // the audio thread drives the heard scheduler
    p.scheduler = heard.scheduler;
    hold_music_output(false);
    p.scheduler.restart();
    p.output = AudioOutput::Offline;
    const int count = heard.sync_count.load();
    for (int i = 0; i < count; ++i) {
        p.syncs[i] = Registration{proc, heard.syncs[i].instrument};
    }
    p.sync_count.store(count);
    p.render = RenderState{};
    p.position.store(0);
    p.render_open.store(true);
    return side;
}

SideMusicScope::SideMusicScope(SideMusic& side) : was_(t_player) { t_player = side.player_.get(); }
SideMusicScope::~SideMusicScope() { t_player = was_; }

}  // namespace gf
