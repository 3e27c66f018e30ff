// The capture's --benchmark: the show rendered with no output, timed per order.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

#include "driver/capture_platform.h"
#include "driver/demo.h"

namespace gf {

// Prints the cost of a frame per music order on stdout, up to `end` when given. Returns
// the exit code (130 when `interrupt` was set; 1 when the clock never advanced, so
// nothing could be measured).
int run_benchmark(const DemoOptions& demo, const FrameRate& rate, uint64_t max_frames,
                  const std::atomic<bool>* interrupt, std::optional<ClipEnd> end = std::nullopt);

// "60" or "59.940": a frame rate for messages.
std::string rate_text(const FrameRate& rate);

}  // namespace gf
