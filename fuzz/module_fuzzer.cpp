// libFuzzer target: arbitrary bytes through the module structure check, the
// part of module loading that reads every header offset of an untrusted file.
// It needs no player library, so it runs at full speed; whatever it accepts is
// what libopenmpt is then given.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>

#include "platform/module_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const gf::Status structure = gf::check_module_structure(std::span(data, size));
    // Only Impulse Tracker files are judged; anything else is left to the player library.
    const bool impulse_tracker = size >= 4 && std::memcmp(data, "IMPM", 4) == 0;
    if (!impulse_tracker && !structure.ok) {
        std::abort();
    }
    // A file too short for the header is always refused.
    if (impulse_tracker && size < 0xC0 && structure.ok) {
        std::abort();
    }
    return 0;
}
