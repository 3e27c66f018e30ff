// The data set the show reads: one module, eight pictures and one mesh, all
// generated from code so the output is the same bytes on every run and machine.
#pragma once

#include <string>

#include "common/status.h"

namespace gf::datagen {

// "xmas.it": the Christmas tune that drives the show.
Status write_module(const std::string& dir);
// The eight JPEG pictures.
Status write_pictures(const std::string& dir);
// "kubus.3ds": the cube mesh.
Status write_mesh(const std::string& dir);

}  // namespace gf::datagen
