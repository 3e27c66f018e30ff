// What the sound a page has scheduled ahead has reached: the player's position
// and the instrument syncs, recorded as the music is rendered ahead of time and
// released as the audio clock passes them, so that the picture follows what is
// heard rather than what was rendered last. No browser code: tested natively.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "platform/music.h"

namespace gf {

class AudioTimeline {
public:
    struct Sync {
        uint64_t frame;  // stream frame where its note starts
        SyncProc proc;
        uint32_t handle;
        uint32_t data;
    };

    void clear();
    // A stretch of sound from `start` (stream frames) was rendered; the player stood at `position` after it.
    void rendered(uint64_t start, uint32_t position);
    void queue(const Sync& sync) { syncs_.push_back(sync); }
    // The audio clock has reached stream frame `now`: fires every sync due by then,
    // in order, and keeps the largest lateness seen (in frames).
    void reach(uint64_t now);
    uint32_t position() const { return position_; }
    uint64_t worst_late_frames() const { return worst_late_; }
    // Syncs fired so far, and how many of them fired more than `frames` after their note.
    std::size_t fired() const { return lateness_.size(); }
    std::size_t fired_later_than(uint64_t frames) const;

private:
    struct Stretch {
        uint64_t start;
        uint32_t position;
    };
    std::deque<Stretch> stretches_;
    std::deque<Sync> syncs_;
    uint32_t position_ = 0;
    uint64_t worst_late_ = 0;
    std::vector<uint64_t> lateness_;  // of every sync fired, in frames
};

}  // namespace gf
