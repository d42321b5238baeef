// The instrument's whole state as bytes, for the formats that save a state of their own: the
// current program, its 1,600 values, the sixteen program names and the controller map. One
// writer, one reader; the reader refuses anything it would not have written (wrong size or
// version, a missing name terminator, a value that is not a number or lies outside 0..1, a
// program outside 0..15), so a caller can refuse the whole state and change nothing.
//
// Layout, little-endian on every target, 7,736 bytes in version 1:
//   0     "VlcS"                       magic
//   4     uint32 version               1
//   8     uint32 program               0..15
//   12    16 x 64 bytes                program names, each ended by a zero byte, zero-padded
//   1036  1,600 x float32              the current program's values, 0..1
//   7436  300 x uint8                  the controller map: the controller of each index, 255 none
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "parameters/parameter_table.h"

namespace vellicor::state {

constexpr int kPrograms = 16;
constexpr int kNameBytes = 64;
constexpr uint32_t kVersion = 1;
constexpr size_t kSize =
    12 + kPrograms * kNameBytes + param::kPatchSize * 4 + param::kControllerMapSize;

struct Snapshot {
  int program = 0;
  char names[kPrograms][kNameBytes] = {};
  float values[param::kPatchSize] = {};
  uint8_t controllers[param::kControllerMapSize] = {};
};

std::vector<uint8_t> Encode(const Snapshot& snapshot);
// The snapshot the bytes hold; nothing for bytes that are not exactly what Encode writes.
std::optional<Snapshot> Decode(std::span<const uint8_t> bytes);

}  // namespace vellicor::state
