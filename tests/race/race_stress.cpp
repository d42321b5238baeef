// Four threads on the plug-in at once, the way hosts use it, under ThreadSanitizer:
//   audio       events (notes, learnt and other controllers, bends) and rendering
//   automation  setParameter, effSetProgram, program and parameter names, learning armed
//   editor      open (off-screen, and in an X11 window when there is a display), idle at
//               30 Hz, its timers, mouse drags that automate, close
//   instances   other instances made, played and closed
// ThreadSanitizer reports every unordered access to shared memory it sees; the program
// itself only bounds the run:  race_stress [SECONDS]
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include "gui/host_window.h"
#include "plugin/uPlugin.h"
#include "tests/midi_events.h"
#include "vst/vellicor_requests.h"

namespace vellicor {
namespace {

namespace rq = vellicor::requests;
using Clock = std::chrono::steady_clock;

const vst::VstTimeInfo kTimeInfo = [] {
  vst::VstTimeInfo info{};
  info.sampleRate = 44100.0;
  info.tempo = 133.0;
  info.flags = vst::kVstTempoValid;
  return info;
}();

intptr_t VST_CALL HostCallback(vst::AEffect*, int32_t opcode, int32_t, intptr_t, void*, float) {
  if (opcode == vst::audioMasterGetTime) return reinterpret_cast<intptr_t>(&kTimeInfo);
  if (opcode == vst::audioMasterTempoAt) return 1330000;
  return opcode == vst::audioMasterVersion ? 2400 : 0;
}

intptr_t Dispatch(vst::AEffect* effect, int32_t opcode, int32_t index = 0, intptr_t value = 0,
                  void* ptr = nullptr, float opt = 0.0f) {
  return effect->dispatcher(effect, opcode, index, value, ptr, opt);
}

vst::AEffect* NewInstance() {
  vst::AEffect* effect = (new APlugin(HostCallback))->getAeffect();
  Dispatch(effect, vst::effOpen);
  Dispatch(effect, vst::effSetSampleRate, 0, 0, nullptr, 44100.0f);
  Dispatch(effect, vst::effSetBlockSize, 0, 256);
  Dispatch(effect, vst::effMainsChanged, 0, 1);
  return effect;
}

struct Run {
  explicit Run(double seconds)
      : end(Clock::now() + std::chrono::milliseconds(static_cast<long>(seconds * 1000))) {}
  bool going() const { return Clock::now() < end; }
  Clock::time_point end;
  std::atomic<long> blocks{0}, automations{0}, idles{0}, opens{0}, instances{0};
};

void Audio(vst::AEffect* effect, Run& run) {
  std::mt19937 random(1);
  testing::MidiEvents block;
  std::vector<float> left(256), right(256);
  float* outputs[2] = {left.data(), right.data()};
  while (run.going()) {
    for (int i = 0; i < 4; ++i) {
      const int offset = static_cast<int>(random() % 256);
      const uint8_t note = static_cast<uint8_t>(36 + random() % 48);
      const auto kind = random() % 5;
      if (kind == 0) block.Add(0x90, note, 100, offset);
      if (kind == 1) block.Add(0x80, note, 0, offset);
      // Controllers, learnt ones among them (the factory map's LFO controls).
      if (kind == 2)
        block.Add(0xB0, static_cast<uint8_t>(1 + random() % 120), random() % 128, offset);
      if (kind == 3) block.Add(0xE0, 0, random() % 128, offset);
      if (kind == 4 && random() % 50 == 0) block.Add(0xB0, 126, 0, offset);  // all notes off
    }
    block.SendTo(effect);
    effect->processReplacing(effect, nullptr, outputs, 256);
    ++run.blocks;
  }
}

void Automation(vst::AEffect* effect, Run& run) {
  std::mt19937 random(2);
  char text[64];
  while (run.going()) {
    for (int i = 0; i < 64; ++i) {
      effect->setParameter(effect, static_cast<int32_t>(random() % 1600),
                           static_cast<float>(random() % 1001) / 1000.0f);
    }
    effect->setParameter(effect, 15, 1.0f);  // arm learning: the next controller is learnt
    Dispatch(effect, vst::effSetProgram, 0, static_cast<intptr_t>(random() % 16));
    Dispatch(effect, vst::effGetProgramName, 0, 0, text);
    std::snprintf(text, sizeof text, "Stress %u", static_cast<unsigned>(random() % 1000));
    Dispatch(effect, vst::effSetProgramName, 0, 0, text);
    Dispatch(effect, vst::effGetParamName, static_cast<int32_t>(random() % 1599), 0, text);
    Dispatch(effect, vst::effGetProgramNameIndexed, -1, static_cast<intptr_t>(random() % 16), text);
    (void)effect->getParameter(effect, static_cast<int32_t>(random() % 1599));
    ++run.automations;
  }
}

intptr_t Request(vst::AEffect* effect, int32_t kind, void* record) {
  return Dispatch(effect, vst::effVendorSpecific, kVendorRequestId, kind, record);
}

// A drag on a slider of the off-screen editor: each move automates the main volume.
void DragSlider(vst::AEffect* effect, int step) {
  rq::ComponentRecord slider{sizeof slider, "Hvolume", 0, 0, 0, 0, 0};
  if (Request(effect, rq::kComponentRect, &slider) != 1) return;
  const int y = slider.top + slider.height / 2;
  rq::MouseRecord mouse{sizeof mouse, rq::kDown, slider.left + 10, y, rq::kLeft, 0};
  Request(effect, rq::kMouse, &mouse);
  mouse.action = rq::kMove;
  mouse.x = slider.left + 10 + step % (slider.width > 20 ? slider.width - 20 : 1);
  Request(effect, rq::kMouse, &mouse);
  mouse.action = rq::kUp;
  Request(effect, rq::kMouse, &mouse);
}

void Editor(vst::AEffect* effect, Run& run) {
  std::unique_ptr<gui::HostWindow> frame;
  if (std::getenv("DISPLAY")) frame = gui::HostWindow::Create(635, 512, "race stress");
  int step = 0;
  for (int round = 0; run.going(); ++round) {
    const bool in_window = frame && round % 2 == 1;
    if (Dispatch(effect, vst::effEditOpen, 0, 0, in_window ? frame->native_handle() : nullptr) ==
        0) {
      std::fprintf(stderr, "race_stress: the editor did not open\n");
      std::exit(2);
    }
    ++run.opens;
    for (int tick = 0; tick < 30 && run.going(); ++tick) {
      Dispatch(effect, vst::effEditIdle);
      if (in_window) {
        frame->Pump();
      } else {
        rq::ClockRecord clock{sizeof clock, 33};
        Request(effect, rq::kAdvanceClock, &clock);
        DragSlider(effect, ++step);
      }
      ++run.idles;
      std::this_thread::sleep_for(std::chrono::milliseconds(33));
    }
    Dispatch(effect, vst::effEditClose);
  }
}

void Instances(Run& run) {
  std::vector<float> left(256), right(256);
  float* outputs[2] = {left.data(), right.data()};
  while (run.going()) {
    vst::AEffect* effect = NewInstance();
    testing::MidiEvents().Add(0x90, 60, 100).SendTo(effect);
    effect->processReplacing(effect, nullptr, outputs, 256);
    Dispatch(effect, vst::effClose);
    ++run.instances;
  }
}

}  // namespace
}  // namespace vellicor

int main(int argc, char** argv) {
  using namespace vellicor;
  const double seconds = argc > 1 ? std::atof(argv[1]) : 20.0;
  vst::AEffect* effect = NewInstance();
  Run run(seconds);
  std::thread threads[] = {
      std::thread(Audio, effect, std::ref(run)), std::thread(Automation, effect, std::ref(run)),
      std::thread(Editor, effect, std::ref(run)), std::thread(Instances, std::ref(run))};
  for (std::thread& thread : threads) thread.join();
  Dispatch(effect, vst::effClose);
  std::printf(
      "race_stress: %.0f s; %ld audio blocks, %ld automation rounds, %ld editor opens, "
      "%ld idles, %ld other instances\n",
      seconds, run.blocks.load(), run.automations.load(), run.opens.load(), run.idles.load(),
      run.instances.load());
  return 0;
}
