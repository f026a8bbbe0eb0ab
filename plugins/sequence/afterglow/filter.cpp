// afterglow: the two-sided exponential filter.
//
// Each line runs a forward pass (acc = src[j] + d*acc; dst[j] = acc) and a
// backward pass (t = d*acc; dst[j] += t; acc = t + src[j]). The arithmetic of
// every element is fixed; only the order in which independent lines are
// visited is chosen for speed: rows are run four at a time so that their
// dependency chains overlap, and columns are run side by side across a row
// so that memory is read in order.

#include "afterglow.h"

#include <algorithm>

namespace afterglow_impl {

namespace {

void one_line(float d, float *dst, const float *src, int len, std::ptrdiff_t step) {
  float acc = 0.0f;
  for (int j = 0; j < len; ++j) {
    acc = src[j * step] + d * acc;
    dst[j * step] = acc;
  }
  acc = 0.0f;
  for (int j = len - 1; j >= 0; --j) {
    const float t = d * acc;
    dst[j * step] = dst[j * step] + t;
    acc = t + src[j * step];
  }
}

// Four contiguous lines at once.
void four_rows(float d, float *dst, const float *src, int len, std::ptrdiff_t stride) {
  float *d0 = dst, *d1 = dst + stride, *d2 = dst + 2 * stride, *d3 = dst + 3 * stride;
  const float *s0 = src, *s1 = src + stride, *s2 = src + 2 * stride, *s3 = src + 3 * stride;
  float a0 = 0.0f, a1 = 0.0f, a2 = 0.0f, a3 = 0.0f;
  for (int j = 0; j < len; ++j) {
    a0 = s0[j] + d * a0;
    a1 = s1[j] + d * a1;
    a2 = s2[j] + d * a2;
    a3 = s3[j] + d * a3;
    d0[j] = a0;
    d1[j] = a1;
    d2[j] = a2;
    d3[j] = a3;
  }
  a0 = a1 = a2 = a3 = 0.0f;
  for (int j = len - 1; j >= 0; --j) {
    const float t0 = d * a0, t1 = d * a1, t2 = d * a2, t3 = d * a3;
    d0[j] = d0[j] + t0;
    d1[j] = d1[j] + t1;
    d2[j] = d2[j] + t2;
    d3[j] = d3[j] + t3;
    a0 = t0 + s0[j];
    a1 = t1 + s1[j];
    a2 = t2 + s2[j];
    a3 = t3 + s3[j];
  }
}

// One step of the forward and of the backward pass across a row of
// side-by-side lines.
void forward_across(float d, float *__restrict acc, const float *__restrict s,
                    float *__restrict o, int n) {
  for (int c = 0; c < n; ++c) {
    acc[c] = s[c] + d * acc[c];
    o[c] = acc[c];
  }
}

void backward_across(float d, float *__restrict acc, const float *__restrict s,
                     float *__restrict o, int n) {
  for (int c = 0; c < n; ++c) {
    const float t = d * acc[c];
    o[c] = o[c] + t;
    acc[c] = t + s[c];
  }
}

// `lines` adjacent lines whose elements are `step` apart (columns of a
// plane), a block of them side by side.
void side_by_side(float d, float *dst, const float *src, int len, int lines, std::ptrdiff_t step) {
  constexpr int kBlock = 512;
  float acc[kBlock];
  for (int c0 = 0; c0 < lines; c0 += kBlock) {
    const int n = std::min(kBlock, lines - c0);
    std::fill(acc, acc + n, 0.0f);
    for (int j = 0; j < len; ++j) forward_across(d, acc, src + j * step + c0, dst + j * step + c0, n);
    std::fill(acc, acc + n, 0.0f);
    for (int j = len - 1; j >= 0; --j)
      backward_across(d, acc, src + j * step + c0, dst + j * step + c0, n);
  }
}

}  // namespace

void compute_weights(float decay, float *dst, const float *src, int len, int lines,
                     std::ptrdiff_t line_stride, std::ptrdiff_t elem_stride) {
  if (len <= 0 || lines <= 0) return;
  if (line_stride == 1 && lines > 1) {
    side_by_side(decay, dst, src, len, lines, elem_stride);
    return;
  }
  int l = 0;
  if (elem_stride == 1)
    for (; l + 4 <= lines; l += 4)
      four_rows(decay, dst + l * line_stride, src + l * line_stride, len, line_stride);
  for (; l < lines; ++l)
    one_line(decay, dst + l * line_stride, src + l * line_stride, len, elem_stride);
}

void filter_plane(float decay, float *dst, const float *src, float *temp, int width, int height) {
  compute_weights(decay, temp, src, width, height, width, 1);
  compute_weights(decay, dst, temp, height, width, 1, width);
}

}  // namespace afterglow_impl
