// Encodes pixels to JPEG with libjpeg-turbo: the data-set generator writes the
// show's pictures with it, and the tests build tiny fixture files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/status.h"

namespace gf::jpegw {

enum class ScanMode { baseline, progressive };
enum class ColourMode { colour, greyscale, cmyk };  // cmyk: Adobe CMYK, C = 255 − red … and K = 0
enum class ChromaMode { full, half };               // 4:4:4 or 4:2:0 chroma sampling
enum class EntropyCoding { huffman, arithmetic };

struct JpegOptions {
    int quality = 95;  // 1..100
    ScanMode scan = ScanMode::baseline;
    ColourMode colour = ColourMode::colour;
    ChromaMode chroma = ChromaMode::full;
    EntropyCoding coding = EntropyCoding::huffman;
};

// Encodes width × height pixels 0x00RRGGBB (top row first, no row padding)
// into `out`, replacing its contents. The same input and options always give
// the same bytes.
Status encode_jpeg(const uint32_t* pixels, int width, int height, const JpegOptions& options,
                   std::vector<uint8_t>& out);
// Writes `bytes` to `path`, replacing the file; the message names the path.
Status write_bytes(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace gf::jpegw
