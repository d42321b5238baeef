// A plug-in under test, whatever its format: the one interface through which `validate` and
// `bench` drive a VST 2 library, an LV2 bundle, a CLAP file or a VST 3 bundle, each loaded exactly
// as a host of that format loads it. A format is added by implementing PluginFile and Instance (see
// OpenPluginFile); the checks are written once, against this interface.
//
// Threads: the thread that opened the file is the host's main thread. Instance::Process belongs
// to one audio thread at a time; SetParameter and GetParameter may come from any thread while it
// runs; everything else belongs to the main thread.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/plugin_loader.h"  // MidiMessage

namespace vellicor::host {

// What a host learns from the file before it makes an instance.
struct Identity {
  std::string format;  // "VST 2", "LV2", "CLAP", "VST 3"
  std::string entry;   // how the host got in: the entry point, the URI's binary
  std::string id;      // unique ID, URI or plug-in id
  std::string name, vendor, version;
  std::vector<std::string> categories;  // category, class or features
  bool instrument = false;              // the format's own way of saying so
  int parameters = 0;
  int audio_inputs = 0, audio_outputs = 0;  // channels
  int note_inputs = 0;                      // MIDI or note ports
  bool has_editor = false;
};

// What a plug-in told its host about a parameter: the begin and end of an edit's gesture, or a
// value it set itself (an edit in its editor, a value a learnt controller moved).
struct ParameterReport {
  enum Kind { kBegin, kValue, kEnd };
  Kind kind = kValue;
  int index = 0;
  double value = 0.0;
  bool operator==(const ParameterReport&) const = default;
};

struct ParameterInfo {
  std::string name;
  double min = 0.0, max = 1.0, default_value = 0.0;
};

// A saved state as the format stores it: one or more named blobs (a VST 2 chunk, a CLAP
// stream, LV2's key-value records).
struct StateBlob {
  std::string key;
  uint32_t type = 0;  // the format's type of the value, where it has one
  std::vector<uint8_t> bytes;
  bool operator==(const StateBlob&) const = default;
};
using State = std::vector<StateBlob>;

// Things some formats have no counterpart for.
enum class Capability {
  kParameterNames,   // a name for every parameter
  kValueText,        // a text for a parameter's value
  kStateOfItsOwn,    // a state the plug-in writes and reads itself (so it can refuse one)
  kAudioInputs,      // input buffers the host hands in
  kEditor,           // an editor in a host's window
  kPrograms,         // programs or presets selected by number
  kReferenceCounts,  // objects whose references the host counts (COM-style interfaces)
};

class Instance {
 public:
  virtual ~Instance() = default;

  // Ready to process at `rate` in blocks of up to `max_block` frames; a format that fixes the
  // rate when an instance is made is made again at the new rate, carrying its values over.
  virtual bool Activate(double rate, int max_block, std::string* error) = 0;
  virtual void Deactivate() = 0;
  virtual bool active() const = 0;
  // Frames of latency the plug-in reports once active.
  virtual int latency() = 0;

  // One block: the events (frames inside the block, in order), Identity::audio_inputs input
  // channels (or nullptr for silence) and Identity::audio_outputs output channels.
  virtual bool Process(const std::vector<MidiMessage>& events, const float* const* inputs,
                       float* const* outputs, int frames) = 0;

  virtual int parameter_count() = 0;
  virtual ParameterInfo Parameter(int index) = 0;
  // A plain value in the parameter's range. While active, a format whose host hands changes to
  // the audio thread queues it for the next Process.
  virtual void SetParameter(int index, double value) = 0;
  virtual double GetParameter(int index) = 0;
  // The plug-in's text for the value; nothing when it gives none. (VST 2 can tell the current
  // value's text only: it gives that.)
  virtual std::optional<std::string> ValueText(int index, double value) = 0;

  // Programs or presets by number (Capability::kPrograms).
  virtual bool SelectProgram(int program) = 0;

  virtual bool SaveState(State* state, std::string* error) = 0;
  // False when the plug-in refused it.
  virtual bool LoadState(const State& state, std::string* error) = 0;

  // The editor as a child of `parent` (an X11 window id or an HWND), idled by the host, which
  // gives it `editor_scale` as its user-interface scale where the format lets it (LV2's
  // ui:scaleFactor, CLAP's set_scale, VST 3's content scale).
  virtual bool OpenEditor(void* parent, int* width, int* height, std::string* error) = 0;
  double editor_scale = 1.0;
  virtual void IdleEditor() = 0;
  virtual void CloseEditor() = 0;

  // Calls the plug-in made against its format's rules, as its host saw them.
  virtual std::vector<std::string> Complaints() { return {}; }
  // What the plug-in reported about its parameters since the last call, in order (a format
  // whose plug-in reports nothing to its host answers nothing).
  virtual std::vector<ParameterReport> TakeReports() { return {}; }
};

class PluginFile {
 public:
  virtual ~PluginFile() = default;
  virtual const Identity& identity() const = 0;
  virtual std::unique_ptr<Instance> NewInstance(std::string* error) = 0;
  // Lets the library go and loads it again, as a host's rescan does; no instance may be alive.
  // (An LV2 bundle's data, which a host reads once, stays; its library is opened with the
  // first instance and closed with the last.)
  virtual bool Reload(std::string* error) = 0;
  // The names of the programs or presets Instance::SelectProgram selects, in its order.
  virtual std::vector<std::string> Programs() const { return {}; }
  // What was left unbalanced since the last call by the instances closed and the libraries let
  // go (Capability::kReferenceCounts): references the plug-in kept to the host's objects,
  // objects of its own it left alive or freed too early.
  virtual std::vector<std::string> TakeUnbalanced() { return {}; }
  // Nothing when the format has the capability; otherwise why not.
  virtual std::optional<std::string> Lacks(Capability capability) const = 0;
};

// Opens the file in the format its name says: NAME.so or NAME.dll (VST 2), a NAME.lv2 folder
// (LV2, Linux only), NAME.clap (CLAP), or a NAME.vst3 bundle or the binary inside it (VST 3).
std::unique_ptr<PluginFile> OpenPluginFile(const std::string& path, std::string* error);

// The formats' own openers.
std::unique_ptr<PluginFile> OpenVst2(const std::string& path, std::string* error);
std::unique_ptr<PluginFile> OpenLv2(const std::string& path, std::string* error);
std::unique_ptr<PluginFile> OpenClap(const std::string& path, std::string* error);
std::unique_ptr<PluginFile> OpenVst3(const std::string& path, std::string* error);

}  // namespace vellicor::host
