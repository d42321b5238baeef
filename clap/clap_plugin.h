// The CLAP plug-in: the synth core behind CLAP's plugin record and its extensions (audio and
// note ports, parameters, state, the embedded editor, latency, timers).
//
// Threads, as CLAP assigns them: the host's main thread creates, activates, saves and loads
// state and runs the editor; the audio thread processes. Edits made in the editor act on the
// core at once and wait in a queue until process() or flush() tells the host about them, as a
// begin-gesture / value / end-gesture sequence.
#pragma once

#include <clap/ext/gui.h>
#include <clap/ext/params.h>
#include <clap/ext/state.h>
#include <clap/ext/timer-support.h>
#include <clap/plugin.h>

#include <atomic>
#include <bitset>
#include <memory>

#include "clap/edit_queue.h"
#include "core/synth.h"
#include "editor/editor_session.h"

namespace vellicor::clap_format {

extern const clap_plugin_descriptor_t kDescriptor;

class Plugin final : private EditorHost, private SynthListener {
 public:
  // Null when `host` is not one we can work with (no host, an incompatible CLAP version).
  static const clap_plugin_t* Create(const clap_host_t* host);

 private:
  explicit Plugin(const clap_host_t* host);
  ~Plugin();
  static Plugin* Of(const clap_plugin_t* plugin) {
    return static_cast<Plugin*>(plugin->plugin_data);
  }

  // clap_plugin
  bool Init();
  bool Activate(double sample_rate);
  void Deactivate();
  void Reset();
  clap_process_status Process(const clap_process_t* process);
  const void* Extension(const char* id);
  void OnMainThread();

  // Events from the host: one at its frame (the caller has rendered up to it).
  void HandleEvent(const clap_event_header_t* event);
  void HandleMidi(const uint8_t bytes[3]);
  // Tells the host what changed on our side: the editor's queued edits, and values the synth
  // moved itself (a learnt controller) while handling an event at `time`.
  void SendEdits(const clap_output_events_t* out);
  void SendMovedValues(const clap_output_events_t* out, uint32_t time);
  void RequestCallback(bool rescan_values);

  // Parameters, state and the editor (the extensions' bodies).
  bool ParamInfo(uint32_t index, clap_param_info_t* info) const;
  bool ValueText(clap_id id, double value, char* text, uint32_t size) const;
  bool TextValue(clap_id id, const char* text, double* value) const;
  void Flush(const clap_input_events_t* in, const clap_output_events_t* out);
  bool SaveState(const clap_ostream_t* stream) const;
  bool LoadState(const clap_istream_t* stream);
  bool GuiCreate(const char* api, bool floating);
  void GuiDestroy();
  bool GuiSetParent(const clap_window_t* window);
  void OnTimer();

  // EditorHost
  float Value(int index) const override { return synth_.Value(index); }
  int Controller(int index) const override { return synth_.ControllerFor(index); }
  void setParameterAutomated(int32_t index, float value) override;
  void BeginEdit(int32_t index) override;
  void EndEdit(int32_t index) override;
  bool RequestResize(int width, int height) override;
  void QueueEdit(const Edit& edit);
  // SynthListener
  void ValueChanged(int index) override;
  void SoundChanged() override { session_.AllValuesChanged(); }

  clap_plugin_t plugin_;
  const clap_host_t* host_;
  const clap_host_params_t* host_params_ = nullptr;
  const clap_host_gui_t* host_gui_ = nullptr;
  const clap_host_timer_support_t* host_timer_ = nullptr;
  const clap_host_state_t* host_state_ = nullptr;

  Synth synth_;
  EditQueue edits_;
  // Values the synth moved while handling one MIDI event in process(), to be told to the host.
  std::bitset<param::kHostParameterCount> moved_;
  int moved_count_ = 0;
  std::atomic<bool> rescan_wanted_{false};
  std::atomic<bool> callback_requested_{false};
  bool gui_created_ = false;
  bool destroying_ = false;
  uint32_t timer_id_ = UINT32_MAX;
  // Last: the editor reads through this plug-in until it is gone.
  EditorSession session_;
};

}  // namespace vellicor::clap_format
