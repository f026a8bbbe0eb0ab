/*
 * Pixel access for the two-strip transitions: whole-pixel copies and the
 * part of a frame that every image of a call really holds.
 *
 * Each image is addressed with its own row length (pixel (x, y) at
 * y * xsize + x). A transition draws only the rectangle that the frame and
 * every image it reads or writes cover, so an image record smaller than the
 * frame is never overrun; the rest of the output is left as it was.
 */
#ifndef SEQFX_STRIP_PAIR_H
#define SEQFX_STRIP_PAIR_H

#include "seqfx_plugin.h"

#include <cstddef>
#include <cstring>
#include <initializer_list>

namespace strip_pair {

/* True for an image record with a pixel plane. */
inline bool has_pixels(const ImageBuffer *img) { return img && img->rect; }

/* Copies the 4 bytes of one pixel unchanged (src may equal dst). */
inline void use_ibuf(const unsigned char *src, unsigned char *dst) { std::memmove(dst, src, 4); }

/* A pixel plane with its row length in pixels. */
struct Plane {
  unsigned char *rect;
  std::size_t stride;

  explicit Plane(const ImageBuffer *img)
      : rect(img->rect), stride(img->xsize > 0 ? (std::size_t)img->xsize : 0) {}
  unsigned char *row(int y) const { return rect + 4 * stride * (std::size_t)y; }
  unsigned char *at(int x, int y) const { return row(y) + 4 * (std::size_t)x; }
};

/* The width and height that a w x h frame and every listed image cover
 * (0 when any of them is empty). */
struct Extent {
  int w, h;
};
inline Extent covered(int w, int h, std::initializer_list<const ImageBuffer *> imgs) {
  Extent e{w > 0 ? w : 0, h > 0 ? h : 0};
  for (const ImageBuffer *img : imgs) {
    const int x = img->xsize > 0 ? img->xsize : 0, y = img->ysize > 0 ? img->ysize : 0;
    if (x < e.w) e.w = x;
    if (y < e.h) e.h = y;
  }
  if (e.w == 0 || e.h == 0) e.w = e.h = 0;
  return e;
}

/* Copies columns [x0, x1) of row y from one plane to another (the planes
 * may be the same). */
inline void copy_span(const Plane &src, const Plane &dst, int y, int x0, int x1) {
  if (x1 > x0) std::memmove(dst.at(x0, y), src.at(x0, y), 4 * (std::size_t)(x1 - x0));
}

}  // namespace strip_pair

#endif /* SEQFX_STRIP_PAIR_H */
