// The IT writer on tiny modules, read back by libopenmpt (and libxmp when it
// is available) and by hand against the byte layout of the format.
#include "writers/it_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <libopenmpt/libopenmpt.hpp>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#ifdef GF_HAVE_LIBXMP
#include <xmp.h>
#endif

namespace gf {
namespace {

using namespace itw;

uint16_t u16(const std::vector<uint8_t>& b, size_t at) { return static_cast<uint16_t>(b.at(at) | (b.at(at + 1) << 8)); }
uint32_t u32(const std::vector<uint8_t>& b, size_t at) {
    return static_cast<uint32_t>(u16(b, at)) | (static_cast<uint32_t>(u16(b, at + 2)) << 16);
}

// A sine of `cycles` whole cycles over `length` samples, looped end to start.
Sample sine_sample(int length, int cycles) {
    Sample sample;
    sample.name = "sine";
    for (int i = 0; i < length; ++i) {
        sample.data.push_back(static_cast<int16_t>(std::lround(20000.0 * std::sin(2.0 * M_PI * cycles * i / length))));
    }
    sample.loop = true;
    sample.loop_begin = 0;
    sample.loop_end = static_cast<uint32_t>(length);
    return sample;
}

// One instrument on one looped sine, speed 3 and tempo 125 (60 ms a row).
Module tiny_module(int rows = 32) {
    Module module;
    module.title = "tiny";
    module.channels = 4;
    module.initial_speed = 3;
    module.initial_tempo = 125;
    module.orders = {0};
    module.patterns.emplace_back(rows, 4);
    Instrument instrument;
    instrument.name = "sine";
    module.instruments = {instrument};
    module.samples = {sine_sample(441, 4)};
    return module;
}

std::unique_ptr<openmpt::module> load(const std::vector<uint8_t>& bytes, std::string* log_text = nullptr) {
    std::ostringstream log;
    auto module = std::make_unique<openmpt::module>(bytes, log);
    if (log_text) *log_text = log.str();
    return module;
}

int command(const openmpt::module& m, int row, int channel, int which) {
    return m.get_pattern_row_channel_command(0, row, channel, which);
}

TEST(ItWriter, NoteOffCutFadeAndDelayCellsReadBackInLibopenmpt) {
    Module module = tiny_module();
    Pattern& p = module.patterns[0];
    p.at(0, 0) = {60, 1, 40, 0, 0};
    p.at(2, 0).note = kNoteOff;
    p.at(4, 0).note = kNoteCut;
    p.at(6, 0).note = kNoteFade;
    p.at(8, 1) = {72, 1, -1, effect('S'), 0xD2};  // note delayed by two ticks
    p.at(10, 1).volume = 0;                       // an explicit volume of 0 is not "no volume"
    p.at(12, 2) = {119, 1, 64, 0, 0};             // B-9, the highest note
    p.at(16, 3) = {0, 1, -1, effect('H'), 0x44};  // C-0, the lowest, with vibrato

    std::string log;
    const auto loaded = load(write_it(module), &log);
    const openmpt::module& m = *loaded;
    EXPECT_EQ(log, "");
    // libopenmpt numbers notes from 1 (C-0) and keeps 255, 254, 253 for off, cut, fade.
    EXPECT_EQ(command(m, 0, 0, openmpt::module::command_note), 61);
    EXPECT_EQ(command(m, 0, 0, openmpt::module::command_instrument), 1);
    EXPECT_EQ(command(m, 0, 0, openmpt::module::command_volume), 40);
    EXPECT_EQ(command(m, 2, 0, openmpt::module::command_note), 255);
    EXPECT_EQ(command(m, 4, 0, openmpt::module::command_note), 254);
    EXPECT_EQ(command(m, 6, 0, openmpt::module::command_note), 253);
    EXPECT_EQ(command(m, 2, 0, openmpt::module::command_instrument), 0);
    EXPECT_EQ(command(m, 8, 1, openmpt::module::command_note), 73);
    EXPECT_EQ(m.format_pattern_row_channel_command(0, 8, 1, openmpt::module::command_effect), "S");
    EXPECT_EQ(command(m, 8, 1, openmpt::module::command_parameter), 0xD2);
    EXPECT_EQ(command(m, 8, 1, openmpt::module::command_volumeffect), 0);
    EXPECT_EQ(command(m, 10, 1, openmpt::module::command_note), 0);
    EXPECT_NE(command(m, 10, 1, openmpt::module::command_volumeffect), 0);
    EXPECT_EQ(command(m, 10, 1, openmpt::module::command_volume), 0);
    EXPECT_EQ(command(m, 12, 2, openmpt::module::command_note), 120);
    EXPECT_EQ(command(m, 12, 2, openmpt::module::command_volume), 64);
    EXPECT_EQ(command(m, 16, 3, openmpt::module::command_note), 1);
    EXPECT_EQ(m.format_pattern_row_channel_command(0, 16, 3, openmpt::module::command_effect), "H");
    EXPECT_EQ(command(m, 16, 3, openmpt::module::command_parameter), 0x44);
    EXPECT_EQ(command(m, 1, 0, openmpt::module::command_note), 0);
    EXPECT_EQ(m.get_pattern_num_rows(0), 32);
}

// Cells whose mask repeats row after row are stored without the mask byte;
// the reader must still give every channel its own cells.
TEST(ItWriter, RepeatedMasksKeepEveryChannelsCells) {
    Module module = tiny_module(64);
    Pattern& p = module.patterns[0];
    for (int row = 0; row < 64; ++row) {
        p.at(row, 0) = {36 + row % 48, 1, row % 65, 0, 0};                    // same mask every row
        if (row % 2 == 0) p.at(row, 1) = {48 + row / 2, 0, -1, 0, 0};         // note only
        if (row % 3 == 0) p.at(row, 1) = {50 + row / 3, 1, -1, 0, 0};         // note and instrument
        if (row % 5 == 0) p.at(row, 2).volume = row;                          // volume only
        if (row % 4 == 1) p.at(row, 3) = {kNoNote, 0, -1, effect('H'), row};  // effect only
    }
    const auto loaded = load(write_it(module));
    const openmpt::module& m = *loaded;
    for (int row = 0; row < 64; ++row) {
        SCOPED_TRACE("row " + std::to_string(row));
        EXPECT_EQ(command(m, row, 0, openmpt::module::command_note), 37 + row % 48);
        EXPECT_EQ(command(m, row, 0, openmpt::module::command_volume), row % 65);
        int note1 = 0, instrument1 = 0;
        if (row % 2 == 0) note1 = 49 + row / 2;
        if (row % 3 == 0) note1 = 51 + row / 3, instrument1 = 1;
        EXPECT_EQ(command(m, row, 1, openmpt::module::command_note), note1);
        EXPECT_EQ(command(m, row, 1, openmpt::module::command_instrument), instrument1);
        EXPECT_EQ(command(m, row, 2, openmpt::module::command_volume), row % 5 == 0 ? row : 0);
        EXPECT_EQ(command(m, row, 3, openmpt::module::command_parameter), row % 4 == 1 ? row : 0);
    }
}

TEST(ItWriter, LayoutFollowsTheFormat) {
    Module module = tiny_module();
    module.message = "first line\nsecond";
    module.orders = {0, 1, 0};
    module.patterns.emplace_back(48, 4);
    module.patterns[1].at(3, 2) = {60, 1, -1, 0, 0};
    module.instruments[0].fadeout = 1000;  // above the 256 that IT can store
    module.samples[0].data[1] = -12345;
    module.samples.push_back(sine_sample(100, 1));
    module.samples[1].loop = false;
    module.samples[1].c5_speed = 22050;
    const std::vector<uint8_t> b = write_it(module);

    ASSERT_GE(b.size(), 0xC0u);
    EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "IMPM");
    EXPECT_EQ(u16(b, 0x20), 3);  // orders, stored as given: no end marker that libxmp would count
    EXPECT_EQ(u16(b, 0x22), 1);
    EXPECT_EQ(u16(b, 0x24), 2);
    EXPECT_EQ(u16(b, 0x26), 2);
    EXPECT_EQ(u16(b, 0x28), 0x0214);  // created with
    EXPECT_EQ(u16(b, 0x2A), 0x0214);  // compatible with: 2.00 or later is needed for instrument mode
    EXPECT_NE(u16(b, 0x2C) & 4, 0);   // instrument mode
    EXPECT_EQ(b[0x32], 3);
    EXPECT_EQ(b[0x33], 125);
    EXPECT_EQ(b[0xC0], 0);
    EXPECT_EQ(b[0xC1], 1);
    EXPECT_EQ(b[0xC2], 0);
    EXPECT_EQ(b[0x40 + 3] & 128, 0);  // a used channel is on
    EXPECT_NE(b[0x40 + 4] & 128, 0);  // channels beyond the module's four are off

    const size_t tables = 0xC0 + 3;
    const uint32_t instrument = u32(b, tables);
    const uint32_t sample0 = u32(b, tables + 4);
    const uint32_t sample1 = u32(b, tables + 8);
    const uint32_t pattern0 = u32(b, tables + 12);
    const uint32_t pattern1 = u32(b, tables + 16);
    EXPECT_EQ(std::string(b.begin() + instrument, b.begin() + instrument + 4), "IMPI");
    EXPECT_EQ(sample0 - instrument, 554u);  // instrument records are 554 bytes
    EXPECT_EQ(u16(b, instrument + 0x14), 256);
    EXPECT_EQ(std::string(b.begin() + sample0, b.begin() + sample0 + 4), "IMPS");
    EXPECT_EQ(sample1 - sample0, 0x50u);       // sample headers are 0x50 bytes
    EXPECT_EQ(b[sample0 + 0x12], 1 | 2 | 16);  // has data, 16-bit, looped
    EXPECT_EQ(b[sample1 + 0x12], 1 | 2);       // has data, 16-bit
    EXPECT_EQ(b[sample0 + 0x2E] & 1, 1);       // signed
    EXPECT_EQ(u32(b, sample0 + 0x30), 441u);
    EXPECT_EQ(u32(b, sample0 + 0x38), 441u);
    EXPECT_EQ(u32(b, sample1 + 0x3C), 22050u);
    const uint32_t data0 = u32(b, sample0 + 0x48);
    EXPECT_EQ(u16(b, data0 + 2), 0x10000 - 12345);  // little-endian two's complement
    EXPECT_EQ(u32(b, sample1 + 0x48), data0 + 2 * 441);

    // Packed length in the pattern header matches the bytes up to the next pattern.
    EXPECT_EQ(u16(b, pattern0 + 2), 32);
    EXPECT_EQ(u16(b, pattern1 + 2), 48);
    EXPECT_EQ(pattern0 + 8 + u16(b, pattern0), pattern1);
    // Pattern 1: row 3 holds one cell (marker, mask, note, instrument); every row ends with 0.
    EXPECT_EQ(u16(b, pattern1), 48 + 4);
    EXPECT_EQ(b[pattern1 + 8 + 3], (2 + 1) | 0x80);

    const auto loaded = load(b);
    const openmpt::module& m = *loaded;
    EXPECT_EQ(m.get_metadata("message"), "first line\nsecond");
    EXPECT_EQ(m.get_num_orders(), 3);
    EXPECT_NEAR(m.get_duration_seconds(), (32 + 48 + 32) * 0.06, 1e-6);
}

// RMS of the left channel between two times, from a libopenmpt render.
std::vector<float> render_openmpt(const std::vector<uint8_t>& bytes, double seconds) {
    openmpt::module m(bytes);
    std::vector<float> out(static_cast<size_t>(seconds * 44100));
    size_t done = 0;
    while (done < out.size()) {
        const size_t n = m.read(44100, std::min<size_t>(4096, out.size() - done), out.data() + done);
        if (n == 0) break;
        done += n;
    }
    return out;
}

double rms(const std::vector<float>& x, double from, double to) {
    double sum = 0;
    const size_t a = static_cast<size_t>(from * 44100), b = static_cast<size_t>(to * 44100);
    for (size_t i = a; i < b; ++i) sum += static_cast<double>(x[i]) * x[i];
    return std::sqrt(sum / static_cast<double>(b - a));
}

// A looped sample keeps sounding until a note-off releases its envelope;
// instrument mode is what makes the note-off work.
Module sustained_module(bool with_note_off) {
    Module module = tiny_module(64);
    Envelope& e = module.instruments[0].volume_envelope;
    e.enabled = true;
    e.sustain = true;
    e.sustain_begin = e.sustain_end = 1;
    e.nodes = {{0, 64}, {2, 64}, {6, 0}};
    module.patterns[0].at(0, 0) = {60, 1, 64, 0, 0};
    if (with_note_off) module.patterns[0].at(16, 0).note = kNoteOff;  // at 0.96 s
    return module;
}

TEST(ItWriter, NoteOffReleasesTheSustainedEnvelopeInLibopenmpt) {
    const std::vector<float> held = render_openmpt(write_it(sustained_module(false)), 3.0);
    const std::vector<float> released = render_openmpt(write_it(sustained_module(true)), 3.0);
    EXPECT_GT(rms(released, 0.2, 0.8), 0.05);
    EXPECT_LT(rms(released, 1.3, 3.0), 1e-4);
    EXPECT_GT(rms(held, 1.3, 3.0), 0.05);
}

// A multi-sampled instrument: notes up to the zone's top play the first
// sample, higher ones the second (silent here, so a wrong map is heard); the
// pan and pitch envelopes are stored as signed nodes in their own records.
Module zoned_module() {
    Module module = tiny_module(32);
    Sample silent = sine_sample(441, 4);
    std::fill(silent.data.begin(), silent.data.end(), int16_t{0});
    module.samples.push_back(silent);
    Instrument& instrument = module.instruments[0];
    instrument.zones = {{59, 1}, {119, 2}};
    instrument.pan_envelope.enabled = true;
    instrument.pan_envelope.nodes = {{0, -32}, {10, 32}};
    instrument.pitch_envelope.enabled = true;
    instrument.pitch_envelope.nodes = {{0, 0}, {4, -12}};
    return module;
}

TEST(ItWriter, KeyZonesPickTheSampleAndPanPitchEnvelopesAreStored) {
    const std::vector<uint8_t> bytes = write_it(zoned_module());
    const uint32_t instrument = u32(bytes, 0xC0 + 1);
    EXPECT_EQ(bytes[instrument + 0x40 + 2 * 59 + 1], 1);  // keyboard: note, sample pairs
    EXPECT_EQ(bytes[instrument + 0x40 + 2 * 60 + 1], 2);
    for (const auto& [at, node_value] : {std::pair{0x182, -32}, std::pair{0x1D4, -12}}) {
        EXPECT_EQ(bytes[instrument + at] & 1, 1) << "envelope at " << at << " is off";
        EXPECT_EQ(static_cast<int8_t>(bytes[instrument + at + 6 + 3 * (node_value == -32 ? 0 : 1)]), node_value);
    }
    for (const auto& [note, sounds] :
         {std::pair{48, true}, std::pair{59, true}, std::pair{60, false}, std::pair{72, false}}) {
        Module module = zoned_module();
        module.patterns[0].at(0, 0) = {note, 1, 64, 0, 0};
        const std::vector<float> x = render_openmpt(write_it(module), 0.5);
        EXPECT_EQ(rms(x, 0.1, 0.4) > 0.01, sounds) << "note " << note;
    }
#ifdef GF_HAVE_LIBXMP
    xmp_context context = xmp_create_context();
    ASSERT_EQ(xmp_load_module_from_memory(context, bytes.data(), static_cast<long>(bytes.size())), 0);
    xmp_module_info info;
    xmp_get_module_info(context, &info);
    const xmp_instrument& loaded = info.mod->xxi[0];
    EXPECT_EQ(loaded.sub[loaded.map[59].ins].sid, 0);
    EXPECT_EQ(loaded.sub[loaded.map[60].ins].sid, 1);
    EXPECT_NE(loaded.pei.flg & XMP_ENVELOPE_ON, 0);
    EXPECT_NE(loaded.fei.flg & XMP_ENVELOPE_ON, 0);
    xmp_release_module(context);
    xmp_free_context(context);
#endif
}

#ifdef GF_HAVE_LIBXMP
struct XmpModule {
    xmp_context context = xmp_create_context();
    int load_result = -1;
    explicit XmpModule(const std::vector<uint8_t>& bytes) {
        load_result = xmp_load_module_from_memory(context, bytes.data(), static_cast<long>(bytes.size()));
    }
    ~XmpModule() {
        if (load_result == 0) xmp_release_module(context);
        xmp_free_context(context);
    }
    const xmp_event& event(int pattern, int row, int channel) {
        xmp_module_info info;
        xmp_get_module_info(context, &info);
        const xmp_pattern* p = info.mod->xxp[pattern];
        return info.mod->xxt[p->index[channel]]->event[row];
    }
};

TEST(ItWriter, LibxmpReadsTheSameCells) {
    Module module = tiny_module();
    Pattern& p = module.patterns[0];
    p.at(0, 0) = {60, 1, 40, 0, 0};
    p.at(2, 0).note = kNoteOff;
    p.at(4, 0).note = kNoteCut;
    p.at(6, 0).note = kNoteFade;
    p.at(8, 1) = {72, 1, -1, 0, 0};
    XmpModule xmp(write_it(module));
    ASSERT_EQ(xmp.load_result, 0);
    EXPECT_EQ(xmp.event(0, 0, 0).note, 61);  // libxmp also numbers notes from 1
    EXPECT_EQ(xmp.event(0, 0, 0).ins, 1);
    EXPECT_EQ(xmp.event(0, 0, 0).vol, 41);  // and volumes from 1 (0 = none)
    EXPECT_EQ(xmp.event(0, 2, 0).note, XMP_KEY_OFF);
    EXPECT_EQ(xmp.event(0, 4, 0).note, XMP_KEY_CUT);
    EXPECT_EQ(xmp.event(0, 6, 0).note, XMP_KEY_FADE);
    EXPECT_EQ(xmp.event(0, 8, 1).note, 73);
    EXPECT_EQ(xmp.event(0, 8, 1).vol, 0);
}

TEST(ItWriter, NoteOffReleasesTheSustainedEnvelopeInLibxmp) {
    for (bool with_note_off : {false, true}) {
        XmpModule xmp(write_it(sustained_module(with_note_off)));
        ASSERT_EQ(xmp.load_result, 0);
        ASSERT_EQ(xmp_start_player(xmp.context, 44100, XMP_FORMAT_MONO), 0);
        std::vector<int16_t> pcm(44100 * 3);
        ASSERT_EQ(xmp_play_buffer(xmp.context, pcm.data(), static_cast<int>(pcm.size() * 2), 0), 0);
        xmp_end_player(xmp.context);
        std::vector<float> x(pcm.begin(), pcm.end());
        for (float& v : x) v /= 32768.0f;
        EXPECT_GT(rms(x, 0.2, 0.8), 0.02);
        if (with_note_off) {
            EXPECT_LT(rms(x, 1.3, 3.0), 1e-3);
        } else {
            EXPECT_GT(rms(x, 1.3, 3.0), 0.02);
        }
    }
}
#endif

TEST(ItWriter, RefusesModulesItCannotWriteWithAMessage) {
    auto message_for = [](const std::function<void(Module&)>& damage) {
        Module module = tiny_module();
        damage(module);
        const gf::Status status = check_module(module);
        EXPECT_EQ(status.ok, status.message.empty());
        return status.message;
    };
    EXPECT_EQ(message_for([](Module&) {}), "");
    EXPECT_EQ(message_for([](Module& m) {
                  m.patterns[0].at(5, 2) = {60, 3, -1, 0, 0};
              }),
              "pattern 0, row 5, channel 2: instrument 3 does not exist (the module has 1)");
    EXPECT_EQ(message_for([](Module& m) {
                  m.orders = {0, 7};
              }),
              "order 1 plays pattern 7, which does not exist (the module has 1)");
    EXPECT_EQ(message_for([](Module& m) { m.orders.clear(); }), "the order list is empty");
    EXPECT_EQ(message_for([](Module& m) {
                  m.patterns[0].at(1, 6) = {60, 1, -1, 0, 0};
              }),
              "pattern 0, row 1, channel 6: beyond the module's 4 channels");
    EXPECT_EQ(message_for([](Module& m) { m.patterns[0].at(1, 1).volume = 126; }),
              "pattern 0, row 1, channel 1: volume column 126 is not an IT volume code");
    EXPECT_EQ(message_for([](Module& m) { m.samples[0].loop_end = 442; }),
              "sample 1: loop 0..442 does not fit 441 samples");
    EXPECT_EQ(message_for([](Module& m) { m.title = std::string(26, 'x'); }),
              "title is 26 characters long (at most 25)");
    EXPECT_EQ(message_for([](Module& m) {
                  Envelope& e = m.instruments[0].volume_envelope;
                  e.enabled = true;
                  for (int i = 0; i < 26; ++i) e.nodes.push_back({i, 64});
              }),
              "instrument 1 volume envelope has 26 nodes (at most 25)");
    EXPECT_EQ(message_for([](Module& m) {
                  Envelope& e = m.instruments[0].volume_envelope;
                  e.enabled = true;
                  e.nodes = {{0, 64}, {5, 64}, {5, 0}};
              }),
              "instrument 1 volume envelope node 2: ticks must increase");
    EXPECT_EQ(message_for([](Module& m) { m.patterns[0].rows = 201; }), "pattern 0: row count 201 outside 1..200");
    EXPECT_EQ(message_for([](Module& m) {
                  m.instruments[0].zones = {{59, 1}, {40, 1}};
              }),
              "instrument 1 key zone 1: top note 40 is not above the previous zone's (0..119)");
    EXPECT_EQ(message_for([](Module& m) {
                  m.instruments[0].zones = {{119, 3}};
              }),
              "instrument 1 key zone 0: sample 3 does not exist (the module has 1)");
    EXPECT_EQ(message_for([](Module& m) {
                  m.instruments[0].pan_envelope.enabled = true;
                  m.instruments[0].pan_envelope.nodes = {{0, -33}};
              }),
              "instrument 1 pan envelope node 0: value -33 outside -32..32");

    Module bad = tiny_module();
    bad.instruments[0].sample = 2;
    try {
        write_it(bad);
        FAIL() << "write_it accepted an instrument that plays a missing sample";
    } catch (const std::invalid_argument& error) {
        EXPECT_STREQ(error.what(), "cannot write IT module: instrument 1: sample 2 does not exist (the module has 1)");
    }
}

TEST(ItWriter, PatternCellAccessGrowsChannelsAndRefusesOutsideRows) {
    Pattern pattern(32, 4);
    pattern.at(31, 10).note = 60;
    EXPECT_EQ(pattern.cells[31].size(), 11u);
    EXPECT_EQ(pattern.cells[30].size(), 4u);
    EXPECT_THROW(pattern.at(32, 0), std::out_of_range);
    EXPECT_THROW(pattern.at(-1, 0), std::out_of_range);
    EXPECT_THROW(pattern.at(0, 64), std::out_of_range);
}

}  // namespace
}  // namespace gf
