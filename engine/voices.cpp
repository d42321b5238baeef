// MIDI messages and voice allocation: note-on and note-off per voice mode, controllers with the
// learnt controller map, pitch bend.
#include "engine/engine.h"

namespace vellicor {

void Engine::HandleMidi(uint8_t status, uint8_t data1, uint8_t data2) {
  ApplyRequests();
  // MIDI data bytes carry seven bits; a stray high bit must not become controller 255 (the
  // map's "none") or a velocity above 1.
  const int d1 = data1 & 127;
  const int d2 = data2 & 127;
  switch (status & 0xF0) {
    case 0x90:
      if (d2 > 0) {
        NoteOn(d1, static_cast<float>(d2) / 127.0f);
      } else {
        NoteOff(d1);
      }
      break;
    case 0x80:
      NoteOff(d1);
      break;
    case 0xB0:
      Controller(d1, static_cast<float>(d2) / 127.0f);
      break;
    case 0xE0:
      pitch_bend_ = (static_cast<float>(d2) - 64.0f) / 64.0f * bend_range_;
      if (host_) host_->RefreshEditor();
      break;
    default:
      break;
  }
}

void Engine::StartVoice(int index, bool fade_in) {
  Voice& voice = voices_[index];
  voice.lfo.StartNote(voices_[previous_voice_].lfo, lfo_settings_.restart != 0);
  voice.phase[0] = 0;
  voice.phase[1] = 0;
  voice.ClearBand();
  voice.main_gain = 0.0f;
  voice.filter.ClearCombStart();
  for (float& position : voice.env_position) position = 0.0f;
  if (fade_in) voice.fade_in = 500.0f;
}

void Engine::ClearHeldKeys() {
  for (uint8_t& n : held_keys_) n = 0;
  held_count_ = 0;
  arp_started_ = 0;
}

void Engine::NoteOn(int note, float velocity) {
  if (held_keys_[note] < 255) {
    ++held_keys_[note];
    ++held_count_;
  }
  const int count = voice_count_;
  switch (voice_mode_.load()) {
    case kPoly:
    case kMono:
    case kLegato: {
      previous_voice_ = current_voice_;
      const int mode = voice_mode_;
      if (mode == kMono || mode == kLegato) voices_[current_voice_].gate = false;
      current_voice_ = (current_voice_ + 1) % count;
      if (mode == kPoly) {
        // The first free voice after the previous one; with all held, the oldest is taken.
        for (int i = 0; i < count; ++i) {
          if (voices_[current_voice_].gate) current_voice_ = (current_voice_ + 1) % count;
        }
      }
      if (mode != kLegato) {
        StartVoice(current_voice_, true);
      } else if (legato_state_ == 0) {
        StartVoice(current_voice_, false);
        first_note_ = note;
        legato_state_ = 1;
      } else {
        legato_state_ = 2;  // an overlapping note: the voice carries on where it was
      }
      Voice& voice = voices_[current_voice_];
      voice.velocity = velocity;
      last_note_ = note;
      voice.current_pitch = voices_[previous_voice_].target_pitch;  // glide from the last note
      voice.target_pitch = static_cast<float>(note);
      voice.note = note;
      voice.gate = true;
      break;
    }
    default:  // kArp: the clock in the render loop starts the voices
      arp_.NoteOn(note);
      for (int i = 0; i < kVoiceCount; ++i) voices_[i].velocity = velocity;
      break;
  }
}

void Engine::NoteOff(int note) {
  if (held_keys_[note] > 0) {
    --held_keys_[note];
    --held_count_;
  }
  Voice& current = voices_[current_voice_];
  switch (voice_mode_.load()) {
    case kPoly:
      for (int i = 0; i < voice_count_; ++i) {
        if (voices_[i].note == note) voices_[i].gate = false;
      }
      break;
    case kMono:
      if (current.note == note) current.gate = false;
      break;
    case kLegato:
      if (legato_state_ >= 2) {
        if (current.note == note) {
          current.target_pitch = static_cast<float>(first_note_);  // back to the phrase's note
          legato_state_ = 1;
        }
      } else {
        current.gate = false;
        legato_state_ = 0;
      }
      if (current.note == first_note_) {
        current.target_pitch = static_cast<float>(last_note_);
        legato_state_ = 1;
      }
      // The rules above can leave the current voice gated with every key up (a phrase whose
      // current voice does not carry the first note ends in state 1); the phrase ends with the
      // last key.
      if (held_count_ == 0) {
        current.gate = false;
        legato_state_ = 0;
      }
      break;
    default:  // kArp
      arp_.NoteOff(note, *this);
      break;
  }
}

// ArpVoices

void Engine::ArpStep(float target_pitch, int note) {
  Voice& previous = voices_[current_voice_];
  previous.current_pitch = previous.target_pitch;
  previous.gate = false;
  current_voice_ = (current_voice_ + 1) % kVoiceCount;
  arp_started_ = static_cast<uint8_t>(arp_started_ | (1u << current_voice_));
  Voice& voice = voices_[current_voice_];
  voice.gate = true;
  voice.target_pitch = target_pitch;
  voice.note = note;
  // Restarted, but its current pitch stays: with glide the step slides from its last note.
  voice.phase[0] = 0;
  voice.phase[1] = 0;
  voice.ClearBand();
  voice.fade_in = 500.0f;
  voice.lfo.StartNote(previous.lfo, lfo_settings_.restart != 0);
  for (float& position : voice.env_position) position = 0.0f;
}

void Engine::ArpGateEnd() {
  voices_[current_voice_].gate = false;
}

void Engine::ArpReleaseVoice(int voice) {
  if (voice >= 0 && voice < kVoiceCount) voices_[voice].gate = false;
}

void Engine::ArpStopped() {
  // Every key is up: whatever the clock last started finishes its release.
  for (int i = 0; i < kVoiceCount; ++i) {
    if (arp_started_ & (1u << i)) voices_[i].gate = false;
  }
  arp_started_ = 0;
  current_voice_ = 0;
}

void Engine::Controller(int number, float value) {
  if (number == 126) {
    for (int i = 0; i < kVoiceCount; ++i) voices_[i].gate = false;
    ClearHeldKeys();
    arp_.Stop(*this);
    if (host_) host_->RefreshEditor();
    return;
  }
  last_controller_ = number;
  last_controller_value_ = value;
  switch (number) {
    case 1:
    case 2:
    case 3:
      controller_scale_[number - 1] = value;
      break;
    case 4:
      for (Voice& voice : voices_) {
        voice.lfo.ResetPhases();
        for (auto& position : voice.env_position) position = 0.0f;
      }
      break;
    case 10:
      pan_offset_ = 2.0f * value - 1.0f;
      break;
    default:
      if (patch_[param::kLearnCommand] == param::kLearnRequest) {
        // The mirror only: the program keeps the value that armed it.
        patch_[param::kLearnCommand] = 0.0f;
        const int slot = IntPart(255.0f * patch_[param::kLearnTarget] + 0.5f);
        if (slot >= 0 && slot < kControllerMapSize) {
          controller_map_[slot] = number;
          controller_map_changes_.fetch_add(1, std::memory_order_release);
        }
      }
      break;
  }
  if (host_) {
    for (int index = 0; index < kControllerMapSize; ++index) {
      if (controller_map_[index] == number) host_->SetParameterFromEngine(index, value);
    }
    host_->RefreshEditor();
  }
}

}  // namespace vellicor
