// Structure check of an Impulse Tracker module over its bytes.
#include "platform/module_check.h"

#include <cstddef>
#include <cstring>

#include "common/bytes.h"
#include "common/it_layout.h"

namespace gf {

Status check_module_structure(std::span<const uint8_t> file) {
    const uint8_t* bytes = file.data();
    const std::size_t size = file.size();
    constexpr std::size_t kHeaderBytes = it::header::kSize;
    const auto u16 = [bytes](std::size_t at) { return static_cast<uint32_t>(le::load16(bytes + at)); };
    const auto u32 = [bytes](std::size_t at) { return le::load32(bytes + at); };
    // True when [offset, offset + length) lies inside the file (no overflow: sizes are 64-bit).
    const auto inside = [size](uint64_t offset, uint64_t length) { return offset <= size && length <= size - offset; };
    if (size < 4 || std::memcmp(bytes + it::header::kMagic, it::header::kMagicText, 4) != 0) {
        return {};  // not Impulse Tracker: libopenmpt judges other formats itself
    }
    if (size < kHeaderBytes) {
        return failed("the file ends inside the module header");
    }
    const uint32_t orders = u16(it::header::kOrderCount);
    const uint32_t instruments = u16(it::header::kInstrumentCount);
    const uint32_t samples = u16(it::header::kSampleCount);
    const uint32_t patterns = u16(it::header::kPatternCount);
    const std::size_t tables = kHeaderBytes + orders;
    if (!inside(tables, 4ull * (instruments + samples + patterns))) {
        return failed("the file ends inside the order list or offset tables (cut short?)");
    }
    bool playable = false;
    for (uint32_t i = 0; i < orders && bytes[kHeaderBytes + i] != it::kOrderEnd; ++i) {
        playable = playable || bytes[kHeaderBytes + i] < it::kOrderSkip;
    }
    if (!playable) {
        return failed("the order list holds no pattern to play");
    }
    const std::size_t instrument_table = tables;
    const std::size_t sample_table = instrument_table + 4ull * instruments;
    const std::size_t pattern_table = sample_table + 4ull * samples;
    for (uint32_t i = 0; i < instruments; ++i) {
        if (!inside(u32(instrument_table + 4ull * i), 4)) {
            return failed("instrument " + std::to_string(i + 1) + " lies past the end of the file (cut short?)");
        }
    }
    for (uint32_t i = 0; i < samples; ++i) {
        const uint32_t at = u32(sample_table + 4ull * i);
        if (!inside(at, it::sample::kSize)) {
            return failed("sample " + std::to_string(i + 1) + " lies past the end of the file (cut short?)");
        }
        const uint8_t flags = bytes[at + it::sample::kFlags];
        const bool has_data = (flags & it::sample::kFlagHasData) != 0;
        const bool compressed = (flags & it::sample::kFlagCompressed) != 0;
        const uint64_t length = u32(at + it::sample::kLength);
        const uint64_t bytes_per_frame =
            ((flags & it::sample::kFlag16Bit) != 0 ? 2u : 1u) * ((flags & it::sample::kFlagStereo) != 0 ? 2u : 1u);
        const uint64_t data = u32(at + it::sample::kDataOffset);
        // ModPlug's 4-bit ADPCM: a 16-byte table then two samples a byte.
        const bool adpcm =
            bytes[at + it::sample::kConvert] == it::sample::kConvertAdpcm && (flags & it::sample::kFlag16Bit) == 0;
        const uint64_t stored = compressed ? 1 : adpcm ? (length + 1) / 2 + 16 : length * bytes_per_frame;
        if (has_data && length > 0 && !inside(data, stored)) {
            return failed("the data of sample " + std::to_string(i + 1) +
                          " runs past the end of the file (cut short?)");
        }
    }
    for (uint32_t i = 0; i < patterns; ++i) {
        const uint32_t at = u32(pattern_table + 4ull * i);
        if (at == 0) {
            continue;  // an empty pattern
        }
        if (!inside(at, it::pattern::kSize) || !inside(at + it::pattern::kSize, u16(at + it::pattern::kPackedLength))) {
            return failed("pattern " + std::to_string(i) + " runs past the end of the file (cut short?)");
        }
    }
    if ((u16(it::header::kSpecial) & it::header::kSpecialMessage) != 0 &&
        !inside(u32(it::header::kMessageOffset), u16(it::header::kMessageLength))) {
        return failed("the song message runs past the end of the file (cut short?)");
    }
    return {};
}

}  // namespace gf
