#include "standalone/jack_synth.h"

#include <jack/midiport.h>

#include <cstdio>

namespace vellicor::standalone {

namespace {

void Quiet(const char*) {}

void PrintJackError(const char* message) {
  std::fprintf(stderr, "vellicor: JACK: %s\n", message);
}

}  // namespace

std::unique_ptr<JackSynth> JackSynth::Open(const std::string& client_name, std::string* error) {
  std::unique_ptr<JackSynth> synth(new JackSynth());
  jack_status_t status{};
  // A missing server is told in one clear line below, not in the library's several.
  jack_set_error_function(Quiet);
  synth->client_ = jack_client_open(client_name.c_str(), JackNoStartServer, &status);
  jack_set_error_function(PrintJackError);
  if (!synth->client_) {
    *error = (status & JackServerFailed)
                 ? "no JACK server is running (start one first, for example: jackd -d alsa)"
                 : "cannot connect to the JACK server";
    return nullptr;
  }
  const double rate = jack_get_sample_rate(synth->client_);
  synth->synth_ = std::make_unique<Synth>();
  // A host's order: the rate, then the program selected again at it.
  if (!synth->synth_->SetSampleRate(rate)) {
    *error = "cannot run at the server's sample rate of " + std::to_string(rate) + " Hz";
    return nullptr;
  }
  synth->synth_->SelectProgram(synth->synth_->current_program());
  synth->synth_->PrepareToRun();
  synth->midi_in_ =
      jack_port_register(synth->client_, "midi_in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
  synth->out_[0] = jack_port_register(synth->client_, "out_l", JACK_DEFAULT_AUDIO_TYPE,
                                      JackPortIsOutput | JackPortIsTerminal, 0);
  synth->out_[1] = jack_port_register(synth->client_, "out_r", JACK_DEFAULT_AUDIO_TYPE,
                                      JackPortIsOutput | JackPortIsTerminal, 0);
  if (!synth->midi_in_ || !synth->out_[0] || !synth->out_[1]) {
    *error = "cannot register the JACK ports";
    return nullptr;
  }
  jack_set_process_callback(synth->client_, &JackSynth::Process, synth.get());
  jack_on_shutdown(synth->client_, &JackSynth::Shutdown, synth.get());
  return synth;
}

JackSynth::~JackSynth() {
  if (client_) {
    jack_deactivate(client_);
    jack_client_close(client_);
  }
}

const char* JackSynth::client_name() const {
  return jack_get_client_name(client_);
}

bool JackSynth::Start(bool connect_outputs, std::string* error) {
  if (jack_activate(client_) != 0) {
    *error = "cannot activate the JACK client";
    return false;
  }
  if (!connect_outputs) return true;
  const char** playback = jack_get_ports(client_, nullptr, JACK_DEFAULT_AUDIO_TYPE,
                                         JackPortIsPhysical | JackPortIsInput);
  if (!playback) return true;
  for (int i = 0; i < 2 && playback[i]; ++i) {
    jack_connect(client_, jack_port_name(out_[i]), playback[i]);
  }
  jack_free(playback);
  return true;
}

int JackSynth::Process(jack_nframes_t frames, void* self) {
  static_cast<JackSynth*>(self)->Render(frames);
  return 0;
}

void JackSynth::Shutdown(void* self) {
  static_cast<JackSynth*>(self)->server_gone_ = true;
}

void JackSynth::Render(jack_nframes_t frames) {
  auto* left = static_cast<float*>(jack_port_get_buffer(out_[0], frames));
  auto* right = static_cast<float*>(jack_port_get_buffer(out_[1], frames));
  void* midi = jack_port_get_buffer(midi_in_, frames);
  const uint32_t count = jack_midi_get_event_count(midi);
  jack_nframes_t done = 0;
  for (uint32_t i = 0; i < count; ++i) {
    jack_midi_event_t event;
    if (jack_midi_event_get(&event, midi, i) != 0 || event.size == 0) continue;
    const jack_nframes_t at = event.time < done ? done : event.time > frames ? frames : event.time;
    if (at > done)
      synth_->Render(left + done, right + done, static_cast<int32_t>(at - done), false);
    done = at;
    const uint8_t status = event.buffer[0];
    if (status < 0x80 || status >= 0xF0) continue;  // system messages mean nothing here
    if ((status & 0xF0) == 0xC0) {
      // Selecting a program replays 1,600 values: far too heavy for this thread.
      if (event.size > 1) program_request_ = event.buffer[1] & 0x7F;
      continue;
    }
    synth_->Midi(event.buffer, event.size > 3 ? 3 : static_cast<int>(event.size));
  }
  if (frames > done) {
    synth_->Render(left + done, right + done, static_cast<int32_t>(frames - done), false);
  }
}

}  // namespace vellicor::standalone
