// Offline rendering of the whole show against the virtual clock: to a video
// file, to numbered frames with the audio, or (benchmark) to nothing.
#pragma once

#include <cstdint>
#include <string>

#include "driver/demo.h"

namespace gf {

struct CaptureOptions {
    std::string video_path;   // --capture FILE.mp4; empty for none
    std::string frames_dir;   // --frames DIR; empty for none
    int fps_num = 60;         // --fps: 60, 50, 70 or 60000/1001
    int fps_den = 1;
    bool square_pixels = false;  // --aspect square: 1280 × 800 instead of 1600 × 1200
    bool benchmark = false;      // --benchmark: render with no output, print per-order cost
    uint64_t max_frames = 0;     // --max-frames N (hidden, for tests): stop after N frames; 0 for the whole show
};

// Renders the show offline. Returns the exit code: 0 when the show ended through its fade,
// 1 on a failure (message on stderr, no partial file left under the final name).
int run_capture(const DemoOptions& demo, const CaptureOptions& capture);

}  // namespace gf
