// The window: an SDL2 window showing the 320 × 200 frame surface scaled up,
// the per-frame lock/unlock/present/update cycle, and the key test.
#pragma once

#include <cstdint>
#include <string>

namespace gf {

enum class Aspect { Square, FourThree };

struct DisplayOptions {
    Aspect aspect = Aspect::FourThree;
    int scale = 0;          // 0: the largest whole size that fits the desktop
    bool fullscreen = false;
    double fps = 0.0;       // 0: vsync, or 60 Hz pacing where vsync is not available
};

struct DisplayStatus {
    bool ok = true;
    std::string message;
};

// The display object plus the frame surface it owns. Created empty; no window until open_display.
struct Display;

Display* create_display(const DisplayOptions& options);
// Opens the window titled `title` with a width × height frame surface. `use_options`
// is accepted and ignored (the original's two output option texts have no meaning here).
DisplayStatus open_display(Display* display, const char* title, int width, int height, int use_options);
// Locks the frame surface; its first pixel becomes `screen`.
void lock_frame(Display* display);
void unlock_frame(Display* display);
// Uploads the whole surface to the window's texture.
void present_frame(Display* display);
// Shows the frame, handles window events, then reads `frame_time` from the clock.
void update_display(Display* display);
// True when a key press (or a request to close) is waiting. Not consumed.
bool key_pressed(Display* display);
void destroy_display(Display* display);

// True when SDL can open a video output here (a display server is reachable).
bool display_available();

}  // namespace gf
