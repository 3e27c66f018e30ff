// The JPEG loader: pixel format and row order on tiny pictures encoded here,
// clean failures on broken input, the start-up size check, and real files
// written by other encoders.
#include "platform/image_loader.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "writers/jpeg_writer.h"

namespace gf {
namespace {

namespace fs = std::filesystem;
using jpegw::ChromaMode;
using jpegw::ColourMode;
using jpegw::EntropyCoding;
using jpegw::JpegOptions;
using jpegw::ScanMode;

constexpr int kTolerance = 4;  // per channel, for flat areas at quality 100

std::vector<uint8_t> encode(const std::vector<uint32_t>& pixels, int width, int height, JpegOptions options = {}) {
    options.quality = 100;
    std::vector<uint8_t> bytes;
    const Status result = jpegw::encode_jpeg(pixels.data(), width, height, options, bytes);
    EXPECT_TRUE(result.ok) << result.message;
    return bytes;
}

int channel(uint32_t pixel, int shift) { return static_cast<int>((pixel >> shift) & 0xFF); }

// True when every colour channel is within kTolerance and the top byte is 0.
::testing::AssertionResult near_colour(uint32_t actual, uint32_t expected) {
    if ((actual >> 24) != 0) {
        return ::testing::AssertionFailure() << std::hex << "top byte set in 0x" << actual;
    }
    for (int shift : {16, 8, 0}) {
        if (std::abs(channel(actual, shift) - channel(expected, shift)) > kTolerance) {
            return ::testing::AssertionFailure() << std::hex << "0x" << actual << " is not near 0x" << expected;
        }
    }
    return ::testing::AssertionSuccess();
}

struct LoadedImage {
    Image image;
    ~LoadedImage() { release_image(image); }
};

class TempDir {
public:
    TempDir() {
        path_ = fs::temp_directory_path() / ("gf_image_loader_" + std::to_string(::getpid()));
        fs::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    std::string write(const std::string& name, const std::vector<uint8_t>& bytes) const {
        const std::string file = (path_ / name).string();
        std::ofstream out(file, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return file;
    }

private:
    fs::path path_;
};

TEST(ImageLoader, SolidColourBecomesRedGreenBlueWord) {
    // Red 0x12, green 0x34, blue 0x56 must come back as 0x00123456, for every
    // scan and colour mode the writer offers.
    const int width = 16, height = 16;
    const std::vector<uint32_t> pixels(width * height, 0x123456u);
    for (ScanMode scan : {ScanMode::baseline, ScanMode::progressive}) {
        for (ChromaMode chroma : {ChromaMode::full, ChromaMode::half}) {
            JpegOptions options;
            options.scan = scan;
            options.chroma = chroma;
            const std::vector<uint8_t> bytes = encode(pixels, width, height, options);
            LoadedImage loaded;
            const Status status = load_jpeg_from_memory(loaded.image, bytes.data(), bytes.size(), "solid.jpg");
            ASSERT_TRUE(status.ok) << status.message;
            ASSERT_EQ(loaded.image.width, width);
            ASSERT_EQ(loaded.image.height, height);
            for (int i = 0; i < width * height; ++i) {
                ASSERT_TRUE(near_colour(loaded.image.pixels[i], 0x123456u)) << "pixel " << i;
            }
        }
    }
}

TEST(ImageLoader, GreyscaleExpandsToEqualChannels) {
    const int width = 8, height = 8;
    const std::vector<uint32_t> pixels(width * height, 0x808080u);
    JpegOptions options;
    options.colour = ColourMode::greyscale;
    const std::vector<uint8_t> bytes = encode(pixels, width, height, options);
    LoadedImage loaded;
    ASSERT_TRUE(load_jpeg_from_memory(loaded.image, bytes.data(), bytes.size(), "grey.jpg").ok);
    for (int i = 0; i < width * height; ++i) {
        const uint32_t p = loaded.image.pixels[i];
        EXPECT_EQ(channel(p, 16), channel(p, 8));
        EXPECT_EQ(channel(p, 8), channel(p, 0));
        EXPECT_TRUE(near_colour(p, 0x808080u));
    }
}

TEST(ImageLoader, RowsAndColumnsKeepTheirOrder) {
    // 40 × 24, not square and not a multiple of 16 rows: top half red, bottom
    // half blue, and the rightmost 16 columns of the top half green. A swapped
    // row order, transposition or padded rows all move these regions.
    const int width = 40, height = 24;
    std::vector<uint32_t> pixels(width * height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint32_t colour = y < height / 2 ? 0xFF0000u : 0x0000FFu;
            if (y < height / 2 && x >= 24) colour = 0x00FF00u;
            pixels[y * width + x] = colour;
        }
    }
    for (ScanMode scan : {ScanMode::baseline, ScanMode::progressive}) {
        JpegOptions options;
        options.scan = scan;
        const std::vector<uint8_t> bytes = encode(pixels, width, height, options);
        LoadedImage loaded;
        ASSERT_TRUE(load_jpeg_from_memory(loaded.image, bytes.data(), bytes.size(), "halves.jpg").ok);
        ASSERT_EQ(loaded.image.width, width);
        ASSERT_EQ(loaded.image.height, height);
        // Stay two pixels clear of the edges, where the DCT rings.
        EXPECT_TRUE(near_colour(loaded.image.pixels[2 * width + 2], 0xFF0000u));
        EXPECT_TRUE(near_colour(loaded.image.pixels[9 * width + 20], 0xFF0000u));
        EXPECT_TRUE(near_colour(loaded.image.pixels[2 * width + 30], 0x00FF00u));
        EXPECT_TRUE(near_colour(loaded.image.pixels[9 * width + 38], 0x00FF00u));
        EXPECT_TRUE(near_colour(loaded.image.pixels[14 * width + 2], 0x0000FFu));
        EXPECT_TRUE(near_colour(loaded.image.pixels[23 * width + 39], 0x0000FFu));
        EXPECT_TRUE(near_colour(loaded.image.pixels[14 * width + 30], 0x0000FFu));
    }
}

TEST(ImageLoader, OddSizeGivesExactPixelCount) {
    const int width = 13, height = 7;
    const std::vector<uint32_t> pixels(width * height, 0x20C040u);
    const std::vector<uint8_t> bytes = encode(pixels, width, height);
    LoadedImage loaded;
    ASSERT_TRUE(load_jpeg_from_memory(loaded.image, bytes.data(), bytes.size(), "odd.jpg").ok);
    EXPECT_EQ(loaded.image.width, 13);
    EXPECT_EQ(loaded.image.height, 7);
    EXPECT_TRUE(near_colour(loaded.image.pixels[width * height - 1], 0x20C040u));
}

TEST(ImageLoader, LoadsFromFileAndReleases) {
    TempDir dir;
    const std::vector<uint32_t> pixels(24 * 10, 0xC0FFEEu);
    const std::string path = dir.write("file.jpg", encode(pixels, 24, 10));
    Image image;
    const Status status = load_jpeg(image, path);
    ASSERT_TRUE(status.ok) << status.message;
    EXPECT_EQ(image.width, 24);
    EXPECT_EQ(image.height, 10);
    EXPECT_TRUE(near_colour(image.pixels[5 * 24 + 12], 0xC0FFEEu));
    release_image(image);
    EXPECT_EQ(image.pixels, nullptr);
    EXPECT_EQ(image.width, 0);
}

// Each bad input must fail with a message that names the file and says what
// is wrong, and leave the Image empty.
void expect_refused(const std::vector<uint8_t>& bytes, const std::string& name, const std::string& problem) {
    Image image;
    const Status status = load_jpeg_from_memory(image, bytes.data(), bytes.size(), name);
    EXPECT_FALSE(status.ok);
    EXPECT_EQ(status.message.rfind(name + ": ", 0), 0u) << status.message;
    EXPECT_NE(status.message.find(problem), std::string::npos) << status.message;
    EXPECT_EQ(image.pixels, nullptr);
    EXPECT_EQ(image.width, 0);
    EXPECT_EQ(image.height, 0);
    release_image(image);
}

TEST(ImageLoader, RefusesBrokenInput) {
    const std::vector<uint32_t> pixels(64 * 64, 0x336699u);
    const std::vector<uint8_t> good = encode(pixels, 64, 64);

    expect_refused({}, "empty.jpg", "empty file");
    const std::string gif = "GIF89a\x01\x00\x01\x00";
    expect_refused(std::vector<uint8_t>(gif.begin(), gif.end()), "presents.jpg", "not a JPEG file");
    expect_refused({0xFF}, "one.jpg", "not a JPEG file");

    // Cut inside the entropy-coded data: libjpeg would pad with grey and only warn.
    expect_refused(std::vector<uint8_t>(good.begin(), good.begin() + good.size() / 2), "half.jpg", "truncated");
    // Cut inside the headers, before any picture data.
    expect_refused(std::vector<uint8_t>(good.begin(), good.begin() + 40), "header.jpg", "truncated");
    // Only the end-of-image marker missing is still a cut file.
    expect_refused(std::vector<uint8_t>(good.begin(), good.end() - 2), "noeoi.jpg", "truncated");
    // Full length, with the picture data damaged: said as damaged, not as cut short.
    std::vector<uint8_t> damaged = good;
    const uint8_t start_of_scan[] = {0xFF, 0xDA};
    const auto scan = std::search(damaged.begin(), damaged.end(), std::begin(start_of_scan), std::end(start_of_scan));
    ASSERT_NE(scan, damaged.end());
    const auto data = scan + 2 + (scan[2] << 8 | scan[3]);
    data[0] = 0xFF;  // an end-of-image marker where the picture data begins; the file goes on
    data[1] = 0xD9;
    expect_refused(damaged, "damaged.jpg", "corrupt JPEG data: a scan's picture data is damaged");

    // A start marker followed by garbage is corrupt, not a crash.
    std::vector<uint8_t> garbage = {0xFF, 0xD8};
    for (int i = 0; i < 200; ++i) garbage.push_back(static_cast<uint8_t>(i * 37));
    Image image;
    const Status status = load_jpeg_from_memory(image, garbage.data(), garbage.size(), "garbage.jpg");
    EXPECT_FALSE(status.ok);
    EXPECT_EQ(status.message.rfind("garbage.jpg: ", 0), 0u) << status.message;
    EXPECT_EQ(image.pixels, nullptr);
}

// Where the baseline frame header (SOF0: FF C0, length, precision, height, width) starts; 0 if none.
std::size_t frame_header_at(const std::vector<uint8_t>& bytes) {
    for (std::size_t i = 2; i + 8 < bytes.size(); ++i) {
        if (bytes[i] == 0xFF && bytes[i + 1] == 0xC0) {
            return i;
        }
    }
    return 0;
}

TEST(ImageLoader, RefusesAbsurdDimensionsBeforeAllocating) {
    const std::vector<uint32_t> pixels(8 * 8, 0x101010u);
    std::vector<uint8_t> bytes = encode(pixels, 8, 8);
    // Rewrite the frame header to 60000 × 60000.
    const std::size_t sof = frame_header_at(bytes);
    ASSERT_NE(sof, 0u);
    for (std::size_t offset : {sof + 5, sof + 7}) {
        bytes[offset] = 60000 >> 8;
        bytes[offset + 1] = 60000 & 0xFF;
    }
    expect_refused(bytes, "huge.jpg", "too large");
}

// Arithmetic coding loads; CMYK and samples of more than 8 bits are refused with a reason.
TEST(ImageLoader, ArithmeticCodingLoadsCmykAndTwelveBitAreRefused) {
    const std::vector<uint32_t> pixels(16 * 16, 0x336699u);
    const std::vector<uint8_t> arithmetic = encode(pixels, 16, 16, {.coding = EntropyCoding::arithmetic});
    LoadedImage loaded;
    const Status status = load_jpeg_from_memory(loaded.image, arithmetic.data(), arithmetic.size(), "arith.jpg");
    ASSERT_TRUE(status.ok) << status.message;
    ASSERT_EQ(loaded.image.width, 16);
    EXPECT_TRUE(near_colour(loaded.image.pixels[0], 0x336699u));
    EXPECT_TRUE(near_colour(loaded.image.pixels[16 * 16 - 1], 0x336699u));

    expect_refused(encode(pixels, 16, 16, {.colour = ColourMode::cmyk}), "cmyk.jpg", "CMYK");
    std::vector<uint8_t> deep = encode(pixels, 16, 16);
    const std::size_t sof = frame_header_at(deep);
    ASSERT_NE(sof, 0u);
    deep[sof + 4] = 12;  // the sample precision
    expect_refused(deep, "deep.jpg", "12-bit JPEG samples are not supported; only 8-bit");
}

// A progressive greyscale JPEG built by hand: its Huffman tables give the symbol 0
// (a DC difference of 0, or an end of block) the one-bit code '0', so a scan of an
// 8 × 8 picture is the single byte 0x7F; a scan with no data ends at the next marker.
struct Scan {
    uint8_t ss, se, ah, al;
    std::vector<uint8_t> data;
};
void put(std::vector<uint8_t>& bytes, std::initializer_list<int> values) {
    for (const int v : values) bytes.push_back(static_cast<uint8_t>(v));
}
std::vector<uint8_t> progressive_jpeg(int width, int height, const std::vector<Scan>& scans) {
    std::vector<uint8_t> b;
    put(b, {0xFF, 0xD8, 0xFF, 0xDB, 0x00, 67, 0x00});
    b.resize(b.size() + 64, 1);
    put(b, {0xFF, 0xC4, 0x00, 38});
    for (const int table : {0x00, 0x10}) {
        put(b, {table, 1});
        b.resize(b.size() + 15, 0);
        put(b, {0x00});
    }
    put(b, {0xFF, 0xC2, 0x00, 11, 8, height >> 8, height & 0xFF, width >> 8, width & 0xFF, 1, 1, 0x11, 0});
    for (const Scan& scan : scans) {
        put(b, {0xFF, 0xDA, 0x00, 8, 1, 1, 0x00, scan.ss, scan.se, scan.ah << 4 | scan.al});
        b.insert(b.end(), scan.data.begin(), scan.data.end());
    }
    put(b, {0xFF, 0xD9});
    return b;
}

TEST(ImageLoader, HostileProgressiveFilesAreRefusedBeforeTheyCostAFullDecode) {
    // The DC scan, then one scan for each of the 63 AC coefficients: 64 scans, all valid.
    std::vector<Scan> valid = {{0, 0, 0, 1, {0x7F}}};
    for (uint8_t k = 1; k < 64; ++k) valid.push_back({k, k, 0, 0, {0x7F}});
    LoadedImage decoded;
    const std::vector<uint8_t> most = progressive_jpeg(8, 8, valid);
    ASSERT_TRUE(load_jpeg_from_memory(decoded.image, most.data(), most.size(), "most.jpg").ok);
    // One more, refining the DC coefficient, is a valid file with too many scans.
    valid.push_back({0, 0, 1, 0, {0x7F}});
    const std::vector<Scan> empty(20000, Scan{0, 0, 0, 0, {}});
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        PictureNeed need;
        const char* problem;
    };
    for (const Case& c : {Case{"scans.jpg", progressive_jpeg(8, 8, valid), {}, "more than 64 scans"},
                          Case{"empty.jpg", progressive_jpeg(1024, 1024, empty), {}, "scan's picture data is damaged"},
                          Case{"big.jpg", progressive_jpeg(5792, 5792, empty), {}, "too large"},
                          Case{"need.jpg",
                               progressive_jpeg(1024, 1024, empty),
                               {320, 200},
                               "is 1024 × 1024; the show needs 320 wide and at least 200 rows"}}) {
        Image image;
        const Status status = load_jpeg_from_memory(image, c.bytes.data(), c.bytes.size(), c.name, c.need);
        EXPECT_FALSE(status.ok) << c.name;
        EXPECT_NE(status.message.find(c.problem), std::string::npos) << status.message;
        EXPECT_EQ(image.pixels, nullptr) << c.name;
    }
}

TEST(ImageLoader, MissingFileAndOccupiedImage) {
    Image image;
    Status status = load_jpeg(image, "/nonexistent/dir/kerst.jpg");
    EXPECT_FALSE(status.ok);
    EXPECT_EQ(status.message.rfind("/nonexistent/dir/kerst.jpg: cannot open", 0), 0u) << status.message;

    // Loading over a picture would leak it; the loader refuses and keeps the old one.
    const std::vector<uint32_t> pixels(8 * 8, 0x445566u);
    const std::vector<uint8_t> bytes = encode(pixels, 8, 8);
    ASSERT_TRUE(load_jpeg_from_memory(image, bytes.data(), bytes.size(), "first.jpg").ok);
    uint32_t* first = image.pixels;
    status = load_jpeg_from_memory(image, bytes.data(), bytes.size(), "second.jpg");
    EXPECT_FALSE(status.ok);
    EXPECT_EQ(status.message.rfind("second.jpg: ", 0), 0u);
    EXPECT_EQ(image.pixels, first);
    EXPECT_EQ(image.width, 8);
    release_image(image);
}

TEST(PictureSizeCheck, AcceptsExactWidthAndEnoughRows) {
    std::vector<uint32_t> storage(320 * 600);
    Image image{storage.data(), 320, 480};
    EXPECT_TRUE(check_picture_size(image, "goodboy.jpg", 320, 480).ok);
    image.height = 600;
    EXPECT_TRUE(check_picture_size(image, "goodboy.jpg", 320, 480).ok);
    image = {storage.data(), 256, 256};
    EXPECT_TRUE(check_picture_size(image, "muur.jpg", 256, 256).ok);
}

TEST(PictureSizeCheck, NamesFileSizeAndNeed) {
    std::vector<uint32_t> storage(321 * 480);
    Image image{storage.data(), 320, 300};
    Status status = check_picture_size(image, "goodboy.jpg", 320, 480);
    EXPECT_FALSE(status.ok);
    EXPECT_EQ(status.message, "goodboy.jpg is 320 × 300; the show needs 320 wide and at least 480 rows");

    // Too wide is as wrong as too narrow: rows are read 320 pixels apart.
    image = {storage.data(), 321, 200};
    status = check_picture_size(image, "kerst.jpg", 320, 200);
    EXPECT_FALSE(status.ok);
    EXPECT_EQ(status.message, "kerst.jpg is 321 × 200; the show needs 320 wide and at least 200 rows");

    image = {storage.data(), 256, 255};
    EXPECT_FALSE(check_picture_size(image, "glimzz.jpg", 256, 256).ok);

    const Image empty;
    status = check_picture_size(empty, "boem.jpg", 320, 200);
    EXPECT_FALSE(status.ok);
    EXPECT_EQ(status.message.rfind("boem.jpg", 0), 0u);
}

// Files from other encoders, when the shared test data is present (the cases
// they stand for are also checked above on files written here).
class RealJpegFiles : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::path(GF_TESTDATA_DIR) / "jpeg";
        if (!fs::is_directory(dir_)) GTEST_SKIP() << dir_ << " not found";
    }
    std::string path(const char* name) const { return (dir_ / name).string(); }
    fs::path dir_;
};

double mean_abs_difference(const Image& a, const Image& b) {
    double sum = 0.0;
    const int count = a.width * a.height;
    for (int i = 0; i < count; ++i) {
        for (int shift : {16, 8, 0}) sum += std::abs(channel(a.pixels[i], shift) - channel(b.pixels[i], shift));
    }
    return sum / (3.0 * count);
}

TEST_F(RealJpegFiles, BaselineProgressiveAndArithmeticAgree) {
    LoadedImage baseline, progressive, arithmetic;
    Status status = load_jpeg(baseline.image, path("testorig.jpg"));
    ASSERT_TRUE(status.ok) << status.message;
    EXPECT_EQ(baseline.image.width, 227);
    EXPECT_EQ(baseline.image.height, 149);
    status = load_jpeg(progressive.image, path("testimgp.jpg"));
    ASSERT_TRUE(status.ok) << status.message;
    status = load_jpeg(arithmetic.image, path("testimgari.jpg"));
    ASSERT_TRUE(status.ok) << status.message;
    for (const LoadedImage* other : {&progressive, &arithmetic}) {
        ASSERT_EQ(other->image.width, 227);
        ASSERT_EQ(other->image.height, 149);
        // The same photograph encoded three ways.
        EXPECT_LT(mean_abs_difference(baseline.image, other->image), 3.0);
    }
    bool any_colour = false;
    for (int i = 0; i < 227 * 149; ++i) {
        const uint32_t p = baseline.image.pixels[i];
        ASSERT_EQ(p >> 24, 0u);
        any_colour = any_colour || channel(p, 16) != channel(p, 0);
    }
    EXPECT_TRUE(any_colour);
}

TEST_F(RealJpegFiles, GreyscaleDecodes) {
    LoadedImage grey;
    const Status status = load_jpeg(grey.image, path("hopper_gray.jpg"));
    ASSERT_TRUE(status.ok) << status.message;
    EXPECT_EQ(grey.image.width, 128);
    EXPECT_EQ(grey.image.height, 128);
    int distinct_levels = 0;
    std::vector<bool> seen(256, false);
    for (int i = 0; i < 128 * 128; ++i) {
        const uint32_t p = grey.image.pixels[i];
        ASSERT_EQ(channel(p, 16), channel(p, 0));
        ASSERT_EQ(channel(p, 8), channel(p, 0));
        if (!seen[channel(p, 0)]) ++distinct_levels;
        seen[channel(p, 0)] = true;
    }
    EXPECT_GT(distinct_levels, 50);
}

TEST_F(RealJpegFiles, RefusesCmykAndTwelveBit) {
    Image image;
    Status status = load_jpeg(image, path("pil_sample_cmyk.jpg"));
    EXPECT_FALSE(status.ok);
    EXPECT_NE(status.message.find("pil_sample_cmyk.jpg: "), std::string::npos) << status.message;
    EXPECT_NE(status.message.find("CMYK"), std::string::npos) << status.message;
    EXPECT_EQ(image.pixels, nullptr);

    status = load_jpeg(image, path("monkey12.jpg"));
    EXPECT_FALSE(status.ok);
    EXPECT_NE(status.message.find("monkey12.jpg: "), std::string::npos) << status.message;
    EXPECT_NE(status.message.find("8-bit"), std::string::npos) << status.message;
    EXPECT_EQ(image.pixels, nullptr);

    // The RGB twin of the CMYK sample loads.
    LoadedImage rgb;
    status = load_jpeg(rgb.image, path("pil_sample_rgb.jpg"));
    ASSERT_TRUE(status.ok) << status.message;
    EXPECT_EQ(rgb.image.width, 100);
    EXPECT_EQ(rgb.image.height, 100);
}

}  // namespace
}  // namespace gf
