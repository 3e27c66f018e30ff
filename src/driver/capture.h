// Offline rendering of the whole show against the virtual clock: to a video
// file, to numbered frames with the audio, or (benchmark) to nothing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "driver/demo.h"

namespace gf {

// A named quality of the video: an x264 speed preset and constant quality, and VP9's
// constant quality for .webm.
struct QualityLevel {
    const char* name;
    const char* preset;
    int crf;
    int vp9_crf;
};

// The levels, the default first.
const std::vector<QualityLevel>& quality_levels();
const QualityLevel* find_quality_level(const std::string& name);
// The x264 presets --preset accepts, fastest first.
bool is_x264_preset(const std::string& name);

struct CaptureOptions {
    std::string video_path;  // --capture FILE.mp4; empty for none
    // The video never replaces an existing file: it takes the first free name of
    // NAME.EXT, NAME-1.EXT, ... when it is complete (the capture made with no display).
    bool keep_existing = false;
    std::string frames_dir;  // --frames DIR; empty for none
    int fps_num = 60;        // --fps: 24-240 or 24000/1001, 30000/1001, 60000/1001, 120000/1001
    int fps_den = 1;
    bool square_pixels = false;  // --aspect square: the video's pixels shown square, not stretched to 4:3
    int width = 0;               // --size WxH; 0: from the aspect
    int height = 0;
    std::string quality;     // --quality NAME; empty: the default level
    int crf = -1;            // --crf N; -1: the level's
    std::string preset;      // --preset NAME; empty: the level's
    bool mute = false;       // --mute: a video with no sound track
    bool benchmark = false;  // --benchmark: render with no output, print per-order cost
    bool end_given = false;  // --end ORDER[:ROW]: stop before the first frame at or after it
    uint32_t end_order = 0;
    uint32_t end_row = 0;
    uint64_t max_frames = 0;  // --max-frames N (hidden, for tests): stop after N frames; 0 for the whole show
    // A module that plays on for hours must not make a capture run unbounded; the show is about
    // two minutes. Far below the 49 days at which the 32-bit millisecond clock would wrap.
    uint64_t max_show_ms = 30 * 60 * 1000;
};

// True when a video file may be made at this rate: whole rates 24-240 or the NTSC rates
// 24000/1001, 30000/1001, 60000/1001 and 120000/1001 (the closing fade's length follows the rate).
bool is_video_frame_rate(int num, int den);

// Renders the show offline. Returns the exit code: 0 when the show ended through its fade;
// 1 on a failure (message on stderr, no partial file left under the final name); 2 for options
// that cannot make a video; 130 when SIGINT, SIGTERM or SIGHUP stopped it (what was rendered is
// kept as a complete file).
int run_capture(const DemoOptions& demo, const CaptureOptions& capture);

}  // namespace gf
