// The standalone application on a private JACK server with the dummy backend: it refuses
// clearly when there is no server, and with one it plays a note sent through JACK MIDI on its
// output ports, takes program changes, and quits cleanly on SIGTERM.
#include <gtest/gtest.h>
#include <jack/jack.h>
#include <jack/midiport.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

// A child process; its stdout and stderr go to a pipe read once it has ended.
struct Child {
  explicit Child(std::vector<std::string> args) {
    int fds[2];
    if (pipe(fds) != 0) return;
    pid = fork();
    if (pid == 0) {
      dup2(fds[1], 1);
      dup2(fds[1], 2);
      std::vector<char*> argv;
      for (auto& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      execvp(argv[0], argv.data());
      _exit(127);
    }
    close(fds[1]);
    out = fds[0];
  }
  ~Child() {
    if (pid > 0 && Wait(0ms) == -2) kill(pid, SIGKILL), waitpid(pid, nullptr, 0);
    close(out);
  }
  // The exit status; -1 when killed by a signal, -2 while it still runs after `limit`.
  int Wait(std::chrono::milliseconds limit) {
    for (auto waited = 0ms;; waited += 20ms) {
      int status = 0;
      if (waitpid(pid, &status, WNOHANG) == pid) {
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      if (waited >= limit) return -2;
      std::this_thread::sleep_for(20ms);
    }
  }
  std::string Output() const {
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = read(out, buffer, sizeof buffer)) > 0;)
      text.append(buffer, static_cast<size_t>(n));
    return text;
  }
  pid_t pid = -1;
  int out = -1;
};

// Our own client: a MIDI output to play the synthesizer, two audio inputs to measure it.
struct Probe {
  bool Open() {
    jack_set_error_function([](const char*) {});  // retried while the server starts
    client = jack_client_open("probe", JackNoStartServer, nullptr);
    if (!client) return false;
    midi = jack_port_register(client, "midi_out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    in[0] = jack_port_register(client, "in_l", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    in[1] = jack_port_register(client, "in_r", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    jack_set_process_callback(client, &Probe::Process, this);
    return jack_activate(client) == 0;
  }
  ~Probe() {
    if (client) jack_client_close(client);
  }
  void Send(uint8_t status, uint8_t data1, uint8_t data2) {
    message = status | data1 << 8 | data2 << 16;
    while (message.load() != 0) std::this_thread::sleep_for(1ms);
  }
  static int Process(jack_nframes_t frames, void* self) {
    auto* probe = static_cast<Probe*>(self);
    void* buffer = jack_port_get_buffer(probe->midi, frames);
    jack_midi_clear_buffer(buffer);
    if (const uint32_t m = probe->message.load()) {
      const jack_midi_data_t bytes[3] = {static_cast<jack_midi_data_t>(m),
                                         static_cast<jack_midi_data_t>(m >> 8),
                                         static_cast<jack_midi_data_t>(m >> 16)};
      jack_midi_event_write(buffer, 0, bytes, (bytes[0] & 0xF0) == 0xC0 ? 2 : 3);
      probe->message = 0;
    }
    for (int c = 0; c < 2; ++c) {
      const auto* samples = static_cast<const float*>(jack_port_get_buffer(probe->in[c], frames));
      float peak = probe->peak[c];
      for (jack_nframes_t i = 0; i < frames; ++i) peak = std::max(peak, std::fabs(samples[i]));
      probe->peak[c] = peak;
    }
    return 0;
  }
  jack_client_t* client = nullptr;
  jack_port_t* midi = nullptr;
  jack_port_t* in[2] = {nullptr, nullptr};
  std::atomic<uint32_t> message{0};
  std::atomic<float> peak[2] = {0.0f, 0.0f};
};

TEST(Standalone, WithoutAServerSaysSoAndFails) {
  setenv("JACK_DEFAULT_SERVER", ("vellicor-absent-" + std::to_string(getpid())).c_str(), 1);
  Child app({VELLICOR_STANDALONE, "--no-editor"});
  EXPECT_EQ(app.Wait(20s), 1);
  EXPECT_NE(app.Output().find("vellicor: no JACK server is running"), std::string::npos);
}

TEST(Standalone, PlaysANoteFromJackMidiOnItsOutputs) {
  const std::string server = "vellicor-dummy-" + std::to_string(getpid());
  setenv("JACK_DEFAULT_SERVER", server.c_str(), 1);
  Child jackd({"jackd", "--no-realtime", "-n", server, "-d", "dummy", "-r", "48000", "-p", "256"});
  Probe probe;
  bool opened = false;
  for (int i = 0; i < 100 && !(opened = probe.Open()); ++i) std::this_thread::sleep_for(50ms);
  ASSERT_TRUE(opened) << "the dummy JACK server did not start";

  std::vector<std::string> args = {
      VELLICOR_STANDALONE, "--no-connect", "--name", "synth", "--program", "2"};
  if (!std::getenv("DISPLAY")) args.push_back("--no-editor");
  Child app(args);
  for (int i = 0; i < 500 && !jack_port_by_name(probe.client, "synth:out_r"); ++i)
    std::this_thread::sleep_for(20ms);
  for (const char* ports :
       {"probe:midi_out synth:midi_in", "synth:out_l probe:in_l", "synth:out_r probe:in_r"}) {
    ASSERT_EQ(std::system((std::string("jack_connect ") + ports).c_str()), 0) << ports;
  }
  std::this_thread::sleep_for(300ms);
  EXPECT_LT(probe.peak[0], 1e-9f) << "sound before any note";  // the denormal guard only

  probe.Send(0xC0, 5, 0);
  probe.Send(0x90, 60, 100);
  std::this_thread::sleep_for(600ms);
  EXPECT_GT(probe.peak[0], 0.01f);
  EXPECT_GT(probe.peak[1], 0.01f);

  kill(app.pid, SIGTERM);
  EXPECT_EQ(app.Wait(10s), 0);
  const std::string output = app.Output();
  EXPECT_NE(output.find("program 2 \""), std::string::npos) << output;
  EXPECT_NE(output.find("program 5 \""), std::string::npos) << output;
  kill(jackd.pid, SIGTERM);
  jackd.Wait(10s);
}

// The output of a command line, "" when it fails.
std::string Output(const std::string& command) {
  std::string text;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
    if (pclose(pipe) != 0) text.clear();
  }
  return text;
}

// Its window opens at the size the user chose for the editor (150 %: 953 x 768), keeps to it
// (the window manager is told its least and greatest size) and is named for a task bar.
TEST(Standalone, ItsWindowHasTheUsersSizeKeepsItAndIsNamed) {
  if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
  const std::string server = "vellicor-window-" + std::to_string(getpid());
  setenv("JACK_DEFAULT_SERVER", server.c_str(), 1);
  Child jackd({"jackd", "--no-realtime", "-n", server, "-d", "dummy", "-r", "48000", "-p", "256"});
  const std::string settings = "/tmp/vellicor-standalone-settings-" + std::to_string(getpid());
  ASSERT_EQ(std::system(("mkdir -p " + settings + "/vellicor && echo editor-scale=150 > " +
                         settings + "/vellicor/settings")
                            .c_str()),
            0);
  setenv("XDG_CONFIG_HOME", settings.c_str(), 1);
  std::this_thread::sleep_for(500ms);  // the server starting
  Child app({VELLICOR_STANDALONE, "--no-connect", "--name", "windowed"});
  std::string window;
  for (int i = 0; i < 250 && window.empty(); ++i) {
    window = Output("xdotool search --classname '^vellicor$' 2>/dev/null | head -1");
    if (window.empty()) std::this_thread::sleep_for(20ms);
  }
  unsetenv("XDG_CONFIG_HOME");
  ASSERT_FALSE(window.empty()) << "no window of class vellicor";
  window.pop_back();  // the newline
  const std::string info = Output("xwininfo -id " + window);
  EXPECT_NE(info.find("Width: 953"), std::string::npos) << info;
  EXPECT_NE(info.find("Height: 768"), std::string::npos) << info;
  const std::string properties =
      Output("xprop -id " + window + " WM_CLASS _NET_WM_NAME WM_NORMAL_HINTS");
  EXPECT_NE(properties.find("WM_CLASS(STRING) = \"vellicor\", \"Vellicor\""), std::string::npos)
      << properties;
  EXPECT_NE(properties.find("_NET_WM_NAME(UTF8_STRING) = \"Vellicor\""), std::string::npos)
      << properties;
  EXPECT_NE(properties.find("minimum size: 953 by 768"), std::string::npos) << properties;
  EXPECT_NE(properties.find("maximum size: 953 by 768"), std::string::npos) << properties;
  kill(app.pid, SIGTERM);
  EXPECT_EQ(app.Wait(10s), 0);
  kill(jackd.pid, SIGTERM);
  jackd.Wait(10s);
  std::system(("rm -rf " + settings).c_str());
}

}  // namespace
