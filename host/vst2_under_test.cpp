// VST 2 behind the plug-in-under-test interface, through the command-line host's own loader:
// each instance is the entry point called once more, as hosts make them.
#include <algorithm>
#include <cstring>

#include "host/plugin_under_test.h"

namespace vellicor::host {
namespace {

std::string FourCC(int32_t value) {
  std::string text;
  for (int shift = 24; shift >= 0; shift -= 8) {
    const char c = static_cast<char>((value >> shift) & 0xFF);
    text += (c >= 32 && c < 127) ? c : '?';
  }
  return text;
}

class Vst2Instance final : public Instance {
 public:
  explicit Vst2Instance(std::unique_ptr<Plugin> plugin) : plugin_(std::move(plugin)) {
    plugin_->Dispatch(vst::effOpen);
  }
  ~Vst2Instance() override {
    CloseEditor();
    Deactivate();
  }

  bool Activate(double rate, int max_block, std::string*) override {
    Deactivate();
    plugin_->sample_rate = rate;
    plugin_->block_size = max_block;
    plugin_->Dispatch(vst::effSetSampleRate, 0, 0, nullptr, static_cast<float>(rate));
    plugin_->Dispatch(vst::effSetBlockSize, 0, max_block);
    // Hosts select the current program once a rate is set; a plug-in may take the rate over
    // only then (this one does, as the one it follows did).
    plugin_->Dispatch(vst::effSetProgram, 0, plugin_->Dispatch(vst::effGetProgram));
    plugin_->Dispatch(vst::effMainsChanged, 0, 1);
    plugin_->Dispatch(vst::effStartProcess);
    silence_.assign(static_cast<size_t>(max_block), 0.0f);
    active_ = true;
    return true;
  }

  void Deactivate() override {
    if (!active_) return;
    plugin_->Dispatch(vst::effStopProcess);
    plugin_->Dispatch(vst::effMainsChanged, 0, 0);
    active_ = false;
  }

  bool active() const override { return active_; }
  int latency() override { return plugin_->effect()->initialDelay; }

  bool Process(const std::vector<MidiMessage>& events, const float* const* inputs,
               float* const* outputs, int frames) override {
    if (frames > static_cast<int>(silence_.size())) return false;
    plugin_->SendMidi(events);
    vst::AEffect* effect = plugin_->effect();
    inputs_.resize(static_cast<size_t>(effect->numInputs));
    for (size_t c = 0; c < inputs_.size(); ++c) {
      // The plug-in's input pins take the host's buffers as they are (float** in this ABI).
      inputs_[c] = inputs ? const_cast<float*>(inputs[c]) : silence_.data();
    }
    plugin_->ProcessReplacing(inputs_.data(), const_cast<float**>(outputs), frames);
    return true;
  }

  int parameter_count() override { return plugin_->effect()->numParams; }

  ParameterInfo Parameter(int index) override {
    ParameterInfo info;
    info.name = plugin_->ParameterName(index);
    info.default_value = plugin_->GetParameter(index);  // VST 2 tells no default: the value now
    return info;
  }

  void SetParameter(int index, double value) override {
    plugin_->SetParameter(index, static_cast<float>(value));
  }
  double GetParameter(int index) override { return plugin_->GetParameter(index); }

  std::optional<std::string> ValueText(int index, double) override {
    // VST 2 can only tell the text of the current value.
    char text[256];
    std::memset(text, 0, sizeof text);
    plugin_->Dispatch(vst::effGetParamDisplay, index, 0, text);
    text[sizeof text - 1] = 0;
    if (text[0] == 0) return std::nullopt;
    return std::string(text);
  }

  bool SelectProgram(int program) override {
    if (program < 0 || program >= plugin_->effect()->numPrograms) return false;
    plugin_->Dispatch(vst::effSetProgram, 0, program);
    return true;
  }

  bool SaveState(State* state, std::string* error) override {
    state->clear();
    if (plugin_->effect()->flags & vst::effFlagsProgramChunks) {
      void* data = nullptr;
      const intptr_t size = plugin_->Dispatch(vst::effGetChunk, 0, 0, &data);
      if (size <= 0 || !data) {
        *error = "effGetChunk gave no chunk";
        return false;
      }
      const auto* bytes = static_cast<const uint8_t*>(data);
      state->push_back({"chunk", 0, std::vector<uint8_t>(bytes, bytes + size)});
      return true;
    }
    // Without chunks a host keeps the program and every parameter's value.
    const int32_t program = static_cast<int32_t>(plugin_->Dispatch(vst::effGetProgram));
    StateBlob program_blob{"program", 0, std::vector<uint8_t>(sizeof program)};
    std::memcpy(program_blob.bytes.data(), &program, sizeof program);
    StateBlob values{"values", 0, {}};
    for (int i = 0; i < parameter_count(); ++i) {
      const float value = plugin_->GetParameter(i);
      const auto* bytes = reinterpret_cast<const uint8_t*>(&value);
      values.bytes.insert(values.bytes.end(), bytes, bytes + sizeof value);
    }
    state->push_back(std::move(program_blob));
    state->push_back(std::move(values));
    return true;
  }

  bool LoadState(const State& state, std::string* error) override {
    if (plugin_->effect()->flags & vst::effFlagsProgramChunks) {
      if (state.size() != 1 || state[0].key != "chunk") {
        *error = "not a chunk";
        return false;
      }
      std::vector<uint8_t> chunk = state[0].bytes;
      if (plugin_->Dispatch(vst::effSetChunk, 0, static_cast<intptr_t>(chunk.size()),
                            chunk.data()) == 0) {
        *error = "effSetChunk refused the chunk";
        return false;
      }
      return true;
    }
    const size_t value_bytes = static_cast<size_t>(parameter_count()) * sizeof(float);
    if (state.size() != 2 || state[0].bytes.size() != sizeof(int32_t) ||
        state[1].bytes.size() != value_bytes) {
      *error = "not a program and " + std::to_string(parameter_count()) + " values";
      return false;
    }
    int32_t program;
    std::memcpy(&program, state[0].bytes.data(), sizeof program);
    plugin_->Dispatch(vst::effSetProgram, 0, program);
    for (int i = 0; i < parameter_count(); ++i) {
      float value;
      std::memcpy(&value, state[1].bytes.data() + static_cast<size_t>(i) * sizeof value,
                  sizeof value);
      plugin_->SetParameter(i, value);
    }
    return true;
  }

  bool OpenEditor(void* parent, int* width, int* height, std::string* error) override {
    vst::ERect* rect = nullptr;
    if (plugin_->Dispatch(vst::effEditGetRect, 0, 0, &rect) && rect) {
      *width = rect->right - rect->left;
      *height = rect->bottom - rect->top;
    }
    if (plugin_->Dispatch(vst::effEditOpen, 0, 0, parent) == 0) {
      *error = "effEditOpen opened no editor";
      return false;
    }
    editor_open_ = true;
    return true;
  }
  void IdleEditor() override {
    if (editor_open_) plugin_->Dispatch(vst::effEditIdle);
  }
  void CloseEditor() override {
    if (!editor_open_) return;
    plugin_->Dispatch(vst::effEditClose);
    editor_open_ = false;
  }

  std::vector<ParameterReport> TakeReports() override {
    const std::vector<HostRequest> requests = plugin_->RequestsFrom(reported_);
    reported_ += requests.size();
    std::vector<ParameterReport> reports;
    for (const HostRequest& r : requests) {
      if (r.opcode == vst::audioMasterAutomate) {
        reports.push_back({ParameterReport::kValue, r.index, r.opt});
      } else if (r.opcode == vst::audioMasterBeginEdit || r.opcode == vst::audioMasterEndEdit) {
        const auto kind =
            r.opcode == vst::audioMasterBeginEdit ? ParameterReport::kBegin : ParameterReport::kEnd;
        reports.push_back({kind, r.index, 0.0});
      }
    }
    return reports;
  }

 private:
  std::unique_ptr<Plugin> plugin_;
  std::vector<float> silence_;
  std::vector<float*> inputs_;
  bool active_ = false;
  bool editor_open_ = false;
  size_t reported_ = 0;  // the host requests already turned into reports
};

class Vst2File final : public PluginFile {
 public:
  Vst2File(std::string path, std::unique_ptr<Plugin> first)
      : path_(std::move(path)), first_(std::move(first)) {
    vst::AEffect* e = first_->effect();
    identity_.format = "VST 2";
    identity_.entry = first_->entry_name();
    identity_.id = FourCC(e->uniqueID);
    identity_.name = first_->DispatchString(vst::effGetEffectName);
    identity_.vendor = first_->DispatchString(vst::effGetVendorString);
    identity_.version = std::to_string(first_->Dispatch(vst::effGetVendorVersion)) + " (effect " +
                        std::to_string(e->version) + ")";
    const intptr_t category = first_->Dispatch(vst::effGetPlugCategory);
    identity_.categories.push_back(
        category == vst::kPlugCategSynth ? "synth" : "category " + std::to_string(category));
    if (e->flags & vst::effFlagsIsSynth) identity_.categories.push_back("effFlagsIsSynth");
    identity_.instrument = (e->flags & vst::effFlagsIsSynth) && category == vst::kPlugCategSynth;
    identity_.parameters = e->numParams;
    identity_.audio_inputs = e->numInputs;
    identity_.audio_outputs = e->numOutputs;
    identity_.note_inputs =
        first_->Dispatch(vst::effCanDo, 0, 0, const_cast<char*>("receiveVstMidiEvent")) > 0;
    identity_.has_editor = (e->flags & vst::effFlagsHasEditor) != 0;
    char display[64];
    std::memset(display, 0, sizeof display);
    first_->Dispatch(vst::effGetParamDisplay, 0, 0, display);
    display_text_ = display[0] != 0;
  }

  const Identity& identity() const override { return identity_; }

  std::unique_ptr<Instance> NewInstance(std::string* error) override {
    std::unique_ptr<Plugin> plugin = Plugin::Load(path_, error);
    if (!plugin) return nullptr;
    return std::make_unique<Vst2Instance>(std::move(plugin));
  }

  bool Reload(std::string* error) override {
    first_.reset();
    first_ = Plugin::Load(path_, error);
    return first_ != nullptr;
  }

  std::vector<std::string> Programs() const override {
    std::vector<std::string> names;
    for (int p = 0; p < first_->effect()->numPrograms; ++p) {
      names.push_back(first_->ProgramNameIndexed(p));
    }
    return names;
  }

  std::optional<std::string> Lacks(Capability capability) const override {
    switch (capability) {
      case Capability::kParameterNames:
        return "effGetParamName may leave a parameter unnamed";
      case Capability::kValueText:
        if (display_text_) return std::nullopt;
        return "effGetParamDisplay writes nothing (the read-outs live in the plug-in's editor)";
      case Capability::kStateOfItsOwn:
        if (first_->effect()->flags & vst::effFlagsProgramChunks) return std::nullopt;
        return "no chunks (effFlagsProgramChunks unset): a host keeps the program and the "
               "parameter values, which the plug-in never parses";
      case Capability::kAudioInputs:
        if (identity_.audio_inputs > 0) return std::nullopt;
        return "no input pins";
      case Capability::kEditor:
        if (identity_.has_editor) return std::nullopt;
        return "effFlagsHasEditor unset";
      case Capability::kReferenceCounts:
        return "VST 2 has no reference-counted objects: the host closes the effect";
      case Capability::kPrograms:
        if (first_->effect()->numPrograms > 0) return std::nullopt;
        return "no programs";
    }
    return std::nullopt;
  }

 private:
  std::string path_;
  std::unique_ptr<Plugin> first_;  // kept open for the identity, as a scanning host does
  Identity identity_;
  bool display_text_ = false;
};

}  // namespace

std::unique_ptr<PluginFile> OpenVst2(const std::string& path, std::string* error) {
  std::unique_ptr<Plugin> first = Plugin::Load(path, error);
  if (!first) return nullptr;
  return std::make_unique<Vst2File>(path, std::move(first));
}

}  // namespace vellicor::host
