// Files for studying a capture: raw frames as PNG pictures, the sound as a
// 16-bit PCM WAV file, and frames.csv (frame number, ms, order, row).
// PNG (through libpng) and WAV are written and read back here so tests can inspect them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "common/status.h"

namespace gf {

// How encode_png stores pixels.
struct PngEncoding {
    bool alpha = false;         // RGBA with alpha from the top byte (0xAARRGGBB), else RGB (top byte ignored)
    int compression_level = 1;  // zlib's 0..9: frames are written fast, the icon small
};

// Encodes width × height pixels 0x00RRGGBB as an 8-bit RGB (or RGBA) PNG with
// no interlace and every row unfiltered, into `png`. Same pixels, same bytes.
Status encode_png(const uint32_t* pixels, int width, int height, std::vector<uint8_t>& png,
                  const PngEncoding& how = {});
Status write_png(const std::string& path, const uint32_t* pixels, int width, int height, const PngEncoding& how = {});

// A decoded PNG: pixels 0x00RRGGBB, rows without padding.
struct PngImage {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
};

// Decodes any PNG to 8-bit RGB: 16-bit samples keep their high byte, palette
// and grey pictures are expanded, alpha is dropped. `name` is used in messages.
Status decode_png(const uint8_t* data, std::size_t size, const std::string& name, PngImage& image);
Status read_png(const std::string& path, PngImage& image);

// Streams interleaved 16-bit stereo (or mono) PCM into a WAV file; the sizes in
// the header are filled in by finish().
class WavWriter {
public:
    WavWriter() = default;
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;
    ~WavWriter();

    Status open(const std::string& path, int sample_rate, int channels);
    Status append(const int16_t* samples, std::size_t frames);
    Status finish();  // writes the sizes and closes the file

private:
    std::FILE* file_ = nullptr;
    std::string path_;
    int channels_ = 2;
    uint64_t frames_ = 0;
};

struct WavData {
    int sample_rate = 0;
    int channels = 0;
    std::vector<int16_t> samples;  // interleaved
};

// Reads a 16-bit PCM WAV file.
Status read_wav(const std::string& path, WavData& wav);

// A folder of numbered frames with the sound and the frame table:
// frame_000000.png …, audio.wav, frames.csv.
class FrameFolderWriter {
public:
    FrameFolderWriter() = default;
    FrameFolderWriter(const FrameFolderWriter&) = delete;
    FrameFolderWriter& operator=(const FrameFolderWriter&) = delete;
    ~FrameFolderWriter();

    // `dir` must exist. Creates frames.csv in it, and audio.wav unless `sound` is false.
    Status open(const std::string& dir, int sample_rate, bool sound = true);
    // One 320 × 200 frame, its number, its time in ms from the show's start and the music position.
    Status add_frame(uint64_t index, uint64_t ms, uint32_t order, uint32_t row, const uint32_t* pixels);
    Status add_audio(const int16_t* samples, std::size_t frames);
    Status finish();

    static std::string frame_name(uint64_t index);  // "frame_000123.png"

private:
    std::string dir_;
    std::FILE* csv_ = nullptr;
    WavWriter wav_;
    bool sound_ = true;
};

}  // namespace gf
