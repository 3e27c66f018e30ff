// "xmas.it": the Christmas tune that drives the show. Its layout is fixed by
// the scene timeline: 17 orders of 128 rows at speed 3 and tempo 125 (60 ms a
// row, 7.68 s an order), instrument 1 the accent that flashes and switches
// scenes, instrument 6 the kick that bounces the planes.
#pragma once

#include <string>

#include "writers/it_writer.h"

namespace gf::datagen {

constexpr int kXmasOrders = 17;
constexpr int kXmasRows = 128;
constexpr int kXmasChannels = 20;
constexpr int kXmasSpeed = 3;    // ticks a row
constexpr int kXmasTempo = 125;  // 2.5 / 125 s = 20 ms a tick
constexpr int kXmasRowsPerBeat = 8;

// Instrument numbers as the module stores them (1-based).
namespace xmas {
constexpr int kSleighBells = 1;  // the accent: flashes, picture band, sub-scene switches
constexpr int kBells = 2;
constexpr int kBass = 3;
constexpr int kLead = 4;
constexpr int kStrings = 5;
constexpr int kKick = 6;  // bounces the planes
constexpr int kSnare = 7;
constexpr int kClosedHat = 8;
constexpr int kChoir = 9;
constexpr int kCrash = 10;
constexpr int kOpenHat = 11;
constexpr int kTom = 12;
constexpr int kStab = 13;
constexpr int kClap = 14;
constexpr int kShaker = 15;
constexpr int kChip = 16;
constexpr int kRiser = 17;
constexpr int kInstrumentCount = 17;
constexpr int kSampleCount = 25;
}  // namespace xmas

// The whole module in memory: samples synthesised, patterns composed.
itw::Module build_xmas_module();

// The samples and instruments alone (module_instruments.cpp).
void add_xmas_instruments(itw::Module& module);

// The 17 patterns (module_score.cpp).
std::vector<itw::Pattern> compose_xmas_patterns();

}  // namespace gf::datagen
