// The dispatcher as an unkind host drives it: any opcode, index, value and option, ptr at a
// buffer of ours with room for whatever the opcode may write (or a well-formed record for the
// opcodes that read one), among automation, parameter reads and rendering. The editor opens
// only without a window (the host's window handle is never garbage).
#include <algorithm>
#include <cstring>
#include <string>

#include "tests/fuzz/fuzzed_plugin.h"
#include "vst/vellicor_requests.h"

namespace vellicor::fuzz {
namespace {

namespace rq = vellicor::requests;

constexpr size_t kTextRoom = 64;  // what hosts give for a name: 63 characters and the end
constexpr uint8_t kUnwritten = 0xA5;

constexpr int32_t kTextOpcodes[] = {vst::effGetProgramName,        vst::effGetParamLabel,
                                    vst::effGetParamDisplay,       vst::effGetParamName,
                                    vst::effGetProgramNameIndexed, vst::effGetEffectName,
                                    vst::effGetErrorText,          vst::effGetVendorString,
                                    vst::effGetProductString,      vst::effShellGetNextPlugin};
constexpr int32_t kPinOpcodes[] = {vst::effGetInputProperties, vst::effGetOutputProperties};
constexpr int32_t kPointerOpcodes[] = {vst::effEditGetRect, vst::effGetChunk};

// The bytes an opcode may write through ptr: a text, a pin record (which begins with its label,
// a text) or a pointer; any other opcode writes nothing.
size_t RoomOf(int32_t opcode) {
  auto among = [opcode](const auto& list) {
    return std::find(std::begin(list), std::end(list), opcode) != std::end(list);
  };
  if (among(kTextOpcodes)) return kTextRoom;
  if (among(kPinOpcodes)) return sizeof(vst::VstPinProperties);
  return among(kPointerOpcodes) ? sizeof(void*) : 0;
}

// One of our editor requests with a well-formed record (its size field now and then wrong).
intptr_t VendorRequest(FuzzedPlugin& plugin, FuzzedDataProvider& data) {
  static uint32_t pixels[700 * 600];
  const int32_t kind = data.ConsumeIntegralInRange<int32_t>(0, 7);
  const std::string name = data.ConsumeRandomLengthString(24);
  const bool bad_size = data.ConsumeIntegralInRange(0, 15) == 0;
  auto request = [&](auto&& record) {
    record.size = bad_size ? data.ConsumeIntegral<int32_t>() : int32_t{sizeof record};
    return plugin.Dispatch(vst::effVendorSpecific, kVendorRequestId, kind, &record, 0.0f);
  };
  // Room for pixels: all of ours, or a count of any sign with none behind it beyond ours.
  auto canvas = [&](auto&& record) -> auto& {
    record.capacity =
        data.ConsumeBool() ? int32_t{sizeof pixels / 4} : data.ConsumeIntegral<int16_t>();
    record.pixels =
        record.capacity > 0 && record.capacity <= int32_t{sizeof pixels / 4} ? pixels : nullptr;
    return record;
  };
  auto some_name = [&] { return data.ConsumeBool() ? name.c_str() : nullptr; };
  // Braced records take their fields from the input in order, as written.
  switch (kind) {
    case rq::kCaptureFrame:
      return request(canvas(rq::CaptureRecord{}));
    case rq::kMouse:
      return request(rq::MouseRecord{
          0, data.ConsumeIntegralInRange(-1, 4), data.ConsumeIntegralInRange(-20, 660),
          data.ConsumeIntegralInRange(-20, 540), data.ConsumeIntegralInRange(-1, 4),
          data.ConsumeIntegralInRange(0, 8)});
    case rq::kAdvanceClock:
      return request(rq::ClockRecord{0, data.ConsumeIntegralInRange(-10, 1200)});
    case rq::kChooseMenuItem:
      return request(rq::MenuItemRecord{0, some_name()});
    case rq::kComponentRect:
      return request(rq::ComponentRecord{.size = 0, .name = some_name()});
    case rq::kOpenMenu:
      return request(canvas(rq::MenuRecord{.size = 0, .item = some_name()}));
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
void DispatchOne(FuzzedPlugin& plugin, FuzzedDataProvider& data, bool editor_open, int& opens) {
  alignas(16) static uint8_t out[4096];
  const int32_t opcode =
      data.ConsumeIntegralInRange<int32_t>(0, vst::effGetNumMidiOutputChannels + 2);
  const int32_t index = data.ConsumeBool() ? data.ConsumeIntegralInRange<int32_t>(-2, 1601)
                                           : data.ConsumeIntegral<int32_t>();
  intptr_t value = data.ConsumeBool() ? data.ConsumeIntegralInRange<intptr_t>(-2, 20)
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
      if (plugin.Dispatch(opcode, index, value, nullptr, opt) != 0) ++opens;  // off-screen
      return;
    case vst::effEditClose:
      if (editor_open && opens == 0) return;
      if (editor_open) --opens;
      plugin.Dispatch(opcode, index, value, nullptr, opt);
      return;
    case vst::effProcessEvents: {
      FuzzedEvents events(data);
      plugin.Dispatch(opcode, index, value, no_record ? nullptr : events.list(), opt);
      return;
    }
    case vst::effSetProgramName:
    case vst::effCanDo:
    case vst::effString2Parameter:
    case vst::effSetChunk: {
      std::string text = data.ConsumeRandomLengthString(opcode == vst::effSetChunk ? 256 : 200);
      if (opcode == vst::effSetChunk) value = static_cast<intptr_t>(text.size());  // its size
      plugin.Dispatch(opcode, index, value, no_record ? nullptr : text.data(), opt);
      return;
    }
    case vst::effVendorSpecific:
      VendorRequest(plugin, data);
      return;
    default:
      break;
  }
  std::memset(out, kUnwritten, sizeof out);
  const bool null_ptr = data.ConsumeIntegralInRange(0, 15) == 0;
  plugin.Dispatch(opcode, index, value, null_ptr ? nullptr : out, opt);
  if (null_ptr) return;
  const size_t room = RoomOf(opcode);
  for (size_t i = room; i < sizeof out; ++i) {
    Check(out[i] == kUnwritten, "wrote past what the opcode may write", opcode);
  }
  // A text the plug-in wrote (its first byte changed) ends within 64 bytes.
  if (room >= kTextRoom && out[0] != kUnwritten) {
    Check(std::memchr(out, 0, kTextRoom) != nullptr, "text without its end in 64 bytes", opcode);
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
  int opens = 0;
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
  while (opens-- > 0) plugin.Dispatch(vst::effEditClose, 0, 0, nullptr, 0.0f);
  plugin.Render(256, true);
  return 0;
}
