// Structure check of an Impulse Tracker module, over its bytes alone: no
// library, no allocation beyond the message, safe on any input (fuzzed).
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "common/status.h"

namespace gf {

// libopenmpt plays a module whose file ends early, silencing what is missing,
// and one whose order list has nothing to play; both are refused instead.
// Every offset in the Impulse Tracker header must point inside the file, with
// room for what it points at, and the order list must name a pattern before
// its end marker. Fails with the problem; succeeds when the structure holds or
// the bytes are not Impulse Tracker at all (libopenmpt judges other formats
// itself).
Status check_module_structure(std::span<const uint8_t> bytes);

}  // namespace gf
