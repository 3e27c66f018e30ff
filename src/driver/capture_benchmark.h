// The capture's --benchmark: the show rendered with no output, timed per order.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "driver/capture_platform.h"
#include "driver/demo.h"

namespace gf {

// Prints the cost of a frame per music order on stdout. Returns the exit code
// (130 when `interrupt` was set).
int run_benchmark(const DemoOptions& demo, const FrameRate& rate, uint64_t max_frames,
                  const std::atomic<bool>* interrupt);

// "60" or "59.940": a frame rate for messages.
std::string rate_text(const FrameRate& rate);

}  // namespace gf
