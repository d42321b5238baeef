// The output's soft clipper without fold-back, for the alias-free mode. The clipper bends the
// wave: 1.5 x less a part x |x| that holds the sums of the input's frequencies and more, up to
// twice its band, and everything above half the sample rate would fold back. Only that bent
// part is made at twice the rate (the input interpolated), filtered below half the base rate
// and taken back; the straight part 1.5 x passes untouched, delayed to meet it. Both filters
// pass up to 0.38 of the base rate and stop from 0.5 on (75 dB). Latency: kBandClipDelay frames.
#pragma once

namespace vellicor {

constexpr int kBandClipTaps = 81;                        // each filter's, at twice the rate
constexpr int kBandClipDelay = (kBandClipTaps - 1) / 2;  // frames at the base rate

class BandClipper {
 public:
  void Reset();
  // One frame: the clipped input kBandClipDelay frames ago.
  float Run(float x);

 private:
  static constexpr int kInputRing = 64;  // base-rate inputs kept (at least 41)
  static constexpr int kBentRing = 128;  // twice-rate bent parts kept (at least 81)
  float input_[2 * kInputRing] = {};     // each value twice, kInputRing apart
  float bent_[2 * kBentRing] = {};
  int input_at_ = 0;
  int bent_at_ = 0;
};

}  // namespace vellicor
