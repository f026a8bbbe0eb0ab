// defocus: working images and kernels, the console helpers and the memory
// counter that checks every frame gives back what it took.
#pragma once

#include "seqfx_plugin.h"

namespace dof {

// Pixel types of a working image and their sizes in bytes.
enum ImgType { kColour = 0, kFourBytes = 1, kMask = 2, kFloat = 4, kFloat3 = 5, kEightBytes = 6 };

// A working image: header and zero-filled pixel data in one block.
struct Img {
  int width, height, count, size, type;
  unsigned char *data;
};

// A (2e + 1)^2 kernel of floats, row by row (row dy + e, column dx + e).
struct Mask {
  int e;
  float factor;
  float *data;
  const float *at(int dy, int dx) const { return data + (dy + e) * (2 * e + 1) + (dx + e); }
};

// Bytes currently held in working images and kernels.
int imagemem();

void lout(const char *text);
void df_warn(const char *text);
void progress(int done, int total);

Img *alloc_img(int width, int height, int type);
int free_img(Img *img);
Mask *alloc_mask(int e);
void free_mask(Mask *m);
void norm_mask(Mask *m);

void g2rgb(const unsigned char *mask, unsigned char *colour, int count);
// Both return false (after "wrong resolution") when the sizes differ.
bool imbuf2img(const ImageBuffer *ib, Img *img);
bool img2imbuf(const Img *img, ImageBuffer *ib);
void buferror(ImageBuffer *ib);

}  // namespace dof
