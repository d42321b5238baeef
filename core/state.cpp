#include "core/state.h"

#include <bit>
#include <cmath>
#include <cstring>

namespace vellicor::state {
namespace {

constexpr uint8_t kMagic[4] = {'V', 'l', 'c', 'S'};
constexpr size_t kNamesAt = 12;
constexpr size_t kValuesAt = kNamesAt + kPrograms * kNameBytes;
constexpr size_t kControllersAt = kValuesAt + param::kPatchSize * 4;
static_assert(kControllersAt + param::kControllerMapSize == kSize);

void PutU32(uint8_t* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t GetU32(const uint8_t* at) {
  uint32_t value = 0;
  for (int i = 0; i < 4; ++i) value |= static_cast<uint32_t>(at[i]) << (8 * i);
  return value;
}

}  // namespace

std::vector<uint8_t> Encode(const Snapshot& snapshot) {
  std::vector<uint8_t> bytes(kSize, 0);
  std::memcpy(bytes.data(), kMagic, sizeof kMagic);
  PutU32(&bytes[4], kVersion);
  PutU32(&bytes[8], static_cast<uint32_t>(snapshot.program));
  for (int p = 0; p < kPrograms; ++p) {
    // Everything after the terminator stays zero, so one state always gives the same bytes.
    const char* name = snapshot.names[p];
    size_t length = 0;
    while (length < kNameBytes - 1 && name[length] != 0) ++length;
    std::memcpy(&bytes[kNamesAt + static_cast<size_t>(p) * kNameBytes], name, length);
  }
  for (int i = 0; i < param::kPatchSize; ++i) {
    PutU32(&bytes[kValuesAt + static_cast<size_t>(i) * 4],
           std::bit_cast<uint32_t>(snapshot.values[i]));
  }
  std::memcpy(&bytes[kControllersAt], snapshot.controllers, param::kControllerMapSize);
  return bytes;
}

std::optional<Snapshot> Decode(std::span<const uint8_t> bytes) {
  if (bytes.size() != kSize || std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0) {
    return std::nullopt;
  }
  if (GetU32(&bytes[4]) != kVersion) return std::nullopt;
  Snapshot snapshot;
  const uint32_t program = GetU32(&bytes[8]);
  if (program >= static_cast<uint32_t>(kPrograms)) return std::nullopt;
  snapshot.program = static_cast<int>(program);
  for (int p = 0; p < kPrograms; ++p) {
    const uint8_t* name = &bytes[kNamesAt + static_cast<size_t>(p) * kNameBytes];
    if (std::memchr(name, 0, kNameBytes) == nullptr) return std::nullopt;
    std::memcpy(snapshot.names[p], name, kNameBytes);
  }
  for (int i = 0; i < param::kPatchSize; ++i) {
    const float value =
        std::bit_cast<float>(GetU32(&bytes[kValuesAt + static_cast<size_t>(i) * 4]));
    if (!(value >= 0.0f && value <= 1.0f)) return std::nullopt;  // NaN fails too
    snapshot.values[i] = value;
  }
  std::memcpy(snapshot.controllers, &bytes[kControllersAt], param::kControllerMapSize);
  return snapshot;
}

}  // namespace vellicor::state
