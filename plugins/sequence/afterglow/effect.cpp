// afterglow: the sequence effect. Source pixels (marked by the texture role
// in a screen slot, or the non-black pixels of a mask strip) are filtered
// into weights, colours and depth that fall off exponentially with
// distance, and composed into the output.

#include "afterglow.h"
#include "frame_fit.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

using namespace afterglow_impl;

namespace {

constexpr double kE = 2.718281828459045;

// Takes a block of one 4-byte value per pixel (cleared when asked). A
// failure is reported on both streams with the allocation's line. Slots
// record their pixel count as an int: a larger frame counts as not enough
// memory without asking for it.
void *take(const char *what, long long n, bool clear, int line) {
  void *p = nullptr;
  if (n <= INT32_MAX && (unsigned long long)n <= SIZE_MAX / 4)
    p = clear ? std::calloc((std::size_t)n, 4) : std::malloc((std::size_t)n * 4);
  if (!p) {
    std::printf("%s=%p\n", what, p);
    std::fflush(stdout);
    std::fprintf(stderr, "\n%s (%d): Not enough memory for %u*%g Bytes!", __FILE_NAME__, line, 4u,
                 (double)n);
  }
  return p;
}
#define TAKE(what, n, clear) take(what, n, clear, __LINE__)

// The per-call buffers, freed together.
struct Buffers {
  float *glow = nullptr, *aij = nullptr, *bij = nullptr, *gij = nullptr, *rij = nullptr,
        *ftemp = nullptr;
  ~Buffers() {
    for (float *b : {glow, aij, bij, gij, rij, ftemp}) std::free(b);
  }
};

void clear_slot(Screen *screen) {
  if (screen && screen->scr)
    for (int k = 0; k < screen->count; ++k) screen->scr[k] = 0.0f;
}

// Shows the glow width in pixels (q x W at full animation) in the width row.
void show_width(SeqParams *p, float decay) {
  const double ln = std::log((double)decay);
  p->width = (float)(-2.0 / ln);
  char label[PLUGIN_NAME_LEN + 1];
  std::snprintf(label, sizeof label, "w=%.2g", (double)p->width);
  char *field = width_label();
  std::memset(field, 0, PLUGIN_NAME_LEN);
  std::memcpy(field, label, std::strlen(label));
}

}  // namespace

// ibuf3 is not used. Without ibuf1 or out pixels, or for an empty frame,
// nothing is done. Without a depth plane on ibuf1 the depth step is skipped
// and out's depth is left as it is.
SEQFX_EXPORT void afterglow(void *params, float factor0, float factor1, int width, int height,
                            ImageBuffer *ibuf1, ImageBuffer *ibuf2, ImageBuffer *out,
                            ImageBuffer *) {
  SeqParams *p = static_cast<SeqParams *>(params);
  if (!p || !ibuf1 || !ibuf1->rect || !out || !out->rect) return;
  // Records holding fewer pixels than the frame narrow the frame walked
  // (the second strip only when it is read, as the mask).
  const bool mask_strip = !(p->texture >= 0 && p->texture < kScreenCount) && ibuf2 && ibuf2->rect;
  seqfx_common::fit_frame(width, height, {ibuf1, out, mask_strip ? ibuf2 : nullptr});
  if (width <= 0 || height <= 0) return;
  const int W = width, H = height;
  const long long pixels = (long long)W * H;
  if ((unsigned long long)pixels > SIZE_MAX / 4) return;  // no such image in this address space
  const std::size_t N = (std::size_t)pixels;

  const float A = p->animated ? factor1 : 1.0f;
  const float gain = (A * p->intensity) * p->intensity;
  const float gr = gain * p->red, gg = gain * p->green, gb = gain * p->blue;
  // q = 0 (of either sign) is an infinitely narrow glow: decay 0.
  const float qw = p->q * (float)W;
  const double exponent = qw == 0.0f ? -INFINITY : -2.0 / (double)qw;
  const float decay = (float)((double)A * std::pow(kE, exponent));
  const float sum = 1.0f + decay, diff = 1.0f - decay;
  const float norm =
      (float)((double)diff / ((double)sum * (1.0 - std::pow((double)decay, W / 15.0))));
  const float norm2 = norm * norm;

  std::printf("\t\tafterklo(%g,%g,%dx%d)\n", (double)factor0, (double)factor1, W, H);
  std::fflush(stdout);
  std::printf("\ti=%g, r=%g, g=%g, b=%g, a=%g, le=%g, li=%g\n", (double)gain, (double)gr,
              (double)gg, (double)gb, (double)norm, (double)p->outside, (double)p->inside);
  std::fflush(stdout);
  show_width(p, decay);

  Buffers b;
  b.glow = static_cast<float *>(TAKE("glow", pixels, false));
  if (!b.glow) {
    cancel_pict(W, H, out->rect);
    return;
  }

  // The source mask. A slot number outside 0..31 counts as no slot.
  Screen *screen = nullptr;
  int count = 0;
  if (p->texture >= 0 && p->texture < kScreenCount) {
    screen = &screens[p->texture];
    screen->width = W;
    screen->height = H;
    screen->half_width = W * 0.5;
    screen->half_height = H * 0.5;
    // A slot whose buffer could not be had counts as unsized.
    if (screen->count != (int)N || !screen->scr) {
      std::free(screen->scr);
      screen->count = (int)N;
      // Nothing is marked yet at this size: the first frame shows no glow.
      screen->scr = static_cast<float *>(TAKE("screen->scr", pixels, true));
      cancel_pict(W, H, out->rect);
      return;
    }
    std::memcpy(b.glow, screen->scr, N * sizeof(float));
  } else {
    const ImageBuffer *strip = ibuf2 && ibuf2->rect ? ibuf2 : ibuf1;
    const unsigned char *m = strip->rect;
    for (std::size_t k = 0; k < N; ++k, m += 4) {
      b.glow[k] = m[0] != 0 ? 1.0f : 0.0f;
      count += m[0] != 0;
    }
  }
  for (std::size_t k = 0; k < N; ++k) b.glow[k] *= norm2;

  auto fail = [&]() {
    clear_slot(screen);
    cancel_pict(W, H, out->rect);
  };
  if (!(b.aij = static_cast<float *>(TAKE("aij", pixels, true))) ||
      !(b.bij = static_cast<float *>(TAKE("bij", pixels, true))) ||
      !(b.gij = static_cast<float *>(TAKE("gij", pixels, true))) ||
      !(b.rij = static_cast<float *>(TAKE("rij", pixels, true))) ||
      !(b.ftemp = static_cast<float *>(TAKE("ftemp", pixels, true)))) {
    fail();
    return;
  }

  filter_plane(decay, b.aij, b.glow, b.ftemp, W, H);

  if (ibuf1->zbuf) {
    if (!out->zbuf) {
      // Handed over with out: the host frees it.
      out->zbuf = static_cast<int *>(TAKE("out->zbuf", pixels, false));
      if (!out->zbuf) {
        fail();
        return;
      }
    }
    compute_zbuf(p->inside, p->outside, decay, W, H, N, ibuf1->zbuf, out->zbuf, b.aij, b.glow,
                 b.rij, b.ftemp);
  }

  if (p->show_weights) {
    // The weight view replaces every byte of the composed picture, so the
    // colours are not worked out.
    const float largest = weight_view(N, b.aij, b.glow, out->rect);
    std::printf("%d\t%g\t%g\t%g\t%g\n", count, (double)decay, (double)p->q, (double)norm2,
                (double)largest);
  } else {
    const bool background = p->use_background != 0;
    compute_colors(0, gr, p->inside, p->outside, decay, W, H, N, ibuf1->rect, b.aij, b.glow,
                   b.rij, b.ftemp, background);
    compute_colors(1, gg, p->inside, p->outside, decay, W, H, N, ibuf1->rect, b.aij, b.glow,
                   b.gij, b.ftemp, background);
    compute_colors(2, gb, p->inside, p->outside, decay, W, H, N, ibuf1->rect, b.aij, b.glow,
                   b.bij, b.ftemp, background);
    compose(N, b.rij, b.gij, b.bij, b.aij, ibuf1->rect, out->rect);
  }

  std::printf("%s\n", "afterglow:\t\tDas war's");
  std::fflush(stdout);
  // The marks are used up: the texture marks afresh for the next frame.
  clear_slot(screen);
}
