#include "overprint_picture.h"

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace overprint_picture {

bool write_pgm(const std::string &path, const Grey &g) {
  std::ofstream f(path, std::ios::binary);
  f << "P5\n" << g.width << " " << g.height << "\n255\n";
  f.write(reinterpret_cast<const char *>(g.pixels.data()), (std::streamsize)g.pixels.size());
  return (bool)f;
}

Grey read_pgm(const std::string &path) {
  Grey g;
  std::ifstream f(path, std::ios::binary);
  std::string magic;
  int w = 0, h = 0, maxval = 0;
  if (!(f >> magic >> w >> h >> maxval) || magic != "P5" || maxval != 255 || w <= 0 || h <= 0) return g;
  f.get();  // the one blank after the header
  std::vector<unsigned char> px((size_t)w * h);
  if (!f.read(reinterpret_cast<char *>(px.data()), (std::streamsize)px.size())) return g;
  g.width = w;
  g.height = h;
  g.pixels = std::move(px);
  return g;
}

namespace {

std::uint32_t crc32(const unsigned char *p, size_t n, std::uint32_t crc = 0) {
  crc = ~crc;
  for (size_t i = 0; i < n; ++i) {
    crc ^= p[i];
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

void put32(std::string &s, std::uint32_t v) {
  for (int i = 3; i >= 0; --i) s.push_back((char)(v >> (8 * i) & 0xFF));
}

void chunk(std::string &png, const char *type, const std::string &data) {
  put32(png, (std::uint32_t)data.size());
  std::string body = std::string(type, 4) + data;
  png += body;
  put32(png, crc32(reinterpret_cast<const unsigned char *>(body.data()), body.size()));
}

}  // namespace

bool write_png(const std::string &path, const Grey &g, int scale) {
  const int w = g.width * scale, h = g.height * scale;
  // Filter byte 0 and the row, top row first.
  std::string raw;
  for (int y = 0; y < h; ++y) {
    raw.push_back(0);
    for (int x = 0; x < w; ++x) raw.push_back((char)g.pixels[(size_t)(y / scale) * g.width + x / scale]);
  }
  // A zlib stream of stored deflate blocks, with its Adler-32 sum.
  std::string z = "\x78\x01";
  for (size_t at = 0; at < raw.size() || at == 0;) {
    const size_t n = raw.size() - at < 65535 ? raw.size() - at : 65535;
    const bool last = at + n == raw.size();
    z.push_back(last ? 1 : 0);
    z.push_back((char)(n & 0xFF));
    z.push_back((char)(n >> 8));
    z.push_back((char)(~n & 0xFF));
    z.push_back((char)((~n >> 8) & 0xFF));
    z.append(raw, at, n);
    at += n;
    if (last) break;
  }
  std::uint32_t a = 1, b = 0;
  for (unsigned char c : raw) {
    a = (a + c) % 65521;
    b = (b + a) % 65521;
  }
  put32(z, b << 16 | a);

  std::string png = "\x89PNG\r\n\x1a\n";
  std::string ihdr;
  put32(ihdr, (std::uint32_t)w);
  put32(ihdr, (std::uint32_t)h);
  ihdr += std::string("\x08\x00\x00\x00\x00", 5);  // 8-bit grey, no interlace
  chunk(png, "IHDR", ihdr);
  chunk(png, "IDAT", z);
  chunk(png, "IEND", "");
  std::ofstream f(path, std::ios::binary);
  f.write(png.data(), (std::streamsize)png.size());
  return (bool)f;
}

}  // namespace overprint_picture
