#include "clap/clap_plugin.h"

#include <clap/ext/audio-ports.h>
#include <clap/ext/gui.h>
#include <clap/ext/latency.h>
#include <clap/ext/note-ports.h>
#include <clap/ext/params.h>
#include <clap/ext/state.h>
#include <clap/ext/timer-support.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "editor/parameter_text.h"

namespace vellicor::clap_format {
namespace {

#if defined(_WIN32)
constexpr const char* kWindowApi = CLAP_WINDOW_API_WIN32;
#else
constexpr const char* kWindowApi = CLAP_WINDOW_API_X11;
#endif
// How often the host's timer idles the editor: input, its own timers, painting.
constexpr uint32_t kIdlePeriodMs = 20;
// More moved values than this after one MIDI event (a program change) are told by a rescan.
constexpr int kMaxMovedEvents = 64;

// The plug-in whose HandleMidi is running on this thread: values the synth moves meanwhile are
// the ones a learnt controller moved.
thread_local const void* g_tracking_moves_for = nullptr;

const char* kFeatures[] = {CLAP_PLUGIN_FEATURE_INSTRUMENT, CLAP_PLUGIN_FEATURE_SYNTHESIZER,
                           CLAP_PLUGIN_FEATURE_STEREO, nullptr};

// Where a parameter lives in the sound, for hosts that group parameters.
const char* ModuleOf(int index) {
  if (index >= param::kOscillator[0].wave && index <= param::kOscillator[0].lfo_pitch_range) {
    return "Oscillator 1";
  }
  if (index >= param::kOscillator[1].wave && index <= param::kRingModulation) {
    return "Oscillator 2";
  }
  if (index >= param::kFilterType && index <= param::kFilterLfo) return "Filter";
  if (index >= param::kLfoShown && index < param::kEnvelopeShown) return "LFOs";
  if (index >= param::kEnvelopeShown && index < param::kEvolverAmount) return "Envelopes";
  if (index >= param::kEvolverAmount) return "Evolver";
  return "Voice";
}

void Copy(char* destination, size_t size, const char* text) {
  std::snprintf(destination, size, "%s", text);
}

}  // namespace

const clap_plugin_descriptor_t kDescriptor = {CLAP_VERSION_INIT,
                                              "com.quorrel.vellicor",
                                              "Vellicor",
                                              kVendorName,
                                              "",
                                              "",
                                              "",
                                              VELLICOR_VERSION,
                                              "Six-voice polyphonic synthesizer",
                                              kFeatures};

const clap_plugin_t* Plugin::Create(const clap_host_t* host) {
  if (!host || !clap_version_is_compatible(host->clap_version)) return nullptr;
  try {
    return &(new Plugin(host))->plugin_;
  } catch (...) {
    return nullptr;  // out of memory: the host hears that no instance could be made
  }
}

Plugin::Plugin(const clap_host_t* host) : host_(host), session_(*this) {
  plugin_.desc = &kDescriptor;
  plugin_.plugin_data = this;
  plugin_.init = [](const clap_plugin_t* p) { return Of(p)->Init(); };
  plugin_.destroy = [](const clap_plugin_t* p) { delete Of(p); };
  plugin_.activate = [](const clap_plugin_t* p, double rate, uint32_t, uint32_t) {
    return Of(p)->Activate(rate);
  };
  plugin_.deactivate = [](const clap_plugin_t* p) { Of(p)->Deactivate(); };
  plugin_.start_processing = [](const clap_plugin_t*) { return true; };
  plugin_.stop_processing = [](const clap_plugin_t*) {};
  plugin_.reset = [](const clap_plugin_t* p) { Of(p)->Reset(); };
  plugin_.process = [](const clap_plugin_t* p, const clap_process_t* process) {
    return Of(p)->Process(process);
  };
  plugin_.get_extension = [](const clap_plugin_t* p, const char* id) {
    return Of(p)->Extension(id);
  };
  plugin_.on_main_thread = [](const clap_plugin_t* p) { Of(p)->OnMainThread(); };
  synth_.SetListener(this);
}

Plugin::~Plugin() {
  destroying_ = true;
  GuiDestroy();
  synth_.SetListener(nullptr);
}

bool Plugin::Init() {
  auto extension = [this](const char* id) {
    return host_->get_extension ? host_->get_extension(host_, id) : nullptr;
  };
  host_params_ = static_cast<const clap_host_params_t*>(extension(CLAP_EXT_PARAMS));
  host_gui_ = static_cast<const clap_host_gui_t*>(extension(CLAP_EXT_GUI));
  host_timer_ = static_cast<const clap_host_timer_support_t*>(extension(CLAP_EXT_TIMER_SUPPORT));
  host_state_ = static_cast<const clap_host_state_t*>(extension(CLAP_EXT_STATE));
  return true;
}

bool Plugin::Activate(double sample_rate) {
  // The host's rate, with every value derived again at it; the sound stays as it is.
  return synth_.Restart(sample_rate);
}

void Plugin::Deactivate() {
  synth_.Suspend();
}

void Plugin::Reset() {
  const uint8_t all_notes_off[] = {0xB0, 126, 0};
  synth_.Midi(all_notes_off, 3);
  synth_.Suspend();
}

clap_process_status Plugin::Process(const clap_process_t* process) {
  const uint32_t frames = process->frames_count;
  float* left = nullptr;
  float* right = nullptr;
  if (process->audio_outputs_count > 0 && process->audio_outputs[0].channel_count >= 2 &&
      process->audio_outputs[0].data32) {
    left = process->audio_outputs[0].data32[0];
    right = process->audio_outputs[0].data32[1];
  }
  auto render = [&](uint32_t from, uint32_t to) {
    if (to > from && left && right) {
      synth_.Render(left + from, right + from, static_cast<int32_t>(to - from), false);
    }
  };
  if (process->transport && (process->transport->flags & CLAP_TRANSPORT_HAS_TEMPO)) {
    synth_.SetHostTempo(process->transport->tempo);
  }
  const clap_output_events_t* out = process->out_events;
  if (out) SendEdits(out);

  // Up to the next event, then the event.
  uint32_t done = 0;
  const clap_input_events_t* in = process->in_events;
  const uint32_t count = in ? in->size(in) : 0;
  for (uint32_t i = 0; i < count; ++i) {
    const clap_event_header_t* event = in->get(in, i);
    if (!event) continue;
    const uint32_t at = event->time < done ? done : (event->time > frames ? frames : event->time);
    render(done, at);
    done = at;
    HandleEvent(event);
    if (out && moved_count_ > 0) SendMovedValues(out, at < frames ? at : (frames ? frames - 1 : 0));
  }
  render(done, frames);
  if (frames == 0) synth_.Render(left, right, 0, false);  // a block without audio still runs
  return CLAP_PROCESS_CONTINUE;
}

void Plugin::HandleEvent(const clap_event_header_t* event) {
  if (event->space_id != CLAP_CORE_EVENT_SPACE_ID) return;
  switch (event->type) {
    case CLAP_EVENT_NOTE_ON:
    case CLAP_EVENT_NOTE_OFF:
    case CLAP_EVENT_NOTE_CHOKE: {
      if (event->size < sizeof(clap_event_note_t)) return;
      const auto* note = reinterpret_cast<const clap_event_note_t*>(event);
      if (note->key < 0 || note->key > 127) return;  // -1 (every key) names no one key to play
      const int channel = note->channel >= 0 && note->channel < 16 ? note->channel : 0;
      uint8_t bytes[3] = {static_cast<uint8_t>(0x80 | channel), static_cast<uint8_t>(note->key), 0};
      if (event->type == CLAP_EVENT_NOTE_ON) {
        // A velocity of 0 is a quiet note, not a release: at least 1.
        const double v = std::isfinite(note->velocity) ? note->velocity : 0.0;
        const long velocity = std::lround((v < 0.0 ? 0.0 : (v > 1.0 ? 1.0 : v)) * 127.0);
        bytes[0] = static_cast<uint8_t>(0x90 | channel);
        bytes[2] = static_cast<uint8_t>(velocity < 1 ? 1 : velocity);
      }
      HandleMidi(bytes);
      return;
    }
    case CLAP_EVENT_MIDI: {
      if (event->size < sizeof(clap_event_midi_t)) return;
      HandleMidi(reinterpret_cast<const clap_event_midi_t*>(event)->data);
      return;
    }
    case CLAP_EVENT_PARAM_VALUE: {
      if (event->size < sizeof(clap_event_param_value_t)) return;
      const auto* change = reinterpret_cast<const clap_event_param_value_t*>(event);
      if (change->param_id < static_cast<clap_id>(kNumHostParameters)) {
        synth_.SetParameter(static_cast<int>(change->param_id), static_cast<float>(change->value));
      }
      return;
    }
    case CLAP_EVENT_TRANSPORT: {
      if (event->size < sizeof(clap_event_transport_t)) return;
      const auto* transport = reinterpret_cast<const clap_event_transport_t*>(event);
      if (transport->flags & CLAP_TRANSPORT_HAS_TEMPO) synth_.SetHostTempo(transport->tempo);
      return;
    }
    default:
      return;
  }
}

void Plugin::HandleMidi(const uint8_t bytes[3]) {
  if ((bytes[0] & 0xF0) == 0xC0) {
    // A program change selects the program here, at its frame; the host learns the new values
    // by a rescan from its main thread.
    if ((bytes[1] & 0x7F) < kNumPrograms) {
      synth_.SelectProgram(bytes[1] & 0x7F);
      RequestCallback(true);
    }
    return;
  }
  // A learnt controller moves parameters: tracked so the host hears of them.
  g_tracking_moves_for = this;
  synth_.Midi(bytes, 3);
  g_tracking_moves_for = nullptr;
}

void Plugin::ValueChanged(int index) {
  session_.ValueChanged(index);
  if (g_tracking_moves_for == this && index >= 0 && index < kNumHostParameters &&
      !moved_.test(index)) {
    moved_.set(index);
    ++moved_count_;
  }
}

void Plugin::SendMovedValues(const clap_output_events_t* out, uint32_t time) {
  if (moved_count_ > kMaxMovedEvents) {
    RequestCallback(true);
  } else {
    for (int i = 0; i < kNumHostParameters && moved_count_ > 0; ++i) {
      if (!moved_.test(i)) continue;
      clap_event_param_value_t event{};
      event.header = {sizeof event, time, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_VALUE,
                      CLAP_EVENT_DONT_RECORD};
      event.param_id = static_cast<clap_id>(i);
      event.note_id = -1;
      event.port_index = event.channel = event.key = -1;
      event.value = synth_.Value(i);
      out->try_push(out, &event.header);
    }
  }
  moved_.reset();
  moved_count_ = 0;
}

void Plugin::SendEdits(const clap_output_events_t* out) {
  Edit edit;
  while (edits_.Pop(&edit)) {
    if (edit.kind == Edit::kValue) {
      clap_event_param_value_t event{};
      event.header = {sizeof event, 0, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_VALUE, 0};
      event.param_id = edit.index;
      event.note_id = -1;
      event.port_index = event.channel = event.key = -1;
      event.value = edit.value;
      out->try_push(out, &event.header);
    } else {
      clap_event_param_gesture_t event{};
      const uint16_t type =
          edit.kind == Edit::kBegin ? CLAP_EVENT_PARAM_GESTURE_BEGIN : CLAP_EVENT_PARAM_GESTURE_END;
      event.header = {sizeof event, 0, CLAP_CORE_EVENT_SPACE_ID, type, 0};
      event.param_id = edit.index;
      out->try_push(out, &event.header);
    }
  }
}

void Plugin::RequestCallback(bool rescan_values) {
  if (rescan_values) rescan_wanted_ = true;
  if (!callback_requested_.exchange(true) && host_->request_callback) {
    host_->request_callback(host_);
  }
}

void Plugin::OnMainThread() {
  callback_requested_ = false;
  if (rescan_wanted_.exchange(false)) {
    if (host_params_ && host_params_->rescan) host_params_->rescan(host_, CLAP_PARAM_RESCAN_VALUES);
    if (host_state_ && host_state_->mark_dirty) host_state_->mark_dirty(host_);
  }
}

// --- Edits from the editor ---------------------------------------------------------------------

void Plugin::QueueEdit(const Edit& edit) {
  edits_.Push(edit);
  // Not from the audio thread (the editor never runs there): the host answers with a flush or
  // a process call, either of which sends the edits. An editor closing with the instance ends
  // its gestures; a host destroying us hears nothing more.
  if (!destroying_ && host_params_ && host_params_->request_flush) {
    host_params_->request_flush(host_);
  }
}

void Plugin::setParameterAutomated(int32_t index, float value) {
  if (index < 0 || index >= kNumHostParameters) return;
  synth_.SetParameter(index, value);
  QueueEdit({Edit::kValue, static_cast<uint32_t>(index), synth_.Value(index)});
}

bool Plugin::RequestResize(int width, int height) {
  return host_gui_ && host_gui_->request_resize &&
         host_gui_->request_resize(host_, static_cast<uint32_t>(width),
                                   static_cast<uint32_t>(height));
}

void Plugin::BeginEdit(int32_t index) {
  if (index >= 0 && index < kNumHostParameters) {
    QueueEdit({Edit::kBegin, static_cast<uint32_t>(index), 0.0});
  }
}

void Plugin::EndEdit(int32_t index) {
  if (index >= 0 && index < kNumHostParameters) {
    QueueEdit({Edit::kEnd, static_cast<uint32_t>(index), 0.0});
  }
}

// --- Parameters ----------------------------------------------------------------------------------

bool Plugin::ParamInfo(uint32_t index, clap_param_info_t* info) const {
  if (!info || index >= static_cast<uint32_t>(kNumHostParameters)) return false;
  const int i = static_cast<int>(index);
  *info = {};
  info->id = index;
  info->flags = CLAP_PARAM_IS_AUTOMATABLE;
  Copy(info->name, sizeof info->name, param::Name(i).c_str());
  Copy(info->module, sizeof info->module, ModuleOf(i));
  info->min_value = 0.0;
  info->max_value = 1.0;
  info->default_value = param::DefaultValue(i);
  return true;
}

bool Plugin::ValueText(clap_id id, double value, char* text, uint32_t size) const {
  if (!text || size == 0 || id >= static_cast<clap_id>(kNumHostParameters)) return false;
  // The filter frequency reads as a cutoff or a tuning depending on the filter type.
  const std::string shown = editor::logic::ParameterText(
      static_cast<int>(id), static_cast<float>(value), synth_.Value(param::kFilterType));
  Copy(text, size, shown.c_str());
  return true;
}

bool Plugin::TextValue(clap_id id, const char* text, double* value) const {
  if (!text || !value || id >= static_cast<clap_id>(kNumHostParameters)) return false;
  const auto parsed =
      editor::logic::ParameterValue(static_cast<int>(id), text, synth_.Value(param::kFilterType));
  if (!parsed) return false;
  *value = *parsed;
  return true;
}

void Plugin::Flush(const clap_input_events_t* in, const clap_output_events_t* out) {
  const uint32_t count = in ? in->size(in) : 0;
  for (uint32_t i = 0; i < count; ++i) {
    const clap_event_header_t* event = in->get(in, i);
    if (event && event->space_id == CLAP_CORE_EVENT_SPACE_ID &&
        event->type == CLAP_EVENT_PARAM_VALUE) {
      HandleEvent(event);
    }
  }
  if (out) SendEdits(out);
}

// --- State ---------------------------------------------------------------------------------------

bool Plugin::SaveState(const clap_ostream_t* stream) const {
  if (!stream || !stream->write) return false;
  const std::vector<uint8_t> bytes = synth_.SaveState();
  size_t written = 0;
  while (written < bytes.size()) {
    const int64_t n = stream->write(stream, bytes.data() + written, bytes.size() - written);
    if (n <= 0) return false;
    written += static_cast<size_t>(n);
  }
  return true;
}

bool Plugin::LoadState(const clap_istream_t* stream) {
  if (!stream || !stream->read) return false;
  // One byte more than a state holds, so that a longer stream is seen and refused.
  std::vector<uint8_t> bytes(state::kSize + 1);
  size_t read = 0;
  while (read < bytes.size()) {
    const int64_t n = stream->read(stream, bytes.data() + read, bytes.size() - read);
    if (n < 0) return false;
    if (n == 0) break;
    read += static_cast<size_t>(n);
  }
  bytes.resize(read);
  if (!synth_.LoadState(bytes)) return false;
  if (host_params_ && host_params_->rescan) host_params_->rescan(host_, CLAP_PARAM_RESCAN_VALUES);
  return true;
}

// --- The editor ----------------------------------------------------------------------------------

bool Plugin::GuiCreate(const char* api, bool floating) {
  if (floating || !api || std::strcmp(api, kWindowApi) != 0) return false;
  gui_created_ = true;
  return true;
}

bool Plugin::GuiSetParent(const clap_window_t* window) {
  if (!gui_created_ || !window) return false;
#if defined(_WIN32)
  void* parent = window->win32;
#else
  void* parent = reinterpret_cast<void*>(static_cast<uintptr_t>(window->x11));
#endif
  if (!parent || !session_.Open(parent)) return false;
  if (host_timer_ && host_timer_->register_timer && timer_id_ == UINT32_MAX) {
    clap_id id = CLAP_INVALID_ID;
    if (host_timer_->register_timer(host_, kIdlePeriodMs, &id)) timer_id_ = id;
  }
  return true;
}

void Plugin::GuiDestroy() {
  if (timer_id_ != UINT32_MAX && host_timer_ && host_timer_->unregister_timer) {
    host_timer_->unregister_timer(host_, timer_id_);
  }
  timer_id_ = UINT32_MAX;
  session_.Close();
  gui_created_ = false;
}

void Plugin::OnTimer() {
  session_.Idle();
}

// --- Extensions ----------------------------------------------------------------------------------

const void* Plugin::Extension(const char* id) {
  static const clap_plugin_audio_ports_t audio_ports = {
      [](const clap_plugin_t*, bool is_input) -> uint32_t { return is_input ? 0 : 1; },
      [](const clap_plugin_t*, uint32_t index, bool is_input, clap_audio_port_info_t* info) {
        if (is_input || index != 0 || !info) return false;
        *info = {};
        info->id = 0;
        Copy(info->name, sizeof info->name, "Output");
        info->flags = CLAP_AUDIO_PORT_IS_MAIN;
        info->channel_count = 2;
        info->port_type = CLAP_PORT_STEREO;
        info->in_place_pair = CLAP_INVALID_ID;
        return true;
      }};
  static const clap_plugin_note_ports_t note_ports = {
      [](const clap_plugin_t*, bool is_input) -> uint32_t { return is_input ? 1 : 0; },
      [](const clap_plugin_t*, uint32_t index, bool is_input, clap_note_port_info_t* info) {
        if (!is_input || index != 0 || !info) return false;
        *info = {};
        info->id = 0;
        info->supported_dialects = CLAP_NOTE_DIALECT_CLAP | CLAP_NOTE_DIALECT_MIDI;
        info->preferred_dialect = CLAP_NOTE_DIALECT_CLAP;
        Copy(info->name, sizeof info->name, "Notes");
        return true;
      }};
  static const clap_plugin_params_t params = {
      [](const clap_plugin_t*) -> uint32_t { return kNumHostParameters; },
      [](const clap_plugin_t* p, uint32_t index, clap_param_info_t* info) {
        return Of(p)->ParamInfo(index, info);
      },
      [](const clap_plugin_t* p, clap_id id, double* value) {
        if (!value || id >= static_cast<clap_id>(kNumHostParameters)) return false;
        // What the program holds, which is what a saved state brings back: a controller-map
        // request that a program change or a loaded state left resting reads as it was set.
        const Synth& synth = Of(p)->synth_;
        *value = synth.program(synth.current_program()).values[id];
        return true;
      },
      [](const clap_plugin_t* p, clap_id id, double value, char* text, uint32_t size) {
        return Of(p)->ValueText(id, value, text, size);
      },
      [](const clap_plugin_t* p, clap_id id, const char* text, double* value) {
        return Of(p)->TextValue(id, text, value);
      },
      [](const clap_plugin_t* p, const clap_input_events_t* in, const clap_output_events_t* out) {
        Of(p)->Flush(in, out);
      }};
  static const clap_plugin_state_t state = {
      [](const clap_plugin_t* p, const clap_ostream_t* stream) { return Of(p)->SaveState(stream); },
      [](const clap_plugin_t* p, const clap_istream_t* stream) {
        return Of(p)->LoadState(stream);
      }};
  static const clap_plugin_latency_t latency = {[](const clap_plugin_t*) -> uint32_t { return 0; }};
  static const clap_plugin_timer_support_t timer = {
      [](const clap_plugin_t* p, clap_id) { Of(p)->OnTimer(); }};
  static const clap_plugin_gui_t gui = {
      [](const clap_plugin_t*, const char* api, bool floating) {
        return !floating && api && std::strcmp(api, kWindowApi) == 0;
      },
      [](const clap_plugin_t*, const char** api, bool* floating) {
        if (!api || !floating) return false;
        *api = kWindowApi;
        *floating = false;
        return true;
      },
      [](const clap_plugin_t* p, const char* api, bool floating) {
        return Of(p)->GuiCreate(api, floating);
      },
      [](const clap_plugin_t* p) { Of(p)->GuiDestroy(); },
      // The host's factor, which the editor follows unless its user chose a size.
      [](const clap_plugin_t* p, double scale) {
        if (!(scale > 0.0)) return false;
        Of(p)->session_.SetHostScale(scale);
        return true;
      },
      [](const clap_plugin_t* p, uint32_t* width, uint32_t* height) {
        if (!width || !height) return false;
        *width = static_cast<uint32_t>(Of(p)->session_.width());
        *height = static_cast<uint32_t>(Of(p)->session_.height());
        return true;
      },
      [](const clap_plugin_t*) { return false; },
      [](const clap_plugin_t*, clap_gui_resize_hints_t*) { return false; },
      [](const clap_plugin_t* p, uint32_t* width, uint32_t* height) {
        if (!width || !height) return false;
        *width = static_cast<uint32_t>(Of(p)->session_.width());
        *height = static_cast<uint32_t>(Of(p)->session_.height());
        return true;
      },
      [](const clap_plugin_t* p, uint32_t width, uint32_t height) {
        return width == static_cast<uint32_t>(Of(p)->session_.width()) &&
               height == static_cast<uint32_t>(Of(p)->session_.height());
      },
      [](const clap_plugin_t* p, const clap_window_t* window) {
        return Of(p)->GuiSetParent(window);
      },
      [](const clap_plugin_t*, const clap_window_t*) { return false; },
      [](const clap_plugin_t*, const char*) {},
      [](const clap_plugin_t* p) {
        if (!Of(p)->session_.is_open()) return false;
        Of(p)->session_.window()->Show();
        return true;
      },
      [](const clap_plugin_t* p) {
        Of(p)->session_.Hide();
        return true;
      }};
  if (!id) return nullptr;
  if (std::strcmp(id, CLAP_EXT_AUDIO_PORTS) == 0) return &audio_ports;
  if (std::strcmp(id, CLAP_EXT_NOTE_PORTS) == 0) return &note_ports;
  if (std::strcmp(id, CLAP_EXT_PARAMS) == 0) return &params;
  if (std::strcmp(id, CLAP_EXT_STATE) == 0) return &state;
  if (std::strcmp(id, CLAP_EXT_LATENCY) == 0) return &latency;
  if (std::strcmp(id, CLAP_EXT_TIMER_SUPPORT) == 0) return &timer;
  if (std::strcmp(id, CLAP_EXT_GUI) == 0) return &gui;
  return nullptr;
}

}  // namespace vellicor::clap_format
