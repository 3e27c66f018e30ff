// The window: an SDL2 window showing the 320 × 200 frame surface scaled up,
// the per-frame lock/unlock/present/update cycle, and the key test.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/status.h"
#include "platform/keys.h"
#include "platform/window_geometry.h"

namespace gf {

// The display object plus the frame surface it owns. Created empty; no window until open_display.
struct Display;

Display* create_display(const DisplayOptions& options);
// Opens the window titled `title` with a width × height frame surface. `use_options`
// is accepted and ignored: a window has no output options to choose between.
Status open_display(Display* display, const char* title, int width, int height, int use_options);
// Locks the frame surface and returns its first pixel: the frame loop draws there.
uint32_t* lock_frame(Display* display);
void unlock_frame(Display* display);
// Uploads the whole surface to the window's texture.
void present_frame(Display* display);
// Shows the frame and handles window events.
void update_display(Display* display);
// True when a key press that ends the show (or a request to close) is waiting. Not consumed.
bool key_pressed(Display* display);
// The oldest viewer key press waiting (Pause, PreviousOrder or NextOrder), taken
// off the queue; Ignore when there is none. Only the viewer queues them.
KeyRole take_viewer_key(Display* display);
void destroy_display(Display* display);
// Frames per second the window shows: the paced rate, or the screen's refresh rate under vsync.
double display_frame_rate(Display* display);

// True when SDL can open a video output here (a display server is reachable); when
// not, `reason` (if given) says why, naming the display the environment gives.
bool display_available(std::string* reason = nullptr);

// SIGINT, SIGTERM and SIGHUP set a flag that key_pressed reports, so that a signal ends the
// run through the normal shutdown. A second signal while the first is pending ends
// the process at once. create_display installs them; calling again is harmless.
void install_quit_signal_handlers();
bool quit_signal_received();

// Reads back what present_frame drew into the window (0x00RRGGBB, rows top first);
// false when the renderer cannot do it. Call between present_frame and update_display.
bool read_window_pixels(Display* display, std::vector<uint32_t>& pixels, int& width, int& height);
bool display_fullscreen(const Display* display);

// The open window's title and whether the user may resize it; "" and false with no window.
std::string display_title(const Display* display);
bool display_resizable(const Display* display);

// Queues an input event as if the user had made it; it goes through the same
// event handling as real input (tests, automation).
enum class InputEvent { KeyPress, EnterKey, F11, AltKey, AltEnter, CloseWindow };
void post_input_event(Display* display, InputEvent event);
// The same for any key, given by SDL scancode, keycode and modifier state.
void post_key_event(Display* display, int scancode, int keycode, unsigned modifiers);

}  // namespace gf
