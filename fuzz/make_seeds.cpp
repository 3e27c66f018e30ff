// Writes the small seed inputs of the JPEG and module fuzzers with the
// project's own writers: a handful of tiny pictures in each scan and colour
// mode, and tiny modules that exercise the paths the player cares about
// (several orders, skip/end markers, note delays and pattern delays,
// note-off/cut/fade, looped samples, both sync instruments).
// Usage: make_seeds JPEG_DIR IT_DIR   (fuzz/corpus/jpeg and fuzz/corpus/it hold its output)
// Build: clang++ -std=c++20 -I tools -I src fuzz/make_seeds.cpp tools/writers/it_writer.cpp
//        tools/writers/jpeg_writer.cpp $(pkg-config --libs libjpeg) -o make_seeds
#include <cstdio>
#include <string>
#include <vector>

#include "writers/it_writer.h"
#include "writers/jpeg_writer.h"

namespace {

bool write(const std::string& path, const std::vector<uint8_t>& bytes) {
    const gf::Status result = gf::jpegw::write_bytes(path, bytes);
    if (!result.ok) {
        std::fprintf(stderr, "make_seeds: %s\n", result.message.c_str());
    }
    return result.ok;
}

bool write_jpegs(const std::string& dir) {
    using namespace gf::jpegw;
    struct Seed {
        const char* name;
        int width;
        int height;
        JpegOptions options;
    };
    const std::vector<Seed> seeds = {
        {"grey_8x8.jpg", 8, 8, {75, ScanMode::baseline, ColourMode::greyscale, ChromaMode::full}},
        {"colour_16x16.jpg", 16, 16, {90, ScanMode::baseline, ColourMode::colour, ChromaMode::full}},
        {"half_chroma_17x9.jpg", 17, 9, {60, ScanMode::baseline, ColourMode::colour, ChromaMode::half}},
        {"progressive_24x16.jpg", 24, 16, {80, ScanMode::progressive, ColourMode::colour, ChromaMode::half}},
        {"progressive_grey_1x1.jpg", 1, 1, {50, ScanMode::progressive, ColourMode::greyscale, ChromaMode::full}},
        {"tall_8x40.jpg", 8, 40, {30, ScanMode::baseline, ColourMode::colour, ChromaMode::half}},
    };
    for (const Seed& seed : seeds) {
        std::vector<uint32_t> pixels(static_cast<size_t>(seed.width) * static_cast<size_t>(seed.height));
        for (int y = 0; y < seed.height; ++y) {
            for (int x = 0; x < seed.width; ++x) {
                const uint32_t r = static_cast<uint32_t>(x * 255 / (seed.width > 1 ? seed.width - 1 : 1));
                const uint32_t g = static_cast<uint32_t>(y * 255 / (seed.height > 1 ? seed.height - 1 : 1));
                const uint32_t b = ((x ^ y) & 1) != 0 ? 0xE0u : 0x20u;
                pixels[static_cast<size_t>(y * seed.width + x)] = (r << 16) | (g << 8) | b;
            }
        }
        std::vector<uint8_t> bytes;
        const gf::Status result = encode_jpeg(pixels.data(), seed.width, seed.height, seed.options, bytes);
        if (!result.ok) {
            std::fprintf(stderr, "make_seeds: %s: %s\n", seed.name, result.message.c_str());
            return false;
        }
        if (!write(dir + "/" + seed.name, bytes)) {
            return false;
        }
    }
    return true;
}

gf::itw::Sample tone(int length, bool loop) {
    gf::itw::Sample sample;
    sample.name = "tone";
    for (int i = 0; i < length; ++i) {
        sample.data.push_back(static_cast<int16_t>(((i / 25) % 2 != 0) ? 6000 : -6000));
    }
    sample.loop = loop;
    sample.loop_end = loop ? static_cast<uint32_t>(length) : 0;
    return sample;
}

gf::itw::Module base_module(int instruments) {
    gf::itw::Module module;
    module.title = "seed";
    module.channels = 4;
    module.initial_speed = 3;
    for (int i = 0; i < instruments; ++i) {
        gf::itw::Instrument instrument;
        instrument.name = "inst" + std::to_string(i + 1);
        instrument.sample = 1 + (i % 2);
        module.instruments.push_back(instrument);
    }
    module.samples.push_back(tone(400, true));
    module.samples.push_back(tone(150, false));
    return module;
}

bool write_modules(const std::string& dir) {
    using namespace gf::itw;
    std::vector<std::pair<std::string, Module>> modules;

    // Two patterns, instruments 1 and 6 on alternate rows, an end marker.
    {
        Module m = base_module(6);
        Pattern a(16, 4);
        Pattern b(8, 4);
        for (int row = 0; row < 16; row += 2) {
            a.at(row, 0) = Cell{kMiddleC + row, 1, 64, 0, 0};
            a.at(row + 1, 1) = Cell{kMiddleC - 12, 6, -1, 0, 0};
        }
        b.at(0, 2) = Cell{kMiddleC, 6, -1, 0, 0};
        b.at(4, 2) = Cell{kNoteOff, 0, -1, 0, 0};
        m.patterns = {a, b};
        m.orders = {0, 1, 0, 255};
        modules.emplace_back("two_patterns.it", m);
    }
    // Note delay, pattern delay, note cut and fade, a skip marker.
    {
        Module m = base_module(6);
        Pattern a(8, 4);
        a.at(0, 0) = Cell{kMiddleC, 1, -1, effect('S'), 0xD2};
        a.at(1, 1) = Cell{kMiddleC, 6, -1, effect('S'), 0xE2};
        a.at(2, 0) = Cell{kNoteCut, 0, -1, 0, 0};
        a.at(3, 1) = Cell{kNoteFade, 0, -1, 0, 0};
        a.at(4, 0) = Cell{kMiddleC, 0, -1, effect('S'), 0xD0};
        a.at(5, 3) = Cell{kNoNote, 0, -1, effect('S'), 0x00};
        m.patterns = {a};
        m.orders = {0, 254, 0};
        modules.emplace_back("delays.it", m);
    }
    // Position jump and pattern break: the order/row word moves backwards.
    {
        Module m = base_module(2);
        Pattern a(4, 2);
        Pattern b(4, 2);
        a.at(0, 0) = Cell{kMiddleC, 1, -1, 0, 0};
        a.at(3, 1) = Cell{kNoNote, 0, -1, effect('C'), 2};
        b.at(2, 0) = Cell{kMiddleC, 2, -1, effect('B'), 3};
        m.patterns = {a, b};
        m.orders = {0, 1, 0, 1};
        modules.emplace_back("jumps.it", m);
    }
    // Tempo and speed changes with a one-row pattern.
    {
        Module m = base_module(1);
        Pattern a(1, 1);
        a.at(0, 0) = Cell{kMiddleC, 1, 32, effect('T'), 0xFF};
        Pattern b(3, 1);
        b.at(0, 0) = Cell{kMiddleC + 7, 1, -1, effect('A'), 1};
        m.patterns = {a, b};
        m.orders = {0, 1, 1, 0};
        modules.emplace_back("tempo.it", m);
    }
    for (const auto& [name, module] : modules) {
        std::vector<uint8_t> bytes;
        try {
            bytes = write_it(module);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "make_seeds: %s: %s\n", name.c_str(), e.what());
            return false;
        }
        if (!write(dir + "/" + name, bytes)) {
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_seeds JPEG_DIR IT_DIR\n");
        return 2;
    }
    return write_jpegs(argv[1]) && write_modules(argv[2]) ? 0 : 1;
}
