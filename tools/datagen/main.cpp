// glimmerfrost-datagen DIR: writes the whole data set into DIR.
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "datagen/dataset.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: glimmerfrost-datagen OUTPUT_DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    if (error) {
        std::fprintf(stderr, "glimmerfrost-datagen: cannot create %s: %s\n", dir.c_str(), error.message().c_str());
        return 1;
    }
    using gf::datagen::WriteResult;
    for (WriteResult (*step)(const std::string&) :
         {&gf::datagen::write_module, &gf::datagen::write_pictures, &gf::datagen::write_mesh}) {
        const WriteResult result = step(dir);
        if (!result.ok) {
            std::fprintf(stderr, "glimmerfrost-datagen: %s\n", result.message.c_str());
            return 1;
        }
    }
    return 0;
}
