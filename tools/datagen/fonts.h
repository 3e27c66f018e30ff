// The outline faces the pictures draw text with. Each comes from one font
// file at a fixed path (from fonts-dejavu-core and fonts-dejavu-extra), never
// from a font lookup, and there is no fallback: a missing file is an error.
#pragma once

#include <string>

namespace gf::datagen {

enum class Face { sans, sans_bold, serif_bold_italic };
constexpr Face kFaces[] = {Face::sans, Face::sans_bold, Face::serif_bold_italic};

// Where a face's file is; drawing with it throws, naming this path, when the
// file is missing or unreadable.
std::string face_file(Face face);
// Empty when the font file at `path` opens as a font, else a one-line
// message naming it.
std::string font_file_problem(const std::string& path);

}  // namespace gf::datagen
