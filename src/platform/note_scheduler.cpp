// Note starts from pattern cells and row timing.
#include "platform/note_scheduler.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace gf {

namespace {
// SEx plays a row at most 16 times, so one row queues at most 16 notes a
// channel; notes of the previous row still queued when a row starts are
// those the rounding put at most a few samples late, at most as many again.
constexpr std::size_t kQueuedPerChannel = 2 * 16;
}  // namespace

uint64_t frames_per_tick(int tempo, int mix_rate) {
    return static_cast<uint64_t>(std::max(0, mix_rate)) * 5 / (2 * static_cast<uint64_t>(std::max(1, tempo)));
}

void NoteScheduler::load(int channels, std::vector<int> pattern_rows, std::vector<PatternCell> cells) {
    channels_ = std::max(0, channels);
    auto patterns = std::make_shared<Patterns>();
    patterns->rows = std::move(pattern_rows);
    patterns->offset.assign(patterns->rows.size(), 0);
    std::size_t total = 0;
    for (std::size_t p = 0; p < patterns->rows.size(); ++p) {
        patterns->rows[p] = std::max(0, patterns->rows[p]);
        patterns->offset[p] = total;
        total += static_cast<std::size_t>(patterns->rows[p]) * static_cast<std::size_t>(channels_);
    }
    patterns->cells = std::move(cells);
    patterns->cells.resize(total);  // a short table reads as empty cells, never past its end
    patterns_ = std::move(patterns);
    const auto per_channel = static_cast<std::size_t>(channels_);
    channel_instrument_.assign(per_channel, 0);
    channel_s_memory_.assign(per_channel, 0);
    row_s_.assign(per_channel, 0);
    queued_.assign(kQueuedPerChannel * per_channel + 16, NoteStart{});
    queued_count_ = 0;
}

void NoteScheduler::clear() { load(0, {}, {}); }

std::size_t NoteScheduler::bytes() const {
    return sizeof(*this) + channel_instrument_.capacity() + channel_s_memory_.capacity() + row_s_.capacity() +
           queued_.capacity() * sizeof(NoteStart);
}

void NoteScheduler::restart() {
    std::fill(channel_instrument_.begin(), channel_instrument_.end(), uint8_t{0});
    std::fill(channel_s_memory_.begin(), channel_s_memory_.end(), uint8_t{0});
    queued_count_ = 0;
}

const PatternCell* NoteScheduler::row_cells(int pattern, int row) const {
    const Patterns& patterns = *patterns_;
    if (pattern < 0 || pattern >= static_cast<int>(patterns.rows.size()) || row < 0 ||
        row >= patterns.rows[static_cast<std::size_t>(pattern)]) {
        return nullptr;
    }
    return patterns.cells.data() + patterns.offset[static_cast<std::size_t>(pattern)] +
           static_cast<std::size_t>(row) * static_cast<std::size_t>(channels_);
}

int NoteScheduler::row_started(int pattern, int row, uint64_t start, int speed, int tempo, int mix_rate,
                               const InstrumentSet& wanted) {
    const PatternCell* cells = row_cells(pattern, row);
    if (cells == nullptr) {
        return 0;
    }
    const uint64_t tick = frames_per_tick(tempo, mix_rate);

    // The S effects that shape the row's timing, with the per-channel recall of S00:
    // S6x adds x ticks (they add up across channels), SEx plays the row x more
    // times (the first one on the row counts), SDx delays the channel's note.
    int row_ticks = std::max(1, speed);
    int repeats = -1;
    for (int ch = 0; ch < channels_; ++ch) {
        const PatternCell& cell = cells[ch];
        uint8_t& s_value = row_s_[static_cast<std::size_t>(ch)];
        s_value = 0;
        if (cell.s_effect == 0) {
            continue;
        }
        uint8_t& memory = channel_s_memory_[static_cast<std::size_t>(ch)];
        if (cell.s_param != 0) {
            memory = cell.s_param;
        }
        s_value = memory;
        if ((s_value >> 4) == 0x6) {
            row_ticks += s_value & 0xF;
        } else if ((s_value >> 4) == 0xE && repeats < 0) {
            repeats = s_value & 0xF;
        }
    }
    repeats = std::max(repeats, 0);

    for (int ch = 0; ch < channels_; ++ch) {
        const PatternCell& cell = cells[ch];
        if (cell.instrument != 0) {
            channel_instrument_[static_cast<std::size_t>(ch)] = cell.instrument;
        }
        const uint8_t instrument = channel_instrument_[static_cast<std::size_t>(ch)];
        if (cell.note == 0 || instrument == 0 || !wanted.test(instrument)) {
            continue;
        }
        const uint8_t s_value = row_s_[static_cast<std::size_t>(ch)];
        // SD0 waits one tick, like SD1.
        const int delay = (s_value >> 4) == 0xD ? std::max(1, s_value & 0xF) : 0;
        if (delay >= row_ticks) {
            continue;  // a delay as long as the row: the note is never played
        }
        // A delayed note is struck again in every repetition of a pattern-delayed row.
        const int strikes = delay == 0 ? 1 : repeats + 1;
        for (int k = 0; k < strikes && queued_count_ < queued_.size(); ++k) {
            const uint64_t ticks =
                static_cast<uint64_t>(k) * static_cast<uint64_t>(row_ticks) + static_cast<uint64_t>(delay);
            queued_[queued_count_++] = NoteStart{start + ticks * tick, instrument};
        }
    }
    return row_ticks * (repeats + 1);
}

uint64_t NoteScheduler::next_start() const {
    uint64_t first = std::numeric_limits<uint64_t>::max();
    for (std::size_t i = 0; i < queued_count_; ++i) {
        first = std::min(first, queued_[i].frame);
    }
    return first;
}

bool NoteScheduler::take_due(uint64_t end, NoteStart& note) {
    for (std::size_t i = 0; i < queued_count_; ++i) {
        if (queued_[i].frame < end) {
            note = queued_[i];
            std::move(queued_.begin() + static_cast<std::ptrdiff_t>(i + 1),
                      queued_.begin() + static_cast<std::ptrdiff_t>(queued_count_),
                      queued_.begin() + static_cast<std::ptrdiff_t>(i));
            --queued_count_;
            return true;
        }
    }
    return false;
}

}  // namespace gf
