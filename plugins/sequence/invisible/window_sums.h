// The running window totals of invisible: per column, the number of
// differing pixels and the byte sums of the first strip over the rows of
// the current window, their prefix sums along the row, and the border test
// over a run of columns whose windows are whole.
#pragma once

#include <cstddef>
#include <cstdint>

namespace invisible {

// Sums are kept modulo 2^32: a window holds at most 4000 x 4000 pixels,
// whose byte sum stays below 2^32, so the difference of two prefix sums is
// exact.
struct Columns {
  int width = 0;
  uint32_t *count = nullptr;         // differing pixels per column
  uint32_t *sum = nullptr;           // 4 byte sums per column
  uint32_t *count_prefix = nullptr;  // width + 1
  uint32_t *sum_prefix = nullptr;    // 4 x (width + 1), 4 bytes per column as in a pixel

  Columns() = default;
  Columns(const Columns &) = delete;
  Columns &operator=(const Columns &) = delete;
  ~Columns();
  bool allocate(int w);

  // Adds the row (mask_in, px_in) and takes away the row (mask_out,
  // px_out); either may be null. The byte sums change only when sums is
  // set.
  void change_rows(const unsigned char *mask_in, const unsigned char *px_in,
                   const unsigned char *mask_out, const unsigned char *px_out, bool sums);
  void build_count_prefix();
  void build_sum_prefix();

  // The window count of columns [lo, hi).
  uint32_t window_count(int lo, int hi) const { return count_prefix[hi] - count_prefix[lo]; }
  // The byte k sum of columns [lo, hi).
  uint32_t window_sum(int k, int lo, int hi) const {
    return sum_prefix[4 * (size_t)hi + k] - sum_prefix[4 * (size_t)lo + k];
  }
};

// flag[x] = 1 for x in [x0, x1) when mask[x] is set and the window of
// columns [x - r, x + r) holds fewer than area differing pixels, else 0;
// every such window must lie inside the row.
void border_flags(const Columns &c, const unsigned char *mask, int r, uint32_t area, int x0,
                  int x1, unsigned char *flag);

}  // namespace invisible
