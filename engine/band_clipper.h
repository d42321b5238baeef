// The output's soft clipper without fold-back, for the alias-free mode. The clipper bends the
// wave: 1.5 x less a bend x |x| / 2 that holds the sums of the input's frequencies and more, up
// to twice its band, and everything above half the sample rate would fold back. Only the bend
// is made at twice the rate (from the input interpolated), filtered below half the base rate
// and taken back; the straight 1.5 x passes untouched, delayed to meet it. The bend is small
// and its top octave matters little, so both filters pass a quarter of the base
// rate and stop from half of it (some 30 dB down: a saw at note 108 still folds back 76 dB
// under its energy), which keeps them short. Latency: kBandClipDelay.
#pragma once

namespace vellicor {

constexpr int kBandClipTaps = 11;                        // each filter's, at twice the rate
constexpr int kBandClipDelay = (kBandClipTaps - 1) / 2;  // frames at the base rate
constexpr int kBandClipBlock = 256;                      // frames at most per call

class BandClipper {
 public:
  // Computes the filters (once per process), off the audio thread.
  static void Prepare();
  void Reset();
  // Clips frames x[0..count) into y, each kBandClipDelay frames late.
  void Run(const float* x, float* y, int count);

 private:
  static constexpr int kHistory = 16;  // frames kept from the last call (at least the delay)
  static constexpr int kLength = kHistory + kBandClipBlock + 4;
  // Inputs, and the bent parts at the frames' own points and half a frame later.
  alignas(16) float input_[kLength] = {};
  alignas(16) float even_[kLength] = {};
  alignas(16) float odd_[kLength] = {};
};

}  // namespace vellicor
