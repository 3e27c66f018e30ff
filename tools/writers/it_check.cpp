// Impulse Tracker module check: every value the writer stores must fit its
// field and the format's limits, so a module that cannot be written is named
// with its first fault instead of being written wrong.
#include <algorithm>
#include <cstddef>
#include <string>

#include "writers/it_limits.h"
#include "writers/it_writer.h"

namespace gf::itw {

namespace {

using namespace limits;

bool cell_is_empty(const Cell& cell) {
    return cell.note == kNoNote && cell.instrument == 0 && cell.volume < 0 && cell.effect == 0;
}

bool valid_volume_column(int volume) {
    return volume == -1 || (volume >= 0 && volume <= 124) || (volume >= 128 && volume <= 212);
}

std::string check_envelope(const Envelope& envelope, const std::string& where, int low, int high) {
    const int count = static_cast<int>(envelope.nodes.size());
    if (count > kMaxEnvelopeNodes) {
        return where + " has " + std::to_string(count) + " nodes (at most 25)";
    }
    if (envelope.enabled && count == 0) {
        return where + " is enabled but has no nodes";
    }
    for (int i = 0; i < count; ++i) {
        const EnvelopeNode& node = envelope.nodes[i];
        if (node.tick < 0 || node.tick > kMaxEnvelopeTick) {
            return where + " node " + std::to_string(i) + ": tick " + std::to_string(node.tick) + " outside 0..9999";
        }
        if (node.value < low || node.value > high) {
            return where + " node " + std::to_string(i) + ": value " + std::to_string(node.value) + " outside " +
                   std::to_string(low) + ".." + std::to_string(high);
        }
        if (i == 0 && node.tick != 0) {
            return where + " must start at tick 0";
        }
        if (i > 0 && node.tick <= envelope.nodes[i - 1].tick) {
            return where + " node " + std::to_string(i) + ": ticks must increase";
        }
    }
    auto check_range = [&](bool on, int begin, int end, const char* what) -> std::string {
        if (on && (begin < 0 || end < begin || end >= count)) {
            return where + ": " + what + " " + std::to_string(begin) + ".." + std::to_string(end) +
                   " is not a node range of 0.." + std::to_string(count - 1);
        }
        return {};
    };
    std::string error = check_range(envelope.loop, envelope.loop_begin, envelope.loop_end, "loop");
    if (error.empty()) {
        error = check_range(envelope.sustain, envelope.sustain_begin, envelope.sustain_end, "sustain loop");
    }
    return error;
}

std::string check_name(const std::string& name, const std::string& what) {
    if (name.size() > kMaxNameLength) {
        return what + " is " + std::to_string(name.size()) + " characters long (at most 25)";
    }
    return {};
}

// The song's header fields and the channel pans.
std::string check_song_header(const Module& module) {
    if (std::string error = check_name(module.title, "title"); !error.empty()) return error;
    if (module.message.size() > kMaxMessageLength) {
        return "song message is " + std::to_string(module.message.size()) + " bytes long (at most 8000)";
    }
    if (module.message.find('\0') != std::string::npos) return "song message contains a NUL byte";
    if (module.channels < 1 || module.channels > kMaxChannels) {
        return "channel count " + std::to_string(module.channels) + " outside 1..64";
    }
    if (module.initial_speed < 1 || module.initial_speed > 255) {
        return "initial speed " + std::to_string(module.initial_speed) + " outside 1..255";
    }
    if (module.initial_tempo < 32 || module.initial_tempo > 255) {
        return "initial tempo " + std::to_string(module.initial_tempo) + " outside 32..255";
    }
    if (module.global_volume < 0 || module.global_volume > 128) {
        return "global volume " + std::to_string(module.global_volume) + " outside 0..128";
    }
    if (module.mix_volume < 0 || module.mix_volume > 128) {
        return "mix volume " + std::to_string(module.mix_volume) + " outside 0..128";
    }
    if (static_cast<int>(module.channel_pan.size()) > kMaxChannels) return "more than 64 channel pans";
    for (size_t i = 0; i < module.channel_pan.size(); ++i) {
        if (module.channel_pan[i] < 0 || module.channel_pan[i] > 64) {
            return "channel " + std::to_string(i) + ": pan " + std::to_string(module.channel_pan[i]) + " outside 0..64";
        }
    }
    return {};
}

// How many patterns, instruments, samples and orders there are, and that each order plays a pattern.
std::string check_counts_and_orders(const Module& module) {
    const int pattern_count = static_cast<int>(module.patterns.size());
    const int instrument_count = static_cast<int>(module.instruments.size());
    const int sample_count = static_cast<int>(module.samples.size());
    if (pattern_count > kMaxPatterns) return std::to_string(pattern_count) + " patterns (at most 200)";
    if (instrument_count > kMaxInstruments) return std::to_string(instrument_count) + " instruments (at most 99)";
    if (sample_count > kMaxSamples) return std::to_string(sample_count) + " samples (at most 99)";
    if (module.orders.empty()) return "the order list is empty";
    if (static_cast<int>(module.orders.size()) >= kMaxOrders) {
        return std::to_string(module.orders.size()) + " orders (at most 255)";
    }
    for (size_t i = 0; i < module.orders.size(); ++i) {
        const int order = module.orders[i];
        if (order == kOrderSkip || order == kOrderEnd) continue;
        if (order < 0 || order >= pattern_count) {
            return "order " + std::to_string(i) + " plays pattern " + std::to_string(order) +
                   ", which does not exist (the module has " + std::to_string(pattern_count) + ")";
        }
    }
    return {};
}

// One cell of a pattern that is not empty, `at` naming it.
std::string check_cell(const Module& module, const Cell& cell, int channel, const std::string& at) {
    const int instrument_count = static_cast<int>(module.instruments.size());
    if (channel >= module.channels) {
        return at + ": beyond the module's " + std::to_string(module.channels) + " channels";
    }
    if (cell.note != kNoNote && (cell.note < 0 || cell.note > 255)) {
        return at + ": note " + std::to_string(cell.note) + " outside 0..255";
    }
    if (cell.instrument < 0 || cell.instrument > instrument_count) {
        return at + ": instrument " + std::to_string(cell.instrument) + " does not exist (the module has " +
               std::to_string(instrument_count) + ")";
    }
    if (!valid_volume_column(cell.volume)) {
        return at + ": volume column " + std::to_string(cell.volume) + " is not an IT volume code";
    }
    if (cell.effect < 0 || cell.effect > effect('Z')) {
        return at + ": effect " + std::to_string(cell.effect) + " outside 0..26 (A..Z)";
    }
    if (cell.param < 0 || cell.param > 255) {
        return at + ": effect parameter " + std::to_string(cell.param) + " outside 0..255";
    }
    return {};
}

std::string check_pattern(const Module& module, int p) {
    const Pattern& pattern = module.patterns[p];
    const std::string where = "pattern " + std::to_string(p);
    if (pattern.rows < 1 || pattern.rows > kMaxRows) {
        return where + ": row count " + std::to_string(pattern.rows) + " outside 1..200";
    }
    const int rows = std::min(pattern.rows, static_cast<int>(pattern.cells.size()));
    for (int r = 0; r < rows; ++r) {
        const std::vector<Cell>& line = pattern.cells[r];
        for (int c = 0; c < static_cast<int>(line.size()); ++c) {
            const Cell& cell = line[c];
            if (cell_is_empty(cell)) continue;
            const std::string at = where + ", row " + std::to_string(r) + ", channel " + std::to_string(c);
            if (std::string error = check_cell(module, cell, c, at); !error.empty()) return error;
        }
    }
    if (pack_pattern(pattern, module.channels).size() > kMaxPackedPattern) {
        return where + ": packed data exceeds 65527 bytes";
    }
    return {};
}

// An instrument's key zones and envelopes, `where` naming it.
std::string check_zones_and_envelopes(const Instrument& instrument, int sample_count, const std::string& where) {
    for (size_t z = 0; z < instrument.zones.size(); ++z) {
        const KeyZone& zone = instrument.zones[z];
        const std::string at = where + " key zone " + std::to_string(z);
        if (zone.sample < 1 || zone.sample > sample_count) {
            return at + ": sample " + std::to_string(zone.sample) + " does not exist (the module has " +
                   std::to_string(sample_count) + ")";
        }
        if (zone.top_note < 0 || zone.top_note > 119 || (z > 0 && zone.top_note <= instrument.zones[z - 1].top_note)) {
            return at + ": top note " + std::to_string(zone.top_note) + " is not above the previous zone's (0..119)";
        }
    }
    struct Checked {
        const Envelope& envelope;
        const char* what;
        int low, high;
    };
    for (const Checked& c : {Checked{instrument.volume_envelope, " volume envelope", 0, 64},
                             Checked{instrument.pan_envelope, " pan envelope", -32, 32},
                             Checked{instrument.pitch_envelope, " pitch envelope", -32, 32}}) {
        if (std::string error = check_envelope(c.envelope, where + c.what, c.low, c.high); !error.empty()) {
            return error;
        }
    }
    return {};
}

std::string check_instrument(const Module& module, int i) {
    const int sample_count = static_cast<int>(module.samples.size());
    const Instrument& instrument = module.instruments[i];
    const std::string where = "instrument " + std::to_string(i + 1);
    if (std::string error = check_name(instrument.name, where + " name"); !error.empty()) return error;
    if (instrument.sample < 0 || instrument.sample > sample_count) {
        return where + ": sample " + std::to_string(instrument.sample) + " does not exist (the module has " +
               std::to_string(sample_count) + ")";
    }
    if (instrument.fadeout < 0 || instrument.fadeout > 1024) {
        return where + ": fadeout " + std::to_string(instrument.fadeout) + " outside 0..1024";
    }
    if (instrument.global_volume < 0 || instrument.global_volume > 128) {
        return where + ": global volume " + std::to_string(instrument.global_volume) + " outside 0..128";
    }
    if (instrument.default_pan < -1 || instrument.default_pan > 64) {
        return where + ": default pan " + std::to_string(instrument.default_pan) + " outside -1..64";
    }
    if (instrument.new_note_action < 0 || instrument.new_note_action > 3) {
        return where + ": new note action " + std::to_string(instrument.new_note_action) + " outside 0..3";
    }
    return check_zones_and_envelopes(instrument, sample_count, where);
}

std::string check_sample(const Sample& sample, int i) {
    const std::string where = "sample " + std::to_string(i + 1);
    if (std::string error = check_name(sample.name, where + " name"); !error.empty()) return error;
    if (sample.data.size() > kMaxSampleLength) return where + ": too long";
    if (sample.c5_speed < 1 || sample.c5_speed > kMaxC5Speed) {
        return where + ": C-5 speed " + std::to_string(sample.c5_speed) + " outside 1..9999999";
    }
    if (sample.default_volume < 0 || sample.default_volume > 64) {
        return where + ": default volume " + std::to_string(sample.default_volume) + " outside 0..64";
    }
    if (sample.global_volume < 0 || sample.global_volume > 64) {
        return where + ": global volume " + std::to_string(sample.global_volume) + " outside 0..64";
    }
    if (sample.loop && (sample.loop_begin >= sample.loop_end || sample.loop_end > sample.data.size())) {
        return where + ": loop " + std::to_string(sample.loop_begin) + ".." + std::to_string(sample.loop_end) +
               " does not fit " + std::to_string(sample.data.size()) + " samples";
    }
    for (int value : {sample.vibrato_speed, sample.vibrato_depth, sample.vibrato_rate}) {
        if (value < 0 || value > 64) return where + ": vibrato setting " + std::to_string(value) + " outside 0..64";
    }
    if (sample.vibrato_type < 0 || sample.vibrato_type > 3) {
        return where + ": vibrato type " + std::to_string(sample.vibrato_type) + " outside 0..3";
    }
    return {};
}

}  // namespace

std::string check_module(const Module& module) {
    if (std::string error = check_song_header(module); !error.empty()) return error;
    if (std::string error = check_counts_and_orders(module); !error.empty()) return error;
    for (int p = 0; p < static_cast<int>(module.patterns.size()); ++p) {
        if (std::string error = check_pattern(module, p); !error.empty()) return error;
    }
    for (int i = 0; i < static_cast<int>(module.instruments.size()); ++i) {
        if (std::string error = check_instrument(module, i); !error.empty()) return error;
    }
    for (int i = 0; i < static_cast<int>(module.samples.size()); ++i) {
        if (std::string error = check_sample(module.samples[i], i); !error.empty()) return error;
    }
    return {};
}

}  // namespace gf::itw
