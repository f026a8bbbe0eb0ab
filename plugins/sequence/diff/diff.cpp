// diff: compares two strips. Either a black-and-white mask of where they
// differ by more than a tolerance, or the difference between them applied
// to a third strip.

#include "seqfx_module.h"

#include <cstdio>

namespace {

using seqfx_module::pixel_count;

// One 4-byte slot per table row.
struct Params {
  int label_input;
  int tolerance;
  int absolute;  // 1 makes the mask
};

inline int absdiff(int a, int b) { return a > b ? a - b : b - a; }

// True when the two pixels differ by more than the tolerance: the sum of
// the differences of red, green and alpha (blue is not compared).
inline bool inzone(const unsigned char *a, const unsigned char *b, const Params *p) {
  const int d = absdiff(a[0], b[0]) + absdiff(a[1], b[1]) + absdiff(a[3], b[3]);
  return (float)d > (float)p->tolerance;
}

bool present(const ImageBuffer *b) { return b && b->rect; }

}  // namespace

extern "C" {
SEQFX_DATA char name[24] = "diff";
SEQFX_DATA float cfra;
}
SEQFX_TABLE(varstr,
    SEQFX_LABEL("Input: 3 strips"),
    SEQFX_FIELD(tolerance, PLUGIN_CODE_SLIDER_INT, "Tolerance:", 10, 0, 255, "Tolerance"),
    SEQFX_FIELD(absolute, PLUGIN_CODE_TOGGLE, "Absolute", 0, 0, 1, "Make a b/w mask"));

SEQFX_EXPORT void plugin_seq_doit(void *params, float, float, int width, int height,
                                  ImageBuffer *ibuf1, ImageBuffer *ibuf2, ImageBuffer *out,
                                  ImageBuffer *ibuf3) {
  const Params *p = static_cast<const Params *>(params);
  const bool mask = p->absolute == 1;
  // Each missing image is named; the output is then left as it is. The
  // mask does not read the third strip.
  bool ok = true;
  if (!present(ibuf1)) std::printf("diff: no ibuf1!\n"), ok = false;
  if (!present(ibuf2)) std::printf("diff: no ibuf2!\n"), ok = false;
  if (!mask && !present(ibuf3)) std::printf("diff: no ibuf3!\n"), ok = false;
  if (!present(out)) std::printf("diff: no output image!\n"), ok = false;
  if (!ok || width <= 0 || height <= 0) return;

  long n = (long)width * height;
  if (pixel_count(ibuf1) < n) n = pixel_count(ibuf1);
  if (pixel_count(ibuf2) < n) n = pixel_count(ibuf2);
  if (!mask && pixel_count(ibuf3) < n) n = pixel_count(ibuf3);
  if (pixel_count(out) < n) n = pixel_count(out);

  const unsigned char *a = ibuf1->rect, *b = ibuf2->rect;
  unsigned char *dst = out->rect;
  if (mask) {
    for (long i = 0; i < n; ++i, a += 4, b += 4, dst += 4) {
      const unsigned char v = inzone(a, b, p) ? 255 : 0;
      dst[0] = dst[1] = dst[2] = dst[3] = v;
    }
    return;
  }
  // ibuf3 shifted by the difference of the first two, kept to its low 8 bits.
  const unsigned char *c = ibuf3->rect;
  for (long i = 0; i < 4 * n; ++i) dst[i] = (unsigned char)(c[i] - (a[i] - b[i]));
}

SEQFX_STANDARD_ENTRIES(name, varstr, cfra, plugin_seq_doit)
