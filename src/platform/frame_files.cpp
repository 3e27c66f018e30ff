// PNG (zlib), WAV and CSV files of a frame capture.
#include "platform/frame_files.h"

#include <zlib.h>

#include <cerrno>
#include <cinttypes>
#include <cstring>
#include <fstream>
#include <iterator>

#include "common/bytes.h"

namespace gf {

namespace {

constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr int kPngBitDepth = 8;
constexpr int kPngColourRgb = 2;
constexpr int kPngColourRgba = 6;
constexpr uint32_t kPngMaxSide = 4096;  // far above anything this program writes or reads

enum PngFilter : uint8_t { kFilterNone = 0, kFilterSub = 1, kFilterUp = 2, kFilterAverage = 3, kFilterPaeth = 4 };

constexpr uint16_t kWavFormatPcm = 1;
constexpr uint32_t kWavHeaderBytes = 44;

Status fail(const std::string& name, const std::string& what) { return {false, name + ": " + what}; }

Status fail_errno(const std::string& name, const char* doing) {
    return fail(name, std::string(doing) + ": " + std::strerror(errno));
}

void put_chunk(std::vector<uint8_t>& out, const char type[4], const uint8_t* data, std::size_t size) {
    be::append32(out, static_cast<uint32_t>(size));
    const std::size_t type_at = out.size();
    out.insert(out.end(), type, type + 4);
    if (size > 0) {
        out.insert(out.end(), data, data + size);
    }
    // The CRC covers the type and the data, not the length.
    const uLong crc = crc32(0L, out.data() + type_at, static_cast<uInt>(4 + size));
    be::append32(out, static_cast<uint32_t>(crc));
}

uint8_t paeth(int a, int b, int c) {
    const int p = a + b - c;
    const int pa = p > a ? p - a : a - p;
    const int pb = p > b ? p - b : b - p;
    const int pc = p > c ? p - c : c - p;
    if (pa <= pb && pa <= pc) {
        return static_cast<uint8_t>(a);
    }
    return static_cast<uint8_t>(pb <= pc ? b : c);
}

bool read_whole_file(const std::string& path, std::vector<uint8_t>& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

}  // namespace

std::vector<uint8_t> encode_png(const uint32_t* pixels, int width, int height, int compression_level) {
    // Raw image data: each row is a filter byte (none) and width RGB triples.
    const std::size_t row_bytes = 1 + static_cast<std::size_t>(width) * 3;
    std::vector<uint8_t> raw(row_bytes * static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y) {
        uint8_t* out = raw.data() + row_bytes * static_cast<std::size_t>(y);
        *out++ = kFilterNone;
        const uint32_t* row = pixels + static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
        for (int x = 0; x < width; ++x) {
            const uint32_t p = row[x];
            *out++ = static_cast<uint8_t>(p >> 16);
            *out++ = static_cast<uint8_t>(p >> 8);
            *out++ = static_cast<uint8_t>(p);
        }
    }
    uLongf packed_size = compressBound(static_cast<uLong>(raw.size()));
    std::vector<uint8_t> packed(packed_size);
    // compress2 only fails on a bad level or too small a buffer; compressBound rules out the latter.
    if (compress2(packed.data(), &packed_size, raw.data(), static_cast<uLong>(raw.size()), compression_level) != Z_OK) {
        compress2(packed.data(), &packed_size, raw.data(), static_cast<uLong>(raw.size()), Z_DEFAULT_COMPRESSION);
    }

    std::vector<uint8_t> png(std::begin(kPngSignature), std::end(kPngSignature));
    std::vector<uint8_t> header;
    be::append32(header, static_cast<uint32_t>(width));
    be::append32(header, static_cast<uint32_t>(height));
    header.push_back(kPngBitDepth);
    header.push_back(kPngColourRgb);
    header.push_back(0);  // deflate
    header.push_back(0);  // adaptive filtering
    header.push_back(0);  // no interlace
    put_chunk(png, "IHDR", header.data(), header.size());
    put_chunk(png, "IDAT", packed.data(), packed_size);
    put_chunk(png, "IEND", nullptr, 0);
    return png;
}

Status write_png(const std::string& path, const uint32_t* pixels, int width, int height) {
    const std::vector<uint8_t> png = encode_png(pixels, width, height);
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
    image = PngImage {};
    if (size < sizeof kPngSignature || std::memcmp(data, kPngSignature, sizeof kPngSignature) != 0) {
        return fail(name, "not a PNG file (no PNG signature)");
    }
    std::size_t at = sizeof kPngSignature;
    int width = 0;
    int height = 0;
    int colour = -1;
    bool ended = false;
    std::vector<uint8_t> packed;
    while (!ended) {
        if (size - at < 12) {
            return fail(name, "truncated PNG (chunk header past the end)");
        }
        const uint32_t length = be::load32(data + at);
        const uint8_t* type = data + at + 4;
        if (length > size - at - 12) {
            return fail(name, "truncated PNG (chunk longer than the file)");
        }
        const uint8_t* body = type + 4;
        const uint32_t stored_crc = be::load32(body + length);
        if (crc32(0L, type, 4 + length) != stored_crc) {
            return fail(name, "corrupt PNG (chunk CRC mismatch)");
        }
        if (std::memcmp(type, "IHDR", 4) == 0) {
            if (length != 13) {
                return fail(name, "bad PNG header chunk");
            }
            const uint32_t w = be::load32(body);
            const uint32_t h = be::load32(body + 4);
            if (w == 0 || h == 0 || w > kPngMaxSide || h > kPngMaxSide) {
                return fail(name, "unsupported PNG size " + std::to_string(w) + " x " + std::to_string(h));
            }
            if (body[8] != kPngBitDepth || (body[9] != kPngColourRgb && body[9] != kPngColourRgba) || body[10] != 0 ||
                body[11] != 0 || body[12] != 0) {
                return fail(name, "unsupported PNG (only 8-bit RGB or RGBA without interlace is read)");
            }
            width = static_cast<int>(w);
            height = static_cast<int>(h);
            colour = body[9];
        } else if (std::memcmp(type, "IDAT", 4) == 0) {
            packed.insert(packed.end(), body, body + length);
        } else if (std::memcmp(type, "IEND", 4) == 0) {
            ended = true;
        } else if ((type[0] & 0x20) == 0) {
            return fail(name, "unsupported critical PNG chunk " + std::string(reinterpret_cast<const char*>(type), 4));
        }
        at += 12 + length;
    }
    if (colour < 0) {
        return fail(name, "PNG without a header chunk");
    }
    const std::size_t channels = colour == kPngColourRgba ? 4 : 3;
    const std::size_t stride = static_cast<std::size_t>(width) * channels;
    const std::size_t raw_size = (stride + 1) * static_cast<std::size_t>(height);
    std::vector<uint8_t> raw(raw_size + 1);  // one spare byte to detect surplus data
    uLongf raw_len = static_cast<uLongf>(raw.size());
    const int z = uncompress(raw.data(), &raw_len, packed.data(), static_cast<uLong>(packed.size()));
    if ((z != Z_OK && z != Z_BUF_ERROR) || raw_len != raw_size) {
        return fail(name, "corrupt PNG image data (does not inflate to " + std::to_string(width) + " x " +
                              std::to_string(height) + " pixels)");
    }

    image.width = width;
    image.height = height;
    image.pixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    std::vector<uint8_t> previous(stride, 0);
    std::vector<uint8_t> current(stride);
    for (int y = 0; y < height; ++y) {
        const uint8_t* in = raw.data() + (stride + 1) * static_cast<std::size_t>(y);
        const uint8_t filter = in[0];
        for (std::size_t i = 0; i < stride; ++i) {
            const int a = i >= channels ? current[i - channels] : 0;
            const int b = previous[i];
            const int c = i >= channels ? previous[i - channels] : 0;
            int predicted = 0;
            switch (filter) {
            case kFilterNone: predicted = 0; break;
            case kFilterSub: predicted = a; break;
            case kFilterUp: predicted = b; break;
            case kFilterAverage: predicted = (a + b) / 2; break;
            case kFilterPaeth: predicted = paeth(a, b, c); break;
            default: return fail(name, "corrupt PNG (unknown row filter " + std::to_string(filter) + ")");
            }
            current[i] = static_cast<uint8_t>(in[1 + i] + predicted);
        }
        uint32_t* out = image.pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
        for (int x = 0; x < width; ++x) {
            const uint8_t* p = current.data() + static_cast<std::size_t>(x) * channels;
            out[x] = (static_cast<uint32_t>(p[0]) << 16) | (static_cast<uint32_t>(p[1]) << 8) | p[2];
        }
        previous.swap(current);
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
    std::memcpy(header, "RIFF", 4);  // NOLINT(bugprone-not-null-terminated-result): binary tags
    le::store32(header + 4, 36);     // sizes are written again by finish()
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
        return fail(path_, "not open for writing");
    }
    const std::size_t values = frames * static_cast<std::size_t>(channels_);
    // The RIFF sizes are 32-bit: refuse to grow past what the header can describe.
    if ((frames_ + frames) * static_cast<uint64_t>(channels_) * 2 > 0xFFFFFFFFu - kWavHeaderBytes) {
        return fail(path_, "sound too long for a WAV file");
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
        return fail(path_, "not open for writing");
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
    wav = WavData {};
    std::vector<uint8_t> bytes;
    if (!read_whole_file(path, bytes)) {
        return fail_errno(path, "cannot read");
    }
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 || std::memcmp(bytes.data() + 8, "WAVE", 4) != 0) {
        return fail(path, "not a WAV file (no RIFF/WAVE header)");
    }
    std::size_t at = 12;
    bool have_format = false;
    while (bytes.size() - at >= 8) {
        const uint8_t* id = bytes.data() + at;
        const uint32_t length = le::load32(id + 4);
        if (length > bytes.size() - at - 8) {
            return fail(path, "truncated WAV file (chunk longer than the file)");
        }
        const uint8_t* body = id + 8;
        if (std::memcmp(id, "fmt ", 4) == 0) {
            if (length < 16 || le::load16(body) != kWavFormatPcm || le::load16(body + 14) != 16) {
                return fail(path, "unsupported WAV format (only 16-bit PCM is read)");
            }
            wav.channels = le::load16(body + 2);
            wav.sample_rate = static_cast<int>(le::load32(body + 4));
            have_format = wav.channels > 0;
        } else if (std::memcmp(id, "data", 4) == 0) {
            if (!have_format) {
                return fail(path, "WAV data before its format");
            }
            wav.samples.resize(length / 2);
            for (std::size_t i = 0; i < wav.samples.size(); ++i) {
                wav.samples[i] = static_cast<int16_t>(le::load16(body + 2 * i));
            }
            return {};
        }
        at += 8 + length + (length & 1);
    }
    return fail(path, "WAV file without sound data");
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
        return fail(dir_, "frame folder not open");
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
        return fail(dir_, "frame folder not open");
    }
    const bool closed = std::fclose(csv_) == 0;
    csv_ = nullptr;
    if (!closed) {
        return fail_errno(dir_ + "/frames.csv", "cannot write");
    }
    return sound_ ? wav_.finish() : Status{};
}

}  // namespace gf
