// The VST 3 plug-in: the synth core behind a component (the audio side) and an edit controller
// (parameters, programs, MIDI mapping, the editor's view), each a thin adapter.
//
// VST 3 hands a plug-in no controllers, pitch bend or program changes: the controller maps them
// (IMidiMapping) to hidden parameters, which the component turns back into MIDI for the core at
// their sample offsets, so that the fixed controllers, the learnt controller map and MIDI learn
// behave as in every other format. The sixteen programs are a program list with a
// program-change parameter.
//
// Threads, as VST 3 assigns them: the host's user-interface thread makes, initialises and
// connects the objects, saves and loads the state and runs the controller and its view; the
// audio thread processes.
#pragma once

#include <travesty/audio_processor.h>
#include <travesty/component.h>
#include <travesty/edit_controller.h>
#include <travesty/message.h>
#include <travesty/unit.h>
#include <travesty/view.h>

#include <bitset>
#include <optional>
#include <vector>

#include "core/state.h"
#include "core/synth.h"
#include "editor/editor_session.h"
#include "vst3/com.h"

namespace vellicor::vst3 {

extern const v3_tuid kComponentId;
extern const v3_tuid kControllerId;

// Parameter ids beyond the sound's 1,599 (ids 0..1598): the MIDI VST 3 does not carry, and the
// program.
constexpr v3_param_id kControllerParameter = 0x10000;  // + controller number 0..127
constexpr v3_param_id kPitchBendParameter = 0x10000 + 128;
constexpr v3_param_id kProgramParameter = 0x20000;
constexpr int kControllerParameters = 128;
constexpr int kProgramListId = 1;

class EditController;

// The audio side: IComponent, IAudioProcessor, IProcessContextRequirements, IConnectionPoint.
class Component final : public RefCounted, private SynthListener {
 public:
  static v3_result Create(const v3_tuid iid, void** object);
  v3_result QueryInterface(const v3_tuid iid, void** object);

  Synth& synth() { return synth_; }

 private:
  Component();
  ~Component() override;

  v3_result SetActive(bool active);
  v3_result SetState(void* stream);
  v3_result GetState(void* stream);
  v3_result SetupProcessing(const v3_process_setup* setup);
  v3_result Process(v3_process_data* data);

  // One change the block brings, at its sample offset: a note, or a parameter's new value.
  struct Change {
    int32_t offset;
    bool note;
    uint8_t bytes[3];
    v3_param_id id;
    double value;
  };
  void Gather(v3_process_data* data);
  void Apply(const Change& change);
  void SendMoved(v3_param_changes** out, int32_t offset);
  // SynthListener: values a learnt controller moves are told to the host.
  void ValueChanged(int index) override;
  void SoundChanged() override {}

  Face<Component> component_, processor_, requirements_, connection_;
  void* host_context_ = nullptr;
  void* peer_ = nullptr;  // the controller's connection point, or the host's for it
  Synth synth_;
  double sample_rate_ = 44100.0;
  static constexpr int kMaxChanges = 4096;
  Change changes_[kMaxChanges];
  int change_count_ = 0;
  std::bitset<param::kHostParameterCount> moved_;
  int moved_count_ = 0;
};

// Our own component behind a connection point the host handed the controller, referenced; null
// when the host connected the two through a stand-in of its own.
Component* ComponentOf(void* connection_point);

// A host's stream, read whole (up to one byte past `limit`, so that a longer one is seen) or
// written whole.
bool ReadStream(void* stream, std::vector<uint8_t>* bytes, size_t limit);
bool WriteStream(void* stream, const std::vector<uint8_t>& bytes);

class View;

// The edit controller: IEditController, IMidiMapping, IUnitInfo, IConnectionPoint; the editor's
// host.
class EditController final : public RefCounted, private EditorHost {
 public:
  static v3_result Create(const v3_tuid iid, void** object);
  v3_result QueryInterface(const v3_tuid iid, void** object);

  EditorSession& session() { return session_; }
  void ViewGone(View* view) {
    if (view_ == view) view_ = nullptr;
  }
  // Asks the component for its state when the host connected the two through its own
  // connection points (the names and the controller map cannot be read directly then).
  void AskForState();

 private:
  EditController();
  ~EditController() override;

  v3_result SetComponentState(void* stream);
  v3_result ParameterInfo(int32_t index, v3_param_info* info) const;
  v3_result TextFor(v3_param_id id, double value, int16_t* text) const;
  v3_result ValueFor(v3_param_id id, const int16_t* text, double* value) const;
  double Normalised(v3_param_id id) const;
  v3_result SetNormalised(v3_param_id id, double value);
  v3_result SetHandler(void* handler);
  void* CreateView(const char* name);
  v3_result Connect(void* other);
  // The program `index`'s name and values: the component's when it is ours and connected, the
  // factory bank's otherwise.
  std::string ProgramName(int index) const;
  void LoadProgramValues(int index);

  // EditorHost
  float Value(int index) const override;
  int Controller(int index) const override;
  void setParameterAutomated(int32_t index, float value) override;
  void BeginEdit(int32_t index) override;
  void EndEdit(int32_t index) override;
  bool RequestResize(int width, int height) override;

  Face<EditController> controller_, midi_mapping_, unit_info_, connection_;
  void* host_context_ = nullptr;
  void* handler_ = nullptr;
  void* peer_ = nullptr;            // the component's connection point, or the host's for it
  Component* component_ = nullptr;  // our own component, when the host connected us directly
  // The names and the controller map as the component's state last told them.
  std::optional<state::Snapshot> told_;
  void TakeState(const std::vector<uint8_t>& bytes, bool values);
  float values_[param::kHostParameterCount] = {};
  uint8_t controllers_[param::kControllerMapSize] = {};
  double program_ = 0.0;
  View* view_ = nullptr;
  // Last: the editor reads through this controller until it is gone.
  EditorSession session_;

  friend class View;
};

// The editor's view: IPlugView, IPlugViewContentScaleSupport, and the timer the host's run loop
// idles it with on Linux.
class View final : public RefCounted {
 public:
  explicit View(EditController* controller);
  v3_result QueryInterface(const v3_tuid iid, void** object);
  // The size the editor now has, told to the host's frame.
  bool Resize(int width, int height);
  // The host's timer (or on Windows our own): the editor's idle call.
  void OnTimer();

 private:
  ~View() override;
  v3_result Attached(void* parent, const char* type);
  v3_result Removed();
  v3_result GetSize(v3_view_rect* rect) const;

  Face<View> view_, scale_, timer_;
  EditController* controller_;
  void* frame_ = nullptr;
  void* run_loop_ = nullptr;
  uintptr_t windows_timer_ = 0;
  int ticks_ = 0;
  bool attached_ = false;
};

}  // namespace vellicor::vst3
