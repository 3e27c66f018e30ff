// Monotonic system clock (CLOCK_MONOTONIC counts from boot) or a virtual one.
#include "platform/clock.h"

#include <atomic>
#include <ctime>

namespace gf {

namespace {
std::atomic<bool> s_virtual{false};
std::atomic<uint32_t> s_virtual_ms{kVirtualClockStart};
std::atomic<bool> s_held{false};
std::atomic<uint32_t> s_held_at{0};
std::atomic<uint32_t> s_held_total{0};  // taken off every reading: the time spent held so far

uint32_t system_ms() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1'000'000u;
    return static_cast<uint32_t>(ms);
}

uint32_t running_ms() {
    return s_virtual.load(std::memory_order_relaxed) ? s_virtual_ms.load(std::memory_order_relaxed) : system_ms();
}

void release_hold() {
    s_held.store(false);
    s_held_total.store(0);
}
}  // namespace

uint32_t time_get_time() {
    if (s_held.load()) {
        return s_held_at.load();
    }
    return running_ms() - s_held_total.load();
}

void use_virtual_clock(uint32_t start_ms) {
    s_virtual_ms.store(start_ms, std::memory_order_relaxed);
    s_virtual.store(true, std::memory_order_relaxed);
    release_hold();
}

void use_system_clock() {
    s_virtual.store(false, std::memory_order_relaxed);
    release_hold();
}

void hold_clock(bool held) {
    if (held == s_held.load()) {
        return;
    }
    // The time of the hold is published before the hold, and the new total before the release,
    // so that a reader on another thread (the music's sync handler) never sees a jump.
    if (held) {
        s_held_at.store(running_ms() - s_held_total.load());
        s_held.store(true);
    } else {
        s_held_total.store(running_ms() - s_held_at.load());
        s_held.store(false);
    }
}

void set_clock(uint32_t ms) {
    if (s_held.load()) {
        s_held_at.store(ms);
    } else {
        s_held_total.store(running_ms() - ms);
    }
}

void set_virtual_clock(uint32_t ms) { s_virtual_ms.store(ms, std::memory_order_relaxed); }

void advance_virtual_clock(uint32_t ms) { s_virtual_ms.fetch_add(ms, std::memory_order_relaxed); }

ClockState save_clock() {
    ClockState state;
    state.virtual_clock = s_virtual.load();
    state.virtual_ms = s_virtual_ms.load();
    state.held = s_held.load();
    state.held_at = s_held_at.load();
    state.held_total = s_held_total.load();
    return state;
}

void restore_clock(const ClockState& state) {
    s_virtual_ms.store(state.virtual_ms);
    s_virtual.store(state.virtual_clock);
    s_held_at.store(state.held_at);
    s_held_total.store(state.held_total);
    s_held.store(state.held);
}

}  // namespace gf
