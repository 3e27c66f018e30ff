// The audio clock's release of positions and syncs rendered ahead.
#include "platform/web/audio_timeline.h"

#include <algorithm>

namespace gf {

void AudioTimeline::clear() {
    stretches_.clear();
    syncs_.clear();
    position_ = 0;
}

void AudioTimeline::rendered(uint64_t start, uint32_t position) { stretches_.push_back({start, position}); }

void AudioTimeline::reach(uint64_t now) {
    // The position after the last stretch that has begun to be heard.
    while (!stretches_.empty() && stretches_.front().start <= now) {
        position_ = stretches_.front().position;
        stretches_.pop_front();
    }
    while (!syncs_.empty() && syncs_.front().frame <= now) {
        const Sync sync = syncs_.front();
        syncs_.pop_front();
        worst_late_ = std::max(worst_late_, now - sync.frame);
        lateness_.push_back(now - sync.frame);
        sync.proc(sync.handle, sync.data);
    }
}

std::size_t AudioTimeline::fired_later_than(uint64_t frames) const {
    return static_cast<std::size_t>(
        std::count_if(lateness_.begin(), lateness_.end(), [frames](uint64_t late) { return late > frames; }));
}

}  // namespace gf
