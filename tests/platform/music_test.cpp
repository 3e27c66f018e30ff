// The music layer on tiny modules built with the Impulse Tracker writer, mostly
// rendered offline. Note starts are checked against the audio itself: every
// sample is a constant level shorter than a row, so a note is the first non-zero
// sample after silence.
#include "platform/music.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "writers/it_writer.h"

// Every operator new of the binary is counted (libopenmpt's too); sanitizers bring their own.
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

namespace {
std::atomic<long> g_allocations{0};
}  // namespace

#if GF_COUNT_ALLOCATIONS
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"  // malloc/free is the right pair here
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

using gf::itw::Cell;
using gf::itw::Module;

// Speed 6, tempo 125: a tick is 44100 × 2.5 / 125 = 882 frames, a row 5292.
constexpr uint64_t kTick = 882;
constexpr uint64_t kRow = 6 * kTick;
constexpr int kS = gf::itw::effect('S');

Module tiny_module(int rows = 64, int patterns = 1) {
    Module m;
    m.channels = 4;
    for (int p = 0; p < patterns; ++p) {
        m.orders.push_back(p);
        m.patterns.emplace_back(rows, 4);
    }
    for (int i = 1; i <= 2; ++i) {
        gf::itw::Instrument inst;
        inst.sample = i;
        m.instruments.push_back(inst);
        gf::itw::Sample s;
        s.data.assign(1000, static_cast<int16_t>(i == 1 ? 12000 : -12000));
        m.samples.push_back(s);
    }
    return m;
}

Cell note(int instrument, int effect = 0, int param = 0, int value = gf::itw::kMiddleC) {
    Cell c;
    c.note = value;
    c.instrument = instrument;
    c.effect = effect;
    c.param = param;
    return c;
}

struct Call {
    uint32_t handle;
    uint32_t data;
    uint64_t frame;        // from the position hook
    uint64_t chunk_start;  // first frame of the render call during which it came
};
std::vector<Call> g_calls;
uint64_t g_hook_frame = 0;
uint64_t g_chunk_start = 0;

void record(uint32_t handle, uint32_t data) { g_calls.push_back({handle, data, g_hook_frame, g_chunk_start}); }

uint64_t row_of(uint64_t frame) { return (frame + kRow / 2) / kRow; }

class MusicTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_calls.clear();
        g_calls.reserve(4096);
        ASSERT_TRUE(gf::init_music(gf::AudioOutput::Offline).ok);
    }
    void TearDown() override { gf::free_music(); }

    void load(const Module& m) {
        const std::vector<uint8_t> bytes = gf::itw::write_it(m);
        const gf::Status status = gf::load_module_from_memory(bytes.data(), bytes.size(), "tiny.it");
        ASSERT_TRUE(status.ok) << status.message;
        gf::set_sync_position_hook([](uint64_t frame) { g_hook_frame = frame; });
    }

    // Renders in calls of `call` frames; returns the left channel.
    std::vector<int16_t> render(std::size_t frames, std::size_t* music = nullptr,
                                std::size_t call = gf::kMaxChunkFrames) {
        std::vector<int16_t> left;
        std::vector<int16_t> buffer(2 * call);
        std::size_t got = 0;
        for (std::size_t done = 0; done < frames; done += call) {
            const std::size_t n = std::min<std::size_t>(call, frames - done);
            g_chunk_start = rendered_;
            got += gf::render_music(buffer.data(), n);
            rendered_ += n;
            for (std::size_t i = 0; i < n; ++i) {
                left.push_back(buffer[2 * i]);
            }
        }
        if (music != nullptr) {
            *music = got;
        }
        return left;
    }

    static std::vector<uint64_t> onsets(const std::vector<int16_t>& left) {
        std::vector<uint64_t> result;
        std::size_t quiet = 1000;
        for (std::size_t i = 0; i < left.size(); ++i) {
            if (left[i] != 0 && quiet > 64) {
                result.push_back(i);
            }
            quiet = left[i] != 0 ? 0 : quiet + 1;
        }
        return result;
    }

    uint64_t rendered_ = 0;
};

TEST_F(MusicTest, PositionWordHoldsOrderLowAndRowHigh) {
    load(tiny_module(128, 9));
    gf::play_music(7, 64);
    EXPECT_EQ(gf::music_position(), 0x00400007u);
    render(100);
    EXPECT_EQ(gf::music_order(), 7u);
    EXPECT_EQ(gf::music_row(), 64u);
    render(kRow);
    EXPECT_EQ(gf::music_position(), 0x00410007u);
}

TEST_F(MusicTest, EachRegistrationHasItsOwnHandleAndOneCallPerNote) {
    Module m = tiny_module();
    m.patterns[0].at(0, 0) = note(1);
    m.patterns[0].at(4, 1) = note(2);
    load(m);
    EXPECT_EQ(gf::add_instrument_sync(nullptr, 1), 0u);  // refused registrations get no handle
    EXPECT_EQ(gf::add_instrument_sync(record, 0), 0u);
    const uint32_t inst2 = gf::add_instrument_sync(record, 2);
    const uint32_t first = gf::add_instrument_sync(record, 1);
    const uint32_t second = gf::add_instrument_sync(record, 1);
    EXPECT_TRUE(inst2 != 0 && first != 0 && second != 0);
    EXPECT_TRUE(inst2 != first && inst2 != second && first != second);
    gf::play_music(0, 0);
    render(8 * kRow);
    ASSERT_EQ(g_calls.size(), 3u);
    EXPECT_EQ(std::min(g_calls[0].handle, g_calls[1].handle), std::min(first, second));
    EXPECT_EQ(std::max(g_calls[0].handle, g_calls[1].handle), std::max(first, second));
    EXPECT_EQ(g_calls[0].data, 1u);
    EXPECT_EQ(g_calls[2].handle, inst2);
    EXPECT_EQ(row_of(g_calls[2].frame), 4u);
}

TEST_F(MusicTest, OnlyRealNotesStartAndTheyUseTheChannelsLastInstrument) {
    Module m = tiny_module();
    m.patterns[0].at(0, 0) = note(2);
    m.patterns[0].at(2, 0) = note(1, 0, 0, gf::itw::kNoteOff);
    m.patterns[0].at(4, 0) = note(1, 0, 0, gf::itw::kNoteCut);
    m.patterns[0].at(6, 0) = note(1, 0, 0, gf::itw::kNoteFade);  // these three still set the instrument
    m.patterns[0].at(8, 0) = note(0);                            // so this is instrument 1
    m.patterns[0].at(10, 1).instrument = 2;                      // instrument without a note
    m.patterns[0].at(12, 1) = note(0);                           // instrument 2
    m.patterns[0].at(14, 2) = note(0);                           // channel never had one: nothing
    load(m);
    const uint32_t one = gf::add_instrument_sync(record, 1);
    const uint32_t two = gf::add_instrument_sync(record, 2);
    gf::play_music(0, 0);
    const std::vector<int16_t> left = render(16 * kRow);
    // What the player itself plays: instrument 1 sounds positive, 2 negative.
    EXPECT_GT(left[8 * kRow + 200], 0);
    EXPECT_LT(left[12 * kRow + 200], 0);
    ASSERT_EQ(g_calls.size(), 3u);
    EXPECT_EQ(g_calls[0].handle, two);
    EXPECT_EQ(g_calls[1].handle, one);
    EXPECT_EQ(row_of(g_calls[1].frame), 8u);
    EXPECT_EQ(g_calls[2].handle, two);
    EXPECT_EQ(row_of(g_calls[2].frame), 12u);
}

// The timing bar, with Impulse Tracker's delay rules: SDx delays a note x ticks
// (SD0 like SD1, S00 repeats the channel's last S effect), a delay of a whole row
// never plays, S6x lengthens a row (adding up over channels) and SEx repeats it,
// striking a delayed note again each time. Each sync reports its note's start
// sample exactly and comes during the render call that holds it, whatever the
// call size: 512 (the audio device), 1470 and 735 (30 and 60 fps captures, on
// whose boundaries the note at 4410 falls), 441 and single frames.
TEST_F(MusicTest, SyncsReportTheirNotesStartSampleInTheCallThatHoldsIt) {
    Module m = tiny_module();
    auto& p = m.patterns[0];
    p.at(0, 0) = note(1);
    p.at(0, 3) = note(1, kS, 0xD5);
    p.at(2, 1) = note(1, kS, 0xD3);
    p.at(4, 2) = note(1, kS, 0xD0);
    p.at(6, 1) = note(1, kS, 0x00);  // recalls SD3
    p.at(8, 3) = note(1, kS, 0xD6);  // as long as the row: silent
    p.at(10, 0) = note(1, kS, 0xD7);
    p.at(10, 1) = note(0, kS, 0x61, gf::itw::kNoNote);
    p.at(10, 2) = note(0, kS, 0x61, gf::itw::kNoNote);  // row 10 lasts 8 ticks: all after is 2 ticks later
    p.at(12, 0) = note(1, kS, 0xD2);
    p.at(12, 1) = note(0, kS, 0xE2, gf::itw::kNoNote);  // row 12 plays three times
    p.at(12, 2) = note(0, kS, 0xE5, gf::itw::kNoNote);  // only the first SEx counts
    p.at(14, 3) = note(1);
    load(m);
    gf::add_instrument_sync(record, 1);
    const uint64_t late = 2 * kTick;
    const std::vector<uint64_t> expected = {0,
                                            5 * kTick,
                                            2 * kRow + 3 * kTick,
                                            4 * kRow + kTick,
                                            6 * kRow + 3 * kTick,
                                            10 * kRow + 7 * kTick,
                                            12 * kRow + late + 2 * kTick,
                                            13 * kRow + late + 2 * kTick,
                                            14 * kRow + late + 2 * kTick,
                                            16 * kRow + late};
    uint64_t worst = 0;
    for (const std::size_t call :
         {std::size_t{512}, std::size_t{1470}, std::size_t{735}, std::size_t{441}, std::size_t{1}}) {
        g_calls.clear();
        rendered_ = 0;
        gf::play_music(0, 0);
        const std::vector<int16_t> left = render(18 * kRow, nullptr, call);
        ASSERT_EQ(g_calls.size(), expected.size()) << "calls of " << call;
        for (std::size_t i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(g_calls[i].frame, expected[i]) << "note " << i << ", calls of " << call;
            EXPECT_EQ(g_calls[i].chunk_start, expected[i] / call * call)
                << "note " << i << " fired outside its call of " << call;
            const uint64_t error =
                g_calls[i].frame > expected[i] ? g_calls[i].frame - expected[i] : expected[i] - g_calls[i].frame;
            worst = std::max(worst, error);
        }
        if (call == 512) {
            // What the player itself plays starts there too.
            const std::vector<uint64_t> heard = onsets(left);
            ASSERT_EQ(heard.size(), expected.size());
            for (std::size_t i = 0; i < expected.size(); ++i) {
                EXPECT_NEAR(static_cast<double>(heard[i]), static_cast<double>(expected[i]), 4.0) << i;
            }
        }
    }
    std::printf("[ timing ] worst sync position error %llu frames over every call size\n",
                static_cast<unsigned long long>(worst));
}

// At tempos whose tick is not a whole number of frames (libopenmpt rounds each
// tick down), rows must still be placed at their first frame.
// Rendering one frame a call sees every row change where it happens, so the
// syncs of 512-frame calls must match those of single frames exactly.
TEST_F(MusicTest, RowStartsStayExactWhenATickIsNotAWholeNumberOfFrames) {
    for (const int tempo : {140, 97, 255, 33, 0}) {
        Module m = tiny_module(16);
        m.initial_speed = 3;
        m.initial_tempo = tempo == 0 ? 125 : tempo;
        for (int row = 0; row < 16; ++row) {
            m.patterns[0].at(row, row % 4) = note(1, row % 3 == 1 ? kS : 0, 0xD2);
        }
        if (tempo == 0) {  // tempo slides up on row 4 and down on row 9: exact again a row later
            m.patterns[0].at(4, 3).effect = gf::itw::effect('T');
            m.patterns[0].at(4, 3).param = 0x1F;
            m.patterns[0].at(9, 3).effect = gf::itw::effect('T');
            m.patterns[0].at(9, 3).param = 0x0F;
        }
        load(m);
        gf::add_instrument_sync(record, 1);
        std::vector<uint64_t> frames[2];
        for (const std::size_t call : {std::size_t{1}, std::size_t{512}}) {
            g_calls.clear();
            gf::play_music(0, 0);
            render(static_cast<std::size_t>(16 * 3 * 110250 / m.initial_tempo) + 8000, nullptr, call);
            for (const Call& c : g_calls) {
                frames[call == 1 ? 0 : 1].push_back(c.frame);
            }
        }
        ASSERT_EQ(frames[0].size(), 16u) << "tempo " << tempo;
        if (tempo == 0) {
            frames[0][5] = frames[1][5];  // the row after each slide may be a few frames early
            frames[0][10] = frames[1][10];
        }
        EXPECT_EQ(frames[1], frames[0]) << "tempo " << tempo;
        gf::free_music();  // forgets the registration
    }
}

TEST_F(MusicTest, AfterTheLastOrderThePositionMatchesNoScene) {
    Module m = tiny_module(32, 2);
    m.patterns[1].at(31, 0) = note(1);
    load(m);
    gf::add_instrument_sync(record, 1);
    gf::play_music(0, 0);
    std::size_t music = 0;
    render(64 * kRow - 600, &music);
    EXPECT_EQ(gf::music_position(), 0x001F0001u);
    EXPECT_FALSE(gf::music_ended());
    std::vector<int16_t> left = render(2048, &music);
    EXPECT_EQ(music, 600u);  // the rest is silence
    EXPECT_TRUE(std::all_of(left.begin() + 600, left.end(), [](int16_t v) { return v == 0; }));
    EXPECT_TRUE(gf::music_ended());
    EXPECT_EQ(gf::music_position(), 0xFFFFu);
    render(10 * kRow, &music);
    EXPECT_EQ(music, 0u);
    EXPECT_EQ(gf::music_order(), 0xFFFFu);
    EXPECT_EQ(g_calls.size(), 1u);  // row 0 is not replayed
    gf::play_music(0, 0);           // playing again starts over
    render(kRow + 100, &music);
    EXPECT_EQ(music, kRow + 100);
    EXPECT_EQ(gf::music_position(), 0x00010000u);
}

TEST_F(MusicTest, VolumeZeroIsSilenceAndChangesAreRamped) {
    gf::set_music_volume(-4);
    EXPECT_EQ(gf::music_volume(), 0);
    gf::set_music_volume(250);
    EXPECT_EQ(gf::music_volume(), 100);
    gf::set_music_volume(37);
    Module m = tiny_module();
    m.patterns[0].at(0, 0) = note(1);
    m.samples[0].data.assign(20000, 12000);
    m.samples[0].loop = true;
    m.samples[0].loop_end = 20000;
    load(m);
    EXPECT_EQ(gf::music_volume(), 100);  // a new module starts at full volume
    gf::set_music_volume(0);
    gf::play_music(0, 0);
    std::vector<int16_t> left = render(4096);
    EXPECT_TRUE(std::all_of(left.begin(), left.end(), [](int16_t v) { return v == 0; }));
    gf::set_music_volume(100);  // the next chunk rises in small steps
    left = render(512);
    const int full = std::abs(left[511]);
    EXPECT_GT(full, 1000);
    EXPECT_LT(std::abs(left[0]), full / 100 + 50);
    for (std::size_t i = 1; i < left.size(); ++i) {
        EXPECT_LE(std::abs(left[i] - left[i - 1]), full / 256 + 2) << i;
    }
    gf::set_music_volume(50);
    render(512);
    left = render(512);
    EXPECT_NEAR(std::abs(left[100]), full / 2.0, full * 0.02);
}

TEST_F(MusicTest, LoadFailuresNameTheFileAndTheProblem) {
    gf::Status status = gf::load_module("/nonexistent/xmas.it");
    EXPECT_FALSE(status.ok);
    EXPECT_EQ(status.message, "/nonexistent/xmas.it: cannot open (No such file or directory)");
    const std::string junk = "this is plainly not a tracker module, just some words in a file";
    status = gf::load_module_from_memory(junk.data(), junk.size(), "words.it");
    EXPECT_FALSE(status.ok);
    EXPECT_EQ(status.message.rfind("words.it: ", 0), 0u) << status.message;
    status = gf::load_module_from_memory(junk.data(), 0, "empty.it");
    EXPECT_EQ(status.message, "empty.it: empty file, not a module");
    gf::play_music(0, 0);  // nothing loaded: nothing plays
    std::size_t music = 1;
    render(1024, &music);
    EXPECT_EQ(music, 0u);
    // After the failures a good module loads: 64 rows of 0.12 s.
    load(tiny_module());
    EXPECT_NEAR(gf::module_duration_seconds(), 7.68, 0.001);
}

// A module written by another tracker, when the shared test data is present.
TEST_F(MusicTest, ThirdPartyModuleHasTheDurationLibopenmptReports) {
    const std::string real = std::string(GF_TESTDATA_DIR) + "/it/another_life.it";
    if (!std::filesystem::exists(real)) {
        GTEST_SKIP() << real << " not present";
    }
    ASSERT_TRUE(gf::load_module(real).ok);
    EXPECT_NEAR(gf::module_duration_seconds(), 176.64, 0.1);
}

// The lock-free bar: rendering with syncs firing and the frame loop's position
// reads make no allocation; the position word is a lock-free atomic.
TEST_F(MusicTest, RenderingAndPositionReadsAllocateNothing) {
    if (!GF_COUNT_ALLOCATIONS) {
        GTEST_SKIP() << "allocations are not counted under a sanitizer";
    }
    Module m = tiny_module();
    for (int row = 0; row < 64; row += 2) {
        m.patterns[0].at(row, row % 4) = note(1, row % 8 == 0 ? kS : 0, 0xD2);
    }
    const long before_load = g_allocations.load();
    load(m);
    EXPECT_GT(g_allocations.load(), before_load);  // the counter does see the library
    gf::add_instrument_sync(record, 1);
    gf::add_instrument_sync(record, 1);
    gf::play_music(0, 0);
    std::vector<int16_t> buffer(2 * 4096);
    gf::render_music(buffer.data(), 4096);
    const long before = g_allocations.load();
    uint32_t sum = 0;
    for (int i = 0; i < 100; ++i) {
        gf::render_music(buffer.data(), 1000);
        for (int k = 0; k < 20; ++k) {
            sum += gf::music_position();
        }
    }
    EXPECT_EQ(g_allocations.load() - before, 0);
    EXPECT_GE(g_calls.size(), 16u);
    EXPECT_NE(sum, 0u);
    EXPECT_TRUE(std::atomic<uint32_t>::is_always_lock_free);
}

// No sound device: one line on stderr and nothing else; the song still runs in
// real time on its own thread, so the position and the syncs advance.
TEST_F(MusicTest, WithoutAnAudioDeviceItSaysSoOnceAndPlaysSilently) {
    const char* old = std::getenv("SDL_AUDIODRIVER");
    const std::string saved = old != nullptr ? old : "";
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    ::testing::internal::CaptureStderr();
    const gf::Status status = gf::init_music(gf::AudioOutput::Device);
    const std::string err = ::testing::internal::GetCapturedStderr();
    old != nullptr ? setenv("SDL_AUDIODRIVER", saved.c_str(), 1) : unsetenv("SDL_AUDIODRIVER");
    EXPECT_TRUE(status.ok);
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_EQ(err.rfind("glimmerfrost: no audio device (", 0), 0u) << err;
    EXPECT_NE(err.find("); playing silently\n"), std::string::npos) << err;

    Module m = tiny_module();
    m.patterns[0].at(1, 0) = note(1);
    load(m);
    static std::atomic<int> calls{0};
    gf::add_instrument_sync([](uint32_t, uint32_t) { calls.fetch_add(1); }, 1);
    gf::play_music(0, 0);
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while ((gf::music_row() < 2 || calls.load() == 0) && std::chrono::steady_clock::now() < give_up) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_GE(gf::music_row(), 2u);
    EXPECT_EQ(calls.load(), 1);
    gf::stop_music();
    const uint32_t stopped_at = gf::music_position();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(gf::music_position(), stopped_at);
}

}  // namespace
