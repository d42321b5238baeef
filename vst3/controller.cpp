// The VST 3 edit controller and the editor's view: parameters with the editor's texts, the
// hidden parameters MIDI is mapped to, the program list, and the embedded editor.
#if defined(_WIN32)
#include <windows.h>
#endif

#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "editor/parameter_text.h"
#include "engine/engine.h"
#include "patch/factory_bank.h"
#include "vst3/vst3_plugin.h"

namespace vellicor::vst3 {
namespace {

bool Same(const v3_tuid a, const v3_tuid b) {
  return v3_tuid_match(a, b);
}

constexpr int32_t kSoundParameters = param::kHostParameterCount;
// The sound's parameters, then the controllers, the pitch bend and the program.
constexpr int32_t kParameterCount = kSoundParameters + kControllerParameters + 2;
constexpr int32_t kUnit = 0;  // the root unit, which holds everything
// How often the host's run loop idles the editor on Linux.
constexpr uint64_t kIdlePeriodMs = 20;

// The controller map is asked for again every second while the editor shows.
constexpr int kAskEveryTicks = 50;

#if defined(_WIN32)
constexpr const char* kPlatformType = V3_VIEW_PLATFORM_TYPE_HWND;

// The views' timers on the user-interface thread, by the id Windows gave them.
std::vector<std::pair<uintptr_t, View*>>& WindowsTimers() {
  static std::vector<std::pair<uintptr_t, View*>> timers;
  return timers;
}
#else
constexpr const char* kPlatformType = V3_VIEW_PLATFORM_TYPE_X11;
#endif

bool IsSound(v3_param_id id) {
  return id < static_cast<v3_param_id>(kSoundParameters);
}

double Limited(double value) {
  if (!(value >= 0.0)) return 0.0;
  return value > 1.0 ? 1.0 : value;
}

int ProgramOf(double normalised) {
  return static_cast<int>(std::lround(Limited(normalised) * (kNumPrograms - 1)));
}

// A component handler's table, as the host lays it out.
struct v3_component_handler_cpp : v3_funknown {
  v3_component_handler handler;
};
struct v3_plugin_frame_table : v3_funknown {
  v3_plugin_frame frame;
};

}  // namespace

// --- The controller
// --------------------------------------------------------------------------------

v3_result EditController::Create(const v3_tuid iid, void** object) {
  EditController* controller = nullptr;
  try {
    controller = new EditController();
  } catch (...) {
    return V3_NOMEM;
  }
  const v3_result result = controller->QueryInterface(iid, object);
  controller->Unref();
  return result;
}

EditController::EditController() : session_(*this) {
  static const v3_edit_controller_cpp controller = {
      Unknown<EditController>(),
      {[](void* self, v3_funknown** context) VST3_CALL -> v3_result {
         EditController* c = OwnerOf<EditController>(self);
         if (c->host_context_) return V3_FALSE;
         c->host_context_ = context;
         if (context) TableOf<v3_funknown>(context).ref(context);
         return V3_OK;
       },
       [](void* self) VST3_CALL -> v3_result {
         EditController* c = OwnerOf<EditController>(self);
         c->session_.Close();
         c->SetHandler(nullptr);
         if (c->component_) c->component_->Unref();
         c->component_ = nullptr;
         Release(c->peer_);
         c->peer_ = nullptr;
         Release(c->host_context_);
         c->host_context_ = nullptr;
         return V3_OK;
       }},
      {[](void* self, v3_bstream** stream) VST3_CALL -> v3_result {
         return OwnerOf<EditController>(self)->SetComponentState(stream);
       },
       // The controller keeps nothing of its own: the component's state is the whole of it.
       [](void*, v3_bstream**) VST3_CALL -> v3_result { return V3_OK; },
       [](void*, v3_bstream**) VST3_CALL -> v3_result { return V3_OK; },
       [](void*) VST3_CALL -> int32_t { return kParameterCount; },
       [](void* self, int32_t index, v3_param_info* info) VST3_CALL -> v3_result {
         return OwnerOf<EditController>(self)->ParameterInfo(index, info);
       },
       [](void* self, v3_param_id id, double value, v3_str_128 text) VST3_CALL -> v3_result {
         return OwnerOf<EditController>(self)->TextFor(id, value, text);
       },
       [](void* self, v3_param_id id, int16_t* text, double* value) VST3_CALL -> v3_result {
         return OwnerOf<EditController>(self)->ValueFor(id, text, value);
       },
       [](void*, v3_param_id id, double normalised) VST3_CALL -> double {
         return id == kProgramParameter ? ProgramOf(normalised) : normalised;
       },
       [](void*, v3_param_id id, double plain) VST3_CALL -> double {
         return id == kProgramParameter ? Limited(plain / (kNumPrograms - 1)) : plain;
       },
       [](void* self, v3_param_id id)
           VST3_CALL -> double { return OwnerOf<EditController>(self)->Normalised(id); },
       [](void* self, v3_param_id id, double value) VST3_CALL -> v3_result {
         return OwnerOf<EditController>(self)->SetNormalised(id, value);
       },
       [](void* self, v3_component_handler** handler)
           VST3_CALL -> v3_result { return OwnerOf<EditController>(self)->SetHandler(handler); },
       [](void* self, const char* name) VST3_CALL -> v3_plugin_view** {
         return static_cast<v3_plugin_view**>(OwnerOf<EditController>(self)->CreateView(name));
       }}};
  static const v3_midi_mapping_cpp midi_mapping = {
      Unknown<EditController>(),
      {[](void*, int32_t bus, int16_t, int16_t number, v3_param_id* id) VST3_CALL -> v3_result {
        // Every channel plays alike: the synth is not multitimbral.
        if (bus != 0 || !id) return V3_FALSE;
        if (number >= 0 && number < kControllerParameters) {
          *id = kControllerParameter + static_cast<v3_param_id>(number);
          return V3_OK;
        }
        constexpr int16_t kPitchBendNumber = 129;  // what VST 3 calls the pitch-bend wheel
        if (number == kPitchBendNumber) {
          *id = kPitchBendParameter;
          return V3_OK;
        }
        return V3_FALSE;
      }}};
  static const v3_unit_information_cpp unit_info = {
      Unknown<EditController>(),
      {[](void*) VST3_CALL -> int32_t { return 1; },
       [](void*, int32_t index, v3_unit_info* info) VST3_CALL -> v3_result {
         if (index != 0 || !info) return V3_INVALID_ARG;
         *info = {};
         info->id = kUnit;
         info->parent_unit_id = -1;
         CopyToUtf16(info->name, "Vellicor");
         info->program_list_id = kProgramListId;
         return V3_OK;
       },
       [](void*) VST3_CALL -> int32_t { return 1; },
       [](void*, int32_t index, v3_program_list_info* info) VST3_CALL -> v3_result {
         if (index != 0 || !info) return V3_INVALID_ARG;
         *info = {};
         info->id = kProgramListId;
         CopyToUtf16(info->name, "Programs");
         info->programCount = kNumPrograms;
         return V3_OK;
       },
       [](void* self, int32_t list, int32_t index, v3_str_128 name) VST3_CALL -> v3_result {
         if (list != kProgramListId || index < 0 || index >= kNumPrograms || !name) {
           return V3_INVALID_ARG;
         }
         CopyToUtf16(name, OwnerOf<EditController>(self)->ProgramName(index));
         return V3_OK;
       },
       [](void*, int32_t, int32_t, const char*, v3_str_128)
           VST3_CALL -> v3_result { return V3_FALSE; },
       [](void*, int32_t, int32_t) VST3_CALL -> v3_result { return V3_FALSE; },
       [](void*, int32_t, int32_t, int16_t, v3_str_128) VST3_CALL -> v3_result { return V3_FALSE; },
       [](void*) VST3_CALL -> int32_t { return kUnit; },
       [](void*, int32_t unit) VST3_CALL -> v3_result { return unit == kUnit ? V3_OK : V3_FALSE; },
       [](void*, int32_t, int32_t, int32_t, int32_t, int32_t* unit) VST3_CALL -> v3_result {
         if (!unit) return V3_INVALID_ARG;
         *unit = kUnit;
         return V3_OK;
       },
       [](void*, int32_t, int32_t, v3_bstream**) VST3_CALL -> v3_result { return V3_FALSE; }}};
  static const v3_connection_point_cpp connection = {
      Unknown<EditController>(),
      {[](void* self, v3_connection_point** other)
           VST3_CALL -> v3_result { return OwnerOf<EditController>(self)->Connect(other); },
       [](void* self, v3_connection_point**) VST3_CALL -> v3_result {
         EditController* c = OwnerOf<EditController>(self);
         if (c->component_) c->component_->Unref();
         c->component_ = nullptr;
         return V3_OK;
       },
       [](void*, v3_message**) VST3_CALL -> v3_result { return V3_OK; }}};
  controller_ = {&controller, this};
  midi_mapping_ = {&midi_mapping, this};
  unit_info_ = {&unit_info, this};
  connection_ = {&connection, this};
  for (int i = 0; i < param::kControllerMapSize; ++i) {
    controllers_[i] = static_cast<uint8_t>(DefaultController(i));
  }
  LoadProgramValues(0);  // the component starts with program 0
}

EditController::~EditController() {
  session_.Close();
  SetHandler(nullptr);
  if (component_) component_->Unref();
  Release(peer_);
  Release(host_context_);
}

v3_result EditController::QueryInterface(const v3_tuid iid, void** object) {
  if (!object) return V3_INVALID_ARG;
  void* face = nullptr;
  if (Same(iid, v3_funknown_iid) || Same(iid, v3_plugin_base_iid) ||
      Same(iid, v3_edit_controller_iid)) {
    face = &controller_;
  } else if (Same(iid, v3_midi_mapping_iid)) {
    face = &midi_mapping_;
  } else if (Same(iid, v3_unit_information_iid)) {
    face = &unit_info_;
  } else if (Same(iid, v3_connection_point_iid)) {
    face = &connection_;
  }
  *object = face;
  if (!face) return V3_NO_INTERFACE;
  Ref();
  return V3_OK;
}

v3_result EditController::Connect(void* other) {
  if (!other) return V3_INVALID_ARG;
  TableOf<v3_funknown>(other).ref(other);
  Release(peer_);
  peer_ = other;
  if (component_) component_->Unref();
  component_ = ComponentOf(other);
  AskForState();
  return V3_OK;
}

void EditController::AskForState() {
  if (component_ || !peer_) return;  // read directly when we can
  void* message = NewMessage(host_context_, kGetStateMessage, nullptr);
  Notify(peer_, message);
  Release(message);
}

void EditController::TakeState(const std::vector<uint8_t>& bytes, bool values) {
  std::optional<state::Snapshot> snapshot = state::Decode(bytes);
  if (!snapshot) return;
  if (values) {
    for (int i = 0; i < kSoundParameters; ++i) values_[i] = snapshot->values[i];
    program_ = static_cast<double>(snapshot->program) / (kNumPrograms - 1);
    session_.AllValuesChanged();
  }
  told_ = std::move(snapshot);
}

v3_result EditController::SetComponentState(void* stream) {
  std::vector<uint8_t> bytes;
  if (!ReadStream(stream, &bytes, state::kSize)) return V3_INVALID_ARG;
  if (!state::Decode(bytes)) return V3_FALSE;
  TakeState(bytes, true);
  return V3_OK;
}

v3_result EditController::ParameterInfo(int32_t index, v3_param_info* info) const {
  if (!info || index < 0 || index >= kParameterCount) return V3_INVALID_ARG;
  *info = {};
  info->unit_id = kUnit;
  info->flags = V3_PARAM_CAN_AUTOMATE;
  if (index < kSoundParameters) {
    info->param_id = static_cast<v3_param_id>(index);
    CopyToUtf16(info->title, param::Name(index).view());
    CopyToUtf16(info->short_title, param::Name(index).view());
    info->default_normalised_value = param::DefaultValue(index);
    return V3_OK;
  }
  // The MIDI VST 3 does not carry, mapped to parameters no one needs to see.
  info->flags |= V3_PARAM_IS_HIDDEN;
  if (index < kSoundParameters + kControllerParameters) {
    const int number = index - kSoundParameters;
    info->param_id = kControllerParameter + static_cast<v3_param_id>(number);
    char title[32];
    std::snprintf(title, sizeof title, "MIDI controller %d", number);
    CopyToUtf16(info->title, title);
    CopyToUtf16(info->short_title, title);
    info->step_count = 127;
    return V3_OK;
  }
  if (index == kSoundParameters + kControllerParameters) {
    info->param_id = kPitchBendParameter;
    CopyToUtf16(info->title, "Pitch bend wheel");
    CopyToUtf16(info->short_title, "Bend");
    info->default_normalised_value = 0.5;
    return V3_OK;
  }
  info->param_id = kProgramParameter;
  info->flags = V3_PARAM_CAN_AUTOMATE | V3_PARAM_IS_LIST | V3_PARAM_PROGRAM_CHANGE;
  CopyToUtf16(info->title, "Program");
  CopyToUtf16(info->short_title, "Program");
  info->step_count = kNumPrograms - 1;
  return V3_OK;
}

v3_result EditController::TextFor(v3_param_id id, double value, int16_t* text) const {
  if (!text) return V3_INVALID_ARG;
  if (IsSound(id)) {
    CopyToUtf16(
        text, editor::logic::ParameterText(static_cast<int>(id), static_cast<float>(Limited(value)),
                                           values_[param::kFilterType]));
    return V3_OK;
  }
  if (id == kProgramParameter) {
    CopyToUtf16(text, ProgramName(ProgramOf(value)));
    return V3_OK;
  }
  if ((id >= kControllerParameter && id < kControllerParameter + kControllerParameters) ||
      id == kPitchBendParameter) {
    char number[16];
    std::snprintf(number, sizeof number, "%ld", std::lround(Limited(value) * 127.0));
    CopyToUtf16(text, number);
    return V3_OK;
  }
  return V3_INVALID_ARG;
}

v3_result EditController::ValueFor(v3_param_id id, const int16_t* text, double* value) const {
  if (!text || !value) return V3_INVALID_ARG;
  const std::string typed = FromUtf16(text);
  if (IsSound(id)) {
    const auto parsed =
        editor::logic::ParameterValue(static_cast<int>(id), typed, values_[param::kFilterType]);
    if (!parsed) return V3_FALSE;
    *value = *parsed;
    return V3_OK;
  }
  if (id == kProgramParameter) {
    for (int p = 0; p < kNumPrograms; ++p) {
      if (ProgramName(p) == typed) {
        *value = static_cast<double>(p) / (kNumPrograms - 1);
        return V3_OK;
      }
    }
  }
  return V3_FALSE;
}

double EditController::Normalised(v3_param_id id) const {
  if (IsSound(id)) return values_[id];
  if (id == kProgramParameter) return program_;
  if (id == kPitchBendParameter) return 0.5;
  return 0.0;
}

v3_result EditController::SetNormalised(v3_param_id id, double value) {
  value = Limited(value);
  if (IsSound(id)) {
    values_[id] = static_cast<float>(value);
    session_.ValueChanged(static_cast<int>(id));
    return V3_OK;
  }
  if (id == kProgramParameter) {
    program_ = value;
    LoadProgramValues(ProgramOf(value));
    // Every value follows the program: the host reads them again.
    if (handler_) {
      TableOf<v3_component_handler_cpp>(handler_).handler.restart_component(
          handler_, V3_RESTART_PARAM_VALUES_CHANGED);
    }
    return V3_OK;
  }
  return id >= kControllerParameter && id <= kPitchBendParameter ? V3_OK : V3_INVALID_ARG;
}

v3_result EditController::SetHandler(void* handler) {
  if (handler == handler_) return V3_OK;
  if (handler) TableOf<v3_funknown>(handler).ref(handler);
  Release(handler_);
  handler_ = handler;
  return V3_OK;
}

void* EditController::CreateView(const char* name) {
  if (!name || std::strcmp(name, "editor") != 0 || view_) return nullptr;
  try {
    view_ = new View(this);
  } catch (...) {
    return nullptr;
  }
  void* face = nullptr;
  view_->QueryInterface(v3_plugin_view_iid, &face);
  view_->Unref();  // the host's reference is the one the query took
  return face;
}

std::string EditController::ProgramName(int index) const {
  if (index < 0 || index >= kNumPrograms) return {};
  if (component_) return component_->synth().program(index).name;
  if (told_) return told_->names[index];
  const char* name = factory_bank::Name(index);
  return name ? name : "";
}

void EditController::LoadProgramValues(int index) {
  float values[param::kPatchSize] = {};
  if (component_) {
    const Program& program = component_->synth().program(index);
    for (int i = 0; i < param::kPatchSize; ++i) values[i] = program.values[i];
  } else {
    factory_bank::Fill(index, values);
  }
  for (int i = 0; i < kSoundParameters; ++i) values_[i] = values[i];
  // What selection leaves: the evolver's sliders at the middle, the learn command at rest.
  values_[param::kEvolverAmount] = values_[param::kEvolverLevel] = 0.5f;
  values_[param::kLearnCommand] = 0.0f;
  session_.AllValuesChanged();
}

float EditController::Value(int index) const {
  return index >= 0 && index < kSoundParameters ? values_[index] : 0.0f;
}

int EditController::Controller(int index) const {
  if (component_) return component_->synth().ControllerFor(index);
  if (index < 0 || index >= param::kControllerMapSize) return param::kNoController;
  return told_ ? told_->controllers[index] : controllers_[index];
}

void EditController::setParameterAutomated(int32_t index, float value) {
  if (index < 0 || index >= kSoundParameters) return;
  values_[index] = static_cast<float>(Limited(value));
  if (handler_) {
    TableOf<v3_component_handler_cpp>(handler_).handler.perform_edit(
        handler_, static_cast<v3_param_id>(index), values_[index]);
  }
}

void EditController::BeginEdit(int32_t index) {
  if (handler_ && index >= 0 && index < kSoundParameters) {
    TableOf<v3_component_handler_cpp>(handler_).handler.begin_edit(handler_,
                                                                   static_cast<v3_param_id>(index));
  }
}

void EditController::EndEdit(int32_t index) {
  if (handler_ && index >= 0 && index < kSoundParameters) {
    TableOf<v3_component_handler_cpp>(handler_).handler.end_edit(handler_,
                                                                 static_cast<v3_param_id>(index));
  }
}

bool EditController::RequestResize(int width, int height) {
  return view_ && view_->Resize(width, height);
}

// --- The view
// --------------------------------------------------------------------------------------

View::View(EditController* controller) : controller_(controller) {
  static const v3_plugin_view_cpp view = {
      Unknown<View>(),
      {[](void*, const char* type) VST3_CALL -> v3_result {
         return type && std::strcmp(type, kPlatformType) == 0 ? V3_OK : V3_FALSE;
       },
       [](void* self, void* parent, const char* type)
           VST3_CALL -> v3_result { return OwnerOf<View>(self)->Attached(parent, type); },
       [](void* self) VST3_CALL -> v3_result { return OwnerOf<View>(self)->Removed(); },
       [](void*, float) VST3_CALL -> v3_result { return V3_FALSE; },
       [](void*, int16_t, int16_t, int16_t) VST3_CALL -> v3_result { return V3_FALSE; },
       [](void*, int16_t, int16_t, int16_t) VST3_CALL -> v3_result { return V3_FALSE; },
       [](void* self, v3_view_rect* rect)
           VST3_CALL -> v3_result { return OwnerOf<View>(self)->GetSize(rect); },
       // The size follows the scale alone: whatever the host offers, the view keeps its own.
       [](void*, v3_view_rect* rect)
           VST3_CALL -> v3_result { return rect ? V3_OK : V3_INVALID_ARG; },
       [](void*, v3_bool) VST3_CALL -> v3_result { return V3_OK; },
       [](void* self, v3_plugin_frame** frame) VST3_CALL -> v3_result {
         // As hosts expect, the frame is used, not held: it outlives the view's attachment.
         OwnerOf<View>(self)->frame_ = frame;
         return V3_OK;
       },
       [](void*) VST3_CALL -> v3_result { return V3_FALSE; },
       [](void* self, v3_view_rect* rect)
           VST3_CALL -> v3_result { return OwnerOf<View>(self)->GetSize(rect); }}};
  static const v3_plugin_view_content_scale_cpp scale = {
      Unknown<View>(), {[](void* self, float factor) VST3_CALL -> v3_result {
        if (!(factor > 0.0f)) return V3_INVALID_ARG;
        OwnerOf<View>(self)->controller_->session().SetHostScale(factor);
        return V3_OK;
      }}};
  static const v3_timer_handler_cpp timer = {Unknown<View>(), {[](void* self) VST3_CALL {
                                               OwnerOf<View>(self)->controller_->session().Idle();
                                             }}};
  view_ = {&view, this};
  scale_ = {&scale, this};
  timer_ = {&timer, this};
  controller_->Ref();
}

View::~View() {
  Removed();
  controller_->ViewGone(this);
  controller_->Unref();
}

v3_result View::QueryInterface(const v3_tuid iid, void** object) {
  if (!object) return V3_INVALID_ARG;
  void* face = nullptr;
  if (Same(iid, v3_funknown_iid) || Same(iid, v3_plugin_view_iid)) {
    face = &view_;
  } else if (Same(iid, v3_plugin_view_content_scale_iid)) {
    face = &scale_;
  } else if (Same(iid, v3_timer_handler_iid)) {
    face = &timer_;
  }
  *object = face;
  if (!face) return V3_NO_INTERFACE;
  Ref();
  return V3_OK;
}

#if defined(_WIN32)
namespace {
void CALLBACK WindowsTimer(HWND, UINT, UINT_PTR id, DWORD) {
  for (const auto& [timer, view] : WindowsTimers()) {
    if (timer == id) {
      view->OnTimer();
      return;
    }
  }
}
}  // namespace
#endif

v3_result View::Attached(void* parent, const char* type) {
  if (attached_ || !parent || !type || std::strcmp(type, kPlatformType) != 0) return V3_FALSE;
  if (!controller_->session().Open(parent)) return V3_FALSE;
  attached_ = true;
#if defined(_WIN32)
  // Windows hosts leave views to their own timers, on the thread that made the window.
  windows_timer_ = SetTimer(nullptr, 0, static_cast<UINT>(kIdlePeriodMs), &WindowsTimer);
  if (windows_timer_) WindowsTimers().push_back({windows_timer_, this});
#else
  // Linux hosts idle views through their run loop, found on the frame.
  run_loop_ = Query(frame_, v3_run_loop_iid);
  if (run_loop_) {
    TableOf<v3_run_loop_cpp>(run_loop_).loop.register_timer(
        run_loop_, reinterpret_cast<v3_timer_handler**>(&timer_), kIdlePeriodMs);
  }
#endif
  controller_->AskForState();
  return V3_OK;
}

void View::OnTimer() {
  controller_->session().Idle();
  // The controller map changes as controllers are learnt: asked for again now and then when
  // the host keeps the component out of reach.
  if (++ticks_ % kAskEveryTicks == 0) controller_->AskForState();
}

v3_result View::Removed() {
  if (!attached_) return V3_FALSE;
#if defined(_WIN32)
  if (windows_timer_) {
    KillTimer(nullptr, windows_timer_);
    std::erase_if(WindowsTimers(), [this](const auto& t) { return t.second == this; });
    windows_timer_ = 0;
  }
#endif
  if (run_loop_) {
    TableOf<v3_run_loop_cpp>(run_loop_).loop.unregister_timer(
        run_loop_, reinterpret_cast<v3_timer_handler**>(&timer_));
    Release(run_loop_);
    run_loop_ = nullptr;
  }
  controller_->session().Close();
  attached_ = false;
  return V3_OK;
}

v3_result View::GetSize(v3_view_rect* rect) const {
  if (!rect) return V3_INVALID_ARG;
  EditorSession& session = controller_->session();
  *rect = {0, 0, session.width(), session.height()};
  return V3_OK;
}

bool View::Resize(int width, int height) {
  if (!frame_) return false;
  v3_view_rect rect{0, 0, width, height};
  void* view = &view_;
  return TableOf<v3_plugin_frame_table>(frame_).frame.resize_view(
             frame_, static_cast<v3_plugin_view**>(view), &rect) == V3_OK;
}

}  // namespace vellicor::vst3
