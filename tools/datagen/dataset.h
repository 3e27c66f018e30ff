// The data set the show reads: one module, eight pictures and one mesh, all
// generated from code so the output is the same bytes on every run and machine.
#pragma once

#include <string>

namespace gf::datagen {

struct WriteResult {
    bool ok = true;
    std::string message;  // names the file and the problem on failure
};

// "xmas.it": the Christmas tune that drives the show.
WriteResult write_module(const std::string& dir);
// The eight JPEG pictures.
WriteResult write_pictures(const std::string& dir);
// "kubus.3ds": the cube mesh.
WriteResult write_mesh(const std::string& dir);

}  // namespace gf::datagen
