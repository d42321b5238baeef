// The dispatcher as an unkind host drives it: any opcode with any index, value and option,
// ptr pointing into a buffer of ours large enough for whatever the opcode may write (and the
// well-formed records the opcodes that read one expect), interleaved with automation,
// parameter reads and rendering. The editor opens only without a window (the host's window
// handle is never garbage).
#include <cstring>
#include <string>

#include "tests/fuzz/fuzzed_plugin.h"
#include "vst/vellicor_requests.h"

namespace vellicor::fuzz {
namespace {

namespace rq = vellicor::requests;

constexpr size_t kTextRoom = 64;  // what hosts give for a name: 63 characters and the end
constexpr uint8_t kUnwritten = 0xA5;

// A buffer for whatever the opcode writes; the bytes past `room` must stay as they were.
struct OutBuffer {
  alignas(16) uint8_t bytes[4096];
  void Reset() { std::memset(bytes, kUnwritten, sizeof bytes); }
  void CheckUntouchedFrom(size_t room, int opcode) const {
    for (size_t i = room; i < sizeof bytes; ++i) {
      Check(bytes[i] == kUnwritten, "wrote past what the opcode may write", opcode);
    }
  }
  // A string the plug-in wrote: terminated within 64 bytes, or nothing written at all.
  void CheckText(int opcode) const {
    CheckUntouchedFrom(kTextRoom, opcode);
    if (bytes[0] == kUnwritten) return;
    Check(std::memchr(bytes, 0, kTextRoom) != nullptr, "text without its end in 64 bytes", opcode);
  }
};

enum class Writes { kNothing, kText, kPinProperties, kPointer };

Writes WhatOpcodeWrites(int32_t opcode) {
  switch (opcode) {
    case vst::effGetProgramName:
    case vst::effGetParamLabel:
    case vst::effGetParamDisplay:
    case vst::effGetParamName:
    case vst::effGetProgramNameIndexed:
    case vst::effGetEffectName:
    case vst::effGetErrorText:
    case vst::effGetVendorString:
    case vst::effGetProductString:
    case vst::effShellGetNextPlugin:
      return Writes::kText;
    case vst::effGetInputProperties:
    case vst::effGetOutputProperties:
      return Writes::kPinProperties;
    case vst::effEditGetRect:
    case vst::effGetChunk:
      return Writes::kPointer;
    default:
      return Writes::kNothing;
  }
}

// One of our editor requests with a well-formed record (its size field now and then wrong).
intptr_t VendorRequest(FuzzedPlugin& plugin, FuzzedDataProvider& data) {
  static uint32_t pixels[700 * 600];
  const int32_t kind = data.ConsumeIntegralInRange<int32_t>(0, 7);
  const std::string name = data.ConsumeRandomLengthString(24);
  const bool bad_size = data.ConsumeIntegralInRange(0, 15) == 0;
  auto request = [&](auto& record) {
    record.size = bad_size ? data.ConsumeIntegral<int32_t>() : int32_t{sizeof record};
    return plugin.Dispatch(vst::effVendorSpecific, kVendorRequestId, kind, &record, 0.0f);
  };
  // Room for pixels: all of ours, or a count of any sign with none behind it beyond ours.
  auto canvas = [&](auto& record) {
    record.capacity =
        data.ConsumeBool() ? int32_t{sizeof pixels / 4} : data.ConsumeIntegral<int16_t>();
    record.pixels =
        record.capacity > 0 && record.capacity <= int32_t{sizeof pixels / 4} ? pixels : nullptr;
  };
  switch (kind) {
    case rq::kCaptureFrame: {
      rq::CaptureRecord r{};
      canvas(r);
      return request(r);
    }
    case rq::kMouse: {
      rq::MouseRecord r{};
      r.action = data.ConsumeIntegralInRange(-1, 4);
      r.x = data.ConsumeIntegralInRange(-20, 660);
      r.y = data.ConsumeIntegralInRange(-20, 540);
      r.button = data.ConsumeIntegralInRange(-1, 4);
      r.modifiers = data.ConsumeIntegralInRange(0, 8);
      return request(r);
    }
    case rq::kAdvanceClock: {
      rq::ClockRecord r{};
      r.milliseconds = data.ConsumeIntegralInRange(-10, 1200);
      return request(r);
    }
    case rq::kChooseMenuItem: {
      rq::MenuItemRecord r{};
      r.name = data.ConsumeBool() ? name.c_str() : nullptr;
      return request(r);
    }
    case rq::kComponentRect: {
      rq::ComponentRecord r{};
      r.name = data.ConsumeBool() ? name.c_str() : nullptr;
      return request(r);
    }
    case rq::kOpenMenu: {
      rq::MenuRecord r{};
      r.item = data.ConsumeBool() ? name.c_str() : nullptr;
      canvas(r);
      return request(r);
    }
    default: {
      uint8_t record[64] = {};
      return plugin.Dispatch(vst::effVendorSpecific, data.ConsumeIntegral<int32_t>(), kind, record,
                             0.0f);
    }
  }
}

// The editor's opens within one input: on the instance whose editor is open they only count
// up (no window is made), and each close undoes one of them; the other instance's editor is
// never opened.
struct EditorOpens {
  int open = 0;
};

void DispatchOne(FuzzedPlugin& plugin, FuzzedDataProvider& data, bool editor_open,
                 EditorOpens& opens) {
  static OutBuffer out;
  const int32_t opcode =
      data.ConsumeIntegralInRange<int32_t>(0, vst::effGetNumMidiOutputChannels + 2);
  const int32_t index = data.ConsumeBool() ? data.ConsumeIntegralInRange<int32_t>(-2, 1601)
                                           : data.ConsumeIntegral<int32_t>();
  const intptr_t value = data.ConsumeBool() ? data.ConsumeIntegralInRange<intptr_t>(-2, 20)
                                            : data.ConsumeIntegral<intptr_t>();
  const float opt =
      data.ConsumeBool() ? data.ConsumeFloatingPointInRange(-1.0f, 200000.0f) : FuzzedValue(data);
  // The opcodes that read a record get a well-formed one, or none when the index (which they
  // ignore) is -2.
  const bool no_record = index == -2;
  switch (opcode) {
    case vst::effClose:
      return;  // ends the instance: the harness does that once at the end
    case vst::effEditOpen:
      if (!editor_open) return;
      if (plugin.Dispatch(opcode, index, value, nullptr, opt) != 0) ++opens.open;  // off-screen
      return;
    case vst::effEditClose:
      if (editor_open && opens.open == 0) return;
      if (editor_open) --opens.open;
      plugin.Dispatch(opcode, index, value, nullptr, opt);
      return;
    case vst::effProcessEvents: {
      FuzzedEvents events(data);
      plugin.Dispatch(opcode, index, value, no_record ? nullptr : events.list(), opt);
      return;
    }
    case vst::effSetProgramName:
    case vst::effCanDo:
    case vst::effString2Parameter: {
      std::string text = data.ConsumeRandomLengthString(200);
      plugin.Dispatch(opcode, index, value, no_record ? nullptr : text.data(), opt);
      return;
    }
    case vst::effSetChunk: {
      std::string chunk = data.ConsumeRandomLengthString(256);
      plugin.Dispatch(opcode, index, static_cast<intptr_t>(chunk.size()),
                      no_record ? nullptr : chunk.data(), opt);
      return;
    }
    case vst::effVendorSpecific:
      VendorRequest(plugin, data);
      return;
    default:
      break;
  }
  out.Reset();
  const bool null_ptr = data.ConsumeIntegralInRange(0, 15) == 0;
  plugin.Dispatch(opcode, index, value, null_ptr ? nullptr : out.bytes, opt);
  if (null_ptr) return;
  switch (WhatOpcodeWrites(opcode)) {
    case Writes::kText:
      out.CheckText(opcode);
      break;
    case Writes::kPinProperties: {
      out.CheckUntouchedFrom(sizeof(vst::VstPinProperties), opcode);
      if (out.bytes[0] != kUnwritten) {
        Check(std::memchr(out.bytes, 0, kTextRoom) != nullptr, "pin label without its end");
      }
      break;
    }
    case Writes::kPointer:
      out.CheckUntouchedFrom(sizeof(void*), opcode);
      break;
    case Writes::kNothing:
      out.CheckUntouchedFrom(0, opcode);
      break;
  }
}

}  // namespace
}  // namespace vellicor::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  using namespace vellicor::fuzz;
  FuzzedDataProvider data(bytes, size);
  const bool editor_open = data.ConsumeBool();
  FuzzedPlugin& plugin = FuzzedPlugin::Instance(editor_open);
  plugin.StartInput();
  EditorOpens opens;
  for (int call = 0; call < 64 && data.remaining_bytes() > 0; ++call) {
    switch (data.ConsumeIntegralInRange(0, 9)) {
      case 0:
        plugin.SetParameter(data.ConsumeIntegralInRange<int32_t>(-2, 1601), FuzzedValue(data));
        break;
      case 1:
        plugin.GetParameter(data.ConsumeBool() ? data.ConsumeIntegralInRange<int32_t>(-2, 1601)
                                               : data.ConsumeIntegral<int32_t>());
        break;
      case 2:
        plugin.Render(data.ConsumeIntegralInRange<int32_t>(0, 1024), data.ConsumeBool());
        break;
      case 3:
        plugin.host().tempo_times_10000 = data.ConsumeIntegral<int32_t>();
        plugin.host().has_time_info = data.ConsumeBool();
        break;
      default:
        DispatchOne(plugin, data, editor_open, opens);
        break;
    }
  }
  while (opens.open-- > 0) plugin.Dispatch(vst::effEditClose, 0, 0, nullptr, 0.0f);
  plugin.Render(256, true);
  return 0;
}
