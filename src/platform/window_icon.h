// The program's icon, a six-armed snowflake on a night-blue tile, drawn in code
// at any size: the window shows it, and the build installs it as PNG files.
#pragma once

#include <cstdint>
#include <vector>

struct SDL_Window;

namespace gf {

// The icon at size × size pixels, rows top first, each 0xAARRGGBB with straight
// (not premultiplied) alpha; transparent outside the rounded tile.
std::vector<uint32_t> draw_icon(int size);

// Gives `window` the icon; a window manager that cannot take it keeps its own.
void set_window_icon(SDL_Window* window);

}  // namespace gf
