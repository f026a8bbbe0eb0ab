// backdropkey: removes a coloured backdrop from the first strip by a YUV
// window and composites the rest over a flat colour, a checkerboard or the
// second strip, with spill control, a DV 4:1:1 chroma filter and an edge
// blur. All work is done on float images (float_toolkit.h).

#include "clamps.h"
#include "float_toolkit.h"
#include "frame_fit.h"
#include "seqfx_alloc.h"
#include "seqfx_module.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

// One 4-byte slot per table row. Tri-toggles are two signed 16-bit halves.
struct Params {
  std::int16_t keyer[2];       // [0] on, [1] invert selection
  int dv;
  float ymin, ymax, uclip, vclip;
  int display;
  std::int16_t background[2];  // state = sum of the halves
  unsigned char back_color[4];
  int edge_blur;
  float blur;
  int radius;
  std::int16_t info[2];
  std::int16_t spill[2];
  float factor, yadj, uadj, vadj;
};

const char kDisplayNames[6][25] = {"normal output",  "selection",      "key mask...",
                                   "luminence(y)",   "chrominance(u)", "chrominance(v)"};

inline int tri_sum(const std::int16_t h[2]) { return h[0] + h[1]; }

// The frame number as printed: cfra truncated toward zero, limited to the
// int range (a NaN prints as 0).
int frame_number(float f) {
  if (!(f == f)) return 0;
  if (f >= 2147483647.0f) return 2147483647;
  if (f <= -2147483648.0f) return -2147483647 - 1;
  return (int)f;
}

// A float image of n pixels from the host allocator, or null (also when its
// size does not fit a size_t).
float *image_alloc(std::size_t n, const char *tag) {
  if (n > SIZE_MAX / 16) return nullptr;
  return static_cast<float *>(mallocN(n * 16, tag));
}

// Converts a whole byte image row by row, so that no component count
// exceeds what an int holds.
void bytes_to_floats(const unsigned char *src, float *dst, int width, int height) {
  const std::size_t row = (std::size_t)width * 4;
  for (int y = 0; y < height; ++y) ch2fl(src + row * y, dst + row * y, width * 4);
}

void floats_to_bytes(const float *src, unsigned char *dst, int width, int height) {
  const std::size_t row = (std::size_t)width * 4;
  for (int y = 0; y < height; ++y) fl2ch(src + row * y, dst + row * y, width * 4);
}

// Copies the input through unchanged: float to float when out has a float
// plane, else bytes to bytes. An input without a float plane feeds a float
// output through ch2fl; a plane that is missing on either side is skipped.
void copy_through(const ImageBuffer *in, ImageBuffer *out, int width, int height) {
  const std::size_t n = (std::size_t)width * height;
  if (out->floatbuf) {
    if (in->floatbuf)
      std::memmove(out->floatbuf, in->floatbuf, n * 16);
    else if (in->rect)
      bytes_to_floats(in->rect, out->floatbuf, width, height);
  } else if (out->rect && in->rect) {
    std::memmove(out->rect, in->rect, n * 4);
  }
}

// Green spill reduction of one kept pixel px (RGBA), whose input YUV is
// yuv, and respill: manual (mode 1) or towards the background (mode 2).
void reduce_spill(float *px, const float *yuv, const Params &p, int mode, const float *bg_yuv) {
  const float r = px[0], g = px[1], b = px[2];
  // Smallest and middle of the three (the values do not depend on how ties
  // are ranked).
  const float lo = r < g ? (r < b ? r : b) : (g < b ? g : b);
  const float rg_lo = r < g ? r : g, rg_hi = r < g ? g : r;
  const float mid_hi = rg_hi < b ? rg_hi : b;
  const float mid = rg_lo > mid_hi ? rg_lo : mid_hi;
  const float s = p.factor * (g - (lo + mid) * 0.5f);
  if (g > lo) px[1] = g - s;
  float y2[4];
  frgb2fyuv(px, y2);
  const float y = yuv[0];
  if (mode >= 2) {
    y2[0] = y + (bg_yuv[0] - y) * s * 2.0f;
    y2[1] = y2[1] + (bg_yuv[1] - y2[1]) * s;
    y2[2] = y2[2] + (bg_yuv[2] - y2[2]) * s;
  } else {
    y2[0] = y + p.yadj * s;
    y2[1] = y2[1] + p.uadj * s;
    y2[2] = y2[2] + p.vadj * s;
  }
  fyuv2frgb(y2, px);
}

}  // namespace

extern "C" {
SEQFX_DATA char name[24] = "backdropkey1.3";
SEQFX_DATA float cfra;
}
SEQFX_TABLE(varstr,
    SEQFX_FIELD(keyer, PLUGIN_CODE_TRITOGGLE, "backdropkey1.3", 1, 0, 0.1f,
                "toggle backdropkey plugin off || on || invert selection"),
    SEQFX_FIELD(dv, PLUGIN_CODE_TOGGLE, "dv4.1.1", 0, 0, 0, "dv 4:1:1 compression filter"),
    SEQFX_FIELD(ymin, PLUGIN_CODE_SLIDER_FLOAT, "Ymin", 0.1f, 0, 1, "lower luminance clip"),
    SEQFX_FIELD(ymax, PLUGIN_CODE_SLIDER_FLOAT, "Ymax", 0.9f, 0, 1, "upper luminance clip"),
    SEQFX_FIELD(uclip, PLUGIN_CODE_SLIDER_FLOAT, "Uclip", 0.5f, 0, 1, "blue factor clipping value"),
    SEQFX_FIELD(vclip, PLUGIN_CODE_SLIDER_FLOAT, "Vclip", 0.5f, 0, 1, "red factor clipping value"),
    SEQFX_FIELD(display, PLUGIN_CODE_NUMBER_INT, "display:", 0, 0, 5,
                "display: 0)composited output, 1)selection, 2)alpha mask, 3) Y, 4) U, 5) V"),
    SEQFX_FIELD(background, PLUGIN_CODE_TRITOGGLE, "check / ibuf2", 0, 0, 1,
                "composite background: color(off) || checker board || use ibuf2"),
    SEQFX_FIELD(back_color, PLUGIN_CODE_COLOUR, "back Color", 0, 0, 255, "background color"),
    SEQFX_FIELD(edge_blur, PLUGIN_CODE_TOGGLE, "edge blur", 0, 0, 1, "alpha blur of mask edge"),
    SEQFX_FIELD(blur, PLUGIN_CODE_NUMBER_FLOAT, "blur", 0.6f, 0, 10, "Amount of edge blur"),
    SEQFX_FIELD(radius, PLUGIN_CODE_NUMBER_INT, "radius", 1, 1, 5,
                "radius of edge blur [kernal=(2*radius)+1]"),
    SEQFX_FIELD(info, PLUGIN_CODE_TRITOGGLE, "info / TMI", 1, 0, 1,
                "output plugin info to the console or (probably)Too Much Info"),
    SEQFX_FIELD(spill, PLUGIN_CODE_TRITOGGLE, "spill / spill+", 0, 0, 1,
                "green spill reduction w/ respill: manual adjustment || auto to bk color"),
    SEQFX_FIELD(factor, PLUGIN_CODE_NUMBER_FLOAT, "factor", 0, 0, 1,
                "green spill reduction factor"),
    SEQFX_FIELD(yadj, PLUGIN_CODE_NUMBER_FLOAT, "Yadj", 0, -1, 1,
                "luminance adjustment of spill area -> not active with spill+"),
    SEQFX_FIELD(uadj, PLUGIN_CODE_NUMBER_FLOAT, "Uadj", 0, -1, 1,
                "blue adjustment of spill area -> not active with spill+"),
    SEQFX_FIELD(vadj, PLUGIN_CODE_NUMBER_FLOAT, "Vadj", 0, -1, 1,
                "red adjustment of spill area -> not active with spill+"));

SEQFX_EXPORT void plugin_seq_doit(void *params, float, float, int width, int height,
                                  ImageBuffer *ibuf1, ImageBuffer *ibuf2, ImageBuffer *out,
                                  ImageBuffer *) {
  Params *p = static_cast<Params *>(params);
  // An empty frame has nothing to key.
  if (!ibuf1 || !out) return;
  // Records holding fewer pixels than the frame narrow the frame walked.
  seqfx_common::fit_frame(width, height, {ibuf1, out, ibuf2 != ibuf1 ? ibuf2 : nullptr});
  if (width <= 0 || height <= 0) return;
  const std::size_t n = (std::size_t)width * height;
  const int info = tri_sum(p->info);
  const int back = tri_sum(p->background);
  const int spill = tri_sum(p->spill);
  // A display value outside the table's 0..5 shows the composite.
  const int display = p->display >= 0 && p->display <= 5 ? p->display : 0;
  const bool invert = p->keyer[1] != 0;

  if (info) std::printf("\nbackdropkey...frame %d...setting up\n", frame_number(cfra));
  if (p->keyer[0] == 0) {
    if (info) std::printf("just lurking...\n");
    copy_through(ibuf1, out, width, height);
    return;
  }

  float *work = image_alloc(n, "workbuf");
  if (!work) {
    std::printf("buffer allocation failure\n");
    copy_through(ibuf1, out, width, height);
    return;
  }

  // The input in YUV form. With a float output the composite is built in
  // out's float plane, from ibuf1's float plane (or from its bytes when it
  // has none); otherwise in "malfback", converted to out's bytes at the end.
  const bool float_out = out->floatbuf != nullptr;
  if (!float_out && info)
    std::printf("\nno floatbuffer...this plugin uses float values->converting...\n");
  // Nothing to read, or (without a float plane) nothing to write to.
  if (!(float_out ? (ibuf1->floatbuf || ibuf1->rect) : (ibuf1->rect && out->rect))) {
    if (info) std::printf("heh...no char buffer either...aborting\n");
    freeN(work);
    return;
  }
  if (float_out && ibuf1->floatbuf) {
    for (std::size_t k = 0; k < n; ++k) frgb2fyuv(ibuf1->floatbuf + 4 * k, work + 4 * k);
  } else {
    const std::size_t row = (std::size_t)width * 4;
    for (int y = 0; y < height; ++y) bytes_to_fyuv(ibuf1->rect + row * y, work + row * y, width);
  }
  float *comp = out->floatbuf;
  float *malfback = nullptr;
  if (!float_out) {
    malfback = image_alloc(n, "malfback");
    if (!malfback) {
      std::printf("buffer allocation failure\n");
      std::memmove(out->rect, ibuf1->rect, n * 4);
      freeN(work);
      return;
    }
    comp = malfback;
  }

  float bg[4];
  ch2fl(p->back_color, bg, 4);

  // The background, always with alpha 0.
  const bool say = info && display != 1;
  int kind = back >= 2 ? 2 : (back == 1 ? 1 : 0);
  if (kind == 2) {
    // A second strip with neither plane counts as absent.
    if (ibuf2 && ibuf2 != ibuf1 && (ibuf2->floatbuf || ibuf2->rect)) {
      if (say) std::printf("-> background: ibuf2...\n");
      if (ibuf2->floatbuf)
        std::memmove(comp, ibuf2->floatbuf, n * 16);
      else
        bytes_to_floats(ibuf2->rect, comp, width, height);
      for (std::size_t k = 0; k < n; ++k) comp[4 * k + 3] = 0.0f;
    } else {
      if (say) std::printf("...no ibuf2...defaulting...");
      p->background[0] = p->background[1] = 0;
      kind = 0;
    }
  }
  if (kind == 1) {
    makecheck(comp, width, height);
    if (say) std::printf("-> background: checkerboard...\n");
  } else if (kind == 0) {
    for (std::size_t k = 0; k < n; ++k) {
      float *c = comp + 4 * k;
      c[0] = bg[0];
      c[1] = bg[1];
      c[2] = bg[2];
      c[3] = 0.0f;
    }
    if (say)
      std::printf("-> background color  R:%4.3f G:%4.3f B:%4.3f A:%4.3f ...\n", bg[0], bg[1],
                  bg[2], bg[3]);
  }

  if (p->dv) {
    if (info) std::printf("dv 4:1:1 filter U & V blur...");
    gaussianBlur(work, work, width, height, 1.0f, 2, info, -2, -3);
    if (info) std::printf("dv filter done\n");
  }

  if (info) std::printf("show: %d) %s ", display, kDisplayNames[display]);

  if (display == 1) {
    if (info) std::printf("channels...");
    for (std::size_t k = 0; k < n; ++k) {
      const float *w = work + 4 * k;
      float *c = comp + 4 * k;
      c[0] = w[2] > p->vclip ? 1.0f : 0.0f;
      c[1] = w[0] < p->ymin ? 0.5f : (w[0] > p->ymax ? 1.0f : 0.0f);
      c[2] = w[1] > p->uclip ? 1.0f : 0.0f;
    }
  } else if (display >= 3) {
    const int ch = display - 3;
    if (info) std::printf("(yuv[%d])...", ch);
    for (std::size_t k = 0; k < n; ++k) {
      const float v = work[4 * k + ch];
      float *c = comp + 4 * k;
      c[0] = c[1] = c[2] = c[3] = v;
    }
  } else {
    if (info) std::printf("\nprocessing image...");
    float bg_yuv[4];
    frgb2fyuv(bg, bg_yuv);
    // Spill control scales by "factor" and the Y/U/V adjustments: they are
    // held to the table's ranges (a value that is not a number counts as
    // 0), so that no slot value makes a pixel infinite or not a number.
    auto limited = [](float v, float lo, float hi) { return v != v ? 0.0f : seqfx_common::clamp(v, lo, hi); };
    Params sp = *p;
    sp.factor = limited(p->factor, 0.0f, 1.0f);
    sp.yadj = limited(p->yadj, -1.0f, 1.0f);
    sp.uadj = limited(p->uadj, -1.0f, 1.0f);
    sp.vadj = limited(p->vadj, -1.0f, 1.0f);
    for (std::size_t k = 0; k < n; ++k) {
      const float *w = work + 4 * k;
      if (w[3] == 0.0f) continue;
      // Backdrop: inside the luminance window and below both chroma clips.
      const bool backdrop = p->ymin < w[0] && w[0] < p->ymax && w[1] < p->uclip && w[2] < p->vclip;
      if (backdrop != invert) continue;
      float *c = comp + 4 * k;
      fyuv2frgb(w, c);
      if (spill) reduce_spill(c, w, sp, spill, bg_yuv);
    }
    if (info) {
      std::printf("key mask set...");
      if (invert) std::printf("inverting mask...");
      if (spill >= 2)
        std::printf(
            "\nspill+ control at %4.3f%%...auto respill to background color\n"
            "R:%4.3f G:%4.3f B:%4.3f A:%4.3f ...\n",
            p->factor, bg[0], bg[1], bg[2], bg[3]);
      else if (spill)
        std::printf("\nspill control at %4.3f%%...manual respill\n", p->factor);
    }

    const bool edge = p->edge_blur != 0;
    if (edge) {
      std::memcpy(work, comp, n * 16);
      if (info) std::printf("edge blur...");
      // The edge blur's cost grows with the square of its radius: a radius
      // beyond the table's largest is taken as the largest.
      gaussianBlur(work, work, width, height, p->blur, p->radius > 5 ? 5 : p->radius, info, -1);
    }
    if (display == 2) {
      const float *alpha = edge ? work : comp;
      for (std::size_t k = 0; k < n; ++k) {
        const float a = alpha[4 * k + 3];
        float *c = comp + 4 * k;
        c[0] = c[1] = c[2] = c[3] = a;
      }
    } else if (edge) {
      // The blend band: where the blurred matte is neither clearly out nor
      // clearly in, the blurred pixel replaces the sharp one.
      for (std::size_t k = 0; k < n; ++k) {
        const double a = work[4 * k + 3];
        if (a > 0.05 && a < 0.95) std::memcpy(comp + 4 * k, work + 4 * k, 16);
      }
    }
  }

  if (malfback) {
    if (info) std::printf("\nconverting back to char values...");
    floats_to_bytes(comp, out->rect, width, height);
    freeN(malfback);
  }
  freeN(work);
  if (info) std::printf("done\n");
}

SEQFX_STANDARD_ENTRIES(name, varstr, cfra, plugin_seq_doit)
