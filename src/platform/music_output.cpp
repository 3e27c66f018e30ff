// The music player's outputs: the SDL audio device, whose callback renders,
// and the silent real-time thread that renders and throws the sound away.
#include <SDL.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "platform/music_player.h"
#include "platform/quiet_stderr.h"

namespace gf {

using namespace music_detail;

namespace {

void audio_callback(void*, Uint8* stream, int len) {
    if (g_player.device_gone_for_test.load(std::memory_order_relaxed)) {
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
    while (g_player.silent_run.load()) {
        {
            const std::lock_guard<std::mutex> rendering(g_player.silent_render);
            render_into(scratch, kMaxChunkFrames);
        }
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

// Runs `open` with stderr pointed at /dev/null, so that the sound libraries'
// own complaints (ALSA prints several lines when there is no card) stay hidden.
template <typename F>
auto quietly(F open) {
    const QuietStderr quiet;
    return open();
}

}  // namespace

namespace music_detail {

void start_output() {
    if (player().pulled) {
        return;  // the caller renders for now
    }
    if (player().output == AudioOutput::Device && player().device != 0) {
        SDL_PauseAudioDevice(player().device, 0);
    } else if (player().output == AudioOutput::Silent) {
        player().silent_run.store(true);
        player().silent_thread = std::thread(silent_loop);
    }
}

void stop_output() {
    if (player().device != 0) {
        SDL_PauseAudioDevice(player().device, 1);
    }
    if (player().silent_thread.joinable()) {
        player().silent_run.store(false);
        player().silent_thread.join();
    }
}

void close_device() {
    if (player().device != 0) {
        SDL_CloseAudioDevice(player().device);
        player().device = 0;
    }
    if (player().sdl_audio) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        player().sdl_audio = false;
    }
}

// A sound device that goes away (unplugged, its server gone) stops calling
// back, which would freeze the position and with it the whole show. The frame
// loop notices it here and the music carries on, silently, on the real-time
// thread from where it stood.
void fall_back_if_device_lost() {
    if (player().output != AudioOutput::Device || player().device == 0) {
        return;
    }
    if (!player().device_gone_for_test.load(std::memory_order_relaxed) &&
        SDL_GetAudioDeviceStatus(player().device) != SDL_AUDIO_STOPPED) {
        return;  // playing or paused: still there
    }
    const bool playing = player().render_open.load();
    close_gate();
    SDL_CloseAudioDevice(player().device);
    player().device = 0;
    player().device_gone_for_test.store(false);
    player().output = AudioOutput::Silent;
    std::fprintf(stderr, "glimmerfrost: the audio device was lost; the show goes on without sound\n");
    if (playing) {
        player().render_open.store(true);
        start_output();
    }
}

}  // namespace music_detail

Status init_music(AudioOutput output) {
    close_gate();
    stop_output();
    close_device();
    player().output = output;
    if (output != AudioOutput::Device) {
        return {};
    }
    std::string error;
    const SDL_AudioDeviceID device = quietly([&error]() -> SDL_AudioDeviceID {
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
            error = SDL_GetError();
            return 0;
        }
        player().sdl_audio = true;
        SDL_AudioSpec want{};
        want.freq = kMixRate;
        want.format = AUDIO_S16SYS;
        want.channels = 2;
        want.samples = kMaxChunkFrames;
        want.callback = audio_callback;
        SDL_AudioSpec have{};
        const SDL_AudioDeviceID id = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
        if (id == 0) {
            error = SDL_GetError();
        }
        return id;
    });
    if (device == 0) {
        close_device();
        player().output = AudioOutput::Silent;
        Status status;
        status.message =
            "no audio device (" + (error.empty() ? std::string("none found") : error) + "); playing silently";
        report(status.message);
        return status;
    }
    player().device = device;
    return {};
}

void hold_music_output(bool held) {
    // What was held is released, whatever has happened to the output meanwhile.
    static SDL_AudioDeviceID s_locked = 0;
    static bool s_silent = false;
    if (held) {
        if (g_player.output == AudioOutput::Device && g_player.device != 0 && s_locked == 0) {
            s_locked = g_player.device;
            SDL_LockAudioDevice(s_locked);
        } else if (g_player.output == AudioOutput::Silent && !s_silent) {
            g_player.silent_render.lock();
            s_silent = true;
        }
        return;
    }
    if (s_locked != 0) {
        SDL_UnlockAudioDevice(s_locked);
        s_locked = 0;
    }
    if (s_silent) {
        g_player.silent_render.unlock();
        s_silent = false;
    }
}

void simulate_audio_device_loss() { player().device_gone_for_test.store(true); }

}  // namespace gf
