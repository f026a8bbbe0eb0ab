// depthmerge: composites two or three rendered strips by their depth
// planes. Each output pixel is copied from the input that is nearest at that
// pixel (farthest with Invert); ties go to the earlier input.

#include "seqfx_module.h"

#include <cstdio>
#include <cstring>

namespace {

using seqfx_module::pixel_count;

// One 4-byte slot per table row.
struct Params {
  int label;
  int invert;  // exactly 1 picks the farthest input
};

// The position (1, 2 or 3) of the smallest of three depths, ties to the
// earlier position.
inline int getmin(int a, int b, int c) {
  if (a <= b && a <= c) return 1;
  return b <= c ? 2 : 3;
}

// The same for the largest.
inline int getmax(int a, int b, int c) {
  if (a >= b && a >= c) return 1;
  return b >= c ? 2 : 3;
}

// An input that takes part: its pixels and depths, and how many of the
// frame's pixels it holds.
struct Input {
  const unsigned char *rect;
  const int *zbuf;
  long count;
};

Input input_of(const ImageBuffer *img) { return {img->rect, img->zbuf, pixel_count(img)}; }

inline void copy_pixel(unsigned char *dst, const unsigned char *src) {
  unsigned char px[4];
  std::memcpy(px, src, 4);  // src may be dst itself when out is an input
  std::memcpy(dst, px, 4);
}

// Writes out[i] for i < n from the chosen inputs. Without a third input the
// choice is between the first two; `third` pixels (those the third image
// holds) choose among all three.
template <bool Farthest>
void merge(const Input &a, const Input &b, const Input *c, long third, long n, unsigned char *dst) {
  long i = 0;
  if (c) {
    for (; i < third; ++i) {
      const int which = Farthest ? getmax(a.zbuf[i], b.zbuf[i], c->zbuf[i])
                                 : getmin(a.zbuf[i], b.zbuf[i], c->zbuf[i]);
      const unsigned char *src = which == 1 ? a.rect : which == 2 ? b.rect : c->rect;
      copy_pixel(dst + 4 * i, src + 4 * i);
    }
  }
  for (; i < n; ++i) {
    const bool first = Farthest ? a.zbuf[i] >= b.zbuf[i] : a.zbuf[i] <= b.zbuf[i];
    copy_pixel(dst + 4 * i, (first ? a.rect : b.rect) + 4 * i);
  }
}

}  // namespace

extern "C" {
SEQFX_DATA char name[24] = "depthmerge";
SEQFX_DATA float cfra;
}
SEQFX_TABLE(varstr,
    SEQFX_LABEL("2or3 strips"),
    SEQFX_FIELD(invert, PLUGIN_CODE_TOGGLE, "Invert", 0, 0, 1, "Invert zbuffer"));

SEQFX_EXPORT void plugin_seq_doit(void *params, float, float, int width, int height,
                                  ImageBuffer *ibuf1, ImageBuffer *ibuf2, ImageBuffer *out,
                                  ImageBuffer *ibuf3) {
  const Params *p = static_cast<const Params *>(params);
  // A missing first or second strip has no depth plane either.
  if (!ibuf1 || !ibuf1->zbuf) {
    std::printf("Error: input 1 has no z-buffer\n");
    return;
  }
  if (!ibuf2 || !ibuf2->zbuf) {
    std::printf("Error: input 2 has no z-buffer\n");
    return;
  }
  // Without pixels to copy from or into there is nothing to composite.
  if (!out || !out->rect || !ibuf1->rect || !ibuf2->rect || width <= 0 || height <= 0) return;

  // The frame's pixels, but never more than the output and the first two
  // inputs hold; the third takes part where it has pixels and depth.
  long n = (long)width * height;
  const Input a = input_of(ibuf1), b = input_of(ibuf2);
  for (long held : {pixel_count(out), a.count, b.count})
    if (held < n) n = held;
  Input c{};
  long third = 0;
  if (ibuf3 && ibuf3->zbuf && ibuf3->rect) {
    c = input_of(ibuf3);
    third = c.count < n ? c.count : n;
  }
  const Input *cp = third > 0 ? &c : nullptr;
  if (p->invert == 1)
    merge<true>(a, b, cp, third, n, out->rect);
  else
    merge<false>(a, b, cp, third, n, out->rect);
}

SEQFX_STANDARD_ENTRIES(name, varstr, cfra, plugin_seq_doit)
