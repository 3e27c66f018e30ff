// The offline capture pieces: lock-step frame and music timing, the frame
// files (PNG, WAV, CSV), the colour conversion and container of the video,
// and the progress line.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/frame_globals.h"
#include "driver/mp4_tracks.h"
#include "driver/capture_platform.h"
#include "platform/clock.h"
#include "platform/frame_files.h"
#include "platform/music.h"
#include "platform/progress.h"
#include "platform/video_encoder.h"

namespace gf {
namespace {

namespace fs = std::filesystem;

const std::string kModule = std::string(GF_TESTDATA_DIR) + "/it/NoteOffInstr.it";  // 3.84 s, instrument 1

fs::path scratch_dir(const std::string& name) {
    const fs::path dir = fs::temp_directory_path() / ("gf_capture_test_" + std::to_string(getpid()) + "_" + name);
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

std::vector<uint8_t> file_bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

uint32_t be32(const uint8_t* p) { return (uint32_t {p[0]} << 24) | (uint32_t {p[1]} << 16) | (uint32_t {p[2]} << 8) | p[3]; }

// ---------------------------------------------------------------- timing

TEST(CaptureTiming, FrameTimesAndSampleBoundariesNeverDrift) {
    const FrameRate sixty {60, 1};
    const FrameRate ntsc {60000, 1001};
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
    EXPECT_EQ(frame_start_ms(70u * 7200u, FrameRate {70, 1}), 7'200'000u);
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
    std::vector<int16_t> pcm;   // music only, up to its end
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
    std::vector<uint32_t> clocks;       // clock right after each update_display
    std::vector<std::size_t> chunks;    // samples handed over per update
    std::vector<int16_t> pcm;
    std::vector<CapturedFrame> frames;  // pixels not kept
    std::vector<uint32_t> first_pixels;
    CaptureStop stop = CaptureStop::None;
    uint64_t frames_presented = 0;
};

LoopResult run_loop(FrameRate rate, uint64_t max_frames, const std::atomic<bool>* interrupt,
                    int fail_at_frame = -1) {
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
        EXPECT_EQ(surface, screen);
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
    void SetUp() override {
        if (!fs::exists(kModule)) {
            GTEST_SKIP() << kModule << " not present: these tests play that module";
        }
        g_syncs.clear();
    }
    void TearDown() override { use_system_clock(); }
};

TEST_F(CaptureLoopTest, MusicIsRenderedInLockStepAndSyncsSeeTheirNotesSample) {
    const Reference ref = render_reference();
    const std::vector<SyncSeen> ref_syncs = g_syncs;
    ASSERT_GE(ref.notes.size(), 2u) << "the fixture module should play instrument 1 more than once";
    const uint64_t music_frames = ref.pcm.size() / 2;
    ASSERT_GT(music_frames, 44100u * 3);
    g_syncs.clear();

    const FrameRate ntsc {60000, 1001};
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
    EXPECT_TRUE(std::equal(ref.pcm.begin(), ref.pcm.end(), r.pcm.begin())) << "captured music differs from a straight render";
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
    for (const FrameRate rate : {FrameRate {50, 1}, FrameRate {10, 1}}) {
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
    LoopResult r = run_loop(FrameRate {60, 1}, 6, nullptr);
    ASSERT_EQ(r.clocks.size(), 6u);
    const auto odd = std::count_if(r.clocks.begin(), r.clocks.end(), [](uint32_t c) { return c % 2 == 1; });
    EXPECT_GT(odd, 0);
    EXPECT_LT(odd, 6);
}

TEST_F(CaptureLoopTest, InterruptFrameLimitAndRefusedOutputEachStopTheLoop) {
    std::atomic<bool> interrupt {true};
    {
        LoopResult r = run_loop(FrameRate {60, 1}, 0, &interrupt);
        const CaptureStop stop = r.stop;
        const uint64_t frames = r.frames_presented;
        EXPECT_EQ(stop, CaptureStop::Interrupted);
        EXPECT_EQ(frames, 0u) << "an interrupt before the first frame draws none";
    }
    {
        LoopResult r = run_loop(FrameRate {60, 1}, 5, nullptr);
        const CaptureStop stop = r.stop;
        const uint64_t frames = r.frames_presented;
        EXPECT_EQ(stop, CaptureStop::FrameLimit);
        EXPECT_EQ(frames, 5u);
        EXPECT_EQ(r.chunks.size(), 5u) << "the sound of the last frame is rendered too";
    }
    {
        LoopResult r = run_loop(FrameRate {60, 1}, 0, nullptr, 3);
        const CaptureStop stop = r.stop;
        const uint64_t frames = r.frames_presented;
        EXPECT_EQ(stop, CaptureStop::OutputFailed);
        EXPECT_EQ(frames, 4u) << "frames 0 to 3 were offered; the refusal of frame 3 ends the loop";
    }
}

// ---------------------------------------------------------------- PNG

std::vector<uint32_t> test_frame() {
    std::vector<uint32_t> pixels(320 * 200);
    for (int y = 0; y < 200; ++y) {
        for (int x = 0; x < 320; ++x) {
            pixels[static_cast<std::size_t>(y * 320 + x)] =
                (static_cast<uint32_t>(x & 0xFF) << 16) | (static_cast<uint32_t>(y) << 8) | static_cast<uint32_t>((x * y) & 0xFF);
        }
    }
    pixels[0] = 0xAB123456;  // the top byte carries no colour and is not stored
    return pixels;
}

TEST(PngFiles, WrittenFrameInflatesToRgbRowsWithValidChunks) {
    const std::vector<uint32_t> pixels = test_frame();
    const std::vector<uint8_t> png = encode_png(pixels.data(), 320, 200);
    const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    ASSERT_GT(png.size(), 8u + 25u + 12u + 12u);
    ASSERT_EQ(std::memcmp(png.data(), signature, 8), 0);
    // IHDR: 320 × 200, 8-bit RGB, no interlace; its CRC checked with zlib directly.
    ASSERT_EQ(be32(&png[8]), 13u);
    ASSERT_EQ(std::memcmp(&png[12], "IHDR", 4), 0);
    EXPECT_EQ(be32(&png[16]), 320u);
    EXPECT_EQ(be32(&png[20]), 200u);
    EXPECT_EQ(png[24], 8);
    EXPECT_EQ(png[25], 2);
    EXPECT_EQ(png[28], 0);
    EXPECT_EQ(be32(&png[29]), crc32(0, &png[12], 17));
    // IDAT follows; inflating it gives 200 rows of a filter byte and 960 colour bytes.
    const uint32_t idat_len = be32(&png[33]);
    ASSERT_EQ(std::memcmp(&png[37], "IDAT", 4), 0);
    ASSERT_LE(41u + idat_len + 4u + 12u, png.size());
    EXPECT_EQ(be32(&png[41 + idat_len]), crc32(0, &png[37], 4 + idat_len));
    std::vector<uint8_t> raw(200 * 961 + 16);
    uLongf raw_len = raw.size();
    ASSERT_EQ(uncompress(raw.data(), &raw_len, &png[41], idat_len), Z_OK);
    ASSERT_EQ(raw_len, 200u * 961u);
    EXPECT_EQ(raw[0], 0);
    EXPECT_EQ(raw[1], 0x12);  // pixel (0, 0): red, green, blue; top byte dropped
    EXPECT_EQ(raw[2], 0x34);
    EXPECT_EQ(raw[3], 0x56);
    const std::size_t at = 123 * 961 + 1 + 3 * 300;  // pixel (300, 123)
    EXPECT_EQ(raw[at], 300 & 0xFF);
    EXPECT_EQ(raw[at + 1], 123);
    EXPECT_EQ(raw[at + 2], (300 * 123) & 0xFF);
    // IEND closes the file.
    EXPECT_EQ(std::memcmp(&png[png.size() - 8], "IEND", 4), 0);
    // Same pixels, same bytes.
    EXPECT_EQ(encode_png(pixels.data(), 320, 200), png);
}

// A 3 × 2 RGBA PNG whose rows use the Paeth and Average filters, built by hand.
std::vector<uint8_t> hand_made_png(bool corrupt_crc) {
    std::vector<uint8_t> raw = {
        4, 10, 20, 30, 255, 5, 5, 5, 0, 1, 1, 1, 0,          // Paeth, first row: a from the left only
        3, 100, 100, 100, 9, 0, 0, 0, 0, 200, 200, 200, 0,   // Average of left and above
    };
    std::vector<uint8_t> packed(compressBound(static_cast<uLong>(raw.size())));
    uLongf packed_len = packed.size();
    compress(packed.data(), &packed_len, raw.data(), static_cast<uLong>(raw.size()));
    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    const auto chunk = [&png](const char* type, const std::vector<uint8_t>& data) {
        for (int s = 24; s >= 0; s -= 8) png.push_back(static_cast<uint8_t>(data.size() >> s));
        const std::size_t from = png.size();
        png.insert(png.end(), type, type + 4);
        png.insert(png.end(), data.begin(), data.end());
        const uint32_t crc = static_cast<uint32_t>(crc32(0, &png[from], static_cast<uInt>(4 + data.size())));
        for (int s = 24; s >= 0; s -= 8) png.push_back(static_cast<uint8_t>(crc >> s));
    };
    chunk("IHDR", {0, 0, 0, 3, 0, 0, 0, 2, 8, 6, 0, 0, 0});
    chunk("tEXt", {'a', 0, 'b'});  // ancillary: skipped
    chunk("IDAT", std::vector<uint8_t>(packed.begin(), packed.begin() + static_cast<std::ptrdiff_t>(packed_len)));
    chunk("IEND", {});
    if (corrupt_crc) {
        png[png.size() - 30] ^= 0x40;  // inside IDAT
    }
    return png;
}

TEST(PngFiles, ReaderUndoesRowFiltersAndRejectsDamagedFiles) {
    const std::vector<uint8_t> good = hand_made_png(false);
    PngImage image;
    const FileStatus status = decode_png(good.data(), good.size(), "hand.png", image);
    ASSERT_TRUE(status.ok) << status.message;
    ASSERT_EQ(image.width, 3);
    ASSERT_EQ(image.height, 2);
    // Row 0, Paeth with no row above predicts from the left: (10,20,30), (15,25,35), (16,26,36).
    EXPECT_EQ(image.pixels[0], 0x000A141Eu);
    EXPECT_EQ(image.pixels[1], 0x000F1923u);
    EXPECT_EQ(image.pixels[2], 0x00101A24u);
    // Row 1, Average of left and above: (0+10)/2+100 = 105, (0+20)/2+100 = 110, (0+30)/2+100 = 115;
    // then (105+15)/2 = 60, (110+25)/2 = 67, (115+35)/2 = 75; then (60+16)/2+200 = 238, (67+26)/2+200 = 246,
    // (75+36)/2+200 = 255.
    EXPECT_EQ(image.pixels[3], 0x00696E73u);
    EXPECT_EQ(image.pixels[4], 0x003C434Bu);
    EXPECT_EQ(image.pixels[5], 0x00EEF6FFu);

    const std::vector<uint8_t> bad_crc = hand_made_png(true);
    FileStatus s = decode_png(bad_crc.data(), bad_crc.size(), "bad.png", image);
    EXPECT_FALSE(s.ok);
    EXPECT_NE(s.message.find("bad.png"), std::string::npos);
    for (std::size_t cut : {std::size_t {5}, std::size_t {20}, good.size() - 13, good.size() - 1}) {
        s = decode_png(good.data(), cut, "cut.png", image);
        EXPECT_FALSE(s.ok) << "truncated to " << cut << " bytes";
        EXPECT_NE(s.message.find("cut.png"), std::string::npos);
    }
    s = read_png("/nonexistent/frame.png", image);
    EXPECT_FALSE(s.ok);
    EXPECT_NE(s.message.find("/nonexistent/frame.png"), std::string::npos);
}

// ---------------------------------------------------------------- WAV and frame folders

TEST(FrameFolder, WavHeaderSizesPngFramesAndCsvLinesAreWritten) {
    const fs::path dir = scratch_dir("folder");
    FrameFolderWriter writer;
    ASSERT_TRUE(writer.open(dir.string(), 44100).ok);
    const std::vector<uint32_t> pixels = test_frame();
    ASSERT_TRUE(writer.add_frame(0, 0, 0, 0, pixels.data()).ok);
    ASSERT_TRUE(writer.add_frame(1, 16, 7, 64, pixels.data()).ok);
    const int16_t sound[] = {1, -1, 32767, -32768, 300, -300};
    ASSERT_TRUE(writer.add_audio(sound, 3).ok);
    ASSERT_TRUE(writer.finish().ok);

    const std::vector<uint8_t> wav = file_bytes(dir / "audio.wav");
    ASSERT_EQ(wav.size(), 44u + 12u);
    const auto le32 = [&wav](std::size_t at) {
        return uint32_t {wav[at]} | (uint32_t {wav[at + 1]} << 8) | (uint32_t {wav[at + 2]} << 16) |
               (uint32_t {wav[at + 3]} << 24);
    };
    EXPECT_EQ(std::memcmp(wav.data(), "RIFF", 4), 0);
    EXPECT_EQ(le32(4), 36u + 12u);
    EXPECT_EQ(std::memcmp(&wav[8], "WAVEfmt ", 8), 0);
    EXPECT_EQ(le32(24), 44100u);
    EXPECT_EQ(le32(28), 44100u * 4u);
    EXPECT_EQ(le32(40), 12u);
    EXPECT_EQ(wav[44 + 4], 0xFF);  // 32767, little-endian
    EXPECT_EQ(wav[44 + 5], 0x7F);
    WavData back;
    ASSERT_TRUE(read_wav((dir / "audio.wav").string(), back).ok);
    EXPECT_EQ(back.channels, 2);
    EXPECT_EQ(back.samples, std::vector<int16_t>(std::begin(sound), std::end(sound)));

    std::ifstream csv(dir / "frames.csv");
    std::string header;
    std::string line0;
    std::string line1;
    std::getline(csv, header);
    std::getline(csv, line0);
    std::getline(csv, line1);
    EXPECT_EQ(header, "frame,ms,order,row");
    EXPECT_EQ(line0, "0,0,0,0");
    EXPECT_EQ(line1, "1,16,7,64");

    PngImage frame;
    ASSERT_TRUE(read_png((dir / FrameFolderWriter::frame_name(1)).string(), frame).ok);
    EXPECT_EQ(FrameFolderWriter::frame_name(1), "frame_000001.png");
    ASSERT_EQ(frame.pixels.size(), pixels.size());
    EXPECT_EQ(frame.pixels[0], 0x00123456u);
    EXPECT_TRUE(std::equal(pixels.begin() + 1, pixels.end(), frame.pixels.begin() + 1));

    // A WAV cut inside its data chunk header is refused with its name.
    {
        std::ofstream cut(dir / "cut.wav", std::ios::binary);
        cut.write(reinterpret_cast<const char*>(wav.data()), 40);
    }
    const FileStatus s = read_wav((dir / "cut.wav").string(), back);
    EXPECT_FALSE(s.ok);
    EXPECT_NE(s.message.find("cut.wav"), std::string::npos);
    FrameFolderWriter nowhere;
    const FileStatus no_dir = nowhere.open((dir / "missing" / "deeper").string(), 44100);
    EXPECT_FALSE(no_dir.ok);
    EXPECT_NE(no_dir.message.find("missing/deeper"), std::string::npos);
    fs::remove_all(dir);
}

// ---------------------------------------------------------------- video

TEST(VideoColour, Bt709LimitedRangeOfPrimaries) {
    uint8_t y = 0;
    uint8_t u = 0;
    uint8_t v = 0;
    rgb_to_yuv709(0x000000, y, u, v);
    EXPECT_EQ(y, 16);
    EXPECT_EQ(u, 128);
    EXPECT_EQ(v, 128);
    rgb_to_yuv709(0xFFFFFF, y, u, v);
    EXPECT_EQ(y, 235);
    EXPECT_EQ(u, 128);
    EXPECT_EQ(v, 128);
    // Red: Y = 16 + 219·0.2126 = 62.6; U = 128 − 112·0.2126/0.9278 = 102.3; V = 128 + 112 = 240.
    rgb_to_yuv709(0xFF0000, y, u, v);
    EXPECT_EQ(y, 63);
    EXPECT_EQ(u, 102);
    EXPECT_EQ(v, 240);
    // Blue: Y = 16 + 219·0.0722 = 31.8; U = 240; V = 128 − 112·0.0722/0.7874 = 117.7.
    rgb_to_yuv709(0x0000FF, y, u, v);
    EXPECT_EQ(y, 32);
    EXPECT_EQ(u, 240);
    EXPECT_EQ(v, 118);
}

TEST(VideoColour, NearestNeighbourBlocksAndChromaAcrossOddScaleSeams) {
    std::vector<uint32_t> pixels(320 * 200, 0);
    pixels[0] = 0xFF0000;  // red at (0, 0)
    pixels[1] = 0x0000FF;  // blue at (1, 0)
    pixels[320] = 0xFFFFFF;  // white at (0, 1)
    const int w = 1600;
    const int h = 1200;
    std::vector<uint8_t> yp(static_cast<std::size_t>(w * h));
    std::vector<uint8_t> up(static_cast<std::size_t>(w / 2 * h / 2));
    std::vector<uint8_t> vp(up.size());
    frame_to_yuv420(pixels.data(), 5, 6, yp.data(), w, up.data(), w / 2, vp.data(), w / 2);
    // Red covers output columns 0-4 and rows 0-5; blue columns 5-9; white rows 6-11.
    EXPECT_EQ(yp[0], 63);
    EXPECT_EQ(yp[5 * w + 4], 63);
    EXPECT_EQ(yp[5], 32);
    EXPECT_EQ(yp[5 * w + 9], 32);
    EXPECT_EQ(yp[10], 16);
    EXPECT_EQ(yp[6 * w + 0], 235);
    EXPECT_EQ(yp[11 * w + 4], 235);
    EXPECT_EQ(yp[12 * w + 0], 16);
    // Chroma column 2 covers output columns 4 (red) and 5 (blue): the mean of red and blue,
    // (127.5, 0, 127.5): U = 128 + 112·(127.5 − 36.3)/(255·0.9278) = 171.2, V = 128 + 112·(127.5 − 36.3)/(255·0.7874) = 178.9.
    EXPECT_EQ(up[2], 171);
    EXPECT_EQ(vp[2], 179);
    EXPECT_EQ(up[0], 102);  // pure red
    EXPECT_EQ(vp[3], 118);  // pure blue
    // Chroma rows 0-2 cover output rows 0-5 (the red row), row 3 the white row.
    EXPECT_EQ(vp[2 * (w / 2)], 240);
    EXPECT_EQ(vp[3 * (w / 2)], 128);
}

// At a size that is not a whole multiple (2880 × 2160 is 9 × 10.8) every source row and column
// still shows, each on a run of 9 columns and 10 or 11 rows, in order.
TEST(VideoColour, UnevenScaleKeepsEverySourceRowAndColumn) {
    std::vector<uint32_t> pixels(320 * 200);
    for (int y = 0; y < 200; ++y) {
        for (int x = 0; x < 320; ++x) {
            pixels[static_cast<std::size_t>(y * 320 + x)] = static_cast<uint32_t>(((x + y) % 2) * 0xFFFFFF);
        }
    }
    const int w = 2880;
    const int h = 2160;
    std::vector<uint8_t> yp(static_cast<std::size_t>(w) * h);
    std::vector<uint8_t> up(static_cast<std::size_t>(w / 2) * (h / 2));
    std::vector<uint8_t> vp(up.size());
    frame_to_yuv420_sized(pixels.data(), w, h, yp.data(), w, up.data(), w / 2, vp.data(), w / 2);
    // Down the first column: runs of one luma value alternate black and white, one per source row.
    std::vector<int> runs;
    for (int y = 0; y < h; ++y) {
        if (y == 0 || yp[static_cast<std::size_t>(y) * w] != yp[static_cast<std::size_t>(y - 1) * w]) {
            runs.push_back(0);
        }
        ++runs.back();
    }
    ASSERT_EQ(runs.size(), 200u);
    EXPECT_EQ(*std::min_element(runs.begin(), runs.end()), 10);
    EXPECT_EQ(*std::max_element(runs.begin(), runs.end()), 11);
    // Along the last row, every column is 9 wide.
    const uint8_t* last = &yp[static_cast<std::size_t>(h - 1) * w];
    for (int x = 0; x < w; ++x) {
        ASSERT_EQ(last[x], last[(x / 9) * 9]) << x;
        if (x % 9 == 0 && x > 0) {
            ASSERT_NE(last[x], last[x - 1]) << x;
        }
    }
}

TEST(VideoFile, Mp4HoldsH264AndAacOfTheSameLength) {
    const fs::path dir = scratch_dir("video");
    const fs::path path = dir / "clip.mp4";
    VideoSettings settings;
    settings.width = 1280;  // square pixels
    settings.height = 800;
    VideoEncoder encoder;
    const VideoStatus opened = encoder.open(path.string(), path.string(), settings);
    ASSERT_TRUE(opened.ok) << opened.message;
    EXPECT_EQ(encoder.video_codec_name(), "libx264");
    std::vector<uint32_t> pixels = test_frame();
    std::vector<int16_t> sound(2 * 735);
    for (int k = 0; k < 45; ++k) {  // 0.75 s: 33075 samples, not a whole number of AAC frames
        pixels[static_cast<std::size_t>(k)] = 0xFFFFFF;
        for (std::size_t i = 0; i < sound.size(); ++i) {
            sound[i] = static_cast<int16_t>(((k * 735 + static_cast<int>(i / 2)) % 100) * 300 - 15000);
        }
        ASSERT_TRUE(encoder.add_frame(pixels.data()).ok);
        ASSERT_TRUE(encoder.add_audio(sound.data(), 735).ok);
    }
    const VideoStatus finished = encoder.finish();
    ASSERT_TRUE(finished.ok) << finished.message;

    const std::vector<uint8_t> file = file_bytes(path);
    ASSERT_GT(file.size(), 1000u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&file[4]), 4), "ftyp");
    const test::Mp4Lengths lengths = test::mp4_track_lengths(file);
    ASSERT_TRUE(lengths.ok);
    const double video_s = lengths.video_seconds;
    const double audio_s = lengths.audio_seconds;
    EXPECT_NEAR(video_s, 0.75, 1e-6);
    EXPECT_NEAR(audio_s, video_s, 1.0 / 60.0) << "audio and video differ by more than a frame";
    EXPECT_TRUE(std::search(file.begin(), file.end(), std::begin("avc1") , std::end("avc1") - 1) != file.end());
    EXPECT_TRUE(std::search(file.begin(), file.end(), std::begin("mp4a"), std::end("mp4a") - 1) != file.end());
    // Arithmetic coding (CABAC), which keeps these files small, needs the Main profile (77) or
    // above; the profile is the second byte after the 'avcC' box's name.
    const auto avcc = std::search(file.begin(), file.end(), std::begin("avcC"), std::end("avcC") - 1);
    ASSERT_LT(avcc + 5, file.end());
    EXPECT_GE(avcc[5], 77) << "H.264 profile without CABAC";
    fs::remove_all(dir);
}

TEST(VideoFile, UnknownContainerAndBadSizeAreRefusedByName) {
    VideoEncoder encoder;
    VideoStatus s = encoder.open("/tmp/x.partial", "show.notavideo", VideoSettings {});
    EXPECT_FALSE(s.ok);
    EXPECT_NE(s.message.find("show.notavideo"), std::string::npos);
    VideoSettings odd;
    odd.width = 1001;
    s = encoder.open("/tmp/y.mp4", "/tmp/y.mp4", odd);
    EXPECT_FALSE(s.ok);
    EXPECT_NE(s.message.find("1001"), std::string::npos);
    s = encoder.open("/nonexistent/dir/z.mp4", "/nonexistent/dir/z.mp4", VideoSettings {});
    EXPECT_FALSE(s.ok);
    EXPECT_NE(s.message.find("/nonexistent/dir/z.mp4"), std::string::npos);
    EXPECT_FALSE(encoder.add_frame(test_frame().data()).ok) << "a failed open leaves nothing to write to";
}

// ---------------------------------------------------------------- progress

TEST(Progress, BarShowsShareFpsAndTimeLeft) {
    EXPECT_EQ(format_minutes(0), "0:00");
    EXPECT_EQ(format_minutes(61.9), "1:01");
    EXPECT_EQ(format_minutes(130.6), "2:10");
    EXPECT_EQ(format_minutes(-1), "-:--");
    ProgressSnapshot s;
    s.frames = 600;
    s.show_seconds = 10;  // 10 s of a 40 s show in 5 s: 2 show seconds a second, 15 s left
    s.total_seconds = 40;
    s.order = 7;
    s.row = 64;
    s.wall_seconds = 5;
    const std::string line = format_progress(s, 8);
    EXPECT_EQ(line.substr(0, 10), "[##------]");
    EXPECT_NE(line.find(" 25%"), std::string::npos) << line;
    EXPECT_NE(line.find("order  7 row  64"), std::string::npos) << line;
    EXPECT_NE(line.find("120 fps"), std::string::npos) << line;
    EXPECT_NE(line.find("0:15 left"), std::string::npos) << line;
    s.total_seconds = 0;  // unknown length
    EXPECT_NE(format_progress(s, 8).find("-:-- left"), std::string::npos);

    // Not live: only the summary line is printed.
    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    ProgressDisplay quiet(false, out);
    quiet.update(s);
    quiet.finish("done");
    std::rewind(out);
    char text[64] = {};
    const std::size_t n = std::fread(text, 1, sizeof text - 1, out);
    std::fclose(out);
    EXPECT_EQ(std::string(text, n), "done\n");
}

// From a start position the bar measures the music still to play, not the whole module.
TEST(Progress, LengthFromAStartPositionIsWhatIsLeftOfTheMusic) {
    const std::string module = std::string(GF_DATA_DIR) + "/xmas.it";
    const double whole = music_seconds_from(module, 0, 0);
    const double from_last = music_seconds_from(module, 16, 0);
    EXPECT_GT(whole, 60.0);
    EXPECT_GT(from_last, 0.0);
    EXPECT_LT(from_last, whole / 4);
    EXPECT_EQ(music_seconds_from(module + ".missing", 0, 0), 0.0);
}

}  // namespace
}  // namespace gf
