// truncate: passes the pixels of one strip whose brightness lies between
// the pivot and the host's effect factor, and blacks out the rest.

#include "seqfx_module.h"

#include <cstring>

namespace {

using seqfx_module::pixels_to_walk;
using seqfx_module::unit;

// One 4-byte slot per table row.
struct Params {
  int note[4];  // labels
  float pivot;  // one end of the kept range, 0..1
};

// Whether a pixel passes depends on R + G + B alone (0..765): the pixel
// passes when below < sum < above, and a failing pixel becomes opaque
// black. N pixels at a time, the channel sum of each in a 32-bit lane.
template <int N>
__attribute__((always_inline)) inline long pass_run(const unsigned char *src, unsigned char *dst, long n,
                                                    int below, int above) {
  typedef unsigned U __attribute__((vector_size(4 * N)));
  typedef int I __attribute__((vector_size(4 * N)));
  long i = 0;
  for (; i + N <= n; i += N) {
    U v;
    std::memcpy(&v, src + 4 * i, sizeof v);
    const I sum = (I)((v & 0xFFu) + ((v >> 8) & 0xFFu) + ((v >> 16) & 0xFFu));
    const I pass = (sum > below) & (sum < above);
    const U r = ((U)pass & v) | ((U)~pass & 0xFF000000u);
    std::memcpy(dst + 4 * i, &r, sizeof r);
  }
  return i;
}

long pass_sse2(const unsigned char *src, unsigned char *dst, long n, int below, int above) {
  return pass_run<4>(src, dst, n, below, above);
}

#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("avx2"))) long pass_avx2(const unsigned char *src, unsigned char *dst, long n,
                                               int below, int above) {
  return pass_run<8>(src, dst, n, below, above);
}

bool has_avx2() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2");
}
#endif

// The widest form this processor runs; the rest is left to the caller.
long pass_lanes(const unsigned char *src, unsigned char *dst, long n, int below, int above) {
#if defined(__x86_64__) || defined(__i386__)
  static const bool avx2 = has_avx2();
  if (avx2) return pass_avx2(src, dst, n, below, above);
#endif
  return pass_sse2(src, dst, n, below, above);
}

}  // namespace

extern "C" {
SEQFX_DATA char name[24] = "trucate";
SEQFX_DATA float cfra;
}
SEQFX_TABLE(varstr,
    SEQFX_LABEL("Note:"),
    SEQFX_LABEL("In addition to"),
    SEQFX_LABEL("pivot use the"),
    SEQFX_LABEL("IPO for a range"),
    SEQFX_FIELD(pivot, PLUGIN_CODE_SLIDER_FLOAT, "tpivot ", 0, 0, 1, "Trucation range pivot point."));

SEQFX_EXPORT void plugin_seq_doit(void *params, float factor0, float, int, int, ImageBuffer *ibuf1,
                                  ImageBuffer *, ImageBuffer *out, ImageBuffer *) {
  if (!ibuf1 || !out || !ibuf1->rect || !out->rect) return;
  const Params *p = static_cast<const Params *>(params);
  // Counts come from ibuf1; never write past a smaller out.
  const long n = pixels_to_walk(ibuf1, out);

  // Both ends in single precision, truncated toward zero. The pivot is
  // limited like the factor, so that a slot outside the slider's range
  // still gives a defined integer.
  const int lo_end = (int)(unit(p->pivot) * 255);
  const int hi_end = (int)(unit(factor0) * 255);
  const int lo = lo_end < hi_end ? lo_end : hi_end;
  const int hi = lo_end < hi_end ? hi_end : lo_end;

  // Whether a pixel passes depends on R + G + B alone (0..765):
  // lo <= s / 3 <= hi is 3 lo <= s <= 3 hi + 2.
  bool keep[766];
  for (int s = 0; s <= 765; ++s) keep[s] = s / 3 >= lo && s / 3 <= hi;

  static const unsigned char black[4] = {0, 0, 0, 255};
  const unsigned char *src = ibuf1->rect;
  unsigned char *dst = out->rect;
  long i = pass_lanes(src, dst, n, 3 * lo - 1, 3 * hi + 3);
  src += 4 * i;
  dst += 4 * i;
  for (; i < n; ++i, src += 4, dst += 4) {
    const unsigned char *from = keep[src[0] + src[1] + src[2]] ? src : black;
    unsigned char px[4];
    std::memcpy(px, from, 4);
    std::memcpy(dst, px, 4);
  }
}

SEQFX_STANDARD_ENTRIES(name, varstr, cfra, plugin_seq_doit)
