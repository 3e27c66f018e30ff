// The offline capture loop: lock-step frame and music timing. The files it
// writes are tested with the platform code that writes them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/frame_globals.h"
#include "driver/capture_platform.h"
#include "platform/clock.h"
#include "platform/music.h"
#include "writers/it_writer.h"

namespace gf {
namespace {

namespace fs = std::filesystem;

// The module the capture loop plays, written by the test: one 32-row pattern at
// speed 6, tempo 125 (0.12 s a row, 3.84 s in all). Instrument 1 is struck on
// every eighth row of channel 0 and instrument 2 on the rows between, on
// channel 1, so the syncs on instrument 1 must let notes pass; the looped saw
// waves sound until the module ends, and nothing fades it.
std::vector<uint8_t> fixture_module() {
    itw::Module m;
    m.channels = 2;
    m.orders = {0};
    m.patterns.emplace_back(32, 2);
    for (int i = 1; i <= 2; ++i) {
        itw::Instrument instrument;
        instrument.sample = i;
        m.instruments.push_back(instrument);
        itw::Sample saw;
        for (int k = 0; k < 100; ++k) {
            saw.data.push_back(static_cast<int16_t>((k * 600 - 30000) / i));
        }
        saw.loop = true;
        saw.loop_end = 100;
        m.samples.push_back(saw);
    }
    for (int row = 0; row < 32; row += 4) {
        itw::Cell& cell = m.patterns[0].at(row, row % 8 == 0 ? 0 : 1);
        cell.note = itw::kMiddleC;
        cell.instrument = row % 8 == 0 ? 1 : 2;
    }
    return itw::write_it(m);
}

const std::string kModule =
    (fs::temp_directory_path() / ("gf_capture_test_" + std::to_string(::getpid()) + ".it")).string();

// ---------------------------------------------------------------- timing

TEST(CaptureTiming, FrameTimesAndSampleBoundariesNeverDrift) {
    const FrameRate sixty{60, 1};
    const FrameRate ntsc{60000, 1001};
    // 60 fps: 16.67 ms a frame, 735 samples a frame exactly.
    EXPECT_EQ(frame_start_ms(1, sixty), 16u);
    EXPECT_EQ(frame_start_ms(3, sixty), 50u);
    EXPECT_EQ(frame_start_sample(7, sixty), 7u * 735u);
    // 59.94 fps: after 60000 frames exactly 1001 s have passed, to the ms and to the sample;
    // summing a rounded per-frame step (16 or 17 ms, 735 or 736 samples) would be off by seconds.
    EXPECT_EQ(frame_start_ms(60000, ntsc), 1'001'000u);
    EXPECT_EQ(frame_start_sample(60000, ntsc), 44'144'100u);
    EXPECT_EQ(frame_start_sample(1, ntsc), 735u);
    EXPECT_EQ(frame_start_sample(2, ntsc), 1471u);
    // A show of two hours at 70 fps does not overflow.
    EXPECT_EQ(frame_start_ms(70u * 7200u, FrameRate{70, 1}), 7'200'000u);
    EXPECT_EQ(sample_ms(44100), 1000u);
    EXPECT_EQ(sample_ms(44099), 999u);
    EXPECT_EQ(sample_ms(441), 10u);
}

// ---------------------------------------------------------------- lock-step rendering

struct SyncSeen {
    uint32_t handle;
    uint32_t clock;
};
std::vector<SyncSeen> g_syncs;
void record_sync(uint32_t handle, uint32_t) { g_syncs.push_back({handle, time_get_time()}); }

// The module rendered straight through the music API, with the stream position of every instrument-1 note.
// It is pulled in the pieces a 59.94 fps capture pulls (735 or 736 samples), worked out here from
// the rate: the player reports a note at the start of the step in which it finds the row, so the
// reported positions depend on how the stream is cut.
struct Reference {
    std::vector<int16_t> pcm;  // music only, up to its end
    std::vector<uint64_t> notes;
};

Reference render_reference() {
    Reference ref;
    EXPECT_TRUE(init_music(AudioOutput::Offline).ok);
    EXPECT_TRUE(load_module(kModule).ok);
    EXPECT_NE(add_instrument_sync(record_sync, 1), 0u);
    set_sync_position_hook([&ref](uint64_t frame) { ref.notes.push_back(frame); });
    play_music(0, 0);
    std::vector<int16_t> chunk(2 * 1000);
    uint64_t done = 0;
    for (uint64_t k = 1; k < 100000; ++k) {
        const uint64_t boundary = k * 44100 * 1001 / 60000;
        const std::size_t want = static_cast<std::size_t>(boundary - done);
        const std::size_t got = render_music(chunk.data(), want);
        done = boundary;
        ref.pcm.insert(ref.pcm.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(2 * got));
        if (got < want) {
            break;
        }
    }
    stop_music();
    free_music();
    return ref;
}

// The frame loop as the demo runs it, with nothing drawn but a marker per frame.
struct LoopResult {
    std::vector<uint32_t> clocks;     // clock right after each update_display
    std::vector<std::size_t> chunks;  // samples handed over per update
    std::vector<int16_t> pcm;
    std::vector<CapturedFrame> frames;  // pixels not kept
    std::vector<uint32_t> first_pixels;
    CaptureStop stop = CaptureStop::None;
    uint64_t frames_presented = 0;
};

LoopResult run_loop(FrameRate rate, uint64_t max_frames, const std::atomic<bool>* interrupt, int fail_at_frame = -1) {
    LoopResult r;
    CaptureSink sink;
    sink.frame = [&r, fail_at_frame](const CapturedFrame& f) {
        r.frames.push_back(f);
        r.first_pixels.push_back(f.pixels[0]);
        return static_cast<int>(f.index) != fail_at_frame;
    };
    sink.audio = [&r](const int16_t* s, std::size_t n) {
        r.chunks.push_back(n);
        r.pcm.insert(r.pcm.end(), s, s + 2 * n);
        return true;
    };
    CapturePlatform platform(rate, sink, max_frames, interrupt);
    EXPECT_TRUE(platform.open_display("Glimmerfrost", 320, 200, 0).ok);
    EXPECT_TRUE(platform.init_music().ok);
    EXPECT_TRUE(platform.load_module(kModule).ok);
    EXPECT_NE(platform.add_instrument_sync(record_sync, 1), 0u);
    platform.play_music(0, 0);
    uint32_t marker = 0x00102030;
    for (int guard = 0; guard < 100000 && !platform.key_pressed(); ++guard) {
        uint32_t* surface = platform.lock_frame();
        surface[0] = marker++;
        platform.unlock_frame();
        platform.present_frame();
        platform.update_display();
        r.clocks.push_back(time_get_time());
    }
    platform.stop_music();
    platform.free_music();
    platform.destroy_display();
    r.stop = platform.stop_reason();
    r.frames_presented = platform.frames();
    return r;
}

class CaptureLoopTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        const std::vector<uint8_t> bytes = fixture_module();
        std::ofstream(kModule, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    static void TearDownTestSuite() { fs::remove(kModule); }
    void SetUp() override {
        ASSERT_TRUE(fs::exists(kModule)) << kModule << " could not be written";
        g_syncs.clear();
    }
    void TearDown() override { use_system_clock(); }
};

TEST_F(CaptureLoopTest, MusicIsRenderedInLockStepAndSyncsSeeTheirNotesSample) {
    const Reference ref = render_reference();
    const std::vector<SyncSeen> ref_syncs = g_syncs;
    ASSERT_EQ(ref.notes.size(), 4u) << "the fixture module plays instrument 1 four times";
    const uint64_t music_frames = ref.pcm.size() / 2;
    ASSERT_EQ(music_frames, 32u * 5292u) << "32 rows of 5292 samples";
    g_syncs.clear();

    const FrameRate ntsc{60000, 1001};
    LoopResult r = run_loop(ntsc, 0, nullptr);
    const CaptureStop stop = r.stop;
    const uint64_t frames = r.frames_presented;

    // The module has no fade: the capture stops one second of show after the music's end.
    EXPECT_EQ(stop, CaptureStop::MusicEnded);
    const uint64_t end_ms = music_frames * 1000 / 44100;
    uint64_t expected_frames = 0;
    while (expected_frames * 1001 / 60 < end_ms + 1000) {
        ++expected_frames;
    }
    EXPECT_EQ(frames, expected_frames);
    ASSERT_EQ(r.frames.size(), expected_frames);
    ASSERT_EQ(r.clocks.size(), expected_frames);

    // Each update hands over exactly the samples of one frame interval: 735 or 736 at 59.94 fps,
    // adding up to the frame boundary, and the music in them is the music of a straight render.
    ASSERT_EQ(r.chunks.size(), expected_frames);
    uint64_t total = 0;
    for (std::size_t k = 0; k < r.chunks.size(); ++k) {
        EXPECT_TRUE(r.chunks[k] == 735 || r.chunks[k] == 736) << "frame " << k << ": " << r.chunks[k];
        total += r.chunks[k];
    }
    EXPECT_EQ(total, expected_frames * 44100 * 1001 / 60000);
    ASSERT_GE(r.pcm.size(), ref.pcm.size());
    EXPECT_TRUE(std::equal(ref.pcm.begin(), ref.pcm.end(), r.pcm.begin()))
        << "captured music differs from a straight render";
    EXPECT_TRUE(std::all_of(r.pcm.begin() + static_cast<std::ptrdiff_t>(ref.pcm.size()), r.pcm.end(),
                            [](int16_t v) { return v == 0; }));

    // After frame k the clock stands at frame k + 1's time, counted from an odd start.
    for (std::size_t k = 0; k < r.clocks.size(); ++k) {
        ASSERT_EQ(r.clocks[k], kCaptureClockStart + (k + 1) * 1001 / 60) << "after frame " << k;
        EXPECT_EQ(r.frames[k].index, k);
        EXPECT_EQ(r.frames[k].ms, k * 1001 / 60);
        EXPECT_EQ(r.first_pixels[k], 0x00102030u + k) << "the frame drawn is the frame handed over";
    }

    // Every note's sync saw the clock at its own sample, not at a frame boundary.
    ASSERT_EQ(g_syncs.size(), ref.notes.size());
    for (std::size_t i = 0; i < ref.notes.size(); ++i) {
        EXPECT_EQ(g_syncs[i].clock, kCaptureClockStart + ref.notes[i] * 1000 / 44100) << "note " << i;
        EXPECT_EQ(g_syncs[i].handle, ref_syncs[i].handle);
    }
    // The last frame before the end was drawn while the music was playing; after it, order 0xFFFF.
    EXPECT_EQ(r.frames.back().order, kOrderAfterEnd);
    EXPECT_NE(r.frames.front().order, kOrderAfterEnd);
}

TEST_F(CaptureLoopTest, FrameTimesAreOddAtEveryRateSoTheClosingFadeAlwaysProgresses) {
    // The fade steps only on odd frame times. At 50 and 10 fps the frame interval is an even
    // number of ms, so every frame time has the parity of the start.
    for (const FrameRate rate : {FrameRate{50, 1}, FrameRate{10, 1}}) {
        LoopResult r = run_loop(rate, 20, nullptr);
        const CaptureStop stop = r.stop;
        const uint64_t frames = r.frames_presented;
        EXPECT_EQ(stop, CaptureStop::FrameLimit);
        ASSERT_EQ(frames, 20u);
        for (uint32_t clock : r.clocks) {
            EXPECT_EQ(clock % 2, 1u) << "frame time " << clock << " at " << rate.num << " fps";
        }
    }
    // At 60 fps the times go 16, 33, 50 … past the start: both parities occur.
    LoopResult r = run_loop(FrameRate{60, 1}, 6, nullptr);
    ASSERT_EQ(r.clocks.size(), 6u);
    const auto odd = std::count_if(r.clocks.begin(), r.clocks.end(), [](uint32_t c) { return c % 2 == 1; });
    EXPECT_GT(odd, 0);
    EXPECT_LT(odd, 6);
}

TEST_F(CaptureLoopTest, InterruptFrameLimitAndRefusedOutputEachStopTheLoop) {
    std::atomic<bool> interrupt{true};
    {
        LoopResult r = run_loop(FrameRate{60, 1}, 0, &interrupt);
        const CaptureStop stop = r.stop;
        const uint64_t frames = r.frames_presented;
        EXPECT_EQ(stop, CaptureStop::Interrupted);
        EXPECT_EQ(frames, 0u) << "an interrupt before the first frame draws none";
    }
    {
        LoopResult r = run_loop(FrameRate{60, 1}, 5, nullptr);
        const CaptureStop stop = r.stop;
        const uint64_t frames = r.frames_presented;
        EXPECT_EQ(stop, CaptureStop::FrameLimit);
        EXPECT_EQ(frames, 5u);
        EXPECT_EQ(r.chunks.size(), 5u) << "the sound of the last frame is rendered too";
    }
    {
        LoopResult r = run_loop(FrameRate{60, 1}, 0, nullptr, 3);
        const CaptureStop stop = r.stop;
        const uint64_t frames = r.frames_presented;
        EXPECT_EQ(stop, CaptureStop::OutputFailed);
        EXPECT_EQ(frames, 4u) << "frames 0 to 3 were offered; the refusal of frame 3 ends the loop";
    }
}

}  // namespace
}  // namespace gf
