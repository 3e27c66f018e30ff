// glimmerfrost-icon DIR: writes the program's icon as DIR/hicolor/NxN/apps/glimmerfrost.png
// for the sizes desktops look for, ready to install under share/icons.
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "platform/frame_files.h"
#include "platform/window_icon.h"

namespace {

constexpr int kSizes[] = {16, 24, 32, 48, 64, 128, 192, 256, 512};  // 192 and 512: what a web app manifest asks for

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: glimmerfrost-icon DIR\n");
        return 2;
    }
    namespace fs = std::filesystem;
    for (const int size : kSizes) {
        const std::string name = std::to_string(size) + "x" + std::to_string(size);
        const fs::path dir = fs::path(argv[1]) / "hicolor" / name / "apps";
        std::error_code error;
        fs::create_directories(dir, error);
        const std::vector<uint32_t> pixels = gf::draw_icon(size);
        const gf::Status written = gf::write_png((dir / "glimmerfrost.png").string(), pixels.data(), size, size,
                                                 {.alpha = true, .compression_level = 9});
        if (!written.ok) {
            std::fprintf(stderr, "glimmerfrost-icon: %s\n", written.message.c_str());
            return 1;
        }
    }
    return 0;
}
