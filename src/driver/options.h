// The program's command line.
#pragma once

#include <cstdint>
#include <string>

#include "driver/capture.h"
#include "platform/display.h"

namespace gf {

enum class ProgramAction {
    Play,     // play in a window, or capture when there is no display
    Capture,  // --capture, --frames or --benchmark
    Help,
    Version,
};

struct ProgramOptions {
    ProgramAction action = ProgramAction::Play;
    std::string data_dir;  // --data DIR; empty: search the usual places
    DisplayOptions display;
    bool mute = false;
    bool gentle = false;  // --gentle: limit the flashing
    bool start_given = false;
    uint32_t start_order = 0;
    uint32_t start_row = 0;
    CaptureOptions capture;
};

struct ParsedOptions {
    bool ok = true;
    std::string error;  // names the option and what is wrong
    ProgramOptions options;
};

// Parses argv[1..argc-1]. Options take their value as the next argument or after '='.
// "--" ends the options: every argument after it is refused as unexpected.
ParsedOptions parse_options(int argc, const char* const* argv);

// The usage text printed by --help (a refused option gets one line and a pointer to it).
std::string usage_text();

}  // namespace gf
