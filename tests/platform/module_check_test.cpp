// The module structure check on a small written module, cut or altered one
// way at a time: each fault is named, the intact module and other formats pass.
#include "platform/module_check.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "writers/it_writer.h"

namespace {

using Bytes = std::vector<uint8_t>;

uint32_t u32(const Bytes& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

Bytes written() {
    gf::itw::Module m;
    m.channels = 2;
    m.message = "hello";
    m.orders = {0};
    m.patterns.emplace_back(8, 2);
    m.patterns[0].at(0, 0).note = gf::itw::kMiddleC;
    m.patterns[0].at(0, 0).instrument = 1;
    gf::itw::Instrument inst;
    inst.sample = 1;
    m.instruments.push_back(inst);
    gf::itw::Sample s;
    s.data.assign(400, 1000);
    m.samples.push_back(s);
    return gf::itw::write_it(m);
}

// Offsets of the header's tables: one order, one instrument, one sample, one pattern.
constexpr std::size_t kOrders = 0xC0;
constexpr std::size_t kInstrumentTable = kOrders + 1;
constexpr std::size_t kSampleTable = kInstrumentTable + 4;
constexpr std::size_t kPatternTable = kSampleTable + 4;

TEST(ModuleCheck, EachStructuralFaultIsNamedAndSoundFilesPass) {
    const Bytes intact = written();
    ASSERT_EQ(intact[0x20], 1);  // the layout assumed above
    ASSERT_EQ(intact[0x22] + intact[0x24] + intact[0x26], 3);
    const uint32_t sample = u32(intact, kSampleTable);
    const uint32_t pattern = u32(intact, kPatternTable);
    const uint32_t sample_data = u32(intact, sample + 0x48);
    struct Case {
        const char* name;
        std::function<void(Bytes&)> damage;
        std::string problem;  // empty: passes
    };
    const std::vector<Case> cases = {
        {"intact", [](Bytes&) {}, ""},
        {"another format", [](Bytes& b) { b[0] = 'X'; }, ""},
        {"cut inside the header", [](Bytes& b) { b.resize(0x80); }, "the file ends inside the module header"},
        {"cut inside the tables", [](Bytes& b) { b.resize(kSampleTable + 2); },
         "the file ends inside the order list or offset tables (cut short?)"},
        {"only end markers", [](Bytes& b) { b[kOrders] = 255; }, "the order list holds no pattern to play"},
        {"only skip markers", [](Bytes& b) { b[kOrders] = 254; }, "the order list holds no pattern to play"},
        {"instrument past the end", [](Bytes& b) { b[kInstrumentTable + 3] = 0x7F; },
         "instrument 1 lies past the end of the file (cut short?)"},
        {"sample header past the end", [](Bytes& b) { b[kSampleTable + 3] = 0x7F; },
         "sample 1 lies past the end of the file (cut short?)"},
        {"sample data cut", [&](Bytes& b) { b.resize(sample_data + 100); },
         "the data of sample 1 runs past the end of the file (cut short?)"},
        {"pattern cut", [&](Bytes& b) { b[pattern] = 0xFF, b[pattern + 1] = 0x7F; },
         "pattern 0 runs past the end of the file (cut short?)"},
        {"song message past the end", [](Bytes& b) { b[0x3B] = 0x7F; },
         "the song message runs past the end of the file (cut short?)"},
    };
    for (const Case& c : cases) {
        Bytes bytes = intact;
        c.damage(bytes);
        const gf::Status status = gf::check_module_structure(std::span<const uint8_t>(bytes));
        EXPECT_EQ(status.ok, c.problem.empty()) << c.name;
        EXPECT_EQ(status.message, c.problem) << c.name;
    }
    EXPECT_TRUE(gf::check_module_structure({}).ok);  // too short to be anything: the player judges it
}

}  // namespace
