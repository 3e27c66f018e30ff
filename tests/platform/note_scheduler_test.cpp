// The note scheduler on hand-made pattern cells, driven row after row as a
// player does: each row starts where the last one's ticks end.
#include "platform/note_scheduler.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

namespace {

using gf::PatternCell;

constexpr int kChannels = 3;
constexpr int kSpeed = 6;
constexpr int kTempo = 125;  // a tick is 44100 × 2.5 / 125 = 882 frames
constexpr uint64_t kTick = 882;
constexpr uint64_t kRow = kSpeed * kTick;  // 5292

struct Placed {
    int row;
    int channel;
    PatternCell cell;
};

PatternCell note(uint8_t instrument, uint8_t s_param = 0, bool s_effect = false) {
    return {60, instrument, static_cast<uint8_t>(s_effect || s_param != 0), s_param};
}
PatternCell effect_only(uint8_t s_param) { return {0, 0, 1, s_param}; }

struct Case {
    const char* name;
    std::vector<Placed> cells;
    std::vector<uint64_t> starts;  // every wanted note's start, in the order queued
};

// Plays 8 rows of one pattern; instrument 1 is wanted, instrument 2 is not.
std::vector<uint64_t> play(const std::vector<Placed>& placed) {
    constexpr int kRows = 8;
    std::vector<PatternCell> cells(kRows * kChannels);
    for (const Placed& p : placed) {
        cells.at(static_cast<std::size_t>(p.row) * kChannels + static_cast<std::size_t>(p.channel)) = p.cell;
    }
    gf::NoteScheduler scheduler;
    scheduler.load(kChannels, {kRows}, std::move(cells));
    gf::InstrumentSet wanted;
    wanted.set(1);
    std::vector<uint64_t> starts;
    uint64_t row_start = 0;
    for (int row = 0; row < kRows; ++row) {
        const int ticks = scheduler.row_started(0, row, row_start, kSpeed, kTempo, 44100, wanted);
        EXPECT_GE(ticks, kSpeed);
        row_start += static_cast<uint64_t>(ticks) * kTick;
        gf::NoteStart n;
        while (scheduler.take_due(row_start, n)) {
            EXPECT_EQ(n.instrument, 1);
            starts.push_back(n.frame);
        }
    }
    EXPECT_EQ(scheduler.next_start(), UINT64_MAX) << "a note was left queued past its row";
    EXPECT_EQ(scheduler.row_started(1, 0, 0, kSpeed, kTempo, 44100, wanted), 0) << "no such pattern";
    return starts;
}

TEST(NoteScheduler, NotesStartAtTheirRowOrTheirDelayAsImpulseTrackerPlaysThem) {
    const std::vector<Case> cases = {
        {"plain notes on each row's first sample", {{0, 0, note(1)}, {3, 2, note(1)}}, {0, 3 * kRow}},
        {"only wanted instruments", {{0, 0, note(2)}, {1, 1, note(1)}}, {kRow}},
        {"a note without instrument uses the channel's last",
         {{0, 0, {0, 1, 0, 0}}, {2, 0, {60, 0, 0, 0}}, {3, 1, {60, 0, 0, 0}}},
         {2 * kRow}},
        {"SDx delays by x ticks, SD0 by one",
         {{1, 0, note(1, 0xD3)}, {2, 1, note(1, 0xD0)}},
         {kRow + 3 * kTick, 2 * kRow + kTick}},
        {"S00 recalls the channel's last S effect",
         {{1, 0, note(1, 0xD2)}, {3, 0, note(1, 0x00, true)}},
         {kRow + 2 * kTick, 3 * kRow + 2 * kTick}},
        {"a delay as long as the row never plays", {{1, 0, note(1, 0xD6)}, {2, 0, note(1)}}, {2 * kRow}},
        {"S6x on two channels adds both",
         {{1, 0, effect_only(0x61)}, {1, 1, effect_only(0x62)}, {2, 0, note(1)}},
         {2 * kRow + 3 * kTick}},
        {"S6x makes room for a longer delay", {{1, 0, note(1, 0xD7)}, {1, 1, effect_only(0x62)}}, {kRow + 7 * kTick}},
        {"SEx repeats the row and its delayed notes, the first SEx counts",
         {{1, 0, note(1, 0xD2)}, {1, 1, effect_only(0xE2)}, {1, 2, effect_only(0xE5)}, {2, 1, note(1)}},
         {kRow + 2 * kTick, 2 * kRow + 2 * kTick, 3 * kRow + 2 * kTick, 4 * kRow}},
        {"SEx strikes an undelayed note once",
         {{1, 0, note(1)}, {1, 1, effect_only(0xE1)}, {2, 0, note(1)}},
         {kRow, 3 * kRow}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(play(c.cells), c.starts) << c.name;
    }
}

TEST(NoteScheduler, RestartForgetsTheChannelsAndTheQueue) {
    gf::NoteScheduler scheduler;
    scheduler.load(1, {2}, {{0, 1, 1, 0xD3}, {60, 0, 1, 0}});
    gf::InstrumentSet wanted;
    wanted.set(1);
    scheduler.row_started(0, 0, 0, kSpeed, kTempo, 44100, wanted);
    EXPECT_EQ(scheduler.row_started(0, 1, kRow, kSpeed, kTempo, 44100, wanted), kSpeed);
    EXPECT_EQ(scheduler.next_start(), kRow + 3 * kTick);  // instrument 1 and SD3 recalled
    scheduler.restart();
    EXPECT_EQ(scheduler.next_start(), UINT64_MAX);
    scheduler.row_started(0, 1, 0, kSpeed, kTempo, 44100, wanted);
    EXPECT_EQ(scheduler.next_start(), UINT64_MAX);  // no instrument on the channel any more
}

}  // namespace
