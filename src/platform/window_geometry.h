// The window's geometry: its first size on the desktop and where the frame is
// drawn inside it. Plain arithmetic, no SDL, so any window layer can use it.
#pragma once

namespace gf {

enum class Aspect { Square, FourThree };

struct DisplayOptions {
    Aspect aspect = Aspect::FourThree;
    int scale = 0;  // 0: the largest whole size that fits the desktop
    bool fullscreen = false;
    double fps = 0.0;          // 0: vsync, or 60 Hz pacing where vsync is not available
    bool interactive = false;  // viewer keys (Space, Left, Right, Esc, Q) instead of any key ending the show
};

struct WindowSize {
    int width = 0;
    int height = 0;
    int scale = 1;
    bool reduced = false;  // options.scale did not fit the desktop and was lowered to `scale`
};

// The window's first size for a frame of frame_width × frame_height on a desktop whose
// usable area is desktop_width × desktop_height: the frame scaled by options.scale, or by
// the largest whole factor that fits (at least 1), with 4:3 aspect correction when asked.
// A scale larger than what fits is lowered to the largest that fits.
WindowSize initial_window_size(int frame_width, int frame_height, int desktop_width, int desktop_height,
                               const DisplayOptions& options);

struct FrameRect {
    int x = 0, y = 0, width = 0, height = 0;
};

// Where the frame is drawn in a window of output_width × output_height: as large as fits
// with the chosen aspect (4:3, or the frame's own pixel shape), centred, black bars around.
FrameRect frame_rect(int frame_width, int frame_height, int output_width, int output_height, Aspect aspect);

}  // namespace gf
