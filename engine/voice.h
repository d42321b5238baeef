// The per-voice engine record. Fields are grouped by the unit that owns them: note and level
// (MIDI and the render loop), oscillators, envelopes, and the LFO and filter state kept by
// their own units.
#pragma once

#include <cstdint>

#include "engine/band_limited.h"
#include "engine/envelope.h"
#include "engine/filter.h"
#include "engine/lfo.h"
#include "engine/portable_math.h"

namespace vellicor {

constexpr int kVoiceCount = 6;     // voices in use
constexpr int kVoiceStorage = 16;  // records kept

struct Voice {
  // Note and level.
  bool gate = false;
  float velocity = 0.0f;
  int32_t note = 0;
  float target_pitch = 0.0f;
  float current_pitch = 0.0f;
  float tracking_pitch = 0.0f;  // current pitch after the last glide; tuned filters, key tracking
  float fade_in = 0.0f;         // 500 at a note start, counts down per sample
  float release = 0.0f;         // 1 while gated, then falls by the release step
  float main_gain = 0.0f;
  float volume_lfo_gain = 1.0f;

  // Oscillators.
  uint16_t phase[2] = {};
  int32_t increment[2] = {};
  pmath::Exp2Memo pitch_power[2];  // for the increments
  float fm_depth[2] = {};
  // Latest oscillator 1 and 2 samples of the FM routine; slot 2 stays 0 and is what an FM
  // source naming neither oscillator reads.
  float fm_sample[3] = {};
  bool fm_active = false;
  float pitch_mod[2] = {};
  float osc_lfo_gain[2] = {1.0f, 1.0f};
  // Alias-free oscillators: the band-limited level each reads (band_to, its level band_level;
  // -1: none chosen yet) and, for a tick after the level changed at band_fade_start, the one it
  // fades out of (band_from), chosen at the control tick (null: silence); their outputs wait
  // kCorrectionHalf frames here (oldest first), so that a correction of a jump or a corner
  // reaches the frames before it; the unwarped read positions of the last frame.
  const BandTable* band_from[2] = {};
  const BandTable* band_to[2] = {};
  int band_level[2] = {-1, -1};
  uint32_t band_fade_start[2] = {};
  // The samples waiting, and the corrections owed, for the frames read from band_fix_at on,
  // one frame after another.
  float band_line[2][kCorrectionHalf] = {};
  float band_fix[2][kCorrectionTaps] = {};
  uint32_t band_fix_at = 0;
  float band_previous[2] = {};
  float band_restarted = 0.0f;  // a mask: oscillator 2 just restarted by sync
  // A note starting on this voice owes nothing to the last one.
  void ClearBand() {
    for (auto& line : band_line) {
      for (float& frame : line) frame = 0.0f;
    }
    for (auto& line : band_fix) {
      for (float& frame : line) frame = 0.0f;
    }
    band_previous[0] = band_previous[1] = 0.0f;
    band_restarted = 0.0f;
    band_level[0] = band_level[1] = -1;
  }

  // Envelopes: positions in samples, outputs; slot 8 is "none" and always 1.
  float env_position[kEnvelopeOutputs] = {};
  float env_output[kEnvelopeOutputs] = {0, 0, 0, 0, 0, 0, 0, 0, 1.0f};
  float env_key_factor = 1.0f;

  // LFO phases, held values, depths and outputs, and the filter with its comb rings.
  LfoVoice lfo;
  VoiceFilter filter;
};

}  // namespace vellicor
