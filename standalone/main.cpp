// vellicor: the synthesizer without a host. A JACK client with MIDI in and stereo out, and the
// editor in a window of its own.
//
//   vellicor [--program N] [--no-editor] [--no-connect] [--name CLIENT] [--list-programs]
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "editor/layout.h"
#include "gui/host_window.h"
#include "standalone/jack_synth.h"

namespace {

using namespace vellicor;

volatile std::sig_atomic_t g_quit = 0;

void OnSignal(int) {
  g_quit = 1;
}

struct Options {
  int program = 0;
  bool editor = true;
  bool connect = true;
  bool list = false;
  std::string name = "vellicor";
};

constexpr char kUsage[] =
    "usage: vellicor [--program N] [--no-editor] [--no-connect] [--name CLIENT] "
    "[--list-programs]\n"
    "  --program N     start with program N (0..15); MIDI program changes select others\n"
    "  --no-editor     no window\n"
    "  --no-connect    leave the outputs unconnected (default: the first two playback ports)\n"
    "  --name CLIENT   the JACK client name (default: vellicor)\n"
    "  --list-programs print the sixteen programs and exit\n";

bool Parse(int argc, char** argv, Options* options) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool has_value = i + 1 < args.size();
    if (arg == "--program" && has_value) {
      char* end = nullptr;
      const long program = std::strtol(args[++i].c_str(), &end, 10);
      if (*end != 0 || program < 0 || program >= kNumPrograms) return false;
      options->program = static_cast<int>(program);
    } else if (arg == "--name" && has_value) {
      options->name = args[++i];
    } else if (arg == "--no-editor") {
      options->editor = false;
    } else if (arg == "--no-connect") {
      options->connect = false;
    } else if (arg == "--list-programs") {
      options->list = true;
    } else {
      return false;
    }
  }
  return true;
}

void SelectProgram(APlugin& plugin, int program) {
  if (program < 0 || program >= kNumPrograms) return;
  plugin.setProgram(program);
  std::printf("vellicor: program %d \"%s\"\n", program, plugin.program(program).name);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!Parse(argc, argv, &options)) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  if (options.list) {
    auto host = InProcessHost::Create(44100.0);
    if (!host) return 1;
    for (int p = 0; p < kNumPrograms; ++p)
      std::printf("%2d %s\n", p, host->plugin().program(p).name);
    return 0;
  }

  std::string error;
  auto synth = standalone::JackSynth::Open(options.name, options.editor, &error);
  if (!synth) {
    std::fprintf(stderr, "vellicor: %s\n", error.c_str());
    return 1;
  }
  APlugin& plugin = synth->plugin();
  SelectProgram(plugin, options.program);
  if (!synth->Start(options.connect, &error)) {
    std::fprintf(stderr, "vellicor: %s\n", error.c_str());
    return 1;
  }
  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  std::printf(
      "vellicor: running as JACK client \"%s\" (ports midi_in, out_l, out_r); Ctrl+C quits\n",
      synth->client_name());
  std::fflush(stdout);

  // The editor, in a top-level window standing in for a host's editor frame.
  std::unique_ptr<gui::HostWindow> window;
  if (options.editor) {
    window = gui::HostWindow::Create(editor::kFormWidth, editor::kFormHeight, "Vellicor");
    if (!window || !plugin.editor() || plugin.editor()->open(window->native_handle()) != 1) {
      std::fprintf(stderr, "vellicor: no display for the editor; playing without it\n");
      window.reset();
    }
  }

  // The main thread is the host's user-interface thread: it idles the editor and carries out
  // program changes.
  while (!g_quit && !synth->server_gone()) {
    if (window) {
      window->Pump();
      if (window->close_requested()) break;
      plugin.editor()->idle();
    }
    if (const int program = synth->TakeProgramRequest(); program >= 0)
      SelectProgram(plugin, program);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (window) plugin.editor()->close();
  window.reset();
  const bool server_gone = synth->server_gone();
  synth.reset();
  if (server_gone) {
    std::fprintf(stderr, "vellicor: the JACK server stopped\n");
    return 1;
  }
  return 0;
}
