// speckle: a dissolve between two strips in which every pixel is taken from
// one or the other by a random draw; the share of the second strip grows
// with factor0. The generator is seeded afresh on every call, so the same
// pixels switch in the same order from frame to frame, unless "shimmer"
// advances the seed with every call.

#include "seqfx_module.h"
#include "strip_pair.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

using seqfx_module::pixels_to_walk;
using seqfx_module::unit;

// One 4-byte slot per table row.
struct Params {
  int label_input;
  int shimmer;  // advance the seed on every call
};

// The seed of the next call; lives as long as the module.
int useseed = 0;

// The standard generator's sequence for one call. On this platform rand()
// is random_r() on a 128-byte state seeded by srand(); seeding a state of
// the same kind with srandom_r() gives the very same numbers without the
// lock rand() takes for every draw (a quarter of the time for a full-HD
// frame), and leaves the process-wide generator alone.
class Draws {
 public:
  explicit Draws(unsigned seed) {
#ifdef __GLIBC__
    initstate_r(seed, state_, sizeof state_, &data_);
#else
    std::srand(seed);
#endif
  }
  // One draw of 0..32767, the range the threshold is scaled to.
  int next() {
#ifdef __GLIBC__
    std::int32_t v;
    random_r(&data_, &v);
    return v % 32768;
#else
    return std::rand() % 32768;
#endif
  }

 private:
#ifdef __GLIBC__
  char state_[128];
  random_data data_{};
#endif
};

}  // namespace

extern "C" {
SEQFX_DATA float cfra;
}
SEQFX_TABLE(varstr,
    SEQFX_LABEL("In: 2 strips"),
    SEQFX_FIELD(shimmer, PLUGIN_CODE_TOGGLE, "shimmer", 0, 0, 1, "increment seed each frame"));

SEQFX_EXPORT void plugin_seq_doit(void *params, float factor0, float, int, int, ImageBuffer *ibuf1,
                                  ImageBuffer *ibuf2, ImageBuffer *out, ImageBuffer *) {
  const Params *p = static_cast<const Params *>(params);
  // factor0 outside 0..1 is taken as its nearest end (NaN as 0).
  const int threshold = (int)(unit(factor0) * 32767.0f);
  Draws draws((unsigned)useseed);
  // The seed advances even when the call goes no further.
  // (After 2^31 calls it wraps round instead of overflowing.)
  if (p->shimmer) useseed = (int)((unsigned)useseed + 1u);

  if (!strip_pair::has_pixels(ibuf1) || !strip_pair::has_pixels(ibuf2)) {
    std::printf("Not linked to 2 buffers!\n");
    return;
  }
  if (!strip_pair::has_pixels(out)) return;

  // One draw per pixel of ibuf1 in memory order; a smaller ibuf2 or out ends
  // the walk where it ends (the draws past it would choose nothing).
  long n = pixels_to_walk(ibuf1, out);
  const long n2 = seqfx_module::pixel_count(ibuf2);
  if (n2 < n) n = n2;
  const unsigned char *a = ibuf1->rect, *b = ibuf2->rect;
  unsigned char *o = out->rect;
  for (long i = 0; i < n; ++i) {
    const unsigned char *src = draws.next() > threshold ? a : b;
    strip_pair::use_ibuf(src + 4 * i, o + 4 * i);
  }
}

// The display name is a string constant, not an exported array.
SEQFX_STANDARD_ENTRIES("Speckle", varstr, cfra, plugin_seq_doit)
