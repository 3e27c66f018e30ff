// libFuzzer target: arbitrary bytes through the picture loader. Every input
// must either decode to a consistent Image or fail with a message.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/image_loader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    gf::Image image;
    const gf::Status status = gf::load_jpeg_from_memory(image, data, size, "fuzz.jpg");
    if (status.ok) {
        if (image.pixels == nullptr || image.width <= 0 || image.height <= 0) {
            std::abort();
        }
        // Touch every pixel: the loader promised width × height of them, top byte clear.
        uint32_t combined = 0;
        const size_t count = static_cast<size_t>(image.width) * static_cast<size_t>(image.height);
        for (size_t i = 0; i < count; ++i) {
            combined |= image.pixels[i];
        }
        if ((combined & 0xFF000000u) != 0) {
            std::abort();
        }
        gf::release_image(image);
    } else if (image.pixels != nullptr || status.message.empty()) {
        std::abort();
    }
    return 0;
}
