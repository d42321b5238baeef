#include "engine/fourier.h"

#include <utility>

#include "engine/portable_math.h"

namespace vellicor {

FourierTransform::FourierTransform(size_t largest)
    : largest_(largest), cosine_(largest / 2), sine_(largest / 2) {
  for (size_t k = 0; k < largest / 2; ++k) {
    pmath::SinCos(6.283185307179586477 * static_cast<double>(k) / static_cast<double>(largest),
                  &sine_[k], &cosine_[k]);
  }
}

void FourierTransform::Run(std::vector<double>& re, std::vector<double>& im, int sign) const {
  const size_t n = re.size();
  for (size_t i = 1, j = 0; i < n; ++i) {
    size_t bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) {
      std::swap(re[i], re[j]);
      std::swap(im[i], im[j]);
    }
  }
  // The twiddles of `largest_` points, strided.
  for (size_t half = 1; half < n; half <<= 1) {
    const size_t stride = largest_ / (2 * half);
    for (size_t start = 0; start < n; start += 2 * half) {
      for (size_t k = 0; k < half; ++k) {
        const double wr = cosine_[k * stride];
        const double wi = sign * sine_[k * stride];
        const size_t a = start + k, b = a + half;
        const double xr = re[b] * wr - im[b] * wi;
        const double xi = re[b] * wi + im[b] * wr;
        re[b] = re[a] - xr;
        im[b] = im[a] - xi;
        re[a] += xr;
        im[a] += xi;
      }
    }
  }
}

}  // namespace vellicor
