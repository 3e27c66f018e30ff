// Monotonic system clock (CLOCK_MONOTONIC counts from boot) or a virtual one.
#include "platform/clock.h"

#include <atomic>
#include <ctime>

namespace gf {

namespace {
std::atomic<bool> s_virtual {false};
std::atomic<uint32_t> s_virtual_ms {kVirtualClockStart};

uint32_t system_ms() {
    timespec ts {};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1'000'000u;
    return static_cast<uint32_t>(ms);
}
}  // namespace

uint32_t time_get_time() {
    if (s_virtual.load(std::memory_order_relaxed)) {
        return s_virtual_ms.load(std::memory_order_relaxed);
    }
    return system_ms();
}

void use_virtual_clock(uint32_t start_ms) {
    s_virtual_ms.store(start_ms, std::memory_order_relaxed);
    s_virtual.store(true, std::memory_order_relaxed);
}

void use_system_clock() { s_virtual.store(false, std::memory_order_relaxed); }

bool virtual_clock_active() { return s_virtual.load(std::memory_order_relaxed); }

void set_virtual_clock(uint32_t ms) { s_virtual_ms.store(ms, std::memory_order_relaxed); }

void advance_virtual_clock(uint32_t ms) { s_virtual_ms.fetch_add(ms, std::memory_order_relaxed); }

}  // namespace gf
