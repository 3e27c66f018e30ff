// glimmerfrost-flashcheck: the flash analyser over a --frames folder. Prints the
// per-order table; exit code 0 when no second fails, 1 when one does, 2 on bad input.
#include <cstring>
#include <iostream>

#include "flashcheck/flash_report.h"

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::cout << "Usage: glimmerfrost-flashcheck DIR\n"
                     "Counts the flashes in a folder written by glimmerfrost --frames DIR, per area of\n"
                     "1/36 of the frame (general flashes of relative luminance, and saturated red),\n"
                     "and prints per music order the most transitions of one area in one second and\n"
                     "the seconds that hold more than three flashes. Exit code 1 when any second fails.\n";
        return 0;
    }
    if (argc != 2) {
        std::cerr << "glimmerfrost-flashcheck: give one --frames folder (see --help)\n";
        return 2;
    }
    gf::FlashAnalyser analyser;
    const gf::Status status = gf::analyse_frame_folder(argv[1], analyser);
    if (!status.ok) {
        std::cerr << "glimmerfrost-flashcheck: " << status.message << '\n';
        return 2;
    }
    std::cout << analyser.table();
    return analyser.passes() ? 0 : 1;
}
