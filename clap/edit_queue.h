// Edits made in the editor, waiting to be told to the host. The editor's thread writes them;
// the host's processing (process or flush, never both at once) reads them. A fixed ring of
// single-writer, single-reader slots: no lock and no allocation on either side.
#pragma once

#include <atomic>
#include <cstdint>

namespace vellicor::clap_format {

struct Edit {
  enum Kind : uint8_t { kBegin, kValue, kEnd };
  Kind kind = kValue;
  uint32_t index = 0;
  double value = 0.0;
};

class EditQueue {
 public:
  static constexpr uint32_t kCapacity = 8192;  // a power of two

  // Writer side; false (the edit dropped) when the reader has fallen this far behind.
  bool Push(const Edit& edit) {
    const uint32_t tail = tail_.load(std::memory_order_relaxed);
    if (tail - head_.load(std::memory_order_acquire) == kCapacity) return false;
    slots_[tail & (kCapacity - 1)] = edit;
    tail_.store(tail + 1, std::memory_order_release);
    return true;
  }

  // Reader side; false when empty.
  bool Pop(Edit* edit) {
    const uint32_t head = head_.load(std::memory_order_relaxed);
    if (head == tail_.load(std::memory_order_acquire)) return false;
    *edit = slots_[head & (kCapacity - 1)];
    head_.store(head + 1, std::memory_order_release);
    return true;
  }

 private:
  Edit slots_[kCapacity];
  std::atomic<uint32_t> head_{0};
  std::atomic<uint32_t> tail_{0};
};

}  // namespace vellicor::clap_format
