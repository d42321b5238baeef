// vellicor-host: a command-line VST 2 host for Vellicor (and other VST 2 instruments).
//   info LIB [--json]                      every answer the plug-in gives a host
//   render LIB --demo|--midi FILE|--note N --out FILE.wav [options] [--analyze]
//   analyze FILE.wav [--note N] [--from SECONDS] [--length SECONDS]  a held note's fold-back
//   demo LIB [--out-dir DIR] [--out FILE.wav]  the demo phrase through every program
//   bench FILE [--vs OTHER_FILE] [options]  realtime factor of a fixed workload, any format
//   bench FILE --all-programs [--vs OTHER_FILE]  the same for every program, one line each
//   validate FILE [--only TEXT]            a validator's checks, any format
//   screenshot LIB --out FILE.png [options]  the editor's pixels, in a window or headless
//   bench-editor LIB [--runs N] [--only TEXT] [--scale F]  the editor's costs per step
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#endif

#include "host/bench.h"
#include "host/editor_bench.h"
#include "host/midi_file.h"
#include "host/note_analysis.h"
#include "host/plugin_loader.h"
#include "host/plugin_under_test.h"
#include "host/render.h"
#include "host/screenshot.h"
#include "host/validate.h"
#include "host/wav_file.h"

using namespace vellicor::host;

namespace {

const char kUsage[] =
    "usage:\n"
    "  vellicor-host info LIB [--json]\n"
    "  vellicor-host render LIB (--demo | --midi FILE.mid | --note N [--hold SECONDS])\n"
    "        --out FILE.wav [--program N] [--rate HZ] [--block N] [--tail SECONDS]\n"
    "        [--patch FILE] [--set INDEX=VALUE ...] [--analyze]\n"
    "  vellicor-host analyze FILE.wav [--note N] [--from SECONDS] [--length SECONDS]\n"
    "  vellicor-host demo LIB [--out-dir DIR] [--out FILE.wav] [--rate HZ] [--block N]\n"
    "  vellicor-host bench FILE [--vs OTHER_FILE] [--runs N] [--seconds S]\n"
    "        [--program N | --all-programs] [--patch FILE] [--set INDEX=VALUE ...]\n"
    "  vellicor-host screenshot LIB --out FILE.png [--program N] [--headless] [--scale F]\n"
    "        [--press NAME[:X,Y]] [--drag NAME:X1,Y1:X2,Y2] [--menu NAME ITEM] ...\n"
    "        [--rmenu NAME ITEM] ... [--menu-open NAME | --rmenu-open NAME]\n"
    "  vellicor-host bench-editor LIB [--runs N] [--only TEXT] [--scale F]\n"
    "  vellicor-host validate FILE [--only TEXT]\n"
    "LIB is a VST 2 library (.so, .dll); FILE also an LV2 bundle (.lv2, Linux), a .clap file or\n"
    "a VST 3 bundle (.vst3, or the binary inside it).\n";

int Fail(const std::string& message) {
  std::fprintf(stderr, "vellicor-host: %s\n", message.c_str());
  return 1;
}

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char buffer[8];
      std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
      out += buffer;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string FourCCText(int32_t value) {
  std::string text;
  for (int shift = 24; shift >= 0; shift -= 8) {
    const char c = static_cast<char>((value >> shift) & 0xFF);
    text += (c >= 32 && c < 127) ? c : '?';
  }
  return text;
}

std::string Format(const char* format, double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, format, value);
  return buffer;
}

struct Options {
  std::vector<std::string> positional;
  bool json = false, demo = false, all_programs = false, program_given = false, analyze = false;
  // A held key (tuned as the synth tunes it: 57 sounds at 110 Hz), how long it is held, and
  // the stretch of a file analysed.
  double note = -1.0, hold = 3.0, from = -1.0, length = 0.0;
  std::string midi, out, patch, vs, out_dir, only;
  vellicor::gui::Scale scale;
  RenderSettings render;
  int runs = 5;
  double seconds = 60.0;
};

bool ParseOptions(int argc, char** argv, Options* options, std::string* error) {
  auto need = [&](int& i) -> const char* {
    if (i + 1 >= argc) {
      *error = std::string(argv[i]) + " needs a value";
      return nullptr;
    }
    return argv[++i];
  };
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    const char* value = nullptr;
    if (arg == "--json") {
      options->json = true;
    } else if (arg == "--demo") {
      options->demo = true;
    } else if (arg == "--all-programs") {
      options->all_programs = true;
    } else if (arg == "--analyze") {
      options->analyze = true;
    } else if (arg == "--midi" || arg == "--out" || arg == "--patch" || arg == "--vs" ||
               arg == "--out-dir" || arg == "--only") {
      if (!(value = need(i))) return false;
      (arg == "--midi"      ? options->midi
       : arg == "--out"     ? options->out
       : arg == "--patch"   ? options->patch
       : arg == "--out-dir" ? options->out_dir
       : arg == "--only"    ? options->only
                            : options->vs) = value;
    } else if (arg == "--program" || arg == "--rate" || arg == "--block" || arg == "--tail" ||
               arg == "--runs" || arg == "--seconds" || arg == "--note" || arg == "--hold" ||
               arg == "--from" || arg == "--length") {
      if (!(value = need(i))) return false;
      char* end = nullptr;
      const double number = std::strtod(value, &end);
      if (!end || *end || !std::isfinite(number)) {
        *error = arg + " needs a number, not '" + value + "'";
        return false;
      }
      if (arg == "--program") {
        options->render.program = static_cast<int>(number);
        options->program_given = true;
      }
      if (arg == "--rate") options->render.sample_rate = number;
      if (arg == "--block") options->render.block_size = static_cast<int>(number);
      if (arg == "--tail") options->render.tail_seconds = number;
      if (arg == "--runs") options->runs = std::max(1, static_cast<int>(number));
      if (arg == "--seconds") options->seconds = std::max(0.1, number);
      if (arg == "--note") options->note = std::clamp(number, 0.0, 127.0);
      if (arg == "--hold") options->hold = std::max(0.1, number);
      if (arg == "--from") options->from = std::max(0.0, number);
      if (arg == "--length") options->length = std::max(0.0, number);
    } else if (arg == "--scale") {
      if (!(value = need(i))) return false;
      if (!ParseScale(value, &options->scale)) {
        *error =
            std::string("--scale needs a factor from 1 to 3 or a percent, not '") + value + "'";
        return false;
      }
    } else if (arg == "--set") {
      if (!(value = need(i))) return false;
      int index;
      float v;
      if (std::sscanf(value, "%d=%f", &index, &v) != 2) {
        *error = std::string("--set needs INDEX=VALUE, not '") + value + "'";
        return false;
      }
      options->render.parameters.emplace_back(index, v);
    } else if (!arg.empty() && arg[0] == '-') {
      *error = "unknown option " + arg;
      return false;
    } else {
      options->positional.push_back(arg);
    }
  }
  if (options->render.block_size < 1 || options->render.block_size > 65536) {
    *error = "--block must be 1..65536";
    return false;
  }
  if (options->render.sample_rate < 1000 || options->render.sample_rate > 1000000) {
    *error = "--rate must be 1000..1000000";
    return false;
  }
  return true;
}

int Info(Plugin& plugin, bool json) {
  vst::AEffect* e = plugin.effect();
  const std::string effect_name = plugin.DispatchString(vst::effGetEffectName);
  const std::string vendor = plugin.DispatchString(vst::effGetVendorString);
  const std::string product = plugin.DispatchString(vst::effGetProductString);
  const intptr_t vendor_version = plugin.Dispatch(vst::effGetVendorVersion);
  const intptr_t vst_version = plugin.Dispatch(vst::effGetVstVersion);
  const intptr_t category = plugin.Dispatch(vst::effGetPlugCategory);
  const intptr_t midi =
      plugin.Dispatch(vst::effCanDo, 0, 0, const_cast<char*>("receiveVstMidiEvent"));
  std::vector<std::string> pins;
  std::vector<int> pin_flags;
  for (int pin = 0; pin < e->numOutputs && pin < 64; ++pin) {
    vst::VstPinProperties properties{};
    if (!plugin.Dispatch(vst::effGetOutputProperties, pin, 0, &properties)) break;
    properties.label[63] = 0;
    pins.push_back(properties.label);
    pin_flags.push_back(properties.flags);
  }
  std::vector<std::string> programs;
  for (int p = 0; p < e->numPrograms; ++p) programs.push_back(plugin.ProgramNameIndexed(p));
  const std::string current_name = plugin.ProgramName();

  if (json) {
    std::printf("{\n  \"effectName\": %s,\n  \"vendor\": %s,\n  \"product\": %s,\n",
                JsonString(effect_name).c_str(), JsonString(vendor).c_str(),
                JsonString(product).c_str());
    std::printf("  \"vendorVersion\": %ld,\n  \"vstVersion\": %ld,\n  \"category\": %ld,\n",
                static_cast<long>(vendor_version), static_cast<long>(vst_version),
                static_cast<long>(category));
    std::printf("  \"uniqueID\": %s,\n  \"version\": %d,\n  \"flags\": %d,\n",
                JsonString(FourCCText(e->uniqueID)).c_str(), e->version, e->flags);
    std::printf("  \"inputs\": %d,\n  \"outputs\": %d,\n  \"receivesMidi\": %ld,\n", e->numInputs,
                e->numOutputs, static_cast<long>(midi));
    std::printf("  \"outputPins\": [");
    for (size_t i = 0; i < pins.size(); ++i) {
      std::printf("%s{\"label\": %s, \"flags\": %d}", i ? ", " : "", JsonString(pins[i]).c_str(),
                  pin_flags[i]);
    }
    std::printf("],\n  \"currentProgram\": %ld,\n  \"currentProgramName\": %s,\n",
                static_cast<long>(plugin.Dispatch(vst::effGetProgram)),
                JsonString(current_name).c_str());
    std::printf("  \"programs\": [");
    for (size_t i = 0; i < programs.size(); ++i) {
      std::printf("%s%s", i ? ", " : "", JsonString(programs[i]).c_str());
    }
    std::printf("],\n  \"parameters\": [\n");
    for (int p = 0; p < e->numParams; ++p) {
      std::printf("    {\"index\": %d, \"name\": %s, \"value\": %s}%s\n", p,
                  JsonString(plugin.ParameterName(p)).c_str(),
                  Format("%.9g", plugin.GetParameter(p)).c_str(), p + 1 < e->numParams ? "," : "");
    }
    std::printf("  ]\n}\n");
    return 0;
  }
  std::printf("effect name:    %s\nvendor:         %s\nproduct:        %s\n", effect_name.c_str(),
              vendor.c_str(), product.c_str());
  std::printf("vendor version: %ld\nVST version:    %ld\ncategory:       %ld\n",
              static_cast<long>(vendor_version), static_cast<long>(vst_version),
              static_cast<long>(category));
  std::printf("unique ID:      %s\nversion:        %d\nflags:          %d\n",
              FourCCText(e->uniqueID).c_str(), e->version, e->flags);
  std::printf("inputs:         %d\noutputs:        %d\nreceives MIDI:  %ld\n", e->numInputs,
              e->numOutputs, static_cast<long>(midi));
  for (size_t i = 0; i < pins.size(); ++i) {
    std::printf("output pin %zu:   %s (flags %d)\n", i, pins[i].c_str(), pin_flags[i]);
  }
  std::printf("programs:       %d (current %ld: %s)\n", e->numPrograms,
              static_cast<long>(plugin.Dispatch(vst::effGetProgram)), current_name.c_str());
  for (size_t i = 0; i < programs.size(); ++i) std::printf("  %2zu %s\n", i, programs[i].c_str());
  std::printf("parameters:     %d\n", e->numParams);
  for (int p = 0; p < e->numParams; ++p) {
    std::printf("  %4d %-28s %.9g\n", p, plugin.ParameterName(p).c_str(), plugin.GetParameter(p));
  }
  return 0;
}

struct Levels {
  double peak = 0.0;
  double rms = 0.0;
};

Levels Measure(const std::vector<float>& left, const std::vector<float>& right) {
  Levels levels;
  double sum = 0.0;
  for (size_t i = 0; i < left.size(); ++i) {
    levels.peak = std::max({levels.peak, std::fabs(double(left[i])), std::fabs(double(right[i]))});
    sum += double(left[i]) * left[i] + double(right[i]) * right[i];
  }
  levels.rms = left.empty() ? 0.0 : std::sqrt(sum / (2.0 * left.size()));
  return levels;
}

// The demo phrase through every program in turn: one WAV file per program in out_dir, the
// first program's also as `out`, and a level report.
int Demo(Plugin& plugin, const Options& options) {
  const std::string dir = options.out_dir.empty() ? "demo" : options.out_dir;
#if defined(_WIN32)
  CreateDirectoryA(dir.c_str(), nullptr);
#else
  const std::string mkdir = "mkdir -p '" + dir + "'";
  if (std::system(mkdir.c_str()) != 0) return Fail("cannot create " + dir);
#endif
  const std::vector<TimedMessage> phrase = DemoPhrase();
  const int programs = plugin.effect()->numPrograms;
  std::printf("%-3s %-12s %8s %8s  %s\n", "#", "program", "peak", "rms", "file");
  for (int program = 0; program < programs; ++program) {
    RenderSettings settings = options.render;
    settings.program = program;
    PreparePlugin(plugin, settings);
    std::vector<float> left, right;
    RenderSequence(plugin, phrase, settings, &left, &right);
    std::string name = plugin.ProgramName();
    std::string file_name;
    for (char c : name) file_name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    char number[16];
    std::snprintf(number, sizeof number, "%02d-", program);
    const std::string path = dir + "/" + number + file_name + ".wav";
    std::string error;
    const int rate = static_cast<int>(settings.sample_rate);
    if (!WriteWav(path, left, right, rate, &error)) return Fail(error);
    if (program == 0 && !options.out.empty() && !WriteWav(options.out, left, right, rate, &error)) {
      return Fail(error);
    }
    const Levels levels = Measure(left, right);
    std::printf("%-3d %-12s %8.4f %8.4f  %s\n", program, name.c_str(), levels.peak, levels.rms,
                path.c_str());
  }
  if (!options.out.empty()) std::printf("wrote %s (program 0)\n", options.out.c_str());
  return 0;
}

// The fold-back of a held note in one channel: from `from` seconds (by default half a second
// in, past the attack, when the file is long enough), `length` seconds of it (0: what fits).
int Analyze(const std::vector<float>& samples, double sample_rate, const Options& options) {
  const double from = options.from >= 0.0
                          ? options.from
                          : (static_cast<double>(samples.size()) > 1.5 * sample_rate ? 0.5 : 0.0);
  const size_t first = std::min(samples.size(), static_cast<size_t>(from * sample_rate));
  size_t count = samples.size() - first;
  if (options.length > 0.0) {
    count = std::min(count, static_cast<size_t>(options.length * sample_rate));
  }
  NoteSpectrum spectrum;
  if (!AnalyzeNote(samples.data() + first, count, sample_rate, options.note, &spectrum)) {
    return Fail("no note to analyse (at least 1,024 samples with a tone)");
  }
  std::printf("fundamental        %10.2f Hz (%d harmonics below %.0f Hz)\n", spectrum.fundamental,
              spectrum.harmonics, sample_rate / 2.0);
  std::printf("off the harmonics  %10.1f dB of all the energy\n", spectrum.off_harmonic_db);
  std::printf("strongest off them %10.1f dB against the fundamental, at %.1f Hz\n",
              spectrum.strongest_db, spectrum.strongest_hz);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const std::string command = argv[1];
  if (command == "screenshot")
    return RunScreenshot(std::vector<std::string>(argv + 2, argv + argc));
  Options options;
  std::string error;
  if (!ParseOptions(argc, argv, &options, &error)) return Fail(error);
  if (options.positional.size() != 1) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  if (!options.patch.empty()) {
    std::vector<std::pair<int, float>> patch;
    if (!ReadPatchFile(options.patch, &patch, &error)) return Fail(error);
    // Patch-file values come first so --set can override them.
    options.render.parameters.insert(options.render.parameters.begin(), patch.begin(), patch.end());
  }
  if (command == "validate") return Validate(options.positional[0], stdout, options.only);
  if (command == "analyze") {
    std::vector<float> left, right;
    int rate = 0;
    if (!ReadWav(options.positional[0], &left, &right, &rate, &error)) return Fail(error);
    return Analyze(left, rate, options);
  }
  if (command == "bench") {
    std::unique_ptr<PluginFile> file = OpenPluginFile(options.positional[0], &error);
    if (!file) return Fail("cannot load " + options.positional[0] + ": " + error);
    std::unique_ptr<PluginFile> other;
    if (!options.vs.empty()) {
      other = OpenPluginFile(options.vs, &error);
      if (!other) return Fail("cannot load " + options.vs + ": " + error);
    }
    BenchOptions bench;
    bench.runs = options.runs;
    bench.seconds = options.seconds;
    bench.sample_rate = options.render.sample_rate;
    bench.block_size = options.render.block_size;
    bench.program = options.program_given ? options.render.program : -1;
    bench.all_programs = options.all_programs;
    bench.parameters = options.render.parameters;
    return RunBench(*file, other.get(), bench);
  }
  std::unique_ptr<Plugin> plugin = Plugin::Load(options.positional[0], &error);
  if (!plugin) return Fail("cannot load " + options.positional[0] + ": " + error);

  if (command == "info") return Info(*plugin, options.json);
  if (command == "render") {
    if (options.out.empty()) return Fail("render needs --out FILE.wav");
    std::vector<TimedMessage> messages;
    if (options.demo) {
      messages = DemoPhrase();
    } else if (!options.midi.empty()) {
      if (!ReadMidiFile(options.midi, &messages, &error)) return Fail(error);
    } else if (options.note >= 0.0) {
      // One key, velocity 100, held for --hold seconds.
      const uint8_t key = static_cast<uint8_t>(options.note);
      messages.push_back({0.0, {0x90, key, 100}});
      messages.push_back({options.hold, {0x80, key, 0}});
    } else {
      return Fail("render needs --demo, --midi FILE.mid or --note N");
    }
    PreparePlugin(*plugin, options.render);
    std::vector<float> left, right;
    RenderSequence(*plugin, messages, options.render, &left, &right);
    if (!WriteWav(options.out, left, right, static_cast<int>(options.render.sample_rate), &error)) {
      return Fail(error);
    }
    const Levels levels = Measure(left, right);
    std::printf("wrote %s: %zu frames at %.0f Hz, program %d \"%s\", peak %.4f, rms %.4f\n",
                options.out.c_str(), left.size(), options.render.sample_rate,
                options.render.program, plugin->ProgramName().c_str(), levels.peak, levels.rms);
    if (options.analyze) {
      // The held stretch only: up to the last message (the key's release).
      if (!messages.empty()) {
        const size_t held =
            static_cast<size_t>(messages.back().seconds * options.render.sample_rate);
        left.resize(std::min(left.size(), std::max<size_t>(held, 1024)));
      }
      return Analyze(left, options.render.sample_rate, options);
    }
    return 0;
  }
  if (command == "demo") return Demo(*plugin, options);
  if (command == "bench-editor") {
    return RunEditorBench(*plugin, options.runs, options.only, options.scale);
  }
  std::fputs(kUsage, stderr);
  return 2;
}
