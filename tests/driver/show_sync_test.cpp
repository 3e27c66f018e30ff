// The show's flashes against the music's own timing, at 30 and 60 fps: the
// capture runs in-process, and every instrument-1 note is checked against
// where the module puts it (speed 3, tempo 125: a row every 2646 samples, a
// tick every 882), so a sync stamped a few samples early shows here.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "common/types.h"
#include "driver/capture_platform.h"
#include "driver/data_files.h"
#include "driver/demo.h"
#include "platform/clock.h"
#include "platform/image_loader.h"
#include "platform/music.h"

namespace gf {
namespace {

const std::string kData = GF_DATA_DIR;
constexpr uint64_t kTick = 882;
constexpr uint64_t kRowSamples = 3 * kTick;
constexpr uint64_t kRowsPerOrder = 128;

struct Note {
    uint64_t sample = 0;
    uint32_t order = 0;
    uint32_t row = 0;
};
std::vector<Note>* g_notes = nullptr;
uint64_t g_note_sample = 0;
void on_note(uint32_t, uint32_t) { g_notes->push_back({g_note_sample, music_order(), music_row()}); }

// Every instrument-1 note as the player reports it when pulled one frame's samples at a time, as a capture pulls it.
std::vector<Note> notes_at(uint64_t samples_per_frame) {
    std::vector<Note> notes;
    g_notes = &notes;
    EXPECT_TRUE(init_music(AudioOutput::Offline).ok);
    EXPECT_TRUE(load_module(kData + "/xmas.it").ok);
    add_instrument_sync(on_note, 1);
    set_sync_position_hook([](uint64_t sample) { g_note_sample = sample; });
    play_music(0, 0);
    std::vector<int16_t> chunk(2 * samples_per_frame);
    while (render_music(chunk.data(), samples_per_frame) == samples_per_frame) {
    }
    free_music();
    g_notes = nullptr;
    return notes;
}

// What each captured frame shows, reduced to what the flash checks need.
struct Shown {
    uint64_t ms = 0;
    uint32_t order = 0;
    uint32_t row = 0;
    uint32_t darkest = 0;  // lowest channel value of any pixel
    bool uniform_grey = false;
    std::vector<uint32_t> sampled;  // every 97th pixel
};

std::vector<Shown> capture(int fps) {
    DemoOptions options;
    EXPECT_TRUE(find_data_files({kData}, options.files).ok);
    std::vector<Shown> shown;
    CaptureSink sink;
    sink.frame = [&shown](const CapturedFrame& f) {
        Shown s{f.ms, f.order, f.row, 255, true, {}};
        for (int i = 0; i < kScreenPixels; ++i) {
            const uint32_t p = f.pixels[i];
            const uint32_t r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
            s.darkest = std::min({s.darkest, r, g, b});
            s.uniform_grey = s.uniform_grey && r == g && g == b && (p & 0xFFFFFF) == (f.pixels[0] & 0xFFFFFF);
            if (i % 97 == 0) {
                s.sampled.push_back(p);
            }
        }
        shown.push_back(std::move(s));
        return true;
    };
    CapturePlatform platform(FrameRate{fps, 1}, sink);
    EXPECT_EQ(demo_main(platform, options), 0);
    return shown;
}

TEST(ShowSync, EachFlashLightsTheFirstFrameAfterItsNoteAt30And60Fps) {
    Image kerst;
    ASSERT_TRUE(load_jpeg(kerst, kData + "/kerst.jpg").ok);
    uint64_t worst = 0;
    for (const int fps : {30, 60}) {
        const uint64_t per_frame = 44100 / static_cast<uint64_t>(fps);
        const std::vector<Note> notes = notes_at(per_frame);
        ASSERT_FALSE(notes.empty());
        // Each sync reports a tick of its own row: the row's first sample or a note delay after it.
        for (const Note& n : notes) {
            const uint64_t row_start = (n.order * kRowsPerOrder + n.row) * kRowSamples;
            if (n.sample < row_start) {
                worst = std::max(worst, row_start - n.sample);  // fired before its row began
                continue;
            }
            const uint64_t into = n.sample - row_start;
            worst = std::max(worst, std::min(into % kTick, kTick - into % kTick));
            EXPECT_LT(into, kRowSamples) << "order " << n.order << " row " << n.row;
        }
        // The accent of order 7 row 92 (SD1) starts exactly on the first sample of a 30 fps frame's sound.
        const bool accent = std::any_of(notes.begin(), notes.end(), [](const Note& n) {
            return n.order == 7 && n.row == 92 && n.sample == 2'615'130;
        });
        EXPECT_TRUE(accent) << fps << " fps";

        const std::vector<Shown> shown = capture(fps);
        ASSERT_GT(shown.size(), 1000u);
        use_system_clock();
        int checked_accents = 0;
        int checked_closing = 0;
        for (const Note& n : notes) {
            // Heard while frame k is on screen: frame k + 1 is the first drawn after it.
            const std::size_t k = static_cast<std::size_t>(n.sample / per_frame);
            if (k + 1 >= shown.size()) {
                continue;
            }
            const Shown& before = shown[k];
            const Shown& after = shown[k + 1];
            const uint64_t since = after.ms - n.sample * 1000 / 44100;
            const uint32_t grey = static_cast<uint32_t>(std::max<int64_t>(0, 255 - 2 * static_cast<int64_t>(since)));
            // Order 7 from row 92: the pass on a beat row clears the pending flag and the
            // delayed accent after it lights the next frame, noise and all.
            if (n.order == 7 && n.row >= 92 && n.row % 4 == 0 && before.order == 7 && before.row == n.row &&
                after.row == n.row) {
                EXPECT_GE(after.darkest, grey) << fps << " fps, frame " << k + 1 << ", row " << n.row;
                checked_accents += n.row == 92;
            }
            // Orders 14 and 15 clear the flag every frame: the first note heard under a frame flashes.
            const bool first_under_frame = std::find_if(notes.begin(), notes.end(), [&](const Note& m) {
                                               return m.sample / per_frame == k;
                                           })->sample == n.sample;
            if (first_under_frame && (before.order == 14 || before.order == 15) && after.order == before.order) {
                if (after.order == 15) {
                    EXPECT_TRUE(after.uniform_grey) << fps << " fps, frame " << k + 1;
                    EXPECT_EQ(after.sampled[0] & 0xFF, grey) << fps << " fps, frame " << k + 1;
                } else {
                    for (std::size_t i = 0; i < after.sampled.size(); ++i) {
                        for (int shift : {16, 8, 0}) {
                            const uint32_t base = (kerst.pixels[i * 97] >> shift) & 0xFF;
                            ASSERT_EQ((after.sampled[i] >> shift) & 0xFF, std::min<uint32_t>(255, base + grey))
                                << fps << " fps, frame " << k + 1 << " pixel " << i * 97;
                        }
                    }
                }
                ++checked_closing;
            }
        }
        EXPECT_EQ(checked_accents, 1) << fps << " fps: the row-92 accent should follow the pass that clears the flag";
        EXPECT_GT(checked_closing, 15) << fps << " fps";
    }
    release_image(kerst);
    std::printf("[ timing ] worst sync error against the module's ticks at 30 and 60 fps: %llu samples\n",
                static_cast<unsigned long long>(worst));
    EXPECT_EQ(worst, 0u);
}

}  // namespace
}  // namespace gf
