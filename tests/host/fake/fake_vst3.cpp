// A tiny VST 3 bundle for validate's reference step: a component that plays silence and a
// controller without parameters. Built once clean and once per fault (FAKE_FAULT), each a way
// of counting references wrongly that the step exists to catch.
#include <travesty/audio_processor.h>
#include <travesty/component.h>
#include <travesty/edit_controller.h>
#include <travesty/factory.h>

#include <atomic>
#include <cstring>

#define FAKE_CLEAN 0
#define FAKE_KEEPS_CONTEXT 1  // the component keeps the host's context after terminate
#define FAKE_UNCOUNTED 2      // query_interface hands out the processor without a reference
#define FAKE_OVER_RELEASE 3   // the controller lets the component handler go twice

#ifndef FAKE_FAULT
#define FAKE_FAULT FAKE_CLEAN
#endif

#if defined(_WIN32)
#define FAKE_EXPORT extern "C" __declspec(dllexport)
#else
#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

constexpr v3_tuid kComponentId = V3_ID(0x46616B65, 0x56535433, 0x436F6D70, 0x6F6E656E);
constexpr v3_tuid kControllerId = V3_ID(0x46616B65, 0x56535433, 0x436F6E74, 0x726F6C6C);
constexpr char kState[] = "FAKEVST3";
constexpr v3_result kOk = V3_OK;
constexpr v3_result kFalse = V3_FALSE;
constexpr v3_result kNoInterface = static_cast<v3_result>(V3_NO_INTERFACE);
constexpr v3_result kInvalidArg = static_cast<v3_result>(V3_INVALID_ARG);

// A stream's table as the host lays it out (travesty declares no C++ form of it).
struct StreamTable : v3_funknown {
  v3_bstream stream;
};
const v3_bstream& StreamOf(v3_bstream** stream) {
  return (*reinterpret_cast<StreamTable**>(stream))->stream;
}

class Object;
struct Face {
  const void* table;
  Object* owner;
};

// One COM object with one count for all its interfaces; freed at zero.
class Object {
 public:
  virtual ~Object() = default;
  virtual Face* Find(const v3_tuid iid) = 0;
  static Object* Of(void* self) { return static_cast<Face*>(self)->owner; }
  static v3_result V3_API Query(void* self, const v3_tuid iid, void** out) {
    if (!out) return kInvalidArg;
    Object* object = Of(self);
    *out = object->Find(iid);
    if (!*out) return kNoInterface;
    if (!object->uncounted_) ++object->refs_;
    object->uncounted_ = false;
    return kOk;
  }
  static uint32_t V3_API Ref(void* self) { return ++Of(self)->refs_; }
  static uint32_t V3_API Unref(void* self) {
    Object* object = Of(self);
    const uint32_t left = --object->refs_;
    if (left == 0) delete object;
    return left;
  }

 protected:
  bool uncounted_ = false;  // the next query adds no reference

 private:
  std::atomic<uint32_t> refs_{1};
};

#define FAKE_UNKNOWN \
  { &Object::Query, &Object::Ref, &Object::Unref }

void Release(void* object) {
  if (object) (*static_cast<v3_funknown**>(object))->unref(object);
}
void Retain(void* object) {
  if (object) (*static_cast<v3_funknown**>(object))->ref(object);
}

class Component final : public Object {
 public:
  ~Component() override {
    if (FAKE_FAULT != FAKE_KEEPS_CONTEXT) Release(context_);
  }
  Face* Find(const v3_tuid iid) override {
    if (v3_tuid_match(iid, v3_funknown_iid) || v3_tuid_match(iid, v3_plugin_base_iid) ||
        v3_tuid_match(iid, v3_component_iid)) {
      return &component_;
    }
    if (v3_tuid_match(iid, v3_audio_processor_iid)) {
      uncounted_ = FAKE_FAULT == FAKE_UNCOUNTED;
      return &processor_;
    }
    return nullptr;
  }
  Face* face() { return &component_; }

 private:
  static Component* Of(void* self) { return static_cast<Component*>(Object::Of(self)); }
  static v3_result V3_API Initialize(void* self, v3_funknown** context) {
    Of(self)->context_ = context;
    Retain(context);
    return kOk;
  }
  static v3_result V3_API Terminate(void* self) {
    if (FAKE_FAULT != FAKE_KEEPS_CONTEXT) {
      Release(Of(self)->context_);
      Of(self)->context_ = nullptr;
    }
    return kOk;
  }
  static v3_result V3_API ControllerId(void*, v3_tuid id) {
    std::memcpy(id, kControllerId, sizeof(v3_tuid));
    return kOk;
  }
  static v3_result V3_API IoMode(void*, int32_t) { return kOk; }
  static int32_t V3_API BusCount(void*, int32_t type, int32_t direction) {
    return (type == V3_AUDIO && direction == V3_OUTPUT) ||
                   (type == V3_EVENT && direction == V3_INPUT)
               ? 1
               : 0;
  }
  static v3_result V3_API BusInfo(void*, int32_t type, int32_t direction, int32_t index,
                                  v3_bus_info* info) {
    if (!info || index != 0 || BusCount(nullptr, type, direction) == 0) return kInvalidArg;
    std::memset(info, 0, sizeof *info);
    info->media_type = type;
    info->direction = direction;
    info->channel_count = type == V3_AUDIO ? 2 : 1;
    info->flags = V3_DEFAULT_ACTIVE;
    return kOk;
  }
  static v3_result V3_API Routing(void*, v3_routing_info*, v3_routing_info*) { return V3_FALSE; }
  static v3_result V3_API ActivateBus(void*, int32_t, int32_t, int32_t, v3_bool) { return kOk; }
  static v3_result V3_API SetActive(void*, v3_bool) { return kOk; }
  static v3_result V3_API SetState(void*, v3_bstream** stream) {
    char bytes[sizeof kState] = {};
    int32_t read = 0;
    if (!stream || StreamOf(stream).read(stream, bytes, sizeof kState - 1, &read) != kOk ||
        read != static_cast<int32_t>(sizeof kState - 1) || std::strcmp(bytes, kState) != 0) {
      return V3_FALSE;
    }
    return kOk;
  }
  static v3_result V3_API GetState(void*, v3_bstream** stream) {
    int32_t written = 0;
    if (!stream) return kInvalidArg;
    return StreamOf(stream).write(stream, const_cast<char*>(kState), sizeof kState - 1, &written);
  }
  static v3_result V3_API Arrangements(void*, v3_speaker_arrangement*, int32_t,
                                       v3_speaker_arrangement*, int32_t) {
    return kOk;
  }
  static v3_result V3_API Arrangement(void*, int32_t, int32_t, v3_speaker_arrangement* out) {
    if (out) *out = V3_SPEAKER_L | V3_SPEAKER_R;
    return kOk;
  }
  static v3_result V3_API SampleSize(void*, int32_t size) {
    return size == V3_SAMPLE_32 ? kOk : kFalse;
  }
  static uint32_t V3_API Latency(void*) { return 0; }
  static v3_result V3_API Setup(void*, v3_process_setup*) { return kOk; }
  static v3_result V3_API Processing(void*, v3_bool) { return kOk; }
  static v3_result V3_API Process(void*, v3_process_data* data) {
    for (int32_t b = 0; data && b < data->num_output_buses; ++b) {
      for (int32_t c = 0; c < data->outputs[b].num_channels; ++c) {
        std::memset(data->outputs[b].channel_buffers_32[c], 0,
                    sizeof(float) * static_cast<size_t>(data->nframes));
      }
    }
    return kOk;
  }
  static uint32_t V3_API Tail(void*) { return 0; }

  static constexpr v3_component_cpp kComponent = {
      FAKE_UNKNOWN,
      {&Initialize, &Terminate},
      {&ControllerId, &IoMode, &BusCount, &BusInfo, &Routing, &ActivateBus, &SetActive, &SetState,
       &GetState}};
  static constexpr v3_audio_processor_cpp kProcessor = {
      FAKE_UNKNOWN,
      {&Arrangements, &Arrangement, &SampleSize, &Latency, &Setup, &Processing, &Process, &Tail}};
  Face component_{&kComponent, this};
  Face processor_{&kProcessor, this};
  v3_funknown** context_ = nullptr;
};

class Controller final : public Object {
 public:
  ~Controller() override {
    Release(context_);
    Release(handler_);
  }
  Face* Find(const v3_tuid iid) override {
    if (v3_tuid_match(iid, v3_funknown_iid) || v3_tuid_match(iid, v3_plugin_base_iid) ||
        v3_tuid_match(iid, v3_edit_controller_iid)) {
      return &face_;
    }
    return nullptr;
  }
  Face* face() { return &face_; }

 private:
  static Controller* Of(void* self) { return static_cast<Controller*>(Object::Of(self)); }
  static v3_result V3_API Initialize(void* self, v3_funknown** context) {
    Of(self)->context_ = context;
    Retain(context);
    return kOk;
  }
  static v3_result V3_API Terminate(void* self) {
    Release(Of(self)->context_);
    Of(self)->context_ = nullptr;
    return kOk;
  }
  static v3_result V3_API Stream(void*, v3_bstream**) { return kOk; }
  static int32_t V3_API Count(void*) { return 0; }
  static v3_result V3_API Info(void*, int32_t, v3_param_info*) { return kInvalidArg; }
  static v3_result V3_API ToText(void*, v3_param_id, double, v3_str_128) { return kInvalidArg; }
  static v3_result V3_API FromText(void*, v3_param_id, int16_t*, double*) { return kInvalidArg; }
  static double V3_API Same(void*, v3_param_id, double value) { return value; }
  static double V3_API Get(void*, v3_param_id) { return 0.0; }
  static v3_result V3_API Set(void*, v3_param_id, double) { return kInvalidArg; }
  static v3_result V3_API Handler(void* self, v3_component_handler** handler) {
    Controller* c = Of(self);
    if (FAKE_FAULT == FAKE_OVER_RELEASE && !handler) Release(c->handler_);
    Release(c->handler_);
    c->handler_ = handler;
    Retain(handler);
    return kOk;
  }
  static v3_plugin_view** V3_API View(void*, const char*) { return nullptr; }

  static constexpr v3_edit_controller_cpp kTable = {
      FAKE_UNKNOWN,
      {&Initialize, &Terminate},
      {&Stream, &Stream, &Stream, &Count, &Info, &ToText, &FromText, &Same, &Same, &Get, &Set,
       &Handler, &View}};
  Face face_{&kTable, this};
  v3_funknown** context_ = nullptr;
  v3_component_handler** handler_ = nullptr;
};

class Factory final : public Object {
 public:
  Face* Find(const v3_tuid iid) override {
    if (v3_tuid_match(iid, v3_funknown_iid) || v3_tuid_match(iid, v3_plugin_factory_iid) ||
        v3_tuid_match(iid, v3_plugin_factory_2_iid)) {
      return &face_;
    }
    return nullptr;
  }
  Face* face() { return &face_; }

 private:
  static v3_result V3_API FactoryInfo(void*, v3_factory_info* info) {
    if (!info) return kInvalidArg;
    std::memset(info, 0, sizeof *info);
    std::strcpy(info->vendor, "Fake");
    return kOk;
  }
  static int32_t V3_API Classes(void*) { return 2; }
  static v3_result V3_API ClassInfo(void*, int32_t index, v3_class_info* info) {
    if (!info || index < 0 || index > 1) return kInvalidArg;
    std::memset(info, 0, sizeof *info);
    std::memcpy(info->class_id, index == 0 ? kComponentId : kControllerId, sizeof(v3_tuid));
    info->cardinality = 0x7FFFFFFF;
    std::strcpy(info->category, index == 0 ? "Audio Module Class" : "Component Controller Class");
    std::strcpy(info->name, "Fake");
    return kOk;
  }
  static v3_result V3_API ClassInfo2(void*, int32_t index, v3_class_info_2* info) {
    v3_class_info basic{};
    if (!info || ClassInfo(nullptr, index, &basic) != kOk) return kInvalidArg;
    std::memset(info, 0, sizeof *info);
    std::memcpy(info->class_id, basic.class_id, sizeof(v3_tuid));
    info->cardinality = basic.cardinality;
    std::memcpy(info->category, basic.category, sizeof info->category);
    std::memcpy(info->name, basic.name, sizeof info->name);
    std::strcpy(info->sub_categories, "Instrument");
    std::strcpy(info->vendor, "Fake");
    std::strcpy(info->version, "1.0");
    return kOk;
  }
  static v3_result V3_API Create(void*, const v3_tuid class_id, const v3_tuid iid, void** out) {
    if (!out) return kInvalidArg;
    *out = nullptr;
    Object* object = nullptr;
    if (v3_tuid_match(class_id, kComponentId)) object = new Component;
    if (v3_tuid_match(class_id, kControllerId)) object = new Controller;
    if (!object) return kNoInterface;
    Face* face = object->Find(iid);
    if (!face) {
      delete object;
      return kNoInterface;
    }
    *out = face;
    return kOk;
  }

  static constexpr v3_plugin_factory_cpp kTable = {FAKE_UNKNOWN,
                                                   {&FactoryInfo, &Classes, &ClassInfo, &Create},
                                                   {&ClassInfo2},
                                                   {nullptr, nullptr}};
  Face face_{&kTable, this};
};

}  // namespace

// Zero arguments: the same call whichever convention the host declares.
FAKE_EXPORT void* GetPluginFactory() {
  return (new Factory)->face();
}
#if defined(_WIN32)
FAKE_EXPORT bool InitDll() {
  return true;
}
FAKE_EXPORT bool ExitDll() {
  return true;
}
#else
FAKE_EXPORT bool ModuleEntry(void*) {
  return true;
}
FAKE_EXPORT bool ModuleExit() {
  return true;
}
#endif
