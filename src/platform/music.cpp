// The module player over libopenmpt, played through SDL2 audio (or a silent
// real-time thread, or pulled offline by the caller).
//
// libopenmpt has no note callback, so instrument syncs come from the pattern
// data: the song is rendered in small steps, and whenever the playing row
// changes, the cells of the new row are looked up in a table made at load time.
// Every real note (not note-off, note-cut or note-fade) whose instrument (the
// cell's, or the channel's last one) has registrations fires them, at the row's
// start, or a few ticks later when the cell carries a note delay (SDx), again
// in each repetition of a pattern-delayed row (SEx), as Impulse Tracker plays it.
//
// Threads: the frame loop reads the position word and the end flag (atomics),
// and calls the control operations. The audio thread renders. Nothing on the
// rendering and sync path locks or allocates; control operations first close a
// gate that the renderer checks, wait until it is outside a render, then change
// the player's state.
#include "platform/music.h"

#include <SDL.h>
#include <fcntl.h>
#include <unistd.h>

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
#include <thread>
#include <vector>

namespace gf {

namespace {

// Frames rendered between two looks at the playing row: a row change is placed
// within this many frames of where it happened. The shortest row libopenmpt can
// play (speed 1, tempo 255) is 432 frames, so no row is ever missed.
constexpr std::size_t kStepFrames = 32;
constexpr int kMaxSyncs = 64;
constexpr int kMaxPending = 2048;
constexpr std::size_t kMaxModuleBytes = 64u << 20;

// libopenmpt plays a module whose file ends early, silencing what is missing,
// and one whose order list has nothing to play; both are refused here instead.
// Every offset in the Impulse Tracker header must point inside the file, with
// room for what it points at, and the order list must name a pattern before
// its end marker. Returns the problem, or an empty string.
std::string it_structure_problem(const uint8_t* bytes, std::size_t size) {
    constexpr std::size_t kHeaderBytes = 0xC0;
    constexpr std::size_t kSampleHeaderBytes = 0x50;
    constexpr std::size_t kPatternHeaderBytes = 8;
    const auto u16 = [bytes](std::size_t at) { return static_cast<uint32_t>(bytes[at] | (bytes[at + 1] << 8)); };
    const auto u32 = [bytes](std::size_t at) {
        return static_cast<uint32_t>(bytes[at]) | (static_cast<uint32_t>(bytes[at + 1]) << 8) |
               (static_cast<uint32_t>(bytes[at + 2]) << 16) | (static_cast<uint32_t>(bytes[at + 3]) << 24);
    };
    // True when [offset, offset + length) lies inside the file (no overflow: sizes are 64-bit).
    const auto inside = [size](uint64_t offset, uint64_t length) { return offset <= size && length <= size - offset; };
    if (size < 4 || std::memcmp(bytes, "IMPM", 4) != 0) {
        return "";  // not Impulse Tracker: libopenmpt judges other formats itself
    }
    if (size < kHeaderBytes) {
        return "the file ends inside the module header";
    }
    const uint32_t orders = u16(0x20);
    const uint32_t instruments = u16(0x22);
    const uint32_t samples = u16(0x24);
    const uint32_t patterns = u16(0x26);
    const std::size_t tables = kHeaderBytes + orders;
    if (!inside(tables, 4ull * (instruments + samples + patterns))) {
        return "the file ends inside the order list or offset tables (cut short?)";
    }
    bool playable = false;
    for (uint32_t i = 0; i < orders && bytes[kHeaderBytes + i] != 255; ++i) {
        playable = playable || bytes[kHeaderBytes + i] < 254;
    }
    if (!playable) {
        return "the order list holds no pattern to play";
    }
    const std::size_t instrument_table = tables;
    const std::size_t sample_table = instrument_table + 4ull * instruments;
    const std::size_t pattern_table = sample_table + 4ull * samples;
    for (uint32_t i = 0; i < instruments; ++i) {
        if (!inside(u32(instrument_table + 4ull * i), 4)) {
            return "instrument " + std::to_string(i + 1) + " lies past the end of the file (cut short?)";
        }
    }
    for (uint32_t i = 0; i < samples; ++i) {
        const uint32_t at = u32(sample_table + 4ull * i);
        if (!inside(at, kSampleHeaderBytes)) {
            return "sample " + std::to_string(i + 1) + " lies past the end of the file (cut short?)";
        }
        const uint8_t flags = bytes[at + 0x12];
        const bool has_data = (flags & 0x01) != 0;
        const bool compressed = (flags & 0x08) != 0;
        const uint64_t length = u32(at + 0x30);
        const uint64_t bytes_per_frame = ((flags & 0x02) != 0 ? 2u : 1u) * ((flags & 0x04) != 0 ? 2u : 1u);
        const uint64_t data = u32(at + 0x48);
        // Convert value 0xFF: ModPlug's 4-bit ADPCM, a 16-byte table then two samples a byte.
        const bool adpcm = bytes[at + 0x2E] == 0xFF && (flags & 0x02) == 0;
        const uint64_t stored = compressed ? 1 : adpcm ? (length + 1) / 2 + 16 : length * bytes_per_frame;
        if (has_data && length > 0 && !inside(data, stored)) {
            return "the data of sample " + std::to_string(i + 1) + " runs past the end of the file (cut short?)";
        }
    }
    for (uint32_t i = 0; i < patterns; ++i) {
        const uint32_t at = u32(pattern_table + 4ull * i);
        if (at == 0) {
            continue;  // an empty pattern
        }
        if (!inside(at, kPatternHeaderBytes) || !inside(at + kPatternHeaderBytes, u16(at))) {
            return "pattern " + std::to_string(i) + " runs past the end of the file (cut short?)";
        }
    }
    if ((u16(0x2E) & 0x01) != 0 && !inside(u32(0x38), u16(0x36))) {
        return "the song message runs past the end of the file (cut short?)";
    }
    return "";
}

// One pattern cell reduced to what the syncs need.
struct CellInfo {
    uint8_t note = 0;        // 1..120 for a real note, 0 otherwise
    uint8_t instrument = 0;  // 0 = none
    uint8_t s_effect = 0;    // 1 when the effect column holds Sxy
    uint8_t s_param = 0;     // its xy; 0 recalls the channel's last Sxy
};

struct Registration {
    SyncProc proc = nullptr;
    int instrument = 0;
};

struct PendingNote {
    uint64_t frame = 0;
    uint8_t instrument = 0;
};

// Writes nothing: libopenmpt's log messages would otherwise reach std::clog.
class NullBuffer : public std::streambuf {
protected:
    int overflow(int c) override { return c == EOF ? 0 : c; }
};
NullBuffer g_null_buffer;
std::ostream g_null_log(&g_null_buffer);

// --- state owned by the control side; the renderer only reads it while the gate is open
std::unique_ptr<openmpt::module> g_module;
std::vector<CellInfo> g_cells;               // all patterns, row by row, channel by channel
std::vector<std::size_t> g_pattern_offset;   // first cell of each pattern
std::vector<int> g_pattern_rows;
int g_channels = 0;

AudioOutput g_output = AudioOutput::Offline;
bool g_sdl_audio = false;
SDL_AudioDeviceID g_device = 0;
std::thread g_silent_thread;
std::atomic<bool> g_silent_run {false};

Registration g_syncs[kMaxSyncs];
std::atomic<int> g_sync_count {0};
std::function<void(uint64_t)> g_sync_hook;

// --- shared between the threads
std::atomic<uint32_t> g_position {0};
std::atomic<bool> g_ended {false};
std::atomic<int> g_volume {100};
std::atomic<bool> g_render_open {false};
std::atomic<bool> g_in_render {false};

// --- renderer state (audio thread while the gate is open)
uint64_t g_stream_frame = 0;
int g_last_order = -1;
int g_last_row = -1;
std::vector<uint8_t> g_channel_instrument;  // sized at load
std::vector<uint8_t> g_channel_s_memory;    // last Sxy per channel, sized at load
std::vector<uint8_t> g_row_s;               // this row's Sxy per channel after recall (0 = none)
PendingNote g_pending[kMaxPending];
int g_pending_count = 0;
float g_gain = 1.0f;
float g_mix[kMaxChunkFrames * 2];

void fire(uint8_t instrument, uint64_t frame) {
    const int count = g_sync_count.load(std::memory_order_acquire);
    for (int i = 0; i < count; ++i) {
        if (g_syncs[i].instrument != instrument) {
            continue;
        }
        if (g_sync_hook) {
            g_sync_hook(frame);
        }
        g_syncs[i].proc(static_cast<uint32_t>(i + 1), instrument);
    }
}

bool has_registration(uint8_t instrument) {
    const int count = g_sync_count.load(std::memory_order_acquire);
    for (int i = 0; i < count; ++i) {
        if (g_syncs[i].instrument == instrument) {
            return true;
        }
    }
    return false;
}

// The row (order, row) was first heard at `frame`: note its cells.
void row_started(int pattern, int row, uint64_t frame) {
    if (pattern < 0 || pattern >= static_cast<int>(g_pattern_rows.size()) || row < 0 ||
        row >= g_pattern_rows[static_cast<std::size_t>(pattern)]) {
        return;
    }
    const int speed = std::max(1, static_cast<int>(g_module->get_current_speed()));
    const int tempo = std::max(1, static_cast<int>(g_module->get_current_tempo()));
    // Classic tempo: a tick lasts 2.5 / tempo seconds.
    const double frames_per_tick = kMixRate * 2.5 / tempo;
    const CellInfo* cells = g_cells.data() + g_pattern_offset[static_cast<std::size_t>(pattern)] +
                            static_cast<std::size_t>(row) * static_cast<std::size_t>(g_channels);

    // The S effects that shape the row's timing, with IT's per-channel recall of S00:
    // S6x adds x ticks (they add up across channels), SEx plays the row x more
    // times (the first one on the row counts), SDx delays the channel's note.
    int row_ticks = speed;
    int repeats = -1;
    for (int ch = 0; ch < g_channels; ++ch) {
        const CellInfo& cell = cells[ch];
        uint8_t& s_value = g_row_s[static_cast<std::size_t>(ch)];
        s_value = 0;
        if (cell.s_effect == 0) {
            continue;
        }
        uint8_t& memory = g_channel_s_memory[static_cast<std::size_t>(ch)];
        if (cell.s_param != 0) {
            memory = cell.s_param;
        }
        s_value = memory;
        if ((s_value >> 4) == 0x6) {
            row_ticks += s_value & 0xF;
        } else if ((s_value >> 4) == 0xE && repeats < 0) {
            repeats = s_value & 0xF;
        }
    }
    repeats = std::max(repeats, 0);

    for (int ch = 0; ch < g_channels; ++ch) {
        const CellInfo& cell = cells[ch];
        if (cell.instrument != 0) {
            g_channel_instrument[static_cast<std::size_t>(ch)] = cell.instrument;
        }
        if (cell.note == 0) {
            continue;
        }
        const uint8_t instrument = g_channel_instrument[static_cast<std::size_t>(ch)];
        if (instrument == 0 || !has_registration(instrument)) {
            continue;
        }
        const uint8_t s_value = g_row_s[static_cast<std::size_t>(ch)];
        // SD0 waits one tick, like SD1.
        const int delay = (s_value >> 4) == 0xD ? std::max(1, s_value & 0xF) : 0;
        if (delay >= row_ticks) {
            continue;  // a delay as long as the row: the note is never played
        }
        if (delay == 0) {
            fire(instrument, frame);
            continue;
        }
        // A delayed note is struck again in every repetition of a pattern-delayed row.
        for (int k = 0; k <= repeats; ++k) {
            const double ticks = static_cast<double>(k) * row_ticks + delay;
            const uint64_t at = frame + static_cast<uint64_t>(std::llround(ticks * frames_per_tick));
            if (g_pending_count == kMaxPending) {
                fire(instrument, frame);  // 16 repetitions of 127 channels still fit; never lose a note
                continue;
            }
            g_pending[g_pending_count++] = PendingNote {at, instrument};
        }
    }
}

// Fires the delayed notes that start before `end_frame`, in the order they were met.
void fire_due(uint64_t end_frame) {
    int kept = 0;
    for (int i = 0; i < g_pending_count; ++i) {
        if (g_pending[i].frame < end_frame) {
            fire(g_pending[i].instrument, g_pending[i].frame);
        } else {
            g_pending[kept++] = g_pending[i];
        }
    }
    g_pending_count = kept;
}

void publish_end() {
    g_ended.store(true, std::memory_order_relaxed);
    g_position.store(kOrderAfterEnd, std::memory_order_relaxed);
    g_pending_count = 0;
}

// Renders up to `frames` (≤ kMaxChunkFrames) into g_mix, firing syncs on the way.
// Returns the frames of music rendered; fewer once the song has ended.
std::size_t render_chunk(std::size_t frames) {
    std::size_t done = 0;
    while (done < frames && !g_ended.load(std::memory_order_relaxed)) {
        const std::size_t step = std::min(kStepFrames, frames - done);
        const std::size_t got = g_module->read_interleaved_stereo(kMixRate, step, g_mix + 2 * done);
        const uint64_t start = g_stream_frame;
        g_stream_frame += got;
        done += got;
        if (got < step) {
            // The song ended inside this step; the position reads 0/0 from here on.
            fire_due(g_stream_frame);
            publish_end();
            break;
        }
        const int order = g_module->get_current_order();
        const int row = g_module->get_current_row();
        if (order != g_last_order || row != g_last_row) {
            g_last_order = order;
            g_last_row = row;
            g_position.store((static_cast<uint32_t>(order) & 0xFFFFu) | (static_cast<uint32_t>(row) << 16),
                             std::memory_order_relaxed);
            fire_due(start);  // delayed notes of the last row go before this row's notes
            row_started(g_module->get_current_pattern(), row, start);
        }
        fire_due(g_stream_frame);
    }
    return done;
}

// Scales the chunk by the volume, ramping from the last chunk's gain so that a
// change never clicks, and converts to 16-bit.
void apply_volume(int16_t* out, std::size_t frames) {
    const float target = static_cast<float>(std::clamp(g_volume.load(std::memory_order_relaxed), 0, 100)) / 100.0f;
    const float from = g_gain;
    for (std::size_t i = 0; i < frames; ++i) {
        const float gain = (i + 1 == frames) ? target
                                             : from + (target - from) * static_cast<float>(i + 1) /
                                                          static_cast<float>(frames);
        for (std::size_t c = 0; c < 2; ++c) {
            const float v = std::clamp(g_mix[2 * i + c] * gain, -1.0f, 1.0f);
            out[2 * i + c] = static_cast<int16_t>(std::lrint(v * 32767.0f));
        }
    }
    g_gain = target;
}

// Fills `frames` stereo frames of `out`; silence where there is no music.
std::size_t render_into(int16_t* out, std::size_t frames) {
    g_in_render.store(true);
    std::size_t music = 0;
    if (g_render_open.load() && g_module) {
        std::size_t done = 0;
        while (done < frames) {
            const std::size_t chunk = std::min<std::size_t>(kMaxChunkFrames, frames - done);
            const std::size_t got = g_ended.load(std::memory_order_relaxed) ? 0 : render_chunk(chunk);
            apply_volume(out + 2 * done, got);
            std::fill(out + 2 * (done + got), out + 2 * (done + chunk), int16_t {0});
            music += got;
            done += chunk;
        }
    } else {
        std::fill(out, out + 2 * frames, int16_t {0});
    }
    g_in_render.store(false);
    return music;
}

// Stops the renderer and waits until it is outside render_into.
void close_gate() {
    g_render_open.store(false);
    while (g_in_render.load()) {
        std::this_thread::yield();
    }
}

// Set by simulate_audio_device_loss: the device behaves as one SDL has found gone.
std::atomic<bool> g_device_gone_for_test {false};

void audio_callback(void*, Uint8* stream, int len) {
    if (g_device_gone_for_test.load(std::memory_order_relaxed)) {
        // What SDL does for a lost device: silence, and the callback no longer runs.
        std::memset(stream, 0, static_cast<std::size_t>(len));
        return;
    }
    render_into(reinterpret_cast<int16_t*>(stream), static_cast<std::size_t>(len) / 4);
}

// Renders in real time and throws the sound away, so that the position and the syncs advance.
void silent_loop() {
    using clock = std::chrono::steady_clock;
    int16_t scratch[kMaxChunkFrames * 2];
    auto start = clock::now();
    uint64_t frames = 0;
    while (g_silent_run.load()) {
        render_into(scratch, kMaxChunkFrames);
        frames += kMaxChunkFrames;
        const auto due = start + std::chrono::microseconds(frames * 1'000'000 / kMixRate);
        const auto now = clock::now();
        if (now - due > std::chrono::milliseconds(200)) {
            start = now;  // fell far behind (suspended): carry on from now instead of racing
            frames = 0;
        } else {
            std::this_thread::sleep_until(due);
        }
    }
}

void stop_output() {
    if (g_device != 0) {
        SDL_PauseAudioDevice(g_device, 1);
    }
    if (g_silent_thread.joinable()) {
        g_silent_run.store(false);
        g_silent_thread.join();
    }
}

// Runs `open` with stderr pointed at /dev/null, so that the sound libraries'
// own complaints (ALSA prints several lines when there is no card) stay hidden.
template <typename F>
auto quietly(F open) {
    std::fflush(stderr);
    const int saved = dup(STDERR_FILENO);
    const int null_fd = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (saved >= 0 && null_fd >= 0) {
        dup2(null_fd, STDERR_FILENO);
    }
    auto result = open();
    std::fflush(stderr);
    if (saved >= 0 && null_fd >= 0) {
        dup2(saved, STDERR_FILENO);
    }
    if (null_fd >= 0) {
        close(null_fd);
    }
    if (saved >= 0) {
        close(saved);
    }
    return result;
}

void close_device() {
    if (g_device != 0) {
        SDL_CloseAudioDevice(g_device);
        g_device = 0;
    }
    if (g_sdl_audio) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        g_sdl_audio = false;
    }
}

void unload_module() {
    g_module.reset();
    g_cells.clear();
    g_pattern_offset.clear();
    g_pattern_rows.clear();
    g_channel_s_memory.clear();
    g_row_s.clear();
    g_channel_instrument.clear();
    g_channels = 0;
}

void build_cell_table() {
    openmpt::module& mod = *g_module;
    g_channels = std::max(0, static_cast<int>(mod.get_num_channels()));
    const int patterns = std::max(0, static_cast<int>(mod.get_num_patterns()));
    g_pattern_offset.assign(static_cast<std::size_t>(patterns), 0);
    g_pattern_rows.assign(static_cast<std::size_t>(patterns), 0);
    std::size_t total = 0;
    for (int p = 0; p < patterns; ++p) {
        g_pattern_offset[static_cast<std::size_t>(p)] = total;
        const int rows = std::max(0, static_cast<int>(mod.get_pattern_num_rows(p)));
        g_pattern_rows[static_cast<std::size_t>(p)] = rows;
        total += static_cast<std::size_t>(rows) * static_cast<std::size_t>(g_channels);
    }
    g_cells.assign(total, CellInfo {});
    for (int p = 0; p < patterns; ++p) {
        for (int r = 0; r < g_pattern_rows[static_cast<std::size_t>(p)]; ++r) {
            for (int ch = 0; ch < g_channels; ++ch) {
                CellInfo& cell = g_cells[g_pattern_offset[static_cast<std::size_t>(p)] +
                                         static_cast<std::size_t>(r) * static_cast<std::size_t>(g_channels) +
                                         static_cast<std::size_t>(ch)];
                const int note = mod.get_pattern_row_channel_command(p, r, ch, openmpt::module::command_note);
                // libopenmpt numbers real notes 1..120; note-off, note-cut and note-fade lie above.
                cell.note = (note >= 1 && note <= 120) ? static_cast<uint8_t>(note) : 0;
                cell.instrument = mod.get_pattern_row_channel_command(p, r, ch, openmpt::module::command_instrument);
                if (mod.get_pattern_row_channel_command(p, r, ch, openmpt::module::command_effect) != 0 &&
                    mod.format_pattern_row_channel_command(p, r, ch, openmpt::module::command_effect) == "S") {
                    cell.s_effect = 1;
                    cell.s_param = mod.get_pattern_row_channel_command(p, r, ch, openmpt::module::command_parameter);
                }
            }
        }
    }
    g_channel_instrument.assign(static_cast<std::size_t>(g_channels), 0);
    g_channel_s_memory.assign(static_cast<std::size_t>(g_channels), 0);
    g_row_s.assign(static_cast<std::size_t>(g_channels), 0);
}

}  // namespace

MusicStatus init_music(AudioOutput output) {
    close_gate();
    stop_output();
    close_device();
    g_output = output;
    if (output != AudioOutput::Device) {
        return {};
    }
    std::string error;
    const SDL_AudioDeviceID device = quietly([&error]() -> SDL_AudioDeviceID {
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
            error = SDL_GetError();
            return 0;
        }
        g_sdl_audio = true;
        SDL_AudioSpec want {};
        want.freq = kMixRate;
        want.format = AUDIO_S16SYS;
        want.channels = 2;
        want.samples = kMaxChunkFrames;
        want.callback = audio_callback;
        SDL_AudioSpec have {};
        const SDL_AudioDeviceID id = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
        if (id == 0) {
            error = SDL_GetError();
        }
        return id;
    });
    if (device == 0) {
        close_device();
        g_output = AudioOutput::Silent;
        MusicStatus status;
        status.message = "no audio device (" + (error.empty() ? std::string("none found") : error) + "); playing silently";
        std::fprintf(stderr, "glimmerfrost: %s\n", status.message.c_str());
        return status;
    }
    g_device = device;
    return {};
}

MusicStatus load_module(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return {false, path + ": cannot open (" + std::strerror(errno) + ")"};
    }
    std::vector<char> bytes;
    char buffer[65536];
    while (file) {
        file.read(buffer, sizeof buffer);
        bytes.insert(bytes.end(), buffer, buffer + file.gcount());
        if (bytes.size() > kMaxModuleBytes) {
            return {false, path + ": too large for a module (over 64 MiB)"};
        }
    }
    if (file.bad()) {
        return {false, path + ": read error"};
    }
    return load_module_from_memory(bytes.data(), bytes.size(), path);
}

MusicStatus load_module_from_memory(const void* data, std::size_t size, const std::string& name) {
    close_gate();
    stop_output();
    unload_module();
    g_ended.store(false);
    g_position.store(0);
    g_volume.store(100);
    g_gain = 1.0f;
    if (size == 0) {
        return {false, name + ": empty file, not a module"};
    }
    const std::string problem = it_structure_problem(static_cast<const uint8_t*>(data), size);
    if (!problem.empty()) {
        return {false, name + ": damaged module: " + problem};
    }
    try {
        g_module = std::make_unique<openmpt::module>(data, size, g_null_log);
        g_module->ctl_set_text("play.at_end", "stop");
        g_module->set_repeat_count(0);
        build_cell_table();
    } catch (const std::exception& e) {
        unload_module();
        return {false, name + ": not a module that can be played (" + e.what() + ")"};
    }
    return {};
}

void play_music(uint32_t order, uint32_t row) {
    close_gate();
    stop_output();
    if (!g_module) {
        return;
    }
    g_module->set_position_order_row(static_cast<int32_t>(order), static_cast<int32_t>(row));
    g_stream_frame = 0;
    g_last_order = -1;
    g_last_row = -1;
    std::fill(g_channel_instrument.begin(), g_channel_instrument.end(), uint8_t {0});
    std::fill(g_channel_s_memory.begin(), g_channel_s_memory.end(), uint8_t {0});
    g_pending_count = 0;
    g_gain = static_cast<float>(std::clamp(g_volume.load(), 0, 100)) / 100.0f;
    g_ended.store(false);
    g_position.store((order & 0xFFFFu) | (row << 16));
    g_render_open.store(true);
    if (g_output == AudioOutput::Device && g_device != 0) {
        SDL_PauseAudioDevice(g_device, 0);
    } else if (g_output == AudioOutput::Silent) {
        g_silent_run.store(true);
        g_silent_thread = std::thread(silent_loop);
    }
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
    g_sync_count.store(0);
    g_sync_hook = nullptr;
    g_position.store(0);
    g_ended.store(false);
}

// A sound device that goes away (unplugged, its server gone) stops calling
// back, which would freeze the position and with it the whole show. The frame
// loop notices it here and the music carries on, silently, on the real-time
// thread from where it stood.
void fall_back_if_device_lost() {
    if (g_output != AudioOutput::Device || g_device == 0) {
        return;
    }
    if (!g_device_gone_for_test.load(std::memory_order_relaxed) &&
        SDL_GetAudioDeviceStatus(g_device) != SDL_AUDIO_STOPPED) {
        return;  // playing or paused: still there
    }
    const bool playing = g_render_open.load();
    close_gate();
    SDL_CloseAudioDevice(g_device);
    g_device = 0;
    g_device_gone_for_test.store(false);
    g_output = AudioOutput::Silent;
    std::fprintf(stderr, "glimmerfrost: the audio device was lost; the show goes on without sound\n");
    if (playing) {
        g_render_open.store(true);
        g_silent_run.store(true);
        g_silent_thread = std::thread(silent_loop);
    }
}

uint32_t music_position() {
    fall_back_if_device_lost();
    return g_position.load(std::memory_order_relaxed);
}
void simulate_audio_device_loss() { g_device_gone_for_test.store(true); }

uint32_t music_order() { return music_position() & 0xFFFFu; }
uint32_t music_row() { return music_position() >> 16; }

uint32_t add_instrument_sync(SyncProc proc, int instrument) {
    if (proc == nullptr || instrument < 1 || instrument > 255) {
        return 0;
    }
    const int count = g_sync_count.load();
    if (count == kMaxSyncs) {
        return 0;
    }
    g_syncs[count] = Registration {proc, instrument};
    g_sync_count.store(count + 1, std::memory_order_release);
    return static_cast<uint32_t>(count + 1);
}

int music_volume() { return g_volume.load(std::memory_order_relaxed); }

void set_music_volume(int volume) { g_volume.store(std::clamp(volume, 0, 100), std::memory_order_relaxed); }

std::size_t render_music(int16_t* out, std::size_t frames) { return render_into(out, frames); }

void set_sync_position_hook(std::function<void(uint64_t frame)> hook) {
    const bool was_open = g_render_open.load();
    close_gate();
    g_sync_hook = std::move(hook);
    g_render_open.store(was_open);
}

bool music_ended() { return g_ended.load(std::memory_order_relaxed); }

double module_duration_seconds() { return g_module ? g_module->get_duration_seconds() : 0.0; }

void pause_music(bool paused) {
    if (!g_render_open.load()) {
        return;  // nothing is playing
    }
    if (g_output == AudioOutput::Device && g_device != 0) {
        SDL_PauseAudioDevice(g_device, paused ? 1 : 0);
    } else if (g_output == AudioOutput::Silent && paused && g_silent_thread.joinable()) {
        g_silent_run.store(false);
        g_silent_thread.join();
    } else if (g_output == AudioOutput::Silent && !paused && !g_silent_thread.joinable()) {
        g_silent_run.store(true);
        g_silent_thread = std::thread(silent_loop);  // its pacing starts afresh from now
    }
}

}  // namespace gf
