// A radix-2 fast Fourier transform in doubles, for work done once (the band-limited waves) or
// offline (the note analyser), never in the audio path.
#pragma once

#include <cstddef>
#include <vector>

namespace vellicor {

class FourierTransform {
 public:
  // Transforms of up to `largest` points (a power of two). The twiddles come from the portable
  // sine, so tables built from a transform are the same on every target.
  explicit FourierTransform(size_t largest);

  // In place, over re.size() complex values (a power of two, at most `largest`): sign -1
  // forward, +1 inverse, unscaled.
  void Run(std::vector<double>& re, std::vector<double>& im, int sign) const;

 private:
  size_t largest_;
  std::vector<double> cosine_, sine_;
};

}  // namespace vellicor
