// The synthesizer as a JACK client: MIDI in, stereo out, the synth core rendering in JACK's
// process callback. Program changes (from the command line, the window or MIDI) are carried out on
// the main thread, as a host selects programs on its user-interface thread.
#pragma once

#include <jack/jack.h>

#include <atomic>
#include <memory>
#include <string>

#include "core/synth.h"

namespace vellicor::standalone {

class JackSynth {
 public:
  // Connects to the running JACK server (never starts one). Null with `error` set when there is
  // no server or the client cannot be made.
  static std::unique_ptr<JackSynth> Open(const std::string& client_name, std::string* error);
  ~JackSynth();

  // Starts processing; with `connect_outputs`, also connects the outputs to the first two
  // physical playback ports, if there are any.
  bool Start(bool connect_outputs, std::string* error);

  Synth& synth() { return *synth_; }
  const char* client_name() const;

  // A program change received as MIDI, waiting for the main thread: -1 when none.
  int TakeProgramRequest() { return program_request_.exchange(-1); }
  // Set when the server went away.
  bool server_gone() const { return server_gone_.load(); }

 private:
  JackSynth() = default;
  static int Process(jack_nframes_t frames, void* self);
  static void Shutdown(void* self);
  void Render(jack_nframes_t frames);

  jack_client_t* client_ = nullptr;
  jack_port_t* midi_in_ = nullptr;
  jack_port_t* out_[2] = {nullptr, nullptr};
  std::unique_ptr<Synth> synth_;
  std::atomic<int> program_request_{-1};
  std::atomic<bool> server_gone_{false};
};

}  // namespace vellicor::standalone
