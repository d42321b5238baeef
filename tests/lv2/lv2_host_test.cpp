// The LV2 bundle as a host sees it through lilv: found by its URI, ports and presets as
// generated, the same samples as the VST 2 library for the same phrase and program, events at
// their frame, and state that survives a save and a restore into a fresh instance.
#include <gtest/gtest.h>
#include <lilv/lilv.h>
#include <lv2/atom/util.h>
#include <lv2/midi/midi.h>
#include <lv2/presets/presets.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "host/midi_file.h"
#include "host/render.h"
#include "lv2/parameter_ports.h"
#include "tests/host/built_library.h"

namespace vellicor {
namespace {

constexpr double kRate = 44100.0;
constexpr int kBlock = 512;

class UridMap {
 public:
  UridMap() {
    map_ = {this, [](LV2_URID_Map_Handle h, const char* uri) {
              return static_cast<UridMap*>(h)->Map(uri);
            }};
    unmap_ = {this, [](LV2_URID_Unmap_Handle h, LV2_URID id) {
                return static_cast<UridMap*>(h)->Unmap(id);
              }};
    features_ = {{LV2_URID__map, &map_}, {LV2_URID__unmap, &unmap_}};
    feature_list_ = {&features_[0], &features_[1], nullptr};
  }
  LV2_URID Map(const char* uri) {
    for (size_t i = 0; i < uris_.size(); ++i) {
      if (uris_[i] == uri) return static_cast<LV2_URID>(i + 1);
    }
    uris_.emplace_back(uri);
    return static_cast<LV2_URID>(uris_.size());
  }
  const char* Unmap(LV2_URID id) const {
    return id >= 1 && id <= uris_.size() ? uris_[id - 1].c_str() : nullptr;
  }
  LV2_URID_Map* map() { return &map_; }
  LV2_URID_Unmap* unmap() { return &unmap_; }
  const LV2_Feature* const* features() const { return feature_list_.data(); }

 private:
  std::vector<std::string> uris_;
  LV2_URID_Map map_;
  LV2_URID_Unmap unmap_;
  std::vector<LV2_Feature> features_;
  std::vector<const LV2_Feature*> feature_list_;
};

struct Event {
  uint32_t frame;
  uint8_t bytes[3];
};

// One instance with every port connected to buffers of its own, as a host runs it.
class Instance {
 public:
  Instance(const LilvPlugin* plugin, UridMap& urids) : plugin_(plugin), urids_(urids) {
    std::vector<float> defaults(lilv_plugin_get_num_ports(plugin));
    lilv_plugin_get_port_ranges_float(plugin, nullptr, nullptr, defaults.data());
    controls_.assign(defaults.begin(), defaults.begin() + lv2::kControlPortCount);
    instance_ = lilv_plugin_instantiate(plugin, kRate, urids.features());
    if (!instance_) return;
    for (int i = 0; i < lv2::kControlPortCount; ++i) {
      lilv_instance_connect_port(instance_, static_cast<uint32_t>(i), &controls_[i]);
    }
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

  // Runs `frames` (at most one block) with the given events; appends the output.
  void Run(uint32_t frames, const std::vector<Event>& events) {
    auto* sequence = reinterpret_cast<LV2_Atom_Sequence*>(midi_);
    sequence->atom.type = urids_.Map(LV2_ATOM__Sequence);
    lv2_atom_sequence_clear(sequence);
    for (const Event& e : events) {
      struct {
        LV2_Atom_Event head;
        uint8_t bytes[8];
      } event{};
      event.head.time.frames = e.frame;
      event.head.body.type = urids_.Map(LV2_MIDI__MidiEvent);
      event.head.body.size = 3;
      std::memcpy(event.bytes, e.bytes, 3);
      lv2_atom_sequence_append_event(sequence, sizeof midi_, &event.head);
    }
    auto* notify = reinterpret_cast<LV2_Atom_Sequence*>(notify_);
    notify->atom.type = urids_.Map(LV2_ATOM__Chunk);
    notify->atom.size = sizeof notify_ - sizeof(LV2_Atom);
    lilv_instance_run(instance_, frames);
    left_out.insert(left_out.end(), left_, left_ + frames);
    right_out.insert(right_out.end(), right_, right_ + frames);
  }

  // The demo phrase in the command-line host's blocks, each block's events at its start,
  // where the VST 2 frame plays them.
  void RenderPhrase(const std::vector<host::TimedMessage>& messages, double tail) {
    const auto total = static_cast<int64_t>(std::ceil((messages.back().seconds + tail) * kRate));
    size_t next = 0;
    for (int64_t start = 0; start < total; start += kBlock) {
      const auto frames = static_cast<uint32_t>(std::min<int64_t>(kBlock, total - start));
      std::vector<Event> events;
      while (next < messages.size() &&
             static_cast<int64_t>(std::floor(messages[next].seconds * kRate)) < start + frames) {
        const auto& m = messages[next++];
        events.push_back({0, {m.bytes[0], m.bytes[1], m.bytes[2]}});
      }
      Run(frames, events);
    }
  }

  void LoadPreset(LilvWorld* world, const char* uri) {
    LilvNode* node = lilv_new_uri(world, uri);
    lilv_world_load_resource(world, node);  // its data file, as hosts do before loading it
    LilvState* state = lilv_state_new_from_world(world, urids_.map(), node);
    ASSERT_NE(state, nullptr) << uri;
    lilv_state_restore(state, instance_, &Instance::SetPort, this, 0, urids_.features());
    lilv_state_free(state);
    lilv_node_free(node);
  }

  LilvState* Save() {
    return lilv_state_new_from_instance(plugin_, instance_, urids_.map(), nullptr, nullptr, nullptr,
                                        nullptr, &Instance::GetPort, this, 0, urids_.features());
  }

  void Restore(const LilvState* state) {
    lilv_state_restore(state, instance_, &Instance::SetPort, this, 0, urids_.features());
  }

  std::vector<float> left_out, right_out;

 private:
  static void SetPort(const char* symbol, void* self, const void* value, uint32_t size, uint32_t) {
    auto* me = static_cast<Instance*>(self);
    const int index = std::atoi(symbol + 1);
    if (symbol[0] == 'p' && size == sizeof(float) && index >= 0 && index < lv2::kControlPortCount) {
      std::memcpy(&me->control(index), value, sizeof(float));
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
  UridMap& urids_;
  LilvInstance* instance_ = nullptr;
  std::vector<float> controls_;
  alignas(8) uint8_t midi_[8192] = {};
  alignas(8) uint8_t notify_[8192] = {};
  float left_[kBlock] = {};
  float right_[kBlock] = {};
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

  static std::string PresetUri(int program) {
    char text[64];
    std::snprintf(text, sizeof text, "%s#preset%02d", lv2::kPluginUri, program);
    return text;
  }

  std::vector<float> Vst2Render(int program) {
    auto vst = host::LoadBuilt();
    host::RenderSettings settings;
    settings.program = program;
    host::PreparePlugin(*vst, settings);
    std::vector<float> left, right;
    host::RenderSequence(*vst, host::DemoPhrase(), settings, &left, &right);
    left.insert(left.end(), right.begin(), right.end());
    return left;
  }

  LilvWorld* world_ = nullptr;
  const LilvPlugin* plugin_ = nullptr;
  UridMap urids_;
};

TEST_F(Lv2HostTest, PortsAndPresetsAreTheFramesOwn) {
  EXPECT_EQ(lilv_plugin_get_num_ports(plugin_), static_cast<uint32_t>(lv2::kPortCount));
  struct Expected {
    int index;
    const char* symbol;
    const char* name;
  };
  for (const Expected& e : {Expected{11, "p0011", "Portmento"},
                            {76, "p0076", "Osc 2 LFO pitch range"},
                            {0, "p0000", "Voice mode"},
                            {752, "p0752", "Env 3 point 3 level"},
                            {1598, "p1598", "Evolver level"},
                            {1599, "midi_in", "MIDI in"}}) {
    const LilvPort* port = lilv_plugin_get_port_by_index(plugin_, static_cast<uint32_t>(e.index));
    ASSERT_NE(port, nullptr) << e.index;
    EXPECT_STREQ(lilv_node_as_string(lilv_port_get_symbol(plugin_, port)), e.symbol);
    LilvNode* name = lilv_port_get_name(plugin_, port);
    EXPECT_STREQ(lilv_node_as_string(name), e.name);
    lilv_node_free(name);
  }
  LilvNode* preset_class = lilv_new_uri(world_, LV2_PRESETS__Preset);
  LilvNodes* presets = lilv_plugin_get_related(plugin_, preset_class);
  EXPECT_EQ(lilv_nodes_size(presets), 16u);
  lilv_nodes_free(presets);
  lilv_node_free(preset_class);
}

// Program 0 as the instance starts, and presets of other programs: the VST 2 library's
// samples, bit for bit. (Programs with noise waves or random arpeggios differ from one instance
// to the next in any format, since the generator is seeded from the clock.)
TEST_F(Lv2HostTest, RendersTheVst2SamplesForTheSameProgram) {
  for (const int program : {0, 6, 12}) {
    Instance lv2(plugin_, urids_);
    ASSERT_TRUE(lv2.ok());
    if (program != 0) lv2.LoadPreset(world_, PresetUri(program).c_str());
    lv2.RenderPhrase(host::DemoPhrase(), host::RenderSettings().tail_seconds);
    std::vector<float> samples = lv2.left_out;
    samples.insert(samples.end(), lv2.right_out.begin(), lv2.right_out.end());
    const std::vector<float> expected = Vst2Render(program);
    ASSERT_EQ(samples.size(), expected.size()) << "program " << program;
    const auto differ = std::mismatch(
        samples.begin(), samples.end(), expected.begin(),
        [](float a, float b) { return std::bit_cast<uint32_t>(a) == std::bit_cast<uint32_t>(b); });
    EXPECT_TRUE(differ.first == samples.end())
        << "program " << program << ": first different sample " << (differ.first - samples.begin());
    float peak = 0.0f;
    for (const float s : samples) peak = std::max(peak, std::fabs(s));
    EXPECT_GT(peak, 0.01f) << "program " << program;
  }
}

TEST_F(Lv2HostTest, PlaysAnEventAtItsFrame) {
  Instance lv2(plugin_, urids_);
  ASSERT_TRUE(lv2.ok());
  lv2.Run(kBlock, {{300, {0x90, 60, 100}}});
  lv2.Run(kBlock, {});
  // Before it only the engine's denormal guard, far below anything audible.
  for (int i = 0; i < 300; ++i)
    ASSERT_LT(std::fabs(lv2.left_out[static_cast<size_t>(i)]), 1e-9f) << i;
  float after = 0.0f;
  for (size_t i = 300; i < lv2.left_out.size(); ++i)
    after = std::max(after, std::fabs(lv2.left_out[i]));
  EXPECT_GT(after, 0.001f);
}

// A saved state carries the program, its edited values and the names; restored into a fresh
// instance it sounds like the original and saves back to the same state.
TEST_F(Lv2HostTest, StateSurvivesSaveAndRestore) {
  Instance original(plugin_, urids_);
  ASSERT_TRUE(original.ok());
  original.LoadPreset(world_, PresetUri(6).c_str());
  original.control(122) = 0.25f;  // filter frequency, moved by the host
  original.Run(kBlock, {});
  LilvState* saved = original.Save();
  ASSERT_NE(saved, nullptr);

  Instance restored(plugin_, urids_);
  ASSERT_TRUE(restored.ok());
  restored.Restore(saved);
  EXPECT_EQ(restored.control(122), 0.25f);
  restored.Run(kBlock, {});
  LilvState* again = restored.Save();
  EXPECT_TRUE(lilv_state_equals(saved, again));

  char* text =
      lilv_state_to_string(world_, urids_.map(), urids_.unmap(), again, "urn:test:state", nullptr);
  ASSERT_NE(text, nullptr);
  const std::string turtle = text;
  lilv_free(text);
  EXPECT_NE(turtle.find(lv2::kProgramNamesUri), std::string::npos);
  EXPECT_NE(turtle.find("ThickSaw"), std::string::npos);
  lilv_state_free(again);
  lilv_state_free(saved);

  // Same sound: the restored instance plays a note as an instance prepared like the original.
  Instance reference(plugin_, urids_);
  reference.LoadPreset(world_, PresetUri(6).c_str());
  reference.control(122) = 0.25f;
  reference.Run(kBlock, {});
  for (Instance* i : {&reference, &restored}) {
    i->left_out.clear();
    i->Run(kBlock, {{0, {0x90, 57, 100}}});
    for (int n = 0; n < 20; ++n) i->Run(kBlock, {});
  }
  EXPECT_EQ(reference.left_out, restored.left_out);
}

TEST(Lv2StateText, ValuesRoundTripExactlyAndBadTextChangesNothing) {
  std::vector<float> values(1600);
  for (size_t i = 0; i < values.size(); ++i)
    values[i] = std::nextafter(static_cast<float>(i) / 1600.0f, 1.0f);
  const std::string text = lv2::ValuesText(values.data(), 1600);
  std::vector<float> back(1600, -1.0f);
  ASSERT_TRUE(lv2::ParseValuesText(text, back.data(), 1600));
  EXPECT_EQ(back, values);
  std::vector<float> untouched(1600, -1.0f);
  for (const std::string& bad :
       {text.substr(0, text.rfind(' ')), text + " 0.5", text + " x", std::string()}) {
    EXPECT_FALSE(lv2::ParseValuesText(bad, untouched.data(), 1600));
  }
  EXPECT_EQ(untouched, std::vector<float>(1600, -1.0f));
}

}  // namespace
}  // namespace vellicor
