// The window's first size and the frame's place in it.
#include "platform/window_geometry.h"

#include <algorithm>
#include <cmath>

namespace gf {

WindowSize initial_window_size(int frame_width, int frame_height, int desktop_width, int desktop_height,
                               const DisplayOptions& options) {
    // Shown height of the frame at scale 1: a 4:3 screen showed the 320 × 200 frame 320 × 240.
    const double shown_height =
        options.aspect == Aspect::FourThree ? frame_width * 3.0 / 4.0 : static_cast<double>(frame_height);
    int fits = 1;
    while (frame_width * (fits + 1) <= desktop_width && shown_height * (fits + 1) <= desktop_height) {
        ++fits;
    }
    const bool reduced = options.scale > fits;
    const int scale = options.scale <= 0 || reduced ? fits : options.scale;
    return {frame_width * scale, static_cast<int>(std::lround(shown_height * scale)), scale, reduced};
}

FrameRect frame_rect(int frame_width, int frame_height, int output_width, int output_height, Aspect aspect) {
    const double ratio =
        aspect == Aspect::FourThree ? 4.0 / 3.0 : static_cast<double>(frame_width) / std::max(1, frame_height);
    int w = output_width;
    int h = static_cast<int>(std::lround(output_width / ratio));
    if (h > output_height) {
        h = output_height;
        w = std::min(output_width, static_cast<int>(std::lround(output_height * ratio)));
    }
    return {(output_width - w) / 2, (output_height - h) / 2, w, h};
}

}  // namespace gf
