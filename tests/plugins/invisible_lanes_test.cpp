// invisible's column passes and difference mask at every vector width the
// processor runs, against plain loops: row lengths that leave every count
// of trailing columns, rows added and taken away together or alone, sums
// that wrap around 2^32, and tolerances at and beside the differences.

#include "difference_mask.h"
#include "lanes.h"
#include "window_sums.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

namespace {

using invisible::Columns;

// The widths this processor runs, each in turn; the widest again after.
template <typename F>
void at_every_width(F f) {
  for (int n : {4, 8, 16}) {
    invisible::cap_lanes(n);
    if (invisible::lanes() == n) f(n);
  }
  invisible::cap_lanes(0);
}

std::vector<int> row_lengths() {
  std::vector<int> w;
  for (int i = 1; i <= 40; ++i) w.push_back(i);
  w.push_back(67);
  w.push_back(1923);
  return w;
}

TEST(InvisibleLanes, RowChangesAndPrefixSumsMatchPlainLoops) {
  std::mt19937 rng(9);
  at_every_width([&](int lanes) {
    for (int w : row_lengths()) {
      Columns c;
      ASSERT_TRUE(c.allocate(w));
      std::vector<uint32_t> count(w), sum(4 * (size_t)w);
      // Start near the top of the range, so that the sums wrap.
      for (int x = 0; x < w; ++x) c.count[x] = count[x] = rng() % 50;
      for (int x = 0; x < 4 * w; ++x) c.sum[x] = sum[x] = 0xFFFFFF00u + rng() % 512;
      for (int step = 0; step < 4; ++step) {
        std::vector<unsigned char> mi(w), mo(w), pi(4 * (size_t)w), po(4 * (size_t)w);
        for (auto &m : mi) m = rng() & 1;
        for (auto &m : mo) m = rng() & 1;
        for (auto &p : pi) p = (unsigned char)rng();
        for (auto &p : po) p = (unsigned char)rng();
        const bool in = step != 1, out = step != 2, sums = step != 3;
        c.change_rows(in ? mi.data() : nullptr, in ? pi.data() : nullptr, out ? mo.data() : nullptr,
                      out ? po.data() : nullptr, sums);
        for (int x = 0; x < w; ++x) count[x] += (in ? mi[x] : 0) - (uint32_t)(out ? mo[x] : 0);
        if (sums)
          for (int x = 0; x < 4 * w; ++x) sum[x] += (in ? pi[x] : 0) - (uint32_t)(out ? po[x] : 0);
        for (int x = 0; x < w; ++x) ASSERT_EQ(c.count[x], count[x]) << lanes << " lanes, width " << w;
        for (int x = 0; x < 4 * w; ++x) ASSERT_EQ(c.sum[x], sum[x]) << lanes << " lanes, width " << w;
      }
      c.build_count_prefix();
      c.build_sum_prefix();
      uint32_t run = 0, runs[4] = {};
      for (int x = 0; x <= w; ++x) {
        ASSERT_EQ(c.count_prefix[x], run) << lanes << " lanes, width " << w << " column " << x;
        for (int k = 0; k < 4; ++k) ASSERT_EQ(c.sum_prefix[4 * x + k], runs[k]) << lanes << " lanes, width " << w;
        if (x < w) {
          run += count[x];
          for (int k = 0; k < 4; ++k) runs[k] += sum[4 * x + k];
        }
      }
    }
  });
}

// Columns holding all their rows or one short, so that whole windows and
// windows with a gap both occur; the flags are written for [x0, x1) only.
TEST(InvisibleLanes, BorderFlagsMatchAPlainLoop) {
  std::mt19937 rng(4);
  at_every_width([&](int lanes) {
    for (int w : row_lengths())
      for (int r = 1; 2 * r < w; r += 1 + r / 3) {
        const uint32_t rows = 3;
        Columns c;
        ASSERT_TRUE(c.allocate(w));
        for (int x = 0; x < w; ++x) c.count[x] = rng() % 8 ? rows : rows - 1;
        c.build_count_prefix();
        std::vector<unsigned char> mask(w), flag(w, 9);
        for (auto &m : mask) m = rng() % 4 != 0;
        const int x0 = r + 1, x1 = w - r;
        invisible::border_flags(c, mask.data(), r, 2 * r * rows, x0, x1, flag.data());
        for (int x = 0; x < w; ++x) {
          int want = 9;
          if (x >= x0 && x < x1) want = mask[x] && c.window_count(x - r, x + r) < 2 * r * rows;
          ASSERT_EQ(flag[x], want) << lanes << " lanes, width " << w << " radius " << r << " column " << x;
        }
      }
  });
}

TEST(InvisibleLanes, DifferenceMaskMatchesAPlainLoop) {
  std::mt19937 rng(2);
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float tolerances[] = {0.0f, 10.0f, 10.5f, -1.0f, 764.0f, 765.0f, nan, 1e30f};
  at_every_width([&](int lanes) {
    for (long n : {0L, 1L, 3L, 4L, 7L, 8L, 15L, 16L, 17L, 31L, 33L, 1000L})
      for (float tol : tolerances) {
        std::vector<unsigned char> a(4 * n), b(4 * n), mask(n);
        for (long i = 0; i < 4 * n; ++i) {
          a[i] = (unsigned char)rng();
          // Mostly close to a, now and then far, once in a while at the
          // ends of the byte range.
          const int k = rng() % 4;
          b[i] = k == 0 ? (unsigned char)rng() : k == 1 ? (unsigned char)((rng() & 1) * 255) : (unsigned char)(a[i] + rng() % 9 - 4);
        }
        invisible::difference_mask(a.data(), b.data(), mask.data(), n, tol);
        for (long i = 0; i < n; ++i) {
          int d = 0;
          for (int k = 0; k < 3; ++k) d += std::abs(a[4 * i + k] - b[4 * i + k]);
          ASSERT_EQ(mask[i], (float)d > tol ? 1 : 0) << lanes << " lanes, " << n << " pixels, tolerance " << tol << " pixel " << i;
        }
      }
  });
}

}  // namespace
