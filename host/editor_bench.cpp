#include "host/editor_bench.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <optional>
#include <vector>

#include "parameters/parameter_table.h"
#include "vst/vellicor_requests.h"

namespace vellicor::host {

namespace {

namespace rq = vellicor::requests;

// The headless editor as the workloads drive it.
class EditorDriver {
 public:
  EditorDriver(Plugin& plugin, gui::Scale scale) : plugin_(plugin), scale_(scale) {}

  Plugin& plugin() { return plugin_; }

  // Where a component lies in the editor's client pixels.
  std::optional<rq::ComponentRecord> Component(const char* name) {
    rq::ComponentRecord record{};
    record.size = sizeof record;
    record.name = name;
    if (Request(rq::kComponentRect, &record) != 1) return std::nullopt;
    return record;
  }
  // A mouse event at (x, y) of the named component (in the form's pixels, as the component).
  bool Mouse(int action, const char* component, int x, int y, int button = rq::kLeft,
             int modifiers = 0) {
    const auto c = Component(component);
    if (!c) return false;
    rq::MouseRecord record{sizeof record,
                           action,
                           scale_.ScreenPixelIn(c->left + x),
                           scale_.ScreenPixelIn(c->top + y),
                           button,
                           modifiers};
    return Request(rq::kMouse, &record) == 1;
  }
  bool Clock(int ms) {
    rq::ClockRecord record{sizeof record, ms};
    return Request(rq::kAdvanceClock, &record) == 1;
  }
  bool Choose(const char* item) {
    rq::MenuItemRecord record{sizeof record, item};
    return Request(rq::kChooseMenuItem, &record) == 1;
  }
  void Idle() { plugin_.Dispatch(vst::effEditIdle); }

 private:
  intptr_t Request(int32_t kind, void* record) {
    return plugin_.Dispatch(vst::effVendorSpecific, kVendorRequestId, kind, record);
  }

  Plugin& plugin_;
  gui::Scale scale_;
};

struct Workload {
  const char* name;
  int steps;                                  // timed steps per run
  std::function<void(EditorDriver&)> before;  // untimed, before each run's steps
  std::function<void(EditorDriver&, int step)> step;
  std::function<void(EditorDriver&)> after;  // untimed, after each run's steps
};

// Envelope 1, the one the editor shows, as twenty points of a zigzag with curved segments and
// a loop, so the view draws every kind of thing it draws.
void TwentyPointEnvelope(EditorDriver& e) {
  Plugin& plugin = e.plugin();
  constexpr int kFirst = 0;
  plugin.SetParameter(param::kEnvelopeShown, 0.1f / 20.99f);
  for (int j = 0; j < param::kEnvelopePoints; ++j) {
    plugin.SetParameter(param::Point(param::kEnvTime, kFirst, j), static_cast<float>(j) / 19.0f);
    plugin.SetParameter(param::Point(param::kEnvLevel, kFirst, j), j % 2 ? 0.8f : 0.2f);
    plugin.SetParameter(param::Point(param::kEnvCurve, kFirst, j), static_cast<float>(j) / 19.0f);
  }
  plugin.SetParameter(param::Envelope(param::kEnvLastPoint, kFirst), 19 / 39.99f);
  plugin.SetParameter(param::Envelope(param::kEnvLoopStart, kFirst), 4 / 39.99f);
  plugin.SetParameter(param::Envelope(param::kEnvLoopEnd, kFirst), 12 / 39.99f);
}

// Point 5 of that envelope in the view: x = 5 + 600 * 5 / 19, level 0.8.
constexpr int kPointFiveX = 162;
constexpr int kPointFiveY = 25;

std::vector<Workload> Workloads() {
  auto nothing = [](EditorDriver&) {};
  return {
      {"host idle, nothing changed", 2000, nothing, [](EditorDriver& e, int) { e.Idle(); },
       nothing},
      {"200 ms refresh, nothing changed", 2000, nothing, [](EditorDriver& e, int) { e.Clock(200); },
       nothing},
      {"500 ms timers (refresh and envelope view)", 500, nothing,
       [](EditorDriver& e, int) { e.Clock(500); }, nothing},
      {"program change", 50, nothing,
       [](EditorDriver& e, int step) { e.plugin().Dispatch(vst::effSetProgram, 0, step % 2); },
       [](EditorDriver& e) { e.plugin().Dispatch(vst::effSetProgram, 0, 0); }},
      {"slider drag step (main volume)", 500,
       [](EditorDriver& e) { e.Mouse(rq::kDown, "Hvolume", 50, 6); },
       [](EditorDriver& e, int step) { e.Mouse(rq::kMove, "Hvolume", 20 + step % 60, 6); },
       [](EditorDriver& e) { e.Mouse(rq::kUp, "Hvolume", 50, 6); }},
      {"500 ms timers, 20-point envelope shown", 500, TwentyPointEnvelope,
       [](EditorDriver& e, int) { e.Clock(500); }, nothing},
      {"envelope point drag step (one commit)", 500,
       [](EditorDriver& e) {
         TwentyPointEnvelope(e);
         e.Mouse(rq::kDown, "EnvI", kPointFiveX, kPointFiveY);
       },
       [](EditorDriver& e, int step) {
         e.Mouse(rq::kMove, "EnvI", kPointFiveX - 10 + step % 20, kPointFiveY + step % 7);
       },
       [](EditorDriver& e) { e.Mouse(rq::kUp, "EnvI", kPointFiveX, kPointFiveY); }},
      // One click loads a bred sound: 1,591 automated writes.
      {"evolver slot select", 10, [](EditorDriver& e) { e.Mouse(rq::kClick, "Evol", 50, 15); },
       [](EditorDriver& e, int step) { e.Mouse(rq::kClick, step % 2 ? "ev9" : "Ev1", 26, 26); },
       [](EditorDriver& e) {
         e.Mouse(rq::kDown, "EvolClose", 30, 12);
         e.Mouse(rq::kUp, "EvolClose", 30, 12);
       }},
      // The controller menu's "Midi Reset": 256 assign requests of three writes each.
      {"controller menu Midi Reset", 20, nothing,
       [](EditorDriver& e, int) {
         e.Mouse(rq::kDown, "Image1", 3, 4, rq::kRight, rq::kCtrl);
         e.Mouse(rq::kUp, "Image1", 3, 4, rq::kRight, rq::kCtrl);
         e.Choose("CCreset");
       },
       nothing},
  };
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 ? values[n / 2] : 0.5 * (values[n / 2 - 1] + values[n / 2]);
}

}  // namespace

int RunEditorBench(Plugin& plugin, int runs, const std::string& only, gui::Scale scale) {
  rq::ScaleRecord size{sizeof size, scale.percent()};
  if (plugin.Dispatch(vst::effVendorSpecific, kVendorRequestId, rq::kSetScale, &size) != 1) {
    std::fprintf(stderr, "vellicor-host: the plug-in takes no size request\n");
    return 1;
  }
  if (plugin.Dispatch(vst::effEditOpen, 0, 0, nullptr) == 0) {
    std::fprintf(stderr, "vellicor-host: the plug-in opened no editor without a window\n");
    return 1;
  }
  EditorDriver editor(plugin, scale);
  editor.Clock(1000);  // the editor settles: both timers have run
  std::printf("editor workloads, headless, at %d %%, %d runs each; time per step, median (runs)\n",
              scale.percent(), runs);
  for (const Workload& w : Workloads()) {
    if (!only.empty() && std::string(w.name).find(only) == std::string::npos) continue;
    std::vector<double> per_step_us;
    size_t automations = 0;
    for (int run = 0; run < runs; ++run) {
      w.before(editor);
      plugin.requests.clear();
      const auto start = std::chrono::steady_clock::now();
      for (int s = 0; s < w.steps; ++s) w.step(editor, s);
      const auto end = std::chrono::steady_clock::now();
      automations = plugin.Requests(vst::audioMasterAutomate).size();
      w.after(editor);
      per_step_us.push_back(std::chrono::duration<double, std::micro>(end - start).count() /
                            w.steps);
    }
    std::printf("  %-44s %10.2f us", w.name, Median(per_step_us));
    if (automations > 0) {
      std::printf("  (%.0f automations/step)", static_cast<double>(automations) / w.steps);
    }
    std::printf("  [");
    for (size_t i = 0; i < per_step_us.size(); ++i) {
      std::printf("%s%.2f", i ? " " : "", per_step_us[i]);
    }
    std::printf("]\n");
  }
  plugin.Dispatch(vst::effEditClose);
  return 0;
}

}  // namespace vellicor::host
