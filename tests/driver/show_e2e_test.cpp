// The whole show captured by the real program with no display, checked the
// way a viewer would: every order in turn, the end through the fade, scenes
// that look like their scenes, flashes on their notes, the same bytes twice,
// and no file left behind by a refused or interrupted capture.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "common/types.h"
#include "driver/capture.h"
#include "driver/data_files.h"
#include "driver/mp4_tracks.h"
#include "platform/frame_files.h"
#include "platform/image_loader.h"
#include "platform/music.h"
#include "platform/progress.h"
#include "support/run_process.h"

namespace gf {
namespace {

namespace fs = std::filesystem;
using testing::ProcessOptions;
using testing::ProcessResult;
using testing::run_process;

constexpr int kFps = 10;                     // 100 ms a frame: the whole show in about 1300 frames
constexpr uint64_t kSamplesPerFrame = 4410;  // 44100 / 10
constexpr uint32_t kFadeOrder = 16;

const std::string kData = GF_DATA_DIR;

fs::path scratch(const std::string& name) {
    const fs::path dir = fs::temp_directory_path() / ("gf_show_e2e_" + std::to_string(getpid()) + "_" + name);
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

std::vector<uint8_t> bytes_of(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

ProcessResult run_program(std::vector<std::string> args, double timeout = 240.0, double sigterm_after = -1.0) {
    ProcessOptions options;
    options.args = std::move(args);
    options.timeout_seconds = timeout;
    options.send_sigterm_after = sigterm_after;
    options.env = {{"SDL_VIDEODRIVER", "dummy"}, {"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}};
    return run_process(GF_EXECUTABLE, options);
}

struct FrameRow {
    uint64_t frame = 0;
    uint64_t ms = 0;
    uint32_t order = 0;
    uint32_t row = 0;
};

std::vector<FrameRow> read_csv(const fs::path& path) {
    std::vector<FrameRow> rows;
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);  // header
    while (std::getline(in, line)) {
        FrameRow r;
        char c1 = 0;
        char c2 = 0;
        char c3 = 0;
        std::istringstream fields(line);
        fields >> r.frame >> c1 >> r.ms >> c2 >> r.order >> c3 >> r.row;
        if (!fields || c1 != ',' || c2 != ',' || c3 != ',') {
            ADD_FAILURE() << path << ": bad line '" << line << "'";
            break;
        }
        rows.push_back(r);
    }
    return rows;
}

std::vector<uint32_t> picture(const std::string& file) {
    Image image;
    const Status status = load_jpeg(image, kData + "/" + file);
    EXPECT_TRUE(status.ok) << status.message;
    std::vector<uint32_t> pixels;
    if (status.ok) {
        pixels.assign(image.pixels, image.pixels + kScreenPixels);
        release_image(image);
    }
    return pixels;
}

uint8_t channel(uint32_t p, int shift) { return static_cast<uint8_t>(p >> shift); }

// Every instrument-1 note of the module, as the music player reports it when it is pulled
// one 10 fps frame at a time, exactly as the capture pulls it.
struct Note {
    uint64_t sample = 0;
    uint32_t order = 0;
};
std::vector<Note>* g_notes = nullptr;
uint64_t g_note_sample = 0;
void on_note(uint32_t, uint32_t) { g_notes->push_back({g_note_sample, music_order()}); }

struct Reference {
    std::vector<Note> notes;
    std::vector<int16_t> pcm;
};

Reference render_reference() {
    Reference ref;
    g_notes = &ref.notes;
    EXPECT_TRUE(init_music(AudioOutput::Offline).ok);
    EXPECT_TRUE(load_module(kData + "/xmas.it").ok);
    add_instrument_sync(on_note, 1);
    set_sync_position_hook([](uint64_t sample) { g_note_sample = sample; });
    play_music(0, 0);
    std::vector<int16_t> chunk(2 * kSamplesPerFrame);
    for (int k = 0; k < 100000; ++k) {
        const std::size_t got = render_music(chunk.data(), kSamplesPerFrame);
        ref.pcm.insert(ref.pcm.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(2 * got));
        if (got < kSamplesPerFrame) {
            break;
        }
    }
    stop_music();
    free_music();
    g_notes = nullptr;
    return ref;
}

// One capture of the whole show to frames, shared by the tests below.
class ShowCapture : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new fs::path(scratch("show") / "frames");
        run_ = new ProcessResult(
            run_program({"--data", kData, "--frames", dir_->string(), "--fps", std::to_string(kFps)}));
        rows_ = new std::vector<FrameRow>(read_csv(*dir_ / "frames.csv"));
    }
    static void TearDownTestSuite() {
        fs::remove_all(dir_->parent_path());
        delete dir_;
        delete run_;
        delete rows_;
    }

    static std::vector<uint32_t> frame(uint64_t index) {
        PngImage image;
        const Status status = read_png((*dir_ / FrameFolderWriter::frame_name(index)).string(), image);
        EXPECT_TRUE(status.ok) << status.message;
        EXPECT_EQ(image.pixels.size(), static_cast<std::size_t>(kScreenPixels));
        image.pixels.resize(kScreenPixels);
        return image.pixels;
    }
    static std::vector<FrameRow> frames_of(uint32_t order) {
        std::vector<FrameRow> out;
        std::copy_if(rows_->begin(), rows_->end(), std::back_inserter(out),
                     [order](const FrameRow& r) { return r.order == order; });
        return out;
    }

    static fs::path* dir_;
    static ProcessResult* run_;
    static std::vector<FrameRow>* rows_;
};

fs::path* ShowCapture::dir_ = nullptr;
ProcessResult* ShowCapture::run_ = nullptr;
std::vector<FrameRow>* ShowCapture::rows_ = nullptr;

TEST_F(ShowCapture, EveryOrderPlaysInTurnAndTheFadeEndsTheShowBeforeTheMusicDoes) {
    ASSERT_FALSE(run_->timed_out);
    ASSERT_EQ(run_->exit_code, 0) << run_->err;
    EXPECT_EQ(run_->err.find("music ended"), std::string::npos) << run_->err;
    ASSERT_FALSE(rows_->empty());
    std::set<uint32_t> seen;
    for (std::size_t k = 0; k < rows_->size(); ++k) {
        const FrameRow& r = (*rows_)[k];
        ASSERT_EQ(r.frame, k);
        ASSERT_EQ(r.ms, k * 1000 / kFps);
        ASSERT_LE(r.order, kFadeOrder) << "frame " << k << " is past the module's last order";
        if (k > 0) {
            const FrameRow& p = (*rows_)[k - 1];
            ASSERT_TRUE(r.order > p.order || (r.order == p.order && r.row >= p.row))
                << "frame " << k << " goes back from " << p.order << ":" << p.row << " to " << r.order << ":" << r.row;
        }
        seen.insert(r.order);
        EXPECT_TRUE(fs::exists(*dir_ / FrameFolderWriter::frame_name(k)));
    }
    EXPECT_EQ(seen.size(), 17u);
    EXPECT_EQ(rows_->back().order, kFadeOrder);
    // The fade takes 2 from the volume (100) on every frame whose time is odd, held to a line
    // that reaches 0 in about 1.3 s: at 10 fps the line leads, and the 15th frame of order 16 ends the show.
    EXPECT_EQ(frames_of(kFadeOrder).size(), 15u);
    // The sound lasts exactly as long as the pictures.
    WavData wav;
    ASSERT_TRUE(read_wav((*dir_ / "audio.wav").string(), wav).ok);
    EXPECT_EQ(wav.sample_rate, 44100);
    EXPECT_EQ(wav.samples.size(), 2 * kSamplesPerFrame * rows_->size());
}

TEST_F(ShowCapture, ScenesLookLikeTheirScenes) {
    ASSERT_EQ(run_->exit_code, 0) << run_->err;
    // Credits (order 8): the picture, inverted on rows divisible by 4, with white snow added:
    // every pixel is the base or brighter by the same amount in each channel (or saturated).
    const std::vector<uint32_t> credits = picture("credits.jpg");
    const std::vector<FrameRow> credit_frames = frames_of(8);
    ASSERT_FALSE(credit_frames.empty());
    for (const FrameRow& r : credit_frames) {
        const std::vector<uint32_t> f = frame(r.frame);
        const bool inverted = r.row % 4 == 0;
        int exact = 0;
        for (int i = 0; i < kScreenPixels; ++i) {
            const uint32_t base = inverted ? 0xFFFFFFu - (credits[static_cast<std::size_t>(i)] & 0xFFFFFFu)
                                           : credits[static_cast<std::size_t>(i)];
            const uint32_t p = f[static_cast<std::size_t>(i)];
            int added = -1;  // the grey of the snow layer at this pixel, seen in every unsaturated channel
            for (int shift : {16, 8, 0}) {
                ASSERT_GE(channel(p, shift), channel(base, shift)) << "frame " << r.frame << " pixel " << i;
                if (channel(p, shift) < 255) {
                    const int d = channel(p, shift) - channel(base, shift);
                    ASSERT_TRUE(added < 0 || added == d) << "frame " << r.frame << " pixel " << i << " adds a colour";
                    added = d;
                }
            }
            exact += p == base;
        }
        EXPECT_GT(exact, kScreenPixels / 5) << "frame " << r.frame << " hardly shows the credits picture";
    }
    // Order 15: black plus the flash, one uniform grey.
    for (const FrameRow& r : frames_of(15)) {
        const std::vector<uint32_t> f = frame(r.frame);
        const uint32_t g = f[0] & 0xFF;
        EXPECT_EQ(f[0], g * 0x010101u) << "frame " << r.frame;
        EXPECT_TRUE(std::all_of(f.begin(), f.end(), [&](uint32_t p) { return p == f[0]; })) << "frame " << r.frame;
    }
    // Orders 12 and 13: on rows divisible by 4 the picture replaces the frame; otherwise the blurred
    // cubes on black, whose outermost rows and columns stay black.
    const std::vector<uint32_t> boem = picture("boem.jpg");
    int picture_frames = 0;
    for (uint32_t order : {12u, 13u}) {
        for (const FrameRow& r : frames_of(order)) {
            const std::vector<uint32_t> f = frame(r.frame);
            if (r.row % 4 == 0) {
                EXPECT_EQ(f, boem) << "frame " << r.frame;
                ++picture_frames;
            } else {
                for (int x = 0; x < kScreenWidth; ++x) {
                    ASSERT_EQ(f[static_cast<std::size_t>(x)], 0u) << "frame " << r.frame;
                    ASSERT_EQ(f[static_cast<std::size_t>(199 * kScreenWidth + x)], 0u) << "frame " << r.frame;
                }
            }
        }
    }
    EXPECT_GT(picture_frames, 0);
    // Order 16: black with at most 256 white flakes and no trails.
    for (const FrameRow& r : frames_of(kFadeOrder)) {
        const std::vector<uint32_t> f = frame(r.frame);
        const auto white = std::count(f.begin(), f.end(), 0xFFFFFFu);
        const auto black = std::count(f.begin(), f.end(), 0u);
        EXPECT_EQ(white + black, kScreenPixels) << "frame " << r.frame;
        EXPECT_GT(white, 0) << "frame " << r.frame;
        EXPECT_LE(white, 256) << "frame " << r.frame;
    }
    // Order 7 from row 64: noise plus a grey flash, so every pixel is grey.
    for (const FrameRow& r : frames_of(7)) {
        if (r.row < 64) {
            continue;
        }
        const std::vector<uint32_t> f = frame(r.frame);
        EXPECT_TRUE(
            std::all_of(f.begin(), f.end(),
                        [](uint32_t p) { return channel(p, 16) == channel(p, 8) && channel(p, 8) == channel(p, 0); }))
            << "frame " << r.frame;
    }
}

TEST_F(ShowCapture, FlashesLightTheFirstFrameAtOrAfterTheirNote) {
    ASSERT_EQ(run_->exit_code, 0) << run_->err;
    const Reference ref = render_reference();
    ASSERT_FALSE(ref.notes.empty());
    const std::vector<uint32_t> kerst = picture("kerst.jpg");
    // Orders 14 and 15 clear the pending flag every frame, so the first note heard while a frame
    // is on screen restarts the flash, at that note's own time. The next frame, drawn 100 ms after
    // the previous one, shows grey 255 − 2 × (ms since the note), black from 128 ms on.
    int64_t flash_ms = -1;
    int checked = 0;
    int lit = 0;
    for (std::size_t k = 1; k < rows_->size(); ++k) {
        const FrameRow& previous = (*rows_)[k - 1];
        const FrameRow& r = (*rows_)[k];
        const bool cleared = previous.order == 14 || previous.order == 15;
        for (const Note& n : ref.notes) {
            if (n.sample >= (k - 1) * kSamplesPerFrame && n.sample < k * kSamplesPerFrame) {
                if (cleared) {
                    flash_ms = static_cast<int64_t>(n.sample * 1000 / 44100);
                }
                break;
            }
        }
        if (!cleared || (r.order != 14 && r.order != 15) || flash_ms < 0) {
            continue;
        }
        const int64_t since = static_cast<int64_t>(r.ms) - flash_ms;
        ASSERT_GE(since, 0);
        const uint32_t g = static_cast<uint32_t>(std::max<int64_t>(0, 255 - 2 * since));
        const std::vector<uint32_t> f = frame(r.frame);
        if (r.order == 15) {
            EXPECT_EQ(f[0], g * 0x010101u) << "frame " << r.frame << ", " << since << " ms after the flash";
        } else {
            for (int i = 0; i < kScreenPixels; i += 97) {
                for (int shift : {16, 8, 0}) {
                    const uint32_t want =
                        std::min<uint32_t>(255, channel(kerst[static_cast<std::size_t>(i)], shift) + g);
                    ASSERT_EQ(channel(f[static_cast<std::size_t>(i)], shift), want)
                        << "frame " << r.frame << " pixel " << i << ", " << since << " ms after the flash";
                }
            }
        }
        ++checked;
        lit += g > 0;
    }
    EXPECT_GT(checked, 50);
    EXPECT_GT(lit, 10) << "the notes of orders 14 and 15 should light frames";

    // Up to the fade the sound is the module's, sample for sample.
    WavData wav;
    ASSERT_TRUE(read_wav((*dir_ / "audio.wav").string(), wav).ok);
    const auto first_fade =
        std::find_if(rows_->begin(), rows_->end(), [](const FrameRow& r) { return r.order == kFadeOrder; });
    ASSERT_NE(first_fade, rows_->end());
    const std::size_t until = static_cast<std::size_t>(2 * kSamplesPerFrame * first_fade->frame);
    ASSERT_GE(ref.pcm.size(), until);
    ASSERT_GE(wav.samples.size(), until);
    const auto differ =
        std::mismatch(ref.pcm.begin(), ref.pcm.begin() + static_cast<std::ptrdiff_t>(until), wav.samples.begin());
    EXPECT_EQ(differ.first, ref.pcm.begin() + static_cast<std::ptrdiff_t>(until))
        << "the sound differs from the module's from frame "
        << (differ.first - ref.pcm.begin()) / static_cast<std::ptrdiff_t>(2 * kSamplesPerFrame) << " on";
}

TEST_F(ShowCapture, SecondCaptureGivesTheSameFramesAndSound) {
    ASSERT_EQ(run_->exit_code, 0) << run_->err;
    const fs::path again = scratch("again") / "frames";
    const ProcessResult second =
        run_program({"--data", kData, "--frames", again.string(), "--fps", std::to_string(kFps)});
    ASSERT_EQ(second.exit_code, 0) << second.err;
    const std::vector<FrameRow> rows = read_csv(again / "frames.csv");
    ASSERT_EQ(rows.size(), rows_->size());
    for (std::size_t k = 0; k < rows.size(); ++k) {
        const std::string name = FrameFolderWriter::frame_name(k);
        ASSERT_EQ(bytes_of(again / name), bytes_of(*dir_ / name)) << name << " differs between two captures";
    }
    EXPECT_EQ(bytes_of(again / "audio.wav"), bytes_of(*dir_ / "audio.wav"));
    EXPECT_EQ(bytes_of(again / "frames.csv"), bytes_of(*dir_ / "frames.csv"));
    fs::remove_all(again.parent_path());
}

// A clip of one scene: --end stops before the first frame at order 10, so the frames cover
// the scene's length in the music (give or take the frame that crosses into it), --mute
// writes no sound, and the last line names the folder by its absolute path.
TEST(ShowClip, AClipEndsBeforeTheFirstFrameAtItsEndAndMuteWritesNoSound) {
    const fs::path work = scratch("clip");
    ProcessOptions options;
    options.args = {"--data", kData,   "--start",           "9", "--end", "10", "--mute", "--frames",
                    "clip",   "--fps", std::to_string(kFps)};
    options.env = {{"SDL_VIDEODRIVER", "dummy"}, {"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}};
    options.working_dir = work.string();
    options.timeout_seconds = 120.0;
    const ProcessResult clip = run_process(GF_EXECUTABLE, options);
    ASSERT_EQ(clip.exit_code, 0) << clip.err;
    const std::vector<FrameRow> rows = read_csv(work / "clip" / "frames.csv");
    ASSERT_FALSE(rows.empty());
    for (const FrameRow& r : rows) {
        ASSERT_EQ(r.order, 9u) << "frame " << r.frame << " is outside the clip";
    }
    const double scene_frames = music_seconds_between(kData + "/xmas.it", 9, 0, 10, 0) * kFps;
    EXPECT_GT(scene_frames, 10.0);
    EXPECT_NEAR(static_cast<double>(rows.size()), scene_frames, 1.0);
    EXPECT_FALSE(fs::exists(work / "clip" / "audio.wav"));
    const std::vector<std::string> lines = testing::lines_of(clip.err);
    ASSERT_FALSE(lines.empty());
    const std::string expected_end = ": " + (work / "clip").string() + "/";
    EXPECT_EQ(lines.back().rfind("glimmerfrost: " + std::to_string(rows.size()) + " frames", 0), 0u) << lines.back();
    EXPECT_TRUE(lines.back().size() > expected_end.size() &&
                lines.back().compare(lines.back().size() - expected_end.size(), expected_end.size(), expected_end) == 0)
        << lines.back();
    fs::remove_all(work);
}

// A start anywhere shows exactly what the whole show shows from there: the swirl under the zoom
// whose origin was latched at the swirl's first frame, the band and snow trails of order 6, a
// sub-scene of order 10 picked by the accents heard since the start, and the flashes of order 14.
// The frames, their whole-show times and the sound from there on are the whole show's, byte for byte.
TEST_F(ShowCapture, StartAnywhereGivesTheWholeShowsFramesAndSoundFromThere) {
    ASSERT_EQ(run_->exit_code, 0) << run_->err;
    constexpr int kFrames = 12;
    constexpr std::size_t kWavHeader = 44;
    const std::vector<uint8_t> whole_audio = bytes_of(*dir_ / "audio.wav");
    for (const auto& [order, row] : std::vector<std::pair<uint32_t, uint32_t>>{{0, 80}, {6, 50}, {10, 40}, {14, 3}}) {
        const std::string start = std::to_string(order) + ":" + std::to_string(row);
        const auto first = std::find_if(rows_->begin(), rows_->end(), [&](const FrameRow& r) {
            return r.order > order || (r.order == order && r.row >= row);
        });
        ASSERT_NE(first, rows_->end()) << start;
        const uint64_t k = first->frame;
        const fs::path dir = scratch("start") / "frames";
        const ProcessResult run = run_program({"--data", kData, "--frames", dir.string(), "--fps", std::to_string(kFps),
                                               "--start", start, "--max-frames", std::to_string(kFrames)});
        ASSERT_EQ(run.exit_code, 0) << start << ": " << run.err;
        const std::vector<FrameRow> rows = read_csv(dir / "frames.csv");
        ASSERT_EQ(rows.size(), static_cast<std::size_t>(kFrames)) << start;
        for (uint64_t i = 0; i < kFrames; ++i) {
            EXPECT_EQ(rows[i].ms, (*rows_)[k + i].ms) << start << " frame " << i;
            EXPECT_EQ(bytes_of(dir / FrameFolderWriter::frame_name(i)),
                      bytes_of(*dir_ / FrameFolderWriter::frame_name(k + i)))
                << start << ": frame " << i << " is not the whole show's frame " << k + i;
        }
        const std::vector<uint8_t> audio = bytes_of(dir / "audio.wav");
        const std::size_t from = kWavHeader + k * kSamplesPerFrame * 4;
        ASSERT_EQ(audio.size(), kWavHeader + kFrames * kSamplesPerFrame * 4) << start;
        ASSERT_LE(from + audio.size() - kWavHeader, whole_audio.size()) << start;
        EXPECT_TRUE(std::equal(audio.begin() + kWavHeader, audio.end(),
                               whole_audio.begin() + static_cast<std::ptrdiff_t>(from)))
            << start << ": the sound is not the whole show's from frame " << k;
        fs::remove_all(dir.parent_path());
    }
}

// ---------------------------------------------------------------- short runs

// Width and height of the H.264 sample entry: the 'stsd' box whose first entry is 'avc1'.
std::pair<int, int> avc_size(const std::vector<uint8_t>& file) {
    const char tag[] = {'s', 't', 's', 'd'};
    for (auto at = file.begin(); (at = std::search(at, file.end(), std::begin(tag), std::end(tag))) != file.end();
         ++at) {
        // stsd: type, version and flags (4), entry count (4), then the entry: size (4), type (4),
        // reserved and data reference (8), predefined and reserved (16), width (2), height (2).
        const std::size_t type_at = static_cast<std::size_t>(at - file.begin());
        const std::size_t entry = type_at + 12;
        if (entry + 36 > file.size() || std::memcmp(&file[entry + 4], "avc1", 4) != 0) {
            continue;
        }
        const std::size_t size_at = entry + 8 + 24;
        return {(file[size_at] << 8) | file[size_at + 1], (file[size_at + 2] << 8) | file[size_at + 3]};
    }
    return {0, 0};
}

// The pixel shape players apply: the 'pasp' box's horizontal and vertical spacing.
std::pair<int, int> pixel_shape(const std::vector<uint8_t>& file) {
    const char tag[] = {'p', 'a', 's', 'p'};
    const auto at = std::search(file.begin(), file.end(), std::begin(tag), std::end(tag));
    const std::size_t from = static_cast<std::size_t>(at - file.begin()) + 4;
    if (at == file.end() || from + 8 > file.size()) {
        return {1, 1};  // no box: square pixels
    }
    const auto word = [&](std::size_t i) {
        return static_cast<int>((file[i] << 24) | (file[i + 1] << 16) | (file[i + 2] << 8) | file[i + 3]);
    };
    return {word(from), word(from + 4)};
}

// Both shapes are 1280 × 800 (whole 4 × 4 blocks); the 4:3 one is stretched by its pixel shape.
TEST(ShowVideo, FadeCapturedToMp4AtBothShapesWithMatchingLengths) {
    const fs::path dir = scratch("mp4");
    struct Case {
        std::vector<std::string> extra;
        std::pair<int, int> shape;
    };
    for (const Case& c : {Case{{}, {5, 6}}, Case{{"--aspect", "square"}, {1, 1}}}) {
        const fs::path file = dir / ("fade" + std::to_string(c.shape.first) + ".mp4");
        std::vector<std::string> args = {"--data", kData, "--start", "16", "--fps", "24", "--capture", file.string()};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        const ProcessResult run = run_program(args);
        ASSERT_EQ(run.exit_code, 0) << run.err;
        const std::vector<uint8_t> bytes = bytes_of(file);
        EXPECT_EQ(avc_size(bytes), std::make_pair(1280, 800));
        EXPECT_EQ(pixel_shape(bytes), c.shape);
        const test::Mp4Lengths lengths = test::mp4_track_lengths(bytes);
        ASSERT_TRUE(lengths.ok);
        // Order 16 alone: the closing fade takes the volume to 0 in about 1.25 s at any rate.
        EXPECT_GT(lengths.video_seconds, 1.0);
        EXPECT_LT(lengths.video_seconds, 2.0);
        EXPECT_NEAR(lengths.audio_seconds, lengths.video_seconds, 0.1) << "sound and pictures differ by over a frame";
        EXPECT_NE(run.err.find(file.string()), std::string::npos) << "the summary names the file: " << run.err;
    }
    // Nothing but the two videos: no temporary left beside them.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator{}), 2);
    fs::remove_all(dir);
}

// The size option sets the picture's size (any even size, not only whole multiples), and --mute
// leaves the sound track out.
TEST(ShowVideo, SizeAndMuteShapeTheVideo) {
    const fs::path dir = scratch("sized");
    struct Case {
        std::vector<std::string> extra;
        int width;
        int height;
        bool sound;
        std::pair<int, int> shape;  // pixel shape that shows the picture at 4:3
    };
    const std::vector<Case> cases = {
        {{"--size", "320x200"}, 320, 200, true, {5, 6}},
        {{"--size", "2880x2160", "--max-frames", "3"}, 2880, 2160, true, {1, 1}},
        {{"--mute"}, 1280, 800, false, {5, 6}},
    };
    for (const Case& c : cases) {
        const fs::path file = dir / (c.extra[0].substr(2) + std::to_string(c.width) + ".mp4");
        SCOPED_TRACE(file.filename().string());
        std::vector<std::string> args = {"--data", kData, "--max-frames", "12", "--capture", file.string()};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        const ProcessResult run = run_program(args);
        ASSERT_EQ(run.exit_code, 0) << run.err;
        const std::vector<uint8_t> bytes = bytes_of(file);
        EXPECT_EQ(avc_size(bytes), std::make_pair(c.width, c.height));
        EXPECT_EQ(pixel_shape(bytes), c.shape);
        const test::Mp4Lengths lengths = test::mp4_track_lengths(bytes);
        EXPECT_GT(lengths.video_seconds, 0.0);
        EXPECT_EQ(lengths.audio_seconds > 0.0, c.sound);
    }
    fs::remove_all(dir);
}

// A module that plays on for hours stops the capture at the time limit with one line; the
// file holds the show up to there, sound and pictures of the same length.
TEST(ShowVideo, CaptureStopsAtTheTimeLimit) {
    const fs::path dir = scratch("limit");
    DemoOptions demo;
    ASSERT_TRUE(find_data_files({kData}, demo.files).ok);
    CaptureOptions capture;
    capture.video_path = (dir / "long.mp4").string();
    capture.max_show_ms = 1000;
    ::testing::internal::CaptureStderr();
    const int code = run_capture(demo, capture);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(code, 1) << err;
    EXPECT_NE(err.find("did not end within 0:01"), std::string::npos) << err;
    const test::Mp4Lengths lengths = test::mp4_track_lengths(bytes_of(dir / "long.mp4"));
    ASSERT_TRUE(lengths.ok) << err;
    EXPECT_NEAR(lengths.video_seconds, 1.0, 1e-6);
    EXPECT_NEAR(lengths.audio_seconds, lengths.video_seconds, 1.0 / 30.0);
    fs::remove_all(dir);

    // The benchmark stops there too, and prints the table of what ran.
    capture = CaptureOptions{};
    capture.benchmark = true;
    capture.max_show_ms = 1000;
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    const int benchmark_code = run_capture(demo, capture);
    const std::string table = ::testing::internal::GetCapturedStdout();
    const std::string benchmark_err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(benchmark_code, 1) << benchmark_err;
    EXPECT_NE(benchmark_err.find("did not end within 0:01"), std::string::npos) << benchmark_err;
    EXPECT_NE(table.find("Glimmerfrost benchmark: 60 frames at 60 fps"), std::string::npos) << table;
}

TEST(ShowVideo, RefusedCaptureLeavesNoFile) {
    const fs::path dir = scratch("refused");
    // A folder that does not exist: refused by name before anything is rendered.
    const std::string nowhere = (dir / "missing" / "show.mp4").string();
    ProcessResult run = run_program({"--data", kData, "--capture", nowhere});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_NE(run.err.find(nowhere), std::string::npos) << run.err;
    // A frames folder that already holds something is left alone.
    const fs::path busy = dir / "busy";
    fs::create_directories(busy);
    std::ofstream(busy / "keep.txt") << "mine";
    run = run_program({"--data", kData, "--frames", busy.string()});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_NE(run.err.find(busy.string()), std::string::npos) << run.err;
    EXPECT_EQ(std::distance(fs::directory_iterator(busy), fs::directory_iterator{}), 1);
    fs::remove_all(busy);
    // A frame rate below one a second: one frame's sound would be days long.
    run = run_program({"--data", kData, "--frames", (dir / "slow").string(), "--fps", "1/1000000"});
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_NE(run.err.find("--fps: 1/1000000 is not a frame rate from 1 to 1000"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(dir / "slow"));
    fs::remove_all(dir);
}

TEST(ShowBenchmark, PrintsTheCostOfEachOrderInFrameCopies) {
    const ProcessResult run = run_program({"--data", kData, "--benchmark", "--start", "15", "--fps", "10"});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_NE(run.out.find("memcpy"), std::string::npos) << run.out;
    std::map<std::string, double> copies;
    for (const std::string& line : testing::lines_of(run.out)) {
        std::istringstream fields(line);
        std::string order;
        double frames = 0;
        double ms = 0;  // read past: the check is on frames per second and copies
        double fps = 0;
        double per_frame = 0;
        if (fields >> order >> frames >> ms >> fps >> per_frame) {
            copies[order] = per_frame;
            EXPECT_GT(frames, 0) << line;
            EXPECT_GT(fps, 0) << line;
        }
    }
    EXPECT_EQ(copies.count("15"), 1u) << run.out;
    EXPECT_EQ(copies.count("16"), 1u) << run.out;
    EXPECT_EQ(copies.count("all"), 1u) << run.out;
    EXPECT_EQ(copies.count("3"), 0u) << "orders before the start are not played";
    for (const auto& [order, cost] : copies) {
        EXPECT_GT(cost, 0) << "order " << order;
    }
}

}  // namespace
}  // namespace gf
