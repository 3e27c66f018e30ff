// The generated "xmas.it": written twice, loaded by libopenmpt and libxmp,
// rendered, and its scene accents read back order by order. Also the
// deterministic synthesis primitives behind its samples.
#include "datagen/module.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <libopenmpt/libopenmpt.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "datagen/dataset.h"
#include "datagen/synth.h"

#ifdef GF_HAVE_LIBXMP
#include <xmp.h>
#endif

namespace gf {
namespace {

namespace fs = std::filesystem;
using openmpt::module;

constexpr double kOrderSeconds = 128 * 0.06;  // 128 rows of 60 ms
constexpr int kAccent = 1;
constexpr int kBounce = 6;

std::vector<uint8_t> read_bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

uint16_t u16(const std::vector<uint8_t>& b, size_t at) { return static_cast<uint16_t>(b.at(at) | (b.at(at + 1) << 8)); }
uint32_t u32(const std::vector<uint8_t>& b, size_t at) {
    return static_cast<uint32_t>(u16(b, at)) | (static_cast<uint32_t>(u16(b, at + 2)) << 16);
}

class XmasModule : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = fs::temp_directory_path() / ("gf_module_test_" + std::to_string(::getpid()));
        fs::create_directories(dir_ / "a");
        fs::create_directories(dir_ / "b");
        const Status result = datagen::write_module((dir_ / "a").string());
        ASSERT_TRUE(result.ok) << result.message;
        bytes_ = read_bytes(dir_ / "a" / "xmas.it");
    }
    static void TearDownTestSuite() {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    // Notes (not off/cut/fade) of `instrument` in an order, by row.
    static std::vector<int> note_rows(const module& m, int order, int instrument) {
        std::vector<int> rows;
        const int pattern = m.get_order_pattern(order);
        for (int row = 0; row < m.get_pattern_num_rows(pattern); ++row) {
            for (int channel = 0; channel < m.get_num_channels(); ++channel) {
                const int note = m.get_pattern_row_channel_command(pattern, row, channel, module::command_note);
                const int ins = m.get_pattern_row_channel_command(pattern, row, channel, module::command_instrument);
                if (note >= 1 && note <= 120 && ins == instrument) rows.push_back(row);
            }
        }
        return rows;
    }

    static int count_in(const std::vector<int>& rows, int from, int to) {
        return static_cast<int>(std::count_if(rows.begin(), rows.end(), [&](int r) { return r >= from && r < to; }));
    }

    static inline fs::path dir_;
    static inline std::vector<uint8_t> bytes_;
};

TEST_F(XmasModule, WritesTheSameBytesEveryRun) {
    ASSERT_TRUE(datagen::write_module((dir_ / "b").string()).ok);
    const std::vector<uint8_t> again = read_bytes(dir_ / "b" / "xmas.it");
    EXPECT_EQ(again.size(), bytes_.size());
    EXPECT_TRUE(again == bytes_);
    const fs::path built = fs::path(GF_DATA_DIR) / "xmas.it";
    if (fs::exists(built)) {
        EXPECT_TRUE(read_bytes(built) == bytes_) << built << " differs from a fresh write";
    }
    EXPECT_GT(bytes_.size(), 100u * 1024);
    EXPECT_LT(bytes_.size(), 2u * 1024 * 1024);
}

TEST_F(XmasModule, NamesTheFileWhenTheFolderIsMissing) {
    const Status result = datagen::write_module((dir_ / "missing" / "deeper").string());
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.message.find("missing/deeper/xmas.it"), std::string::npos) << result.message;
}

// Instrument mode and sample format as the header declares them: the
// combinations that players read silently wrong.
TEST_F(XmasModule, HeaderDeclaresInstrumentModeAndSigned16BitSamples) {
    const std::vector<uint8_t>& b = bytes_;
    ASSERT_EQ(std::string(b.begin(), b.begin() + 4), "IMPM");
    const int orders = u16(b, 0x20), instruments = u16(b, 0x22), samples = u16(b, 0x24), patterns = u16(b, 0x26);
    EXPECT_EQ(orders, 17);
    EXPECT_GE(u16(b, 0x2A), 0x200);  // instrument records of the 2.x layout
    EXPECT_NE(u16(b, 0x2C) & 4, 0);
    EXPECT_EQ(b[0x32], 3);    // speed
    EXPECT_EQ(b[0x33], 125);  // tempo
    const size_t tables = 0xC0 + orders;
    for (int i = 0; i < instruments; ++i) {
        const uint32_t at = u32(b, tables + 4 * i);
        EXPECT_EQ(std::string(b.begin() + at, b.begin() + at + 4), "IMPI") << "instrument " << i + 1;
    }
    for (int i = 0; i < samples; ++i) {
        SCOPED_TRACE("sample " + std::to_string(i + 1));
        const uint32_t at = u32(b, tables + 4 * instruments + 4 * i);
        EXPECT_EQ(std::string(b.begin() + at, b.begin() + at + 4), "IMPS");
        EXPECT_EQ(b[at + 0x12] & 3, 3);  // has data, 16-bit
        EXPECT_EQ(b[at + 0x2E] & 1, 1);  // signed
        const uint32_t length = u32(b, at + 0x30), data = u32(b, at + 0x48);
        EXPECT_GT(length, 0u);
        EXPECT_LE(data + 2 * length, b.size());
    }
    for (int i = 0; i < patterns; ++i) {
        const uint32_t at = u32(b, tables + 4 * (instruments + samples) + 4 * i);
        EXPECT_NE(at, 0u) << "pattern " << i << " would read as an empty 64-row pattern";
        EXPECT_EQ(u16(b, at + 2), 128) << "pattern " << i;
    }
}

TEST_F(XmasModule, LibopenmptLoadsItWithoutWarnings) {
    std::ostringstream log;
    const module m(bytes_, log);
    EXPECT_EQ(log.str(), "");
    EXPECT_EQ(m.get_num_orders(), 17);
    for (int order = 0; order < 17; ++order) EXPECT_EQ(m.get_pattern_num_rows(m.get_order_pattern(order)), 128);
    EXPECT_GE(m.get_num_channels(), 8);
    EXPECT_EQ(m.get_num_instruments(), datagen::xmas::kInstrumentCount);
    EXPECT_EQ(m.get_num_samples(), datagen::xmas::kSampleCount);
    EXPECT_EQ(m.get_current_speed(), 3);
    EXPECT_EQ(m.get_current_tempo(), 125);
    EXPECT_NEAR(m.get_duration_seconds(), 17 * kOrderSeconds, 0.01);  // 130.56 s
    EXPECT_NE(m.get_metadata("tracker").find("Impulse Tracker"), std::string::npos);
    const std::string message = m.get_metadata("message");
    EXPECT_NE(message.find("Deck the Halls"), std::string::npos) << message;
    EXPECT_NE(message.find("Jingle Bells"), std::string::npos) << message;
    std::printf("xmas.it: %zu bytes, %.2f s in libopenmpt\n", bytes_.size(), m.get_duration_seconds());
}

#ifdef GF_HAVE_LIBXMP
// libxmp numbers specials differently; map libopenmpt's note to libxmp's.
int xmp_note_for(int openmpt_note) {
    switch (openmpt_note) {
        case 255:
            return XMP_KEY_OFF;
        case 254:
            return XMP_KEY_CUT;
        case 253:
            return XMP_KEY_FADE;
        default:
            return openmpt_note;  // both count C-0 as 1, 0 for none
    }
}

TEST_F(XmasModule, LibxmpReadsTheSameSong) {
    const module m(bytes_);
    xmp_context context = xmp_create_context();
    ASSERT_EQ(xmp_load_module_from_memory(context, bytes_.data(), static_cast<long>(bytes_.size())), 0);
    xmp_module_info info;
    xmp_get_module_info(context, &info);
    const xmp_module& x = *info.mod;
    EXPECT_EQ(x.len, 17);
    EXPECT_EQ(x.chn, m.get_num_channels());
    EXPECT_EQ(x.ins, m.get_num_instruments());
    const double xmp_seconds = info.seq_data[0].duration / 1000.0;
    EXPECT_NEAR(xmp_seconds, m.get_duration_seconds(), 0.5);
    std::printf("xmas.it: %.2f s in libxmp\n", xmp_seconds);
    int differences = 0;
    for (int order = 0; order < 17; ++order) {
        const int pattern = m.get_order_pattern(order);
        ASSERT_EQ(x.xxo[order], pattern);
        const xmp_pattern& p = *x.xxp[pattern];
        ASSERT_EQ(p.rows, 128);
        for (int channel = 0; channel < x.chn; ++channel) {
            const xmp_track& track = *x.xxt[p.index[channel]];
            for (int row = 0; row < 128; ++row) {
                const xmp_event& e = track.event[row];
                const int note = m.get_pattern_row_channel_command(pattern, row, channel, module::command_note);
                const int ins = m.get_pattern_row_channel_command(pattern, row, channel, module::command_instrument);
                if (e.note != xmp_note_for(note) || e.ins != ins) {
                    if (++differences <= 5) {
                        ADD_FAILURE() << "order " << order << " row " << row << " channel " << channel << ": libxmp "
                                      << int(e.note) << "/" << int(e.ins) << ", libopenmpt " << note << "/" << ins;
                    }
                }
            }
        }
    }
    EXPECT_EQ(differences, 0);
    xmp_release_module(context);
    xmp_free_context(context);
}
#endif

// The largest value between samples, from a 4× windowed-sinc interpolation
// around each loud sample: what a true-peak meter reads.
double true_peak_near(const std::vector<float>& channel, size_t at) {
    constexpr int kTaps = 16;
    double peak = std::fabs(channel[at]);
    for (int phase = 1; phase < 4; ++phase) {
        const double t = at + phase / 4.0;
        double sum = 0.0;
        for (int k = -kTaps + 1; k <= kTaps; ++k) {
            const long i = static_cast<long>(at) + k;
            if (i < 0 || i >= static_cast<long>(channel.size())) continue;
            const double x = t - static_cast<double>(i);
            const double window = 0.5 + 0.5 * std::cos(M_PI * x / kTaps);
            sum += channel[i] * std::sin(M_PI * x) / (M_PI * x) * window;
        }
        peak = std::max(peak, std::fabs(sum));
    }
    return peak;
}

// The whole tune through libopenmpt at 44.1 kHz: true peak at most −1 dBTP,
// loud enough, and never silent (below −60 dBFS) for more than 2 s before
// the last order.
TEST_F(XmasModule, RenderPeaksBelowClippingAndNeverFallsSilent) {
    module m(bytes_);
    constexpr int kRate = 44100;
    const double silence = std::pow(10.0, -60.0 / 20.0);
    const double loud = std::pow(10.0, -4.0 / 20.0);  // true peaks lie within a few dB of a sample peak
    std::vector<float> buffer(2 * 1024);
    std::vector<float> left, right;
    long quiet_run = 0, longest_quiet = 0;
    int longest_quiet_order = -1;
    bool last_order_reached = false;  // after the end libopenmpt reports order 0 again
    for (;;) {
        const int order = m.get_current_order();
        last_order_reached |= order == 16;
        const size_t n = m.read_interleaved_stereo(kRate, 1024, buffer.data());
        if (n == 0) break;
        for (size_t i = 0; i < n; ++i) {
            left.push_back(buffer[2 * i]);
            right.push_back(buffer[2 * i + 1]);
            const double level = std::max(std::fabs(buffer[2 * i]), std::fabs(buffer[2 * i + 1]));
            quiet_run = level < silence ? quiet_run + 1 : 0;
            if (!last_order_reached && quiet_run > longest_quiet) {
                longest_quiet = quiet_run;
                longest_quiet_order = order;
            }
        }
    }
    double peak = 0.0, true_peak = 0.0;
    for (const std::vector<float>* channel : {&left, &right}) {
        for (size_t i = 0; i < channel->size(); ++i) {
            const double level = std::fabs((*channel)[i]);
            peak = std::max(peak, level);
            if (level > loud) true_peak = std::max(true_peak, true_peak_near(*channel, i));
        }
    }
    true_peak = std::max(true_peak, peak);
    const double seconds = static_cast<double>(left.size()) / kRate;
    std::printf(
        "xmas.it render: %.2f s, peak %.2f dBFS, true peak %.2f dBTP, longest quiet stretch before order 16: "
        "%.3f s (order %d)\n",
        seconds, 20.0 * std::log10(peak), 20.0 * std::log10(true_peak), static_cast<double>(longest_quiet) / kRate,
        longest_quiet_order);
    EXPECT_NEAR(seconds, 17 * kOrderSeconds, 0.5);
    EXPECT_LE(20.0 * std::log10(true_peak), -1.0);
    EXPECT_GT(20.0 * std::log10(peak), -6.0);
    EXPECT_LE(static_cast<double>(longest_quiet) / kRate, 2.0);
}

// Accents the scenes rely on: instrument 1 makes the flashes, advances the
// picture band and switches the sub-scenes; instrument 6 bounces the planes.
TEST_F(XmasModule, AccentsFallWhereTheScenesNeedThem) {
    const module m(bytes_);
    std::vector<std::vector<int>> accent(17), bounce(17);
    std::printf("order  instrument 1  instrument 6\n");
    for (int order = 0; order < 17; ++order) {
        accent[order] = note_rows(m, order, kAccent);
        bounce[order] = note_rows(m, order, kBounce);
        std::printf("%5d  %12zu  %12zu\n", order, accent[order].size(), bounce[order].size());
    }
    // Intro: at least four flashes in the first half of order 0.
    EXPECT_GE(count_in(accent[0], 0, 64), 4);
    // Planes: the beat bounces them at least eight times an order.
    EXPECT_GE(bounce[2].size(), 8u);
    EXPECT_GE(bounce[3].size(), 8u);
    // Band composite (order 6 and the first half of 7): a regular accent,
    // never more than a bar without one.
    std::vector<int> band;
    for (int r : accent[6]) band.push_back(r);
    for (int r : accent[7]) {
        if (r < 64) band.push_back(128 + r);
    }
    ASSERT_FALSE(band.empty());
    EXPECT_EQ(band.front(), 0);
    for (size_t i = 1; i < band.size(); ++i) EXPECT_LE(band[i] - band[i - 1], 32) << "gap before row " << band[i];
    EXPECT_GE(192 - band.back(), 1);
    EXPECT_LE(192 - band.back(), 32);
    // Breakdown: the flash is re-armed at rows 92, 96, ..., 124; each needs an
    // accent on that row or just before it.
    for (int flash = 92; flash <= 124; flash += 4) {
        EXPECT_GE(count_in(accent[7], flash - 3, flash + 1), 1) << "no accent for the flash at row " << flash;
    }
    // Climax: every accent switches the sub-scene.
    for (int order : {9, 10, 11}) EXPECT_GE(accent[order].size(), 12u) << "order " << order;
    // Closing pictures flash too.
    EXPECT_GE(accent[14].size(), 1u);
    EXPECT_GE(accent[15].size(), 1u);
    // The scenes' choreography counts the cues order by order.
    constexpr int kCues[17][2] = {{4, 0},   {0, 7},   {0, 16},  {0, 16}, {0, 18}, {0, 18}, {8, 18},  {13, 9}, {0, 1},
                                  {16, 18}, {16, 18}, {16, 18}, {0, 18}, {0, 15}, {8, 18}, {13, 13}, {1, 1}};
    for (int order = 0; order < 17; ++order) {
        EXPECT_EQ(static_cast<int>(accent[order].size()), kCues[order][0]) << "instrument 1 in order " << order;
        EXPECT_EQ(static_cast<int>(bounce[order].size()), kCues[order][1]) << "instrument 6 in order " << order;
    }
}

// The scenes are timed to 60 ms rows played straight through, and every
// instrument 1 or 6 note is a cue: no effect may change speed, tempo or the
// order of rows, stretch or repeat a row, or retrigger a cue; a cue carries
// at most a note delay, and a note without an instrument never lands on a
// channel whose last instrument was a cue (it would cue again).
TEST_F(XmasModule, PlaysStraightThroughAndCuesOnlyWhereWritten) {
    const itw::Module song = datagen::build_xmas_module();
    for (size_t p = 0; p < song.patterns.size(); ++p) {
        std::vector<int> last_instrument(song.channels, 0);
        const itw::Pattern& pattern = song.patterns[p];
        for (int row = 0; row < pattern.rows; ++row) {
            for (int channel = 0; channel < static_cast<int>(pattern.cells[row].size()); ++channel) {
                const itw::Cell& cell = pattern.cells[row][channel];
                const std::string where = "pattern " + std::to_string(p) + " row " + std::to_string(row) + " channel " +
                                          std::to_string(channel);
                for (char letter : {'A', 'B', 'C', 'T', 'V', 'W'}) EXPECT_NE(cell.effect, itw::effect(letter)) << where;
                if (cell.effect == itw::effect('S')) {
                    EXPECT_NE(cell.param >> 4, 0x6) << where;
                    EXPECT_NE(cell.param >> 4, 0xE) << where;
                    EXPECT_NE(cell.param, 0) << where << ": S00 recalls an earlier S effect";
                }
                if (cell.instrument != 0) last_instrument[channel] = cell.instrument;
                const bool cue = last_instrument[channel] == kAccent || last_instrument[channel] == kBounce;
                if (!cue || cell.effect == 0) continue;
                EXPECT_TRUE(cell.effect == itw::effect('S') && (cell.param >> 4) == 0xD) << where;
            }
        }
    }
}

// Tonal instruments are multi-sampled: every note they play lies within
// half an octave of the pitch its sample was synthesised at, so nothing is
// sped up into a chipmunk; the choir has at least three samples.
TEST_F(XmasModule, TonalNotesStayNearTheirSamples) {
    const itw::Module song = datagen::build_xmas_module();
    namespace x = datagen::xmas;
    const std::vector<int> tonal = {x::kBells, x::kBass, x::kLead, x::kStrings, x::kChoir, x::kStab, x::kChip};
    auto sample_for = [&](const itw::Instrument& instrument, int note) {
        for (const itw::KeyZone& zone : instrument.zones) {
            if (note <= zone.top_note) return zone.sample;
        }
        return instrument.zones.empty() ? instrument.sample : instrument.zones.back().sample;
    };
    EXPECT_GE(song.instruments[x::kChoir - 1].zones.size(), 3u);
    double worst = 0.0;
    for (const itw::Pattern& pattern : song.patterns) {
        for (const std::vector<itw::Cell>& line : pattern.cells) {
            for (const itw::Cell& cell : line) {
                if (cell.note < 0 || cell.note > 119) continue;
                if (std::find(tonal.begin(), tonal.end(), cell.instrument) == tonal.end()) continue;
                const itw::Sample& sample =
                    song.samples[sample_for(song.instruments[cell.instrument - 1], cell.note) - 1];
                // Semitones the player shifts the sample: its C-5 speed against the mixing rate, plus the note.
                const double shift = 12.0 * std::log2(sample.c5_speed / 44100.0) + (cell.note - 60);
                worst = std::max(worst, std::fabs(shift));
                EXPECT_LE(std::fabs(shift), 7.0) << "instrument " << cell.instrument << " note " << cell.note
                                                 << " plays " << sample.name << " shifted " << shift << " semitones";
            }
        }
    }
    std::printf("largest shift of a tonal sample: %.2f semitones\n", worst);
}

// The carols as sung, written in C major at 8 rows a beat as (pitch, rows),
// 60 = middle C: each order's tune must be one of these whatever key and
// octave it is played in.
struct CarolNote {
    int pitch;
    int rows;
};
using Excerpt = std::vector<CarolNote>;
const Excerpt kDeckHalls = {{67, 12}, {65, 4}, {64, 8}, {62, 8},  {60, 8}, {62, 8}, {64, 8}, {60, 8}, {62, 4},
                            {64, 4},  {65, 4}, {62, 4}, {64, 12}, {62, 4}, {60, 8}, {59, 8}, {60, 16}};
const Excerpt kDonWeNow = {{62, 12}, {64, 4}, {65, 8}, {62, 8}, {64, 12}, {65, 4}, {67, 8}, {62, 8}, {64, 4},
                           {66, 4},  {67, 8}, {69, 4}, {71, 4}, {72, 8},  {71, 8}, {69, 8}, {67, 16}};
const Excerpt kTrollTheAncient = {{67, 12}, {65, 4}, {64, 8}, {62, 8},  {60, 8}, {62, 8}, {64, 8}, {60, 8}, {69, 4},
                                  {69, 4},  {69, 4}, {69, 4}, {67, 12}, {65, 4}, {64, 8}, {62, 8}, {60, 16}};
const Excerpt kFaLaLa = {{69, 4}, {69, 4}, {69, 4}, {69, 4}, {67, 12}, {65, 4}, {64, 8}, {62, 8}, {60, 16}};
const Excerpt kJingleBells = {{64, 8}, {64, 8}, {64, 16}, {64, 8}, {64, 8}, {64, 16},
                              {64, 8}, {67, 8}, {60, 12}, {62, 4}, {64, 32}};
const Excerpt kOhWhatFunHey = {{65, 8}, {65, 8}, {65, 12}, {65, 4}, {65, 8}, {64, 8},  {64, 8}, {64, 4},
                               {64, 4}, {64, 8}, {62, 8},  {62, 8}, {64, 8}, {62, 16}, {67, 16}};
const Excerpt kOhWhatFunSleigh = {{65, 8}, {65, 8}, {65, 8}, {65, 8}, {65, 8}, {64, 8}, {64, 8},
                                  {64, 4}, {64, 4}, {67, 8}, {67, 8}, {65, 8}, {62, 8}, {60, 32}};
const Excerpt kJoyToTheWorld = {{72, 8}, {71, 6}, {69, 2}, {67, 12}, {65, 4}, {64, 8}, {62, 8}, {60, 16}};

struct TuneAt {
    int order, row;
    const Excerpt* excerpt;
    const char* words;
};
const TuneAt kTunes[] = {
    {1, 0, &kDeckHalls, "Deck the halls"},
    {2, 0, &kDeckHalls, "Deck the halls"},
    {3, 0, &kDeckHalls, "Deck the halls"},
    {4, 0, &kDonWeNow, "Don we now"},
    {5, 0, &kTrollTheAncient, "Troll the ancient"},
    {6, 0, &kDeckHalls, "Deck the halls"},
    {7, 0, &kFaLaLa, "fa la la"},
    {8, 0, &kJingleBells, "Jingle bells"},
    {9, 0, &kOhWhatFunHey, "Oh what fun ... hey"},
    {10, 0, &kJingleBells, "Jingle bells"},
    {11, 0, &kOhWhatFunSleigh, "Oh what fun ... sleigh"},
    {12, 0, &kJoyToTheWorld, "Joy to the world"},
    {12, 64, &kJoyToTheWorld, "Joy to the world"},
    {13, 0, &kFaLaLa, "fa la la"},
    {13, 64, &kFaLaLa, "fa la la"},
    {14, 0, &kTrollTheAncient, "Troll the ancient"},
};
constexpr int kTuneChannel = 0;

// Every note or note-off of a channel through the song, by song row.
std::vector<std::pair<int, int>> channel_line(const itw::Module& song, int channel) {
    std::vector<std::pair<int, int>> line;
    for (size_t order = 0; order < song.orders.size(); ++order) {
        const itw::Pattern& pattern = song.patterns[song.orders[order]];
        for (int row = 0; row < pattern.rows; ++row) {
            const std::vector<itw::Cell>& cells = pattern.cells[row];
            if (channel < static_cast<int>(cells.size()) && cells[channel].note != itw::kNoNote) {
                line.emplace_back(static_cast<int>(order) * 128 + row, cells[channel].note);
            }
        }
    }
    return line;
}

// The pitch a channel sounds at a song row, or -1.
int sounding(const std::vector<std::pair<int, int>>& line, int at) {
    int pitch = -1;
    for (const auto& [row, note] : line) {
        if (row > at) break;
        pitch = note <= 119 ? note : -1;
    }
    return pitch;
}

TEST_F(XmasModule, EachOrdersTuneIsItsCarol) {
    const itw::Module song = datagen::build_xmas_module();
    const std::vector<std::pair<int, int>> line = channel_line(song, kTuneChannel);
    for (const TuneAt& tune : kTunes) {
        SCOPED_TRACE("order " + std::to_string(tune.order) + " row " + std::to_string(tune.row) + ": " + tune.words);
        const auto first = std::find_if(line.begin(), line.end(),
                                        [&](const auto& event) { return event.first == tune.order * 128 + tune.row; });
        ASSERT_NE(first, line.end());
        const Excerpt& carol = *tune.excerpt;
        ASSERT_GT(line.end() - first, static_cast<long>(carol.size()));
        for (size_t k = 0; k < carol.size(); ++k) {
            const auto& note = first[k];
            EXPECT_EQ(note.second - first->second, carol[k].pitch - carol[0].pitch) << "note " << k;
            EXPECT_EQ(first[k + 1].first - note.first, carol[k].rows) << "length of note " << k;
        }
    }
}

// Under the tune, on beats 1 and 3: its note belongs to the chord that the
// strings, choir and bass sound (one exception an order at most), and never
// lies a minor second, tritone or major seventh from the bass.
TEST_F(XmasModule, TuneNotesOnTheStrongBeatsFitTheChordAndTheBass) {
    const itw::Module song = datagen::build_xmas_module();
    const std::vector<std::pair<int, int>> tune = channel_line(song, kTuneChannel);
    const std::vector<std::pair<int, int>> bass = channel_line(song, 4);
    std::vector<std::vector<std::pair<int, int>>> pads;
    for (int channel = 5; channel <= 9; ++channel) pads.push_back(channel_line(song, channel));
    for (int order = 1; order <= 14; ++order) {
        int outside = 0;
        for (int row = 0; row < 128; row += 16) {
            const int at = order * 128 + row, melody = sounding(tune, at), low = sounding(bass, at);
            if (melody < 0) continue;
            std::vector<int> chord;
            for (const auto& pad : pads) {
                if (sounding(pad, at) >= 0) chord.push_back(sounding(pad, at) % 12);
            }
            if (low >= 0) chord.push_back(low % 12);
            if (!chord.empty() && std::find(chord.begin(), chord.end(), melody % 12) == chord.end()) ++outside;
            if (low >= 0) {
                const int interval = (melody - low) % 12;
                EXPECT_TRUE(interval != 1 && interval != 6 && interval != 11)
                    << "order " << order << " row " << row << ": tune " << melody << " over bass " << low;
            }
        }
        EXPECT_LE(outside, 1) << "order " << order;
    }
}

// A sample that does not loop fades to silence at its end: a note held
// past it dies away instead of stopping dead.
TEST_F(XmasModule, UnloopedTonalSamplesFadeOut) {
    const itw::Module song = datagen::build_xmas_module();
    namespace x = datagen::xmas;
    int checked = 0;
    for (int instrument : {x::kBells, x::kBass, x::kLead, x::kStrings, x::kChoir, x::kStab, x::kChip}) {
        const itw::Instrument& ins = song.instruments[instrument - 1];
        std::vector<int> samples = {ins.sample};
        for (const itw::KeyZone& zone : ins.zones) samples.push_back(zone.sample);
        for (int number : samples) {
            const itw::Sample& sample = song.samples[number - 1];
            if (sample.loop) continue;
            ++checked;
            int peak = 0, tail = 0;
            for (size_t i = 0; i < sample.data.size(); ++i) {
                peak = std::max(peak, std::abs(static_cast<int>(sample.data[i])));
                if (i + 882 >= sample.data.size()) tail = std::max(tail, std::abs(static_cast<int>(sample.data[i])));
            }
            EXPECT_LE(tail * 100, peak) << sample.name << ": its last 20 ms lie within 40 dB of its peak";
        }
    }
    EXPECT_GE(checked, 3);
}

TEST_F(XmasModule, EndsOnAChordThatRingsOut) {
    const module m(bytes_);
    const int pattern = m.get_order_pattern(16);
    std::vector<int> pitches;
    int later_notes = 0;
    for (int channel = 0; channel < m.get_num_channels(); ++channel) {
        for (int row = 0; row < 128; ++row) {
            const int note = m.get_pattern_row_channel_command(pattern, row, channel, module::command_note);
            const int ins = m.get_pattern_row_channel_command(pattern, row, channel, module::command_instrument);
            if (note < 1 || note > 120) continue;
            if (row == 0 && ins != kAccent && ins != kBounce) pitches.push_back(note % 12);
            if (row >= 32) ++later_notes;
        }
    }
    std::sort(pitches.begin(), pitches.end());
    pitches.erase(std::unique(pitches.begin(), pitches.end()), pitches.end());
    EXPECT_GE(pitches.size(), 3u) << "the last chord needs at least three pitch classes";
    EXPECT_EQ(later_notes, 0) << "nothing new should start while the chord rings out";
}

// Tonal instruments sound the pitch of their note: the C-5 speed of each
// sample matches the pitch it was synthesised at.
TEST_F(XmasModule, TonalInstrumentsPlayInTune) {
    const itw::Module song = datagen::build_xmas_module();
    for (int instrument : {datagen::xmas::kBells, datagen::xmas::kBass, datagen::xmas::kLead, datagen::xmas::kStrings,
                           datagen::xmas::kChoir}) {
        for (int note : {60, 67}) {
            itw::Module probe = song;
            probe.orders = {0};
            probe.patterns.assign(1, itw::Pattern(64, probe.channels));
            probe.patterns[0].at(0, 0) = {note, instrument, 64, 0, 0};
            module m(itw::write_it(probe));
            std::vector<float> x(24000);
            m.read(44100, x.size(), x.data());
            // First strong peak of the autocorrelation of a steady stretch.
            const size_t begin = 12000, span = 8192;
            const int min_lag = 20, max_lag = 800;
            std::vector<double> ac(max_lag + 2, 0.0);
            double best = 0.0;
            for (int lag = min_lag; lag <= max_lag + 1; ++lag) {
                for (size_t i = begin; i < begin + span; ++i) ac[lag] += static_cast<double>(x[i]) * x[i + lag];
                best = std::max(best, ac[lag]);
            }
            int lag = min_lag + 1;
            while (lag < max_lag && !(ac[lag] >= 0.9 * best && ac[lag] >= ac[lag - 1] && ac[lag] >= ac[lag + 1])) ++lag;
            const double shift = 0.5 * (ac[lag - 1] - ac[lag + 1]) / (ac[lag - 1] - 2 * ac[lag] + ac[lag + 1]);
            const double hz = 44100.0 / (lag + shift);
            const double expected = 261.6255653 * std::pow(2.0, (note - 60) / 12.0);
            EXPECT_NEAR(1200.0 * std::log2(hz / expected), 0.0, 5.0)
                << "instrument " << instrument << " note " << note << ": " << hz << " Hz";
        }
    }
}

// A loop must join without a jump: the step from the loop's last sample back
// to its first is no larger than the steepest step inside the sample.
TEST_F(XmasModule, SampleLoopsJoinSmoothly) {
    const itw::Module song = datagen::build_xmas_module();
    int looped = 0;
    for (const itw::Sample& s : song.samples) {
        if (!s.loop) continue;
        ++looped;
        int steepest = 0;
        for (size_t i = 1; i < s.data.size(); ++i) steepest = std::max(steepest, std::abs(s.data[i] - s.data[i - 1]));
        const int join = std::abs(s.data[s.loop_begin] - s.data[s.loop_end - 1]);
        EXPECT_LE(join, steepest) << s.name;
        EXPECT_GT(steepest, 0) << s.name;
    }
    EXPECT_GE(looped, 4);
}

TEST(Synth, SineAndExpMatchTheLibraryToFarBelowOneBit) {
    for (int i = -2000; i <= 2000; ++i) {
        const double cycles = i * 0.01237;
        ASSERT_NEAR(datagen::synth::sine(cycles), std::sin(2.0 * M_PI * cycles), 1e-11) << cycles;
    }
    for (int i = -700; i <= 700; ++i) {
        const double x = i * 0.0857;
        ASSERT_NEAR(datagen::synth::exp(x) / std::exp(x), 1.0, 1e-13) << x;
    }
    EXPECT_NEAR(datagen::synth::note_hz(69.0), 440.0, 1e-9);
    EXPECT_NEAR(datagen::synth::note_hz(48.0), 130.8127827, 1e-6);
}

TEST(Synth, Pcm16ScalesToThePeakAndRoundsHalvesAway) {
    // Scale 0.5 · 32767 / 1.0 = 16383.5.
    const std::vector<int16_t> pcm = datagen::synth::to_pcm16({0.5, -1.0, 0.25, 0.0}, 0.5);
    EXPECT_EQ(pcm, (std::vector<int16_t>{8192, -16384, 4096, 0}));
    EXPECT_EQ(datagen::synth::to_pcm16({0.0, 0.0}, 0.9), (std::vector<int16_t>{0, 0}));
    EXPECT_EQ(datagen::synth::to_pcm16({-2.0, 1.0}, 1.0), (std::vector<int16_t>{-32767, 16384}));
    // A 523.25 Hz sample plays middle C at half speed.
    EXPECT_EQ(datagen::synth::c5_speed_for(523.2511306), 22050);
}

TEST(Synth, NoiseIsRepeatableAndCoversTheRange) {
    datagen::synth::Noise a(7), b(7), c(8);
    double low = 1.0, high = -1.0, sum = 0.0;
    bool differs = false;
    for (int i = 0; i < 100000; ++i) {
        const double v = a.next();
        ASSERT_EQ(v, b.next());
        differs |= v != c.next();
        low = std::min(low, v);
        high = std::max(high, v);
        sum += v;
    }
    EXPECT_TRUE(differs);
    EXPECT_LT(low, -0.99);
    EXPECT_GT(high, 0.99);
    EXPECT_NEAR(sum / 100000, 0.0, 0.01);
}

}  // namespace
}  // namespace gf
