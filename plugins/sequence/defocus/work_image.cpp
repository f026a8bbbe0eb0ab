#include "work_image.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace dof {

namespace {

int g_imagemem = 0;
short g_proglast = 0;
const char *g_working = "|/-\\";

// The counter wraps instead of overflowing on frames too large to fit it;
// it still returns to 0 when every block is given back.
void count_bytes(std::int64_t bytes) {
  g_imagemem = (int)(std::uint32_t)((std::uint32_t)g_imagemem + (std::uint32_t)(std::uint64_t)bytes);
}

int type_size(int type) {
  switch (type) {
    case kColour: return 3;
    case kFourBytes: return 4;
    case kMask: return 1;
    case kFloat: return 4;
    case kFloat3: return 12;
    case kEightBytes: return 8;
    default: return 0;  // 3 and unknown types are not supported
  }
}

}  // namespace

int imagemem() { return g_imagemem; }

void lout(const char *text) { std::printf("%s\n", text); }

void df_warn(const char *text) {
  char line[96];
  std::snprintf(line, sizeof line, "Warning: %.70s", text);
  lout(line);
}

void progress(int done, int total) {
  std::printf("  [%c]   %3d%%\r", g_working[g_proglast], total ? done * 100 / total : 100);
  g_proglast = (short)((g_proglast + 1) % 4);
}

Img *alloc_img(int width, int height, int type) {
  const int size = type_size(type);
  if (size == 0 || width < 0 || height < 0) return nullptr;
  const std::uint64_t bytes = (std::uint64_t)width * (std::uint64_t)height * (std::uint64_t)size;
  if (bytes > (std::uint64_t)SIZE_MAX - sizeof(Img)) {
    errno = ENOMEM;
    return nullptr;
  }
  Img *img = static_cast<Img *>(std::calloc(1, sizeof(Img) + (size_t)bytes));
  if (!img) return nullptr;
  img->width = width;
  img->height = height;
  img->count = width * height;
  img->size = size;
  img->type = type;
  img->data = reinterpret_cast<unsigned char *>(img + 1);
  count_bytes((std::int64_t)bytes + (std::int64_t)sizeof(Img));
  return img;
}

int free_img(Img *img) {
  if (img) {
    count_bytes(-((std::int64_t)img->count * img->size + (std::int64_t)sizeof(Img)));
    std::free(img);
  }
  return 1;
}

Mask *alloc_mask(int e) {
  const size_t taps = (size_t)(2 * e + 1) * (size_t)(2 * e + 1);
  Mask *m = static_cast<Mask *>(std::calloc(1, sizeof(Mask) + taps * sizeof(float)));
  if (!m) return nullptr;
  m->e = e;
  m->factor = 1.0f;
  m->data = reinterpret_cast<float *>(m + 1);
  count_bytes((std::int64_t)(taps * sizeof(float) + sizeof(Mask)));
  return m;
}

void free_mask(Mask *m) {
  if (!m) return;
  const size_t taps = (size_t)(2 * m->e + 1) * (size_t)(2 * m->e + 1);
  count_bytes(-(std::int64_t)(taps * sizeof(float) + sizeof(Mask)));
  std::free(m);
}

void norm_mask(Mask *m) {
  const int taps = (2 * m->e + 1) * (2 * m->e + 1);
  for (int i = 0; i < taps; ++i) m->data[i] *= m->factor;
  m->factor = 1.0f;
}

void g2rgb(const unsigned char *mask, unsigned char *colour, int count) {
  for (int i = 0; i < count; ++i) colour[3 * i] = colour[3 * i + 1] = colour[3 * i + 2] = mask[i];
}

bool imbuf2img(const ImageBuffer *ib, Img *img) {
  if (ib->xsize != img->width || ib->ysize != img->height) {
    df_warn("wrong resolution");
    return false;
  }
  const unsigned char *s = ib->rect;
  unsigned char *d = img->data;
  for (int i = 0; i < img->count; ++i, s += 4, d += 3) {
    d[0] = s[0];
    d[1] = s[1];
    d[2] = s[2];
  }
  return true;
}

bool img2imbuf(const Img *img, ImageBuffer *ib) {
  if (ib->xsize != img->width || ib->ysize != img->height) {
    df_warn("wrong resolution");
    return false;
  }
  const unsigned char *s = img->data;
  unsigned char *d = ib->rect;
  for (int i = 0; i < img->count; ++i, s += 3, d += 4) {
    d[0] = s[0];
    d[1] = s[1];
    d[2] = s[2];
    d[3] = 255;
  }
  return true;
}

void buferror(ImageBuffer *ib) {
  if (!ib || !ib->rect) return;
  unsigned char *d = ib->rect;
  const long n = ib->xsize > 0 && ib->ysize > 0 ? (long)ib->xsize * ib->ysize : 0;
  for (long i = 0; i < n; ++i, d += 4) {
    d[0] = 255;
    d[1] = 0;
    d[2] = 0;
    d[3] = 0;
  }
}

}  // namespace dof
