// The LV2 bundle as a host sees it through lilv: found by its URI, its ports named after the
// frame's parameters, presets and state that bring back a program with the VST 2 library's very
// samples, and events played at their frame (the preset count is checked by scripts/test); and
// its UI embedded in a host's window.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <lilv/lilv.h>
#include <lv2/atom/util.h>
#include <lv2/midi/midi.h>
#include <lv2/state/state.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "core/state.h"
#include "editor/uEditor.h"
#include "gui/host_window.h"
#include "host/midi_file.h"
#include "host/render.h"
#include "lv2/parameter_ports.h"
#include "patch/factory_bank.h"
#include "tests/host/built_library.h"
#include "tests/odd_frame_score.h"
#include "tests/skip_without_display.h"
#include "tests/slider_drag.h"

namespace vellicor {
namespace {

constexpr double kRate = 44100.0;
constexpr int kBlock = 512;
constexpr int kMaxBlock = 4096;

struct Urids {
  std::vector<std::string> uris;
  LV2_URID Map(const char* uri) {
    const auto at = std::find(uris.begin(), uris.end(), uri);
    if (at != uris.end()) return static_cast<LV2_URID>(at - uris.begin() + 1);
    uris.emplace_back(uri);
    return static_cast<LV2_URID>(uris.size());
  }
  LV2_URID_Map map{this, [](void* h, const char* uri) { return static_cast<Urids*>(h)->Map(uri); }};
  LV2_URID_Unmap unmap{this, [](void* h, LV2_URID id) {
                         auto& uris = static_cast<Urids*>(h)->uris;
                         return id >= 1 && id <= uris.size() ? uris[id - 1].c_str() : nullptr;
                       }};
  LV2_Feature map_feature{LV2_URID__map, &map}, unmap_feature{LV2_URID__unmap, &unmap};
  const LV2_Feature* features[3] = {&map_feature, &unmap_feature, nullptr};
};

// One instance with every port connected to buffers of its own, as a host runs it.
class Instance {
 public:
  Instance(const LilvPlugin* plugin, Urids& urids) : plugin_(plugin), urids_(urids) {
    std::vector<float> defaults(lilv_plugin_get_num_ports(plugin));
    lilv_plugin_get_port_ranges_float(plugin, nullptr, nullptr, defaults.data());
    controls_.assign(defaults.begin(), defaults.begin() + lv2::kControlPortCount);
    instance_ = lilv_plugin_instantiate(plugin, kRate, urids.features);
    if (!instance_) return;
    for (uint32_t i = 0; i < controls_.size(); ++i)
      lilv_instance_connect_port(instance_, i, &controls_[i]);
    lilv_instance_connect_port(instance_, lv2::kMidiInPort, midi_);
    lilv_instance_connect_port(instance_, lv2::kLeftOutPort, left_);
    lilv_instance_connect_port(instance_, lv2::kRightOutPort, right_);
    lilv_instance_connect_port(instance_, lv2::kNotifyPort, notify_);
    lilv_instance_activate(instance_);
  }
  ~Instance() {
    if (!instance_) return;
    lilv_instance_deactivate(instance_);
    lilv_instance_free(instance_);
  }

  bool ok() const { return instance_ != nullptr; }
  float& control(int index) { return controls_[static_cast<size_t>(index)]; }

  // Runs `frames` (at most kMaxBlock) with the given events; appends the output.
  void Run(uint32_t frames, const std::vector<host::MidiMessage>& events) {
    auto* sequence = reinterpret_cast<LV2_Atom_Sequence*>(midi_);
    sequence->atom.type = urids_.Map(LV2_ATOM__Sequence);
    lv2_atom_sequence_clear(sequence);
    for (const host::MidiMessage& e : events) {
      struct {
        LV2_Atom_Event head;
        uint8_t bytes[8];
      } event{{{e.delta_frames}, {3, urids_.Map(LV2_MIDI__MidiEvent)}},
              {e.bytes[0], e.bytes[1], e.bytes[2]}};
      lv2_atom_sequence_append_event(sequence, sizeof midi_, &event.head);
    }
    auto* notify = reinterpret_cast<LV2_Atom_Sequence*>(notify_);
    notify->atom = {sizeof notify_ - sizeof(LV2_Atom), urids_.Map(LV2_ATOM__Chunk)};
    lilv_instance_run(instance_, frames);
    left.insert(left.end(), left_, left_ + frames);
    right.insert(right.end(), right_, right_ + frames);
  }

  // The demo phrase in blocks of `block` frames, each event at its frame, as the command-line
  // host sends it to the VST 2 library. Output: all left samples, then all right ones.
  std::vector<float> RenderPhrase(int block = 512) {
    const auto messages = host::DemoPhrase();
    const double tail = host::RenderSettings().tail_seconds;
    const auto total = static_cast<int64_t>(std::ceil((messages.back().seconds + tail) * kRate));
    size_t next = 0;
    for (int64_t start = 0; start < total; start += block) {
      const auto frames = static_cast<uint32_t>(std::min<int64_t>(block, total - start));
      std::vector<host::MidiMessage> events;
      while (next < messages.size() &&
             static_cast<int64_t>(std::floor(messages[next].seconds * kRate)) < start + frames) {
        const auto& m = messages[next++];
        const auto at = static_cast<int64_t>(std::floor(m.seconds * kRate)) - start;
        events.push_back({{m.bytes[0], m.bytes[1], m.bytes[2]}, static_cast<int32_t>(at)});
      }
      Run(frames, events);
    }
    std::vector<float> both = left;
    both.insert(both.end(), right.begin(), right.end());
    return both;
  }

  void LoadPreset(LilvWorld* world, int program) {
    char uri[64];
    std::snprintf(uri, sizeof uri, "%s#preset%02d", lv2::kPluginUri, program);
    LilvNode* node = lilv_new_uri(world, uri);
    lilv_world_load_resource(world, node);  // its data file, as hosts do before loading it
    LilvState* state = lilv_state_new_from_world(world, &urids_.map, node);
    ASSERT_NE(state, nullptr) << uri;
    Restore(state);
    lilv_state_free(state);
    lilv_node_free(node);
  }

  // The score in blocks of `block` frames, each event at its frame in the block it falls in.
  // Output: all left samples, then all right ones.
  std::vector<float> RenderScore(int block) {
    testing::PlayScore(block, [&](int frames, const std::vector<testing::ScoreEvent>& score) {
      std::vector<host::MidiMessage> events;
      for (const auto& e : score) events.push_back({{e.bytes[0], e.bytes[1], e.bytes[2]}, e.frame});
      Run(static_cast<uint32_t>(frames), events);
    });
    std::vector<float> both = left;
    both.insert(both.end(), right.begin(), right.end());
    return both;
  }

  // What the plug-in's own state interface hands a host to store: the core's state bytes.
  std::optional<state::Snapshot> CoreState() {
    const auto* interface = static_cast<const LV2_State_Interface*>(
        lilv_instance_get_extension_data(instance_, LV2_STATE__interface));
    if (!interface) return std::nullopt;
    struct Stored {
      Urids& urids;
      std::vector<uint8_t> bytes;
    } stored{urids_, {}};
    auto store = [](LV2_State_Handle handle, uint32_t key, const void* value, size_t size, uint32_t,
                    uint32_t) {
      auto* s = static_cast<Stored*>(handle);
      if (key == s->urids.Map(lv2::kStateUri)) {
        s->bytes.assign(static_cast<const uint8_t*>(value),
                        static_cast<const uint8_t*>(value) + size);
      }
      return LV2_STATE_SUCCESS;
    };
    interface->save(lilv_instance_get_handle(instance_), store, &stored, 0, urids_.features);
    return state::Decode(stored.bytes);
  }

  LilvState* Save() {
    return lilv_state_new_from_instance(plugin_, instance_, &urids_.map, nullptr, nullptr, nullptr,
                                        nullptr, &Instance::GetPort, this, 0, urids_.features);
  }
  void Restore(const LilvState* state) {
    lilv_state_restore(state, instance_, &Instance::SetPort, this, 0, urids_.features);
  }

  std::vector<float> left, right;  // all that Run played

 private:
  static void SetPort(const char* symbol, void* self, const void* value, uint32_t size, uint32_t) {
    const int index = std::atoi(symbol + 1);
    if (symbol[0] == 'p' && size == sizeof(float) && index >= 0 && index < lv2::kControlPortCount) {
      std::memcpy(&static_cast<Instance*>(self)->control(index), value, sizeof(float));
    }
  }
  static const void* GetPort(const char* symbol, void* self, uint32_t* size, uint32_t* type) {
    auto* me = static_cast<Instance*>(self);
    if (symbol[0] != 'p') return nullptr;
    *size = sizeof(float);
    *type = me->urids_.Map(LV2_ATOM__Float);
    return &me->control(std::atoi(symbol + 1));
  }

  const LilvPlugin* plugin_;
  Urids& urids_;
  LilvInstance* instance_ = nullptr;
  std::vector<float> controls_;
  alignas(8) uint8_t midi_[8192] = {};
  alignas(8) uint8_t notify_[8192] = {};
  float left_[kMaxBlock] = {};
  float right_[kMaxBlock] = {};
};

class Lv2HostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    world_ = lilv_world_new();
    LilvNode* bundle = lilv_new_file_uri(world_, nullptr, VELLICOR_LV2_BUNDLE "/");
    lilv_world_load_bundle(world_, bundle);
    lilv_node_free(bundle);
    LilvNode* uri = lilv_new_uri(world_, lv2::kPluginUri);
    plugin_ = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world_), uri);
    lilv_node_free(uri);
    ASSERT_NE(plugin_, nullptr);
  }
  void TearDown() override { lilv_world_free(world_); }

  LilvWorld* world_ = nullptr;
  const LilvPlugin* plugin_ = nullptr;
  Urids urids_;
};

TEST_F(Lv2HostTest, PortsAreTheFramesParameters) {
  EXPECT_EQ(lilv_plugin_get_num_ports(plugin_), static_cast<uint32_t>(lv2::kPortCount));
  const std::tuple<uint32_t, const char*, const char*> expected[] = {
      {11, "p0011", "Portmento"},       {76, "p0076", "Osc 2 LFO pitch range"},
      {0, "p0000", "Voice mode"},       {752, "p0752", "Env 3 point 3 level"},
      {1598, "p1598", "Evolver level"}, {1599, "midi_in", "MIDI in"}};
  for (const auto& [index, symbol, name] : expected) {
    const LilvPort* port = lilv_plugin_get_port_by_index(plugin_, index);
    ASSERT_NE(port, nullptr) << index;
    EXPECT_STREQ(lilv_node_as_string(lilv_port_get_symbol(plugin_, port)), symbol);
    LilvNode* port_name = lilv_port_get_name(plugin_, port);
    EXPECT_STREQ(lilv_node_as_string(port_name), name);
    lilv_node_free(port_name);
  }
}

// Each program as a host gets it: the preset loaded into one instance, its state saved and
// restored into a fresh one, which then renders the VST 2 library's samples bit for bit.
// (Programs with noise waves or random arpeggios differ from one instance to the next in any
// format, since the generator is seeded from the clock.)
TEST_F(Lv2HostTest, PresetAndStateRenderTheVst2SamplesOfTheProgram) {
  for (const int program : {0, 6, 12}) {
    Instance original(plugin_, urids_);
    ASSERT_TRUE(original.ok());
    if (program != 0) original.LoadPreset(world_, program);
    LilvState* state = original.Save();
    ASSERT_NE(state, nullptr);
    char* text = lilv_state_to_string(world_, &urids_.map, &urids_.unmap, state, "urn:t", nullptr);
    EXPECT_NE(std::string(text).find(lv2::kStateUri), std::string::npos) << text;  // the core's
    lilv_free(text);
    Instance lv2(plugin_, urids_);
    ASSERT_TRUE(lv2.ok());
    lv2.Restore(state);
    lilv_state_free(state);
    const std::vector<float> samples = lv2.RenderPhrase();

    auto vst = host::LoadBuilt();
    host::RenderSettings settings;
    settings.program = program;
    host::PreparePlugin(*vst, settings);
    std::vector<float> expected, right;
    host::RenderSequence(*vst, host::DemoPhrase(), settings, &expected, &right);
    expected.insert(expected.end(), right.begin(), right.end());

    ASSERT_EQ(samples.size(), expected.size()) << "program " << program;
    EXPECT_EQ(std::memcmp(samples.data(), expected.data(), samples.size() * sizeof(float)), 0)
        << "program " << program << ": the samples differ";
    EXPECT_GT(*std::max_element(samples.begin(), samples.end()), 0.01f) << "program " << program;
  }
}

// The same MIDI in blocks of 1 to 4,096 frames gives the same samples.
TEST_F(Lv2HostTest, TheSameMidiRendersTheSameSamplesInEveryBlockSize) {
  for (const auto& program : testing::kScorePrograms) {
    auto play = [&](int block) {
      Instance lv2(plugin_, urids_);
      EXPECT_TRUE(lv2.ok());
      if (!lv2.ok()) return std::vector<float>();
      lv2.LoadPreset(world_, program.program);
      for (const auto& [index, value] : testing::ScoreSettings(program)) lv2.control(index) = value;
      return lv2.RenderScore(block);
    };
    const std::vector<float> reference = play(4096);
    ASSERT_EQ(reference.size(), 2u * testing::kScoreFrames);
    for (int block : testing::kBlockSizes) {
      const std::vector<float> samples = play(block);
      ASSERT_EQ(samples.size(), reference.size());
      EXPECT_EQ(std::memcmp(samples.data(), reference.data(), samples.size() * sizeof(float)), 0)
          << "program " << program.program << ", blocks of " << block;
    }
  }
}

// A controller learnt for a slider comes back with the session: learnt, saved, restored into a
// fresh instance, it moves the slider there.
TEST_F(Lv2HostTest, ALearntControllerComesBackWithTheSession) {
  const int slider = param::kOscillator[0].volume;
  Instance original(plugin_, urids_);
  ASSERT_TRUE(original.ok());
  original.control(param::kLearnTarget) = static_cast<float>(slider) / 255.0f;
  original.control(param::kLearnCommand) = param::kLearnRequest;
  original.Run(64, {});
  original.Run(64, {{{0xB0, 74, 127}, 10}});
  LilvState* session = original.Save();
  ASSERT_NE(session, nullptr);

  Instance reopened(plugin_, urids_);
  ASSERT_TRUE(reopened.ok());
  reopened.Restore(session);
  lilv_state_free(session);
  auto restored = reopened.CoreState();
  ASSERT_TRUE(restored);
  EXPECT_EQ(restored->controllers[slider], 74);
  EXPECT_EQ(restored->values[slider], 1.0f);
  reopened.Run(64, {{{0xB0, 74, 0}, 5}});
  const auto moved = reopened.CoreState();
  ASSERT_TRUE(moved);
  EXPECT_EQ(moved->values[slider], 0.0f);
}

// A session saved before the state was the core's (the program, its values and the names as
// texts) reopens as it was.
TEST_F(Lv2HostTest, AnOlderSessionsStateStillLoads) {
  float values[param::kPatchSize];
  factory_bank::Fill(5, values);
  values[param::kFilterFrequency] = 0.3125f;
  std::string names;
  for (int p = 0; p < 16; ++p) names += "Old " + std::to_string(p) + "\\n";
  const std::string turtle =
      "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
      "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
      "@prefix state: <http://lv2plug.in/ns/ext/state#> .\n"
      "@prefix xsd: <http://www.w3.org/2001/XMLSchema#> .\n"
      "<urn:old> a pset:Preset ; lv2:appliesTo <" +
      std::string(lv2::kPluginUri) + "> ;\n  state:state [\n    <" + lv2::kProgramUri +
      "> \"5\"^^xsd:int ;\n    <" + lv2::kProgramNamesUri + "> \"" + names + "\" ;\n    <" +
      lv2::kValuesUri + "> \"" + lv2::ValuesText(values, param::kPatchSize) + "\"\n  ] .\n";
  LilvState* old = lilv_state_new_from_string(world_, &urids_.map, turtle.c_str());
  ASSERT_NE(old, nullptr);
  Instance lv2(plugin_, urids_);
  ASSERT_TRUE(lv2.ok());
  lv2.Restore(old);
  lilv_state_free(old);
  const auto now = lv2.CoreState();
  ASSERT_TRUE(now);
  EXPECT_EQ(now->program, 5);
  EXPECT_STREQ(now->names[0], "Old 0");
  EXPECT_STREQ(now->names[15], "Old 15");
  EXPECT_EQ(now->values[param::kFilterFrequency], 0.3125f);
  EXPECT_EQ(now->values[param::kMainVolume], values[param::kMainVolume]);
}

// A port that rests is looked at in turn, so its change acts within a tenth of a second; from
// then on it is followed in every run.
TEST_F(Lv2HostTest, APortChangeActsWithinATenthOfASecondThenAtEveryRun) {
  Instance lv2(plugin_, urids_);
  ASSERT_TRUE(lv2.ok());
  lv2.Run(kBlock, {});
  auto taken = [&lv2](float value) {
    const auto state = lv2.CoreState();
    return state && state->values[param::kFilterQ] == value;
  };
  lv2.control(param::kFilterQ) = 0.25f;
  int runs = 0;
  while (!taken(0.25f) && runs < 100) {
    lv2.Run(kBlock, {});
    ++runs;
  }
  EXPECT_LE(runs * kBlock, static_cast<int>(kRate / 10)) << runs << " runs";
  lv2.control(param::kFilterQ) = 0.5f;
  lv2.Run(kBlock, {});
  EXPECT_TRUE(taken(0.5f));
}

TEST_F(Lv2HostTest, PlaysAnEventAtItsFrame) {
  Instance lv2(plugin_, urids_);
  ASSERT_TRUE(lv2.ok());
  lv2.Run(kBlock, {{{0x90, 60, 100}, 300}});
  // Before it only the engine's denormal guard, far below anything audible.
  auto peak = [&](int from, int to) {
    return std::fabs(
        *std::max_element(lv2.left.begin() + from, lv2.left.begin() + to,
                          [](float a, float b) { return std::fabs(a) < std::fabs(b); }));
  };
  EXPECT_LT(peak(0, 300), 1e-9f);
  EXPECT_GT(peak(300, kBlock), 1e-6f);  // fading in
}

// Where a component lies in the form, from a headless editor.
gui::Rect ComponentBounds(const char* name) {
  EditorValues values;
  auto editor = TPluginEditorWindow::Create(nullptr, &values);
  auto lock = editor->Lock();
  const gui::Component* component = editor->form().Find(name);
  return component ? component->FormBounds() : gui::Rect{};
}

// The UI as a host embeds it: a child of the host's X11 window, idled through its idle interface.
// A drag on a control reaches the host as a change of that control's port, and the UI asks the
// plug-in for its controller map.
TEST(Lv2Ui, EditsReachTheHostAsPortChanges) {
  auto window = gui::HostWindow::Create(635, 512, "lv2 host");
  VELLICOR_SKIP_UNLESS(window, "no display");
  const gui::Rect slider = ComponentBounds("Hvolume");  // main volume, parameter 1
  ASSERT_FALSE(slider.empty());

  void* library = dlopen(VELLICOR_LV2_BUNDLE "/vellicor_ui.so", RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << dlerror();
  auto entry = reinterpret_cast<LV2UI_DescriptorFunction>(dlsym(library, "lv2ui_descriptor"));
  ASSERT_NE(entry, nullptr);
  const LV2UI_Descriptor* descriptor = entry(0);
  ASSERT_NE(descriptor, nullptr);
  EXPECT_STREQ(descriptor->URI, lv2::kUiUri);
  const auto* idle =
      static_cast<const LV2UI_Idle_Interface*>(descriptor->extension_data(LV2_UI__idleInterface));
  ASSERT_NE(idle, nullptr);

  Urids urids;
  struct Write {
    uint32_t port, format;
    float value;
  };
  std::vector<Write> writes;
  const LV2_Feature parent_feature = {LV2_UI__parent, window->native_handle()};
  const LV2_Feature* features[] = {&urids.map_feature, &parent_feature, nullptr};
  auto write = [](LV2UI_Controller controller, uint32_t port, uint32_t size, uint32_t format,
                  const void* buffer) {
    float value = 0.0f;
    if (format == 0 && size == sizeof value) value = *static_cast<const float*>(buffer);
    static_cast<std::vector<Write>*>(controller)->push_back({port, format, value});
  };
  LV2UI_Widget widget = nullptr;
  LV2UI_Handle ui = descriptor->instantiate(descriptor, lv2::kPluginUri, VELLICOR_LV2_BUNDLE, write,
                                            &writes, &widget, features);
  ASSERT_NE(ui, nullptr);
  EXPECT_NE(widget, nullptr);
  const float start = 0.2f;
  descriptor->port_event(ui, 1, sizeof start, 0, &start);

  testing::DragSlider(*window, slider, testing::HostLoop(*window, [&idle, ui] { idle->idle(ui); }));
  descriptor->cleanup(ui);
  dlclose(library);

  const LV2_URID transfer = urids.Map(LV2_ATOM__eventTransfer);
  bool asked_for_map = false;
  float last_volume = start;
  for (const Write& w : writes) {
    if (w.port == lv2::kMidiInPort && w.format == transfer) asked_for_map = true;
    if (w.port == 1 && w.format == 0) last_volume = w.value;
    EXPECT_TRUE(w.port == 1 || w.port == lv2::kMidiInPort) << "port " << w.port;
  }
  EXPECT_TRUE(asked_for_map);
  EXPECT_GT(last_volume, start + 0.1f) << writes.size() << " writes";
}

}  // namespace
}  // namespace vellicor
