#include "picture.h"

#include "seqfx/error.h"

#include <OpenImageIO/imageio.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

namespace seqfx_cli {

using seqfx::HostError;
namespace OIIO = OIIO_NAMESPACE;

namespace {

std::string lower_ext(const std::string &path) {
  const std::size_t slash = path.find_last_of('/');
  const std::size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string e = path.substr(dot + 1);
  for (char &c : e) c = (char)std::tolower((unsigned char)c);
  return e;
}

// The last OpenImageIO error without its trailing newline.
std::string oiio_error(std::unique_ptr<OIIO::ImageInput> *in = nullptr,
                       std::unique_ptr<OIIO::ImageOutput> *out = nullptr) {
  std::string e;
  if (in && *in) e = (*in)->geterror();
  if (out && *out && e.empty()) e = (*out)->geterror();
  if (e.empty()) e = OIIO::geterror();
  const std::size_t nl = e.find('\n');
  if (nl != std::string::npos) e.resize(nl);
  return e.empty() ? "unknown error" : e;
}

int channel_named(const OIIO::ImageSpec &spec, std::initializer_list<const char *> names) {
  for (const char *n : names)
    for (int c = 0; c < spec.nchannels; ++c) {
      std::string cn = spec.channel_name(c);
      // Layered files name channels "layer.Z".
      const std::size_t dot = cn.find_last_of('.');
      if (dot != std::string::npos) cn = cn.substr(dot + 1);
      if (cn == n) return c;
    }
  return -1;
}

struct RawFile {
  int width = 0, height = 0, channels = 0;
  OIIO::ImageSpec spec;
  std::vector<float> data;  // top-down, channels interleaved
};

RawFile read_raw(const std::string &path) {
  // Pixels as the file holds them: colour not multiplied by alpha.
  OIIO::ImageSpec config;
  config.attribute("oiio:UnassociatedAlpha", 1);
  auto in = OIIO::ImageInput::open(path, &config);
  if (!in) {
    std::FILE *f = std::fopen(path.c_str(), "rb");
    if (!f) throw HostError("cannot read " + path + ": " + std::strerror(errno));
    std::fclose(f);
    throw HostError("cannot read " + path + ": " + oiio_error());
  }
  RawFile r;
  r.spec = in->spec();
  r.width = r.spec.width;
  r.height = r.spec.height;
  r.channels = r.spec.nchannels;
  if (r.width <= 0 || r.height <= 0 || r.width > 32767 || r.height > 32767)
    throw HostError(path + ": picture size " + std::to_string(r.width) + "x" + std::to_string(r.height) +
                    " is outside 1..32767");
  r.data.resize((std::size_t)r.width * r.height * r.channels);
  if (!in->read_image(0, 0, 0, r.channels, OIIO::TypeDesc::FLOAT, r.data.data()))
    throw HostError("cannot read " + path + ": " + oiio_error(&in));
  in->close();
  return r;
}

unsigned char to_byte(float v) {
  if (!(v > 0.0f)) return 0;
  if (v >= 1.0f) return 255;
  return (unsigned char)(int)(v * 255.0f + 0.5f);
}

}  // namespace

bool is_float_format(const std::string &path) {
  const std::string e = lower_ext(path);
  return e == "exr" || e == "hdr" || e == "pfm";
}

bool is_depth_format(const std::string &path) {
  const std::string e = lower_ext(path);
  return e == "exr" || e == "tif" || e == "tiff" || e == "pfm";
}

bool is_picture_name(const std::string &path) {
  const std::string e = lower_ext(path);
  if (e.empty()) return false;
  auto out = OIIO::ImageOutput::create("x." + e);
  return out != nullptr;
}

Picture read_picture(const std::string &path, bool want_float) {
  RawFile r = read_raw(path);
  Picture p;
  p.image = seqfx::Image(r.width, r.height);
  p.deep = r.spec.format.size() > 1;
  const int R = channel_named(r.spec, {"R", "r", "Y"}), G = channel_named(r.spec, {"G", "g"}),
            B = channel_named(r.spec, {"B", "b"}), A = std::max(r.spec.alpha_channel, channel_named(r.spec, {"A", "a"}));
  const int Z = std::max(r.spec.z_channel, channel_named(r.spec, {"Z", "depth"}));
  // Colour channels by name, else by position (grey, grey+alpha, RGB...).
  int src[3];
  if (R >= 0 && G >= 0 && B >= 0) {
    src[0] = R, src[1] = G, src[2] = B;
  } else {
    const int first = R >= 0 ? R : 0;
    const bool grey = r.channels < 3 || (R >= 0 && G < 0);
    for (int c = 0; c < 3; ++c) src[c] = grey ? first : c;
  }
  const int alpha = A >= 0 ? A : (r.channels == 2 || r.channels == 4 ? r.channels - 1 : -1);
  float *fb = want_float ? p.image.add_floatbuf() : nullptr;
  if (Z >= 0) p.depth.resize(p.image.pixels());
  for (int y = 0; y < r.height; ++y) {
    const float *row = &r.data[(std::size_t)(r.height - 1 - y) * r.width * r.channels];
    for (int x = 0; x < r.width; ++x) {
      const float *s = row + (std::size_t)x * r.channels;
      const std::size_t i = (std::size_t)y * r.width + x;
      float v[4] = {s[src[0]], s[src[1]], s[src[2]], alpha >= 0 && alpha != Z ? s[alpha] : 1.0f};
      unsigned char *d = p.image.rect() + 4 * i;
      for (int c = 0; c < 4; ++c) d[c] = to_byte(v[c]);
      if (fb)
        for (int c = 0; c < 4; ++c) fb[4 * i + c] = v[c];
      if (Z >= 0) p.depth[i] = s[Z];
    }
  }
  return p;
}

std::vector<float> read_depth(const std::string &path, int width, int height) {
  RawFile r = read_raw(path);
  if (r.width != width || r.height != height)
    throw HostError("depth picture " + path + " is " + std::to_string(r.width) + "x" +
                    std::to_string(r.height) + ", the frame " + std::to_string(width) + "x" +
                    std::to_string(height));
  int z = std::max(r.spec.z_channel, channel_named(r.spec, {"Z", "depth"}));
  if (z < 0) z = 0;
  std::vector<float> d((std::size_t)width * height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      d[(std::size_t)y * width + x] = r.data[((std::size_t)(height - 1 - y) * width + x) * r.channels + z];
  return d;
}

namespace {

void write_file(const std::string &path, const std::string &final_name, OIIO::ImageSpec spec,
                const void *top_down, OIIO::TypeDesc type) {
  spec.attribute("oiio:UnassociatedAlpha", 1);
  auto out = OIIO::ImageOutput::create(final_name);
  if (!out) throw HostError("cannot write " + final_name + ": no writer for this kind of file");
  if (spec.nchannels == 4 && !out->supports("alpha")) {
    // Drop alpha for formats without it (JPEG, ...).
    const std::size_t n = (std::size_t)spec.width * spec.height;
    const std::size_t size = type.size();
    std::vector<unsigned char> rgb(n * 3 * size);
    const unsigned char *s = static_cast<const unsigned char *>(top_down);
    for (std::size_t i = 0; i < n; ++i) std::memcpy(&rgb[i * 3 * size], s + i * 4 * size, 3 * size);
    spec = OIIO::ImageSpec(spec.width, spec.height, 3, spec.format);
    if (!out->open(path, spec) || !out->write_image(type, rgb.data()) || !out->close())
      throw HostError("cannot write " + final_name + ": " + oiio_error(nullptr, &out));
    return;
  }
  if (!out->open(path, spec) || !out->write_image(type, top_down) || !out->close())
    throw HostError("cannot write " + final_name + ": " + oiio_error(nullptr, &out));
}

}  // namespace

void write_picture(const std::string &path, const std::string &final_name, const seqfx::Image &img,
                   bool with_float) {
  const int w = img.width(), h = img.height();
  const bool use_float = with_float && img.floatbuf() && is_float_format(final_name);
  const bool float_file = is_float_format(final_name);
  if (float_file) {
    std::vector<float> px((std::size_t)w * h * 4);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const std::size_t s = (std::size_t)y * w + x, d = ((std::size_t)(h - 1 - y) * w + x) * 4;
        for (int c = 0; c < 4; ++c)
          px[d + c] = use_float ? img.floatbuf()[4 * s + c] : img.rect()[4 * s + c] / 255.0f;
      }
    OIIO::ImageSpec spec(w, h, 4, OIIO::TypeDesc::FLOAT);
    spec.alpha_channel = 3;
    write_file(path, final_name, spec, px.data(), OIIO::TypeDesc::FLOAT);
    return;
  }
  std::vector<unsigned char> px((std::size_t)w * h * 4);
  for (int y = 0; y < h; ++y)
    std::memcpy(&px[(std::size_t)(h - 1 - y) * w * 4], img.rect() + (std::size_t)y * w * 4, (std::size_t)w * 4);
  OIIO::ImageSpec spec(w, h, 4, OIIO::TypeDesc::UINT8);
  spec.alpha_channel = 3;
  write_file(path, final_name, spec, px.data(), OIIO::TypeDesc::UINT8);
}

void write_depth(const std::string &path, const std::string &final_name, const float *distances,
                 int width, int height) {
  std::vector<float> px((std::size_t)width * height);
  for (int y = 0; y < height; ++y)
    std::memcpy(&px[(std::size_t)(height - 1 - y) * width], distances + (std::size_t)y * width,
                (std::size_t)width * sizeof(float));
  OIIO::ImageSpec spec(width, height, 1, OIIO::TypeDesc::FLOAT);
  spec.channelnames = {"Z"};
  spec.z_channel = 0;
  write_file(path, final_name, spec, px.data(), OIIO::TypeDesc::FLOAT);
}

}  // namespace seqfx_cli
