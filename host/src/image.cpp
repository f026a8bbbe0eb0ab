#include "seqfx/image.h"

#include "seqfx/error.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

namespace seqfx {

namespace {
// A plane of count elements, cleared unless the caller fills it itself.
template <typename T>
T *plane(std::size_t count, bool clear = true) {
  // At least one element, so that a 0-pixel image still has a valid plane.
  if (!count) count = 1;
  void *p = clear ? std::calloc(count, sizeof(T)) : std::malloc(count * sizeof(T));
  if (!p) throw HostError("out of memory for an image plane");
  return static_cast<T *>(p);
}
}  // namespace

Image::Image(int width, int height, bool with_rect) : width_(width), height_(height) {
  if (width < 0 || height < 0 || width > 32767 || height > 32767)
    throw HostError("image size " + std::to_string(width) + "x" + std::to_string(height) +
                    " is outside 0..32767");
  record_ = static_cast<ImageBuffer *>(std::calloc(1, sizeof(ImageBuffer)));
  if (!record_) throw HostError("out of memory for an image record");
  record_->xsize = (short)width;
  record_->ysize = (short)height;
  if (with_rect) add_rect();
}

Image Image::unfilled(int width, int height) {
  Image img(width, height, false);
  img.record_->rect = img.own_rect_ = plane<unsigned char>(img.pixels() * 4, false);
  return img;
}

Image::~Image() { release(); }

void Image::release() {
  if (!record_) return;
  std::free(own_rect_);
  std::free(own_zbuf_);
  std::free(own_float_);
  std::free(record_);
  record_ = nullptr;
  own_rect_ = nullptr;
  own_zbuf_ = nullptr;
  own_float_ = nullptr;
}

Image::Image(Image &&o) noexcept { *this = std::move(o); }

Image &Image::operator=(Image &&o) noexcept {
  if (this == &o) return *this;
  release();
  width_ = o.width_;
  height_ = o.height_;
  record_ = std::exchange(o.record_, nullptr);
  own_rect_ = std::exchange(o.own_rect_, nullptr);
  own_zbuf_ = std::exchange(o.own_zbuf_, nullptr);
  own_float_ = std::exchange(o.own_float_, nullptr);
  return *this;
}

unsigned char *Image::add_rect() {
  if (!record_->rect) {
    std::free(own_rect_);
    record_->rect = own_rect_ = plane<unsigned char>(pixels() * 4);
  }
  return record_->rect;
}

int *Image::add_zbuf() {
  if (!record_->zbuf) {
    std::free(own_zbuf_);
    record_->zbuf = own_zbuf_ = plane<int>(pixels());
  }
  return record_->zbuf;
}

float *Image::add_floatbuf() {
  if (!record_->floatbuf) {
    std::free(own_float_);
    record_->floatbuf = own_float_ = plane<float>(pixels() * 4);
  }
  return record_->floatbuf;
}

void Image::drop_rect() {
  std::free(own_rect_);
  own_rect_ = nullptr;
  record_->rect = nullptr;
}

void Image::drop_zbuf() {
  std::free(own_zbuf_);
  own_zbuf_ = nullptr;
  record_->zbuf = nullptr;
}

void Image::drop_floatbuf() {
  std::free(own_float_);
  own_float_ = nullptr;
  record_->floatbuf = nullptr;
}

void Image::set_name(const std::string &name) {
  std::memset(record_->name, 0, sizeof(record_->name));
  std::strncpy(record_->name, name.c_str(), sizeof(record_->name) - 1);
}

void Image::adopt_module_zbuf() {
  if (!record_->zbuf || record_->zbuf == own_zbuf_) return;
  std::free(own_zbuf_);
  own_zbuf_ = record_->zbuf;
}

bool Image::owns_zbuf() const { return record_->zbuf && record_->zbuf == own_zbuf_; }

void Image::fill(unsigned char r, unsigned char g, unsigned char b, unsigned char a) {
  unsigned char *p = record_->rect;
  if (!p) return;
  for (std::size_t i = 0, n = pixels(); i < n; ++i, p += 4) {
    p[0] = r;
    p[1] = g;
    p[2] = b;
    p[3] = a;
  }
}

}  // namespace seqfx
