// The capture's --benchmark: the show rendered with no output, timed per order.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

#include "driver/capture_platform.h"
#include "driver/demo.h"

namespace gf {

// Prints the cost of a frame per music order on stdout, up to `end` when given: for the whole
// show, or for what ran when `interrupt` was set (exit code 130) or the show went on past
// `max_show_ms` (a module that never ends; exit code 1). Returns the exit code (also 1 when
// the clock never advanced, so nothing could be measured).
int run_benchmark(const DemoOptions& demo, const FrameRate& rate, uint64_t max_frames,
                  const std::atomic<bool>* interrupt, std::optional<ClipEnd> end = std::nullopt,
                  uint64_t max_show_ms = 30 * 60 * 1000);

// "60" or "59.940": a frame rate for messages.
std::string rate_text(const FrameRate& rate);

}  // namespace gf
