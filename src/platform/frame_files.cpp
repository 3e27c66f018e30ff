// PNG (through libpng), WAV and CSV files of a frame capture.
#include "platform/frame_files.h"

#include <png.h>

#include <cerrno>
#include <cinttypes>
#include <cstring>
#include <fstream>
#include <iterator>
#include <new>
#include <string>

#include "common/bytes.h"

namespace gf {

namespace {

constexpr uint32_t kPngMaxSide = 4096;  // far above anything this program writes or reads
constexpr int kPngBitDepth = 8;

constexpr uint16_t kWavFormatPcm = 1;
constexpr uint32_t kWavHeaderBytes = 44;

Status fail_errno(const std::string& name, const char* doing) {
    return failed_on(name, std::string(doing) + ": " + std::strerror(errno));
}

bool read_whole_file(const std::string& path, std::vector<uint8_t>& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// libpng reports a failure by calling the error function, which must not
// return; ours keeps the message and jumps back to the setjmp of the call
// that started the work. Nothing with a destructor lives in the frames the
// jump leaves: they are libpng's own and the plain callbacks below.
struct PngErrors {
    char message[160] = {};
};

[[noreturn]] void on_png_error(png_structp png, png_const_charp message) {
    auto* errors = static_cast<PngErrors*>(png_get_error_ptr(png));
    std::snprintf(errors->message, sizeof errors->message, "%s", message);
    png_longjmp(png, 1);
}

void on_png_warning(png_structp, png_const_charp) {}  // e.g. a damaged ancillary chunk, which libpng skips

// The memory a PNG is read from.
struct PngSource {
    const uint8_t* data;
    std::size_t size;
    std::size_t at;
};

void read_png_bytes(png_structp png, png_bytep out, png_size_t length) {
    auto* source = static_cast<PngSource*>(png_get_io_ptr(png));
    if (length > source->size - source->at) {
        png_error(png, "the file ends early");
    }
    std::memcpy(out, source->data + source->at, length);
    source->at += length;
}

void write_png_bytes(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    bool grown = true;
    try {
        out->insert(out->end(), data, data + length);
    } catch (const std::bad_alloc&) {
        grown = false;
    }
    if (!grown) {
        png_error(png, "out of memory");
    }
}

void flush_png_bytes(png_structp) {}

// The encoder's work from the header to the end of the file; false when
// libpng reported an error. `row` holds one row of samples.
bool encode_png_rows(png_structp png, png_infop info, const uint32_t* pixels, int width, int height,
                     const PngEncoding& how, uint8_t* row) {
    if (setjmp(png_jmpbuf(png)) != 0) {
        return false;
    }
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), kPngBitDepth,
                 how.alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    // Unfiltered rows: the quickest to write (a capture writes thousands of
    // frames), and the browser test's frame reader expects them.
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    png_set_compression_level(png, how.compression_level);
    png_write_info(png, info);
    for (int y = 0; y < height; ++y) {
        const uint32_t* line = pixels + static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
        uint8_t* out = row;
        for (int x = 0; x < width; ++x) {
            const uint32_t p = line[x];
            *out++ = static_cast<uint8_t>(p >> 16);
            *out++ = static_cast<uint8_t>(p >> 8);
            *out++ = static_cast<uint8_t>(p);
            if (how.alpha) {
                *out++ = static_cast<uint8_t>(p >> 24);
            }
        }
        png_write_row(png, row);
    }
    png_write_end(png, nullptr);
    return true;
}

// The decoder's work from the signature to the end of the file; false when
// libpng reported an error. Whatever the file holds becomes 8-bit RGB (16-bit
// samples keep their high byte, palette and grey are expanded, alpha is
// dropped), its rows in `rgb`. The buffers are the caller's, so a jump back
// here leaves no destructor behind.
bool decode_png_rows(png_structp png, png_infop info, std::vector<uint8_t>& rgb, std::vector<png_bytep>& rows,
                     int& width, int& height) {
    if (setjmp(png_jmpbuf(png)) != 0) {
        return false;
    }
    png_set_user_limits(png, kPngMaxSide, kPngMaxSide);
    png_read_info(png, info);
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_strip_alpha(png);
    png_set_gray_to_rgb(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    width = static_cast<int>(png_get_image_width(png, info));
    height = static_cast<int>(png_get_image_height(png, info));
    const std::size_t stride = static_cast<std::size_t>(width) * 3;
    if (png_get_rowbytes(png, info) != stride) {
        png_error(png, "unexpected row size after conversion to 8-bit RGB");
    }
    rgb.resize(stride * static_cast<std::size_t>(height));
    rows.resize(static_cast<std::size_t>(height));
    for (std::size_t y = 0; y < rows.size(); ++y) {
        rows[y] = rgb.data() + y * stride;
    }
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);  // the chunks after the image are checked too
    return true;
}

}  // namespace

Status encode_png(const uint32_t* pixels, int width, int height, std::vector<uint8_t>& png_bytes,
                  const PngEncoding& how) {
    png_bytes.clear();
    if (pixels == nullptr || width <= 0 || height <= 0 || static_cast<uint32_t>(width) > kPngMaxSide ||
        static_cast<uint32_t>(height) > kPngMaxSide) {
        return {false, "cannot encode a " + std::to_string(width) + " x " + std::to_string(height) + " PNG"};
    }
    PngErrors errors;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &errors, on_png_error, on_png_warning);
    png_infop info = png == nullptr ? nullptr : png_create_info_struct(png);
    std::vector<uint8_t> row(static_cast<std::size_t>(width) * (how.alpha ? 4 : 3));
    bool ok = false;
    if (info != nullptr) {
        png_set_write_fn(png, &png_bytes, write_png_bytes, flush_png_bytes);
        ok = encode_png_rows(png, info, pixels, width, height, how, row.data());
    }
    png_destroy_write_struct(&png, &info);
    if (!ok) {
        png_bytes.clear();
        return {false,
                std::string("PNG encoding failed: ") + (errors.message[0] != '\0' ? errors.message : "out of memory")};
    }
    return {};
}

Status write_png(const std::string& path, const uint32_t* pixels, int width, int height, const PngEncoding& how) {
    std::vector<uint8_t> png;
    const Status encoded = encode_png(pixels, width, height, png, how);
    if (!encoded.ok) {
        return failed_on(path, encoded.message);
    }
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        return fail_errno(path, "cannot create");
    }
    const bool written = std::fwrite(png.data(), 1, png.size(), f) == png.size();
    const bool closed = std::fclose(f) == 0;
    if (!written || !closed) {
        return fail_errno(path, "cannot write");
    }
    return {};
}

Status decode_png(const uint8_t* data, std::size_t size, const std::string& name, PngImage& image) {
    image = PngImage{};
    if (size < 8 || png_sig_cmp(data, 0, 8) != 0) {
        return failed_on(name, "not a PNG file (no PNG signature)");
    }
    PngErrors errors;
    PngSource source{data, size, 0};
    std::vector<uint8_t> rgb;
    std::vector<png_bytep> rows;
    int width = 0;
    int height = 0;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &errors, on_png_error, on_png_warning);
    png_infop info = png == nullptr ? nullptr : png_create_info_struct(png);
    bool ok = false;
    if (info != nullptr) {
        png_set_read_fn(png, &source, read_png_bytes);
        ok = decode_png_rows(png, info, rgb, rows, width, height);
    }
    png_destroy_read_struct(&png, &info, nullptr);
    if (!ok) {
        return failed_on(name, std::string("cannot read the PNG: ") +
                                   (errors.message[0] != '\0' ? errors.message : "out of memory"));
    }
    image.width = width;
    image.height = height;
    image.pixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (std::size_t i = 0; i < image.pixels.size(); ++i) {
        const uint8_t* p = rgb.data() + 3 * i;
        image.pixels[i] = (static_cast<uint32_t>(p[0]) << 16) | (static_cast<uint32_t>(p[1]) << 8) | p[2];
    }
    return {};
}

Status read_png(const std::string& path, PngImage& image) {
    std::vector<uint8_t> bytes;
    if (!read_whole_file(path, bytes)) {
        return fail_errno(path, "cannot read");
    }
    return decode_png(bytes.data(), bytes.size(), path, image);
}

WavWriter::~WavWriter() {
    if (file_ != nullptr) {
        std::fclose(file_);
    }
}

Status WavWriter::open(const std::string& path, int sample_rate, int channels) {
    if (file_ != nullptr) {
        std::fclose(file_);
    }
    path_ = path;
    channels_ = channels;
    frames_ = 0;
    file_ = std::fopen(path.c_str(), "wb");
    if (file_ == nullptr) {
        return fail_errno(path, "cannot create");
    }
    uint8_t header[kWavHeaderBytes] = {};
    std::memcpy(header, "RIFF", 4);          // NOLINT(bugprone-not-null-terminated-result): binary tags
    le::store32(header + 4, 36);             // sizes are written again by finish()
    std::memcpy(header + 8, "WAVEfmt ", 8);  // NOLINT(bugprone-not-null-terminated-result)
    le::store32(header + 16, 16);
    le::store16(header + 20, kWavFormatPcm);
    le::store16(header + 22, static_cast<uint16_t>(channels));
    le::store32(header + 24, static_cast<uint32_t>(sample_rate));
    le::store32(header + 28, static_cast<uint32_t>(sample_rate * channels * 2));
    le::store16(header + 32, static_cast<uint16_t>(channels * 2));
    le::store16(header + 34, 16);
    std::memcpy(header + 36, "data", 4);  // NOLINT(bugprone-not-null-terminated-result)
    le::store32(header + 40, 0);
    if (std::fwrite(header, 1, sizeof header, file_) != sizeof header) {
        return fail_errno(path, "cannot write");
    }
    return {};
}

Status WavWriter::append(const int16_t* samples, std::size_t frames) {
    if (file_ == nullptr) {
        return failed_on(path_, "not open for writing");
    }
    const std::size_t values = frames * static_cast<std::size_t>(channels_);
    // The RIFF sizes are 32-bit: refuse to grow past what the header can describe.
    if ((frames_ + frames) * static_cast<uint64_t>(channels_) * 2 > 0xFFFFFFFFu - kWavHeaderBytes) {
        return failed_on(path_, "sound too long for a WAV file");
    }
    uint8_t buffer[4096];
    std::size_t done = 0;
    while (done < values) {
        const std::size_t n = std::min(values - done, sizeof buffer / 2);
        for (std::size_t i = 0; i < n; ++i) {
            le::store16(buffer + 2 * i, static_cast<uint16_t>(samples[done + i]));
        }
        if (std::fwrite(buffer, 2, n, file_) != n) {
            return fail_errno(path_, "cannot write");
        }
        done += n;
    }
    frames_ += frames;
    return {};
}

Status WavWriter::finish() {
    if (file_ == nullptr) {
        return failed_on(path_, "not open for writing");
    }
    const uint32_t data_bytes = static_cast<uint32_t>(frames_ * static_cast<uint64_t>(channels_) * 2);
    uint8_t size_field[4];
    bool ok = true;
    le::store32(size_field, data_bytes + 36);
    ok = ok && std::fseek(file_, 4, SEEK_SET) == 0 && std::fwrite(size_field, 1, 4, file_) == 4;
    le::store32(size_field, data_bytes);
    ok = ok && std::fseek(file_, 40, SEEK_SET) == 0 && std::fwrite(size_field, 1, 4, file_) == 4;
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (!ok || !closed) {
        return fail_errno(path_, "cannot write");
    }
    return {};
}

Status read_wav(const std::string& path, WavData& wav) {
    wav = WavData{};
    std::vector<uint8_t> bytes;
    if (!read_whole_file(path, bytes)) {
        return fail_errno(path, "cannot read");
    }
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 ||
        std::memcmp(bytes.data() + 8, "WAVE", 4) != 0) {
        return failed_on(path, "not a WAV file (no RIFF/WAVE header)");
    }
    std::size_t at = 12;
    bool have_format = false;
    while (bytes.size() - at >= 8) {
        const uint8_t* id = bytes.data() + at;
        const uint32_t length = le::load32(id + 4);
        if (length > bytes.size() - at - 8) {
            return failed_on(path, "truncated WAV file (chunk longer than the file)");
        }
        const uint8_t* body = id + 8;
        if (std::memcmp(id, "fmt ", 4) == 0) {
            if (length < 16 || le::load16(body) != kWavFormatPcm || le::load16(body + 14) != 16) {
                return failed_on(path, "unsupported WAV format (only 16-bit PCM is read)");
            }
            wav.channels = le::load16(body + 2);
            wav.sample_rate = static_cast<int>(le::load32(body + 4));
            have_format = wav.channels > 0;
        } else if (std::memcmp(id, "data", 4) == 0) {
            if (!have_format) {
                return failed_on(path, "WAV data before its format");
            }
            wav.samples.resize(length / 2);
            for (std::size_t i = 0; i < wav.samples.size(); ++i) {
                wav.samples[i] = static_cast<int16_t>(le::load16(body + 2 * i));
            }
            return {};
        }
        at += 8 + length + (length & 1);
    }
    return failed_on(path, "WAV file without sound data");
}

FrameFolderWriter::~FrameFolderWriter() {
    if (csv_ != nullptr) {
        std::fclose(csv_);
    }
}

std::string FrameFolderWriter::frame_name(uint64_t index) {
    char name[40];
    std::snprintf(name, sizeof name, "frame_%06" PRIu64 ".png", index);
    return name;
}

Status FrameFolderWriter::open(const std::string& dir, int sample_rate, bool sound) {
    dir_ = dir;
    sound_ = sound;
    const std::string csv_path = dir + "/frames.csv";
    csv_ = std::fopen(csv_path.c_str(), "w");
    if (csv_ == nullptr) {
        return fail_errno(csv_path, "cannot create");
    }
    if (std::fputs("frame,ms,order,row\n", csv_) < 0) {
        return fail_errno(csv_path, "cannot write");
    }
    return sound ? wav_.open(dir + "/audio.wav", sample_rate, 2) : Status{};
}

Status FrameFolderWriter::add_frame(uint64_t index, uint64_t ms, uint32_t order, uint32_t row, const uint32_t* pixels) {
    if (csv_ == nullptr) {
        return failed_on(dir_, "frame folder not open");
    }
    Status status = write_png(dir_ + "/" + frame_name(index), pixels, 320, 200);
    if (!status.ok) {
        return status;
    }
    if (std::fprintf(csv_, "%" PRIu64 ",%" PRIu64 ",%u,%u\n", index, ms, order, row) < 0) {
        return fail_errno(dir_ + "/frames.csv", "cannot write");
    }
    return {};
}

Status FrameFolderWriter::add_audio(const int16_t* samples, std::size_t frames) {
    return sound_ ? wav_.append(samples, frames) : Status{};
}

Status FrameFolderWriter::finish() {
    if (csv_ == nullptr) {
        return failed_on(dir_, "frame folder not open");
    }
    const bool closed = std::fclose(csv_) == 0;
    csv_ = nullptr;
    if (!closed) {
        return fail_errno(dir_ + "/frames.csv", "cannot write");
    }
    return sound_ ? wav_.finish() : Status{};
}

}  // namespace gf
