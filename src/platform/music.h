// The module player: libopenmpt renders the Impulse Tracker module, SDL2 plays
// it. The frame loop reads the playback position lock-free; instrument syncs
// call a procedure on the audio thread at the point in the stream where a note
// of the chosen instrument starts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/status.h"

namespace gf {

constexpr int kMixRate = 44100;
constexpr int kMaxChunkFrames = 512;         // the audio thread renders at most this many frames at once
constexpr uint32_t kOrderAfterEnd = 0xFFFF;  // order reported once the module has ended

// Sync procedure: the registration's handle and a data word (the instrument number).
using SyncProc = void (*)(uint32_t handle, uint32_t data);

enum class AudioOutput {
    Device,   // an SDL2 audio device; falls back to Silent with one line on stderr if none opens
    Silent,   // no sound: a real-time thread renders and discards, so position and syncs advance
    Offline,  // no thread: the caller pulls samples with render_music (capture, tests)
};

// Sets the output up. With Device and no sound card, says so once and goes Silent.
Status init_music(AudioOutput output);
// Loads an Impulse Tracker module from a file; the message names the file and the problem.
Status load_module(const std::string& path);
// Same from memory (fuzzing, tests); `name` is used in messages.
Status load_module_from_memory(const void* data, std::size_t size, const std::string& name);

// Starts playback at the given order and row (0, 0 for the show).
void play_music(uint32_t order = 0, uint32_t row = 0);
void stop_music();
void free_music();

// Position word: order in the low 16 bits, row in the high 16. Lock-free.
// Also where the loss of the sound device is noticed: the music then goes on
// silently on the real-time thread, with one line on stderr.
uint32_t music_position();
uint32_t music_order();
uint32_t music_row();

// Registers `proc` for every note of `instrument` (1-based); each call returns its own non-zero handle.
uint32_t add_instrument_sync(SyncProc proc, int instrument);

// Output volume 0..100; 100 at load, 0 is silence. Ramped per chunk so it never clicks.
int music_volume();
void set_music_volume(int volume);

// Offline mode: renders exactly `frames` interleaved stereo frames of 16-bit PCM
// into `out` (2 × frames values), firing syncs as it goes: each sync during the
// call that renders its note's first frame, whatever the call sizes. Returns
// the frames rendered; fewer (padded with silence) once the module has ended.
std::size_t render_music(int16_t* out, std::size_t frames);

// Called just before each sync procedure with the exact stream position
// (in frames since play_music) of the first frame of the note that fired it. Capture uses it to
// set the virtual clock to the note's exact time. Empty function to clear.
void set_sync_position_hook(std::function<void(uint64_t frame)> hook);

// Tests: the sound device stops as one that has been unplugged does (SDL no
// longer calls back); the next position read notices it.
void simulate_audio_device_loss();

// True once the module has played past its last order.
bool music_ended();

// Where each of the first `orders` orders of the loaded module starts, in seconds
// from the song's start (empty when none is loaded).
std::vector<double> order_start_seconds(int orders);

// Length of the loaded module in seconds (libopenmpt's estimate).
double module_duration_seconds();

// Where the playing music stands, to come back to it later (a seek): the stream
// position, the row in progress and where it began, the syncs' view of the
// channels and the notes still to fire, the volume. The sound itself is not
// kept: coming back, libopenmpt goes to the row and plays on from the same
// sample with the notes struck before still ringing (close to the sound of the
// whole song; the row timing, the positions and the syncs are exact).
class MusicState {
public:
    MusicState();
    ~MusicState();
    MusicState(MusicState&&) noexcept;
    MusicState& operator=(MusicState&&) noexcept;
    bool valid() const { return saved_ != nullptr; }
    std::size_t bytes() const;  // the memory it holds

private:
    struct Saved;
    std::unique_ptr<Saved> saved_;
    friend MusicState save_music_state();
    friend MusicState music_start_state();
    friend bool restore_music_state(const MusicState& state);
};

// The state of the music now: invalid when no module is loaded.
MusicState save_music_state();
// The state of the loaded module about to play from 0:0 at full volume, nothing rendered.
MusicState music_start_state();
// Puts the playing music back where `state` was and lets it play on (the output
// resumes). False, changing nothing, for an invalid state.
bool restore_music_state(const MusicState& state);

// Stream frames rendered since play_music (where a seek has left the music).
uint64_t music_stream_frame();

// Takes the music from its output (true): the sound device or the silent thread
// stops asking for sound and the caller renders it with render_music, as offline
// output does (a seek runs the show offline); false gives it back to the output,
// which plays on from where the caller left it.
void pull_music(bool pulled);

// Holds the playing music where it is (true) or lets it go on (false): the sound
// device, or the silent thread, stops asking for sound, so the position and the
// syncs stand still too. play_music and stop_music end a hold. Offline output
// has nothing to hold: the caller pulls the sound.
void pause_music(bool paused);

// A second player of the loaded module, for the show run offline while the music plays
// on (a seek's table filled ahead in idle time): its own song, position, syncs (the
// instruments and handles of the playing music's, each calling `proc`), volume and sync
// hook, rendered only with render_music by the thread that drives it. It starts at 0:0
// at full volume, as play_music(0, 0) does.
namespace music_detail {
struct Player;
}
class SideMusic {
public:
    ~SideMusic();
    SideMusic(const SideMusic&) = delete;
    SideMusic& operator=(const SideMusic&) = delete;

private:
    SideMusic();
    std::unique_ptr<music_detail::Player> player_;
    friend std::unique_ptr<SideMusic> make_side_music(SyncProc proc);
    friend class SideMusicScope;
};
// nullptr when no module is loaded or it cannot be loaded again.
std::unique_ptr<SideMusic> make_side_music(SyncProc proc);

// While one lives, every music operation above called on this thread acts on `side`
// instead of the music heard (other threads, the audio device's among them, are not
// affected). Scopes nest.
class SideMusicScope {
public:
    explicit SideMusicScope(SideMusic& side);
    ~SideMusicScope();
    SideMusicScope(const SideMusicScope&) = delete;
    SideMusicScope& operator=(const SideMusicScope&) = delete;

private:
    music_detail::Player* was_;
};

// Keeps the music heard from rendering (true) until released (false): the sound device's
// callback, or the silent thread, waits, so that no sync of it runs meanwhile, and then
// catches up from its buffer. For a millisecond or two at a time: the sound is not changed,
// only rendered a little later. Offline output renders only when called and has nothing to hold.
// Holds do not nest.
void hold_music_output(bool held);

}  // namespace gf
