// The capture's progress on stderr: a live bar (position in the show, music
// order and row, frames per second, time left) when stderr is a terminal,
// otherwise nothing until the one summary line at the end.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace gf {

struct ProgressSnapshot {
    uint64_t frames = 0;       // frames done
    double show_seconds = 0;   // show time rendered so far
    double total_seconds = 0;  // expected length of the show (0: unknown)
    uint32_t order = 0;
    uint32_t row = 0;
    double wall_seconds = 0;  // real time since the capture started
};

// One line of the live display, without the leading carriage return, e.g.
// "[#########-----------]  45%  order  7 row  64   612 fps  0:41 left". `width` is the bar's length.
std::string format_progress(const ProgressSnapshot& snapshot, int width = 24);

// "m:ss" for a count of seconds, rounded down; "-:--" when unknown (negative or not finite).
std::string format_minutes(double seconds);

class ProgressDisplay {
public:
    // `live`: draw the bar (normally: stderr is a terminal).
    explicit ProgressDisplay(bool live, std::FILE* out = stderr);
    // Redraws the bar at most ten times a second of real time.
    void update(const ProgressSnapshot& snapshot);
    // Clears the bar and prints `summary` as one line.
    void finish(const std::string& summary);

private:
    bool live_;
    std::FILE* out_;
    double last_drawn_ = -1.0;
    bool drawn_ = false;
};

// Seconds of music from one ORDER:ROW to another in the module at `path` (libopenmpt's
// estimate), or to the module's end when `to_order` is past its last order: the length of a
// clip. 0 when it cannot be told.
double music_seconds_between(const std::string& path, uint32_t from_order, uint32_t from_row, uint32_t to_order,
                             uint32_t to_row);

// True when file descriptor 2 is a terminal.
bool stderr_is_terminal();

}  // namespace gf
