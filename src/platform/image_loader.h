// JPEG pictures decoded with libjpeg-turbo into 0x00RRGGBB pixels.
#pragma once

#include <cstddef>
#include <string>

#include "common/status.h"
#include "common/types.h"

namespace gf {

// The size a picture must have: `width` exactly and at least `min_height` rows.
// A width of 0 accepts any size (within the loader's own bounds).
struct PictureNeed {
    int width = 0;
    int min_height = 0;
};

// Decodes a baseline or progressive, colour or greyscale JPEG file into `image`
// (which must hold no pixels). On failure `image` stays empty. With a `need`, a
// picture whose header declares another size is refused before it is decoded.
// Files over 8 MB, pictures over 2 M pixels, progressive files of more than 64
// scans and the first sign of corrupt or missing data are refused too.
Status load_jpeg(Image& image, const std::string& path, const PictureNeed& need = {});
// Same from memory; `name` is used in messages.
Status load_jpeg_from_memory(Image& image, const void* data, std::size_t size, const std::string& name,
                             const PictureNeed& need = {});
// Frees the pixels.
void release_image(Image& image);

}  // namespace gf

namespace gf {

// Checks that a decoded picture is `width` pixels wide and has at least
// `min_height` rows, the size the scene reading it needs. The message names
// the file, its size and the size needed.
Status check_picture_size(const Image& image, const std::string& name, int width, int min_height);

}  // namespace gf
