// The LV2 plug-in: the synth core behind LV2 ports. Control port i is parameter i; a port value
// reaches the core as host automation does, when it changes. MIDI events play at their frame,
// the host's tempo arrives as time:Position, and the state is the core's (the current program,
// its values, every name and the controller map). States saved before the core had one (the
// program, its values and the names as texts) still load, and the presets are written so.
#include <lv2/atom/forge.h>
#include <lv2/atom/util.h>
#include <lv2/core/lv2.h>
#include <lv2/midi/midi.h>
#include <lv2/state/state.h>
#include <lv2/time/time.h>
#include <lv2/urid/urid.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <iterator>
#include <memory>
#include <new>
#include <optional>
#include <string>

#include "core/synth.h"
#include "lv2/parameter_ports.h"

namespace vellicor::lv2 {
namespace {

// Controller map entries the editor shows (its CcMap).
constexpr int kShownControllers = param::kLearnableCount;
// What "Auto" tempo programs hear until the host tells its tempo, as in every format.
constexpr double kDefaultTempo = 120.0;

struct Uris {
  explicit Uris(const LV2_URID_Map* map) {
    auto id = [map](const char* uri) { return map->map(map->handle, uri); };
    atom_Int = id(LV2_ATOM__Int);
    atom_Long = id(LV2_ATOM__Long);
    atom_Float = id(LV2_ATOM__Float);
    atom_Double = id(LV2_ATOM__Double);
    atom_String = id(LV2_ATOM__String);
    atom_Chunk = id(LV2_ATOM__Chunk);
    atom_Object = id(LV2_ATOM__Object);
    atom_Blank = id(LV2_ATOM__Blank);
    midi_Event = id(LV2_MIDI__MidiEvent);
    time_Position = id(LV2_TIME__Position);
    time_beatsPerMinute = id(LV2_TIME__beatsPerMinute);
    state = id(kStateUri);
    values = id(kValuesUri);
    program = id(kProgramUri);
    program_names = id(kProgramNamesUri);
    get_controller_map = id(kGetControllerMapUri);
  }
  LV2_URID atom_Int, atom_Long, atom_Float, atom_Double, atom_String, atom_Chunk, atom_Object,
      atom_Blank;
  LV2_URID midi_Event, time_Position, time_beatsPerMinute;
  LV2_URID state, values, program, program_names, get_controller_map;
};

class Plugin {
 public:
  Plugin(const LV2_URID_Map* map) : uris_(map) {
    lv2_atom_forge_init(&forge_, const_cast<LV2_URID_Map*>(map));
    // Ports still at their defaults (program 0, which the instance starts with) change nothing.
    for (int i = 0; i < kNumHostParameters; ++i) {
      seen_[i] = std::bit_cast<uint32_t>(synth_.Value(i));
      unconnected_[i] = synth_.Value(i);
      controls_[i] = &unconnected_[i];
    }
  }

  // At the host's rate, program 0 selected again at it, as a host starts a plug-in; false when
  // the rate is unusable.
  bool Start(double rate) {
    if (!synth_.SetSampleRate(rate)) return false;
    synth_.SelectProgram(synth_.current_program());
    return true;
  }

  void Connect(uint32_t port, void* data) {
    if (port < static_cast<uint32_t>(kNumHostParameters)) {
      // A port the host leaves unconnected reads as the value last taken: no change.
      unconnected_[port] = std::bit_cast<float>(seen_[port]);
      controls_[port] = data ? static_cast<const float*>(data) : &unconnected_[port];
      return;
    }
    switch (port) {
      case kMidiInPort:
        midi_in_ = static_cast<const LV2_Atom_Sequence*>(data);
        break;
      case kLeftOutPort:
        left_ = static_cast<float*>(data);
        break;
      case kRightOutPort:
        right_ = static_cast<float*>(data);
        break;
      case kNotifyPort:
        notify_ = static_cast<LV2_Atom_Sequence*>(data);
        break;
      default:
        break;
    }
  }

  void Activate() { synth_.PrepareToRun(); }
  void Deactivate() { synth_.Suspend(); }

  void Run(uint32_t frames) {
    ApplyControls(frames);
    uint32_t done = 0;
    if (midi_in_) {
      LV2_ATOM_SEQUENCE_FOREACH(midi_in_, event) {
        const int64_t at = event->time.frames;
        const uint32_t until = at < done ? done : at > frames ? frames : static_cast<uint32_t>(at);
        Render(done, until);
        done = until;
        Handle(event->body);
      }
    }
    Render(done, frames);
    SendControllerMap();
  }

  LV2_State_Status Save(LV2_State_Store_Function store, LV2_State_Handle handle) {
    const std::vector<uint8_t> bytes = synth_.SaveState();
    return store(handle, uris_.state, bytes.data(), bytes.size(), uris_.atom_Chunk,
                 LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
  }

  LV2_State_Status Restore(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle) {
    size_t size = 0;
    uint32_t type = 0;
    uint32_t flags = 0;
    const void* data = retrieve(handle, uris_.state, &size, &type, &flags);
    LV2_State_Status status = LV2_STATE_SUCCESS;
    if (data) {
      if (type != uris_.atom_Chunk) {
        status = LV2_STATE_ERR_BAD_TYPE;
      } else if (!synth_.LoadState({static_cast<const uint8_t*>(data), size})) {
        status = LV2_STATE_ERR_UNKNOWN;  // malformed: refused, nothing changed
      }
    } else {
      RestoreTexts(retrieve, handle);
    }
    map_wanted_ = true;
    look_at_all_ = true;
    return status;
  }

 private:
  // A state saved before the core had one, and the presets: the program, its values and the
  // names as texts, each part optional (a preset carries the program and its values, a saved
  // session also the names). What is missing or malformed is left as it is.
  void RestoreTexts(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle) {
    size_t size = 0;
    uint32_t type = 0;
    uint32_t flags = 0;
    const void* data = retrieve(handle, uris_.program, &size, &type, &flags);
    if (data && type == uris_.atom_Int && size == sizeof(int32_t)) {
      int32_t program;
      std::memcpy(&program, data, sizeof program);
      if (program >= 0 && program < kNumPrograms) synth_.SelectProgram(program);
    }
    if (const auto text = RetrieveString(retrieve, handle, uris_.program_names)) {
      std::string_view rest = *text;
      for (int p = 0; p < kNumPrograms && !rest.empty(); ++p) {
        const size_t end = rest.find('\n');
        synth_.RenameProgram(p, std::string(rest.substr(0, end)).c_str());
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
      }
    }
    if (const auto text = RetrieveString(retrieve, handle, uris_.values)) {
      float values[kPatchSize];
      if (ParseValuesText(*text, values, kPatchSize)) synth_.ReplayValues(values);
    }
  }

  std::optional<std::string_view> RetrieveString(LV2_State_Retrieve_Function retrieve,
                                                 LV2_State_Handle handle, LV2_URID key) {
    size_t size = 0;
    uint32_t type = 0;
    uint32_t flags = 0;
    const void* data = retrieve(handle, key, &size, &type, &flags);
    if (!data || type != uris_.atom_String || size == 0) return std::nullopt;
    const char* text = static_cast<const char*>(data);
    const void* end = std::memchr(text, 0, size);
    return std::string_view(text,
                            end ? static_cast<size_t>(static_cast<const char*>(end) - text) : size);
  }

  // A port that changed since the last run is an automation event, in index order, except
  // that a controller-map request (kLearnCommand) comes last: the editor writes the target and
  // the controller before the command, and all three may arrive in one run. Compared by bits,
  // so a port holding NaN is applied once, not on every run.
  //
  // Looking at all 1,599 ports in every run would cost a tenth of the rendering at common block
  // sizes. So a run looks at the requests, at the ports that moved in the last two seconds, and
  // at the others in turn, so many that each is seen once in every tenth of a second of audio:
  // a port that has rested acts within a tenth of a second of its change and is then followed
  // in every run. The first run, and the first after a state is restored, look at all of them.
  void ApplyControls(uint32_t frames) {
    std::fill(std::begin(changed_), std::end(changed_), uint64_t{0});
    auto look = [this](int i) {
      if (std::bit_cast<uint32_t>(*controls_[i]) != seen_[i])
        changed_[i / 64] |= uint64_t{1} << (i % 64);
    };
    // Enough of them that every port is seen once in each tenth of a second of audio.
    const double per_frame = kNumHostParameters / (synth_.sample_rate() * kSweepSeconds);
    int budget = static_cast<int>(per_frame * frames) + 1;
    if (budget < kMinSweep) budget = kMinSweep;
    if (look_at_all_ || budget >= kNumHostParameters) {
      budget = kNumHostParameters;
      look_at_all_ = false;
    }
    // In at most two runs of ports, each compared without a branch, 64 to a word of bits.
    while (budget > 0) {
      const int end = sweep_ + budget < kNumHostParameters ? sweep_ + budget : kNumHostParameters;
      budget -= end - sweep_;
      while (sweep_ < end) {
        const int word = sweep_ / 64;
        const int stop = (word + 1) * 64 < end ? (word + 1) * 64 : end;
        uint64_t moved = 0;
        for (int i = sweep_; i < stop; ++i) {
          moved |= static_cast<uint64_t>(std::bit_cast<uint32_t>(*controls_[i]) != seen_[i])
                   << (i & 63);
        }
        changed_[word] |= moved;
        sweep_ = stop;
      }
      if (sweep_ == kNumHostParameters) sweep_ = 0;
    }
    for (int i = param::kLearnCommand; i <= param::kVoiceReset; ++i) look(i);
    for (int h = 0; h < hot_count_; ++h) look(hot_[h].index);
    AgeHotPorts(frames);

    bool request_changed = false;
    for (int word = 0; word < kChangedWords; ++word) {
      for (uint64_t bits = changed_[word]; bits != 0; bits &= bits - 1) {
        const int i = word * 64 + std::countr_zero(bits);
        if (i == param::kLearnCommand) {
          request_changed = true;
          continue;
        }
        Apply(i);
        MarkHot(i);
      }
    }
    if (request_changed) Apply(param::kLearnCommand);
  }

  // A port that moved is followed in every run until it rests for two seconds.
  void MarkHot(int index) {
    for (int h = 0; h < hot_count_; ++h) {
      if (hot_[h].index == index) {
        hot_[h].resting = 0;
        return;
      }
    }
    if (hot_count_ < kHotPorts) {
      hot_[hot_count_++] = {index, 0};
      return;
    }
    int oldest = 0;  // full: the one resting longest makes room
    for (int h = 1; h < kHotPorts; ++h) {
      if (hot_[h].resting > hot_[oldest].resting) oldest = h;
    }
    hot_[oldest] = {index, 0};
  }

  void AgeHotPorts(uint32_t frames) {
    const uint32_t limit = static_cast<uint32_t>(2.0 * synth_.sample_rate());
    for (int h = 0; h < hot_count_;) {
      hot_[h].resting += frames;
      if (hot_[h].resting > limit) {
        hot_[h] = hot_[--hot_count_];
      } else {
        ++h;
      }
    }
  }

  void Apply(int i) {
    const float value = *controls_[i];
    seen_[i] = std::bit_cast<uint32_t>(value);
    synth_.SetParameter(i, value);
  }

  void Render(uint32_t from, uint32_t to) {
    if (to <= from || !left_ || !right_) return;
    synth_.Render(left_ + from, right_ + from, static_cast<int32_t>(to - from), false);
  }

  void Handle(const LV2_Atom& body) {
    if (body.type == uris_.midi_Event) {
      const auto* bytes = reinterpret_cast<const uint8_t*>(&body + 1);
      synth_.Midi(bytes, body.size > 3 ? 3 : static_cast<int>(body.size));
      return;
    }
    if (body.type != uris_.atom_Object && body.type != uris_.atom_Blank) return;
    const auto* object = reinterpret_cast<const LV2_Atom_Object*>(&body);
    if (object->body.otype == uris_.get_controller_map) {
      map_wanted_ = true;
    } else if (object->body.otype == uris_.time_Position) {
      const LV2_Atom* bpm = nullptr;
      lv2_atom_object_get(object, uris_.time_beatsPerMinute, &bpm, 0);
      if (bpm) {
        const double tempo = Number(*bpm);
        synth_.SetHostTempo(tempo > 0.0 ? tempo : kDefaultTempo);
      }
    }
  }

  double Number(const LV2_Atom& atom) const {
    if (atom.type == uris_.atom_Float) return reinterpret_cast<const LV2_Atom_Float&>(atom).body;
    if (atom.type == uris_.atom_Double) {
      return reinterpret_cast<const LV2_Atom_Double&>(atom).body;
    }
    if (atom.type == uris_.atom_Int) return reinterpret_cast<const LV2_Atom_Int&>(atom).body;
    if (atom.type == uris_.atom_Long) {
      return static_cast<double>(reinterpret_cast<const LV2_Atom_Long&>(atom).body);
    }
    return 0.0;
  }

  // The UI shows the controller map (learnt controllers change it): sent when it changes or
  // when a UI asks, as a vector of 256 ints on the notify port.
  void SendControllerMap() {
    if (!notify_) return;
    const uint32_t capacity = notify_->atom.size;
    lv2_atom_forge_set_buffer(&forge_, reinterpret_cast<uint8_t*>(notify_), capacity);
    LV2_Atom_Forge_Frame frame;
    if (!lv2_atom_forge_sequence_head(&forge_, &frame, 0)) return;
    const uint32_t changes = synth_.ControllerMapChanges();
    if (map_wanted_ || changes != sent_changes_) {
      for (int i = 0; i < kShownControllers; ++i) current_map_[i] = synth_.ControllerFor(i);
      if (lv2_atom_forge_frame_time(&forge_, 0) &&
          lv2_atom_forge_vector(&forge_, sizeof(int32_t), uris_.atom_Int, kShownControllers,
                                current_map_)) {
        sent_changes_ = changes;
        map_wanted_ = false;
      }
    }
    lv2_atom_forge_pop(&forge_, &frame);
  }

  Synth synth_;
  Uris uris_;
  LV2_Atom_Forge forge_;
  const float* controls_[kNumHostParameters] = {};
  uint32_t seen_[kNumHostParameters] = {};
  float unconnected_[kNumHostParameters] = {};
  // Which ports a run found changed, one bit each.
  static constexpr int kChangedWords = (kNumHostParameters + 63) / 64;
  uint64_t changed_[kChangedWords] = {};
  // The ports followed in every run, with the frames each has rested since it last moved.
  static constexpr int kHotPorts = 32;
  struct HotPort {
    int index;
    uint32_t resting;
  };
  HotPort hot_[kHotPorts] = {};
  int hot_count_ = 0;
  // Where the look at the resting ports goes on from; the least it looks at in a run.
  int sweep_ = 0;
  static constexpr int kMinSweep = 16;
  static constexpr double kSweepSeconds = 0.1;
  bool look_at_all_ = true;
  const LV2_Atom_Sequence* midi_in_ = nullptr;
  float* left_ = nullptr;
  float* right_ = nullptr;
  LV2_Atom_Sequence* notify_ = nullptr;
  uint32_t sent_changes_ = 0;
  int32_t current_map_[kShownControllers] = {};
  bool map_wanted_ = true;
};

Plugin* Of(LV2_Handle handle) {
  return static_cast<Plugin*>(handle);
}

LV2_Handle Instantiate(const LV2_Descriptor*, double rate, const char*,
                       const LV2_Feature* const* features) {
  const LV2_URID_Map* map = nullptr;
  for (int i = 0; features && features[i]; ++i) {
    if (std::strcmp(features[i]->URI, LV2_URID__map) == 0) {
      map = static_cast<const LV2_URID_Map*>(features[i]->data);
    }
  }
  if (!map) return nullptr;
  try {
    auto plugin = std::make_unique<Plugin>(map);
    return plugin->Start(rate) ? plugin.release() : nullptr;
  } catch (...) {
    return nullptr;  // out of memory: the host hears that no instance could be made
  }
}

void ConnectPort(LV2_Handle instance, uint32_t port, void* data) {
  Of(instance)->Connect(port, data);
}

void Activate(LV2_Handle instance) {
  Of(instance)->Activate();
}

void Run(LV2_Handle instance, uint32_t frames) {
  Of(instance)->Run(frames);
}

void Deactivate(LV2_Handle instance) {
  Of(instance)->Deactivate();
}

void Cleanup(LV2_Handle instance) {
  delete Of(instance);
}

LV2_State_Status Save(LV2_Handle instance, LV2_State_Store_Function store, LV2_State_Handle handle,
                      uint32_t, const LV2_Feature* const*) {
  try {
    return Of(instance)->Save(store, handle);
  } catch (...) {
    return LV2_STATE_ERR_UNKNOWN;
  }
}

LV2_State_Status Restore(LV2_Handle instance, LV2_State_Retrieve_Function retrieve,
                         LV2_State_Handle handle, uint32_t, const LV2_Feature* const*) {
  try {
    return Of(instance)->Restore(retrieve, handle);
  } catch (...) {
    return LV2_STATE_ERR_UNKNOWN;
  }
}

const void* ExtensionData(const char* uri) {
  static const LV2_State_Interface state = {Save, Restore};
  if (std::strcmp(uri, LV2_STATE__interface) == 0) return &state;
  return nullptr;
}

const LV2_Descriptor kDescriptor = {kPluginUri, Instantiate, ConnectPort, Activate,
                                    Run,        Deactivate,  Cleanup,     ExtensionData};

}  // namespace
}  // namespace vellicor::lv2

LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) {
  return index == 0 ? &vellicor::lv2::kDescriptor : nullptr;
}
