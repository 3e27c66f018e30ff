// The demo's entry: start-up, the frame loop and shutdown over a Platform,
// and the program's command line.
#pragma once

#include <cstdint>
#include <string>

#include "driver/picture_sizes.h"
#include "driver/platform_ops.h"

namespace gf {

// Where each data file is read from (resolved before start-up).
struct DataFiles {
    std::string module;                   // "xmas.it"
    std::string pictures[kPictureCount];  // slots 0..7: glimzz, muur, credits, presents, goodboy, finalgrtz, boem, kerst
    std::string mesh;                     // "kubus.3ds"
};

struct DemoOptions {
    DataFiles files;
    uint32_t start_order = 0;  // --start ORDER[:ROW]
    uint32_t start_row = 0;
    bool interactive = false;  // --interactive: the viewer's keys pause and step through the orders
    int order_count = -1;      // orders the module plays; -1 when not known (the viewer then steps on freely)
};

// Runs the whole demo on `platform`: start-up, frame loop, shutdown. Returns the exit code
// (0, or 1 when start-up fails, with one line on stderr naming the file and the problem).
int demo_main(Platform& platform, const DemoOptions& options);

// The same with the effect operations given (tests record them; the program uses the real ones).
struct EffectOps;
int demo_main(Platform& platform, const DemoOptions& options, const EffectOps& effects);

// The program: parses the command line, finds the data, and plays or captures the show.
int run_program(int argc, char** argv);

}  // namespace gf
