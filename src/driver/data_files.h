// Finding the show's data files (the current directory, the data set generated
// beside the executable, the installed data directory, or one named folder)
// and checking them before anything starts.
#pragma once

#include <string>
#include <vector>

#include "common/data_set.h"
#include "driver/demo.h"

namespace gf {

// The folders searched, in order. With `data_dir` set, only that folder;
// otherwise the current directory, `<exe dir>/../data` and `<exe dir>/data`
// (the data set generated in a build tree), `<exe dir>/../share/glimmerfrost`
// and the installed data directory.
std::vector<std::string> data_search_dirs(const std::string& data_dir);

// The folder given with --data: it must exist and be a folder. The message names the option and the path.
Status check_data_dir(const std::string& dir);

// The player reports any exception of its library as a module that cannot be
// played; running out of memory is no fault of the file and is said as such.
bool reports_out_of_memory(const std::string& message);

// A loader's failure as the program says it, naming the file by `path`, the path
// it was read from: a message that names it by its name alone is corrected, an
// empty one becomes `fallback`, and running out of memory is said as such.
// Success passes through.
Status about_file(const std::string& path, const Status& status, const char* fallback);

// Finds each file in the first folder of `dirs` that holds it. On failure the
// message names the first missing file and where it was looked for.
Status find_data_files(const std::vector<std::string>& dirs, DataFiles& files);

// Checks the found files without starting anything: each can be read, the
// module is an Impulse Tracker module, every picture decodes at the size its
// scenes need, and the mesh holds a usable triangle mesh. The message names
// the file and the problem.
Status check_data_files(const DataFiles& files);

// Checks that the picture loaded from `path` into slot `slot` has the size its
// scenes read; the message names the file, its size and the size needed.
Status check_picture(const Image& image, const std::string& path, int slot);

// Number of orders the Impulse Tracker module at `path` plays (its order list up
// to the first end marker), or -1 when the header cannot be read.
int module_order_count(const std::string& path);

// Rows of the pattern that order `order` of the module at `path` plays (an empty
// pattern has 64), or -1 when the order or its pattern cannot be read.
int module_order_rows(const std::string& path, uint32_t order);

// Whether ORDER:ROW is a position of the module at `path`, which plays `orders`
// orders (-1 when not known): otherwise the message says what lies past the end.
// Played from such a position the music would start over from the beginning.
Status check_position(const std::string& path, int orders, uint32_t order, uint32_t row);

// The first of `dir/stem.ext`, `dir/stem-1.ext`, `dir/stem-2.ext`, ... that does not exist.
std::string next_free_name(const std::string& dir, const std::string& stem, const std::string& ext);

}  // namespace gf
