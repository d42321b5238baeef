// The LV2 UI: the editor form as an X11 child of the host's widget (ui:parent), opened through
// the editor session every host side shares. Port values arrive as port events; every edit
// leaves through the host's write function as a port change, so the host records it as
// automation. The plug-in sends its controller map on the notify port.
#include <lv2/atom/forge.h>
#include <lv2/atom/util.h>
#include <lv2/core/lv2.h>
#include <lv2/options/options.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "editor/editor_session.h"
#include "lv2/parameter_ports.h"
#include "patch/factory_bank.h"

namespace vellicor::lv2 {
namespace {

class EditorUi final : public EditorHost {
 public:
  EditorUi(LV2UI_Write_Function write, LV2UI_Controller controller, LV2_URID_Map* map,
           const LV2UI_Resize* resize, double host_scale)
      : write_(write), controller_(controller), map_(map), resize_(resize), session_(*this) {
    session_.SetHostScale(host_scale);
    event_transfer_ = map->map(map->handle, LV2_ATOM__eventTransfer);
    atom_vector_ = map->map(map->handle, LV2_ATOM__Vector);
    atom_int_ = map->map(map->handle, LV2_ATOM__Int);
    // Until the host sends the ports' values the form shows program 0 as the plug-in starts.
    factory_bank::Fill(0, values_);
    values_[param::kEvolverAmount] = values_[param::kEvolverLevel] = 0.5f;
    for (int& entry : map_entries_) entry = param::kNoController;
  }

  bool Open(void* parent) {
    if (!session_.Open(parent)) return false;
    if (resize_) resize_->ui_resize(resize_->handle, session_.width(), session_.height());
    AskForControllerMap();
    return true;
  }

  LV2UI_Widget Widget() { return session_.window()->NativeHandle(); }

  void PortEvent(uint32_t port, uint32_t size, uint32_t format, const void* buffer) {
    if (format == 0 && port < static_cast<uint32_t>(kControlPortCount) && size == sizeof(float)) {
      std::memcpy(&values_[port], buffer, sizeof(float));
      session_.ValueChanged(static_cast<int>(port));
      return;
    }
    if (port != kNotifyPort || format != event_transfer_ || size < sizeof(LV2_Atom)) return;
    const auto* atom = static_cast<const LV2_Atom*>(buffer);
    if (atom->type != atom_vector_ || atom->size + sizeof(LV2_Atom) > size) return;
    const auto* vector = reinterpret_cast<const LV2_Atom_Vector*>(atom);
    if (vector->body.child_type != atom_int_ || vector->body.child_size != sizeof(int32_t)) return;
    const uint32_t count = (atom->size - sizeof(LV2_Atom_Vector_Body)) / sizeof(int32_t);
    const auto* entries = reinterpret_cast<const int32_t*>(&vector->body + 1);
    for (uint32_t i = 0; i < count && i < static_cast<uint32_t>(param::kControllerMapSize); ++i) {
      map_entries_[i] = entries[i];
    }
  }

  int Idle() {
    FlushEdits();
    session_.Idle();
    return 0;
  }

  // EditorHost
  float Value(int index) const override {
    return index >= 0 && index < param::kPatchSize ? values_[index] : 0.0f;
  }
  int Controller(int index) const override {
    return index >= 0 && index < param::kControllerMapSize ? map_entries_[index]
                                                           : param::kNoController;
  }
  // The user chose another size in the editor: the host's widget follows.
  bool RequestResize(int width, int height) override {
    return resize_ && resize_->ui_resize(resize_->handle, width, height) == 0;
  }

  void setParameterAutomated(int32_t index, float value) override {
    if (index < 0 || index >= kControlPortCount) return;
    values_[index] = value;
    // The host's write function belongs to its UI thread. The editor's own fallback thread
    // (when the host stops idling for a while) leaves its edits for the next idle call.
    if (std::this_thread::get_id() == ui_thread_) {
      write_(controller_, static_cast<uint32_t>(index), sizeof value, 0, &value);
      return;
    }
    std::lock_guard<std::mutex> lock(pending_mutex_);
    pending_.emplace_back(index, value);
  }

 private:
  void FlushEdits() {
    std::vector<std::pair<int32_t, float>> edits;
    {
      std::lock_guard<std::mutex> lock(pending_mutex_);
      edits.swap(pending_);
    }
    for (const auto& [index, value] : edits) {
      write_(controller_, static_cast<uint32_t>(index), sizeof value, 0, &value);
    }
  }

  void AskForControllerMap() {
    uint8_t buffer[64];
    LV2_Atom_Forge forge;
    lv2_atom_forge_init(&forge, map_);
    lv2_atom_forge_set_buffer(&forge, buffer, sizeof buffer);
    LV2_Atom_Forge_Frame frame;
    const LV2_URID kind = map_->map(map_->handle, kGetControllerMapUri);
    auto* message = reinterpret_cast<LV2_Atom*>(lv2_atom_forge_object(&forge, &frame, 0, kind));
    lv2_atom_forge_pop(&forge, &frame);
    if (message) {
      write_(controller_, kMidiInPort, lv2_atom_total_size(message), event_transfer_, message);
    }
  }

  LV2UI_Write_Function write_;
  LV2UI_Controller controller_;
  LV2_URID_Map* map_;
  const LV2UI_Resize* resize_;
  LV2_URID event_transfer_ = 0, atom_vector_ = 0, atom_int_ = 0;
  const std::thread::id ui_thread_ = std::this_thread::get_id();
  std::mutex pending_mutex_;
  std::vector<std::pair<int32_t, float>> pending_;
  // The sound as the host's ports last told it, and the controller map as the plug-in did.
  float values_[param::kPatchSize] = {};
  int map_entries_[param::kControllerMapSize] = {};
  // Last: the window reads through this UI until it is gone.
  EditorSession session_;
};

// The host's scale factor for user interfaces (ui:scaleFactor among its options); 0 for none.
double HostScale(LV2_URID_Map* map, const LV2_Options_Option* options) {
  const LV2_URID key = map->map(map->handle, LV2_UI__scaleFactor);
  const LV2_URID float_type = map->map(map->handle, LV2_ATOM__Float);
  const LV2_URID double_type = map->map(map->handle, LV2_ATOM__Double);
  for (const LV2_Options_Option* o = options; o && o->key != 0; ++o) {
    if (o->key != key || o->context != LV2_OPTIONS_INSTANCE || !o->value) continue;
    if (o->type == float_type && o->size == sizeof(float))
      return *static_cast<const float*>(o->value);
    if (o->type == double_type && o->size == sizeof(double)) {
      return *static_cast<const double*>(o->value);
    }
  }
  return 0.0;
}

EditorUi* Of(LV2UI_Handle handle) {
  return static_cast<EditorUi*>(handle);
}

LV2UI_Handle Instantiate(const LV2UI_Descriptor*, const char*, const char*,
                         LV2UI_Write_Function write, LV2UI_Controller controller,
                         LV2UI_Widget* widget, const LV2_Feature* const* features) {
  LV2_URID_Map* map = nullptr;
  void* parent = nullptr;
  const LV2UI_Resize* resize = nullptr;
  const LV2_Options_Option* options = nullptr;
  for (int i = 0; features && features[i]; ++i) {
    const char* uri = features[i]->URI;
    if (std::strcmp(uri, LV2_URID__map) == 0) map = static_cast<LV2_URID_Map*>(features[i]->data);
    if (std::strcmp(uri, LV2_UI__parent) == 0) parent = features[i]->data;
    if (std::strcmp(uri, LV2_UI__resize) == 0) {
      resize = static_cast<const LV2UI_Resize*>(features[i]->data);
    }
    if (std::strcmp(uri, LV2_OPTIONS__options) == 0) {
      options = static_cast<const LV2_Options_Option*>(features[i]->data);
    }
  }
  // Without a parent there is no host window to live in, and a top-level window of our own
  // is not what an X11 UI promises.
  if (!map || !parent || !write || !widget) return nullptr;
  try {
    auto ui = std::make_unique<EditorUi>(write, controller, map, resize, HostScale(map, options));
    if (!ui->Open(parent)) return nullptr;
    *widget = ui->Widget();
    return ui.release();
  } catch (...) {
    return nullptr;
  }
}

void Cleanup(LV2UI_Handle handle) {
  delete Of(handle);
}

void PortEvent(LV2UI_Handle handle, uint32_t port, uint32_t size, uint32_t format,
               const void* buffer) {
  Of(handle)->PortEvent(port, size, format, buffer);
}

int Idle(LV2UI_Handle handle) {
  return Of(handle)->Idle();
}

const void* ExtensionData(const char* uri) {
  static const LV2UI_Idle_Interface idle = {Idle};
  if (std::strcmp(uri, LV2_UI__idleInterface) == 0) return &idle;
  return nullptr;
}

const LV2UI_Descriptor kDescriptor = {kUiUri, Instantiate, Cleanup, PortEvent, ExtensionData};

}  // namespace
}  // namespace vellicor::lv2

LV2_SYMBOL_EXPORT const LV2UI_Descriptor* lv2ui_descriptor(uint32_t index) {
  return index == 0 ? &vellicor::lv2::kDescriptor : nullptr;
}
