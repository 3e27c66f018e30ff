// The millisecond clock every moving thing follows: an unsigned 32-bit count
// that wraps. Normally a monotonic clock counted from system start, so event
// times of 0 lie far in the past. A switch replaces it with a virtual clock
// that the program sets and advances (tests, deterministic capture).
#pragma once

#include <cstdint>

namespace gf {

// Milliseconds of the active clock, modulo 2^32. Safe from any thread.
uint32_t time_get_time();

// Where the virtual clock starts: far from 0 so that hit times of 0 lie in the past.
constexpr uint32_t kVirtualClockStart = 1'000'000;

// Switches every reader to the virtual clock, set to `start_ms`.
void use_virtual_clock(uint32_t start_ms = kVirtualClockStart);
// Switches back to the system clock.
void use_system_clock();

void set_virtual_clock(uint32_t ms);
void advance_virtual_clock(uint32_t ms);

// The active clock reads `ms` from now on and runs on from there (held: holds at `ms`).
void set_clock(uint32_t ms);

// Holds the clock (true): every reader sees the time of the hold until it is
// released (false); after that the clock runs on from that time, as if the held
// span had not passed. Holding a held clock or releasing a running one changes
// nothing. Switching between the system and the virtual clock releases it.
void hold_clock(bool held);

// The clock as it stands: which one is read, the virtual clock's time and the hold.
// Put back, every reader sees exactly what it would have seen had nothing switched
// the clock in between (a seek's table filled in idle time runs on the virtual clock).
struct ClockState {
    bool virtual_clock = false;
    uint32_t virtual_ms = 0;
    bool held = false;
    uint32_t held_at = 0;
    uint32_t held_total = 0;
};
ClockState save_clock();
void restore_clock(const ClockState& state);

}  // namespace gf
