// Definitions of the per-frame globals.
#include "common/frame_globals.h"

namespace gf {

uint32_t* screen = nullptr;
uint32_t frame_time = 0;
uint32_t exit_requested = 0;

}  // namespace gf
