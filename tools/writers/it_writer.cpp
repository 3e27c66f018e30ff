// Impulse Tracker module writer: checks the in-memory module (it_check.cpp), then lays out
// header, order list, offset tables, song message, instruments, sample
// headers, packed patterns and sample data, all little-endian.
#include "writers/it_writer.h"

#include <algorithm>
#include <cstddef>
#include <stdexcept>
#include <string_view>

#include "common/bytes.h"
#include "common/it_layout.h"
#include "writers/it_limits.h"

namespace gf::itw {

namespace {

using namespace limits;

// The fixed records' fields and sizes are named in common/it_layout.h.
namespace header = it::header;
namespace envelope = it::envelope;
namespace instrument = it::instrument;
namespace sample = it::sample;
namespace pattern = it::pattern;

constexpr uint16_t kTrackerVersion = 0x0214;  // Cwt and Cmwt: Impulse Tracker 2.14

// Pattern packing: channel marker bit 7 says a mask byte follows.
constexpr uint8_t kMarkerHasMask = 0x80;
constexpr uint8_t kMaskNote = 1 << 0;
constexpr uint8_t kMaskInstrument = 1 << 1;
constexpr uint8_t kMaskVolume = 1 << 2;
constexpr uint8_t kMaskEffect = 1 << 3;

constexpr int kPanCentre = 32;
constexpr int kPanDisabled = 128;       // added to a channel's pan: channel off
constexpr int kDefaultPanUnused = 128;  // instrument default pan: bit 7 set means "don't use"

// The file being written. A fixed record is laid down as zeros of its size,
// then its fields are set at their offsets; packed data is appended.
class Bytes {
public:
    void u8(int value) { data_.push_back(static_cast<uint8_t>(value)); }
    void u16(uint32_t value) { le::append16(data_, static_cast<uint16_t>(value)); }
    void text(std::string_view s, size_t field) {
        for (size_t i = 0; i < field; ++i) {
            u8(i < s.size() ? static_cast<uint8_t>(s[i]) : 0);
        }
    }
    void zeros(size_t count) { data_.insert(data_.end(), count, 0); }
    // Appends a zeroed record of `size` bytes and returns where it starts.
    size_t record(size_t size) {
        const size_t start = data_.size();
        zeros(size);
        return start;
    }
    void put8(size_t at, int value) { *field(at, 1) = static_cast<uint8_t>(value); }
    void put16(size_t at, uint32_t value) { le::store16(field(at, 2), static_cast<uint16_t>(value)); }
    void put32(size_t at, uint32_t value) { le::store32(field(at, 4), value); }
    void put_text(size_t at, std::string_view s, size_t field) {
        for (size_t i = 0; i < field && i < s.size(); ++i) {
            put8(at + i, static_cast<uint8_t>(s[i]));
        }
    }
    size_t size() const { return data_.size(); }
    std::vector<uint8_t> take() { return std::move(data_); }

private:
    // A field of a record already laid down; anything else is a fault in this writer.
    uint8_t* field(size_t at, size_t size) {
        if (at > data_.size() || size > data_.size() - at) {
            throw std::logic_error("IT writer: field at " + std::to_string(at) + " lies past the bytes written");
        }
        return data_.data() + at;
    }

    std::vector<uint8_t> data_;
};

void write_envelope(Bytes& out, size_t at, const Envelope& envelope) {
    uint8_t flags = 0;
    if (envelope.enabled) flags |= envelope::kOn;
    if (envelope.loop) flags |= envelope::kLoop;
    if (envelope.sustain) flags |= envelope::kSustain;
    out.put8(at + envelope::kFlags, flags);
    out.put8(at + envelope::kNodeCount, static_cast<int>(envelope.nodes.size()));
    out.put8(at + envelope::kLoopBegin, envelope.loop_begin);
    out.put8(at + envelope::kLoopEnd, envelope.loop_end);
    out.put8(at + envelope::kSustainBegin, envelope.sustain_begin);
    out.put8(at + envelope::kSustainEnd, envelope.sustain_end);
    for (size_t i = 0; i < envelope.nodes.size(); ++i) {
        const size_t node = at + envelope::kNodes + envelope::kNodeBytes * i;
        out.put8(node, envelope.nodes[i].value & 0xFF);  // pan and pitch values are signed bytes
        out.put16(node + 1, envelope.nodes[i].tick);
    }
}

// An unused envelope as the tracker saves one: off, two flat nodes.
Envelope idle_envelope(int value) {
    Envelope envelope;
    envelope.nodes = {{0, value}, {100, value}};
    return envelope;
}

// Fields not set stay zero: DOS file name, duplicate checks, random
// variations, filter, MIDI, and what only instrument files hold.
void write_instrument(Bytes& out, const Instrument& instrument) {
    const size_t at = out.record(instrument::kSize);
    out.put_text(at + instrument::kMagic, {instrument::kMagicText, 4}, 4);
    out.put8(at + instrument::kNewNoteAction, instrument.new_note_action);
    out.put16(at + instrument::kFadeout, static_cast<uint32_t>(std::min(instrument.fadeout, kMaxStoredFadeout)));
    out.put8(at + instrument::kPitchPanCentre, 60);  // C-5
    out.put8(at + instrument::kGlobalVolume, instrument.global_volume);
    out.put8(at + instrument::kDefaultPan,
             instrument.default_pan < 0 ? kDefaultPanUnused + kPanCentre : instrument.default_pan);
    out.put_text(at + instrument::kName, instrument.name, it::kNameBytes);
    size_t zone = 0;
    for (int note = 0; note < static_cast<int>(instrument::kKeyboardNotes); ++note) {
        // keyboard: every note plays itself on its zone's sample
        while (zone + 1 < instrument.zones.size() && note > instrument.zones[zone].top_note) ++zone;
        const size_t key = at + instrument::kKeyboard + 2 * static_cast<size_t>(note);
        out.put8(key, note);
        out.put8(key + 1, instrument.zones.empty() ? instrument.sample : instrument.zones[zone].sample);
    }
    auto stored = [](const Envelope& envelope, int idle_value) {
        return envelope.enabled || !envelope.nodes.empty() ? envelope : idle_envelope(idle_value);
    };
    write_envelope(out, at + instrument::kVolumeEnvelope, stored(instrument.volume_envelope, 64));
    write_envelope(out, at + instrument::kPanEnvelope, stored(instrument.pan_envelope, 0));
    write_envelope(out, at + instrument::kPitchEnvelope, stored(instrument.pitch_envelope, 0));
}

// Returns the offset of the sample-pointer field so that it can be patched
// later. Fields not set stay zero: DOS file name, sustain loop.
size_t write_sample_header(Bytes& out, const Sample& sample) {
    const size_t at = out.record(sample::kSize);
    out.put_text(at + sample::kMagic, {sample::kMagicText, 4}, 4);
    out.put8(at + sample::kGlobalVolume, sample.global_volume);
    uint8_t flags = 0;
    if (!sample.data.empty()) {
        flags = sample::kFlagHasData | sample::kFlag16Bit;
        if (sample.loop) flags |= sample::kFlagLoop;
    }
    out.put8(at + sample::kFlags, flags);
    out.put8(at + sample::kDefaultVolume, sample.default_volume);
    out.put_text(at + sample::kName, sample.name, it::kNameBytes);
    out.put8(at + sample::kConvert, sample::kConvertSigned);
    out.put8(at + sample::kDefaultPan, kPanCentre);  // bit 7 clear: not used
    out.put32(at + sample::kLength, static_cast<uint32_t>(sample.data.size()));
    out.put32(at + sample::kLoopBegin, sample.loop ? sample.loop_begin : 0);
    out.put32(at + sample::kLoopEnd, sample.loop ? sample.loop_end : 0);
    out.put32(at + sample::kC5Speed, static_cast<uint32_t>(sample.c5_speed));
    out.put8(at + sample::kVibratoSpeed, sample.vibrato_speed);
    out.put8(at + sample::kVibratoDepth, sample.vibrato_depth);
    out.put8(at + sample::kVibratoRate, sample.vibrato_rate);
    out.put8(at + sample::kVibratoType, sample.vibrato_type);
    return at + sample::kDataOffset;
}

}  // namespace

// Packs one pattern. A channel's mask byte is written only when it differs
// from the last mask of that channel in this pattern (the reader keeps it).
std::vector<uint8_t> pack_pattern(const Pattern& pattern, int channels) {
    Bytes out;
    int last_mask[kMaxChannels];
    std::fill(std::begin(last_mask), std::end(last_mask), -1);
    for (int row = 0; row < pattern.rows; ++row) {
        if (row < static_cast<int>(pattern.cells.size())) {
            const std::vector<Cell>& cells = pattern.cells[row];
            const int count = std::min(static_cast<int>(cells.size()), channels);
            for (int channel = 0; channel < count; ++channel) {
                const Cell& cell = cells[channel];
                uint8_t mask = 0;
                if (cell.note != kNoNote) mask |= kMaskNote;
                if (cell.instrument > 0) mask |= kMaskInstrument;
                if (cell.volume >= 0) mask |= kMaskVolume;
                if (cell.effect > 0) mask |= kMaskEffect;
                if (mask == 0) continue;
                if (mask == last_mask[channel]) {
                    out.u8(channel + 1);
                } else {
                    out.u8((channel + 1) | kMarkerHasMask);
                    out.u8(mask);
                    last_mask[channel] = mask;
                }
                if (mask & kMaskNote) out.u8(cell.note);
                if (mask & kMaskInstrument) out.u8(cell.instrument);
                if (mask & kMaskVolume) out.u8(cell.volume);
                if (mask & kMaskEffect) {
                    out.u8(cell.effect);
                    out.u8(cell.param);
                }
            }
        }
        out.u8(0);  // end of row
    }
    return out.take();
}

Pattern::Pattern(int row_count, int channels)
    : rows(row_count),
      cells(static_cast<size_t>(std::max(row_count, 0)),
            std::vector<Cell>(static_cast<size_t>(std::max(channels, 0)))) {}

Cell& Pattern::at(int row, int channel) {
    if (row < 0 || row >= static_cast<int>(cells.size())) {
        throw std::out_of_range("pattern row " + std::to_string(row) + " outside 0.." +
                                std::to_string(static_cast<int>(cells.size()) - 1));
    }
    if (channel < 0 || channel >= kMaxChannels) {
        throw std::out_of_range("pattern channel " + std::to_string(channel) + " outside 0..63");
    }
    std::vector<Cell>& line = cells[row];
    if (channel >= static_cast<int>(line.size())) {
        line.resize(channel + 1);
    }
    return line[channel];
}

namespace {

// The song message as stored: lines end with CR, the text with NUL; empty when there is none.
std::string stored_message(const Module& module) {
    std::string message;
    if (!module.message.empty()) {
        message = module.message;
        std::replace(message.begin(), message.end(), '\n', '\r');
        message.push_back('\0');
    }
    return message;
}

// The header at the start of the file, then the order list. The order list is stored as
// given, without an appended end marker: libxmp would count a trailing 255 as one more order.
void write_song_header(Bytes& out, const Module& module, const std::string& message) {
    // Fields not set stay zero: row highlight (not stored: special bit 2
    // clear), pitch wheel depth, reserved.
    out.record(header::kSize);  // at the start of the file
    out.put_text(header::kMagic, {header::kMagicText, 4}, 4);
    out.put_text(header::kTitle, module.title, it::kNameBytes);
    out.put16(header::kOrderCount, static_cast<int>(module.orders.size()));
    out.put16(header::kInstrumentCount, static_cast<int>(module.instruments.size()));
    out.put16(header::kSampleCount, static_cast<int>(module.samples.size()));
    out.put16(header::kPatternCount, static_cast<int>(module.patterns.size()));
    out.put16(header::kCreatedWith, kTrackerVersion);
    out.put16(header::kCompatibleWith, kTrackerVersion);
    out.put16(header::kFlags, header::kFlagStereo | header::kFlagInstruments | header::kFlagLinearSlides);
    out.put16(header::kSpecial, message.empty() ? 0 : header::kSpecialMessage);
    out.put8(header::kGlobalVolume, module.global_volume);
    out.put8(header::kMixVolume, module.mix_volume);
    out.put8(header::kInitialSpeed, module.initial_speed);
    out.put8(header::kInitialTempo, module.initial_tempo);
    out.put8(header::kPanSeparation, 128);  // full
    out.put16(header::kMessageLength, static_cast<uint32_t>(message.size()));
    for (int channel = 0; channel < kMaxChannels; ++channel) {
        int pan = kPanCentre;
        if (channel < static_cast<int>(module.channel_pan.size())) pan = module.channel_pan[channel];
        out.put8(header::kChannelPan + channel, channel < module.channels ? pan : pan + kPanDisabled);
        out.put8(header::kChannelVolume + channel, 64);
    }
    // The order list follows the header.
    for (int order : module.orders) {
        out.u8(order);
    }
}

// A pattern's header and its packed rows.
void write_pattern(Bytes& out, const Pattern& pattern, int channels) {
    const std::vector<uint8_t> packed = pack_pattern(pattern, channels);
    const size_t header_at = out.record(pattern::kSize);
    out.put16(header_at + pattern::kPackedLength, static_cast<uint32_t>(packed.size()));
    out.put16(header_at + pattern::kRows, static_cast<uint32_t>(pattern.rows));
    for (uint8_t byte : packed) out.u8(byte);
}

}  // namespace

std::vector<uint8_t> write_it(const Module& module) {
    if (const Status checked = check_module(module); !checked.ok) {
        throw std::invalid_argument("cannot write IT module: " + checked.message);
    }
    const int instrument_count = static_cast<int>(module.instruments.size());
    const int sample_count = static_cast<int>(module.samples.size());
    const int pattern_count = static_cast<int>(module.patterns.size());
    const std::string message = stored_message(module);

    Bytes out;
    write_song_header(out, module, message);
    const size_t instrument_table = out.size();
    out.zeros(4 * static_cast<size_t>(instrument_count));
    const size_t sample_table = out.size();
    out.zeros(4 * static_cast<size_t>(sample_count));
    const size_t pattern_table = out.size();
    out.zeros(4 * static_cast<size_t>(pattern_count));

    if (!message.empty()) {
        out.put32(header::kMessageOffset, static_cast<uint32_t>(out.size()));
        out.text(message, message.size());
    }
    for (int i = 0; i < instrument_count; ++i) {
        out.put32(instrument_table + 4 * i, static_cast<uint32_t>(out.size()));
        write_instrument(out, module.instruments[i]);
    }
    std::vector<size_t> sample_pointer_at(sample_count);
    for (int i = 0; i < sample_count; ++i) {
        out.put32(sample_table + 4 * i, static_cast<uint32_t>(out.size()));
        sample_pointer_at[i] = write_sample_header(out, module.samples[i]);
    }
    for (int i = 0; i < pattern_count; ++i) {
        out.put32(pattern_table + 4 * i, static_cast<uint32_t>(out.size()));
        write_pattern(out, module.patterns[i], module.channels);
    }
    for (int i = 0; i < sample_count; ++i) {
        const Sample& sample = module.samples[i];
        if (sample.data.empty()) continue;
        out.put32(sample_pointer_at[i], static_cast<uint32_t>(out.size()));
        for (int16_t value : sample.data) {
            out.u16(static_cast<uint16_t>(value));
        }
    }
    return out.take();
}

}  // namespace gf::itw
