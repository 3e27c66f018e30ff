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

// No picture of the show comes near these; they stop a corrupt or hostile
// header from asking for gigabytes.
constexpr long long kMaxImagePixels = 1LL << 25;        // 32 M pixels, 128 MB decoded
constexpr std::uintmax_t kMaxFileBytes = 256ULL << 20;  // 256 MB

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    int error_code;
    bool truncated;  // libjpeg saw the data end early and padded the rest
    char message[JMSG_LENGTH_MAX];
};

void on_error_exit(j_common_ptr cinfo) {
    auto* errors = reinterpret_cast<ErrorManager*>(cinfo->err);
    errors->error_code = cinfo->err->msg_code;
    (*cinfo->err->format_message)(cinfo, errors->message);
    std::longjmp(errors->jump, 1);
}

// Warnings arrive with level -1. A file that ends early only raises a warning
// and decodes as grey padding; we treat it as the error it is.
void on_emit_message(j_common_ptr cinfo, int level) {
    auto* errors = reinterpret_cast<ErrorManager*>(cinfo->err);
    if (level < 0 && (cinfo->err->msg_code == JWRN_JPEG_EOF || cinfo->err->msg_code == JWRN_HIT_MARKER)) {
        errors->truncated = true;
    }
}

enum class DecodeOutcome { ok, library_error, truncated, too_large, cmyk, precision, components, out_of_memory };

// All decoder state lives here rather than in decode_into's frame, so the
// long jump out of libjpeg skips no destructor and the caller can clean up.
struct DecodeContext {
    jpeg_decompress_struct cinfo;
    ErrorManager errors;
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
    jpeg_mem_src(&ctx.cinfo, data, static_cast<unsigned long>(size));
    jpeg_read_header(&ctx.cinfo, TRUE);
    if (ctx.errors.truncated) {
        return DecodeOutcome::truncated;
    }
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
    if (ctx.errors.truncated) {
        return DecodeOutcome::truncated;
    }
    jpeg_finish_decompress(&ctx.cinfo);
    return ctx.errors.truncated ? DecodeOutcome::truncated : DecodeOutcome::ok;
}

ImageStatus fail(const std::string& name, const std::string& problem) { return {false, name + ": " + problem}; }

std::string size_text(int width, int height) { return std::to_string(width) + " × " + std::to_string(height); }

}  // namespace

ImageStatus load_jpeg_from_memory(Image& image, const void* data, std::size_t size, const std::string& name) {
    if (image.pixels != nullptr) {
        return fail(name, "the image already holds a picture");
    }
    image.width = 0;
    image.height = 0;
    if (data == nullptr || size == 0) {
        return fail(name, "empty file");
    }
    const auto* bytes = static_cast<const unsigned char*>(data);
    if (size < 2 || bytes[0] != 0xFF || bytes[1] != 0xD8) {
        return fail(name, "not a JPEG file");
    }

    DecodeContext ctx{};
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
        case DecodeOutcome::truncated:
            return fail(name, "truncated JPEG data (the file ends before the picture does)");
        case DecodeOutcome::too_large:
            return fail(name, "picture of " + size_text(ctx.width, ctx.height) + " pixels is too large to load");
        case DecodeOutcome::cmyk:
            return fail(name, "CMYK/YCCK JPEG (4 components) is not supported; save it as RGB or greyscale");
        case DecodeOutcome::precision:
            return fail(name, std::to_string(ctx.precision) + "-bit JPEG samples are not supported; only 8-bit");
        case DecodeOutcome::components:
            return fail(name, "JPEG with " + std::to_string(ctx.components) +
                                  " colour components is not supported; only colour or greyscale");
        case DecodeOutcome::out_of_memory:
            return fail(name, "out of memory for a " + size_text(ctx.width, ctx.height) + " picture");
        case DecodeOutcome::library_error:
            if (ctx.errors.error_code == JERR_BAD_PRECISION) {
                // This libjpeg build reads only 8-bit samples and stops at the frame header.
                return fail(name, std::to_string(ctx.errors.pub.msg_parm.i[0]) +
                                      "-bit JPEG samples are not supported; only 8-bit");
            }
            if (ctx.errors.truncated) {
                return fail(name, "truncated JPEG data (the file ends before the picture does)");
            }
            return fail(name, std::string("corrupt JPEG data: ") + ctx.errors.message);
        case DecodeOutcome::ok:
            break;
    }
    return fail(name, "cannot decode");
}

ImageStatus load_jpeg(Image& image, const std::string& path) {
    if (image.pixels != nullptr) {
        return fail(path, "the image already holds a picture");
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return fail(path, std::string("cannot open: ") + std::strerror(errno));
    }
    file.seekg(0, std::ios::end);
    const std::streamoff length = file.tellg();
    file.seekg(0, std::ios::beg);
    if (length < 0) {
        return fail(path, "cannot read");
    }
    if (static_cast<std::uintmax_t>(length) > kMaxFileBytes) {
        return fail(path, "file of " + std::to_string(length) + " bytes is too large for a picture");
    }
    std::vector<unsigned char> bytes(static_cast<std::size_t>(length));
    if (length > 0 && !file.read(reinterpret_cast<char*>(bytes.data()), length)) {
        return fail(path, "read error");
    }
    return load_jpeg_from_memory(image, bytes.data(), bytes.size(), path);
}

void release_image(Image& image) {
    delete[] image.pixels;
    image.pixels = nullptr;
    image.width = 0;
    image.height = 0;
}

ImageStatus check_picture_size(const Image& image, const std::string& name, int width, int min_height) {
    const std::string needed =
        "the show needs " + std::to_string(width) + " wide and at least " + std::to_string(min_height) + " rows";
    if (image.pixels == nullptr) {
        return {false, name + " holds no picture; " + needed};
    }
    if (image.width != width || image.height < min_height) {
        return {false, name + " is " + size_text(image.width, image.height) + "; " + needed};
    }
    return {};
}

}  // namespace gf
