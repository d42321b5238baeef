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

#include "editor/editor_session.h"
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

void SelectProgram(Synth& synth, int program) {
  if (program < 0 || program >= kNumPrograms) return;
  synth.SelectProgram(program);
  std::printf("vellicor: program %d \"%s\"\n", program, synth.program(program).name);
  std::fflush(stdout);
}

// The editor on the synth: values in, edits straight to the synth (there is no host to record
// them as automation).
class Editor final : private EditorHost, private SynthListener {
 public:
  explicit Editor(Synth& synth) : synth_(synth), session_(*this) { synth_.SetListener(this); }
  ~Editor() {
    synth_.SetListener(nullptr);
    session_.Close();
  }
  // In a window of its own, made at the editor's size (the user's, or the system's scale).
  bool Open() {
    window_ = gui::HostWindow::Create(session_.width(), session_.height(), "Vellicor");
    return window_ && session_.Open(window_->native_handle());
  }
  gui::HostWindow& window() { return *window_; }
  void Idle() { session_.Idle(); }

 private:
  float Value(int index) const override { return synth_.Value(index); }
  int Controller(int index) const override { return synth_.ControllerFor(index); }
  void setParameterAutomated(int32_t index, float value) override {
    synth_.SetParameter(index, value);
  }
  // The user chose another size in the editor: the window follows.
  bool RequestResize(int width, int height) override {
    window_->SetClientSize(width, height);
    return true;
  }
  void ValueChanged(int index) override { session_.ValueChanged(index); }
  void SoundChanged() override { session_.AllValuesChanged(); }

  Synth& synth_;
  std::unique_ptr<gui::HostWindow> window_;
  // Last: the editor's window is a child of window_ and goes first.
  EditorSession session_;
};

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!Parse(argc, argv, &options)) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  if (options.list) {
    const auto synth = std::make_unique<Synth>();
    for (int p = 0; p < kNumPrograms; ++p) std::printf("%2d %s\n", p, synth->program(p).name);
    return 0;
  }

  std::string error;
  auto synth = standalone::JackSynth::Open(options.name, &error);
  if (!synth) {
    std::fprintf(stderr, "vellicor: %s\n", error.c_str());
    return 1;
  }
  Synth& core = synth->synth();
  SelectProgram(core, options.program);
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
  std::unique_ptr<Editor> editor;
  if (options.editor) {
    editor = std::make_unique<Editor>(core);
    if (!editor->Open()) {
      std::fprintf(stderr, "vellicor: no display for the editor; playing without it\n");
      editor.reset();
    }
  }

  // The main thread is the host's user-interface thread: it idles the editor and carries out
  // program changes.
  while (!g_quit && !synth->server_gone()) {
    if (editor) {
      editor->window().Pump();
      if (editor->window().close_requested()) break;
      editor->Idle();
    }
    if (const int program = synth->TakeProgramRequest(); program >= 0) {
      SelectProgram(core, program);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  editor.reset();
  const bool server_gone = synth->server_gone();
  synth.reset();
  if (server_gone) {
    std::fprintf(stderr, "vellicor: the JACK server stopped\n");
    return 1;
  }
  return 0;
}
