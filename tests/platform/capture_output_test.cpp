// The files a capture writes: PNG frames, the WAV and CSV of a frame folder, and
// the video's colour conversion and container.
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "driver/mp4_tracks.h"
#include "platform/frame_files.h"
#include "platform/video_encoder.h"

namespace gf {
namespace {

namespace fs = std::filesystem;

fs::path scratch_dir(const std::string& name) {
    const fs::path dir =
        fs::temp_directory_path() / ("gf_capture_output_test_" + std::to_string(getpid()) + "_" + name);
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

std::vector<uint8_t> file_bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

uint32_t be32(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

// ---------------------------------------------------------------- PNG

std::vector<uint32_t> test_frame() {
    std::vector<uint32_t> pixels(320 * 200);
    for (int y = 0; y < 200; ++y) {
        for (int x = 0; x < 320; ++x) {
            pixels[static_cast<std::size_t>(y * 320 + x)] = (static_cast<uint32_t>(x & 0xFF) << 16) |
                                                            (static_cast<uint32_t>(y) << 8) |
                                                            static_cast<uint32_t>((x * y) & 0xFF);
        }
    }
    pixels[0] = 0xAB123456;  // the top byte carries no colour and is not stored
    return pixels;
}

// The chunks of a PNG file in order, each checked against its CRC, and the inflated image data.
struct PngChunks {
    std::vector<std::string> types;
    std::vector<uint8_t> header;  // IHDR's body
    std::vector<uint8_t> raw;     // all IDAT bodies, inflated
};

PngChunks walk_png(const std::vector<uint8_t>& png, std::size_t raw_size) {
    PngChunks chunks;
    const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    EXPECT_GE(png.size(), 8u);
    EXPECT_EQ(std::memcmp(png.data(), signature, 8), 0);
    std::vector<uint8_t> packed;
    for (std::size_t at = 8; at + 12 <= png.size();) {
        const uint32_t length = be32(&png[at]);
        if (length > png.size() - at - 12) {
            ADD_FAILURE() << "chunk at " << at << " runs past the end";
            break;
        }
        const std::string type(reinterpret_cast<const char*>(&png[at + 4]), 4);
        EXPECT_EQ(be32(&png[at + 8 + length]), crc32(0, &png[at + 4], 4 + length)) << type;
        const uint8_t* body = &png[at + 8];
        if (type == "IHDR") chunks.header.assign(body, body + length);
        if (type == "IDAT") packed.insert(packed.end(), body, body + length);
        chunks.types.push_back(type);
        at += 12 + length;
    }
    chunks.raw.resize(raw_size + 16);
    uLongf raw_len = chunks.raw.size();
    EXPECT_EQ(uncompress(chunks.raw.data(), &raw_len, packed.data(), static_cast<uLong>(packed.size())), Z_OK);
    chunks.raw.resize(raw_len);
    return chunks;
}

TEST(PngFiles, WrittenFrameInflatesToUnfilteredRgbRowsWithValidChunks) {
    const std::vector<uint32_t> pixels = test_frame();
    std::vector<uint8_t> png;
    ASSERT_TRUE(encode_png(pixels.data(), 320, 200, png).ok);
    const PngChunks chunks = walk_png(png, 200 * 961);
    ASSERT_GE(chunks.types.size(), 3u);
    EXPECT_EQ(chunks.types.front(), "IHDR");
    EXPECT_EQ(chunks.types.back(), "IEND");
    // 320 × 200, 8-bit RGB, no interlace.
    ASSERT_EQ(chunks.header.size(), 13u);
    EXPECT_EQ(be32(&chunks.header[0]), 320u);
    EXPECT_EQ(be32(&chunks.header[4]), 200u);
    EXPECT_EQ(chunks.header[8], 8);
    EXPECT_EQ(chunks.header[9], 2);
    EXPECT_EQ(chunks.header[12], 0);
    // 200 rows of a filter byte (none: the browser test reads the rows as they are) and 960 colour bytes.
    ASSERT_EQ(chunks.raw.size(), 200u * 961u);
    for (std::size_t y = 0; y < 200; ++y) {
        ASSERT_EQ(chunks.raw[y * 961], 0) << "row " << y;
    }
    EXPECT_EQ(chunks.raw[1], 0x12);  // pixel (0, 0): red, green, blue; top byte dropped
    EXPECT_EQ(chunks.raw[2], 0x34);
    EXPECT_EQ(chunks.raw[3], 0x56);
    const std::size_t at = 123 * 961 + 1 + 3 * 300;  // pixel (300, 123)
    EXPECT_EQ(chunks.raw[at], 300 & 0xFF);
    EXPECT_EQ(chunks.raw[at + 1], 123);
    EXPECT_EQ(chunks.raw[at + 2], (300 * 123) & 0xFF);
    // Same pixels, same bytes.
    std::vector<uint8_t> again;
    ASSERT_TRUE(encode_png(pixels.data(), 320, 200, again).ok);
    EXPECT_EQ(again, png);

    // With alpha (the icon), the top byte is stored after blue.
    const uint32_t two[2] = {0x80102030, 0xFF405060};
    ASSERT_TRUE(encode_png(two, 2, 1, png, {.alpha = true, .compression_level = 9}).ok);
    const PngChunks rgba = walk_png(png, 9);
    ASSERT_EQ(rgba.header.size(), 13u);
    EXPECT_EQ(rgba.header[9], 6);
    EXPECT_EQ(rgba.raw, (std::vector<uint8_t>{0, 0x10, 0x20, 0x30, 0x80, 0x40, 0x50, 0x60, 0xFF}));
}

// A PNG file built by hand from an IHDR body, raw (filtered) rows and any extra chunks before the image data.
std::vector<uint8_t> hand_made_png(const std::vector<uint8_t>& header, const std::vector<uint8_t>& raw,
                                   const std::vector<std::pair<std::string, std::vector<uint8_t>>>& extra = {}) {
    std::vector<uint8_t> packed(compressBound(static_cast<uLong>(raw.size())));
    uLongf packed_len = packed.size();
    compress(packed.data(), &packed_len, raw.data(), static_cast<uLong>(raw.size()));
    packed.resize(packed_len);
    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    const auto chunk = [&png](const std::string& type, const std::vector<uint8_t>& data) {
        for (int s = 24; s >= 0; s -= 8) png.push_back(static_cast<uint8_t>(data.size() >> s));
        const std::size_t from = png.size();
        png.insert(png.end(), type.begin(), type.end());
        png.insert(png.end(), data.begin(), data.end());
        const uint32_t crc = static_cast<uint32_t>(crc32(0, &png[from], static_cast<uInt>(4 + data.size())));
        for (int s = 24; s >= 0; s -= 8) png.push_back(static_cast<uint8_t>(crc >> s));
    };
    chunk("IHDR", header);
    for (const auto& [type, data] : extra) chunk(type, data);
    chunk("IDAT", packed);
    chunk("IEND", {});
    return png;
}

// 3 × 2 RGBA whose rows use the Paeth and Average filters, with an ancillary chunk to skip.
const std::vector<uint8_t> kRgbaHeader = {0, 0, 0, 3, 0, 0, 0, 2, 8, 6, 0, 0, 0};
const std::vector<uint8_t> kRgbaRows = {
    4, 10,  20,  30,  255, 5, 5, 5, 0, 1,   1,   1,   0,  // Paeth, first row: a from the left only
    3, 100, 100, 100, 9,   0, 0, 0, 0, 200, 200, 200, 0,  // Average of left and above
};

TEST(PngFiles, ReaderUndoesRowFiltersAndSkipsAncillaryChunks) {
    const std::vector<uint8_t> good = hand_made_png(kRgbaHeader, kRgbaRows, {{"tEXt", {'a', 0, 'b'}}});
    PngImage image;
    const Status status = decode_png(good.data(), good.size(), "hand.png", image);
    ASSERT_TRUE(status.ok) << status.message;
    ASSERT_EQ(image.width, 3);
    ASSERT_EQ(image.height, 2);
    // Row 0, Paeth with no row above predicts from the left: (10,20,30), (15,25,35), (16,26,36); alpha dropped.
    // Row 1, Average of left and above: (0+10)/2+100 = 105, (0+20)/2+100 = 110, (0+30)/2+100 = 115;
    // then (105+15)/2 = 60, (110+25)/2 = 67, (115+35)/2 = 75; then (60+16)/2+200 = 238, (67+26)/2+200 = 246,
    // (75+36)/2+200 = 255.
    EXPECT_EQ(image.pixels,
              (std::vector<uint32_t>{0x000A141E, 0x000F1923, 0x00101A24, 0x00696E73, 0x003C434B, 0x00EEF6FF}));

    // 16-bit RGB, 2 × 1, unfiltered: each sample keeps its high byte.
    const std::vector<uint8_t> deep =
        hand_made_png({0, 0, 0, 2, 0, 0, 0, 1, 16, 2, 0, 0, 0},
                      {0, 0x12, 0xFF, 0x34, 0x00, 0x56, 0x80, 0xFF, 0xFF, 0, 1, 0x7F, 0x7F});
    ASSERT_TRUE(decode_png(deep.data(), deep.size(), "deep.png", image).ok);
    EXPECT_EQ(image.pixels, (std::vector<uint32_t>{0x00123456, 0x00FF007F}));
}

TEST(PngFiles, ReaderRejectsDamagedFilesNamingThem) {
    const std::vector<uint8_t> good = hand_made_png(kRgbaHeader, kRgbaRows);
    std::vector<uint8_t> bad_crc = good;
    bad_crc.at(bad_crc.size() - 13) ^= 0x40;  // the last byte of IDAT's CRC
    const struct {
        const char* what;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"IDAT CRC", bad_crc},
        {"unknown critical chunk", hand_made_png(kRgbaHeader, kRgbaRows, {{"CRIT", {1, 2, 3}}})},
        {"image data too short",
         hand_made_png(kRgbaHeader, std::vector<uint8_t>(kRgbaRows.begin(), kRgbaRows.end() - 5))},
        {"no signature", std::vector<uint8_t>(good.begin() + 1, good.end())},
        {"cut in the signature", std::vector<uint8_t>(good.begin(), good.begin() + 5)},
        {"cut in IHDR", std::vector<uint8_t>(good.begin(), good.begin() + 20)},
        {"cut in IEND", std::vector<uint8_t>(good.begin(), good.end() - 1)},
        {"IEND missing", std::vector<uint8_t>(good.begin(), good.end() - 12)},
    };
    for (const auto& c : cases) {
        PngImage image;
        const Status s = decode_png(c.bytes.data(), c.bytes.size(), "damaged.png", image);
        EXPECT_FALSE(s.ok) << c.what;
        EXPECT_EQ(s.message.rfind("damaged.png: ", 0), 0u) << c.what << ": " << s.message;
    }
    PngImage image;
    const Status s = read_png("/nonexistent/frame.png", image);
    EXPECT_FALSE(s.ok);
    EXPECT_NE(s.message.find("/nonexistent/frame.png"), std::string::npos);
}

// ---------------------------------------------------------------- WAV and frame folders

TEST(FrameFolder, WavHeaderSizesPngFramesAndCsvLinesAreWritten) {
    const fs::path dir = scratch_dir("folder");
    FrameFolderWriter writer;
    ASSERT_TRUE(writer.open(dir.string(), 44100).ok);
    const std::vector<uint32_t> pixels = test_frame();
    ASSERT_TRUE(writer.add_frame(0, 0, 0, 0, pixels.data()).ok);
    ASSERT_TRUE(writer.add_frame(1, 16, 7, 64, pixels.data()).ok);
    const int16_t sound[] = {1, -1, 32767, -32768, 300, -300};
    ASSERT_TRUE(writer.add_audio(sound, 3).ok);
    ASSERT_TRUE(writer.finish().ok);

    const std::vector<uint8_t> wav = file_bytes(dir / "audio.wav");
    ASSERT_EQ(wav.size(), 44u + 12u);
    const auto le32 = [&wav](std::size_t at) {
        return uint32_t{wav[at]} | (uint32_t{wav[at + 1]} << 8) | (uint32_t{wav[at + 2]} << 16) |
               (uint32_t{wav[at + 3]} << 24);
    };
    EXPECT_EQ(std::memcmp(wav.data(), "RIFF", 4), 0);
    EXPECT_EQ(le32(4), 36u + 12u);
    EXPECT_EQ(std::memcmp(&wav[8], "WAVEfmt ", 8), 0);
    EXPECT_EQ(le32(24), 44100u);
    EXPECT_EQ(le32(28), 44100u * 4u);
    EXPECT_EQ(le32(40), 12u);
    EXPECT_EQ(wav[44 + 4], 0xFF);  // 32767, little-endian
    EXPECT_EQ(wav[44 + 5], 0x7F);
    WavData back;
    ASSERT_TRUE(read_wav((dir / "audio.wav").string(), back).ok);
    EXPECT_EQ(back.channels, 2);
    EXPECT_EQ(back.samples, std::vector<int16_t>(std::begin(sound), std::end(sound)));

    std::ifstream csv(dir / "frames.csv");
    std::string header;
    std::string line0;
    std::string line1;
    std::getline(csv, header);
    std::getline(csv, line0);
    std::getline(csv, line1);
    EXPECT_EQ(header, "frame,ms,order,row");
    EXPECT_EQ(line0, "0,0,0,0");
    EXPECT_EQ(line1, "1,16,7,64");

    PngImage frame;
    ASSERT_TRUE(read_png((dir / FrameFolderWriter::frame_name(1)).string(), frame).ok);
    EXPECT_EQ(FrameFolderWriter::frame_name(1), "frame_000001.png");
    ASSERT_EQ(frame.pixels.size(), pixels.size());
    EXPECT_EQ(frame.pixels[0], 0x00123456u);
    EXPECT_TRUE(std::equal(pixels.begin() + 1, pixels.end(), frame.pixels.begin() + 1));

    // A WAV cut inside its data chunk header is refused with its name.
    {
        std::ofstream cut(dir / "cut.wav", std::ios::binary);
        cut.write(reinterpret_cast<const char*>(wav.data()), 40);
    }
    const Status s = read_wav((dir / "cut.wav").string(), back);
    EXPECT_FALSE(s.ok);
    EXPECT_NE(s.message.find("cut.wav"), std::string::npos);
    FrameFolderWriter nowhere;
    const Status no_dir = nowhere.open((dir / "missing" / "deeper").string(), 44100);
    EXPECT_FALSE(no_dir.ok);
    EXPECT_NE(no_dir.message.find("missing/deeper"), std::string::npos);
    fs::remove_all(dir);
}

// ---------------------------------------------------------------- video

TEST(VideoColour, Bt709LimitedRangeOfPrimaries) {
    uint8_t y = 0;
    uint8_t u = 0;
    uint8_t v = 0;
    rgb_to_yuv709(0x000000, y, u, v);
    EXPECT_EQ(y, 16);
    EXPECT_EQ(u, 128);
    EXPECT_EQ(v, 128);
    rgb_to_yuv709(0xFFFFFF, y, u, v);
    EXPECT_EQ(y, 235);
    EXPECT_EQ(u, 128);
    EXPECT_EQ(v, 128);
    // Red: Y = 16 + 219·0.2126 = 62.6; U = 128 − 112·0.2126/0.9278 = 102.3; V = 128 + 112 = 240.
    rgb_to_yuv709(0xFF0000, y, u, v);
    EXPECT_EQ(y, 63);
    EXPECT_EQ(u, 102);
    EXPECT_EQ(v, 240);
    // Blue: Y = 16 + 219·0.0722 = 31.8; U = 240; V = 128 − 112·0.0722/0.7874 = 117.7.
    rgb_to_yuv709(0x0000FF, y, u, v);
    EXPECT_EQ(y, 32);
    EXPECT_EQ(u, 240);
    EXPECT_EQ(v, 118);
}

TEST(VideoColour, NearestNeighbourBlocksAndChromaAcrossOddScaleSeams) {
    std::vector<uint32_t> pixels(320 * 200, 0);
    pixels[0] = 0xFF0000;    // red at (0, 0)
    pixels[1] = 0x0000FF;    // blue at (1, 0)
    pixels[320] = 0xFFFFFF;  // white at (0, 1)
    const int w = 1600;
    const int h = 1200;
    std::vector<uint8_t> yp(static_cast<std::size_t>(w * h));
    std::vector<uint8_t> up(static_cast<std::size_t>(w / 2 * h / 2));
    std::vector<uint8_t> vp(up.size());
    frame_to_yuv420(pixels.data(), 5, 6, yp.data(), w, up.data(), w / 2, vp.data(), w / 2);
    // Red covers output columns 0-4 and rows 0-5; blue columns 5-9; white rows 6-11.
    EXPECT_EQ(yp[0], 63);
    EXPECT_EQ(yp[5 * w + 4], 63);
    EXPECT_EQ(yp[5], 32);
    EXPECT_EQ(yp[5 * w + 9], 32);
    EXPECT_EQ(yp[10], 16);
    EXPECT_EQ(yp[6 * w + 0], 235);
    EXPECT_EQ(yp[11 * w + 4], 235);
    EXPECT_EQ(yp[12 * w + 0], 16);
    // Chroma column 2 covers output columns 4 (red) and 5 (blue): the mean of red and blue,
    // (127.5, 0, 127.5): U = 128 + 112·(127.5 − 36.3)/(255·0.9278) = 171.2, V = 128 + 112·(127.5 − 36.3)/(255·0.7874) =
    // 178.9.
    EXPECT_EQ(up[2], 171);
    EXPECT_EQ(vp[2], 179);
    EXPECT_EQ(up[0], 102);  // pure red
    EXPECT_EQ(vp[3], 118);  // pure blue
    // Chroma rows 0-2 cover output rows 0-5 (the red row), row 3 the white row.
    EXPECT_EQ(vp[2 * (w / 2)], 240);
    EXPECT_EQ(vp[3 * (w / 2)], 128);
}

// At a size that is not a whole multiple (2880 × 2160 is 9 × 10.8) every source row and column
// still shows, each on a run of 9 columns and 10 or 11 rows, in order.
TEST(VideoColour, UnevenScaleKeepsEverySourceRowAndColumn) {
    std::vector<uint32_t> pixels(320 * 200);
    for (int y = 0; y < 200; ++y) {
        for (int x = 0; x < 320; ++x) {
            pixels[static_cast<std::size_t>(y * 320 + x)] = static_cast<uint32_t>(((x + y) % 2) * 0xFFFFFF);
        }
    }
    const int w = 2880;
    const int h = 2160;
    std::vector<uint8_t> yp(static_cast<std::size_t>(w) * h);
    std::vector<uint8_t> up(static_cast<std::size_t>(w / 2) * (h / 2));
    std::vector<uint8_t> vp(up.size());
    frame_to_yuv420_sized(pixels.data(), w, h, yp.data(), w, up.data(), w / 2, vp.data(), w / 2);
    // Down the first column: runs of one luma value alternate black and white, one per source row.
    std::vector<int> runs;
    for (int y = 0; y < h; ++y) {
        if (y == 0 || yp[static_cast<std::size_t>(y) * w] != yp[static_cast<std::size_t>(y - 1) * w]) {
            runs.push_back(0);
        }
        ++runs.back();
    }
    ASSERT_EQ(runs.size(), 200u);
    EXPECT_EQ(*std::min_element(runs.begin(), runs.end()), 10);
    EXPECT_EQ(*std::max_element(runs.begin(), runs.end()), 11);
    // Along the last row, every column is 9 wide.
    const uint8_t* last = &yp[static_cast<std::size_t>(h - 1) * w];
    for (int x = 0; x < w; ++x) {
        ASSERT_EQ(last[x], last[(x / 9) * 9]) << x;
        if (x % 9 == 0 && x > 0) {
            ASSERT_NE(last[x], last[x - 1]) << x;
        }
    }
}

// The planes of one busy frame at sizes of every kind (whole multiples, 5 × 6, 9 × 10.8,
// uneven, odd chroma), as CRC-32s of the Y, U and V planes: the conversion's every byte
// stays as it was when these were taken, so captures do not change with its speed-ups.
TEST(VideoColour, PlanesKeepTheirBytesAtEverySize) {
    std::vector<uint32_t> pixels(320 * 200);
    uint32_t state = 12345u;
    for (uint32_t& p : pixels) {
        state = state * 1664525u + 1013904223u;
        // Runs of equal pixels, as effects draw them, between single odd ones.
        p = (state >> 28) < 4 ? state >> 8 : (&p == pixels.data() ? 0u : *(&p - 1));
    }
    struct Case {
        int width, height;
        uint32_t y, u, v;
    };
    const Case cases[] = {
        {320, 200, 0xD4A9208Du, 0x35C0E681u, 0x8D86E173u},   {1280, 800, 0xE659B019u, 0xCB5CE658u, 0x3AB4A842u},
        {1600, 1200, 0xBA7A9999u, 0x875B29F5u, 0xB404FBDFu}, {2880, 2160, 0x977DE45Eu, 0xE6E2ABA6u, 0xCAA55DF2u},
        {642, 402, 0x1C9C530Cu, 0x75D8170Du, 0x8272348Bu},   {1002, 598, 0xB5510A05u, 0x064EF64Cu, 0xA801A0B5u},
    };
    for (const Case& c : cases) {
        const int cw = (c.width + 1) / 2;
        const int ch = (c.height + 1) / 2;
        // Strides wider than the rows, as the encoder's frames have them.
        const int y_stride = c.width + 32;
        const int c_stride = cw + 32;
        std::vector<uint8_t> yp(static_cast<std::size_t>(y_stride) * c.height, 0xAA);
        std::vector<uint8_t> up(static_cast<std::size_t>(c_stride) * ch, 0xAA);
        std::vector<uint8_t> vp(up.size(), 0xAA);
        frame_to_yuv420_sized(pixels.data(), c.width, c.height, yp.data(), y_stride, up.data(), c_stride, vp.data(),
                              c_stride);
        const auto crc = [](const std::vector<uint8_t>& plane) {
            return static_cast<uint32_t>(crc32(0, plane.data(), static_cast<uInt>(plane.size())));
        };
        EXPECT_EQ(crc(yp), c.y) << c.width << " x " << c.height;
        EXPECT_EQ(crc(up), c.u) << c.width << " x " << c.height;
        EXPECT_EQ(crc(vp), c.v) << c.width << " x " << c.height;
    }
}

TEST(VideoFile, Mp4HoldsH264AndAacOfTheSameLength) {
    const fs::path dir = scratch_dir("video");
    const fs::path path = dir / "clip.mp4";
    VideoSettings settings;
    settings.width = 1280;  // square pixels
    settings.height = 800;
    VideoEncoder encoder;
    const Status opened = encoder.open(path.string(), path.string(), settings);
    ASSERT_TRUE(opened.ok) << opened.message;
    EXPECT_EQ(encoder.video_codec_name(), "libx264");
    std::vector<uint32_t> pixels = test_frame();
    std::vector<int16_t> sound(2 * 735);
    for (int k = 0; k < 45; ++k) {  // 0.75 s: 33075 samples, not a whole number of AAC frames
        pixels[static_cast<std::size_t>(k)] = 0xFFFFFF;
        for (std::size_t i = 0; i < sound.size(); ++i) {
            sound[i] = static_cast<int16_t>(((k * 735 + static_cast<int>(i / 2)) % 100) * 300 - 15000);
        }
        ASSERT_TRUE(encoder.add_frame(pixels.data()).ok);
        ASSERT_TRUE(encoder.add_audio(sound.data(), 735).ok);
    }
    const Status finished = encoder.finish();
    ASSERT_TRUE(finished.ok) << finished.message;

    const std::vector<uint8_t> file = file_bytes(path);
    ASSERT_GT(file.size(), 1000u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&file[4]), 4), "ftyp");
    const test::Mp4Lengths lengths = test::mp4_track_lengths(file);
    ASSERT_TRUE(lengths.ok);
    const double video_s = lengths.video_seconds;
    const double audio_s = lengths.audio_seconds;
    EXPECT_NEAR(video_s, 0.75, 1e-6);
    EXPECT_NEAR(audio_s, video_s, 1.0 / 60.0) << "audio and video differ by more than a frame";
    EXPECT_TRUE(std::search(file.begin(), file.end(), std::begin("avc1"), std::end("avc1") - 1) != file.end());
    EXPECT_TRUE(std::search(file.begin(), file.end(), std::begin("mp4a"), std::end("mp4a") - 1) != file.end());
    // Arithmetic coding (CABAC), which keeps these files small, needs the Main profile (77) or
    // above; the profile is the second byte after the 'avcC' box's name.
    const auto avcc = std::search(file.begin(), file.end(), std::begin("avcC"), std::end("avcC") - 1);
    ASSERT_LT(avcc + 5, file.end());
    EXPECT_GE(avcc[5], 77) << "H.264 profile without CABAC";
    fs::remove_all(dir);
}

// What FFmpeg's decoders make of a file: the codec of each stream, the frames decoded
// and every error or warning they logged.
struct Decoded {
    std::vector<std::string> codecs;
    int video_frames = 0;
    int audio_frames = 0;
    int problems = 0;
};

int s_decode_problems = 0;

extern "C" void count_problems(void* object, int level, const char* format, va_list args) {
    if (level <= AV_LOG_WARNING) {
        ++s_decode_problems;
        static_cast<void>(object);
        std::vfprintf(stderr, format, args);  // said in the test's output
    }
}

Decoded decode_with_ffmpeg(const fs::path& path) {
    Decoded result;
    s_decode_problems = 0;
    av_log_set_callback(count_problems);
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0 ||
        avformat_find_stream_info(format, nullptr) < 0) {
        avformat_close_input(&format);
        av_log_set_callback(av_log_default_callback);
        result.problems = 1 + s_decode_problems;
        return result;
    }
    std::vector<AVCodecContext*> decoders;
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVCodecParameters* par = format->streams[i]->codecpar;
        const AVCodec* codec = avcodec_find_decoder(par->codec_id);
        result.codecs.push_back(avcodec_get_name(par->codec_id));
        AVCodecContext* context = avcodec_alloc_context3(codec);
        avcodec_parameters_to_context(context, par);
        context->pkt_timebase = format->streams[i]->time_base;
        if (avcodec_open2(context, codec, nullptr) < 0) {
            ++result.problems;
        }
        decoders.push_back(context);
    }
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    auto drain = [&](AVCodecContext* context) {
        while (avcodec_receive_frame(context, frame) >= 0) {
            (context->codec_type == AVMEDIA_TYPE_VIDEO ? result.video_frames : result.audio_frames) += 1;
        }
    };
    while (av_read_frame(format, packet) >= 0) {
        AVCodecContext* context = decoders[static_cast<std::size_t>(packet->stream_index)];
        if (avcodec_send_packet(context, packet) < 0) {
            ++result.problems;
        }
        drain(context);
        av_packet_unref(packet);
    }
    for (AVCodecContext* context : decoders) {
        avcodec_send_packet(context, nullptr);
        drain(context);
        avcodec_free_context(&context);
    }
    av_frame_free(&frame);
    av_packet_free(&packet);
    avformat_close_input(&format);
    av_log_set_callback(av_log_default_callback);
    result.problems += s_decode_problems;
    return result;
}

TEST(VideoFile, WebmAndGifAreWrittenByTheirOwnCodecsAndDecodeCleanly) {
    const fs::path dir = scratch_dir("webm_gif");
    struct Case {
        const char* name;
        int width;
        int height;
        std::vector<std::string> codecs;
        int video_frames;  // 0.75 s at 60 fps; a GIF keeps one frame in each 4 cs
    };
    const Case cases[] = {
        {"clip.webm", 640, 400, {"vp9", "opus"}, 45},
        {"clip.GIF", 320, 240, {"gif"}, 19},
    };
    for (const Case& c : cases) {
        const fs::path path = dir / c.name;
        VideoSettings settings;
        settings.width = c.width;
        settings.height = c.height;
        VideoEncoder encoder;
        const Status opened = encoder.open(path.string(), path.string(), settings);
        ASSERT_TRUE(opened.ok) << opened.message;
        std::vector<uint32_t> pixels = test_frame();
        std::vector<int16_t> sound(2 * 735);
        for (int k = 0; k < 45; ++k) {
            std::fill_n(pixels.begin() + k * 320, 320, 0xFFFFFFu);  // something moves
            for (std::size_t i = 0; i < sound.size(); ++i) {
                sound[i] = static_cast<int16_t>(((k * 735 + static_cast<int>(i / 2)) % 100) * 300 - 15000);
            }
            ASSERT_TRUE(encoder.add_frame(pixels.data()).ok);
            ASSERT_TRUE(encoder.add_audio(sound.data(), 735).ok);
        }
        const Status finished = encoder.finish();
        ASSERT_TRUE(finished.ok) << finished.message;
        const Decoded decoded = decode_with_ffmpeg(path);
        EXPECT_EQ(decoded.codecs, c.codecs) << c.name;
        EXPECT_EQ(decoded.video_frames, c.video_frames) << c.name;
        EXPECT_EQ(decoded.problems, 0) << c.name;
        if (c.codecs.size() > 1) {
            // 0.75 s of Opus in 20 ms packets.
            EXPECT_NEAR(decoded.audio_frames, 38, 2) << c.name;
        }
    }
    fs::remove_all(dir);
}

TEST(VideoFile, UnknownContainerAndBadSizeAreRefusedByName) {
    VideoEncoder encoder;
    Status s = encoder.open("/tmp/x.partial", "show.m3u8", VideoSettings{});
    EXPECT_FALSE(s.ok);
    EXPECT_NE(s.message.find("show.m3u8"), std::string::npos);
    EXPECT_FALSE(fs::exists("/tmp/x.partial")) << "nothing is created for a refused name";
    VideoSettings odd;
    odd.width = 1001;
    s = encoder.open("/tmp/y.mp4", "/tmp/y.mp4", odd);
    EXPECT_FALSE(s.ok);
    EXPECT_NE(s.message.find("1001"), std::string::npos);
    s = encoder.open("/nonexistent/dir/z.mp4", "/nonexistent/dir/z.mp4", VideoSettings{});
    EXPECT_FALSE(s.ok);
    EXPECT_NE(s.message.find("/nonexistent/dir/z.mp4"), std::string::npos);
    EXPECT_FALSE(encoder.add_frame(test_frame().data()).ok) << "a failed open leaves nothing to write to";
}

}  // namespace
}  // namespace gf
