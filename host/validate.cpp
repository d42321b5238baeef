#include "host/validate.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <thread>

#include "gui/host_window.h"
#include "host/plugin_under_test.h"

namespace vellicor::host {
namespace {

using Clock = std::chrono::steady_clock;

constexpr double kRate = 44100.0;
constexpr int kBlock = 512;
// A second of MIDI whose events fall at odd frames, controllers and a bend among them: the same
// samples must come out in every block size.
struct ScoreEvent {
  int32_t frame;
  uint8_t bytes[3];
};
constexpr int kScoreFrames = 48000;
constexpr ScoreEvent kScore[] = {
    {5, {0x90, 60, 100}},    {997, {0x90, 67, 90}},  {2047, {0xB0, 1, 64}},
    {4001, {0xE0, 0, 80}},   {8999, {0x80, 60, 0}},  {12343, {0x90, 64, 110}},
    {19999, {0x80, 67, 0}},  {25011, {0xE0, 0, 64}}, {30013, {0x80, 64, 0}},
    {30501, {0x90, 48, 80}}, {41997, {0x80, 48, 0}},
};
constexpr int kBlockSizes[] = {1, 2, 3, 17, 100, 512, 1000, 2048, 4096};
constexpr double kRates[] = {22050, 44100, 48000, 88200, 96000, 176400, 192000};
constexpr int kLoadCycles = 50;
constexpr int kEditorCycles = 20;
// Below this the output is taken as silence.
constexpr float kAudible = 1e-3f;

struct Outcome {
  Verdict verdict;
  std::string reason;
};
Outcome Pass(std::string reason) {
  return {Verdict::kPass, std::move(reason)};
}
Outcome Fail(std::string reason) {
  return {Verdict::kFail, std::move(reason)};
}
Outcome Skip(std::string reason) {
  return {Verdict::kSkip, std::move(reason)};
}

std::string Number(double value, int decimals = 0) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

std::string Seconds(Clock::duration duration) {
  return Number(std::chrono::duration<double>(duration).count(), 2) + " s";
}

// What a stretch of output holds that it must not.
struct SignalCheck {
  size_t samples = 0, nans = 0, infinities = 0, denormals = 0, over = 0;
  float peak = 0.0f;

  void Add(const float* data, int frames) {
    for (int i = 0; i < frames; ++i) {
      const float v = data[i];
      ++samples;
      switch (std::fpclassify(v)) {
        case FP_NAN:
          ++nans;
          continue;
        case FP_INFINITE:
          ++infinities;
          continue;
        case FP_SUBNORMAL:
          ++denormals;
          break;
        default:
          break;
      }
      peak = std::max(peak, std::fabs(v));
      if (std::fabs(v) > 1.0f) ++over;
    }
  }
  void Add(const SignalCheck& other) {
    samples += other.samples;
    nans += other.nans;
    infinities += other.infinities;
    denormals += other.denormals;
    over += other.over;
    peak = std::max(peak, other.peak);
  }
  // Empty when clean: finite, no denormals, and (when bounded) within ±1.
  std::string Faults(bool bounded) const {
    std::string faults;
    auto add = [&faults](size_t count, const char* what) {
      if (count == 0) return;
      faults += (faults.empty() ? "" : ", ") + std::to_string(count) + " " + what;
    };
    add(nans, "NaN");
    add(infinities, "infinite");
    add(denormals, "denormal");
    if (bounded) add(over, "beyond ±1");
    return faults.empty() ? faults : faults + " of " + std::to_string(samples) + " samples";
  }
  std::string Peak() const { return "peak " + Number(peak, 3); }
};

// The host's channel buffers for one instance.
struct Buffers {
  Buffers(const Identity& id, int frames)
      : in(static_cast<size_t>(id.audio_inputs), std::vector<float>(static_cast<size_t>(frames))),
        out(static_cast<size_t>(id.audio_outputs),
            std::vector<float>(static_cast<size_t>(frames))) {
    for (auto& c : in) in_pointers.push_back(c.data());
    for (auto& c : out) out_pointers.push_back(c.data());
  }
  std::vector<std::vector<float>> in, out;
  std::vector<float*> in_pointers, out_pointers;
};

// Every output channel, one after the other.
struct Render {
  bool ok = true;
  std::vector<std::vector<float>> channels;
  SignalCheck signal;
};

// Plays `events` (frames from the start) for `total` frames in blocks of `block`, each event at
// its frame in the block it falls in.
Render Play(Instance& instance, const Identity& id, const std::vector<ScoreEvent>& events,
            int total, int block) {
  Render render;
  render.channels.resize(static_cast<size_t>(id.audio_outputs));
  Buffers buffers(id, block);
  size_t next = 0;
  for (int start = 0; start < total && render.ok; start += block) {
    const int frames = std::min(block, total - start);
    std::vector<MidiMessage> midi;
    for (; next < events.size() && events[next].frame < start + frames; ++next) {
      MidiMessage m;
      std::memcpy(m.bytes, events[next].bytes, 3);
      m.delta_frames = events[next].frame - start;
      midi.push_back(m);
    }
    render.ok = instance.Process(midi, nullptr, buffers.out_pointers.data(), frames);
    for (size_t c = 0; c < buffers.out.size(); ++c) {
      render.channels[c].insert(render.channels[c].end(), buffers.out[c].begin(),
                                buffers.out[c].begin() + frames);
      render.signal.Add(buffers.out[c].data(), frames);
    }
  }
  return render;
}

std::vector<ScoreEvent> Score() {
  return std::vector<ScoreEvent>(std::begin(kScore), std::end(kScore));
}

// A chord at the first frame.
std::vector<ScoreEvent> Chord() {
  return {{0, {0x90, 48, 100}}, {0, {0x90, 60, 100}}, {0, {0x90, 64, 100}}, {0, {0x90, 67, 100}}};
}

// The first frame at which two renders differ, or -1.
long FirstDifference(const Render& a, const Render& b) {
  if (a.channels.size() != b.channels.size()) return 0;
  for (size_t c = 0; c < a.channels.size(); ++c) {
    const auto& x = a.channels[c];
    const auto& y = b.channels[c];
    if (x.size() != y.size()) return 0;
    for (size_t i = 0; i < x.size(); ++i) {
      if (std::memcmp(&x[i], &y[i], sizeof(float)) != 0) return static_cast<long>(i);
    }
  }
  return -1;
}

std::vector<double> Values(Instance& instance) {
  std::vector<double> values(static_cast<size_t>(instance.parameter_count()));
  for (size_t i = 0; i < values.size(); ++i) values[i] = instance.GetParameter(static_cast<int>(i));
  return values;
}

// The parameters whose values differ by more than rounding to float.
std::vector<int> DifferentValues(const std::vector<double>& a, const std::vector<double>& b) {
  std::vector<int> differ;
  for (size_t i = 0; i < a.size() || i < b.size(); ++i) {
    if (i >= a.size() || i >= b.size() ||
        !(std::fabs(a[i] - b[i]) <= 1e-6 * std::max(1.0, std::fabs(a[i])))) {
      differ.push_back(static_cast<int>(i));
    }
  }
  return differ;
}

// Every parameter set to a value drawn in its range.
void Scramble(Instance& instance, std::mt19937& random) {
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (int i = 0; i < instance.parameter_count(); ++i) {
    const ParameterInfo info = instance.Parameter(i);
    instance.SetParameter(i, info.min + unit(random) * (info.max - info.min));
  }
}

// Processing on a thread of its own, as a host's audio thread runs, with notes coming and
// going, until stopped. It keeps what the output held.
class AudioThread {
 public:
  AudioThread(Instance& instance, const Identity& id, int block)
      : instance_(instance), id_(id), block_(block), thread_([this] { Run(); }) {}
  ~AudioThread() { Stop(); }

  void Stop() {
    running_ = false;
    if (thread_.joinable()) thread_.join();
  }
  long blocks() const { return blocks_; }
  // Returns once `count` more blocks were processed (or processing stopped).
  void WaitForBlocks(long count) {
    const long until = blocks_ + count;
    while (blocks_ < until && running_ && thread_.joinable()) std::this_thread::yield();
  }
  bool failed() const { return failed_; }
  const SignalCheck& signal() const { return signal_; }

 private:
  void Run() {
    Buffers buffers(id_, block_);
    const uint8_t keys[] = {48, 55, 60, 64, 67, 72};
    while (running_) {
      std::vector<MidiMessage> midi;
      const uint8_t key = keys[blocks_ % 6];
      if (blocks_ % 8 == 0) midi.push_back({{0x90, key, 100}, static_cast<int32_t>(block_ / 3)});
      if (blocks_ % 8 == 5) midi.push_back({{0x80, keys[(blocks_ + 1) % 6], 0}, 0});
      if (!instance_.Process(midi, nullptr, buffers.out_pointers.data(), block_)) failed_ = true;
      for (const auto& channel : buffers.out) signal_.Add(channel.data(), block_);
      ++blocks_;
    }
  }

  Instance& instance_;
  const Identity& id_;
  const int block_;
  std::atomic<bool> running_{true};
  std::atomic<long> blocks_{0};
  std::atomic<bool> failed_{false};
  SignalCheck signal_;  // read once the thread has stopped
  std::thread thread_;
};

struct Context {
  std::string path;
  PluginFile& file;
  const Identity& id;

  // A new instance active at the usual rate and block, or null with the reason.
  std::unique_ptr<Instance> Active(std::string* error, double rate = kRate, int block = kBlock) {
    auto instance = file.NewInstance(error);
    if (instance && !instance->Activate(rate, block, error)) return nullptr;
    return instance;
  }
  // A fresh instance on program 0 where the format selects programs.
  std::unique_ptr<Instance> OnProgramZero(std::string* error, int block = kBlock) {
    auto instance = file.NewInstance(error);
    if (!instance) return nullptr;
    if (!file.Lacks(Capability::kPrograms)) instance->SelectProgram(0);
    if (!instance->Activate(kRate, block, error)) return nullptr;
    return instance;
  }
};

std::string Complaints(Instance& instance) {
  std::string text;
  for (const std::string& c : instance.Complaints()) text += (text.empty() ? "" : "; ") + c;
  return text;
}

// --- scan ---------------------------------------------------------------------------------------

Outcome EntryPoint(Context& c) {
  return Pass(c.id.format + " through " + c.id.entry);
}

Outcome IdentityStep(Context& c) {
  const Identity& id = c.id;
  if (id.id.empty() || id.name.empty() || id.vendor.empty()) {
    return Fail("missing: " + std::string(id.id.empty() ? "id " : "") +
                (id.name.empty() ? "name " : "") + (id.vendor.empty() ? "vendor" : ""));
  }
  return Pass("\"" + id.name + "\" by " + id.vendor + ", id " + id.id + ", version " + id.version);
}

Outcome Counts(Context& c) {
  const Identity& id = c.id;
  const std::string counts =
      std::to_string(id.parameters) + " parameters, " + std::to_string(id.audio_inputs) +
      " audio inputs, " + std::to_string(id.audio_outputs) + " audio outputs, " +
      std::to_string(id.note_inputs) + (id.note_inputs == 1 ? " note input" : " note inputs");
  if (id.parameters < 1 || id.audio_outputs < 1 || id.note_inputs < 1) {
    return Fail(counts + ": an instrument needs parameters, an output and a note input");
  }
  return Pass(counts);
}

Outcome Categories(Context& c) {
  std::string list;
  for (const std::string& category : c.id.categories) list += (list.empty() ? "" : ", ") + category;
  if (!c.id.instrument) return Fail("not declared an instrument (" + list + ")");
  return Pass(list);
}

Outcome LoadUnload(Context& c) {
  const auto start = Clock::now();
  for (int i = 0; i < kLoadCycles; ++i) {
    std::string error;
    if (!c.file.Reload(&error)) return Fail("load " + std::to_string(i + 1) + ": " + error);
    auto instance = c.file.NewInstance(&error);
    if (!instance) return Fail("instance " + std::to_string(i + 1) + ": " + error);
  }
  return Pass(std::to_string(kLoadCycles) + " times loaded, an instance made and unloaded in " +
              Seconds(Clock::now() - start));
}

// --- open ---------------------------------------------------------------------------------------

Outcome OpenColdAndWarm(Context& c) {
  std::string error;
  auto start = Clock::now();
  auto first = c.Active(&error);
  if (!first) return Fail("cold: " + error);
  const auto cold = Clock::now() - start;
  start = Clock::now();
  auto second = c.Active(&error);
  if (!second) return Fail("warm, beside the first: " + error);
  second.reset();
  auto third = c.Active(&error);
  if (!third) return Fail("warm, after one was closed: " + error);
  const auto warm = Clock::now() - start;
  return Pass("cold " + Seconds(cold) + ", two warm " + Seconds(warm) + ", latency " +
              std::to_string(first->latency()) + " frames");
}

Outcome ActivateDeactivate(Context& c) {
  std::string error;
  auto instance = c.file.NewInstance(&error);
  if (!instance) return Fail(error);
  instance->Deactivate();  // never activated: nothing to do
  Buffers buffers(c.id, kBlock);
  for (int cycle = 0; cycle < 10; ++cycle) {
    if (!instance->Activate(kRate, kBlock, &error)) {
      return Fail("cycle " + std::to_string(cycle + 1) + ": " + error);
    }
    if (!instance->Process({{{0x90, 60, 100}, 7}}, nullptr, buffers.out_pointers.data(), kBlock)) {
      return Fail("processing failed in cycle " + std::to_string(cycle + 1));
    }
    instance->Deactivate();
    instance->Deactivate();
  }
  return Pass("10 cycles, a block processed in each");
}

Outcome SampleRates(Context& c) {
  std::string error;
  auto instance = c.file.NewInstance(&error);
  if (!instance) return Fail(error);
  std::string peaks;
  for (double rate : kRates) {
    if (!instance->Activate(rate, kBlock, &error)) {
      return Fail(Number(rate) + " Hz: " + error);
    }
    const Render render = Play(*instance, c.id, Chord(), static_cast<int>(rate / 4), kBlock);
    instance->Deactivate();
    const std::string faults = render.signal.Faults(true);
    if (!render.ok) return Fail(Number(rate) + " Hz: processing failed");
    if (!faults.empty()) return Fail(Number(rate) + " Hz: " + faults);
    if (render.signal.peak < kAudible) return Fail(Number(rate) + " Hz: a chord gave no sound");
  }
  return Pass("22,050 to 192,000 Hz (7 rates): a chord sounds, clean, within ±1");
}

// --- processing ---------------------------------------------------------------------------------

Outcome Silence(Context& c) {
  std::string error;
  auto instance = c.Active(&error);
  if (!instance) return Fail(error);
  const Render render = Play(*instance, c.id, {}, kScoreFrames, kBlock);
  const std::string faults = render.signal.Faults(true);
  if (!render.ok) return Fail("processing failed");
  if (!faults.empty()) return Fail(faults);
  return Pass("a second without events: finite, " + render.signal.Peak());
}

Outcome Notes(Context& c) {
  std::string error;
  auto instance = c.OnProgramZero(&error);
  if (!instance) return Fail(error);
  const Render render = Play(*instance, c.id, Score(), kScoreFrames, kBlock);
  const std::string faults = render.signal.Faults(true);
  if (!render.ok) return Fail("processing failed");
  if (!faults.empty()) return Fail(faults);
  if (render.signal.peak < kAudible) return Fail("no sound: " + render.signal.Peak());
  return Pass("notes sound: " + render.signal.Peak() + "; no NaN, infinity or denormal, within ±1");
}

Outcome InputsUntouched(Context& c) {
  if (auto why = c.file.Lacks(Capability::kAudioInputs)) return Skip(*why);
  std::string error;
  auto instance = c.Active(&error);
  if (!instance) return Fail(error);
  Buffers buffers(c.id, kBlock);
  std::vector<std::vector<float>> pattern = buffers.in;
  for (size_t ch = 0; ch < pattern.size(); ++ch) {
    for (size_t i = 0; i < pattern[ch].size(); ++i) {
      pattern[ch][i] = 0.5f * std::sin(0.01f * static_cast<float>(i * (ch + 1)));
    }
  }
  for (int block = 0; block < 40; ++block) {
    buffers.in = pattern;
    for (size_t ch = 0; ch < buffers.in.size(); ++ch)
      buffers.in_pointers[ch] = buffers.in[ch].data();
    std::vector<MidiMessage> midi;
    if (block == 0) midi.push_back({{0x90, 60, 100}, 11});
    if (!instance->Process(midi, buffers.in_pointers.data(), buffers.out_pointers.data(), kBlock)) {
      return Fail("processing failed");
    }
    if (buffers.in != pattern) {
      return Fail("block " + std::to_string(block) + ": an input buffer was written");
    }
  }
  return Pass(std::to_string(c.id.audio_inputs) + " input channels unchanged over 40 blocks");
}

Outcome Reproducible(Context& c) {
  std::string error;
  auto first = c.OnProgramZero(&error);
  auto second = c.OnProgramZero(&error);
  if (!first || !second) return Fail(error);
  const Render a = Play(*first, c.id, Score(), kScoreFrames, kBlock);
  const Render b = Play(*second, c.id, Score(), kScoreFrames, kBlock);
  const long at = FirstDifference(a, b);
  if (at >= 0) return Fail("two instances on program 0 differ from frame " + std::to_string(at));
  return Pass("two instances on program 0 render the same samples");
}

Outcome BlockSizes(Context& c) {
  std::string error;
  auto reference_instance = c.OnProgramZero(&error, 4096);
  if (!reference_instance) return Fail(error);
  const Render reference = Play(*reference_instance, c.id, Score(), kScoreFrames, 4096);
  if (reference.signal.peak < kAudible) return Fail("the score gave no sound");
  for (int block : kBlockSizes) {
    auto instance = c.OnProgramZero(&error, block);
    if (!instance) return Fail("blocks of " + std::to_string(block) + ": " + error);
    const Render render = Play(*instance, c.id, Score(), kScoreFrames, block);
    if (!render.ok) return Fail("blocks of " + std::to_string(block) + ": processing failed");
    const long at = FirstDifference(render, reference);
    if (at >= 0) {
      return Fail("blocks of " + std::to_string(block) + " differ from blocks of 4096 at frame " +
                  std::to_string(at));
    }
  }
  return Pass("blocks of 1 to 4,096 frames (9 sizes), events at odd frames: the same samples");
}

// --- parameters ---------------------------------------------------------------------------------

Outcome ParameterInfoStep(Context& c) {
  std::string error;
  auto instance = c.file.NewInstance(&error);
  if (!instance) return Fail(error);
  if (instance->parameter_count() != c.id.parameters) {
    return Fail("the instance has " + std::to_string(instance->parameter_count()) +
                " parameters, the scan " + std::to_string(c.id.parameters));
  }
  const auto unnamed_allowed = c.file.Lacks(Capability::kParameterNames);
  int named = 0;
  for (int i = 0; i < instance->parameter_count(); ++i) {
    const ParameterInfo info = instance->Parameter(i);
    if (!info.name.empty()) ++named;
    if (info.name.empty() && !unnamed_allowed) {
      return Fail("parameter " + std::to_string(i) + " has no name");
    }
    if (!(info.min < info.max) || !(info.default_value >= info.min) ||
        !(info.default_value <= info.max)) {
      return Fail("parameter " + std::to_string(i) + " (" + info.name + "): range " +
                  Number(info.min, 3) + ".." + Number(info.max, 3) + ", default " +
                  Number(info.default_value, 3));
    }
  }
  const std::string count = std::to_string(instance->parameter_count());
  if (named < instance->parameter_count()) {
    return Pass(count + " parameters with ranges that hold their defaults; " +
                std::to_string(named) + " named (" + *unnamed_allowed + ")");
  }
  return Pass(count + " parameters named, with ranges that hold their defaults");
}

Outcome ParameterFuzz(Context& c) {
  std::string error;
  auto instance = c.Active(&error);
  if (!instance) return Fail(error);
  std::mt19937 random(20240611);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  long changes = 0;
  std::string fault;
  {
    AudioThread audio(*instance, c.id, 256);
    for (int i = 0; i < instance->parameter_count() && fault.empty(); ++i) {
      // Every few parameters the audio thread gets a block in, so changes and blocks interleave.
      if (i % 16 == 0) audio.WaitForBlocks(1);
      const ParameterInfo info = instance->Parameter(i);
      for (double value : {info.min, info.max, info.min + unit(random) * (info.max - info.min),
                           info.min + unit(random) * (info.max - info.min)}) {
        instance->SetParameter(i, value);
        ++changes;
        const double back = instance->GetParameter(i);
        if (!(back >= info.min && back <= info.max)) {
          fault = "parameter " + std::to_string(i) + " read back " + Number(back, 6) +
                  ", outside " + Number(info.min, 3) + ".." + Number(info.max, 3);
          break;
        }
      }
    }
    audio.Stop();
    if (!fault.empty()) return Fail(fault);
    if (audio.failed()) return Fail("processing failed while parameters changed");
    const std::string faults = audio.signal().Faults(false);
    if (!faults.empty()) return Fail("output while parameters changed: " + faults);
    // What waits for the next block reaches the plug-in now.
    Buffers buffers(c.id, kBlock);
    instance->Process({}, nullptr, buffers.out_pointers.data(), kBlock);
    for (int i = 0; i < instance->parameter_count(); ++i) {
      const ParameterInfo info = instance->Parameter(i);
      const double back = instance->GetParameter(i);
      if (!(back >= info.min && back <= info.max)) {
        return Fail("after the fuzz parameter " + std::to_string(i) + " reads " + Number(back, 6));
      }
    }
    return Pass(std::to_string(changes) + " changes (0, 1, random) from the host thread over " +
                std::to_string(audio.blocks()) +
                " blocks on the audio thread; all read back in range");
  }
}

Outcome ValueTexts(Context& c) {
  if (auto why = c.file.Lacks(Capability::kValueText)) return Skip(*why);
  std::string error;
  auto instance = c.file.NewInstance(&error);
  if (!instance) return Fail(error);
  int texts = 0;
  for (int i = 0; i < instance->parameter_count(); ++i) {
    const ParameterInfo info = instance->Parameter(i);
    for (double value : {info.min, info.default_value, info.max}) {
      const auto text = instance->ValueText(i, value);
      if (!text || text->empty()) {
        return Fail("parameter " + std::to_string(i) + " (" + info.name + ") has no text for " +
                    Number(value, 4));
      }
      ++texts;
    }
  }
  return Pass(std::to_string(texts) + " texts (minimum, default, maximum), none empty");
}

// --- state --------------------------------------------------------------------------------------

Outcome StateRoundTrip(Context& c) {
  std::string error;
  // Scrambled values come back in a fresh instance.
  auto original = c.Active(&error);
  if (!original) return Fail(error);
  original->Deactivate();
  std::mt19937 random(7);
  Scramble(*original, random);
  State state;
  if (!original->SaveState(&state, &error)) return Fail("save: " + error);
  auto copy = c.file.NewInstance(&error);
  if (!copy) return Fail(error);
  if (!copy->LoadState(state, &error)) return Fail("load into a fresh instance: " + error);
  const std::vector<int> differ = DifferentValues(Values(*original), Values(*copy));
  if (!differ.empty()) {
    const int first = differ.front();
    return Fail(std::to_string(differ.size()) + " parameters came back otherwise, the first " +
                std::to_string(first) + " as " + Number(copy->GetParameter(first), 6) + " (saved " +
                Number(original->GetParameter(first), 6) + ")");
  }
  // Program 0's state, loaded over scrambled values, renders program 0.
  auto fresh = c.OnProgramZero(&error);
  if (!fresh) return Fail(error);
  State zero;
  if (!fresh->SaveState(&zero, &error)) return Fail("save: " + error);
  const Render expected = Play(*fresh, c.id, Score(), kScoreFrames, kBlock);
  auto loaded = c.file.NewInstance(&error);
  if (!loaded) return Fail(error);
  Scramble(*loaded, random);
  if (!loaded->LoadState(zero, &error)) return Fail("load over scrambled values: " + error);
  if (!loaded->Activate(kRate, kBlock, &error)) return Fail(error);
  const Render render = Play(*loaded, c.id, Score(), kScoreFrames, kBlock);
  const long at = FirstDifference(render, expected);
  if (at >= 0) {
    return Fail("program 0's state loaded over scrambled values renders differently from frame " +
                std::to_string(at));
  }
  return Pass(
      "scrambled values come back in a fresh instance; program 0's state loaded over "
      "scrambled values renders program 0's samples");
}

size_t Bytes(const State& state) {
  size_t total = 0;
  for (const StateBlob& blob : state) total += blob.bytes.size();
  return total;
}

Outcome StateStable(Context& c) {
  std::string error;
  auto instance = c.Active(&error);
  if (!instance) return Fail(error);
  instance->Deactivate();
  std::mt19937 random(11);
  Scramble(*instance, random);
  State first, second, again;
  if (!instance->SaveState(&first, &error) || !instance->SaveState(&second, &error)) {
    return Fail("save: " + error);
  }
  if (first != second) return Fail("two saves in a row differ");
  auto copy = c.file.NewInstance(&error);
  if (!copy) return Fail(error);
  if (!copy->LoadState(first, &error) || !copy->SaveState(&again, &error)) return Fail(error);
  if (again != first) return Fail("a loaded state saves differently");
  return Pass("two saves give the same " + std::to_string(Bytes(first)) +
              " bytes, and so does a fresh instance that loaded them");
}

// A damaged copy of every blob of a state.
struct Damage {
  const char* what;
  std::function<void(std::vector<uint8_t>&)> apply;
};

Outcome StateRefused(Context& c) {
  if (auto why = c.file.Lacks(Capability::kStateOfItsOwn)) return Skip(*why);
  std::string error;
  auto source = c.file.NewInstance(&error);
  if (!source) return Fail(error);
  State good;
  if (!source->SaveState(&good, &error)) return Fail("save: " + error);
  auto instance = c.Active(&error);
  if (!instance) return Fail(error);
  instance->Deactivate();
  std::mt19937 random(13);
  Scramble(*instance, random);
  const std::vector<double> before = Values(*instance);
  const Damage damages[] = {
      {"empty", [](std::vector<uint8_t>& b) { b.clear(); }},
      {"one byte short", [](std::vector<uint8_t>& b) { b.resize(b.empty() ? 0 : b.size() - 1); }},
      {"cut in half", [](std::vector<uint8_t>& b) { b.resize(b.size() / 2); }},
      {"its first bytes inverted",
       [](std::vector<uint8_t>& b) {
         for (size_t i = 0; i < b.size() && i < 8; ++i) b[i] = static_cast<uint8_t>(~b[i]);
       }},
      {"random bytes",
       [&random](std::vector<uint8_t>& b) {
         for (uint8_t& byte : b) byte = static_cast<uint8_t>(random());
       }},
  };
  Buffers buffers(c.id, kBlock);
  for (const Damage& damage : damages) {
    State bad = good;
    for (StateBlob& blob : bad) damage.apply(blob.bytes);
    if (instance->LoadState(bad, &error))
      return Fail("a state " + std::string(damage.what) + " was taken");
    const std::vector<int> differ = DifferentValues(before, Values(*instance));
    if (!differ.empty()) {
      return Fail("refusing a state " + std::string(damage.what) + " changed " +
                  std::to_string(differ.size()) + " parameters, the first " +
                  std::to_string(differ.front()));
    }
  }
  if (!instance->Activate(kRate, kBlock, &error)) return Fail(error);
  const Render render = Play(*instance, c.id, Chord(), kBlock * 8, kBlock);
  if (!render.ok || !render.signal.Faults(false).empty()) {
    return Fail("after the refusals it renders badly: " + render.signal.Faults(false));
  }
  instance->Deactivate();
  if (!instance->LoadState(good, &error)) return Fail("the undamaged state was refused: " + error);
  return Pass(
      "empty, short, halved, inverted and random states refused, nothing changed; the "
      "undamaged one taken");
}

// --- editor -------------------------------------------------------------------------------------

Outcome Editor(Context& c) {
  if (auto why = c.file.Lacks(Capability::kEditor)) return Skip(*why);
  auto window = gui::HostWindow::Create(640, 512, "vellicor-host validate");
  // The test command promises a display: there a window that cannot be had is a failure.
  if (!window && std::getenv("VELLICOR_TEST_DISPLAY")) {
    return Fail("no window, though VELLICOR_TEST_DISPLAY promises a display");
  }
  if (!window) return Skip("no display to open a window on");
  std::string error;
  auto instance = c.Active(&error);
  if (!instance) return Fail(error);
  AudioThread audio(*instance, c.id, kBlock);
  const auto start = Clock::now();
  int width = 0, height = 0;
  for (int cycle = 0; cycle < kEditorCycles; ++cycle) {
    if (!instance->OpenEditor(window->native_handle(), &width, &height, &error)) {
      instance->CloseEditor();
      return Fail("open " + std::to_string(cycle + 1) + ": " + error);
    }
    for (int idle = 0; idle < 5; ++idle) {
      window->Pump();
      instance->IdleEditor();
      // The host's automation goes on meanwhile.
      const int index = idle % std::max(1, c.id.parameters);
      instance->SetParameter(index, instance->GetParameter(index));
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    instance->CloseEditor();
    window->Pump();
  }
  audio.Stop();
  if (audio.failed()) return Fail("processing failed while the editor came and went");
  const std::string complaints = Complaints(*instance);
  if (!complaints.empty()) return Fail(complaints);
  return Pass(std::to_string(kEditorCycles) + " times opened (" + std::to_string(width) + "x" +
              std::to_string(height) + ") in a window, idled and closed in " +
              Seconds(Clock::now() - start) + ", while " + std::to_string(audio.blocks()) +
              " blocks were processed");
}

// --- threads ------------------------------------------------------------------------------------

Outcome Threads(Context& c) {
  if (c.id.parameters < 1) return Fail("no parameters to automate");
  std::string error;
  auto instance = c.Active(&error);
  if (!instance) return Fail(error);
  const bool texts = !c.file.Lacks(Capability::kValueText);
  // The ranges are read on the main thread, as a host keeps them.
  std::vector<ParameterInfo> infos;
  for (int i = 0; i < instance->parameter_count(); ++i) infos.push_back(instance->Parameter(i));
  if (infos.empty()) return Fail("the instance has no parameters");
  std::atomic<bool> going{true};
  std::atomic<long> changes{0};
  AudioThread audio(*instance, c.id, 128);
  std::thread automation([&] {
    std::mt19937 random(3);
    while (going) {
      // A host automates in step with its blocks: a few changes per block, not a flood.
      if (changes % 32 == 0) audio.WaitForBlocks(1);
      const int index = static_cast<int>(random() % infos.size());
      const ParameterInfo& info = infos[static_cast<size_t>(index)];
      instance->SetParameter(index, info.min + (info.max - info.min) * (random() % 1000) / 999.0);
      ++changes;
    }
  });
  const auto end = Clock::now() + std::chrono::milliseconds(800);
  long reads = 0;
  std::string fault;
  while (Clock::now() < end && fault.empty()) {
    const int index = static_cast<int>(reads % static_cast<long>(infos.size()));
    const ParameterInfo& info = infos[static_cast<size_t>(index)];
    const double value = instance->GetParameter(index);
    if (!(value >= info.min && value <= info.max)) {
      fault = "parameter " + std::to_string(index) + " read " + Number(value, 6);
    }
    if (texts) instance->ValueText(index, value);
    ++reads;
  }
  going = false;
  automation.join();
  audio.Stop();
  if (!fault.empty()) return Fail(fault);
  if (audio.failed()) return Fail("processing failed");
  const std::string faults = audio.signal().Faults(false);
  if (!faults.empty()) return Fail(faults);
  const std::string complaints = Complaints(*instance);
  if (!complaints.empty()) return Fail(complaints);
  return Pass(std::to_string(audio.blocks()) + " blocks on the audio thread, " +
              std::to_string(changes.load()) + " changes from an automation thread, " +
              std::to_string(reads) + " reads from the main thread");
}

// --- references ---------------------------------------------------------------------------------

Outcome References(Context& c) {
  if (auto why = c.file.Lacks(Capability::kReferenceCounts)) return Skip(*why);
  c.file.TakeUnbalanced();  // what the steps before left is theirs
  std::string error;
  if (!c.file.Reload(&error)) return Fail("load: " + error);
  std::string cycle = "loaded, an instance made, activated, played";
  {
    auto instance = c.file.NewInstance(&error);
    if (!instance) return Fail(error);
    if (!c.file.Lacks(Capability::kPrograms)) instance->SelectProgram(1);
    if (instance->parameter_count() > 0) instance->SetParameter(0, instance->Parameter(0).max);
    if (!instance->Activate(kRate, kBlock, &error)) return Fail(error);
    const Render render = Play(*instance, c.id, Score(), kScoreFrames / 4, kBlock);
    if (!render.ok) return Fail("processing failed");
    auto window = c.file.Lacks(Capability::kEditor)
                      ? nullptr
                      : gui::HostWindow::Create(640, 512, "vellicor-host validate");
    if (window) {
      int width = 0, height = 0;
      if (!instance->OpenEditor(window->native_handle(), &width, &height, &error)) {
        instance->CloseEditor();
        return Fail("editor: " + error);
      }
      for (int idle = 0; idle < 5; ++idle) {
        window->Pump();
        instance->IdleEditor();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
      instance->CloseEditor();
      window->Pump();
      cycle += ", its editor opened and closed";
    }
    State state;
    if (!instance->SaveState(&state, &error)) return Fail("save: " + error);
    if (!instance->LoadState(state, &error)) return Fail("load: " + error);
    instance->Deactivate();
  }
  if (!c.file.Reload(&error)) return Fail("load again: " + error);
  const std::vector<std::string> unbalanced = c.file.TakeUnbalanced();
  if (!unbalanced.empty()) {
    std::string text;
    for (const std::string& u : unbalanced) text += (text.empty() ? "" : "; ") + u;
    return Fail(text);
  }
  return Pass(cycle +
              ", its state saved and loaded, closed and the library let go: every reference "
              "given back, every object of the plug-in's freed at the host's last release");
}

struct Step {
  const char* name;
  Outcome (*run)(Context&);
};

constexpr Step kSteps[] = {
    {"scan: entry point", EntryPoint},
    {"scan: identity", IdentityStep},
    {"scan: counts", Counts},
    {"scan: categories", Categories},
    {"scan: load and unload x50", LoadUnload},
    {"open: cold and warm", OpenColdAndWarm},
    {"open: activate, deactivate", ActivateDeactivate},
    {"open: sample rates", SampleRates},
    {"process: silence", Silence},
    {"process: notes", Notes},
    {"process: inputs untouched", InputsUntouched},
    {"process: reproducible", Reproducible},
    {"process: block sizes", BlockSizes},
    {"parameters: info", ParameterInfoStep},
    {"parameters: fuzz", ParameterFuzz},
    {"parameters: value texts", ValueTexts},
    {"state: round trip", StateRoundTrip},
    {"state: same bytes", StateStable},
    {"state: damaged refused", StateRefused},
    {"editor: open, idle, close x20", Editor},
    {"threads: audio, automation, main", Threads},
    {"references: balanced, full cycle", References},
};

// Whether a step's name contains one of the comma-separated parts of `only`.
bool NameMatches(const std::string& name, const std::string& only) {
  size_t from = 0;
  while (from <= only.size()) {
    const size_t comma = std::min(only.find(',', from), only.size());
    const std::string part = only.substr(from, comma - from);
    if (!part.empty() && name.find(part) != std::string::npos) return true;
    from = comma + 1;
  }
  return false;
}

}  // namespace

int Validate(const std::string& path, std::FILE* out, const std::string& only,
             std::vector<StepResult>* results) {
  const auto start = Clock::now();
  std::string error;
  std::unique_ptr<PluginFile> file = OpenPluginFile(path, &error);
  if (!file) {
    std::fprintf(out, "%-36s FAIL  %s\n", kSteps[0].name, error.c_str());
    std::fprintf(out, "0 passed, 1 failed\n");
    if (results) results->push_back({kSteps[0].name, Verdict::kFail, error});
    return 1;
  }
  Context context{path, *file, file->identity()};
  std::fprintf(out, "validating %s: %s\n", path.c_str(), context.id.format.c_str());
  int passed = 0, failed = 0, skipped = 0;
  for (const Step& step : kSteps) {
    if (!only.empty() && !NameMatches(step.name, only)) continue;
    // The step's name goes out first, so a crash shows where it happened.
    std::fprintf(out, "%-36s ", step.name);
    std::fflush(out);
    const auto step_start = Clock::now();
    const Outcome outcome = step.run(context);
    const char* verdict = outcome.verdict == Verdict::kPass   ? "PASS"
                          : outcome.verdict == Verdict::kFail ? "FAIL"
                                                              : "SKIP";
    (outcome.verdict == Verdict::kPass   ? passed
     : outcome.verdict == Verdict::kFail ? failed
                                         : skipped)++;
    if (results) results->push_back({step.name, outcome.verdict, outcome.reason});
    std::fprintf(out, "%s  %s (%s)\n", verdict, outcome.reason.c_str(),
                 Seconds(Clock::now() - step_start).c_str());
    std::fflush(out);
  }
  std::fprintf(out, "%s: %d passed, %d failed, %d skipped in %s\n", context.id.format.c_str(),
               passed, failed, skipped, Seconds(Clock::now() - start).c_str());
  return failed == 0 ? 0 : 1;
}

}  // namespace vellicor::host
