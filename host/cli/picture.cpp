#include "picture.h"

#include "colour_files.h"
#include "seqfx/error.h"

#include <OpenImageIO/imageio.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>

#include <sys/stat.h>
#include <unistd.h>

namespace seqfx_cli {

using seqfx::HostError;
namespace OIIO = OIIO_NAMESPACE;

namespace {

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

// A header may claim any size. Before anything is allocated for it, the
// claim is held against what the file can hold (no picture format packs
// more than about a thousand samples into a byte; 2048 leaves room) and
// against half of the machine's memory.
constexpr std::uint64_t kSamplesPerFileByte = 2048;

std::uint64_t memory_limit() {
  const long pages = sysconf(_SC_PHYS_PAGES), page = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || page <= 0) return (std::uint64_t)4 << 30;
  return (std::uint64_t)pages * (std::uint64_t)page / 2;
}

std::string megabytes(std::uint64_t bytes) { return std::to_string((bytes + (1u << 20) - 1) >> 20) + " MB"; }

void check_claimed_size(const std::string &path, const OIIO::ImageSpec &spec, bool want_float) {
  const std::uint64_t pixels = (std::uint64_t)spec.width * (std::uint64_t)spec.height;
  const std::uint64_t samples = pixels * (std::uint64_t)std::max(1, spec.nchannels);
  struct stat st;
  if (stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
      samples > (std::uint64_t)st.st_size * kSamplesPerFileByte)
    throw HostError(path + ": its header claims a " + std::to_string(spec.width) + "x" +
                    std::to_string(spec.height) + " picture, more than a file of " +
                    std::to_string((long long)st.st_size) + " bytes can hold (a damaged file?)");
  // The file's samples as floats, the float RGBA being converted, the pixel
  // plane and the float plane.
  const std::uint64_t need = samples * 4 + pixels * 16 + pixels * 4 + (want_float ? pixels * 16 : 0);
  const std::uint64_t limit = memory_limit();
  if (need > limit)
    throw HostError(path + ": a " + std::to_string(spec.width) + "x" + std::to_string(spec.height) +
                    " picture needs " + megabytes(need) + ", more than the " + megabytes(limit) +
                    " this machine allows");
}

// libjpeg reads a cut-off file as if it were whole, padding the missing
// part, and only warns; a complete file ends with the end-of-image marker
// (0xFF 0xD9), possibly followed by padding.
bool jpeg_is_cut_off(const std::string &path) {
  std::FILE *f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  unsigned char tail[4096];
  long size = 0;
  if (std::fseek(f, 0, SEEK_END) == 0) size = std::ftell(f);
  const long n = std::min<long>(size, (long)sizeof tail);
  bool cut = true;
  if (n >= 2 && std::fseek(f, size - n, SEEK_SET) == 0 && std::fread(tail, 1, (size_t)n, f) == (size_t)n) {
    long i = n;
    while (i > 2 && (tail[i - 1] == 0 || tail[i - 1] == '\n' || tail[i - 1] == '\r' || tail[i - 1] == ' '))
      --i;
    cut = !(tail[i - 2] == 0xFF && tail[i - 1] == 0xD9);
  }
  std::fclose(f);
  return cut;
}

RawFile read_raw(const std::string &path, bool want_float = false) {
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
  check_claimed_size(path, r.spec, want_float);
  try {
    r.data.resize((std::size_t)r.width * r.height * r.channels);
  } catch (const std::bad_alloc &) {
    throw HostError(path + ": not enough memory for a " + std::to_string(r.width) + "x" +
                    std::to_string(r.height) + " picture");
  }
  if (!in->read_image(0, 0, 0, r.channels, OIIO::TypeDesc::FLOAT, r.data.data()))
    throw HostError("cannot read " + path + ": " + oiio_error(&in));
  const bool jpeg = std::string(in->format_name()) == "jpeg";
  in->close();
  if (jpeg && jpeg_is_cut_off(path)) throw HostError("cannot read " + path + ": the file is cut off (truncated JPEG)");
  return r;
}

}  // namespace

bool is_picture_name(const std::string &path) {
  const std::string e = picture_extension(path);
  if (e.empty()) return false;
  auto out = OIIO::ImageOutput::create("x." + e);
  return out != nullptr;
}

namespace {

// An image can fail for memory too; the message then names the file.
seqfx::Image image_for(const std::string &path, int w, int h) {
  try {
    return seqfx::Image(w, h);
  } catch (const HostError &e) {
    throw HostError(path + ": " + e.what());
  }
}

Picture picture_from(const std::string &path, RawFile r, bool want_float, Space chosen) {
  Picture p;
  p.image = image_for(path, r.width, r.height);
  p.deep = r.spec.format.size() > 1;
  p.space = chosen_or(chosen, guess_space(r.spec));
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
  // RGBA in record order, as the file holds the values.
  const std::size_t n = p.image.pixels();
  std::vector<float> px(n * 4);
  if (Z >= 0) p.depth.resize(n);
  for (int y = 0; y < r.height; ++y) {
    const float *row = &r.data[(std::size_t)(r.height - 1 - y) * r.width * r.channels];
    for (int x = 0; x < r.width; ++x) {
      const float *s = row + (std::size_t)x * r.channels;
      const std::size_t i = (std::size_t)y * r.width + x;
      float *v = &px[4 * i];
      for (int c = 0; c < 3; ++c) v[c] = s[src[c]];
      v[3] = alpha >= 0 && alpha != Z ? s[alpha] : 1.0f;
      if (Z >= 0) p.depth[i] = s[Z];
    }
  }
  r.data = std::vector<float>();  // freed before the planes grow
  if (want_float) {
    try {
      std::memcpy(p.image.add_floatbuf(), px.data(), n * 4 * sizeof(float));
    } catch (const HostError &e) {
      throw HostError(path + ": " + e.what());
    }
  }
  // Bytes are display-referred.
  convert(px.data(), r.width, r.height, p.space, Space::Srgb);
  unsigned char *d = p.image.rect();
  bool clipped = false;
  for (std::size_t i = 0; i < n * 4; ++i) {
    clipped |= (i & 3) != 3 && px[i] > 1.0f;
    d[i] = to_byte(px[i]);
  }
  p.clipped = clipped;
  return p;
}

}  // namespace

Picture read_picture(const std::string &path, bool want_float, Space chosen) {
  try {
    return picture_from(path, read_raw(path, want_float), want_float, chosen);
  } catch (const std::bad_alloc &) {
    throw HostError(path + ": not enough memory to read this picture");
  }
}

std::vector<float> read_depth(const std::string &path, int width, int height) try {
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
} catch (const std::bad_alloc &) {
  throw HostError(path + ": not enough memory to read this depth picture");
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
    OIIO::ImageSpec rgb_spec(spec.width, spec.height, 3, spec.format);
    rgb_spec.extra_attribs = spec.extra_attribs;  // keeps the colour label
    spec = rgb_spec;
    if (!out->open(path, spec) || !out->write_image(type, rgb.data()) || !out->close())
      throw HostError("cannot write " + final_name + ": " + oiio_error(nullptr, &out));
    return;
  }
  if (!out->open(path, spec) || !out->write_image(type, top_down) || !out->close())
    throw HostError("cannot write " + final_name + ": " + oiio_error(nullptr, &out));
}

}  // namespace

void write_picture(const std::string &path, const std::string &final_name, const seqfx::Image &img,
                   bool with_float, OutputColour colour) {
  const int w = img.width(), h = img.height();
  const std::size_t n = img.pixels();
  const bool float_file = is_float_format(final_name);
  const bool use_float = with_float && img.floatbuf() && float_file;
  const Space file_space = chosen_or(colour.file, default_output_space(final_name));
  // Bytes in sRGB go into an sRGB byte file as they are; everything else
  // passes through float RGBA and is converted.
  if (!float_file && (file_space == Space::Srgb || file_space == Space::Raw)) {
    std::vector<unsigned char> px(n * 4);
    for (int y = 0; y < h; ++y)
      std::memcpy(&px[(std::size_t)(h - 1 - y) * w * 4], img.rect() + (std::size_t)y * w * 4, (std::size_t)w * 4);
    OIIO::ImageSpec spec(w, h, 4, OIIO::TypeDesc::UINT8);
    spec.alpha_channel = 3;
    label(spec, file_space);
    write_file(path, final_name, spec, px.data(), OIIO::TypeDesc::UINT8);
    return;
  }
  std::vector<float> px(n * 4);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const std::size_t s = (std::size_t)y * w + x, d = ((std::size_t)(h - 1 - y) * w + x) * 4;
      for (int c = 0; c < 4; ++c)
        px[d + c] = use_float ? img.floatbuf()[4 * s + c] : img.rect()[4 * s + c] / 255.0f;
    }
  convert(px.data(), w, h, use_float ? colour.floats : Space::Srgb, file_space);
  OIIO::ImageSpec spec(w, h, 4, float_file ? OIIO::TypeDesc::FLOAT : OIIO::TypeDesc::UINT8);
  spec.alpha_channel = 3;
  label(spec, file_space);
  if (float_file) {
    write_file(path, final_name, spec, px.data(), OIIO::TypeDesc::FLOAT);
    return;
  }
  std::vector<unsigned char> bytes(n * 4);
  for (std::size_t i = 0; i < n * 4; ++i) bytes[i] = to_byte(px[i]);
  write_file(path, final_name, spec, bytes.data(), OIIO::TypeDesc::UINT8);
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
