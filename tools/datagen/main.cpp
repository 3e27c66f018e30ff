// glimmerfrost-datagen [--manifest FILE] OUTPUT_DIR: writes the whole data set
// into OUTPUT_DIR and, with --manifest, the list of its files' names, sizes
// and SHA-256 sums into FILE.
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "datagen/dataset.h"
#include "datagen/manifest.h"

namespace {

int usage(const std::string& problem) {
    std::fprintf(stderr, "glimmerfrost-datagen: %s\nusage: glimmerfrost-datagen [--manifest FILE] OUTPUT_DIR\n",
                 problem.c_str());
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string dir, manifest;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--manifest") {
            if (i + 1 >= argc || std::string(argv[i + 1]).empty()) return usage("--manifest needs a file name");
            manifest = argv[++i];
        } else if (arg.size() > 1 && arg[0] == '-') {
            return usage("unknown option " + arg);
        } else if (!dir.empty()) {
            return usage("more than one output folder: " + dir.append(" and ").append(arg));
        } else {
            dir = arg;
        }
    }
    if (dir.empty()) return usage("no output folder given");
    using gf::Status;
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    if (error) {
        std::fprintf(stderr, "glimmerfrost-datagen: cannot create %s: %s\n", dir.c_str(), error.message().c_str());
        return 1;
    }
    for (Status (*step)(const std::string&) :
         {&gf::datagen::write_module, &gf::datagen::write_pictures, &gf::datagen::write_mesh}) {
        const Status result = step(dir);
        if (!result.ok) {
            std::fprintf(stderr, "glimmerfrost-datagen: %s\n", result.message.c_str());
            return 1;
        }
    }
    if (!manifest.empty()) {
        std::string text;
        Status result = gf::datagen::describe_dataset(dir, text);
        if (result.ok) result = gf::datagen::write_manifest(manifest, text);
        if (!result.ok) {
            std::fprintf(stderr, "glimmerfrost-datagen: %s\n", result.message.c_str());
            return 1;
        }
    }
    return 0;
}
