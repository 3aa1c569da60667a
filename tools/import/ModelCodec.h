// The model record in bytes: what the parser's child process writes to its pipe and what the parent (and the fuzz
// target) reads back. Little-endian, length-prefixed, no padding: "TIMR", a version, then the meshes, materials,
// embedded textures, nodes, cameras, lights and animations, each a count and its records. The decoder trusts
// nothing: every count is checked against the bytes left before anything is allocated, and every index against
// what it points into, so a record that decodes is one the conversion can walk without further checks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/import/Model.h"

namespace tarn::import {

inline constexpr std::uint32_t kModelCodecVersion = 1;

// Appends the record to `out` (which is not cleared).
void EncodeModel(const Model& model, std::vector<std::uint8_t>& out);

// Reads a whole record; false with the reason in `*error` when the bytes are short, left over, or name anything
// out of range. `model` is then unspecified.
bool DecodeModel(const std::uint8_t* data, std::size_t size, Model& model, std::string* error);

// The index checks of DecodeModel alone, for records built in memory (tests, the benchmark).
bool CheckModel(const Model& model, std::string* error);

}  // namespace tarn::import
