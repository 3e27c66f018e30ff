// The demo's entry: start-up, the frame loop and shutdown over a Platform,
// and the program's command line.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/data_set.h"
#include "driver/platform_ops.h"

namespace gf {

class CapturePlatform;

// Where each data file is read from (resolved before start-up).
struct DataFiles {
    std::string module;                   // "xmas.it"
    std::string pictures[kPictureCount];  // by slot, as kPictureSizes lists them
    std::string mesh;                     // "kubus.3ds"
};

struct DemoOptions {
    DataFiles files;
    uint32_t start_order = 0;  // --start ORDER[:ROW]
    uint32_t start_row = 0;
    bool interactive = false;  // --interactive: the viewer's keys pause and step through the orders
    bool gentle = false;       // --gentle: every finished frame goes through the flash limiter
    int order_count = -1;      // orders the module plays; -1 when not known (the viewer then steps on freely)
    bool seek_ahead = true;    // interactive, where seeking is possible: fill the seek table in idle time
};

// The same options with the music played from the show's start: an offline run
// reaches a start position by running the whole show up to it (see
// CapturePlatform::start_at), so that what it shows there is what the show shows.
DemoOptions from_the_start(const DemoOptions& demo);

// Runs the whole demo on `platform`: start-up, frame loop, shutdown. Returns the exit code
// (0, or 1 when start-up fails, with one line on stderr naming the file and the problem).
int demo_main(Platform& platform, const DemoOptions& options);

// The same with the effect operations given (tests record them; the program uses the real ones).
struct EffectOps;
int demo_main(Platform& platform, const DemoOptions& options, const EffectOps& effects);

// The same loop taken apart for a host that owns the loop itself (a browser calls
// one frame per animation frame): start() does the start-up and returns the exit
// code of a failed one (1) or 0; step() runs one pass of the frame loop and returns
// false once the show is over; finish() shuts down and returns 0. demo_main is
// start(), step() until false, finish().
class DemoRun {
public:
    DemoRun(Platform& platform, const DemoOptions& options, const EffectOps& effects);
    ~DemoRun();
    DemoRun(const DemoRun&) = delete;
    DemoRun& operator=(const DemoRun&) = delete;

    int start();
    bool step();
    int finish();

    // A seek's checkpoint: the whole show's state between two passes (its
    // module-wide state, the work buffers, the platform's clock, surface and
    // music). Restoring one and stepping on draws, byte for byte, the frames
    // the run drew after it was saved. save() gives nullptr when the platform
    // cannot keep its state; restore() is false, changing nothing, when it
    // cannot put it back.
    // With `previous` given, the work buffers that have not changed since it are shared with it.
    struct Checkpoint;
    std::shared_ptr<const Checkpoint> save(const Checkpoint* previous = nullptr) const;
    // The memory a set of checkpoints holds (the buffers they share counted once).
    static std::size_t bytes(const std::vector<const Checkpoint*>& checkpoints);
    bool restore(const Checkpoint& checkpoint);

    // Goes to the first frame at or after ORDER:ROW of the show run from its start at
    // the platform's steady rate (Platform::seek_rate), from the nearest checkpoint; the
    // next step() draws that frame. False, changing nothing, when the platform cannot seek.
    bool seek_to_position(uint32_t order, uint32_t row);
    // The same to frame `frame` (from 0) of that run.
    bool seek_to_frame(uint64_t frame);

    // Checkpoints a seek can start from, and whether the run that fills them ahead of the
    // viewer in idle time (after each frame shown, with --interactive) has covered the show.
    std::size_t checkpoints_kept() const;
    bool looked_ahead() const;
    // One slice of that run, of about `seconds` of wall time (step() runs them itself).
    void look_ahead(double seconds);

private:
    struct State;
    std::shared_ptr<const Checkpoint> save_on(Platform& platform, const Checkpoint* previous) const;
    bool restore_on(Platform& platform, const Checkpoint& checkpoint);
    bool seek(uint32_t key, int64_t frame);
    bool viewer_keys();  // false once the lines it writes can no longer be written
    void shadow_pass(CapturePlatform& shadow);
    void look_ahead_pass();

    Platform& platform_;
    const DemoOptions& options_;
    const EffectOps& fx_;
    std::unique_ptr<State> state_;
};

// The seek table's spacing: a checkpoint at the show's start, then one at least every
// kCheckpointShowMs of show, and sooner where the show is heavy: once drawing it since the
// last has taken kCheckpointWorkSeconds (but never within kCheckpointLeastShowMs of show of
// it). A seek runs on from the checkpoint before its frame, so it costs about that much at most.
constexpr uint64_t kCheckpointShowMs = 2000;
constexpr uint64_t kCheckpointLeastShowMs = 250;
#ifdef __EMSCRIPTEN__
// A browser draws about 2.5 times slower, by wall time (it has no CPU clock), and its seeks may
// take longer: the desktop's budget would keep three times the checkpoints there.
constexpr double kCheckpointWorkSeconds = 0.030;
#else
constexpr double kCheckpointWorkSeconds = 0.015;
#endif
// The table is filled ahead of the viewer in the frame loop's idle time: this much wall
// time after each frame shown, more while paused (the picture then stands still).
constexpr double kAheadPlayingSeconds = 0.006;
constexpr double kAheadPausedSeconds = 0.012;
// The clock that drawing time is measured by for the spacing: the thread's CPU time, so that
// the table does not depend on what else the machine runs (wall time where there is no such clock).
double drawing_clock();
// Whether a checkpoint is due `show_ms` of show and `work_seconds` of drawing after the last.
bool checkpoint_due(uint64_t show_ms, double work_seconds);

// The program: parses the command line, finds the data, and plays or captures the show.
int run_program(int argc, char** argv);

}  // namespace gf
