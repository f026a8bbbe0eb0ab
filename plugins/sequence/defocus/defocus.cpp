// defocus: depth of field for a rendered frame with a depth plane. The
// depth splits the frame into a foreground and a background mask around the
// focus depth; the background is blurred by gathering, the foreground by
// scattering, each with a disc that grows with the pixel's mask value.

#include "blurs.h"
#include "kernels.h"
#include "seqfx_module.h"
#include "work_image.h"
#include "clamps.h"

#include <cstdio>

using namespace dof;

namespace {

using seqfx_common::capped_byte;

// One 4-byte slot per table row.
struct Params {
  int label_input;
  float blursize;
  float zmin;
  float focus;  // written back by autofocus
  int autofocus;
  int ipofocus;
  int show_zfront;
  int show_zback;
  float gamma;
  float sigma;
};

// A fraction 0..1 as a depth value, in single precision and held to the
// int range. A NaN fraction (an unset curve) counts as 0, the nearest depth.
int depth_of(float f) {
  const float v = f * 4294967296.0f - 2147483648.0f;
  if (!(v > -2147483648.0f)) return -2147483647 - 1;
  if (v >= 2147483648.0f) return 2147483647;
  return (int)v;
}

float fraction_of(int z) { return ((float)z + 2147483648.0f) / 4294967296.0f; }

// Mean depth of the 5 x 5 block around the frame's centre. On frames
// narrower or lower than 5 pixels the block is cut to the frame and the
// mean taken over the depths inside it.
int autofocus(const ImageBuffer *ib) {
  const int w = ib->xsize, h = ib->ysize, cx = w / 2, cy = h / 2;
  double sum = 0.0;
  int count = 0;
  for (int y = cy - 2; y <= cy + 2; ++y)
    for (int x = cx - 2; x <= cx + 2; ++x)
      if (x >= 0 && y >= 0 && x < w && y < h) {
        sum += ib->zbuf[(long)y * w + x];
        ++count;
      }
  return count ? (int)(sum / count) : 0;
}

void zsplit(const ImageBuffer *ib, Img *front, Img *back, int focus, int far, int zmin) {
  const float fz = (float)focus, fmin = (float)zmin;
  const float kf = 255.0f / (fz - fmin);
  const float kb = 255.0f / ((float)far - fmin);
  const int *z = ib->zbuf;
  for (int i = 0; i < front->count; ++i) {
    float v = (float)z[i];
    if (v < fmin) v = fmin;
    const float d = v - fz;
    if (d < 0.0f) {
      front->data[i] = capped_byte(-d * kf);
      back->data[i] = 0;
    } else {
      back->data[i] = capped_byte(d * kb);
      front->data[i] = 0;
    }
  }
}

// Gives back every working image of the frame (any of them may be null).
void release(Img *a, Img *b, Img *c, Img *d, Img *e, Mask **ladder) {
  free_img(a);
  free_img(b);
  free_img(c);
  free_img(d);
  free_img(e);
  free_masks(ladder, kLevels);
}

// A working image that is missing abandons the frame: the output gets the
// marker picture, as for the other errors of this effect.
void out_of_memory(ImageBuffer *out) {
  buferror(out);
  lout("Error: not enough memory");
}

}  // namespace

extern "C" {
SEQFX_DATA char g_name[24] = "Defocus v1d";
SEQFX_DATA float g_cfra;
}
SEQFX_TABLE(varstr,
    SEQFX_LABEL("Input: 1 strip"),
    SEQFX_FIELD(blursize, PLUGIN_CODE_SLIDER_FLOAT, "Blursize ", 5, 2, 30, "Maximum blur radius"),
    SEQFX_FIELD(zmin, PLUGIN_CODE_SLIDER_FLOAT, "Zmin ", 0, 0, 1, "Zmin value"),
    SEQFX_FIELD(focus, PLUGIN_CODE_SLIDER_FLOAT, "Focus ", 0.8f, 0, 1, "Focus value"),
    SEQFX_FIELD(autofocus, PLUGIN_CODE_TOGGLE, "Autofocus", 1, 0, 1, "Autofocus"),
    SEQFX_FIELD(ipofocus, PLUGIN_CODE_TOGGLE, "Ipofocus", 0, 0, 1, "IpoCurve controlled focus"),
    SEQFX_FIELD(show_zfront, PLUGIN_CODE_TOGGLE, "Show zfront", 0, 0, 1, "Show foreground zbuffer"),
    SEQFX_FIELD(show_zback, PLUGIN_CODE_TOGGLE, "Show zback", 0, 0, 1, "Show background zbuffer"),
    SEQFX_FIELD(gamma, PLUGIN_CODE_SLIDER_FLOAT, "Gamma ", 1, 0.05f, 2,
                "Background gamma correction"),
    SEQFX_FIELD(sigma, PLUGIN_CODE_SLIDER_FLOAT, "Sigma ", 0, 0, 20,
                "Foreground sigma correction"));

SEQFX_EXPORT void plugin_seq_doit(void *params, float factor0, float, int width, int height,
                                  ImageBuffer *ibuf1, ImageBuffer *, ImageBuffer *out, ImageBuffer *) {
  Params *p = static_cast<Params *>(params);
  // A missing first strip has no depth either.
  if (!ibuf1 || !ibuf1->zbuf) {
    buferror(out);
    lout("Error: input has no z-buffer");
    return;
  }
  // Without the first strip's pixels, or a place for the result, there is
  // nothing to blur: the frame is left as it is.
  if (!ibuf1->rect || !out || !out->rect) return;
  if (width <= 0 || height <= 0) return;
  // The blur radius is held to its slider's range: outside it the kernels
  // and blur windows would have no sensible size.
  float blursize = p->blursize;
  if (!(blursize >= 2.0f)) blursize = 2.0f;
  if (blursize > 30.0f) blursize = 30.0f;

  Img *front = alloc_img(width, height, kMask);
  Img *back = alloc_img(width, height, kMask);
  Img *a = alloc_img(width, height, kColour);
  if (!front || !back || !a) {
    release(a, front, back, nullptr, nullptr, nullptr);
    out_of_memory(out);
    return;
  }
  // A first strip of another size than the frame cannot be read pixel for
  // pixel against the masks: the frame is left as it is.
  if (!imbuf2img(ibuf1, a)) {
    release(a, front, back, nullptr, nullptr, nullptr);
    return;
  }

  const int zmin = depth_of(p->zmin);
  int focus;
  if (p->autofocus) {
    focus = autofocus(ibuf1);
    p->focus = fraction_of(focus);
    std::printf("autofocus: %f\n", (double)p->focus);
  } else if (p->ipofocus) {
    focus = depth_of(factor0);
  } else {
    focus = depth_of(p->focus);
  }
  if (zmin >= focus) {
    buferror(out);
    lout("Error: Zmin too big!");
    release(a, front, back, nullptr, nullptr, nullptr);
    return;
  }

  zsplit(ibuf1, front, back, focus, 2147483647, zmin);
  lout("blurring background zbuffer");
  gauss_blur(back, 1.0f);
  lout("blurring foreground zbuffer");
  gauss_blur(front, blursize);

  if (p->show_zfront || p->show_zback) {
    g2rgb(p->show_zfront ? front->data : back->data, a->data, a->count);
    img2imbuf(a, out);
    release(a, front, back, nullptr, nullptr, nullptr);
    return;
  }

  // Both blurs use the same kernels: they are built once for the frame.
  Mask **ladder = init_masks(kLevels, blursize);
  if (!ladder) {
    release(a, front, back, nullptr, nullptr, nullptr);
    out_of_memory(out);
    return;
  }
  lout("blurring background");
  Img *d = defocus(a, back, ladder);
  free_img(a);
  if (!d) {
    release(nullptr, front, back, nullptr, nullptr, ladder);
    out_of_memory(out);
    return;
  }
  lout("blurring foreground");
  Img *r = defocus2(d, front, ladder, p->sigma);
  if (!r) {
    release(nullptr, front, back, d, nullptr, ladder);
    out_of_memory(out);
    return;
  }
  if (p->gamma != 1.0f) zgamma(r, back, p->gamma);
  img2imbuf(r, out);
  release(r, d, front, back, nullptr, ladder);

  if (imagemem() != 0) df_warn("some memory not deallocated");
  lout("done");
}

SEQFX_STANDARD_ENTRIES(g_name, varstr, g_cfra, plugin_seq_doit)
