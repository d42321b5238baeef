// CLAP behind the plug-in-under-test interface: a small CLAP host of our own on the format's C
// headers. It loads the file (clap_entry, init, the plug-in factory), gives each instance a host
// with the extensions a plug-in asks for (params, state, gui, timer support, thread check,
// latency, audio and note ports) and remembers every call the plug-in made against the
// format's thread rules. Events go in through input lists, parameter changes made while the
// instance is active among them; outside processing they go through params.flush.
#include <clap/entry.h>
#include <clap/ext/audio-ports.h>
#include <clap/ext/gui.h>
#include <clap/ext/latency.h>
#include <clap/ext/note-ports.h>
#include <clap/ext/params.h>
#include <clap/ext/state.h>
#include <clap/ext/thread-check.h>
#include <clap/ext/timer-support.h>
#include <clap/plugin-factory.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>
#include <utility>

#include "host/plugin_under_test.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace vellicor::host {
namespace {

using Clock = std::chrono::steady_clock;

// The loaded file: the library, its entry initialised once, the factory and the first plug-in.
class ClapModule {
 public:
  ~ClapModule() {
    if (initialised_) entry_->deinit();
#if defined(_WIN32)
    if (library_) FreeLibrary(static_cast<HMODULE>(library_));
#else
    if (library_) dlclose(library_);
#endif
  }

  bool Load(const std::string& path, std::string* error) {
#if defined(_WIN32)
    library_ = reinterpret_cast<void*>(LoadLibraryA(NativeLibraryPath(path).c_str()));
    if (!library_) {
      *error = "LoadLibrary failed with error " + std::to_string(GetLastError());
      return false;
    }
    void* symbol =
        reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library_), "clap_entry"));
#else
    library_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library_) {
      *error = dlerror();
      return false;
    }
    void* symbol = dlsym(library_, "clap_entry");
#endif
    entry_ = static_cast<const clap_plugin_entry_t*>(symbol);
    if (!entry_) {
      *error = "no clap_entry in " + path;
      return false;
    }
    if (!clap_version_is_compatible(entry_->clap_version)) {
      *error = "clap_entry declares CLAP " + std::to_string(entry_->clap_version.major) +
               ", which this host does not speak";
      return false;
    }
    if (!entry_->init || !entry_->deinit || !entry_->get_factory) {
      *error = "clap_entry lacks init, deinit or get_factory";
      return false;
    }
    if (!entry_->init(NativeLibraryPath(path).c_str())) {
      *error = "clap_entry.init failed";
      return false;
    }
    initialised_ = true;
    factory_ =
        static_cast<const clap_plugin_factory_t*>(entry_->get_factory(CLAP_PLUGIN_FACTORY_ID));
    if (!factory_ || factory_->get_plugin_count(factory_) < 1) {
      *error = "no plug-in factory, or a factory without plug-ins";
      return false;
    }
    descriptor_ = factory_->get_plugin_descriptor(factory_, 0);
    if (!descriptor_ || !descriptor_->id || !descriptor_->name) {
      *error = "the first plug-in has no descriptor, id or name";
      return false;
    }
    return true;
  }

  const clap_plugin_entry_t* entry() const {
    return entry_;
  }
  const clap_plugin_factory_t* factory() const {
    return factory_;
  }
  const clap_plugin_descriptor_t* descriptor() const {
    return descriptor_;
  }

 private:
  void* library_ = nullptr;
  const clap_plugin_entry_t* entry_ = nullptr;
  bool initialised_ = false;
  const clap_plugin_factory_t* factory_ = nullptr;
  const clap_plugin_descriptor_t* descriptor_ = nullptr;
};

// An input event list over events the host keeps.
struct InputList {
  std::vector<const clap_event_header_t*> events;
  clap_input_events_t list{this, &Size, &Get};
  static uint32_t Size(const clap_input_events_t* list) {
    return static_cast<uint32_t>(static_cast<const InputList*>(list->ctx)->events.size());
  }
  static const clap_event_header_t* Get(const clap_input_events_t* list, uint32_t index) {
    const auto& events = static_cast<const InputList*>(list->ctx)->events;
    return index < events.size() ? events[index] : nullptr;
  }
};

// An output event list that keeps what the plug-in reports of its parameters: gestures and
// values.
struct OutputList {
  std::vector<ParameterReport> reports;
  int events = 0;
  clap_output_events_t list{this, &Push};
  static bool Push(const clap_output_events_t* list, const clap_event_header_t* event) {
    auto* self = static_cast<OutputList*>(list->ctx);
    ++self->events;
    if (!event || event->space_id != CLAP_CORE_EVENT_SPACE_ID) return true;
    if (event->type == CLAP_EVENT_PARAM_VALUE) {
      const auto* value = reinterpret_cast<const clap_event_param_value_t*>(event);
      self->reports.push_back(
          {ParameterReport::kValue, static_cast<int>(value->param_id), value->value});
    } else if (event->type == CLAP_EVENT_PARAM_GESTURE_BEGIN ||
               event->type == CLAP_EVENT_PARAM_GESTURE_END) {
      const auto* gesture = reinterpret_cast<const clap_event_param_gesture_t*>(event);
      const auto kind = event->type == CLAP_EVENT_PARAM_GESTURE_BEGIN ? ParameterReport::kBegin
                                                                      : ParameterReport::kEnd;
      self->reports.push_back({kind, static_cast<int>(gesture->param_id), 0.0});
    }
    return true;
  }
};

class ClapInstance final : public Instance {
 public:
  ClapInstance(std::shared_ptr<ClapModule> module) : module_(std::move(module)) {}

  ~ClapInstance() override {
    if (!plugin_) return;
    CloseEditor();
    Deactivate();
    plugin_->destroy(plugin_);
  }

  bool Create(std::string* error) {
    plugin_ =
        module_->factory()->create_plugin(module_->factory(), &host_, module_->descriptor()->id);
    if (!plugin_) {
      *error = "the factory made no plug-in";
      return false;
    }
    if (!plugin_->init(plugin_)) {
      *error = "the plug-in's init failed";
      plugin_->destroy(plugin_);
      plugin_ = nullptr;
      return false;
    }
    params_ = Extension<clap_plugin_params_t>(CLAP_EXT_PARAMS);
    state_ = Extension<clap_plugin_state_t>(CLAP_EXT_STATE);
    gui_ = Extension<clap_plugin_gui_t>(CLAP_EXT_GUI);
    timer_ = Extension<clap_plugin_timer_support_t>(CLAP_EXT_TIMER_SUPPORT);
    latency_ = Extension<clap_plugin_latency_t>(CLAP_EXT_LATENCY);
    audio_ports_ = Extension<clap_plugin_audio_ports_t>(CLAP_EXT_AUDIO_PORTS);
    note_ports_ = Extension<clap_plugin_note_ports_t>(CLAP_EXT_NOTE_PORTS);
    if (params_) {
      const uint32_t count = params_->count(plugin_);
      infos_.resize(count);
      for (uint32_t i = 0; i < count; ++i) {
        std::memset(&infos_[i], 0, sizeof infos_[i]);
        if (!params_->get_info(plugin_, i, &infos_[i])) {
          *error = "params.get_info failed for index " + std::to_string(i);
          return false;
        }
      }
    }
    for (bool input : {true, false}) {
      const uint32_t ports = audio_ports_ ? audio_ports_->count(plugin_, input) : 0;
      for (uint32_t p = 0; p < ports; ++p) {
        clap_audio_port_info_t info{};
        if (audio_ports_->get(plugin_, p, input, &info)) {
          (input ? input_channels_ : output_channels_).push_back(info.channel_count);
        }
      }
    }
    if (note_ports_ && note_ports_->count(plugin_, true) > 0) {
      clap_note_port_info_t info{};
      if (note_ports_->get(plugin_, 0, true, &info)) dialects_ = info.supported_dialects;
      note_inputs_ = static_cast<int>(note_ports_->count(plugin_, true));
    }
    return true;
  }

  int channels(bool input) const {
    int total = 0;
    for (uint32_t c : input ? input_channels_ : output_channels_) total += static_cast<int>(c);
    return total;
  }
  int note_inputs() const { return note_inputs_; }
  bool has_gui() const { return gui_ != nullptr; }
  bool has_state() const { return state_ != nullptr; }

  bool Activate(double rate, int max_block, std::string* error) override {
    Deactivate();
    if (!plugin_->activate(plugin_, rate, 1, static_cast<uint32_t>(max_block))) {
      *error = "activate failed at " + std::to_string(rate) + " Hz";
      return false;
    }
    max_block_ = max_block;
    silence_.assign(static_cast<size_t>(max_block), 0.0f);
    active_ = true;
    return true;
  }

  void Deactivate() override {
    if (!active_) return;
    if (processing_) {
      // stop_processing belongs to the audio thread: the caller is it now.
      audio_thread_ = std::this_thread::get_id();
      plugin_->stop_processing(plugin_);
      processing_ = false;
    }
    audio_thread_ = std::thread::id();
    plugin_->deactivate(plugin_);
    active_ = false;
    // Changes left for a block that did not come reach the plug-in the way an inactive one
    // takes them.
    std::vector<std::pair<clap_id, double>> left;
    {
      std::lock_guard<std::mutex> lock(pending_mutex_);
      left.swap(pending_);
    }
    for (const auto& [id, value] : left) Flush(id, value);
  }

  bool active() const override { return active_; }
  int latency() override {
    return latency_ && active_ ? static_cast<int>(latency_->get(plugin_)) : 0;
  }

  bool Process(const std::vector<MidiMessage>& events, const float* const* inputs,
               float* const* outputs, int frames) override {
    if (!active_ || frames > max_block_) return false;
    audio_thread_ = std::this_thread::get_id();
    if (!processing_) {
      if (!plugin_->start_processing(plugin_)) return false;
      processing_ = true;
    }
    // Parameter changes first, at the block's start, then the notes at their frames. The
    // lists are the instance's own, so a block allocates nothing once they have grown.
    values_.clear();
    notes_.clear();
    midi_.clear();
    in_.events.clear();
    out_.reports.clear();
    {
      std::lock_guard<std::mutex> lock(pending_mutex_);
      for (const auto& [id, value] : pending_) values_.push_back(ParamEvent(id, value));
      pending_.clear();
    }
    notes_.reserve(events.size());
    midi_.reserve(events.size());
    for (const auto& value : values_) in_.events.push_back(&value.header);
    for (const MidiMessage& m : events) {
      const uint8_t kind = m.bytes[0] & 0xF0;
      const bool note_on = kind == 0x90 && m.bytes[2] > 0;
      const bool note_off = kind == 0x80 || (kind == 0x90 && m.bytes[2] == 0);
      if ((note_on || note_off) && (dialects_ & CLAP_NOTE_DIALECT_CLAP)) {
        clap_event_note_t note{};
        note.header = {sizeof note, static_cast<uint32_t>(m.delta_frames), CLAP_CORE_EVENT_SPACE_ID,
                       static_cast<uint16_t>(note_on ? CLAP_EVENT_NOTE_ON : CLAP_EVENT_NOTE_OFF),
                       0};
        note.note_id = -1;
        note.port_index = 0;
        note.channel = m.bytes[0] & 0x0F;
        note.key = m.bytes[1];
        note.velocity = m.bytes[2] / 127.0;
        notes_.push_back(note);
        in_.events.push_back(&notes_.back().header);
      } else if (dialects_ & CLAP_NOTE_DIALECT_MIDI) {
        clap_event_midi_t event{};
        event.header = {sizeof event, static_cast<uint32_t>(m.delta_frames),
                        CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_MIDI, 0};
        event.port_index = 0;
        std::memcpy(event.data, m.bytes, 3);
        midi_.push_back(event);
        in_.events.push_back(&midi_.back().header);
      }
    }
    std::stable_sort(in_.events.begin(), in_.events.end(),
                     [](const clap_event_header_t* a, const clap_event_header_t* b) {
                       return a->time < b->time;
                     });

    in_buffers_.clear();
    out_buffers_.clear();
    in_pointers_.clear();
    out_pointers_.clear();
    in_pointers_.reserve(static_cast<size_t>(channels(true)));
    out_pointers_.reserve(static_cast<size_t>(channels(false)));
    int next = 0;
    for (uint32_t count : input_channels_) {
      clap_audio_buffer_t buffer{};
      buffer.channel_count = count;
      buffer.data32 = in_pointers_.data() + in_pointers_.size();
      for (uint32_t c = 0; c < count; ++c, ++next) {
        in_pointers_.push_back(inputs ? const_cast<float*>(inputs[next]) : silence_.data());
      }
      in_buffers_.push_back(buffer);
    }
    next = 0;
    for (uint32_t count : output_channels_) {
      clap_audio_buffer_t buffer{};
      buffer.channel_count = count;
      buffer.data32 = out_pointers_.data() + out_pointers_.size();
      for (uint32_t c = 0; c < count; ++c) out_pointers_.push_back(outputs[next++]);
      out_buffers_.push_back(buffer);
    }

    clap_event_transport_t transport{};
    transport.header = {sizeof transport, 0, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_TRANSPORT, 0};
    transport.flags = CLAP_TRANSPORT_HAS_TEMPO | CLAP_TRANSPORT_HAS_TIME_SIGNATURE;
    transport.tempo = 120.0;
    transport.tsig_num = 4;
    transport.tsig_denom = 4;

    clap_process_t process{};
    process.steady_time = steady_time_;
    process.frames_count = static_cast<uint32_t>(frames);
    process.transport = &transport;
    process.audio_inputs = in_buffers_.data();
    process.audio_inputs_count = static_cast<uint32_t>(in_buffers_.size());
    process.audio_outputs = out_buffers_.data();
    process.audio_outputs_count = static_cast<uint32_t>(out_buffers_.size());
    process.in_events = &in_.list;
    process.out_events = &out_.list;
    const clap_process_status status = plugin_->process(plugin_, &process);
    steady_time_ += frames;
    Keep(out_);
    return status != CLAP_PROCESS_ERROR;
  }

  int parameter_count() override { return static_cast<int>(infos_.size()); }

  ParameterInfo Parameter(int index) override {
    ParameterInfo info;
    if (index < 0 || index >= parameter_count()) return info;
    const clap_param_info_t& clap = infos_[static_cast<size_t>(index)];
    info.name = clap.name;
    info.min = clap.min_value;
    info.max = clap.max_value;
    info.default_value = clap.default_value;
    return info;
  }

  void SetParameter(int index, double value) override {
    if (index < 0 || index >= parameter_count()) return;
    const clap_id id = infos_[static_cast<size_t>(index)].id;
    if (active_) {
      std::lock_guard<std::mutex> lock(pending_mutex_);
      pending_.emplace_back(id, value);
      return;
    }
    Flush(id, value);
  }

  double GetParameter(int index) override {
    double value = 0.0;
    if (index < 0 || index >= parameter_count()) return value;
    params_->get_value(plugin_, infos_[static_cast<size_t>(index)].id, &value);
    return value;
  }

  std::optional<std::string> ValueText(int index, double value) override {
    if (!params_ || !params_->value_to_text || index < 0 || index >= parameter_count()) {
      return std::nullopt;
    }
    char text[CLAP_NAME_SIZE];
    std::memset(text, 0, sizeof text);
    if (!params_->value_to_text(plugin_, infos_[static_cast<size_t>(index)].id, value, text,
                                sizeof text)) {
      return std::nullopt;
    }
    text[sizeof text - 1] = 0;
    return std::string(text);
  }

  bool SelectProgram(int) override { return false; }

  bool SaveState(State* state, std::string* error) override {
    if (!state_) {
      *error = "no state extension";
      return false;
    }
    std::vector<uint8_t> bytes;
    clap_ostream_t stream{&bytes, [](const clap_ostream_t* s, const void* data, uint64_t size) {
                            auto* out = static_cast<std::vector<uint8_t>*>(s->ctx);
                            const auto* begin = static_cast<const uint8_t*>(data);
                            out->insert(out->end(), begin, begin + size);
                            return static_cast<int64_t>(size);
                          }};
    if (!state_->save(plugin_, &stream)) {
      *error = "state.save failed";
      return false;
    }
    state->assign(1, {"stream", 0, std::move(bytes)});
    return true;
  }

  bool LoadState(const State& state, std::string* error) override {
    if (!state_ || state.size() != 1) {
      *error = "not one stream";
      return false;
    }
    // Read in small pieces, as a host reading a file may hand them: a plug-in must not expect
    // the whole state from one read.
    struct Reader {
      const std::vector<uint8_t>& bytes;
      size_t at = 0;
    } reader{state[0].bytes};
    clap_istream_t stream{&reader, [](const clap_istream_t* s, void* buffer, uint64_t size) {
                            auto* r = static_cast<Reader*>(s->ctx);
                            const size_t n = std::min<size_t>(
                                {static_cast<size_t>(size), r->bytes.size() - r->at, 1000});
                            if (n > 0) std::memcpy(buffer, r->bytes.data() + r->at, n);
                            r->at += n;
                            return static_cast<int64_t>(n);
                          }};
    if (!state_->load(plugin_, &stream)) {
      *error = "state.load refused it";
      return false;
    }
    return true;
  }

  bool OpenEditor(void* parent, int* width, int* height, std::string* error) override {
    if (!gui_) {
      *error = "no gui extension";
      return false;
    }
#if defined(_WIN32)
    const char* api = CLAP_WINDOW_API_WIN32;
#else
    const char* api = CLAP_WINDOW_API_X11;
#endif
    if (!gui_->is_api_supported(plugin_, api, false)) {
      *error = std::string("gui.is_api_supported(") + api + ") said no";
      return false;
    }
    if (!gui_->create(plugin_, api, false)) {
      *error = "gui.create failed";
      return false;
    }
    editor_open_ = true;
    gui_->set_scale(plugin_, editor_scale);  // false is allowed: the plug-in takes the system's
    uint32_t w = 0, h = 0;
    if (!gui_->get_size(plugin_, &w, &h) || w == 0 || h == 0) {
      *error = "gui.get_size gave no size";
      return false;
    }
    *width = static_cast<int>(w);
    *height = static_cast<int>(h);
    clap_window_t window{};
    window.api = api;
    window.ptr = parent;
    if (!gui_->set_parent(plugin_, &window)) {
      *error = "gui.set_parent failed";
      return false;
    }
    if (!gui_->show(plugin_)) {
      *error = "gui.show failed";
      return false;
    }
    return true;
  }

  void IdleEditor() override {
    // What a host's main loop does for a plug-in: its timers, its callback, a flush it asked for.
    const auto now = Clock::now();
    for (Timer& timer : timers_) {
      if (now < timer.due || !timer_) continue;
      timer.due = now + std::chrono::milliseconds(timer.period_ms);
      timer_->on_timer(plugin_, timer.id);
    }
    if (callback_requested_.exchange(false)) plugin_->on_main_thread(plugin_);
    if (flush_requested_.exchange(false) && !active_ && params_) {
      InputList in;
      OutputList out;
      params_->flush(plugin_, &in.list, &out.list);
      Keep(out);
    }
  }

  void CloseEditor() override {
    if (!editor_open_) return;
    gui_->hide(plugin_);
    gui_->destroy(plugin_);
    editor_open_ = false;
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
  template <typename T>
  const T* Extension(const char* id) {
    return static_cast<const T*>(plugin_->get_extension(plugin_, id));
  }

  clap_event_param_value_t ParamEvent(clap_id id, double value) const {
    clap_event_param_value_t event{};
    event.header = {sizeof event, 0, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_VALUE, 0};
    event.param_id = id;
    event.note_id = -1;
    event.port_index = -1;
    event.channel = -1;
    event.key = -1;
    event.value = value;
    for (const clap_param_info_t& info : infos_) {
      if (info.id == id) event.cookie = info.cookie;
    }
    return event;
  }

  void Flush(clap_id id, double value) {
    if (!params_) return;
    const clap_event_param_value_t event = ParamEvent(id, value);
    InputList in;
    in.events.push_back(&event.header);
    OutputList out;
    params_->flush(plugin_, &in.list, &out.list);
    Keep(out);
  }

  // Reports reach TakeReports from the audio thread's blocks and the main thread's flushes.
  void Keep(const OutputList& out) {
    if (out.reports.empty()) return;
    std::lock_guard<std::mutex> lock(reports_mutex_);
    reports_.insert(reports_.end(), out.reports.begin(), out.reports.end());
  }

  // --- The host's side -----------------------------------------------------------------------
  static ClapInstance* Of(const clap_host_t* host) {
    return static_cast<ClapInstance*>(host->host_data);
  }

  bool OnMainThread() const {
    return std::this_thread::get_id() == main_thread_;
  }

  // A host function the plug-in may call from the main thread only.
  void MainThreadOnly(const char* what) {
    if (OnMainThread()) return;
    std::lock_guard<std::mutex> lock(complaints_mutex_);
    const std::string complaint = std::string(what) + " was called off the main thread";
    if (std::find(complaints_.begin(), complaints_.end(), complaint) == complaints_.end()) {
      complaints_.push_back(complaint);
    }
  }

  static const void* GetExtension(const clap_host_t*, const char* id) {
    static const clap_host_params_t params = {
        [](const clap_host_t* h, clap_param_rescan_flags) {
          Of(h)->MainThreadOnly("params.rescan");
        },
        [](const clap_host_t* h, clap_id, clap_param_clear_flags) {
          Of(h)->MainThreadOnly("params.clear");
        },
        [](const clap_host_t* h) { Of(h)->flush_requested_ = true; }};
    static const clap_host_state_t state = {
        [](const clap_host_t* h) { Of(h)->MainThreadOnly("state.mark_dirty"); }};
    static const clap_host_gui_t gui = {
        [](const clap_host_t* h) { Of(h)->MainThreadOnly("gui.resize_hints_changed"); },
        [](const clap_host_t*, uint32_t width, uint32_t height) {
          return width > 0 && height > 0;  // our window takes any size
        },
        [](const clap_host_t*) { return true; }, [](const clap_host_t*) { return true; },
        [](const clap_host_t*, bool) {}};
    static const clap_host_timer_support_t timers = {
        [](const clap_host_t* h, uint32_t period_ms, clap_id* timer_id) {
          ClapInstance* self = Of(h);
          self->MainThreadOnly("timer_support.register_timer");
          if (!timer_id) return false;
          *timer_id = self->next_timer_id_++;
          self->timers_.push_back({*timer_id, std::max<uint32_t>(period_ms, 1), Clock::now()});
          return true;
        },
        [](const clap_host_t* h, clap_id timer_id) {
          ClapInstance* self = Of(h);
          self->MainThreadOnly("timer_support.unregister_timer");
          const auto before = self->timers_.size();
          std::erase_if(self->timers_, [timer_id](const Timer& t) { return t.id == timer_id; });
          return self->timers_.size() != before;
        }};
    static const clap_host_thread_check_t thread_check = {
        [](const clap_host_t* h) { return Of(h)->OnMainThread(); },
        [](const clap_host_t* h) { return Of(h)->audio_thread_ == std::this_thread::get_id(); }};
    static const clap_host_latency_t latency = {
        [](const clap_host_t* h) { Of(h)->MainThreadOnly("latency.changed"); }};
    static const clap_host_audio_ports_t audio_ports = {
        [](const clap_host_t*, uint32_t) { return false; },
        [](const clap_host_t* h, uint32_t) { Of(h)->MainThreadOnly("audio_ports.rescan"); }};
    static const clap_host_note_ports_t note_ports = {
        [](const clap_host_t*) -> uint32_t {
          return CLAP_NOTE_DIALECT_CLAP | CLAP_NOTE_DIALECT_MIDI;
        },
        [](const clap_host_t* h, uint32_t) { Of(h)->MainThreadOnly("note_ports.rescan"); }};
    const std::string_view name = id ? id : "";
    if (name == CLAP_EXT_PARAMS) return &params;
    if (name == CLAP_EXT_STATE) return &state;
    if (name == CLAP_EXT_GUI) return &gui;
    if (name == CLAP_EXT_TIMER_SUPPORT) return &timers;
    if (name == CLAP_EXT_THREAD_CHECK) return &thread_check;
    if (name == CLAP_EXT_LATENCY) return &latency;
    if (name == CLAP_EXT_AUDIO_PORTS) return &audio_ports;
    if (name == CLAP_EXT_NOTE_PORTS) return &note_ports;
    return nullptr;
  }

  struct Timer {
    clap_id id;
    uint32_t period_ms;
    Clock::time_point due;
  };

  std::shared_ptr<ClapModule> module_;
  clap_host_t host_{CLAP_VERSION,
                    this,
                    "vellicor-host",
                    "Vellicor",
                    "",
                    "2.0",
                    &ClapInstance::GetExtension,
                    [](const clap_host_t*) {},  // request_restart: nothing to restart here
                    [](const clap_host_t*) {},  // request_process: we process all the time
                    [](const clap_host_t* h) { Of(h)->callback_requested_ = true; }};
  const clap_plugin_t* plugin_ = nullptr;
  const clap_plugin_params_t* params_ = nullptr;
  const clap_plugin_state_t* state_ = nullptr;
  const clap_plugin_gui_t* gui_ = nullptr;
  const clap_plugin_timer_support_t* timer_ = nullptr;
  const clap_plugin_latency_t* latency_ = nullptr;
  const clap_plugin_audio_ports_t* audio_ports_ = nullptr;
  const clap_plugin_note_ports_t* note_ports_ = nullptr;
  std::vector<clap_param_info_t> infos_;
  std::vector<uint32_t> input_channels_, output_channels_;
  uint32_t dialects_ = 0;
  int note_inputs_ = 0;

  const std::thread::id main_thread_ = std::this_thread::get_id();
  std::atomic<std::thread::id> audio_thread_{};
  bool active_ = false, processing_ = false, editor_open_ = false;
  int max_block_ = 0;
  int64_t steady_time_ = 0;
  std::vector<float> silence_;
  // The audio thread's lists, kept from block to block.
  std::vector<clap_event_param_value_t> values_;
  std::vector<clap_event_note_t> notes_;
  std::vector<clap_event_midi_t> midi_;
  InputList in_;
  OutputList out_;
  std::vector<clap_audio_buffer_t> in_buffers_, out_buffers_;
  std::vector<float*> in_pointers_, out_pointers_;
  std::mutex pending_mutex_;
  std::vector<std::pair<clap_id, double>> pending_;
  std::atomic<bool> callback_requested_{false}, flush_requested_{false};
  std::vector<Timer> timers_;
  clap_id next_timer_id_ = 1;
  std::mutex complaints_mutex_;
  std::vector<std::string> complaints_;
  std::mutex reports_mutex_;
  std::vector<ParameterReport> reports_;
};

class ClapFile final : public PluginFile {
 public:
  ClapFile(std::string path, std::shared_ptr<ClapModule> module)
      : path_(std::move(path)), module_(std::move(module)) {}

  bool Reload(std::string* error) override {
    module_.reset();  // deinit and unload, the last instance being gone
    module_ = std::make_shared<ClapModule>();
    return module_->Load(path_, error);
  }

  bool Scan(std::string* error) {
    const clap_plugin_descriptor_t* d = module_->descriptor();
    const clap_version_t v = module_->entry()->clap_version;
    identity_.format = "CLAP";
    identity_.entry = "clap_entry (CLAP " + std::to_string(v.major) + "." +
                      std::to_string(v.minor) + "." + std::to_string(v.revision) + ")";
    identity_.id = d->id;
    identity_.name = d->name;
    identity_.vendor = d->vendor ? d->vendor : "";
    identity_.version = d->version ? d->version : "";
    for (const char* const* f = d->features; f && *f; ++f) {
      identity_.categories.push_back(*f);
      if (std::strcmp(*f, CLAP_PLUGIN_FEATURE_INSTRUMENT) == 0) identity_.instrument = true;
    }
    // Parameters and ports belong to an instance: a scanning host makes one to count them.
    ClapInstance probe(module_);
    if (!probe.Create(error)) return false;
    identity_.parameters = probe.parameter_count();
    identity_.audio_inputs = probe.channels(true);
    identity_.audio_outputs = probe.channels(false);
    identity_.note_inputs = probe.note_inputs();
    identity_.has_editor = probe.has_gui();
    has_state_ = probe.has_state();
    return true;
  }

  const Identity& identity() const override { return identity_; }

  std::unique_ptr<Instance> NewInstance(std::string* error) override {
    auto instance = std::make_unique<ClapInstance>(module_);
    if (!instance->Create(error)) return nullptr;
    return instance;
  }

  std::optional<std::string> Lacks(Capability capability) const override {
    switch (capability) {
      case Capability::kParameterNames:
        return std::nullopt;
      case Capability::kValueText:
        return std::nullopt;
      case Capability::kStateOfItsOwn:
        if (has_state_) return std::nullopt;
        return "no state extension";
      case Capability::kAudioInputs:
        if (identity_.audio_inputs > 0) return std::nullopt;
        return "no audio input ports";
      case Capability::kEditor:
        if (identity_.has_editor) return std::nullopt;
        return "no gui extension";
      case Capability::kReferenceCounts:
        return "CLAP has no reference-counted objects: the host destroys the plug-in";
      case Capability::kPrograms:
        return "CLAP selects no programs by number";
    }
    return std::nullopt;
  }

 private:
  std::string path_;
  std::shared_ptr<ClapModule> module_;
  Identity identity_;
  bool has_state_ = false;
};

}  // namespace

std::unique_ptr<PluginFile> OpenClap(const std::string& path, std::string* error) {
  auto module = std::make_shared<ClapModule>();
  if (!module->Load(path, error)) return nullptr;
  auto file = std::make_unique<ClapFile>(path, module);
  if (!file->Scan(error)) return nullptr;
  return file;
}

}  // namespace vellicor::host
