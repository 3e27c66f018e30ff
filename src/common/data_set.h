// The show's data set, named once: the module, the eight pictures in slot
// order with the size each one's scenes need, and the mesh. The program looks
// for and checks these files, and the generator (tools/datagen) writes them and
// their manifest, from which the build and the browser page take their lists.
//
// The sizes: textures are fetched at an 8-bit row times 256 plus an 8-bit
// column, whole-frame copies take 320 × 200, the scroll window starts at row
// 0..280 of the tall picture and the greetings come in five 80-row bands.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace gf {

constexpr const char* kModuleFile = "xmas.it";
constexpr const char* kMeshFile = "kubus.3ds";

struct PictureSize {
    const char* file;
    int width;       // exact
    int min_height;  // at least; the generator draws each picture at this height
};

// Picture slots, in load order: the index of each picture in kPictureSizes.
enum PictureSlot : int {
    kGlimzz = 0,     // 256 × 256 ray texture (planes)
    kMuur = 1,       // 256 × 256 ray texture (tunnel)
    kCredits = 2,    // 320 × 200
    kPresents = 3,   // 320 × 200
    kGoodboy = 4,    // 320 × at least 480, scrolled
    kFinalgrtz = 5,  // 320 × 400, five bands of 80 rows
    kBoem = 6,       // 320 × 200
    kKerst = 7,      // 320 × 200
};

constexpr int kPictureCount = 8;

constexpr std::array<PictureSize, kPictureCount> kPictureSizes = {{
    {"glimzz.jpg", 256, 256},
    {"muur.jpg", 256, 256},
    {"credits.jpg", 320, 200},
    {"presents.jpg", 320, 200},
    {"goodboy.jpg", 320, 480},
    {"finalgrtz.jpg", 320, 400},
    {"boem.jpg", 320, 200},
    {"kerst.jpg", 320, 200},
}};

// Each slot names the entry of its own picture, and every entry has a slot.
constexpr bool slot_reads(PictureSlot slot, std::string_view file) { return kPictureSizes[slot].file == file; }
static_assert(slot_reads(kGlimzz, "glimzz.jpg") && slot_reads(kMuur, "muur.jpg") &&
              slot_reads(kCredits, "credits.jpg") && slot_reads(kPresents, "presents.jpg") &&
              slot_reads(kGoodboy, "goodboy.jpg") && slot_reads(kFinalgrtz, "finalgrtz.jpg") &&
              slot_reads(kBoem, "boem.jpg") && slot_reads(kKerst, "kerst.jpg") && kKerst + 1 == kPictureCount);

// Every file of the data set: the module, the pictures in slot order, the mesh
// (the order the program looks for them in).
constexpr int kDataFileCount = kPictureCount + 2;
constexpr std::array<const char*, kDataFileCount> data_file_names() {
    std::array<const char*, kDataFileCount> files{};
    files.front() = kModuleFile;
    for (std::size_t slot = 0; slot < kPictureSizes.size(); ++slot) {
        files[slot + 1] = kPictureSizes[slot].file;
    }
    files.back() = kMeshFile;
    return files;
}
constexpr std::array<const char*, kDataFileCount> kDataFiles = data_file_names();

}  // namespace gf
