// The program's command line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/status.h"
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
    Status status;  // a refusal names the option and what is wrong (a usage failure)
    ProgramOptions options;
};

// Parses argv[1..argc-1]. Options take their value as the next argument or after '='.
// "--" ends the options: every argument after it is refused as unexpected.
ParsedOptions parse_options(int argc, const char* const* argv);

// The usage text printed by --help (a refused option gets one line and a pointer to it).
std::string usage_text();

struct OptionsBeingParsed;

// The runs an option applies to; given to another run it is refused rather than ignored.
enum class OptionRun {
    Any,
    Video,    // a video made with --capture
    Offline,  // --capture, --frames or --benchmark
    Window,   // the show in a window
};

// One option of the command line: its names, what it takes, its lines in the usage text and
// how its value is read. parse_options and usage_text both come from one table of these; the
// man page describes the same options (a test keeps the two in step).
struct OptionEntry {
    std::string name;      // "--data"
    std::string alias;     // another name for it ("-h"); empty: none
    std::string argument;  // the value as the usage text shows it ("DIR"); empty: the option takes no value
    std::string needs;     // what a missing value should have been ("a folder")
    std::string help;      // its lines in the usage text; empty: left out of the usage text
    // Stores the value (empty for an option without one), or says why it is refused.
    Status (*apply)(const std::string& value, OptionsBeingParsed& into);
    OptionRun run = OptionRun::Any;
};

// Every option, in the usage text's order.
const std::vector<OptionEntry>& option_table();

}  // namespace gf
