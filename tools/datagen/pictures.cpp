// The eight pictures in the show's slot order, encoded with libjpeg-turbo as
// baseline JPEG, and the contact sheet that shows them side by side.
#include "datagen/pictures.h"

#include <cairo.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "datagen/pictures_draw.h"
#include "datagen/pictures_recipes.h"
#include "datagen/pixel_font.h"
#include "writers/jpeg_writer.h"

namespace gf::datagen {
namespace {

// How each picture is drawn, by its slot; the file name and size come from the
// data set's declaration.
struct PictureRecipe {
    PictureSlot slot;
    std::vector<uint32_t> (*draw)();
};

constexpr std::array<PictureRecipe, kPictureCount> kRecipes = {{
    {kGlimzz, draw_glimzz},
    {kMuur, draw_muur},
    {kCredits, draw_credits},
    {kPresents, draw_presents},
    {kGoodboy, draw_goodboy},
    {kFinalgrtz, draw_finalgrtz},
    {kBoem, draw_boem},
    {kKerst, draw_kerst},
}};

// The recipes stand in slot order, so the pictures come out in it.
constexpr bool in_slot_order() {
    for (std::size_t i = 0; i < kRecipes.size(); ++i) {
        if (kRecipes[i].slot != static_cast<int>(i)) return false;
    }
    return true;
}
static_assert(in_slot_order());

// Contact sheet layout: the 320 × 200 cards on the first row, the tall ones
// and the textures on the second.
constexpr int kSheetMargin = 16;
constexpr int kSheetLabel = 18;
constexpr int kSheetWidth = 4 * 320 + 5 * kSheetMargin;
constexpr int kSheetRow2 = kSheetMargin + 200 + kSheetLabel + kSheetMargin;
constexpr int kSheetHeight = kSheetRow2 + 480 + kSheetLabel + kSheetMargin;

}  // namespace

std::vector<Picture> draw_pictures() {
    std::vector<Picture> pictures;
    pictures.reserve(kRecipes.size());
    for (const PictureRecipe& recipe : kRecipes) {
        const PictureSize& size = kPictureSizes[static_cast<std::size_t>(recipe.slot)];
        pictures.push_back({size.file, size.width, size.min_height, recipe.draw()});
        if (pictures.back().pixels.size() != static_cast<std::size_t>(size.width) * size.min_height) {
            throw std::logic_error(pictures.back().file + ": drawn at another size than " + std::to_string(size.width) +
                                   " x " + std::to_string(size.min_height));
        }
    }
    return pictures;
}

Status write_pictures(const std::string& dir) {
    jpegw::JpegOptions options;
    options.quality = kPictureQuality;
    options.scan = jpegw::ScanMode::baseline;
    options.chroma = jpegw::ChromaMode::full;  // keeps thin coloured text and glints crisp
    std::vector<Picture> pictures;
    try {
        pictures = draw_pictures();
    } catch (const std::exception& error) {
        return {false, dir + ": drawing the pictures failed: " + error.what()};
    }
    for (const Picture& picture : pictures) {
        const std::string path = dir + "/" + picture.file;
        std::vector<uint8_t> bytes;
        Status result = jpegw::encode_jpeg(picture.pixels.data(), picture.width, picture.height, options, bytes);
        if (!result.ok) return failed_on(path, result.message);
        result = jpegw::write_bytes(path, bytes);
        if (!result.ok) return {false, result.message};
    }
    return {};
}

SheetSlot contact_sheet_slot(int index) {
    // Cards: credits, presents, boem, kerst on row one; goodboy, finalgrtz,
    // glimzz, muur on row two.
    static constexpr std::array<int, 8> column = {2, 3, 0, 1, 0, 1, 2, 3};
    static constexpr std::array<int, 8> row = {1, 1, 0, 0, 1, 1, 0, 0};
    const int i = std::clamp(index, 0, 7);
    return {kSheetMargin + column[i] * (320 + kSheetMargin), row[i] == 0 ? kSheetMargin : kSheetRow2};
}

static Status draw_contact_sheet(const std::vector<Picture>& pictures, const std::string& path, Picture* sheet) {
    Canvas canvas(kSheetWidth, kSheetHeight);
    cairo_t* cr = canvas.cr();
    set_colour(cr, 0x202028);
    cairo_paint(cr);
    for (std::size_t i = 0; i < pictures.size() && i < 8; ++i) {
        const Picture& picture = pictures[i];
        if (picture.pixels.size() != static_cast<std::size_t>(picture.width) * picture.height) {
            return {false, picture.file + ": pixel count does not match its size"};
        }
        const SheetSlot slot = contact_sheet_slot(static_cast<int>(i));
        uint32_t* data = canvas.raw();
        const int stride = canvas.stride_pixels();
        for (int y = 0; y < picture.height && slot.y + y < kSheetHeight; ++y) {
            for (int x = 0; x < picture.width && slot.x + x < kSheetWidth; ++x) {
                data[(slot.y + y) * stride + slot.x + x] =
                    picture.pixels[static_cast<std::size_t>(y) * picture.width + x];
            }
        }
        canvas.done_painting();
        const std::string label =
            picture.file + "  " + std::to_string(picture.width) + " x " + std::to_string(picture.height);
        PixelLogo small;
        small.block_width = 2;
        small.block_height = 2;
        small.ramp = {0xD0D0E0};
        small.outline_width = 0;
        small.highlight = 0.0;
        small.shading = 0.0;
        draw_pixel_text(canvas, label.c_str(), slot.x, slot.y + picture.height + 3, small);
    }
    if (sheet != nullptr) *sheet = {path, kSheetWidth, kSheetHeight, canvas.pixels()};
    cairo_surface_flush(canvas.surface());
    if (cairo_surface_write_to_png(canvas.surface(), path.c_str()) != CAIRO_STATUS_SUCCESS) {
        return {false, path + ": cannot write the contact sheet"};
    }
    return {};
}

Status write_contact_sheet(const std::vector<Picture>& pictures, const std::string& path, Picture* sheet) {
    try {
        return draw_contact_sheet(pictures, path, sheet);
    } catch (const std::exception& error) {
        return failed_on(path, error.what());
    }
}

}  // namespace gf::datagen
