// JPEG pictures decoded with libjpeg-turbo into 0x00RRGGBB pixels. libjpeg
// reports fatal errors through error_exit, which by default ends the process;
// ours jumps back to the decoder so every failure becomes a message.
#include "platform/image_loader.h"

#include <jerror.h>
#include <jpeglib.h>

#include <cerrno>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <new>
#include <string>
#include <vector>

namespace gf {
namespace {

// The show's pictures are at most 320 × 480 and about 70 KB. These bounds leave
// ample room for larger ones and keep the work any file can ask for small: a
// hostile header cannot ask for gigabytes, and a progressive file cannot make
// the decoder pass over a large image thousands of times.
constexpr long long kMaxImagePixels = 1LL << 21;      // 2 M pixels, 8 MB decoded
constexpr std::uintmax_t kMaxFileBytes = 8ULL << 20;  // 8 MB
constexpr int kMaxScans = 64;                         // an ordinary progressive file has about 10

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    int error_code;
    bool truncated;  // libjpeg saw the data end early
    bool scan_cut;   // a marker came where a scan's picture data should be
    bool too_many_scans;
    char message[JMSG_LENGTH_MAX];
};

void on_error_exit(j_common_ptr cinfo) {
    auto* errors = reinterpret_cast<ErrorManager*>(cinfo->err);
    errors->error_code = cinfo->err->msg_code;
    (*cinfo->err->format_message)(cinfo, errors->message);
    std::longjmp(errors->jump, 1);
}

// Warnings arrive with level -1. libjpeg goes on after a premature end or corrupt
// data (padding with grey, skipping to the next marker), so a damaged or hostile
// file would still be decoded in full; the first such warning stops the decoder.
// Other warnings (an unknown JFIF version, say) are harmless and ignored.
void on_emit_message(j_common_ptr cinfo, int level) {
    if (level >= 0) {
        return;
    }
    auto* errors = reinterpret_cast<ErrorManager*>(cinfo->err);
    switch (cinfo->err->msg_code) {
        case JWRN_JPEG_EOF:
            errors->truncated = true;
            break;
        case JWRN_HIT_MARKER:
            // The file goes on: its picture data is damaged, not cut short.
            errors->scan_cut = true;
            break;
        case JWRN_EXTRANEOUS_DATA:
        case JWRN_HUFF_BAD_CODE:
        case JWRN_BOGUS_PROGRESSION:
        case JWRN_MUST_RESYNC:
        case JWRN_NOT_SEQUENTIAL:
            break;
        default:
            return;
    }
    errors->error_code = cinfo->err->msg_code;
    (*cinfo->err->format_message)(cinfo, errors->message);
    std::longjmp(errors->jump, 1);
}

// Called by libjpeg as it reads each part of the file; a progressive file with more
// scans than any encoder writes is stopped before it costs a pass over the image each.
void on_progress(j_common_ptr cinfo) {
    auto* dinfo = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (dinfo->input_scan_number > kMaxScans) {
        reinterpret_cast<ErrorManager*>(cinfo->err)->too_many_scans = true;
        std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
    }
}

enum class DecodeOutcome { ok, library_error, too_large, wrong_size, cmyk, precision, components, out_of_memory };

// All decoder state lives here rather than in decode_into's frame, so the
// long jump out of libjpeg skips no destructor and the caller can clean up.
struct DecodeContext {
    jpeg_decompress_struct cinfo;
    ErrorManager errors;
    jpeg_progress_mgr progress;
    PictureNeed need;
    uint32_t* pixels;
    unsigned char* row;
    int width;
    int height;
    int precision;
    int components;
};

DecodeOutcome decode_into(DecodeContext& ctx, const unsigned char* data, std::size_t size) {
    ctx.cinfo.err = jpeg_std_error(&ctx.errors.pub);
    ctx.errors.pub.error_exit = on_error_exit;
    ctx.errors.pub.emit_message = on_emit_message;
    if (setjmp(ctx.errors.jump)) {
        return DecodeOutcome::library_error;
    }
    jpeg_create_decompress(&ctx.cinfo);
    ctx.progress.progress_monitor = on_progress;
    ctx.cinfo.progress = &ctx.progress;
    jpeg_mem_src(&ctx.cinfo, data, static_cast<unsigned long>(size));
    jpeg_read_header(&ctx.cinfo, TRUE);
    ctx.width = static_cast<int>(ctx.cinfo.image_width);
    ctx.height = static_cast<int>(ctx.cinfo.image_height);
    ctx.precision = ctx.cinfo.data_precision;
    ctx.components = ctx.cinfo.num_components;
    if (ctx.cinfo.data_precision != 8) {
        return DecodeOutcome::precision;
    }
    if (ctx.cinfo.jpeg_color_space == JCS_CMYK || ctx.cinfo.jpeg_color_space == JCS_YCCK) {
        return DecodeOutcome::cmyk;
    }
    if (ctx.cinfo.num_components != 1 && ctx.cinfo.num_components != 3) {
        return DecodeOutcome::components;
    }
    if (static_cast<long long>(ctx.width) * ctx.height > kMaxImagePixels) {
        return DecodeOutcome::too_large;
    }
    // The size declared in the header is checked before any scan is decoded.
    if (ctx.need.width != 0 && (ctx.width != ctx.need.width || ctx.height < ctx.need.min_height)) {
        return DecodeOutcome::wrong_size;
    }
    ctx.cinfo.out_color_space = JCS_RGB;  // greyscale is expanded to equal red, green and blue
    jpeg_start_decompress(&ctx.cinfo);
    const std::size_t pixel_count = static_cast<std::size_t>(ctx.width) * static_cast<std::size_t>(ctx.height);
    ctx.pixels = new (std::nothrow) uint32_t[pixel_count];
    ctx.row = static_cast<unsigned char*>(std::malloc(static_cast<std::size_t>(ctx.width) * 3));
    if (ctx.pixels == nullptr || ctx.row == nullptr) {
        return DecodeOutcome::out_of_memory;
    }
    while (ctx.cinfo.output_scanline < ctx.cinfo.output_height) {
        uint32_t* line = ctx.pixels + static_cast<std::size_t>(ctx.cinfo.output_scanline) * ctx.width;
        JSAMPROW rows[1] = {ctx.row};
        jpeg_read_scanlines(&ctx.cinfo, rows, 1);
        // Red is the first byte and becomes the most significant colour; the top byte stays 0.
        for (int x = 0; x < ctx.width; ++x) {
            line[x] = (uint32_t{ctx.row[3 * x]} << 16) | (uint32_t{ctx.row[3 * x + 1]} << 8) | ctx.row[3 * x + 2];
        }
    }
    jpeg_finish_decompress(&ctx.cinfo);
    return DecodeOutcome::ok;
}

std::string size_text(int width, int height) { return std::to_string(width) + " × " + std::to_string(height); }

// libjpeg's own text, which some messages already open with "Corrupt JPEG data: ".
std::string corrupt_text(const char* message) {
    constexpr const char* kPrefix = "Corrupt JPEG data: ";
    const std::string text = message;
    const std::size_t skip = text.rfind(kPrefix, 0) == 0 ? std::strlen(kPrefix) : 0;
    return "corrupt JPEG data: " + text.substr(skip);
}

std::string need_text(int width, int min_height) {
    return "the show needs " + std::to_string(width) + " wide and at least " + std::to_string(min_height) + " rows";
}

}  // namespace

Status load_jpeg_from_memory(Image& image, const void* data, std::size_t size, const std::string& name,
                             const PictureNeed& need) {
    if (image.pixels != nullptr) {
        return failed_on(name, "the image already holds a picture");
    }
    image.width = 0;
    image.height = 0;
    if (data == nullptr || size == 0) {
        return failed_on(name, "empty file");
    }
    const auto* bytes = static_cast<const unsigned char*>(data);
    if (size < 2 || bytes[0] != 0xFF || bytes[1] != 0xD8) {
        return failed_on(name, "not a JPEG file");
    }

    DecodeContext ctx{};
    ctx.need = need;
    const DecodeOutcome outcome = decode_into(ctx, bytes, size);
    jpeg_destroy_decompress(&ctx.cinfo);
    std::free(ctx.row);
    if (outcome == DecodeOutcome::ok) {
        image.pixels = ctx.pixels;
        image.width = ctx.width;
        image.height = ctx.height;
        return {};
    }
    delete[] ctx.pixels;
    switch (outcome) {
        case DecodeOutcome::too_large:
            return failed_on(name, "picture of " + size_text(ctx.width, ctx.height) + " pixels is too large to load");
        case DecodeOutcome::wrong_size:
            return {false,
                    name + " is " + size_text(ctx.width, ctx.height) + "; " + need_text(need.width, need.min_height)};
        case DecodeOutcome::cmyk:
            return failed_on(name, "CMYK/YCCK JPEG (4 components) is not supported; save it as RGB or greyscale");
        case DecodeOutcome::precision:
            return failed_on(name, std::to_string(ctx.precision) + "-bit JPEG samples are not supported; only 8-bit");
        case DecodeOutcome::components:
            return failed_on(name, "JPEG with " + std::to_string(ctx.components) +
                                       " colour components is not supported; only colour or greyscale");
        case DecodeOutcome::out_of_memory:
            return failed_on(name, "out of memory for a " + size_text(ctx.width, ctx.height) + " picture");
        case DecodeOutcome::library_error:
            if (ctx.errors.error_code == JERR_BAD_PRECISION) {
                // This libjpeg build reads only 8-bit samples and stops at the frame header.
                return failed_on(name, std::to_string(ctx.errors.pub.msg_parm.i[0]) +
                                           "-bit JPEG samples are not supported; only 8-bit");
            }
            if (ctx.errors.truncated) {
                return failed_on(name, "truncated JPEG data (the file ends before the picture does)");
            }
            if (ctx.errors.scan_cut) {
                return failed_on(name,
                                 "corrupt JPEG data: a scan's picture data is damaged (it ends at a marker before "
                                 "the picture is complete)");
            }
            if (ctx.errors.too_many_scans) {
                return failed_on(name, "progressive JPEG with more than " + std::to_string(kMaxScans) + " scans");
            }
            return failed_on(name, corrupt_text(ctx.errors.message));
        case DecodeOutcome::ok:
            break;
    }
    return failed_on(name, "cannot decode");
}

Status load_jpeg(Image& image, const std::string& path, const PictureNeed& need) {
    if (image.pixels != nullptr) {
        return failed_on(path, "the image already holds a picture");
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return failed_on(path, std::string("cannot open: ") + std::strerror(errno));
    }
    file.seekg(0, std::ios::end);
    const std::streamoff length = file.tellg();
    file.seekg(0, std::ios::beg);
    if (length < 0) {
        return failed_on(path, "cannot read");
    }
    if (static_cast<std::uintmax_t>(length) > kMaxFileBytes) {
        return failed_on(path, "file of " + std::to_string(length) + " bytes is too large for a picture");
    }
    std::vector<unsigned char> bytes(static_cast<std::size_t>(length));
    if (length > 0 && !file.read(reinterpret_cast<char*>(bytes.data()), length)) {
        return failed_on(path, "read error");
    }
    return load_jpeg_from_memory(image, bytes.data(), bytes.size(), path, need);
}

void release_image(Image& image) {
    delete[] image.pixels;
    image.pixels = nullptr;
    image.width = 0;
    image.height = 0;
}

Status check_picture_size(const Image& image, const std::string& name, int width, int min_height) {
    const std::string needed = need_text(width, min_height);
    if (image.pixels == nullptr) {
        return {false, name + " holds no picture; " + needed};
    }
    if (image.width != width || image.height < min_height) {
        return {false, name + " is " + size_text(image.width, image.height) + "; " + needed};
    }
    return {};
}

}  // namespace gf
