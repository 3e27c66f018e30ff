// JPEG encoding over libjpeg-turbo. libjpeg reports errors by calling
// error_exit, which by default ends the process; ours jumps back instead so a
// failure becomes a message.
#include "writers/jpeg_writer.h"

#include <jpeglib.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace gf::jpegw {
namespace {

constexpr int kMaxDimension = 65500;  // libjpeg's own limit on a side

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void on_error_exit(j_common_ptr cinfo) {
    auto* errors = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, errors->message);
    std::longjmp(errors->jump, 1);
}

void on_message(j_common_ptr, int) {}  // the encoder's warnings are not interesting here

// Everything the encoder touches lives here, so nothing with a destructor is
// skipped when libjpeg jumps out of encode_into.
struct EncodeContext {
    jpeg_compress_struct cinfo;
    ErrorManager errors;
    unsigned char* buffer = nullptr;  // malloc'd by jpeg_mem_dest
    unsigned long size = 0;
    unsigned char* row = nullptr;
};

bool encode_into(EncodeContext& ctx, const uint32_t* pixels, int width, int height, const JpegOptions& options) {
    ctx.cinfo.err = jpeg_std_error(&ctx.errors.pub);
    ctx.errors.pub.error_exit = on_error_exit;
    ctx.errors.pub.emit_message = on_message;
    ctx.errors.message[0] = '\0';
    if (setjmp(ctx.errors.jump)) {
        return false;
    }
    jpeg_create_compress(&ctx.cinfo);
    jpeg_mem_dest(&ctx.cinfo, &ctx.buffer, &ctx.size);
    ctx.cinfo.image_width = static_cast<JDIMENSION>(width);
    ctx.cinfo.image_height = static_cast<JDIMENSION>(height);
    const bool cmyk = options.colour == ColourMode::cmyk;
    ctx.cinfo.input_components = cmyk ? 4 : 3;
    ctx.cinfo.in_color_space = cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&ctx.cinfo);
    jpeg_set_quality(&ctx.cinfo, options.quality, TRUE);
    // Pinned rather than left to the library's defaults: the exact integer DCT
    // (its SIMD and plain versions give the same coefficients), the standard
    // Huffman tables and no input smoothing, so every install writes the same bytes.
    ctx.cinfo.dct_method = JDCT_ISLOW;
    ctx.cinfo.optimize_coding = FALSE;
    ctx.cinfo.smoothing_factor = 0;
    ctx.cinfo.arith_code = options.coding == EntropyCoding::arithmetic ? TRUE : FALSE;
    if (options.colour == ColourMode::greyscale) {
        jpeg_set_colorspace(&ctx.cinfo, JCS_GRAYSCALE);
    } else if (options.chroma == ChromaMode::full) {
        ctx.cinfo.comp_info[0].h_samp_factor = 1;
        ctx.cinfo.comp_info[0].v_samp_factor = 1;
    }
    if (options.scan == ScanMode::progressive) {
        jpeg_simple_progression(&ctx.cinfo);
    }
    jpeg_start_compress(&ctx.cinfo, TRUE);
    const std::size_t row_bytes =
        static_cast<std::size_t>(width) * static_cast<std::size_t>(ctx.cinfo.input_components);
    ctx.row = static_cast<unsigned char*>(std::malloc(row_bytes));
    if (ctx.row == nullptr) {
        std::snprintf(ctx.errors.message, sizeof ctx.errors.message, "out of memory");
        return false;
    }
    while (ctx.cinfo.next_scanline < ctx.cinfo.image_height) {
        const std::size_t y = ctx.cinfo.next_scanline;
        const uint32_t* line = pixels + y * static_cast<std::size_t>(width);
        unsigned char* out = ctx.row;
        for (int x = 0; x < width; ++x) {
            const uint8_t rgb[3] = {static_cast<uint8_t>(line[x] >> 16), static_cast<uint8_t>(line[x] >> 8),
                                    static_cast<uint8_t>(line[x])};
            for (const uint8_t value : rgb) {
                *out++ = cmyk ? static_cast<unsigned char>(255 - value) : value;
            }
            if (cmyk) {
                *out++ = 0;
            }
        }
        JSAMPROW rows[1] = {ctx.row};
        jpeg_write_scanlines(&ctx.cinfo, rows, 1);
    }
    jpeg_finish_compress(&ctx.cinfo);
    return true;
}

}  // namespace

Status encode_jpeg(const uint32_t* pixels, int width, int height, const JpegOptions& options,
                   std::vector<uint8_t>& out) {
    out.clear();
    if (pixels == nullptr) {
        return {false, "no pixels to encode"};
    }
    if (width <= 0 || height <= 0 || width > kMaxDimension || height > kMaxDimension) {
        return {false, "cannot encode a " + std::to_string(width) + " x " + std::to_string(height) + " picture"};
    }
    if (options.quality < 1 || options.quality > 100) {
        return {false, "JPEG quality " + std::to_string(options.quality) + " is outside 1..100"};
    }
    EncodeContext ctx{};
    const bool ok = encode_into(ctx, pixels, width, height, options);
    jpeg_destroy_compress(&ctx.cinfo);
    std::free(ctx.row);
    Status result;
    if (ok) {
        out.assign(ctx.buffer, ctx.buffer + ctx.size);
    } else {
        result = {false, std::string("JPEG encoding failed: ") + ctx.errors.message};
    }
    std::free(ctx.buffer);
    return result;
}

Status write_bytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return {false, path + ": cannot open for writing: " + std::strerror(errno)};
    }
    const std::size_t written = bytes.empty() ? 0 : std::fwrite(bytes.data(), 1, bytes.size(), file);
    const bool closed = std::fclose(file) == 0;
    if (written != bytes.size() || !closed) {
        return {false, path + ": write failed"};
    }
    return {};
}

}  // namespace gf::jpegw
