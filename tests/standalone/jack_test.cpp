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
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

// A child process with its output (stdout and stderr) collected through a pipe.
class Child {
 public:
  explicit Child(std::vector<std::string> args) {
    int fds[2];
    if (pipe(fds) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(fds[1], 1);
      dup2(fds[1], 2);
      close(fds[0]);
      std::vector<char*> argv;
      for (auto& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      execvp(argv[0], argv.data());
      _exit(127);
    }
    close(fds[1]);
    out_ = fds[0];
  }
  ~Child() {
    if (pid_ > 0 && !exited_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) close(out_);
  }
  void Signal(int signal) const { kill(pid_, signal); }
  // The exit status, or -1 when it has not ended within the time or did not exit normally.
  int Wait(std::chrono::milliseconds limit) {
    for (auto waited = 0ms; waited < limit; waited += 20ms) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        exited_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      std::this_thread::sleep_for(20ms);
    }
    return -1;
  }
  // Everything written so far (call after it ended).
  std::string Output() {
    std::string text;
    char buffer[4096];
    ssize_t n;
    while ((n = read(out_, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(n));
    return text;
  }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  bool exited_ = false;
};

// Our own client on the server: a MIDI output to play the synthesizer and two audio inputs
// to measure it.
class Probe {
 public:
  bool Open() {
    jack_set_error_function([](const char*) {});  // retried while the server starts
    client_ = jack_client_open("probe", JackNoStartServer, nullptr);
    if (!client_) return false;
    midi_ = jack_port_register(client_, "midi_out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    in_[0] = jack_port_register(client_, "in_l", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    in_[1] = jack_port_register(client_, "in_r", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    jack_set_process_callback(client_, &Probe::Process, this);
    return midi_ && in_[0] && in_[1] && jack_activate(client_) == 0;
  }
  ~Probe() {
    if (client_) jack_client_close(client_);
  }
  void Send(uint8_t status, uint8_t data1, uint8_t data2) {
    message_ = status | data1 << 8 | data2 << 16;
    while (message_.load() != 0) std::this_thread::sleep_for(1ms);
  }
  void ResetPeaks() {
    for (auto& peak : peak_) peak = 0.0f;
  }
  float peak(int channel) const { return peak_[channel]; }
  bool WaitForPort(const std::string& name) const {
    for (int i = 0; i < 500; ++i) {
      if (jack_port_by_name(client_, name.c_str())) return true;
      std::this_thread::sleep_for(20ms);
    }
    return false;
  }

 private:
  static int Process(jack_nframes_t frames, void* self) {
    auto* probe = static_cast<Probe*>(self);
    void* midi = jack_port_get_buffer(probe->midi_, frames);
    jack_midi_clear_buffer(midi);
    if (const uint32_t m = probe->message_.load()) {
      const jack_midi_data_t bytes[3] = {static_cast<jack_midi_data_t>(m),
                                         static_cast<jack_midi_data_t>(m >> 8),
                                         static_cast<jack_midi_data_t>(m >> 16)};
      jack_midi_event_write(midi, 0, bytes, (bytes[0] & 0xF0) == 0xC0 ? 2 : 3);
      probe->message_ = 0;
    }
    for (int c = 0; c < 2; ++c) {
      const auto* in = static_cast<const float*>(jack_port_get_buffer(probe->in_[c], frames));
      float peak = probe->peak_[c];
      for (jack_nframes_t i = 0; i < frames; ++i) peak = std::max(peak, std::fabs(in[i]));
      probe->peak_[c] = peak;
    }
    return 0;
  }

  jack_client_t* client_ = nullptr;
  jack_port_t* midi_ = nullptr;
  jack_port_t* in_[2] = {nullptr, nullptr};
  std::atomic<uint32_t> message_{0};
  std::atomic<float> peak_[2] = {0.0f, 0.0f};
};

std::string ServerName(const char* role) {
  return std::string("vellicor-") + role + "-" + std::to_string(getpid());
}

TEST(Standalone, WithoutAServerSaysSoAndFails) {
  setenv("JACK_DEFAULT_SERVER", ServerName("absent").c_str(), 1);
  Child app({VELLICOR_STANDALONE, "--no-editor"});
  EXPECT_EQ(app.Wait(20s), 1);
  EXPECT_NE(app.Output().find("vellicor: no JACK server is running"), std::string::npos);
}

TEST(Standalone, PlaysANoteFromJackMidiOnItsOutputs) {
  const std::string server = ServerName("dummy");
  setenv("JACK_DEFAULT_SERVER", server.c_str(), 1);
  Child jackd({"jackd", "--no-realtime", "-n", server, "-d", "dummy", "-r", "48000", "-p", "256"});
  Probe probe;
  bool opened = false;
  for (int i = 0; i < 100 && !opened; ++i) {
    opened = probe.Open();
    if (!opened) std::this_thread::sleep_for(50ms);
  }
  ASSERT_TRUE(opened) << "the dummy JACK server did not start: " << jackd.Output();

  std::vector<std::string> args = {
      VELLICOR_STANDALONE, "--no-connect", "--name", "synth", "--program", "2"};
  if (!std::getenv("DISPLAY")) args.push_back("--no-editor");
  Child app(args);
  ASSERT_TRUE(probe.WaitForPort("synth:out_r")) << app.Output();
  for (const auto& [from, to] :
       {std::pair{"probe:midi_out", "synth:midi_in"}, std::pair{"synth:out_l", "probe:in_l"},
        std::pair{"synth:out_r", "probe:in_r"}}) {
    ASSERT_EQ(std::system(("jack_connect " + std::string(from) + " " + to).c_str()), 0);
  }
  std::this_thread::sleep_for(300ms);
  EXPECT_LT(probe.peak(0), 1e-9f) << "sound before any note";  // the denormal guard only

  probe.Send(0xC0, 5, 0);
  probe.Send(0x90, 60, 100);
  std::this_thread::sleep_for(600ms);
  EXPECT_GT(probe.peak(0), 0.01f);
  EXPECT_GT(probe.peak(1), 0.01f);
  probe.Send(0x80, 60, 0);

  app.Signal(SIGTERM);
  EXPECT_EQ(app.Wait(10s), 0);
  const std::string output = app.Output();
  EXPECT_NE(output.find("program 2 \""), std::string::npos) << output;
  EXPECT_NE(output.find("program 5 \""), std::string::npos) << output;
  jackd.Signal(SIGTERM);
  jackd.Wait(10s);
}

}  // namespace
