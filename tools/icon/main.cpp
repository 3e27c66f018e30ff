// glimmerfrost-icon DIR: writes the program's icon as DIR/hicolor/NxN/apps/glimmerfrost.png
// for the sizes desktops look for, ready to install under share/icons.
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/window_icon.h"

namespace {

constexpr int kSizes[] = {16, 24, 32, 48, 64, 128, 192, 256, 512};  // 192 and 512: what a web app manifest asks for

void put_u32(std::vector<uint8_t>& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<uint8_t>(v >> shift));
    }
}

void put_chunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data) {
    put_u32(out, static_cast<uint32_t>(data.size()));
    const std::size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    put_u32(out, static_cast<uint32_t>(crc32(0, out.data() + start, static_cast<uInt>(out.size() - start))));
}

// An 8-bit RGBA PNG of 0xAARRGGBB pixels; empty when compression fails.
std::vector<uint8_t> encode_rgba_png(const std::vector<uint32_t>& pixels, int size) {
    std::vector<uint8_t> raw;
    for (int y = 0; y < size; ++y) {
        raw.push_back(0);  // filter: none
        for (int x = 0; x < size; ++x) {
            const uint32_t p =
                pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(size) + static_cast<std::size_t>(x)];
            raw.insert(raw.end(), {static_cast<uint8_t>(p >> 16), static_cast<uint8_t>(p >> 8), static_cast<uint8_t>(p),
                                   static_cast<uint8_t>(p >> 24)});
        }
    }
    uLongf packed_size = compressBound(static_cast<uLong>(raw.size()));
    std::vector<uint8_t> packed(packed_size);
    if (compress2(packed.data(), &packed_size, raw.data(), static_cast<uLong>(raw.size()), Z_BEST_COMPRESSION) !=
        Z_OK) {
        return {};
    }
    packed.resize(packed_size);
    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> header;
    put_u32(header, static_cast<uint32_t>(size));
    put_u32(header, static_cast<uint32_t>(size));
    header.insert(header.end(), {8, 6, 0, 0, 0});  // 8 bits, RGBA, deflate, no filter choice, no interlace
    put_chunk(png, "IHDR", header);
    put_chunk(png, "IDAT", packed);
    put_chunk(png, "IEND", {});
    return png;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: glimmerfrost-icon DIR\n");
        return 2;
    }
    namespace fs = std::filesystem;
    for (const int size : kSizes) {
        const std::string name = std::to_string(size) + "x" + std::to_string(size);
        const fs::path dir = fs::path(argv[1]) / "hicolor" / name / "apps";
        std::error_code error;
        fs::create_directories(dir, error);
        const std::vector<uint8_t> png = encode_rgba_png(gf::draw_icon(size), size);
        const fs::path path = dir / "glimmerfrost.png";
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
        out.close();
        if (png.empty() || !out) {
            std::fprintf(stderr, "glimmerfrost-icon: %s: cannot be written\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
