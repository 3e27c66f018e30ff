// The data set the show reads: one module, eight pictures and one mesh, all
// generated from code so the output is the same bytes on every run and machine.
// Their names, and the pictures' sizes, are the show's own (common/data_set.h).
#pragma once

#include <string>

#include "common/data_set.h"
#include "common/status.h"

namespace gf::datagen {

// kModuleFile: the Christmas tune that drives the show.
Status write_module(const std::string& dir);
// The eight JPEG pictures of kPictureSizes, each at its width and least height.
Status write_pictures(const std::string& dir);
// kMeshFile: the cube mesh.
Status write_mesh(const std::string& dir);

}  // namespace gf::datagen
