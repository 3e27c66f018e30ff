// The manifest of the generated data set: one line per file with its name,
// size in bytes and SHA-256, so a changed byte anywhere shows up by name.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "datagen/dataset.h"

namespace gf::datagen {

// The files the generator writes (kDataFiles), in name order: the manifest's order.
extern const std::vector<std::string> kDatasetFiles;

// Lower-case hex SHA-256 of `bytes` (FIPS 180-4).
std::string sha256_hex(const std::vector<uint8_t>& bytes);

// The manifest text for the data set in `dir`: "NAME SIZE SHA256" lines in
// name order. Fails naming a file that cannot be read.
Status describe_dataset(const std::string& dir, std::string& text);

// Writes `text` to `path` through a temporary file beside it, so a failed
// run leaves any earlier manifest whole.
Status write_manifest(const std::string& path, const std::string& text);

// Splits manifest text into name → the rest of its line; lines that are
// empty or start with '#' are skipped.
std::map<std::string, std::string> parse_manifest(const std::string& text);

}  // namespace gf::datagen
