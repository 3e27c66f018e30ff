// What the module writer and its check share: the Impulse Tracker format's
// limits, and the pattern packer (the check refuses a pattern whose packed
// form does not fit).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/it_layout.h"
#include "writers/it_writer.h"

namespace gf::itw {

namespace limits {

constexpr int kMaxChannels = static_cast<int>(it::header::kChannels);
constexpr int kMaxRows = 200;
constexpr int kMaxPatterns = 200;
constexpr int kMaxOrders = 256;
constexpr int kMaxInstruments = 99;
constexpr int kMaxSamples = 99;
constexpr int kMaxEnvelopeNodes = static_cast<int>(it::envelope::kMaxNodes);
constexpr int kMaxEnvelopeTick = 9999;
constexpr size_t kMaxNameLength = it::kNameBytes - 1;  // room for the terminating NUL
constexpr size_t kMaxMessageLength = 8000;
constexpr int kMaxStoredFadeout = 256;
constexpr int kMaxC5Speed = 9999999;
constexpr uint32_t kMaxSampleLength = 0x7FFFFFFF / 2;

constexpr size_t kMaxPackedPattern = 65535 - it::pattern::kSize;
constexpr int kOrderSkip = it::kOrderSkip;
constexpr int kOrderEnd = it::kOrderEnd;

}  // namespace limits

// Packs one pattern's rows as the format stores them, without its header.
std::vector<uint8_t> pack_pattern(const Pattern& pattern, int channels);

}  // namespace gf::itw
