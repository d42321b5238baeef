// The COM-style plumbing a VST 3 host speaks: objects it holds through pointers to pointers to
// function tables, reference counts, interfaces found by id, and UTF-16 strings.
#pragma once

#include <travesty/base.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The calling convention of every function a host calls through an interface's table: the
// lambdas that fill the tables say it too, so that they convert to the tables' pointers (only
// 32-bit Windows has a convention of its own for these).
#if defined(_WIN32) && !defined(_WIN64)
#define VST3_CALL __attribute__((stdcall))
#else
#define VST3_CALL
#endif

namespace vellicor::vst3 {

// One interface of one of our objects, as a host holds it: the interface's function table, then
// the object it belongs to. `self` in every call is the address of one of these.
template <typename Owner>
struct Face {
  const void* table;
  Owner* owner;
};

template <typename Owner>
Owner* OwnerOf(void* self) {
  return static_cast<Face<Owner>*>(self)->owner;
}

// An object a host shares: it starts with one reference (the creator's) and deletes itself when
// the last is released.
class RefCounted {
 public:
  virtual ~RefCounted() = default;
  uint32_t Ref() { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
  uint32_t Unref() {
    const uint32_t left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) delete this;
    return left;
  }

 private:
  std::atomic<uint32_t> refs_{1};
};

// The three calls every interface starts with, for an owner with QueryInterface, Ref, Unref.
template <typename Owner>
constexpr v3_funknown Unknown() {
  return {[](void* self, const v3_tuid iid, void** object)
              VST3_CALL -> v3_result { return OwnerOf<Owner>(self)->QueryInterface(iid, object); },
          [](void* self) VST3_CALL -> uint32_t { return OwnerOf<Owner>(self)->Ref(); },
          [](void* self) VST3_CALL -> uint32_t { return OwnerOf<Owner>(self)->Unref(); }};
}

// Calls of an interface a host handed us: the table behind its pointer.
template <typename Table>
const Table& TableOf(void* object) {
  return **static_cast<const Table* const*>(object);
}

inline uint32_t Release(void* object) {
  return object ? TableOf<v3_funknown>(object).unref(object) : 0;
}

// `iid`'s interface of a host's object, referenced; null when it has none.
inline void* Query(void* object, const v3_tuid iid) {
  void* found = nullptr;
  if (!object || TableOf<v3_funknown>(object).query_interface(object, iid, &found) != V3_OK) {
    return nullptr;
  }
  return found;
}

// The two halves' messages when the host connects them through its own connection points: the
// controller asks for the component's state, the component answers with it.
constexpr char kGetStateMessage[] = "vellicor.get-state";
constexpr char kStateMessage[] = "vellicor.state";
constexpr char kStateAttribute[] = "state";

// A message made by the host (its IHostApplication makes messages), with `id` and, when given,
// `bytes` as one binary attribute; null when the host makes none. Released by the caller.
void* NewMessage(void* host_context, const char* id, const std::vector<uint8_t>* bytes);
// The id of a message, "" when it has none.
std::string MessageId(void* message);
// A message's binary attribute `key`, empty when it has none.
std::vector<uint8_t> MessageBytes(void* message, const char* key);
// Hands the message to a connection point.
void Notify(void* connection_point, void* message);

// UTF-16 strings of 128 units, cut and terminated.
inline void CopyToUtf16(int16_t* destination, std::string_view text, size_t capacity = 128) {
  size_t n = 0;
  for (; n < text.size() && n + 1 < capacity; ++n) {
    destination[n] = static_cast<int16_t>(static_cast<unsigned char>(text[n]));
  }
  destination[n] = 0;
}

inline std::string FromUtf16(const int16_t* text, size_t capacity = 128) {
  std::string out;
  for (size_t n = 0; text && n < capacity && text[n] != 0; ++n) {
    const auto unit = static_cast<uint16_t>(text[n]);
    out += unit < 128 ? static_cast<char>(unit) : '?';
  }
  return out;
}

}  // namespace vellicor::vst3
