// JPEG pictures decoded with libjpeg-turbo into 0x00RRGGBB pixels.
#pragma once

#include <cstddef>
#include <string>

#include "common/types.h"

namespace gf {

struct ImageStatus {
    bool ok = true;
    std::string message;  // names the file and what is wrong
};

// Decodes a baseline or progressive, colour or greyscale JPEG file into `image`
// (which must hold no pixels). On failure `image` stays empty.
ImageStatus load_jpeg(Image& image, const std::string& path);
// Same from memory; `name` is used in messages.
ImageStatus load_jpeg_from_memory(Image& image, const void* data, std::size_t size, const std::string& name);
// Frees the pixels.
void release_image(Image& image);

}  // namespace gf
