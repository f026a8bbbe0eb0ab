// The least the exact separable blur spends on a frame: the weighted sums
// of both passes alone, with no conversion of pixels to floats and back
// and no black or flat regions left out.
#include "blur_floor.h"

#include "row_sums.h"
#include "weighted_sum.h"

#include <cmath>
#include <vector>

void blur_floor(int width, int height, int taps) {
  using seqfx_common::kRowSums;
  const int n = taps / 2, len = 3 * width;
  std::vector<float> w(taps), pad((size_t)len + 3 * taps + 1);
  float total = 0.0f;
  for (int k = 0; k < taps; ++k)
    total += w[k] = std::exp(-(float)((k - n) * (k - n)) / (2.0f * (float)n + 1.0f));
  for (float &v : w) v /= total;
  for (size_t i = 0; i < pad.size(); ++i) pad[i] = (float)(i % 251);
  // Horizontal sums into a ring of rows, vertical sums of kRowSums rows
  // at a time from it.
  const int ring = taps + kRowSums;
  std::vector<float> inter((size_t)ring * len), out((size_t)kRowSums * len);
  std::vector<const float *> across(taps), column(taps + kRowSums - 1);
  for (int k = 0; k < taps; ++k) across[k] = pad.data() + 3 * k;
  float *outs[kRowSums];
  for (int s = 0; s < kRowSums; ++s) outs[s] = out.data() + (size_t)s * len;
  auto slot = [&](int r) { return inter.data() + (size_t)(r % ring) * len; };
  int done = 0;
  for (int y = 0; y < height; y += kRowSums) {
    for (; done < height && done <= y + kRowSums - 1 + n; ++done)
      seqfx_common::weighted_sum(across.data(), w.data(), taps, 0, len, slot(done));
    for (int i = 0; i < taps + kRowSums - 1; ++i) {
      const int r = y - n + i;
      column[i] = slot(r < 0 ? 0 : (r >= height ? height - 1 : r));
    }
    seqfx_common::row_sums(column.data(), w.data(), taps, 0, len, outs);
  }
  volatile float sink = out[0];
  (void)sink;
}
