// The Impulse Tracker module layout, field by field: byte offsets inside each
// fixed record and the records' sizes. The module check reads by these names
// and the module writer writes by them, so the two cannot drift apart; the
// writer's output is cross-checked against libopenmpt and libxmp.
#pragma once

#include <cstddef>
#include <cstdint>

namespace gf::it {

// Names and the title are 26 bytes, NUL-padded.
constexpr std::size_t kNameBytes = 26;

// The file header; the order list follows it, then the instrument, sample and
// pattern offset tables (32-bit file offsets each).
namespace header {
constexpr std::size_t kMagic = 0x00;
constexpr char kMagicText[4] = {'I', 'M', 'P', 'M'};
constexpr std::size_t kTitle = 0x04;
constexpr std::size_t kRowHighlight = 0x1E;     // u16
constexpr std::size_t kOrderCount = 0x20;       // u16
constexpr std::size_t kInstrumentCount = 0x22;  // u16
constexpr std::size_t kSampleCount = 0x24;      // u16
constexpr std::size_t kPatternCount = 0x26;     // u16
constexpr std::size_t kCreatedWith = 0x28;      // u16 tracker version
constexpr std::size_t kCompatibleWith = 0x2A;   // u16 tracker version
constexpr std::size_t kFlags = 0x2C;            // u16
constexpr std::size_t kSpecial = 0x2E;          // u16
constexpr std::size_t kGlobalVolume = 0x30;
constexpr std::size_t kMixVolume = 0x31;
constexpr std::size_t kInitialSpeed = 0x32;
constexpr std::size_t kInitialTempo = 0x33;
constexpr std::size_t kPanSeparation = 0x34;
constexpr std::size_t kPitchWheelDepth = 0x35;
constexpr std::size_t kMessageLength = 0x36;  // u16
constexpr std::size_t kMessageOffset = 0x38;  // u32
constexpr std::size_t kReserved = 0x3C;       // u32
constexpr std::size_t kChannelPan = 0x40;     // one byte per channel
constexpr std::size_t kChannelVolume = 0x80;  // one byte per channel
constexpr std::size_t kChannels = 64;
constexpr std::size_t kSize = 0xC0;
static_assert(kChannelPan + kChannels == kChannelVolume && kChannelVolume + kChannels == kSize);
static_assert(kTitle + kNameBytes == kRowHighlight && kReserved + 4 == kChannelPan);

constexpr uint16_t kFlagStereo = 1 << 0;
constexpr uint16_t kFlagInstruments = 1 << 2;
constexpr uint16_t kFlagLinearSlides = 1 << 3;
constexpr uint16_t kSpecialMessage = 1 << 0;  // the song message is stored
}  // namespace header

// Order list entries other than pattern numbers.
constexpr uint8_t kOrderSkip = 254;
constexpr uint8_t kOrderEnd = 255;

// One envelope inside an instrument: flags, node count, loop and sustain
// nodes, 25 nodes of (value byte, u16 tick), one pad byte.
namespace envelope {
constexpr std::size_t kFlags = 0;
constexpr std::size_t kNodeCount = 1;
constexpr std::size_t kLoopBegin = 2;
constexpr std::size_t kLoopEnd = 3;
constexpr std::size_t kSustainBegin = 4;
constexpr std::size_t kSustainEnd = 5;
constexpr std::size_t kNodes = 6;
constexpr std::size_t kNodeBytes = 3;
constexpr std::size_t kMaxNodes = 25;
constexpr std::size_t kSize = 82;
static_assert(kNodes + kMaxNodes * kNodeBytes + 1 == kSize);

constexpr uint8_t kOn = 1 << 0;
constexpr uint8_t kLoop = 1 << 1;
constexpr uint8_t kSustain = 1 << 2;
}  // namespace envelope

// An instrument record ("IMPI").
namespace instrument {
constexpr std::size_t kMagic = 0x00;
constexpr char kMagicText[4] = {'I', 'M', 'P', 'I'};
constexpr std::size_t kNewNoteAction = 0x11;
constexpr std::size_t kFadeout = 0x14;  // u16
constexpr std::size_t kPitchPanCentre = 0x17;
constexpr std::size_t kGlobalVolume = 0x18;
constexpr std::size_t kDefaultPan = 0x19;
constexpr std::size_t kName = 0x20;
constexpr std::size_t kKeyboard = 0x40;  // 120 pairs of (note, sample)
constexpr std::size_t kKeyboardNotes = 120;
constexpr std::size_t kVolumeEnvelope = 0x130;
constexpr std::size_t kPanEnvelope = kVolumeEnvelope + envelope::kSize;
constexpr std::size_t kPitchEnvelope = kPanEnvelope + envelope::kSize;
constexpr std::size_t kSize = 554;  // 550 used, padded as the tracker writes it
static_assert(kName + kNameBytes <= kKeyboard && kKeyboard + 2 * kKeyboardNotes == kVolumeEnvelope);
static_assert(kPitchEnvelope + envelope::kSize <= kSize);
}  // namespace instrument

// A sample header ("IMPS"); the sample data lies where kDataOffset points.
namespace sample {
constexpr std::size_t kMagic = 0x00;
constexpr char kMagicText[4] = {'I', 'M', 'P', 'S'};
constexpr std::size_t kGlobalVolume = 0x11;
constexpr std::size_t kFlags = 0x12;
constexpr std::size_t kDefaultVolume = 0x13;
constexpr std::size_t kName = 0x14;
constexpr std::size_t kConvert = 0x2E;
constexpr std::size_t kDefaultPan = 0x2F;
constexpr std::size_t kLength = 0x30;      // u32, in sample frames
constexpr std::size_t kLoopBegin = 0x34;   // u32
constexpr std::size_t kLoopEnd = 0x38;     // u32
constexpr std::size_t kC5Speed = 0x3C;     // u32
constexpr std::size_t kDataOffset = 0x48;  // u32
constexpr std::size_t kVibratoSpeed = 0x4C;
constexpr std::size_t kVibratoDepth = 0x4D;
constexpr std::size_t kVibratoRate = 0x4E;
constexpr std::size_t kVibratoType = 0x4F;
constexpr std::size_t kSize = 0x50;
static_assert(kName + kNameBytes == kConvert && kVibratoType + 1 == kSize);

constexpr uint8_t kFlagHasData = 1 << 0;
constexpr uint8_t kFlag16Bit = 1 << 1;
constexpr uint8_t kFlagStereo = 1 << 2;
constexpr uint8_t kFlagCompressed = 1 << 3;
constexpr uint8_t kFlagLoop = 1 << 4;
constexpr uint8_t kConvertSigned = 1 << 0;
constexpr uint8_t kConvertAdpcm = 0xFF;  // ModPlug's 4-bit ADPCM: a 16-byte table, then two samples a byte
}  // namespace sample

// A pattern's header; its packed rows follow.
namespace pattern {
constexpr std::size_t kPackedLength = 0;  // u16, bytes after the header
constexpr std::size_t kRows = 2;          // u16
constexpr std::size_t kSize = 8;          // four reserved bytes follow the row count
}  // namespace pattern

}  // namespace gf::it
