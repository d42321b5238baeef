// VST 3 behind the plug-in-under-test interface: a small VST 3 host of our own on the travesty C
// declarations of the interfaces. It loads the bundle (the binary for this platform inside
// Contents/), calls the module's entry and GetPluginFactory, makes the component and the edit
// controller the component names, gives both a host context, connects them through connection
// points of its own, and drives them as hosts do: notes as events at their offsets, other MIDI
// through the controller's MIDI mapping as parameter changes at their offsets, parameter changes
// in input queues, state through streams of its own, the view in a parent window with a plug
// frame (and on Linux a run loop whose timers the host's idle call fires).
//
// The host sees every reference it takes and gives: every object of the plug-in it got is
// released, and at each release the plug-in's own count (asked by a ref/unref pair, which a COM
// object answers with its new count) must be the host's; what the plug-in kept of the host's
// objects, or left alive of its own, is noted for validate's reference step. Calls the plug-in
// made against the format's thread rules are kept as complaints.
#if defined(_WIN32)
#define NOMINMAX
#include <windows.h>
#else
#include <dlfcn.h>
#include <poll.h>
#endif

#include <sys/stat.h>
#include <travesty/audio_processor.h>
#include <travesty/component.h>
#include <travesty/edit_controller.h>
#include <travesty/events.h>
#include <travesty/factory.h>
#include <travesty/host.h>
#include <travesty/message.h>
#include <travesty/unit.h>
#include <travesty/view.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>
#include <utility>

#include "host/plugin_under_test.h"

namespace vellicor::host {
namespace {

using Clock = std::chrono::steady_clock;

constexpr char kAudioModuleClass[] = "Audio Module Class";
// The controller numbers a VST 3 host asks the MIDI mapping for beyond the 128 controllers.
constexpr int16_t kChannelPressure = 128;
constexpr int16_t kPitchBend = 129;
constexpr int16_t kProgramChangeNumber = 130;
constexpr int kMappedNumbers = 131;

// Results whose values do not fit an int32_t literally on Windows, where they are COM's.
constexpr v3_result kOk = V3_OK;
constexpr v3_result kNoInterface = static_cast<v3_result>(V3_NO_INTERFACE);
constexpr v3_result kInvalidArg = static_cast<v3_result>(V3_INVALID_ARG);

// Interface tables travesty declares no C++ form of.
struct BStreamTable : v3_funknown {
  v3_bstream stream;
};
struct ComponentHandlerTable : v3_funknown {
  v3_component_handler handler;
};

// --- text ---------------------------------------------------------------------------------------

std::string Utf8(const int16_t* text, size_t capacity) {
  std::string out;
  for (size_t i = 0; i < capacity && text[i] != 0; ++i) {
    uint32_t c = static_cast<uint16_t>(text[i]);
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < capacity) {
      const uint32_t low = static_cast<uint16_t>(text[i + 1]);
      if (low >= 0xDC00 && low < 0xE000) {
        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        ++i;
      }
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// ASCII is all the host writes (its name).
void Utf16(const std::string& text, int16_t* out, size_t capacity) {
  size_t i = 0;
  for (; i + 1 < capacity && i < text.size(); ++i) out[i] = static_cast<int16_t>(text[i]);
  out[i] = 0;
}

std::string Text(const char* text, size_t capacity) {
  return std::string(text, strnlen(text, capacity));
}

// A class id as the four words it was declared with, the same on every platform (Windows
// lays the first two out in COM's byte order).
std::string Hex(const v3_tuid id) {
  auto word = [&id](int at, const int(&order)[4]) {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value |= static_cast<uint32_t>(id[at + i]) << order[i];
    return value;
  };
  constexpr int kBigEndian[4] = {24, 16, 8, 0};
#if V3_COM_COMPAT
  const uint32_t words[4] = {word(0, {0, 8, 16, 24}), word(4, {16, 24, 0, 8}), word(8, kBigEndian),
                             word(12, kBigEndian)};
#else
  const uint32_t words[4] = {word(0, kBigEndian), word(4, kBigEndian), word(8, kBigEndian),
                             word(12, kBigEndian)};
#endif
  char text[33];
  std::snprintf(text, sizeof text, "%08X%08X%08X%08X", words[0], words[1], words[2], words[3]);
  return text;
}

// --- what the reference step reads --------------------------------------------------------------

// References left unbalanced, noted by the module and every instance of it.
class Findings {
 public:
  void Add(const std::string& finding) {
    std::lock_guard<std::mutex> lock(mutex_);
    findings_.push_back(finding);
  }
  std::vector<std::string> Take() {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::exchange(findings_, {});
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> findings_;
};

// --- the plug-in's objects ----------------------------------------------------------------------

// An interface pointer of the plug-in's, as it hands them out: a pointer to its table pointer.
template <typename T>
struct Ptr {
  T** p = nullptr;
  T* operator->() const { return *p; }
  explicit operator bool() const { return p != nullptr; }
  v3_funknown** unknown() const { return reinterpret_cast<v3_funknown**>(p); }
};

template <typename T, typename From>
Ptr<T> Query(Ptr<From> from, const v3_tuid iid) {
  void* out = nullptr;
  if (!from || from->query_interface(from.p, iid, &out) != V3_OK || !out) return {};
  return {static_cast<T**>(out)};
}

// The object's count, without changing it.
uint32_t CountOf(v3_funknown** object) {
  const uint32_t after = (*object)->ref(object);
  (*object)->unref(object);
  return after - 1;
}

// Lets go of the host's references to one object of the plug-in: the interfaces it got (the
// first is the one the object was made with), each through its own pointer. Its count must be
// the host's before, and zero after. An object that counts fewer is released only that often,
// so the host never touches it after it freed itself.
void ReleaseObject(const std::string& what, std::vector<v3_funknown**> held, Findings& findings) {
  std::erase(held, nullptr);
  if (held.empty()) return;
  const uint32_t count = CountOf(held.front());
  const uint32_t host = static_cast<uint32_t>(held.size());
  if (count > host) {
    findings.Add(what + " counts " + std::to_string(count) + " references where the host holds " +
                 std::to_string(host) + ": it is never freed");
  } else if (count < host) {
    findings.Add(what + " counts " + std::to_string(count) + " references where the host holds " +
                 std::to_string(host) + ": an interface it gave added none");
    held.resize(count);
  }
  // The interfaces first, the object's own pointer last.
  std::reverse(held.begin(), held.end());
  uint32_t left = count;
  for (v3_funknown** object : held) left = (*object)->unref(object);
  if (count == host && left != 0) {
    findings.Add(what + "'s last release left " + std::to_string(left) + " references");
  }
}

// --- the host's objects -------------------------------------------------------------------------

class HostObject;

// One interface of a host object: what the plug-in's pointer points at.
struct Face {
  const void* table;
  HostObject* owner;
};

// A COM object of the host's. It starts with one reference, the host's own (or, for what the
// plug-in asked the host to make, the plug-in's), and counts the plug-in's refs and unrefs.
class HostObject {
 public:
  HostObject(std::string what, bool owned_by_plugin)
      : what_(std::move(what)), owned_by_plugin_(owned_by_plugin) {}
  virtual ~HostObject() = default;
  HostObject(const HostObject&) = delete;
  HostObject& operator=(const HostObject&) = delete;

  // The face for an interface id; null when the object has no such interface.
  virtual Face* Find(const v3_tuid iid) = 0;

  const std::string& what() const { return what_; }
  int refs() const { return refs_; }
  bool over_released() const { return over_released_; }

  static v3_result V3_API QueryInterface(void* self, const v3_tuid iid, void** out) {
    if (!out) return kInvalidArg;
    HostObject* object = Of(self);
    Face* face = object->Find(iid);
    *out = face;
    if (!face) return kNoInterface;
    ++object->refs_;
    return V3_OK;
  }
  static uint32_t V3_API Ref(void* self) { return static_cast<uint32_t>(++Of(self)->refs_); }
  static uint32_t V3_API Unref(void* self) {
    HostObject* object = Of(self);
    const int left = --object->refs_;
    if (left > 0) return static_cast<uint32_t>(left);
    if (left == 0 && object->owned_by_plugin_) {
      delete object;
      return 0;
    }
    // The host's own reference is gone: the plug-in let go of one it never took. The object
    // stays (the host still owns it) and the step that counts says so.
    object->over_released_ = true;
    return 0;
  }

  static HostObject* Of(void* self) { return static_cast<Face*>(self)->owner; }

 private:
  const std::string what_;
  const bool owned_by_plugin_;
  std::atomic<int> refs_{1};
  std::atomic<bool> over_released_{false};
};

#define V3_UNKNOWN \
  { &HostObject::QueryInterface, &HostObject::Ref, &HostObject::Unref }

template <typename Self>
Self* As(void* self) {
  return static_cast<Self*>(HostObject::Of(self));
}

// The host's state stream: reads and writes bytes in memory, as a host's file does.
class Stream final : public HostObject {
 public:
  Stream() : HostObject("a state stream", false) {}
  explicit Stream(std::vector<uint8_t> bytes) : Stream() { bytes_ = std::move(bytes); }
  Face* Find(const v3_tuid iid) override {
    if (v3_tuid_match(iid, v3_funknown_iid) || v3_tuid_match(iid, v3_bstream_iid)) return &face_;
    return nullptr;
  }
  v3_bstream** get() { return reinterpret_cast<v3_bstream**>(&face_); }
  std::vector<uint8_t>& bytes() { return bytes_; }

 private:
  static v3_result V3_API Read(void* self, void* buffer, int32_t size, int32_t* read) {
    Stream* s = As<Stream>(self);
    if (size < 0 || (!buffer && size > 0)) return kInvalidArg;
    const size_t n = std::min<size_t>(static_cast<size_t>(size),
                                      s->at_ < s->bytes_.size() ? s->bytes_.size() - s->at_ : 0);
    if (n > 0) std::memcpy(buffer, s->bytes_.data() + s->at_, n);
    s->at_ += n;
    if (read) *read = static_cast<int32_t>(n);
    return V3_OK;
  }
  static v3_result V3_API Write(void* self, void* buffer, int32_t size, int32_t* written) {
    Stream* s = As<Stream>(self);
    if (size < 0 || (!buffer && size > 0)) return kInvalidArg;
    if (s->at_ + static_cast<size_t>(size) > s->bytes_.size()) {
      s->bytes_.resize(s->at_ + static_cast<size_t>(size));
    }
    if (size > 0) std::memcpy(s->bytes_.data() + s->at_, buffer, static_cast<size_t>(size));
    s->at_ += static_cast<size_t>(size);
    if (written) *written = size;
    return V3_OK;
  }
  static v3_result V3_API Seek(void* self, int64_t position, int32_t mode, int64_t* result) {
    Stream* s = As<Stream>(self);
    const int64_t base = mode == V3_SEEK_SET   ? 0
                         : mode == V3_SEEK_CUR ? static_cast<int64_t>(s->at_)
                                               : static_cast<int64_t>(s->bytes_.size());
    if (mode < V3_SEEK_SET || mode > V3_SEEK_END || base + position < 0) return kInvalidArg;
    s->at_ = static_cast<size_t>(base + position);
    if (result) *result = static_cast<int64_t>(s->at_);
    return V3_OK;
  }
  static v3_result V3_API Tell(void* self, int64_t* position) {
    if (!position) return kInvalidArg;
    *position = static_cast<int64_t>(As<Stream>(self)->at_);
    return V3_OK;
  }

  static constexpr BStreamTable kTable = {V3_UNKNOWN, {&Read, &Write, &Seek, &Tell}};
  Face face_{&kTable, this};
  std::vector<uint8_t> bytes_;
  size_t at_ = 0;
};

// A message's attributes, made for the plug-in with its message.
class AttributeList final : public HostObject {
 public:
  AttributeList() : HostObject("an attribute list", true) {}
  Face* Find(const v3_tuid iid) override {
    if (v3_tuid_match(iid, v3_funknown_iid) || v3_tuid_match(iid, v3_attribute_list_iid)) {
      return &face_;
    }
    return nullptr;
  }
  v3_attribute_list** get() { return reinterpret_cast<v3_attribute_list**>(&face_); }

 private:
  struct Value {
    int64_t integer = 0;
    double real = 0.0;
    std::vector<int16_t> text;
    std::vector<uint8_t> binary;
  };
  static Value* Lookup(void* self, const char* id) {
    auto& values = As<AttributeList>(self)->values_;
    auto it = id ? values.find(id) : values.end();
    return it == values.end() ? nullptr : &it->second;
  }
  static v3_result V3_API SetInt(void* self, const char* id, int64_t value) {
    if (!id) return kInvalidArg;
    As<AttributeList>(self)->values_[id].integer = value;
    return V3_OK;
  }
  static v3_result V3_API GetInt(void* self, const char* id, int64_t* value) {
    const Value* v = Lookup(self, id);
    if (!v || !value) return V3_FALSE;
    *value = v->integer;
    return V3_OK;
  }
  static v3_result V3_API SetFloat(void* self, const char* id, double value) {
    if (!id) return kInvalidArg;
    As<AttributeList>(self)->values_[id].real = value;
    return V3_OK;
  }
  static v3_result V3_API GetFloat(void* self, const char* id, double* value) {
    const Value* v = Lookup(self, id);
    if (!v || !value) return V3_FALSE;
    *value = v->real;
    return V3_OK;
  }
  static v3_result V3_API SetString(void* self, const char* id, const int16_t* text) {
    if (!id || !text) return kInvalidArg;
    std::vector<int16_t>& copy = As<AttributeList>(self)->values_[id].text;
    copy.clear();
    for (const int16_t* c = text; *c; ++c) copy.push_back(*c);
    copy.push_back(0);
    return V3_OK;
  }
  static v3_result V3_API GetString(void* self, const char* id, int16_t* text, uint32_t bytes) {
    const Value* v = Lookup(self, id);
    const size_t capacity = bytes / sizeof(int16_t);
    if (!v || !text || capacity == 0 || v->text.empty()) return V3_FALSE;
    const size_t n = std::min(capacity - 1, v->text.size() - 1);
    std::copy_n(v->text.begin(), n, text);
    text[n] = 0;
    return V3_OK;
  }
  static v3_result V3_API SetBinary(void* self, const char* id, const void* data, uint32_t size) {
    if (!id || (!data && size > 0)) return kInvalidArg;
    const auto* bytes = static_cast<const uint8_t*>(data);
    As<AttributeList>(self)->values_[id].binary.assign(bytes, bytes + size);
    return V3_OK;
  }
  static v3_result V3_API GetBinary(void* self, const char* id, const void** data, uint32_t* size) {
    const Value* v = Lookup(self, id);
    if (!v || !data || !size) return V3_FALSE;
    *data = v->binary.data();
    *size = static_cast<uint32_t>(v->binary.size());
    return V3_OK;
  }

  static constexpr v3_attribute_list_cpp kTable = {
      V3_UNKNOWN,
      {&SetInt, &GetInt, &SetFloat, &GetFloat, &SetString, &GetString, &SetBinary, &GetBinary}};
  Face face_{&kTable, this};
  std::map<std::string, Value> values_;
};

// A message the plug-in asked the host to make (IHostApplication::create_instance). The
// plug-in owns it: its last release frees it.
class Message final : public HostObject {
 public:
  explicit Message(std::atomic<int>* alive) : HostObject("a message", true), alive_(alive) {
    ++*alive_;
  }
  ~Message() override {
    --*alive_;
    // The list lives as long as its message (get_attributes hands it out without a reference).
    HostObject::Unref(attributes_->get());
  }
  Face* Find(const v3_tuid iid) override {
    if (v3_tuid_match(iid, v3_funknown_iid) || v3_tuid_match(iid, v3_message_iid)) return &face_;
    return nullptr;
  }
  v3_message** get() { return reinterpret_cast<v3_message**>(&face_); }

 private:
  static const char* V3_API GetId(void* self) { return As<Message>(self)->id_.c_str(); }
  static void V3_API SetId(void* self, const char* id) { As<Message>(self)->id_ = id ? id : ""; }
  static v3_attribute_list** V3_API Attributes(void* self) {
    return As<Message>(self)->attributes_->get();
  }

  static constexpr v3_message_cpp kTable = {V3_UNKNOWN, {&GetId, &SetId, &Attributes}};
  Face face_{&kTable, this};
  std::atomic<int>* alive_;
  std::string id_;
  AttributeList* attributes_ = new AttributeList;
};

// --- one instance -------------------------------------------------------------------------------

// The input or output parameter changes of one block: a queue per parameter, points in order.
// Queues are kept from block to block, so a block allocates nothing once they have grown.
class ParamQueue final : public HostObject {
 public:
  explicit ParamQueue(bool input) : HostObject("a parameter queue", false), input_(input) {}
  Face* Find(const v3_tuid iid) override {
    if (v3_tuid_match(iid, v3_funknown_iid) || v3_tuid_match(iid, v3_param_value_queue_iid)) {
      return &face_;
    }
    return nullptr;
  }
  v3_param_value_queue** get() { return reinterpret_cast<v3_param_value_queue**>(&face_); }
  void Reset(v3_param_id id) {
    id_ = id;
    points_.clear();
  }
  void Add(int32_t offset, double value) { points_.push_back({offset, value}); }
  v3_param_id id() const { return id_; }
  const std::vector<std::pair<int32_t, double>>& points() const { return points_; }

 private:
  static v3_param_id V3_API Id(void* self) { return As<ParamQueue>(self)->id_; }
  static int32_t V3_API Count(void* self) {
    return static_cast<int32_t>(As<ParamQueue>(self)->points_.size());
  }
  static v3_result V3_API Point(void* self, int32_t index, int32_t* offset, double* value) {
    const auto& points = As<ParamQueue>(self)->points_;
    if (index < 0 || static_cast<size_t>(index) >= points.size() || !offset || !value) {
      return kInvalidArg;
    }
    *offset = points[static_cast<size_t>(index)].first;
    *value = points[static_cast<size_t>(index)].second;
    return V3_OK;
  }
  static v3_result V3_API AddPoint(void* self, int32_t offset, double value, int32_t* index) {
    ParamQueue* q = As<ParamQueue>(self);
    if (q->input_) return V3_FALSE;
    q->points_.push_back({offset, value});
    if (index) *index = static_cast<int32_t>(q->points_.size() - 1);
    return V3_OK;
  }

  static constexpr v3_param_value_queue_cpp kTable = {V3_UNKNOWN, {&Id, &Count, &Point, &AddPoint}};
  Face face_{&kTable, this};
  const bool input_;
  v3_param_id id_ = 0;
  std::vector<std::pair<int32_t, double>> points_;
};

class ParamChanges final : public HostObject {
 public:
  explicit ParamChanges(bool input)
      : HostObject(input ? "the input parameter changes" : "the output parameter changes", false),
        input_(input) {}
  Face* Find(const v3_tuid iid) override {
    if (v3_tuid_match(iid, v3_funknown_iid) || v3_tuid_match(iid, v3_param_changes_iid)) {
      return &face_;
    }
    return nullptr;
  }
  v3_param_changes** get() { return reinterpret_cast<v3_param_changes**>(&face_); }

  void Clear() {
    used_ = 0;
    index_.clear();
  }
  ParamQueue& QueueFor(v3_param_id id) {
    auto [it, added] = index_.emplace(id, used_);
    if (!added) return *queues_[it->second];
    if (used_ == queues_.size()) queues_.push_back(std::make_unique<ParamQueue>(input_));
    queues_[used_]->Reset(id);
    return *queues_[used_++];
  }
  size_t size() const { return used_; }
  const ParamQueue& queue(size_t index) const { return *queues_[index]; }
  // Every queue made so far, for the reference step.
  const std::vector<std::unique_ptr<ParamQueue>>& all() const { return queues_; }

 private:
  static int32_t V3_API Count(void* self) {
    return static_cast<int32_t>(As<ParamChanges>(self)->used_);
  }
  static v3_param_value_queue** V3_API Data(void* self, int32_t index) {
    ParamChanges* c = As<ParamChanges>(self);
    if (index < 0 || static_cast<size_t>(index) >= c->used_) return nullptr;
    return c->queues_[static_cast<size_t>(index)]->get();
  }
  static v3_param_value_queue** V3_API AddData(void* self, v3_param_id* id, int32_t* index) {
    ParamChanges* c = As<ParamChanges>(self);
    if (c->input_ || !id) return nullptr;
    ParamQueue& queue = c->QueueFor(*id);
    if (index) *index = static_cast<int32_t>(c->index_[*id]);
    return queue.get();
  }

  static constexpr v3_param_changes_cpp kTable = {V3_UNKNOWN, {&Count, &Data, &AddData}};
  Face face_{&kTable, this};
  const bool input_;
  std::vector<std::unique_ptr<ParamQueue>> queues_;
  size_t used_ = 0;
  std::unordered_map<v3_param_id, size_t> index_;
};

class EventList final : public HostObject {
 public:
  explicit EventList(bool input)
      : HostObject(input ? "the input event list" : "the output event list", false),
        input_(input) {}
  Face* Find(const v3_tuid iid) override {
    if (v3_tuid_match(iid, v3_funknown_iid) || v3_tuid_match(iid, v3_event_list_iid)) {
      return &face_;
    }
    return nullptr;
  }
  v3_event_list** get() { return reinterpret_cast<v3_event_list**>(&face_); }
  std::vector<v3_event>& events() { return events_; }

 private:
  static uint32_t V3_API Count(void* self) {
    return static_cast<uint32_t>(As<EventList>(self)->events_.size());
  }
  static v3_result V3_API Get(void* self, int32_t index, v3_event* event) {
    const auto& events = As<EventList>(self)->events_;
    if (index < 0 || static_cast<size_t>(index) >= events.size() || !event) return kInvalidArg;
    *event = events[static_cast<size_t>(index)];
    return V3_OK;
  }
  static v3_result V3_API Add(void* self, v3_event* event) {
    EventList* list = As<EventList>(self);
    if (list->input_ || !event) return V3_FALSE;
    list->events_.push_back(*event);
    return V3_OK;
  }

  static constexpr v3_event_list_cpp kTable = {V3_UNKNOWN, {&Count, &Get, &Add}};
  Face face_{&kTable, this};
  const bool input_;
  std::vector<v3_event> events_;
};

class Vst3Instance;

// The host context given to the factory, the component and the controller: its name, and the
// messages the plug-in's halves send each other.
class HostApplication final : public HostObject {
 public:
  HostApplication() : HostObject("the host application", false) {}
  Face* Find(const v3_tuid iid) override {
    if (v3_tuid_match(iid, v3_funknown_iid) || v3_tuid_match(iid, v3_host_application_iid)) {
      return &face_;
    }
    return nullptr;
  }
  v3_funknown** get() { return reinterpret_cast<v3_funknown**>(&face_); }
  int messages_alive() const { return messages_; }

 private:
  static v3_result V3_API Name(void*, v3_str_128 name) {
    if (!name) return kInvalidArg;
    Utf16("vellicor-host", name, 128);
    return V3_OK;
  }
  static v3_result V3_API Create(void* self, v3_tuid cid, v3_tuid iid, void** out) {
    if (!out) return kInvalidArg;
    *out = nullptr;
    HostApplication* host = As<HostApplication>(self);
    if (v3_tuid_match(cid, v3_message_iid) && v3_tuid_match(iid, v3_message_iid)) {
      *out = (new Message(&host->messages_))->get();
      return V3_OK;
    }
    if (v3_tuid_match(cid, v3_attribute_list_iid) && v3_tuid_match(iid, v3_attribute_list_iid)) {
      *out = (new AttributeList)->get();
      return V3_OK;
    }
    return kNoInterface;
  }

  static constexpr v3_host_application_cpp kTable = {V3_UNKNOWN, {&Name, &Create}};
  Face face_{&kTable, this};
  std::atomic<int> messages_{0};
};

// A loaded bundle: the library, its entry called once, the factory and the classes it makes.
class Vst3Module {
 public:
  explicit Vst3Module(std::shared_ptr<Findings> findings) : findings_(std::move(findings)) {}

  ~Vst3Module() {
    if (factory_) {
      ReleaseObject("the factory", {factory_.unknown(), factory2_.unknown(), factory3_.unknown()},
                    *findings_);
    }
    if (host_.refs() != 1) {
      findings_->Add("the factory left the host context it was given with " +
                     std::to_string(host_.refs() - 1) + " references of its own");
    }
    if (entered_ && exit_ && !exit_()) findings_->Add(exit_name_ + " answered false");
#if defined(_WIN32)
    if (library_) FreeLibrary(static_cast<HMODULE>(library_));
#else
    if (library_) dlclose(library_);
#endif
  }

  bool Load(const std::string& binary, std::string* error) {
    using Exit = bool (*)();
    using GetFactory = v3_plugin_factory_cpp**(V3_API*)();
#if defined(_WIN32)
    library_ = reinterpret_cast<void*>(LoadLibraryA(NativeLibraryPath(binary).c_str()));
    if (!library_) {
      *error = "LoadLibrary failed with error " + std::to_string(GetLastError());
      return false;
    }
    auto symbol = [this](const char* name) {
      return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library_), name));
    };
    const char* entry_name = "InitDll";
    exit_name_ = "ExitDll";
#else
    library_ = dlopen(binary.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library_) {
      *error = dlerror();
      return false;
    }
    auto symbol = [this](const char* name) { return dlsym(library_, name); };
    const char* entry_name = "ModuleEntry";
    exit_name_ = "ModuleExit";
#endif
    void* entry = symbol(entry_name);
    exit_ = reinterpret_cast<Exit>(symbol(exit_name_.c_str()));
    auto get_factory = reinterpret_cast<GetFactory>(symbol("GetPluginFactory"));
    if (!entry || !exit_ || !get_factory) {
      *error = std::string("the binary lacks ") + (!get_factory ? "GetPluginFactory"
                                                   : !entry     ? entry_name
                                                                : exit_name_.c_str());
      return false;
    }
#if defined(_WIN32)
    const bool entered = reinterpret_cast<Exit>(entry)();
#else
    const bool entered = reinterpret_cast<bool (*)(void*)>(entry)(library_);
#endif
    if (!entered) {
      *error = std::string(entry_name) + " answered false";
      return false;
    }
    entered_ = true;
    entry_ = std::string("GetPluginFactory (") + entry_name + ", " + exit_name_ + ")";
    factory_ = {get_factory()};
    if (!factory_) {
      *error = "GetPluginFactory gave no factory";
      return false;
    }
    factory2_ = Query<v3_plugin_factory_cpp>(factory_, v3_plugin_factory_2_iid);
    factory3_ = Query<v3_plugin_factory_cpp>(factory_, v3_plugin_factory_3_iid);
    if (factory3_) factory3_->v3.set_host_context(factory3_.p, host_.get());
    v3_factory_info info{};
    if (factory_->v1.get_factory_info(factory_.p, &info) == V3_OK) {
      vendor_ = Text(info.vendor, sizeof info.vendor);
    }
    const int32_t classes = factory_->v1.num_classes(factory_.p);
    for (int32_t i = 0; i < classes; ++i) {
      v3_class_info_2 c{};
      if (factory2_) {
        if (factory2_->v2.get_class_info_2(factory2_.p, i, &c) != V3_OK) continue;
      } else {
        v3_class_info basic{};
        if (factory_->v1.get_class_info(factory_.p, i, &basic) != V3_OK) continue;
        std::memcpy(c.class_id, basic.class_id, sizeof c.class_id);
        std::memcpy(c.category, basic.category, sizeof c.category);
        std::memcpy(c.name, basic.name, sizeof c.name);
      }
      if (Text(c.category, sizeof c.category) == kAudioModuleClass) {
        audio_module_ = c;
        found_ = true;
        break;
      }
    }
    if (!found_) {
      *error = "the factory makes no \"" + std::string(kAudioModuleClass) + "\"";
      return false;
    }
    return true;
  }

  // Makes an object of a class with the interface asked for; null when the factory would not.
  template <typename T>
  Ptr<T> Create(const v3_tuid class_id, const v3_tuid iid) {
    void* out = nullptr;
    if (factory_->v1.create_instance(factory_.p, class_id, iid, &out) != V3_OK || !out) return {};
    return {static_cast<T**>(out)};
  }

  const v3_class_info_2& audio_module() const {
    return audio_module_;
  }
  bool has_class_info_2() const {
    return static_cast<bool>(factory2_);
  }
  const std::string& vendor() const {
    return vendor_;
  }
  const std::string& entry() const {
    return entry_;
  }
  Findings& findings() {
    return *findings_;
  }

 private:
  std::shared_ptr<Findings> findings_;
  void* library_ = nullptr;
  bool (*exit_)() = nullptr;
  std::string exit_name_, entry_;
  bool entered_ = false, found_ = false;
  Ptr<v3_plugin_factory_cpp> factory_, factory2_, factory3_;
  HostApplication host_;
  v3_class_info_2 audio_module_{};
  std::string vendor_;
};

// A parameter as the controller describes it.
struct Vst3Parameter {
  v3_param_id id = 0;
  std::string title;
  int32_t steps = 0;
  double default_value = 0.0;
  int32_t flags = 0;
};

class Vst3Instance final : public Instance {
 public:
  explicit Vst3Instance(std::shared_ptr<Vst3Module> module) : module_(std::move(module)) {}

  ~Vst3Instance() override {
    if (!component_) return;
    CloseEditor();
    Deactivate();
    Findings& findings = module_->findings();
    if (component_point_ && controller_point_) {
      component_point_->point.disconnect(component_point_.p, to_controller_.get());
      controller_point_->point.disconnect(controller_point_.p, to_component_.get());
    }
    if (controller_) {
      controller_->ctrl.set_component_handler(controller_.p, nullptr);
      controller_->base.terminate(controller_.p);
    }
    component_->base.terminate(component_.p);
    if (controller_) {
      ReleaseObject("the controller",
                    {controller_.unknown(), controller_point_.unknown(), midi_mapping_.unknown(),
                     unit_info_.unknown()},
                    findings);
    }
    ReleaseObject("the component",
                  {component_.unknown(), processor_.unknown(), component_point_.unknown()},
                  findings);
    // What the plug-in took of the host's objects it must have given back by now.
    std::vector<HostObject*> ours = {&host_,          &handler_,      &frame_,
                                     &to_controller_, &to_component_, &in_changes_,
                                     &out_changes_,   &in_events_,    &out_events_};
    for (const auto* changes : {&in_changes_, &out_changes_}) {
      for (const auto& queue : changes->all()) ours.push_back(queue.get());
    }
    for (HostObject* object : ours) {
      if (object->over_released()) {
        findings.Add("the plug-in released " + object->what() + " more often than it took it");
      } else if (object->refs() != 1) {
        findings.Add("the plug-in kept " + std::to_string(object->refs() - 1) + " references to " +
                     object->what() + " after it was closed");
      }
    }
    if (host_.messages_alive() > 0) {
      findings.Add(std::to_string(host_.messages_alive()) +
                   " messages the plug-in had the host make were never released");
    }
  }

  bool Create(std::string* error) {
    const v3_class_info_2& audio_module = module_->audio_module();
    component_ = module_->Create<v3_component_cpp>(audio_module.class_id, v3_component_iid);
    if (!component_) {
      *error = "the factory made no component (IComponent) of class " + Hex(audio_module.class_id);
      return false;
    }
    if (component_->base.initialize(component_.p, host_.get()) != V3_OK) {
      *error = "the component's initialize failed";
      return false;
    }
    processor_ = Query<v3_audio_processor_cpp>(component_, v3_audio_processor_iid);
    if (!processor_) {
      *error = "the component has no IAudioProcessor";
      return false;
    }
    v3_tuid controller_class{};
    if (component_->comp.get_controller_class_id(component_.p, controller_class) != V3_OK) {
      *error = "the component names no controller class";
      return false;
    }
    controller_ = module_->Create<v3_edit_controller_cpp>(controller_class, v3_edit_controller_iid);
    if (!controller_) {
      *error = "the factory made no edit controller of class " + Hex(controller_class);
      return false;
    }
    if (controller_->base.initialize(controller_.p, host_.get()) != V3_OK) {
      *error = "the controller's initialize failed";
      return false;
    }
    // The halves talk through the host's connection points, which see every message.
    component_point_ = Query<v3_connection_point_cpp>(component_, v3_connection_point_iid);
    controller_point_ = Query<v3_connection_point_cpp>(controller_, v3_connection_point_iid);
    if (component_point_ && controller_point_) {
      to_controller_.Join(this, controller_point_);
      to_component_.Join(this, component_point_);
      component_point_->point.connect(component_point_.p, to_controller_.get());
      controller_point_->point.connect(controller_point_.p, to_component_.get());
    }
    // The controller starts from the component's state, as after a load.
    Stream initial;
    if (component_->comp.get_state(component_.p, initial.get()) == V3_OK) {
      Stream copy(initial.bytes());
      controller_->ctrl.set_component_state(controller_.p, copy.get());
      CheckReturned(copy);
    }
    CheckReturned(initial);
    controller_->ctrl.set_component_handler(controller_.p, handler_.get());
    midi_mapping_ = Query<v3_midi_mapping_cpp>(controller_, v3_midi_mapping_iid);
    unit_info_ = Query<v3_unit_information_cpp>(controller_, v3_unit_information_iid);
    if (!ReadParameters(error) || !SetUpBuses(error)) return false;
    ReadMidiMapping();
    // A first setup, so that values set before any activation reach the processor (Flush).
    return Setup(44100.0, 512, error);
  }

  int channels(bool input) const {
    int total = 0;
    for (int32_t c : input ? input_channels_ : output_channels_) total += c;
    return total;
  }
  int note_inputs() const { return note_inputs_; }
  int program_count() const { return program_parameter_ ? program_parameter_->steps + 1 : 0; }

  bool has_view() {
    v3_plugin_view** view = controller_->ctrl.create_view(controller_.p, "editor");
    if (!view) return false;
    ReleaseObject("the view", {reinterpret_cast<v3_funknown**>(view)}, module_->findings());
    return true;
  }

  std::vector<std::string> ProgramNames() {
    std::vector<std::string> names;
    if (!unit_info_) return names;
    v3_unit_info unit{};
    int32_t list = -1;
    for (int32_t u = 0; u < unit_info_->unit.get_unit_count(unit_info_.p); ++u) {
      if (unit_info_->unit.get_unit_info(unit_info_.p, u, &unit) == V3_OK && unit.id == 0) {
        list = unit.program_list_id;
      }
    }
    for (int32_t l = 0; l < unit_info_->unit.get_program_list_count(unit_info_.p); ++l) {
      v3_program_list_info info{};
      if (unit_info_->unit.get_program_list_info(unit_info_.p, l, &info) != V3_OK) continue;
      if (info.id != list) continue;
      for (int32_t p = 0; p < info.programCount; ++p) {
        v3_str_128 name{};
        unit_info_->unit.get_program_name(unit_info_.p, list, p, name);
        names.push_back(Utf8(name, 128));
      }
    }
    return names;
  }

  bool Activate(double rate, int max_block, std::string* error) override {
    Deactivate();
    if (!Setup(rate, max_block, error)) return false;
    if (component_->comp.set_active(component_.p, 1) != V3_OK) {
      *error = "set_active(true) failed";
      return false;
    }
    processor_->proc.set_processing(processor_.p, 1);
    max_block_ = max_block;
    active_ = true;
    return true;
  }

  void Deactivate() override {
    if (!active_) return;
    processor_->proc.set_processing(processor_.p, 0);
    component_->comp.set_active(component_.p, 0);
    active_ = false;
  }

  bool active() const override { return active_; }
  int latency() override {
    return active_ ? static_cast<int>(processor_->proc.get_latency_samples(processor_.p)) : 0;
  }

  bool Process(const std::vector<MidiMessage>& events, const float* const* inputs,
               float* const* outputs, int frames) override {
    if (!active_ || frames > max_block_) return false;
    std::lock_guard<std::mutex> processing(process_mutex_);
    in_changes_.Clear();
    {
      std::lock_guard<std::mutex> lock(pending_mutex_);
      for (const auto& [id, value] : pending_) in_changes_.QueueFor(id).Add(0, value);
      pending_.clear();
    }
    auto& notes = in_events_.events();
    notes.clear();
    for (const MidiMessage& m : events) Translate(m, notes);

    in_buffers_.clear();
    out_buffers_.clear();
    in_pointers_.clear();
    out_pointers_.clear();
    in_pointers_.reserve(static_cast<size_t>(channels(true)));
    out_pointers_.reserve(static_cast<size_t>(channels(false)));
    silence_.resize(static_cast<size_t>(max_block_));
    std::fill(silence_.begin(), silence_.end(), 0.0f);
    int next = 0;
    for (int32_t count : input_channels_) {
      v3_audio_bus_buffers bus{};
      bus.num_channels = count;
      bus.channel_buffers_32 = in_pointers_.data() + in_pointers_.size();
      for (int32_t c = 0; c < count; ++c, ++next) {
        in_pointers_.push_back(inputs ? const_cast<float*>(inputs[next]) : silence_.data());
      }
      in_buffers_.push_back(bus);
    }
    next = 0;
    for (int32_t count : output_channels_) {
      v3_audio_bus_buffers bus{};
      bus.num_channels = count;
      bus.channel_buffers_32 = out_pointers_.data() + out_pointers_.size();
      for (int32_t c = 0; c < count; ++c) out_pointers_.push_back(outputs[next++]);
      out_buffers_.push_back(bus);
    }
    const bool ok = Run(frames, in_buffers_.data(), static_cast<int32_t>(in_buffers_.size()),
                        out_buffers_.data(), static_cast<int32_t>(out_buffers_.size()));
    steady_time_ += frames;
    return ok;
  }

  int parameter_count() override { return static_cast<int>(parameters_.size()); }

  ParameterInfo Parameter(int index) override {
    ParameterInfo info;
    if (index < 0 || index >= parameter_count()) return info;
    const Vst3Parameter& p = parameters_[static_cast<size_t>(index)];
    info.name = p.title;
    info.default_value = p.default_value;
    return info;
  }

  void SetParameter(int index, double value) override {
    if (index < 0 || index >= parameter_count()) return;
    Change(parameters_[static_cast<size_t>(index)].id, value);
  }

  double GetParameter(int index) override {
    if (index < 0 || index >= parameter_count()) return 0.0;
    // Off the main thread the host answers from what it knows; the controller is the main
    // thread's.
    if (!OnMainThread()) return values_[static_cast<size_t>(index)];
    SyncController();
    const double value =
        controller_->ctrl.get_parameter_normalised(controller_.p, parameters_[index].id);
    values_[static_cast<size_t>(index)] = value;
    return value;
  }

  std::optional<std::string> ValueText(int index, double value) override {
    if (index < 0 || index >= parameter_count()) return std::nullopt;
    v3_str_128 text{};
    if (controller_->ctrl.get_parameter_string_for_value(
            controller_.p, parameters_[static_cast<size_t>(index)].id, value, text) != V3_OK) {
      return std::nullopt;
    }
    return Utf8(text, 128);
  }

  bool SelectProgram(int program) override {
    if (!program_parameter_ || program < 0 || program >= program_count()) return false;
    const double value = program_parameter_->steps > 0
                             ? static_cast<double>(program) / program_parameter_->steps
                             : 0.0;
    Change(program_parameter_->id, value);
    return true;
  }

  bool SaveState(State* state, std::string* error) override {
    SyncController();
    Flush();
    Stream component, controller;
    const bool saved = component_->comp.get_state(component_.p, component.get()) == V3_OK;
    CheckReturned(component);
    if (!saved) {
      *error = "the component's get_state failed";
      return false;
    }
    const bool controller_saved =
        controller_->ctrl.get_state(controller_.p, controller.get()) == V3_OK;
    CheckReturned(controller);
    if (!controller_saved) {
      *error = "the controller's get_state failed";
      return false;
    }
    state->clear();
    state->push_back({"component", 0, std::move(component.bytes())});
    state->push_back({"controller", 0, std::move(controller.bytes())});
    return true;
  }

  bool LoadState(const State& state, std::string* error) override {
    if (state.size() != 2 || state[0].key != "component" || state[1].key != "controller") {
      *error = "not a component's and a controller's state";
      return false;
    }
    SyncController();
    Stream component(state[0].bytes);
    const bool taken = component_->comp.set_state(component_.p, component.get()) == V3_OK;
    CheckReturned(component);
    if (!taken) {
      *error = "the component's set_state refused it";
      return false;
    }
    {
      // What was set before the load is what the load replaces.
      std::lock_guard<std::mutex> lock(pending_mutex_);
      pending_.clear();
    }
    Stream copy(state[0].bytes), controller(state[1].bytes);
    const bool told = controller_->ctrl.set_component_state(controller_.p, copy.get()) == V3_OK;
    const bool own = controller_->ctrl.set_state(controller_.p, controller.get()) == V3_OK;
    CheckReturned(copy);
    CheckReturned(controller);
    if (!told || !own) {
      *error = told ? "the controller's set_state refused its state"
                    : "the controller's set_component_state refused the component's state";
      return false;
    }
    return true;
  }

  bool OpenEditor(void* parent, int* width, int* height, std::string* error) override {
    CloseEditor();
#if defined(_WIN32)
    const char* type = V3_VIEW_PLATFORM_TYPE_HWND;
#else
    const char* type = V3_VIEW_PLATFORM_TYPE_X11;
#endif
    v3_plugin_view** view = controller_->ctrl.create_view(controller_.p, "editor");
    if (!view) {
      *error = "create_view(\"editor\") gave no view";
      return false;
    }
    view_ = {reinterpret_cast<v3_plugin_view_cpp**>(view)};
    if (view_->view.is_platform_type_supported(view_.p, type) != V3_OK) {
      *error = std::string("is_platform_type_supported(") + type + ") said no";
      return false;
    }
    view_->view.set_frame(view_.p, frame_.get());
    scale_ = Query<v3_plugin_view_content_scale_cpp>(view_, v3_plugin_view_content_scale_iid);
    // False is allowed: the plug-in takes the system's.
    if (scale_) scale_->scale.set_content_scale_factor(scale_.p, static_cast<float>(editor_scale));
    v3_view_rect rect{};
    if (view_->view.get_size(view_.p, &rect) != V3_OK || rect.right <= rect.left ||
        rect.bottom <= rect.top) {
      *error = "the view's get_size gave no size";
      return false;
    }
    *width = rect.right - rect.left;
    *height = rect.bottom - rect.top;
    if (view_->view.attached(view_.p, parent, type) != V3_OK) {
      *error = std::string("the view's attached(") + type + ") failed";
      return false;
    }
    attached_ = true;
    return true;
  }

  void IdleEditor() override {
    SyncController();
#if !defined(_WIN32)
    // What a host's run loop does for the view: the handlers of readable descriptors, then the
    // timers that are due. A handler may unregister itself or another: each is looked up anew.
    for (size_t i = 0; i < frame_.descriptors.size(); ++i) {
      const auto [handler, fd] = frame_.descriptors[i];
      pollfd ready{fd, POLLIN, 0};
      if (poll(&ready, 1, 0) > 0 && (ready.revents & POLLIN)) {
        (*handler)->handler.on_fd_is_set(handler, fd);
      }
    }
    const auto now = Clock::now();
    for (size_t i = 0; i < frame_.timers.size(); ++i) {
      RunLoopTimer& timer = frame_.timers[i];
      if (now < timer.due) continue;
      timer.due = now + timer.period;
      v3_timer_handler_cpp** handler = timer.handler;
      (*handler)->timer.on_timer(handler);
    }
#endif
  }

  void CloseEditor() override {
    if (!view_) return;
    if (attached_) view_->view.removed(view_.p);
    attached_ = false;
    view_->view.set_frame(view_.p, nullptr);
    ReleaseObject("the view", {view_.unknown(), scale_.unknown()}, module_->findings());
    view_ = {};
    scale_ = {};
#if !defined(_WIN32)
    if (!frame_.timers.empty() || !frame_.descriptors.empty()) {
      Complain("the view left " + std::to_string(frame_.timers.size()) + " timers and " +
               std::to_string(frame_.descriptors.size()) +
               " descriptor handlers registered after it was removed");
      frame_.ReleaseAll();
    }
#endif
  }

  std::vector<std::string> Complaints() override {
    std::lock_guard<std::mutex> lock(complaints_mutex_);
    return complaints_;
  }

  std::vector<ParameterReport> TakeReports() override {
    std::lock_guard<std::mutex> lock(reports_mutex_);
    return std::exchange(reports_, {});
  }

 private:
  // --- the host's callbacks ----------------------------------------------------------------

  bool OnMainThread() const {
    return std::this_thread::get_id() == main_thread_;
  }

  void Complain(const std::string& complaint) {
    std::lock_guard<std::mutex> lock(complaints_mutex_);
    if (std::find(complaints_.begin(), complaints_.end(), complaint) == complaints_.end()) {
      complaints_.push_back(complaint);
    }
  }

  // A host interface the plug-in may call from the main thread only.
  void MainThreadOnly(const char* what) {
    if (!OnMainThread()) Complain(std::string(what) + " was called off the main thread");
  }

  void Report(ParameterReport::Kind kind, v3_param_id id, double value) {
    const auto it = index_of_.find(id);
    if (it == index_of_.end()) return;
    std::lock_guard<std::mutex> lock(reports_mutex_);
    reports_.push_back({kind, it->second, value});
  }

  // The controller's edits (its editor's, as a user makes them): reported, and sent on to the
  // processor with the next block, as a host records and plays them.
  class ComponentHandler final : public HostObject {
   public:
    explicit ComponentHandler(Vst3Instance* host)
        : HostObject("the component handler", false), host_(host) {}
    Face* Find(const v3_tuid iid) override {
      if (v3_tuid_match(iid, v3_funknown_iid) || v3_tuid_match(iid, v3_component_handler_iid)) {
        return &face_;
      }
      return nullptr;
    }
    v3_component_handler** get() { return reinterpret_cast<v3_component_handler**>(&face_); }

   private:
    static Vst3Instance* Host(void* self) { return As<ComponentHandler>(self)->host_; }
    static v3_result V3_API Begin(void* self, v3_param_id id) {
      Host(self)->MainThreadOnly("IComponentHandler::begin_edit");
      Host(self)->Report(ParameterReport::kBegin, id, 0.0);
      return V3_OK;
    }
    static v3_result V3_API Perform(void* self, v3_param_id id, double value) {
      Vst3Instance* host = Host(self);
      host->MainThreadOnly("IComponentHandler::perform_edit");
      host->Report(ParameterReport::kValue, id, value);
      host->Remember(id, value);
      std::lock_guard<std::mutex> lock(host->pending_mutex_);
      host->pending_.emplace_back(id, value);
      return V3_OK;
    }
    static v3_result V3_API End(void* self, v3_param_id id) {
      Host(self)->MainThreadOnly("IComponentHandler::end_edit");
      Host(self)->Report(ParameterReport::kEnd, id, 0.0);
      return V3_OK;
    }
    static v3_result V3_API Restart(void* self, int32_t flags) {
      Vst3Instance* host = Host(self);
      host->MainThreadOnly("IComponentHandler::restart_component");
      // Read again on the main thread's next turn (the call may come from inside a block).
      if (flags & V3_RESTART_MIDI_CC_ASSIGNMENT_CHANGED) host->mapping_stale_ = true;
      return V3_OK;
    }
    static constexpr ComponentHandlerTable kTable = {V3_UNKNOWN,
                                                     {&Begin, &Perform, &End, &Restart}};
    Face face_{&kTable, this};
    Vst3Instance* host_;
  };

  // One half's connection point as the other half sees it: messages pass through the host.
  class ConnectionProxy final : public HostObject {
   public:
    explicit ConnectionProxy(const char* what) : HostObject(what, false) {}
    Face* Find(const v3_tuid iid) override {
      if (v3_tuid_match(iid, v3_funknown_iid) || v3_tuid_match(iid, v3_connection_point_iid)) {
        return &face_;
      }
      return nullptr;
    }
    v3_connection_point** get() { return reinterpret_cast<v3_connection_point**>(&face_); }
    void Join(Vst3Instance* host, Ptr<v3_connection_point_cpp> other) {
      host_ = host;
      other_ = other;
    }

   private:
    static v3_result V3_API Connect(void*, v3_connection_point**) { return V3_OK; }
    static v3_result V3_API Disconnect(void*, v3_connection_point**) { return V3_OK; }
    static v3_result V3_API Notify(void* self, v3_message** message) {
      ConnectionProxy* proxy = As<ConnectionProxy>(self);
      proxy->host_->MainThreadOnly("IConnectionPoint::notify");
      if (!proxy->other_) return V3_FALSE;
      return proxy->other_->point.notify(proxy->other_.p, message);
    }
    static constexpr v3_connection_point_cpp kTable = {V3_UNKNOWN,
                                                       {&Connect, &Disconnect, &Notify}};
    Face face_{&kTable, this};
    Vst3Instance* host_ = nullptr;
    Ptr<v3_connection_point_cpp> other_;
  };

  struct RunLoopTimer {
    v3_timer_handler_cpp** handler;
    Clock::duration period;
    Clock::time_point due;
  };

  // The plug frame the view asks for room through; on Linux also the run loop the view's
  // timers run on (a view asks the frame for it).
  class Frame final : public HostObject {
   public:
    explicit Frame(Vst3Instance* host) : HostObject("the plug frame", false), host_(host) {}
    Face* Find(const v3_tuid iid) override {
      if (v3_tuid_match(iid, v3_funknown_iid) || v3_tuid_match(iid, v3_plugin_frame_iid)) {
        return &frame_face_;
      }
#if !defined(_WIN32)
      if (v3_tuid_match(iid, v3_run_loop_iid)) return &loop_face_;
#endif
      return nullptr;
    }
    v3_plugin_frame** get() {
      return reinterpret_cast<v3_plugin_frame**>(&frame_face_);
    }

    void ReleaseAll() {
      for (const auto& [handler, fd] : descriptors) (*handler)->unref(handler);
      for (const RunLoopTimer& timer : timers) (*timer.handler)->unref(timer.handler);
      descriptors.clear();
      timers.clear();
    }

    std::vector<std::pair<v3_event_handler_cpp**, int>> descriptors;
    std::vector<RunLoopTimer> timers;

   private:
    static Vst3Instance* Host(void* self) {
      return As<Frame>(self)->host_;
    }
    static v3_result V3_API Resize(void* self, v3_plugin_view** view, v3_view_rect* rect) {
      Vst3Instance* host = Host(self);
      host->MainThreadOnly("IPlugFrame::resize_view");
      if (!rect || !host->view_ || view != reinterpret_cast<v3_plugin_view**>(host->view_.p) ||
          rect->right <= rect->left || rect->bottom <= rect->top) {
        return kInvalidArg;
      }
      // The host's window takes any size; the view is told it has it.
      host->view_->view.on_size(host->view_.p, rect);
      return V3_OK;
    }
    static v3_result V3_API AddHandler(void* self, v3_event_handler** handler, int fd) {
      Frame* frame = As<Frame>(self);
      frame->host_->MainThreadOnly("IRunLoop::register_event_handler");
      if (!handler) return kInvalidArg;
      auto* h = reinterpret_cast<v3_event_handler_cpp**>(handler);
      (*h)->ref(h);
      frame->descriptors.emplace_back(h, fd);
      return V3_OK;
    }
    static v3_result V3_API RemoveHandler(void* self, v3_event_handler** handler) {
      Frame* frame = As<Frame>(self);
      frame->host_->MainThreadOnly("IRunLoop::unregister_event_handler");
      auto* h = reinterpret_cast<v3_event_handler_cpp**>(handler);
      const size_t before = frame->descriptors.size();
      std::erase_if(frame->descriptors, [h](const auto& d) { return d.first == h; });
      for (size_t i = frame->descriptors.size(); i < before; ++i) (*h)->unref(h);
      return before != frame->descriptors.size() ? kOk : kInvalidArg;
    }
    static v3_result V3_API AddTimer(void* self, v3_timer_handler** handler, uint64_t ms) {
      Frame* frame = As<Frame>(self);
      frame->host_->MainThreadOnly("IRunLoop::register_timer");
      if (!handler) return kInvalidArg;
      auto* h = reinterpret_cast<v3_timer_handler_cpp**>(handler);
      (*h)->ref(h);
      const auto period = std::chrono::milliseconds(std::max<uint64_t>(ms, 1));
      frame->timers.push_back({h, period, Clock::now() + period});
      return V3_OK;
    }
    static v3_result V3_API RemoveTimer(void* self, v3_timer_handler** handler) {
      Frame* frame = As<Frame>(self);
      frame->host_->MainThreadOnly("IRunLoop::unregister_timer");
      auto* h = reinterpret_cast<v3_timer_handler_cpp**>(handler);
      const size_t before = frame->timers.size();
      std::erase_if(frame->timers, [h](const RunLoopTimer& t) { return t.handler == h; });
      for (size_t i = frame->timers.size(); i < before; ++i) (*h)->unref(h);
      return before != frame->timers.size() ? kOk : kInvalidArg;
    }
    static constexpr v3_plugin_frame_cpp kFrameTable = {V3_UNKNOWN, {&Resize}};
    static constexpr v3_run_loop_cpp kLoopTable = {
        V3_UNKNOWN, {&AddHandler, &RemoveHandler, &AddTimer, &RemoveTimer}};
    Face frame_face_{&kFrameTable, this};
    Face loop_face_{&kLoopTable, this};
    Vst3Instance* host_;
  };

  // --- the host's side of the plug-in -------------------------------------------------------

  bool ReadParameters(std::string* error) {
    const int32_t count = controller_->ctrl.get_parameter_count(controller_.p);
    for (int32_t i = 0; i < count; ++i) {
      v3_param_info info{};
      if (controller_->ctrl.get_parameter_info(controller_.p, i, &info) != V3_OK) {
        *error = "get_parameter_info failed for index " + std::to_string(i);
        return false;
      }
      Vst3Parameter p;
      p.id = info.param_id;
      p.title = Utf8(info.title, 128);
      p.steps = info.step_count;
      p.default_value = info.default_normalised_value;
      p.flags = info.flags;
      if (p.flags & V3_PARAM_PROGRAM_CHANGE) {
        program_parameter_ = p;
        continue;
      }
      // What a host shows and automates: hidden and read-only parameters are the plug-in's.
      if (p.flags & (V3_PARAM_IS_HIDDEN | V3_PARAM_READ_ONLY)) continue;
      index_of_[p.id] = static_cast<int>(parameters_.size());
      parameters_.push_back(p);
    }
    values_ = std::vector<std::atomic<double>>(parameters_.size());
    for (size_t i = 0; i < parameters_.size(); ++i) {
      values_[i] = controller_->ctrl.get_parameter_normalised(controller_.p, parameters_[i].id);
    }
    return true;
  }

  bool SetUpBuses(std::string* error) {
    std::vector<v3_speaker_arrangement> arrangements[2];
    for (int32_t direction : {V3_INPUT, V3_OUTPUT}) {
      const int32_t buses = component_->comp.get_bus_count(component_.p, V3_AUDIO, direction);
      for (int32_t b = 0; b < buses; ++b) {
        v3_bus_info info{};
        if (component_->comp.get_bus_info(component_.p, V3_AUDIO, direction, b, &info) != V3_OK) {
          *error = "get_bus_info failed for audio bus " + std::to_string(b);
          return false;
        }
        (direction == V3_INPUT ? input_channels_ : output_channels_).push_back(info.channel_count);
        arrangements[direction].push_back(info.channel_count == 2
                                              ? (V3_SPEAKER_L | V3_SPEAKER_R)
                                              : (uint64_t{1} << info.channel_count) - 1);
        component_->comp.activate_bus(component_.p, V3_AUDIO, direction, b, 1);
      }
    }
    note_inputs_ = component_->comp.get_bus_count(component_.p, V3_EVENT, V3_INPUT);
    for (int32_t b = 0; b < note_inputs_; ++b) {
      component_->comp.activate_bus(component_.p, V3_EVENT, V3_INPUT, b, 1);
    }
    if (!output_channels_.empty() &&
        processor_->proc.set_bus_arrangements(
            processor_.p, arrangements[V3_INPUT].data(),
            static_cast<int32_t>(arrangements[V3_INPUT].size()), arrangements[V3_OUTPUT].data(),
            static_cast<int32_t>(arrangements[V3_OUTPUT].size())) != V3_OK) {
      *error = "set_bus_arrangements refused the buses' own arrangements";
      return false;
    }
    return true;
  }

  // Which parameter each controller, the bend and the channel pressure move, per channel, read
  // once on the main thread: the audio thread only looks them up.
  void ReadMidiMapping() {
    std::lock_guard<std::mutex> lock(process_mutex_);
    for (auto& channel : mapping_) channel.fill(-1);
    if (!midi_mapping_) return;
    for (int16_t channel = 0; channel < 16; ++channel) {
      for (int16_t number = 0; number < kMappedNumbers; ++number) {
        v3_param_id id = 0;
        if (midi_mapping_->map.get_midi_controller_assignment(midi_mapping_.p, 0, channel, number,
                                                              &id) == V3_OK) {
          mapping_[static_cast<size_t>(channel)][static_cast<size_t>(number)] = id;
        }
      }
    }
  }

  bool Setup(double rate, int max_block, std::string* error) {
    if (processor_->proc.can_process_sample_size(processor_.p, V3_SAMPLE_32) != V3_OK) {
      *error = "the processor cannot process 32-bit samples";
      return false;
    }
    v3_process_setup setup{V3_REALTIME, V3_SAMPLE_32, max_block, rate};
    if (processor_->proc.setup_processing(processor_.p, &setup) != V3_OK) {
      *error = "setup_processing failed at " + std::to_string(rate) + " Hz";
      return false;
    }
    rate_ = rate;
    return true;
  }

  // A MIDI message as a VST 3 host passes it: notes as events, the rest as changes of the
  // parameters the controller maps them to, at the message's offset.
  void Translate(const MidiMessage& m, std::vector<v3_event>& notes) {
    const uint8_t kind = m.bytes[0] & 0xF0;
    const int16_t channel = m.bytes[0] & 0x0F;
    if (kind == 0x90 || kind == 0x80) {
      v3_event event{};
      event.sample_offset = m.delta_frames;
      if (kind == 0x90 && m.bytes[2] > 0) {
        event.type = V3_EVENT_NOTE_ON;
        event.note_on = {channel, m.bytes[1], 0.0f, m.bytes[2] / 127.0f, 0, -1};
      } else {
        event.type = V3_EVENT_NOTE_OFF;
        event.note_off = {channel, m.bytes[1], m.bytes[2] / 127.0f, -1, 0.0f};
      }
      notes.push_back(event);
      return;
    }
    int16_t number = -1;
    double value = 0.0;
    if (kind == 0xB0 && m.bytes[1] < 128) {
      number = m.bytes[1];
      value = m.bytes[2] / 127.0;
    } else if (kind == 0xE0) {
      number = kPitchBend;
      value = (m.bytes[1] | (m.bytes[2] << 7)) / 16383.0;
    } else if (kind == 0xD0) {
      number = kChannelPressure;
      value = m.bytes[1] / 127.0;
    } else if (kind == 0xC0) {
      number = kProgramChangeNumber;
      const int programs = std::max(1, program_count() - 1);
      value = std::min(1.0, m.bytes[1] / static_cast<double>(programs));
    }
    if (number < 0) return;
    int64_t id = mapping_[static_cast<size_t>(channel)][static_cast<size_t>(number)];
    if (id < 0 && number == kProgramChangeNumber && program_parameter_) id = program_parameter_->id;
    if (id < 0) return;
    in_changes_.QueueFor(static_cast<v3_param_id>(id)).Add(m.delta_frames, value);
  }

  // One process call with the block's changes and events (the caller holds process_mutex_).
  bool Run(int frames, v3_audio_bus_buffers* inputs, int32_t input_count,
           v3_audio_bus_buffers* outputs, int32_t output_count) {
    out_changes_.Clear();
    out_events_.events().clear();
    v3_process_context context{};
    context.state = V3_PROCESS_CTX_TEMPO_VALID | V3_PROCESS_CTX_TIME_SIG_VALID;
    context.sample_rate = rate_;
    context.project_time_in_samples = steady_time_;
    context.continuous_time_in_samples = steady_time_;
    context.project_time_quarters = static_cast<double>(steady_time_) / rate_ * 2.0;
    context.bpm = 120.0;
    context.time_sig_numerator = 4;
    context.time_sig_denom = 4;
    v3_process_data data{};
    data.process_mode = V3_REALTIME;
    data.symbolic_sample_size = V3_SAMPLE_32;
    data.nframes = frames;
    data.num_input_buses = input_count;
    data.num_output_buses = output_count;
    data.inputs = input_count > 0 ? inputs : nullptr;
    data.outputs = output_count > 0 ? outputs : nullptr;
    data.input_params = in_changes_.get();
    data.output_params = out_changes_.get();
    data.input_events = in_events_.get();
    data.output_events = out_events_.get();
    data.ctx = &context;
    const bool ok = processor_->proc.process(processor_.p, &data) == V3_OK;
    // What the processor changed itself the host records and tells the controller.
    for (size_t q = 0; q < out_changes_.size(); ++q) {
      const ParamQueue& queue = out_changes_.queue(q);
      for (const auto& [offset, value] : queue.points()) {
        Report(ParameterReport::kValue, queue.id(), value);
        Remember(queue.id(), value);
      }
      if (!queue.points().empty()) {
        std::lock_guard<std::mutex> lock(pending_mutex_);
        for_controller_.emplace_back(queue.id(), queue.points().back().second);
      }
    }
    return ok;
  }

  // A value the host sets: for the processor with the next block (or now, when inactive, by a
  // block of no frames), for the controller on the main thread.
  void Change(v3_param_id id, double value) {
    value = std::clamp(value, 0.0, 1.0);
    Remember(id, value);
    {
      std::lock_guard<std::mutex> lock(pending_mutex_);
      pending_.emplace_back(id, value);
      if (!OnMainThread()) for_controller_.emplace_back(id, value);
    }
    if (OnMainThread()) controller_->ctrl.set_parameter_normalised(controller_.p, id, value);
  }

  void Remember(v3_param_id id, double value) {
    const auto it = index_of_.find(id);
    if (it != index_of_.end()) values_[static_cast<size_t>(it->second)] = value;
  }

  // The values other threads set, told to the controller on the main thread.
  void SyncController() {
    if (!OnMainThread()) return;
    if (mapping_stale_.exchange(false)) ReadMidiMapping();
    std::vector<std::pair<v3_param_id, double>> values;
    {
      std::lock_guard<std::mutex> lock(pending_mutex_);
      values.swap(for_controller_);
    }
    for (const auto& [id, value] : values) {
      controller_->ctrl.set_parameter_normalised(controller_.p, id, value);
    }
  }

  // Hands the waiting changes to the processor now, in a block of no frames (a state is
  // about to be saved): while inactive it is made active for that block alone.
  void Flush() {
    {
      std::lock_guard<std::mutex> lock(pending_mutex_);
      if (pending_.empty()) return;
    }
    const bool was_active = active_;
    if (!was_active) {
      component_->comp.set_active(component_.p, 1);
      processor_->proc.set_processing(processor_.p, 1);
    }
    {
      std::lock_guard<std::mutex> processing(process_mutex_);
      in_changes_.Clear();
      in_events_.events().clear();
      {
        std::lock_guard<std::mutex> lock(pending_mutex_);
        for (const auto& [id, value] : pending_) in_changes_.QueueFor(id).Add(0, value);
        pending_.clear();
      }
      Run(0, nullptr, 0, nullptr, 0);
    }
    if (!was_active) {
      processor_->proc.set_processing(processor_.p, 0);
      component_->comp.set_active(component_.p, 0);
    }
  }

  // A state stream is the host's: the plug-in gives back what it took of it before it returns.
  void CheckReturned(const Stream& stream) {
    if (stream.refs() != 1 || stream.over_released()) {
      module_->findings().Add(stream.over_released()
                                  ? "the plug-in released a state stream it never took"
                                  : "the plug-in kept " + std::to_string(stream.refs() - 1) +
                                        " references to a state stream");
    }
  }

  std::shared_ptr<Vst3Module> module_;
  HostApplication host_;
  ComponentHandler handler_{this};
  Frame frame_{this};
  ConnectionProxy to_controller_{"the connection point to the controller"};
  ConnectionProxy to_component_{"the connection point to the component"};
  ParamChanges in_changes_{true}, out_changes_{false};
  EventList in_events_{true}, out_events_{false};

  Ptr<v3_component_cpp> component_;
  Ptr<v3_audio_processor_cpp> processor_;
  Ptr<v3_edit_controller_cpp> controller_;
  Ptr<v3_connection_point_cpp> component_point_, controller_point_;
  Ptr<v3_midi_mapping_cpp> midi_mapping_;
  Ptr<v3_unit_information_cpp> unit_info_;
  Ptr<v3_plugin_view_cpp> view_;
  Ptr<v3_plugin_view_content_scale_cpp> scale_;
  bool attached_ = false;

  std::vector<Vst3Parameter> parameters_;
  std::unordered_map<v3_param_id, int> index_of_;
  std::vector<std::atomic<double>> values_;
  std::optional<Vst3Parameter> program_parameter_;
  std::array<std::array<int64_t, kMappedNumbers>, 16> mapping_{};
  std::vector<int32_t> input_channels_, output_channels_;
  int note_inputs_ = 0;

  const std::thread::id main_thread_ = std::this_thread::get_id();
  std::atomic<bool> mapping_stale_{false};
  bool active_ = false;
  int max_block_ = 0;
  double rate_ = 44100.0;
  int64_t steady_time_ = 0;
  std::vector<float> silence_;
  std::vector<v3_audio_bus_buffers> in_buffers_, out_buffers_;
  std::vector<float*> in_pointers_, out_pointers_;
  std::mutex process_mutex_;
  std::mutex pending_mutex_;
  std::vector<std::pair<v3_param_id, double>> pending_, for_controller_;
  std::mutex complaints_mutex_;
  std::vector<std::string> complaints_;
  std::mutex reports_mutex_;
  std::vector<ParameterReport> reports_;
};

// The binary of this platform inside a bundle; a binary named directly is taken as it is.
std::string BundleBinary(const std::string& path) {
  struct stat info {};
  if (stat(NativeLibraryPath(path).c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return path;
  std::string name = path.substr(path.find_last_of("/\\") + 1);
  name = name.substr(0, name.size() - std::string(".vst3").size());
#if defined(_WIN32)
#if defined(_WIN64)
  return path + "/Contents/x86_64-win/" + name + ".vst3";
#else
  return path + "/Contents/x86-win/" + name + ".vst3";
#endif
#else
  return path + "/Contents/x86_64-linux/" + name + ".so";
#endif
}

class Vst3File final : public PluginFile {
 public:
  Vst3File(std::string binary, std::shared_ptr<Findings> findings,
           std::shared_ptr<Vst3Module> module)
      : binary_(std::move(binary)), findings_(std::move(findings)), module_(std::move(module)) {}

  bool Reload(std::string* error) override {
    module_.reset();  // the factory released, the module's exit called, the library let go
    module_ = std::make_shared<Vst3Module>(findings_);
    return module_->Load(binary_, error);
  }

  bool Scan(std::string* error) {
    const v3_class_info_2& c = module_->audio_module();
    identity_.format = "VST 3";
    identity_.entry = module_->entry();
    identity_.id = Hex(c.class_id);
    identity_.name = Text(c.name, sizeof c.name);
    identity_.vendor = Text(c.vendor, sizeof c.vendor);
    if (identity_.vendor.empty()) identity_.vendor = module_->vendor();
    identity_.version = Text(c.version, sizeof c.version);
    identity_.categories.push_back(Text(c.category, sizeof c.category));
    const std::string sub = Text(c.sub_categories, sizeof c.sub_categories);
    for (size_t start = 0; start < sub.size();) {
      const size_t end = std::min(sub.find('|', start), sub.size());
      const std::string part = sub.substr(start, end - start);
      if (!part.empty()) identity_.categories.push_back(part);
      if (part == "Instrument") identity_.instrument = true;
      start = end + 1;
    }
    // Parameters, buses and programs belong to an instance: a scanning host makes one.
    Vst3Instance probe(module_);
    if (!probe.Create(error)) return false;
    identity_.parameters = probe.parameter_count();
    identity_.audio_inputs = probe.channels(true);
    identity_.audio_outputs = probe.channels(false);
    identity_.note_inputs = probe.note_inputs();
    identity_.has_editor = probe.has_view();
    programs_ = probe.ProgramNames();
    program_count_ = probe.program_count();
    return true;
  }

  const Identity& identity() const override { return identity_; }

  std::unique_ptr<Instance> NewInstance(std::string* error) override {
    auto instance = std::make_unique<Vst3Instance>(module_);
    if (!instance->Create(error)) return nullptr;
    return instance;
  }

  std::vector<std::string> Programs() const override { return programs_; }

  std::vector<std::string> TakeUnbalanced() override { return findings_->Take(); }

  std::optional<std::string> Lacks(Capability capability) const override {
    switch (capability) {
      case Capability::kParameterNames:
      case Capability::kValueText:
      case Capability::kStateOfItsOwn:
      case Capability::kReferenceCounts:
        return std::nullopt;
      case Capability::kAudioInputs:
        if (identity_.audio_inputs > 0) return std::nullopt;
        return "no audio input buses";
      case Capability::kEditor:
        if (identity_.has_editor) return std::nullopt;
        return "create_view(\"editor\") gives no view";
      case Capability::kPrograms:
        if (program_count_ > 0) return std::nullopt;
        return "no program-change parameter";
    }
    return std::nullopt;
  }

 private:
  std::string binary_;
  std::shared_ptr<Findings> findings_;
  std::shared_ptr<Vst3Module> module_;
  Identity identity_;
  std::vector<std::string> programs_;
  int program_count_ = 0;
};

}  // namespace

std::unique_ptr<PluginFile> OpenVst3(const std::string& path, std::string* error) {
  const std::string binary = BundleBinary(path);
  auto findings = std::make_shared<Findings>();
  auto module = std::make_shared<Vst3Module>(findings);
  if (!module->Load(binary, error)) return nullptr;
  auto file = std::make_unique<Vst3File>(binary, findings, module);
  if (!file->Scan(error)) return nullptr;
  return file;
}

}  // namespace vellicor::host
