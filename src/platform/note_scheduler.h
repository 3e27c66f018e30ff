// Which instrument notes start when, from the pattern data and the row timing
// alone: no player library, no sound output, so that any platform layer that
// knows when each row begins can place its syncs with it.
//
// Every real note (not note-off, note-cut or note-fade) whose instrument (the
// cell's, or the channel's last one) is wanted starts at its row's first
// sample, or a few ticks later when the cell carries a note delay (SDx), again
// in each repetition of a pattern-delayed row (SEx), as Impulse Tracker plays
// it. S6x lengthens a row by x ticks, adding up over channels; S00 recalls the
// channel's last S effect.
//
// Threads: load() and clear() allocate and belong to the control side;
// restart(), row_started() and take_due() neither lock nor allocate, so the
// audio thread calls them while it owns the player.
#pragma once

#include <bitset>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace gf {

// One pattern cell reduced to what the syncs need.
struct PatternCell {
    uint8_t note = 0;        // 1..120 for a real note, 0 otherwise
    uint8_t instrument = 0;  // 0 = none
    uint8_t s_effect = 0;    // 1 when the effect column holds Sxy
    uint8_t s_param = 0;     // its xy; 0 recalls the channel's last Sxy
};

// A note of a wanted instrument and the sample frame where it starts.
struct NoteStart {
    uint64_t frame = 0;
    uint8_t instrument = 0;
};

// Instruments 1..255 that have syncs.
using InstrumentSet = std::bitset<256>;

// Length of a tick in sample frames at `tempo`: 2.5 / tempo seconds (classic
// tempo), rounded down to whole frames as libopenmpt plays each tick.
uint64_t frames_per_tick(int tempo, int mix_rate);

class NoteScheduler {
public:
    // Takes the patterns: `pattern_rows[p]` rows of `channels` cells each, all
    // patterns in turn in `cells`. Forgets what was queued.
    void load(int channels, std::vector<int> pattern_rows, std::vector<PatternCell> cells);
    void clear();
    // Forgets the channels' last instrument and S effect and the queued notes
    // (playback starts again from some position).
    void restart();

    // Row `row` of pattern `pattern` was first heard at sample `start`, playing
    // `speed` ticks a row at `tempo`. Queues its wanted notes at their start
    // samples. Returns the ticks the row lasts, repetitions included (0 for a
    // row not in the patterns), from which a player predicts the next row.
    int row_started(int pattern, int row, uint64_t start, int speed, int tempo, int mix_rate,
                    const InstrumentSet& wanted);

    // Start of the earliest queued note; UINT64_MAX when none is queued.
    uint64_t next_start() const;
    // Takes the first queued note, in the order queued, that starts before `end`.
    bool take_due(uint64_t end, NoteStart& note);
    void drop_queued() { queued_count_ = 0; }
    // The memory it holds, itself included (the patterns, which copies share, aside).
    std::size_t bytes() const;

private:
    const PatternCell* row_cells(int pattern, int row) const;

    // The patterns never change once loaded: copies of a scheduler (a seek's checkpoints) share them.
    struct Patterns {
        std::vector<int> rows;
        std::vector<std::size_t> offset;  // first cell of each pattern
        std::vector<PatternCell> cells;
    };
    int channels_ = 0;
    std::shared_ptr<const Patterns> patterns_ = std::make_shared<const Patterns>();
    std::vector<uint8_t> channel_instrument_;  // last instrument per channel
    std::vector<uint8_t> channel_s_memory_;    // last Sxy per channel
    std::vector<uint8_t> row_s_;               // this row's Sxy per channel after recall (0 = none)
    std::vector<NoteStart> queued_;            // sized at load; the first queued_count_ are live
    std::size_t queued_count_ = 0;
};

}  // namespace gf
