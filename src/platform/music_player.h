// The music player's state, shared by its two halves: music.cpp (libopenmpt,
// the renderer, the syncs and the control operations) and music_output.cpp
// (the SDL audio device and the silent real-time thread). Only the music
// layer includes this.
//
// Threads: the frame loop reads the position word and the end flag (atomics),
// and calls the control operations. The audio thread (SDL's callback or the
// silent thread) renders. Nothing on the rendering and sync path locks or
// allocates; control operations first close a gate that the renderer checks,
// wait until it is outside a render, then change the player's state.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <libopenmpt/libopenmpt.hpp>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/music.h"
#include "platform/note_scheduler.h"

namespace gf::music_detail {

// Frames rendered between two looks at the playing row. libopenmpt moves to a
// new row only when it renders the row's first sample, so near the predicted
// start of the next row the renderer looks after every frame and sees the row
// change at the very sample it happens; elsewhere it looks every kStepFrames.
// The shortest row libopenmpt can play (speed 1, tempo 255) is 432 frames, so
// no row is ever missed either way.
constexpr std::size_t kStepFrames = 32;
constexpr uint64_t kNever = ~uint64_t{0};
constexpr int kMaxSyncs = 64;

struct Registration {
    SyncProc proc = nullptr;
    int instrument = 0;
};

// What the audio thread changes while the gate is open; play_music starts it afresh.
struct RenderState {
    uint64_t stream_frame = 0;  // frames rendered since play_music
    int last_order = -1;
    int last_row = -1;
    uint64_t row_start = 0;  // stream frame where the row last_order:last_row was first heard
    // Frames [watch_from, watch_until] are rendered one at a time: the next row starts among them.
    uint64_t watch_from = kNever;
    uint64_t watch_until = kNever;
    float gain = 1.0f;  // the gain the last chunk ended at
    float mix[kMaxChunkFrames * 2] = {};
};

// The whole player.
struct Player {
    // Control side; the renderer only reads these while the gate is open.
    std::unique_ptr<openmpt::module> module;
    std::vector<char> module_bytes;  // the loaded file, for questions about the song as a whole
    NoteScheduler scheduler;         // the renderer drives it while the gate is open
    AudioOutput output = AudioOutput::Offline;
    bool pulled = false;  // the caller renders, whatever the output (a seek)
    bool sdl_audio = false;
    uint32_t device = 0;  // the SDL audio device's id (SDL_AudioDeviceID), 0 when none is open
    std::thread silent_thread;
    std::mutex silent_render;       // the silent thread renders holding it (hold_music_output takes it)
    Registration syncs[kMaxSyncs];  // the first sync_count are published
    std::function<void(uint64_t)> sync_hook;

    // Shared between the threads.
    std::atomic<int> sync_count{0};
    std::atomic<uint32_t> position{0};
    std::atomic<bool> ended{false};
    std::atomic<int> volume{100};
    std::atomic<bool> render_open{false};
    std::atomic<bool> in_render{false};
    std::atomic<bool> silent_run{false};
    std::atomic<bool> device_gone_for_test{false};  // the device behaves as one SDL has found gone

    // The audio thread's, while the gate is open.
    RenderState render;
};

// The player of the music heard; a thread that runs the show offline beside it drives a
// side player of its own (SideMusicScope), and every operation of the music layer acts on
// the player of the thread that calls it.
extern Player g_player;
// constinit: its initial value is a constant, so no thread-local initialisation call (and no
// check for one) stands in front of every access.
extern thread_local constinit Player* t_player;
inline Player& player() { return *t_player; }

// Fills `frames` stereo frames of `out`; silence where there is no music. Audio thread.
std::size_t render_into(int16_t* out, std::size_t frames);
// Stops the renderer and waits until it is outside render_into.
void close_gate();

// The outputs (music_output.cpp), control side.
void start_output();  // resumes the device, or starts the silent thread
void stop_output();
void close_device();
// Notices a sound device that has gone away and carries on silently.
void fall_back_if_device_lost();

}  // namespace gf::music_detail
