// The flash analyser: follows every area of a sequence of 320 × 200 frames with
// the counting of effects/flash_analysis.h and reports, per music order and for
// the whole sequence, the most transitions any area made in one second and the
// seconds in which some one-second window held more than three flashes.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>

#include "common/status.h"
#include "effects/flash_analysis.h"

namespace gf {

struct FlashOrderSummary {
    uint64_t frames = 0;
    int most_general = 0;  // most general transitions of one area in one second ending in this order
    int most_red = 0;
    uint64_t failing_frames = 0;       // frames that end a failing second
    std::map<uint64_t, bool> seconds;  // seconds of the show this order's frames lie in: failing or not
};

class FlashAnalyser {
public:
    // One frame at `ms` from the start (times must not go back), drawn in music order `order`.
    void add_frame(const uint32_t* pixels, uint64_t ms, uint32_t order);

    const std::map<uint32_t, FlashOrderSummary>& orders() const { return orders_; }
    uint64_t seconds() const;          // whole-or-part seconds the frames span
    uint64_t failing_seconds() const;  // seconds holding a frame that ends a failing one-second window
    bool passes() const { return failing_seconds() == 0; }

    // The table: one line per order and a total line.
    std::string table() const;

private:
    std::array<FlashTrack, kFlashAreas> general_{};
    std::array<FlashTrack, kFlashAreas> red_{};
    std::map<uint32_t, FlashOrderSummary> orders_;
    std::map<uint64_t, bool> seconds_;
};

// Reads a --frames folder (frames.csv and frame_NNNNNN.png) into the analyser.
Status analyse_frame_folder(const std::string& dir, FlashAnalyser& analyser);

}  // namespace gf
