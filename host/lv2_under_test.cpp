// LV2 behind the plug-in-under-test interface, through lilv as LV2 hosts load a bundle: the
// plug-in found in the bundle's data, its ports connected to the host's buffers, MIDI as atom
// events at their frames, the state through the plug-in's state interface beside the control
// ports' values, and its X11 UI (found through the data too) embedded in the host's window.
// Control ports are the host's: a change made while the instance runs is written into its port
// before the next run, as hosts hand port changes to their audio thread.
#include <dlfcn.h>
#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/atom/util.h>
#include <lv2/core/lv2.h>
#include <lv2/midi/midi.h>
#include <lv2/options/options.h>
#include <lv2/presets/presets.h>
#include <lv2/state/state.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>

#include "host/plugin_under_test.h"

namespace vellicor::host {
namespace {

constexpr size_t kAtomBufferBytes = 65536;

// Every URI the plug-in, its UI or the host maps, numbered from 1; from any thread.
class UridMap {
 public:
  LV2_URID Map(const char* uri) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto at = std::find(uris_.begin(), uris_.end(), uri);
    if (at != uris_.end()) return static_cast<LV2_URID>(at - uris_.begin() + 1);
    uris_.emplace_back(uri);
    return static_cast<LV2_URID>(uris_.size());
  }
  const char* Unmap(LV2_URID id) {
    std::lock_guard<std::mutex> lock(mutex_);
    return id >= 1 && id <= uris_.size() ? uris_[id - 1].c_str() : nullptr;
  }

  LV2_URID_Map map{this,
                   [](void* h, const char* uri) { return static_cast<UridMap*>(h)->Map(uri); }};
  LV2_URID_Unmap unmap{this,
                       [](void* h, LV2_URID id) { return static_cast<UridMap*>(h)->Unmap(id); }};
  LV2_Feature map_feature{LV2_URID__map, &map}, unmap_feature{LV2_URID__unmap, &unmap};
  const LV2_Feature* features[3] = {&map_feature, &unmap_feature, nullptr};

 private:
  std::mutex mutex_;
  std::vector<std::string> uris_;
};

enum class PortKind { kControlIn, kControlOut, kAudioIn, kAudioOut, kAtomIn, kAtomOut, kOther };

// The world with the bundle loaded, and what a host reads from it about the plug-in.
struct Bundle {
  ~Bundle() {
    for (LilvNode* node : nodes) lilv_node_free(node);
    if (world) lilv_world_free(world);
  }
  LilvNode* Uri(const char* uri) {
    nodes.push_back(lilv_new_uri(world, uri));
    return nodes.back();
  }

  LilvWorld* world = nullptr;
  const LilvPlugin* plugin = nullptr;
  UridMap urids;
  std::vector<LilvNode*> nodes;
  std::vector<PortKind> ports;
  std::vector<uint32_t> controls;  // the control input ports, in index order: the parameters
  std::vector<uint32_t> io_ports;  // the audio and atom ports, connected or filled every run
  std::vector<float> minimum, maximum, defaults;
  std::vector<std::string> control_names;
  uint32_t midi_port = UINT32_MAX;   // the first atom input that takes MIDI
  std::vector<std::string> presets;  // sorted by URI
  std::vector<std::string> preset_labels;
  // The X11 UI, if the data names one.
  std::string ui_uri, ui_binary, ui_bundle;
};

class Lv2Instance final : public Instance {
 public:
  explicit Lv2Instance(std::shared_ptr<Bundle> bundle) : bundle_(std::move(bundle)) {
    const size_t count = bundle_->ports.size();
    values_.assign(count, 0.0f);
    for (size_t p = 0; p < count; ++p) values_[p] = bundle_->defaults[p];
    shadow_ = values_;
    atoms_.resize(count);
    for (size_t p = 0; p < count; ++p) {
      const PortKind kind = bundle_->ports[p];
      if (kind == PortKind::kAtomIn || kind == PortKind::kAtomOut) {
        atoms_[p].assign(kAtomBufferBytes / sizeof(uint64_t), 0);
      }
    }
    midi_type_ = bundle_->urids.Map(LV2_MIDI__MidiEvent);
    sequence_type_ = bundle_->urids.Map(LV2_ATOM__Sequence);
    chunk_type_ = bundle_->urids.Map(LV2_ATOM__Chunk);
    transfer_ = bundle_->urids.Map(LV2_ATOM__eventTransfer);
  }

  ~Lv2Instance() override {
    CloseEditor();
    Deactivate();
    if (instance_) lilv_instance_free(instance_);
  }

  bool Instantiate(double rate, std::string* error) {
    instance_ = lilv_plugin_instantiate(bundle_->plugin, rate, bundle_->urids.features);
    if (!instance_) {
      *error = "lilv_plugin_instantiate failed at " + std::to_string(rate) + " Hz";
      return false;
    }
    rate_ = rate;
    for (size_t p = 0; p < bundle_->ports.size(); ++p) {
      switch (bundle_->ports[p]) {
        case PortKind::kControlIn:
        case PortKind::kControlOut:
          lilv_instance_connect_port(instance_, static_cast<uint32_t>(p), &values_[p]);
          break;
        case PortKind::kAtomIn:
        case PortKind::kAtomOut:
          lilv_instance_connect_port(instance_, static_cast<uint32_t>(p), atoms_[p].data());
          break;
        default:
          lilv_instance_connect_port(instance_, static_cast<uint32_t>(p), nullptr);
          break;
      }
    }
    return true;
  }

  bool Activate(double rate, int max_block, std::string* error) override {
    Deactivate();
    if (rate != rate_) {
      // The rate is fixed when an instance is made: make it again, with the plug-in's state.
      State state;
      if (!SaveState(&state, error)) return false;
      lilv_instance_free(instance_);
      instance_ = nullptr;
      if (!Instantiate(rate, error)) return false;
      if (!LoadState(state, error)) return false;
    }
    silence_.assign(static_cast<size_t>(max_block), 0.0f);
    max_block_ = max_block;
    lilv_instance_activate(instance_);
    active_ = true;
    return true;
  }

  void Deactivate() override {
    if (!active_) return;
    lilv_instance_deactivate(instance_);
    active_ = false;
    ApplyPending();
  }

  bool active() const override { return active_; }
  int latency() override { return 0; }

  bool Process(const std::vector<MidiMessage>& events, const float* const* inputs,
               float* const* outputs, int frames) override {
    if (!active_ || frames > max_block_) return false;
    ApplyPending();
    std::vector<std::vector<uint8_t>> messages;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      messages.swap(ui_messages_);
    }
    int input = 0, output = 0;
    for (const uint32_t p : bundle_->io_ports) {
      const uint32_t index = p;
      switch (bundle_->ports[p]) {
        case PortKind::kAudioIn:
          lilv_instance_connect_port(instance_, index,
                                     inputs ? const_cast<float*>(inputs[input]) : silence_.data());
          ++input;
          break;
        case PortKind::kAudioOut:
          lilv_instance_connect_port(instance_, index, outputs[output++]);
          break;
        case PortKind::kAtomIn: {
          auto* sequence = reinterpret_cast<LV2_Atom_Sequence*>(atoms_[p].data());
          sequence->atom.type = sequence_type_;
          lv2_atom_sequence_clear(sequence);
          if (index != bundle_->midi_port) break;
          for (const auto& message : messages) {
            AppendEvent(sequence, 0, reinterpret_cast<const LV2_Atom*>(message.data()));
          }
          for (const MidiMessage& m : events) {
            struct {
              LV2_Atom atom;
              uint8_t bytes[8];
            } midi{{3, midi_type_}, {m.bytes[0], m.bytes[1], m.bytes[2]}};
            AppendEvent(sequence, m.delta_frames, &midi.atom);
          }
          break;
        }
        case PortKind::kAtomOut: {
          auto* sequence = reinterpret_cast<LV2_Atom_Sequence*>(atoms_[p].data());
          sequence->atom = {static_cast<uint32_t>(kAtomBufferBytes - sizeof(LV2_Atom)),
                            chunk_type_};
          break;
        }
        default:
          break;
      }
    }
    lilv_instance_run(instance_, static_cast<uint32_t>(frames));
    return true;
  }

  int parameter_count() override { return static_cast<int>(bundle_->controls.size()); }

  ParameterInfo Parameter(int index) override {
    ParameterInfo info;
    if (index < 0 || index >= parameter_count()) return info;
    const uint32_t port = bundle_->controls[static_cast<size_t>(index)];
    info.name = bundle_->control_names[static_cast<size_t>(index)];
    info.min = bundle_->minimum[port];
    info.max = bundle_->maximum[port];
    info.default_value = bundle_->defaults[port];
    return info;
  }

  void SetParameter(int index, double value) override {
    if (index < 0 || index >= parameter_count()) return;
    const uint32_t port = bundle_->controls[static_cast<size_t>(index)];
    std::lock_guard<std::mutex> lock(mutex_);
    shadow_[port] = static_cast<float>(value);
    if (active_) {
      pending_.emplace_back(port, static_cast<float>(value));
    } else {
      values_[port] = static_cast<float>(value);
    }
  }

  double GetParameter(int index) override {
    if (index < 0 || index >= parameter_count()) return 0.0;
    std::lock_guard<std::mutex> lock(mutex_);
    return shadow_[bundle_->controls[static_cast<size_t>(index)]];
  }

  std::optional<std::string> ValueText(int, double) override { return std::nullopt; }

  bool SelectProgram(int program) override {
    if (program < 0 || program >= static_cast<int>(bundle_->presets.size())) return false;
    LilvNode* uri =
        lilv_new_uri(bundle_->world, bundle_->presets[static_cast<size_t>(program)].c_str());
    lilv_world_load_resource(bundle_->world, uri);
    LilvState* state = lilv_state_new_from_world(bundle_->world, &bundle_->urids.map, uri);
    lilv_node_free(uri);
    if (!state) return false;
    lilv_state_restore(state, instance_, &Lv2Instance::SetPortValue, this, 0,
                       bundle_->urids.features);
    lilv_state_free(state);
    return true;
  }

  bool SaveState(State* state, std::string* error) override {
    state->clear();
    StateBlob ports{"ports", 0, {}};
    {
      std::lock_guard<std::mutex> lock(mutex_);
      for (uint32_t port : bundle_->controls) {
        const auto* bytes = reinterpret_cast<const uint8_t*>(&shadow_[port]);
        ports.bytes.insert(ports.bytes.end(), bytes, bytes + sizeof(float));
      }
    }
    state->push_back(std::move(ports));
    const auto* interface = StateInterface();
    if (!interface) return true;
    struct Store {
      UridMap& urids;
      State& state;
    } store{bundle_->urids, *state};
    const LV2_State_Status status = interface->save(
        lilv_instance_get_handle(instance_),
        [](LV2_State_Handle handle, uint32_t key, const void* value, size_t size, uint32_t type,
           uint32_t) {
          auto* s = static_cast<Store*>(handle);
          const char* name = s->urids.Unmap(key);
          const auto* bytes = static_cast<const uint8_t*>(value);
          s->state.push_back({name ? name : "", type, std::vector<uint8_t>(bytes, bytes + size)});
          return LV2_STATE_SUCCESS;
        },
        &store, LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE, bundle_->urids.features);
    if (status != LV2_STATE_SUCCESS) {
      *error = "the state interface's save failed with status " + std::to_string(status);
      return false;
    }
    return true;
  }

  bool LoadState(const State& state, std::string* error) override {
    // The plug-in's own records go to it as they are, for it to take or refuse; the ports'
    // values are the host's, taken once the plug-in took its records (a damaged record of them is
    // the host's to ignore).
    const auto* interface = StateInterface();
    if (interface) {
      struct Retrieve {
        UridMap& urids;
        const State& state;
      } retrieve{bundle_->urids, state};
      const LV2_State_Status status = interface->restore(
          lilv_instance_get_handle(instance_),
          [](LV2_State_Handle handle, uint32_t key, size_t* size, uint32_t* type,
             uint32_t* flags) -> const void* {
            auto* r = static_cast<Retrieve*>(handle);
            const char* name = r->urids.Unmap(key);
            for (const StateBlob& blob : r->state) {
              if (name && blob.key == name && blob.key != "ports") {
                *size = blob.bytes.size();
                *type = blob.type;
                *flags = LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE;
                return blob.bytes.data();
              }
            }
            return nullptr;
          },
          &retrieve, 0, bundle_->urids.features);
      if (status != LV2_STATE_SUCCESS) {
        *error = "the state interface's restore refused it (status " + std::to_string(status) + ")";
        return false;
      }
    }
    for (const StateBlob& blob : state) {
      if (blob.key != "ports" || blob.bytes.size() != bundle_->controls.size() * sizeof(float)) {
        continue;
      }
      for (size_t i = 0; i < bundle_->controls.size(); ++i) {
        float value;
        std::memcpy(&value, blob.bytes.data() + i * sizeof value, sizeof value);
        SetParameter(static_cast<int>(i), value);
      }
    }
    return true;
  }

  bool OpenEditor(void* parent, int* width, int* height, std::string* error) override {
    if (bundle_->ui_binary.empty()) {
      *error = "no X11 UI";
      return false;
    }
    ui_library_ = dlopen(bundle_->ui_binary.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!ui_library_) {
      *error = dlerror();
      return false;
    }
    auto entry = reinterpret_cast<LV2UI_DescriptorFunction>(dlsym(ui_library_, "lv2ui_descriptor"));
    for (uint32_t i = 0; entry && !ui_; ++i) {
      const LV2UI_Descriptor* d = entry(i);
      if (!d) break;
      if (bundle_->ui_uri == d->URI) ui_ = d;
    }
    if (!ui_) {
      *error = "the UI's binary has no descriptor for " + bundle_->ui_uri;
      CloseEditor();
      return false;
    }
    LV2UI_Resize resize{this, [](LV2UI_Feature_Handle h, int w, int hh) {
                          auto* self = static_cast<Lv2Instance*>(h);
                          self->ui_width_ = w;
                          self->ui_height_ = hh;
                          return 0;
                        }};
    const LV2_Feature parent_feature{LV2_UI__parent, parent};
    const LV2_Feature idle_feature{LV2_UI__idleInterface, nullptr};
    const LV2_Feature resize_feature{LV2_UI__resize, &resize};
    // The host's scale for user interfaces, among its options.
    const float scale = static_cast<float>(editor_scale);
    const LV2_Options_Option options[] = {
        {LV2_OPTIONS_INSTANCE, 0, bundle_->urids.Map(LV2_UI__scaleFactor), sizeof scale,
         bundle_->urids.Map(LV2_ATOM__Float), &scale},
        {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
    const LV2_Feature options_feature{LV2_OPTIONS__options,
                                      const_cast<LV2_Options_Option*>(options)};
    const LV2_Feature* features[] = {&bundle_->urids.map_feature,
                                     &bundle_->urids.unmap_feature,
                                     &parent_feature,
                                     &idle_feature,
                                     &resize_feature,
                                     &options_feature,
                                     nullptr};
    LV2UI_Widget widget = nullptr;
    ui_handle_ = ui_->instantiate(ui_, lilv_node_as_uri(lilv_plugin_get_uri(bundle_->plugin)),
                                  bundle_->ui_bundle.c_str(), &Lv2Instance::UiWrite, this, &widget,
                                  features);
    if (!ui_handle_) {
      *error = "the UI's instantiate failed";
      CloseEditor();
      return false;
    }
    ui_idle_ =
        ui_->extension_data
            ? static_cast<const LV2UI_Idle_Interface*>(ui_->extension_data(LV2_UI__idleInterface))
            : nullptr;
    // The UI learns the ports' values as a host tells them.
    if (ui_->port_event) {
      for (uint32_t port : bundle_->controls) {
        const float value = static_cast<float>(GetParameter(IndexOf(port)));
        ui_->port_event(ui_handle_, port, sizeof value, 0, &value);
      }
    }
    *width = ui_width_;
    *height = ui_height_;
    return true;
  }

  void IdleEditor() override {
    if (ui_handle_ && ui_idle_) ui_idle_->idle(ui_handle_);
  }

  void CloseEditor() override {
    if (ui_handle_) ui_->cleanup(ui_handle_);
    ui_handle_ = nullptr;
    ui_ = nullptr;
    ui_idle_ = nullptr;
    if (ui_library_) dlclose(ui_library_);
    ui_library_ = nullptr;
  }

 private:
  void ApplyPending() {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& [port, value] : pending_) values_[port] = value;
    pending_.clear();
  }

  int IndexOf(uint32_t port) const {
    const auto& controls = bundle_->controls;
    return static_cast<int>(std::lower_bound(controls.begin(), controls.end(), port) -
                            controls.begin());
  }

  const LV2_State_Interface* StateInterface() {
    return static_cast<const LV2_State_Interface*>(
        lilv_instance_get_extension_data(instance_, LV2_STATE__interface));
  }

  void AppendEvent(LV2_Atom_Sequence* sequence, int64_t frame, const LV2_Atom* body) {
    struct {
      LV2_Atom_Event head;
      uint8_t body[256];
    } event;
    if (body->size + sizeof(LV2_Atom) > sizeof event.body) return;
    event.head.time.frames = frame;
    std::memcpy(&event.head.body, body, sizeof(LV2_Atom) + body->size);
    lv2_atom_sequence_append_event(sequence, kAtomBufferBytes, &event.head);
  }

  static void SetPortValue(const char* symbol, void* self_pointer, const void* value, uint32_t size,
                           uint32_t) {
    auto* self = static_cast<Lv2Instance*>(self_pointer);
    if (size != sizeof(float)) return;
    const LilvPlugin* plugin = self->bundle_->plugin;
    LilvNode* node = lilv_new_string(self->bundle_->world, symbol);
    const LilvPort* port = lilv_plugin_get_port_by_symbol(plugin, node);
    lilv_node_free(node);
    if (!port) return;
    const uint32_t index = lilv_port_get_index(plugin, port);
    if (index >= self->bundle_->ports.size() ||
        self->bundle_->ports[index] != PortKind::kControlIn) {
      return;
    }
    float v;
    std::memcpy(&v, value, sizeof v);
    self->SetParameter(self->IndexOf(index), v);
  }

  static void UiWrite(LV2UI_Controller controller, uint32_t port, uint32_t size, uint32_t format,
                      const void* buffer) {
    auto* self = static_cast<Lv2Instance*>(controller);
    if (port >= self->bundle_->ports.size()) return;
    if (format == 0 && size == sizeof(float) &&
        self->bundle_->ports[port] == PortKind::kControlIn) {
      float value;
      std::memcpy(&value, buffer, sizeof value);
      self->SetParameter(self->IndexOf(port), value);
    } else if (format == self->transfer_ && port == self->bundle_->midi_port &&
               size >= sizeof(LV2_Atom) && size <= 256) {
      const auto* bytes = static_cast<const uint8_t*>(buffer);
      std::lock_guard<std::mutex> lock(self->mutex_);
      self->ui_messages_.emplace_back(bytes, bytes + size);
    }
  }

  std::shared_ptr<Bundle> bundle_;
  LilvInstance* instance_ = nullptr;
  double rate_ = 0.0;
  int max_block_ = 0;
  bool active_ = false;
  // Port buffers: control values by port index (the plug-in's), atom sequences, silence.
  std::vector<float> values_;
  std::vector<std::vector<uint64_t>> atoms_;
  std::vector<float> silence_;
  LV2_URID midi_type_, sequence_type_, chunk_type_, transfer_;
  // The host's view of the control values and the changes waiting for the next run.
  std::mutex mutex_;
  std::vector<float> shadow_;
  std::vector<std::pair<uint32_t, float>> pending_;
  std::vector<std::vector<uint8_t>> ui_messages_;
  // The UI while open.
  void* ui_library_ = nullptr;
  const LV2UI_Descriptor* ui_ = nullptr;
  LV2UI_Handle ui_handle_ = nullptr;
  const LV2UI_Idle_Interface* ui_idle_ = nullptr;
  int ui_width_ = 0, ui_height_ = 0;
};

std::string TakeString(LilvNode* node) {
  std::string text = node ? lilv_node_as_string(node) : "";
  lilv_node_free(node);
  return text;
}

std::string FilePath(const LilvNode* uri) {
  if (!uri) return "";
  char* path = lilv_file_uri_parse(lilv_node_as_uri(uri), nullptr);
  std::string text = path ? path : "";
  lilv_free(path);
  return text;
}

class Lv2File final : public PluginFile {
 public:
  explicit Lv2File(std::shared_ptr<Bundle> bundle) : bundle_(std::move(bundle)) {}

  // lilv opens the library for the first instance and closes it with the last.
  bool Reload(std::string*) override { return true; }

  bool Scan(std::string* error) {
    Bundle& b = *bundle_;
    const LilvPlugin* p = b.plugin;
    if (!lilv_plugin_verify(p)) {
      *error = "lilv_plugin_verify found the plug-in's data incomplete";
      return false;
    }
    // The plug-in may require features: we offer URID map and unmap only.
    LilvNodes* required = lilv_plugin_get_required_features(p);
    LILV_FOREACH(nodes, i, required) {
      const char* feature = lilv_node_as_uri(lilv_nodes_get(required, i));
      if (std::strcmp(feature, LV2_URID__map) != 0 && std::strcmp(feature, LV2_URID__unmap) != 0) {
        *error = std::string("the plug-in requires ") + feature + ", which this host lacks";
        lilv_nodes_free(required);
        return false;
      }
    }
    lilv_nodes_free(required);

    identity_.format = "LV2";
    identity_.entry = FilePath(lilv_plugin_get_library_uri(p)) + " (lv2_descriptor)";
    identity_.id = lilv_node_as_uri(lilv_plugin_get_uri(p));
    identity_.name = TakeString(lilv_plugin_get_name(p));
    identity_.vendor = TakeString(lilv_plugin_get_author_name(p));
    auto version = [&](const char* predicate) {
      LilvNodes* values = lilv_plugin_get_value(p, b.Uri(predicate));
      const LilvNode* first = values ? lilv_nodes_get_first(values) : nullptr;
      const std::string text = first ? lilv_node_as_string(first) : "?";
      lilv_nodes_free(values);
      return text;
    };
    identity_.version = version(LV2_CORE__minorVersion) + "." + version(LV2_CORE__microVersion);
    // The classes as the bundle's data declares them (lilv names a class only when it also
    // read the LV2 core's own data, which a host may not have installed).
    LilvNodes* types = lilv_plugin_get_value(p, b.Uri(LILV_NS_RDF "type"));
    LILV_FOREACH(nodes, i, types) {
      const char* type = lilv_node_as_uri(lilv_nodes_get(types, i));
      const char* hash = std::strrchr(type, '#');
      identity_.categories.push_back(hash ? hash + 1 : type);
      if (std::strcmp(type, LV2_CORE__InstrumentPlugin) == 0) identity_.instrument = true;
    }
    lilv_nodes_free(types);

    const uint32_t count = lilv_plugin_get_num_ports(p);
    b.minimum.resize(count);
    b.maximum.resize(count);
    b.defaults.resize(count);
    lilv_plugin_get_port_ranges_float(p, b.minimum.data(), b.maximum.data(), b.defaults.data());
    LilvNode* input = b.Uri(LV2_CORE__InputPort);
    LilvNode* output = b.Uri(LV2_CORE__OutputPort);
    LilvNode* control = b.Uri(LV2_CORE__ControlPort);
    LilvNode* audio = b.Uri(LV2_CORE__AudioPort);
    LilvNode* atom = b.Uri(LV2_ATOM__AtomPort);
    LilvNode* midi = b.Uri(LV2_MIDI__MidiEvent);
    LilvNode* optional = b.Uri(LV2_CORE__connectionOptional);
    for (uint32_t i = 0; i < count; ++i) {
      const LilvPort* port = lilv_plugin_get_port_by_index(p, i);
      const bool in = lilv_port_is_a(p, port, input);
      const bool out = lilv_port_is_a(p, port, output);
      PortKind kind = PortKind::kOther;
      if (lilv_port_is_a(p, port, control)) {
        kind = in ? PortKind::kControlIn : PortKind::kControlOut;
      } else if (lilv_port_is_a(p, port, audio)) {
        kind = in ? PortKind::kAudioIn : PortKind::kAudioOut;
      } else if (lilv_port_is_a(p, port, atom)) {
        kind = in ? PortKind::kAtomIn : PortKind::kAtomOut;
      }
      if (kind == PortKind::kOther && !lilv_port_has_property(p, port, optional)) {
        *error = "port " + std::to_string(i) + " is of a kind this host cannot connect";
        return false;
      }
      (void)out;
      b.ports.push_back(kind);
      if (kind != PortKind::kControlIn && kind != PortKind::kControlOut &&
          kind != PortKind::kOther) {
        b.io_ports.push_back(i);
      }
      if (kind == PortKind::kControlIn) {
        b.controls.push_back(i);
        b.control_names.push_back(TakeString(lilv_port_get_name(p, port)));
        if (std::isnan(b.defaults[i])) b.defaults[i] = std::isnan(b.minimum[i]) ? 0 : b.minimum[i];
      }
      if (kind == PortKind::kAudioIn) ++identity_.audio_inputs;
      if (kind == PortKind::kAudioOut) ++identity_.audio_outputs;
      if (kind == PortKind::kAtomIn && lilv_port_supports_event(p, port, midi)) {
        ++identity_.note_inputs;
        if (b.midi_port == UINT32_MAX) b.midi_port = i;
      }
    }
    identity_.parameters = static_cast<int>(b.controls.size());

    LilvNodes* presets = lilv_plugin_get_related(p, b.Uri(LV2_PRESETS__Preset));
    LILV_FOREACH(nodes, i, presets) {
      b.presets.push_back(lilv_node_as_uri(lilv_nodes_get(presets, i)));
    }
    lilv_nodes_free(presets);
    std::sort(b.presets.begin(), b.presets.end());
    LilvNode* label = b.Uri(LILV_NS_RDFS "label");
    for (const std::string& preset : b.presets) {
      LilvNode* uri = lilv_new_uri(b.world, preset.c_str());
      lilv_world_load_resource(b.world, uri);
      LilvNode* name = lilv_world_get(b.world, uri, label, nullptr);
      b.preset_labels.push_back(name ? lilv_node_as_string(name) : preset);
      lilv_node_free(name);
      lilv_node_free(uri);
    }

    LilvUIs* uis = lilv_plugin_get_uis(p);
    LilvNode* x11 = b.Uri(LV2_UI__X11UI);
    LILV_FOREACH(uis, i, uis) {
      const LilvUI* ui = lilv_uis_get(uis, i);
      if (!lilv_ui_is_a(ui, x11) || !b.ui_binary.empty()) continue;
      b.ui_uri = lilv_node_as_uri(lilv_ui_get_uri(ui));
      b.ui_binary = FilePath(lilv_ui_get_binary_uri(ui));
      b.ui_bundle = FilePath(lilv_ui_get_bundle_uri(ui));
    }
    lilv_uis_free(uis);
    identity_.has_editor = !b.ui_binary.empty();
    return true;
  }

  const Identity& identity() const override { return identity_; }

  std::unique_ptr<Instance> NewInstance(std::string* error) override {
    auto instance = std::make_unique<Lv2Instance>(bundle_);
    if (!instance->Instantiate(44100.0, error)) return nullptr;
    return instance;
  }

  std::vector<std::string> Programs() const override { return bundle_->preset_labels; }

  std::optional<std::string> Lacks(Capability capability) const override {
    switch (capability) {
      case Capability::kParameterNames:
        return std::nullopt;
      case Capability::kValueText:
        return "LV2 control ports carry no value text: hosts print the number";
      case Capability::kStateOfItsOwn:
        return std::nullopt;
      case Capability::kAudioInputs:
        if (identity_.audio_inputs > 0) return std::nullopt;
        return "no audio input ports";
      case Capability::kEditor:
        if (identity_.has_editor) return std::nullopt;
        return "no X11 UI in the bundle's data";
      case Capability::kReferenceCounts:
        return "LV2 has no reference-counted objects: the host cleans the instance up";
      case Capability::kPrograms:
        if (!bundle_->presets.empty()) return std::nullopt;
        return "no presets";
    }
    return std::nullopt;
  }

 private:
  std::shared_ptr<Bundle> bundle_;
  Identity identity_;
};

}  // namespace

std::unique_ptr<PluginFile> OpenLv2(const std::string& path, std::string* error) {
  auto bundle = std::make_shared<Bundle>();
  bundle->world = lilv_world_new();
  std::string folder = path;
  if (folder.empty() || folder.back() != '/') folder += '/';
  LilvNode* bundle_uri = lilv_new_file_uri(bundle->world, nullptr, folder.c_str());
  lilv_world_load_bundle(bundle->world, bundle_uri);
  const LilvPlugins* plugins = lilv_world_get_all_plugins(bundle->world);
  LILV_FOREACH(plugins, i, plugins) {
    const LilvPlugin* plugin = lilv_plugins_get(plugins, i);
    if (lilv_node_equals(lilv_plugin_get_bundle_uri(plugin), bundle_uri)) {
      bundle->plugin = plugin;
      break;
    }
  }
  lilv_node_free(bundle_uri);
  if (!bundle->plugin) {
    *error = "no plug-in in the bundle's data (" + folder + "manifest.ttl)";
    return nullptr;
  }
  auto file = std::make_unique<Lv2File>(bundle);
  if (!file->Scan(error)) return nullptr;
  return file;
}

}  // namespace vellicor::host
