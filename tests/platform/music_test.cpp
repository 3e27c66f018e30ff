// The music layer on tiny modules built with the Impulse Tracker writer, rendered
// offline: position word, sync handles and calls, note rules, timing against the
// audio itself, the end of the song, volume, load errors, and the real-time
// paths (silent thread, missing audio device).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "platform/music.h"
#include "writers/it_writer.h"

namespace {

using gf::itw::Cell;
using gf::itw::Module;
using gf::itw::Pattern;

// At speed 6 and tempo 125 a tick is 44100 × 2.5 / 125 = 882 frames and a row 5292.
constexpr uint64_t kTick = 882;
constexpr uint64_t kRow = 6 * kTick;
constexpr int kSampleFrames = 1000;  // shorter than a row, so every note is followed by silence

// --- allocation counter: every operator new in this test binary goes through here
std::atomic<long> g_allocations {0};

}  // namespace

// Sanitizers bring their own operator new; the counter is left out under them.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define GF_COUNT_ALLOCATIONS 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define GF_COUNT_ALLOCATIONS 0
#endif
#endif
#ifndef GF_COUNT_ALLOCATIONS
#define GF_COUNT_ALLOCATIONS 1
#endif

#if GF_COUNT_ALLOCATIONS
// GCC sees malloc in operator new and free in operator delete and calls them
// mismatched; for replacement operators that pair is exactly right.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

void* operator new(std::size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#endif

namespace {

// A module with two instruments, each playing its own sample: a constant level,
// so that a note's start is the first non-zero sample after silence.
Module tiny_module(int rows = 64, int patterns = 1) {
    Module m;
    m.title = "test";
    m.channels = 4;
    for (int p = 0; p < patterns; ++p) {
        m.orders.push_back(p);
        m.patterns.emplace_back(rows, 4);
    }
    for (int i = 1; i <= 2; ++i) {
        gf::itw::Instrument inst;
        inst.name = "inst" + std::to_string(i);
        inst.sample = i;
        m.instruments.push_back(inst);
        gf::itw::Sample s;
        s.name = "level" + std::to_string(i);
        s.data.assign(kSampleFrames, static_cast<int16_t>(i == 1 ? 12000 : -12000));
        m.samples.push_back(s);
    }
    return m;
}

Cell note(int instrument, int effect = 0, int param = 0) {
    Cell c;
    c.note = gf::itw::kMiddleC;
    c.instrument = instrument;
    c.effect = effect;
    c.param = param;
    return c;
}

struct Call {
    uint32_t handle;
    uint32_t data;
    uint64_t frame;          // from the position hook
    uint64_t rendered_to;    // frames rendered by the test when the render containing it began
};

std::vector<Call> g_calls;
uint64_t g_hook_frame = 0;
uint64_t g_render_start = 0;

void record(uint32_t handle, uint32_t data) {
    g_calls.push_back({handle, data, g_hook_frame, g_render_start});
}

class MusicTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_calls.clear();
        g_calls.reserve(4096);
        g_hook_frame = 0;
        g_render_start = 0;
        ASSERT_TRUE(gf::init_music(gf::AudioOutput::Offline).ok);
    }
    void TearDown() override { gf::free_music(); }

    void load(const Module& m) {
        const std::vector<uint8_t> bytes = gf::itw::write_it(m);
        const gf::MusicStatus status = gf::load_module_from_memory(bytes.data(), bytes.size(), "tiny.it");
        ASSERT_TRUE(status.ok) << status.message;
        gf::set_sync_position_hook([](uint64_t frame) { g_hook_frame = frame; });
    }

    // Renders `frames` in 512-frame calls, keeping the left channel.
    std::vector<int16_t> render(std::size_t frames, std::size_t* music_frames = nullptr) {
        std::vector<int16_t> left;
        left.reserve(frames);
        std::vector<int16_t> buffer(2 * gf::kMaxChunkFrames);
        std::size_t music = 0;
        for (std::size_t done = 0; done < frames; done += gf::kMaxChunkFrames) {
            const std::size_t n = std::min<std::size_t>(gf::kMaxChunkFrames, frames - done);
            g_render_start = rendered_;
            music += gf::render_music(buffer.data(), n);
            rendered_ += n;
            for (std::size_t i = 0; i < n; ++i) {
                left.push_back(buffer[2 * i]);
            }
        }
        if (music_frames != nullptr) {
            *music_frames = music;
        }
        return left;
    }

    // First frames at which the sound rises from silence.
    static std::vector<uint64_t> onsets(const std::vector<int16_t>& left) {
        std::vector<uint64_t> result;
        bool silent = true;
        std::size_t quiet_run = 0;
        for (std::size_t i = 0; i < left.size(); ++i) {
            if (left[i] != 0) {
                if (silent) {
                    result.push_back(i);
                }
                silent = false;
                quiet_run = 0;
            } else if (++quiet_run > 64) {
                silent = true;
            }
        }
        return result;
    }

    uint64_t rendered_ = 0;
};

void no_op(uint32_t, uint32_t) {}

TEST_F(MusicTest, PositionWordHoldsOrderLowAndRowHigh) {
    Module m = tiny_module(128, 9);
    load(m);
    gf::play_music(7, 64);
    EXPECT_EQ(gf::music_position(), 0x00400007u);
    render(100);
    EXPECT_EQ(gf::music_position(), 0x00400007u);
    EXPECT_EQ(gf::music_order(), 7u);
    EXPECT_EQ(gf::music_row(), 64u);
    // One row later (5292 frames), row 65 of the same order.
    render(kRow);
    EXPECT_EQ(gf::music_order(), 7u);
    EXPECT_EQ(gf::music_row(), 65u);
}

TEST_F(MusicTest, PositionFollowsOrdersAcrossPatterns) {
    Module m = tiny_module(32, 3);
    load(m);
    gf::play_music(0, 0);
    render(32 * kRow + 10);  // just into order 1
    EXPECT_EQ(gf::music_position(), 0x00000001u);
    render(5 * kRow);
    EXPECT_EQ(gf::music_position(), 0x00050001u);
}

TEST_F(MusicTest, EachRegistrationHasItsOwnHandleAndIsCalledPerNote) {
    Module m = tiny_module();
    m.patterns[0].at(0, 0) = note(1);
    m.patterns[0].at(4, 1) = note(2);
    m.patterns[0].at(8, 2) = note(1);
    load(m);
    const uint32_t inst6 = gf::add_instrument_sync(record, 2);
    const uint32_t scene = gf::add_instrument_sync(record, 1);
    const uint32_t band = gf::add_instrument_sync(record, 1);
    EXPECT_NE(inst6, 0u);
    EXPECT_NE(scene, 0u);
    EXPECT_NE(band, 0u);
    EXPECT_NE(scene, band);
    EXPECT_NE(inst6, scene);
    EXPECT_NE(inst6, band);

    gf::play_music(0, 0);
    render(10 * kRow);
    ASSERT_EQ(g_calls.size(), 5u);
    // Row 0, instrument 1: both instrument-1 registrations, each once.
    EXPECT_EQ(g_calls[0].frame, g_calls[1].frame);
    EXPECT_NE(g_calls[0].handle, g_calls[1].handle);
    EXPECT_TRUE((g_calls[0].handle == scene || g_calls[0].handle == band) &&
                (g_calls[1].handle == scene || g_calls[1].handle == band));
    EXPECT_EQ(g_calls[0].data, 1u);
    // Row 4, instrument 2: only its own registration.
    EXPECT_EQ(g_calls[2].handle, inst6);
    EXPECT_EQ(g_calls[2].data, 2u);
    // Row 8: instrument 1 again, both.
    EXPECT_NE(g_calls[3].handle, g_calls[4].handle);
    EXPECT_NE(g_calls[3].handle, inst6);
    EXPECT_NE(g_calls[4].handle, inst6);
}

TEST_F(MusicTest, RejectedRegistrationsGetNoHandle) {
    Module m = tiny_module();
    load(m);
    EXPECT_EQ(gf::add_instrument_sync(nullptr, 1), 0u);
    EXPECT_EQ(gf::add_instrument_sync(no_op, 0), 0u);
    EXPECT_EQ(gf::add_instrument_sync(no_op, -3), 0u);
    EXPECT_EQ(gf::add_instrument_sync(no_op, 1), 1u);
}

TEST_F(MusicTest, NoteWithoutInstrumentUsesTheChannelsLastOne) {
    Module m = tiny_module();
    m.patterns[0].at(0, 0) = note(2);
    m.patterns[0].at(4, 0) = note(0);  // channel 0's last: 2
    Cell instrument_only;
    instrument_only.instrument = 1;
    m.patterns[0].at(8, 1) = instrument_only;  // sets channel 1 to 1 without a note
    m.patterns[0].at(12, 1) = note(0);
    m.patterns[0].at(16, 2) = note(0);  // channel 2 never had one: no instrument, no sync
    load(m);
    const uint32_t one = gf::add_instrument_sync(record, 1);
    const uint32_t two = gf::add_instrument_sync(record, 2);
    gf::play_music(0, 0);
    render(20 * kRow);
    ASSERT_EQ(g_calls.size(), 3u);
    EXPECT_EQ(g_calls[0].handle, two);
    EXPECT_EQ(g_calls[1].handle, two);
    EXPECT_EQ((g_calls[1].frame + kRow / 2) / kRow, 4u);
    EXPECT_EQ(g_calls[2].handle, one);
    EXPECT_EQ((g_calls[2].frame + kRow / 2) / kRow, 12u);
}

TEST_F(MusicTest, NoteOffCutAndFadeStartNoNote) {
    Module m = tiny_module();
    m.patterns[0].at(0, 0) = note(1);
    for (int row : {2, 4, 6}) {
        Cell c;
        c.instrument = 1;
        c.note = row == 2 ? gf::itw::kNoteOff : row == 4 ? gf::itw::kNoteCut : gf::itw::kNoteFade;
        m.patterns[0].at(row, 0) = c;
    }
    m.patterns[0].at(8, 0) = note(1);
    load(m);
    gf::add_instrument_sync(record, 1);
    gf::play_music(0, 0);
    render(12 * kRow);
    ASSERT_EQ(g_calls.size(), 2u);
    EXPECT_EQ((g_calls[0].frame + kRow / 2) / kRow, 0u);
    EXPECT_EQ((g_calls[1].frame + kRow / 2) / kRow, 8u);
}

// The timing bar: every sync fires inside the 512-frame render that contains its
// note's start, where the start is found from the audio. Also checks note delays.
TEST_F(MusicTest, SyncsFireInTheChunkOfTheirAudibleNote) {
    Module m = tiny_module();
    const int sd = gf::itw::effect('S');
    m.patterns[0].at(0, 0) = note(1);
    m.patterns[0].at(3, 1) = note(1, sd, 0xD3);   // starts 3 ticks into row 3
    m.patterns[0].at(7, 2) = note(1, sd, 0xD5);   // 5 ticks into row 7
    m.patterns[0].at(11, 0) = note(1);
    m.patterns[0].at(13, 3) = note(1, sd, 0xD6);  // delay of a whole row: never played
    m.patterns[0].at(17, 1) = note(1);
    m.patterns[0].at(20, 2) = note(1, sd, 0xD1);
    load(m);
    gf::add_instrument_sync(record, 1);
    gf::play_music(0, 0);
    const std::vector<int16_t> left = render(24 * kRow);

    const std::vector<uint64_t> expected = {0, 3 * kRow + 3 * kTick, 7 * kRow + 5 * kTick, 11 * kRow, 17 * kRow,
                                            20 * kRow + kTick};
    const std::vector<uint64_t> heard = onsets(left);
    ASSERT_EQ(heard.size(), expected.size());
    ASSERT_EQ(g_calls.size(), expected.size());
    uint64_t worst_hook = 0;
    uint64_t worst_call = 0;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        // The audio agrees with the hand-computed start within the mixer's click ramp.
        EXPECT_NEAR(static_cast<double>(heard[i]), static_cast<double>(expected[i]), 4.0) << i;
        const uint64_t start = heard[i];
        const uint64_t chunk_begin = start / gf::kMaxChunkFrames * gf::kMaxChunkFrames;
        EXPECT_EQ(g_calls[i].rendered_to, chunk_begin) << "note " << i << " fired outside its chunk";
        const uint64_t hook_error = g_calls[i].frame > start ? g_calls[i].frame - start : start - g_calls[i].frame;
        EXPECT_LT(hook_error, 40u) << i;
        worst_hook = std::max(worst_hook, hook_error);
        worst_call = std::max(worst_call, g_calls[i].rendered_to + gf::kMaxChunkFrames - start);
    }
    RecordProperty("worst_hook_error_frames", static_cast<int>(worst_hook));
    std::printf("[ timing ] worst hook frame error %llu frames (%.2f ms); latest call %llu frames after the note "
                "(%.2f ms, end of its 512-frame chunk)\n",
                static_cast<unsigned long long>(worst_hook), worst_hook * 1000.0 / gf::kMixRate,
                static_cast<unsigned long long>(worst_call), worst_call * 1000.0 / gf::kMixRate);
}

TEST_F(MusicTest, DelayedNoteIsStruckInEveryRepeatOfADelayedRow) {
    Module m = tiny_module();
    const int s = gf::itw::effect('S');
    m.patterns[0].at(2, 0) = note(1, s, 0xD2);
    m.patterns[0].at(2, 1).effect = s;
    m.patterns[0].at(2, 1).param = 0xE2;  // the row plays three times
    m.patterns[0].at(6, 0) = note(1);
    load(m);
    gf::add_instrument_sync(record, 1);
    gf::play_music(0, 0);
    const std::vector<int16_t> left = render(12 * kRow);
    // Row 2 lasts three rows; row 6 therefore starts at 8 rows' time.
    const std::vector<uint64_t> expected = {2 * kRow + 2 * kTick, 3 * kRow + 2 * kTick, 4 * kRow + 2 * kTick,
                                            8 * kRow};
    const std::vector<uint64_t> heard = onsets(left);
    ASSERT_EQ(heard.size(), expected.size());
    ASSERT_EQ(g_calls.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_NEAR(static_cast<double>(heard[i]), static_cast<double>(expected[i]), 4.0) << i;
        EXPECT_NEAR(static_cast<double>(g_calls[i].frame), static_cast<double>(expected[i]), 40.0) << i;
    }
}

// Impulse Tracker's note-delay rules: SD0 waits a tick like SD1, S00 repeats the
// channel's last S effect, and S6x lengthens the row (adding up over channels),
// which lets a longer delay still play.
TEST_F(MusicTest, NoteDelaysFollowTheTrackersRules) {
    Module m = tiny_module();
    const int s = gf::itw::effect('S');
    m.patterns[0].at(2, 0) = note(1, s, 0xD0);
    m.patterns[0].at(4, 0) = note(1, s, 0xD3);
    m.patterns[0].at(6, 0) = note(1, s, 0x00);
    m.patterns[0].at(8, 0) = note(1, s, 0xD7);
    m.patterns[0].at(8, 1).effect = s;
    m.patterns[0].at(8, 1).param = 0x61;
    m.patterns[0].at(8, 2).effect = s;
    m.patterns[0].at(8, 2).param = 0x61;
    m.patterns[0].at(10, 0) = note(1);
    load(m);
    gf::add_instrument_sync(record, 1);
    gf::play_music(0, 0);
    const std::vector<int16_t> left = render(12 * kRow);
    const std::vector<uint64_t> expected = {2 * kRow + kTick, 4 * kRow + 3 * kTick, 6 * kRow + 3 * kTick,
                                            8 * kRow + 7 * kTick, 10 * kRow + 2 * kTick};
    const std::vector<uint64_t> heard = onsets(left);
    ASSERT_EQ(heard.size(), expected.size());
    ASSERT_EQ(g_calls.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_NEAR(static_cast<double>(heard[i]), static_cast<double>(expected[i]), 4.0) << i;
        EXPECT_NEAR(static_cast<double>(g_calls[i].frame), static_cast<double>(expected[i]), 40.0) << i;
    }
}

TEST_F(MusicTest, AfterTheLastOrderThePositionMatchesNoScene) {
    Module m = tiny_module(32, 2);
    m.patterns[1].at(31, 0) = note(1);
    load(m);
    gf::add_instrument_sync(record, 1);
    gf::play_music(0, 0);
    const uint64_t length = 64 * kRow;
    std::size_t music = 0;
    std::vector<int16_t> left = render(length - 600, &music);
    EXPECT_EQ(music, length - 600);
    EXPECT_EQ(gf::music_position(), (31u << 16) | 1u);
    EXPECT_FALSE(gf::music_ended());
    left = render(2048, &music);
    EXPECT_EQ(music, 600u);  // the rest is padding
    EXPECT_TRUE(std::all_of(left.begin() + 600, left.end(), [](int16_t v) { return v == 0; }));
    EXPECT_TRUE(gf::music_ended());
    EXPECT_EQ(gf::music_position(), gf::kOrderAfterEnd);
    EXPECT_EQ(gf::music_order(), 0xFFFFu);
    render(10 * kRow, &music);
    EXPECT_EQ(music, 0u);
    EXPECT_EQ(gf::music_order(), 0xFFFFu);
    EXPECT_EQ(g_calls.size(), 1u);  // the end does not replay row 0

    // Playing again starts over.
    gf::play_music(0, 0);
    EXPECT_FALSE(gf::music_ended());
    EXPECT_EQ(gf::music_position(), 0u);
    render(kRow + 100, &music);
    EXPECT_EQ(music, kRow + 100);
    EXPECT_EQ(gf::music_position(), 1u << 16);
}

TEST_F(MusicTest, VolumeZeroIsSilenceAndChangesAreRamped) {
    Module m = tiny_module();
    Cell held = note(1);
    m.patterns[0].at(0, 0) = held;
    gf::itw::Sample& s = m.samples[0];
    s.data.assign(20000, 12000);
    s.loop = true;
    s.loop_begin = 0;
    s.loop_end = 20000;
    load(m);
    EXPECT_EQ(gf::music_volume(), 100);
    gf::set_music_volume(0);
    EXPECT_EQ(gf::music_volume(), 0);
    gf::play_music(0, 0);
    std::vector<int16_t> left = render(4096);
    EXPECT_TRUE(std::all_of(left.begin(), left.end(), [](int16_t v) { return v == 0; }));

    // Back to full: the next 512-frame chunk rises step by step, never jumps.
    gf::set_music_volume(100);
    left = render(gf::kMaxChunkFrames);
    EXPECT_LT(std::abs(left[0]), std::abs(left[511]) / 100 + 50);
    for (std::size_t i = 1; i < left.size(); ++i) {
        EXPECT_LE(std::abs(left[i] - left[i - 1]), std::abs(left[511]) / 256 + 2) << i;
    }
    const int full = std::abs(left[511]);
    EXPECT_GT(full, 1000);
    // Half volume halves the level once the ramp is done.
    gf::set_music_volume(50);
    render(gf::kMaxChunkFrames);
    left = render(gf::kMaxChunkFrames);
    EXPECT_NEAR(std::abs(left[100]), full / 2.0, full * 0.02);
}

TEST_F(MusicTest, VolumeIsKeptWithinZeroToHundred) {
    gf::set_music_volume(-4);
    EXPECT_EQ(gf::music_volume(), 0);
    gf::set_music_volume(250);
    EXPECT_EQ(gf::music_volume(), 100);
    gf::set_music_volume(37);
    EXPECT_EQ(gf::music_volume(), 37);
    load(tiny_module());
    EXPECT_EQ(gf::music_volume(), 100);  // a new module starts at full volume
}

TEST_F(MusicTest, LoadFailuresNameTheFileAndTheProblem) {
    gf::MusicStatus status = gf::load_module("/nonexistent/xmas.it");
    EXPECT_FALSE(status.ok);
    EXPECT_NE(status.message.find("/nonexistent/xmas.it"), std::string::npos);
    EXPECT_NE(status.message.find("No such file"), std::string::npos);

    const std::string junk = "this is plainly not a tracker module, just some words in a file";
    status = gf::load_module_from_memory(junk.data(), junk.size(), "words.it");
    EXPECT_FALSE(status.ok);
    EXPECT_EQ(status.message.rfind("words.it: ", 0), 0u) << status.message;

    status = gf::load_module_from_memory(junk.data(), 0, "empty.it");
    EXPECT_FALSE(status.ok);
    EXPECT_NE(status.message.find("empty.it"), std::string::npos);

    // A failed load leaves nothing playing: the position stays put and nothing renders.
    gf::play_music(0, 0);
    std::size_t music = 1;
    render(1024, &music);
    EXPECT_EQ(music, 0u);
}

TEST_F(MusicTest, LoadsARealModuleFromAFile) {
    const std::string path = std::string(GF_TESTDATA_DIR) + "/it/another_life.it";
    const gf::MusicStatus status = gf::load_module(path);
    ASSERT_TRUE(status.ok) << status.message;
    EXPECT_NEAR(gf::module_duration_seconds(), 176.64, 0.1);
    int calls = 0;
    static int* counter = nullptr;
    counter = &calls;
    gf::add_instrument_sync([](uint32_t, uint32_t) { ++*counter; }, 1);
    gf::play_music(3, 0);
    render(44100 * 5);
    EXPECT_EQ(gf::music_order(), 4u);  // about 5 s at its tempo moves one order on
    EXPECT_GT(calls, 0);
}

// The bar for the frame loop and the audio thread: position reads and the whole
// rendering path, syncs included, allocate nothing (counted through operator new,
// which libopenmpt's C++ code also uses).
TEST_F(MusicTest, RenderingAndPositionReadsAllocateNothing) {
    if (!GF_COUNT_ALLOCATIONS) {
        GTEST_SKIP() << "allocations are not counted under a sanitizer";
    }
    Module m = tiny_module();
    const int sd = gf::itw::effect('S');
    for (int row = 0; row < 64; row += 2) {
        m.patterns[0].at(row, row % 4) = note(1, row % 8 == 0 ? sd : 0, 0xD2);
    }
    const long before_load = g_allocations.load();
    load(m);
    EXPECT_GT(g_allocations.load(), before_load);  // the counter does see the library's allocations
    gf::add_instrument_sync(record, 1);
    gf::add_instrument_sync(record, 1);
    gf::play_music(0, 0);
    std::vector<int16_t> buffer(2 * 4096);
    gf::render_music(buffer.data(), 4096);  // first read: the library sets itself up
    const long before = g_allocations.load();
    uint32_t sum = 0;
    for (int i = 0; i < 100; ++i) {
        gf::render_music(buffer.data(), 1000);
        for (int k = 0; k < 20; ++k) {
            sum += gf::music_position();
        }
    }
    EXPECT_EQ(g_allocations.load() - before, 0);
    EXPECT_GE(g_calls.size(), 16u);  // notes on every other row, two registrations
    EXPECT_NE(sum, 0u);
    EXPECT_TRUE(std::atomic<uint32_t>::is_always_lock_free);
}

// With no output wanted the song still runs in real time on its own thread.
TEST_F(MusicTest, SilentOutputStillAdvancesAndFiresSyncs) {
    ASSERT_TRUE(gf::init_music(gf::AudioOutput::Silent).ok);
    Module m = tiny_module();
    m.patterns[0].at(1, 0) = note(1);
    load(m);
    static std::atomic<int> silent_calls {0};
    silent_calls = 0;
    gf::add_instrument_sync([](uint32_t, uint32_t) { silent_calls.fetch_add(1); }, 1);
    gf::play_music(0, 0);
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while ((gf::music_row() < 2 || silent_calls.load() == 0) && std::chrono::steady_clock::now() < give_up) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_GE(gf::music_row(), 2u);
    EXPECT_EQ(silent_calls.load(), 1);
    gf::stop_music();
    const uint32_t stopped_at = gf::music_position();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(gf::music_position(), stopped_at);
}

// No sound device: one line on stderr, nothing else, and playback goes on silently.
TEST_F(MusicTest, MissingAudioDeviceSaysSoOnceAndPlaysSilently) {
    const char* old = std::getenv("SDL_AUDIODRIVER");
    const std::string saved = old != nullptr ? old : "";
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    ::testing::internal::CaptureStderr();
    const gf::MusicStatus status = gf::init_music(gf::AudioOutput::Device);
    const std::string err = ::testing::internal::GetCapturedStderr();
    if (old != nullptr) {
        setenv("SDL_AUDIODRIVER", saved.c_str(), 1);
    } else {
        unsetenv("SDL_AUDIODRIVER");
    }
    EXPECT_TRUE(status.ok);
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_EQ(err.rfind("glimmerfrost: no audio device (", 0), 0u) << err;
    EXPECT_NE(err.find("playing silently"), std::string::npos) << err;

    Module m = tiny_module();
    load(m);
    gf::play_music(0, 0);
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (gf::music_row() < 1 && std::chrono::steady_clock::now() < give_up) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_GE(gf::music_row(), 1u);
}

}  // namespace
