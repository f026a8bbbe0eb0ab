// tonecut against a plain pixel-by-pixel model on random frames: odd sizes
// with every tail length, runs longer than the module's working run, keys
// taken from the frame's own colours so that candidates are common,
// settings beyond the table's ranges, the debug planes, and the output
// written over either input.

#include "seqfx_test.h"

#include <cmath>
#include <cstring>
#include <random>

using seqfx::Image;

namespace {

enum Row { kY, kU, kV, kTolY, kTolU, kTolV, kYOn, kUOn, kVOn, kBlend, kDebug };

struct Settings {
  float key[3], tol[3], blend;
  int on[3], debug;
};

struct Yuv {
  float y, u, v;
};

Yuv yuv(const unsigned char *px) {
  const float r = (float)(px[0] / 255.0), g = (float)(px[1] / 255.0), b = (float)(px[2] / 255.0);
  const float y = (float)(0.299 * r + 0.587 * g + 0.114 * b);
  const float by = b - y, ry = r - y;
  return {y, (float)(by * 0.492 * 255 / 244 + 0.5), (float)(ry * 0.877 * 255 / 314 + 0.5)};
}

unsigned char low_byte(float v) { return v > -2147483648.0f && v < 2147483648.0f ? (unsigned char)(int)v : 0; }

// The pixels of a frame keyed one at a time: a pixel that is no candidate
// keeps its foreground, whatever its neighbours and Blend are.
std::vector<unsigned char> model(const Settings &s, const std::vector<unsigned char> &fg,
                                 const std::vector<unsigned char> &bg) {
  const long n = (long)fg.size() / 4;
  std::vector<unsigned char> out(fg.size());
  std::vector<float> k(n);
  for (long i = 0; i < n; ++i) {
    const Yuv c = yuv(&fg[4 * i]);
    if (s.debug >= 0 && s.debug <= 2) {
      const float comp = s.debug == 0 ? c.y : s.debug == 1 ? c.u : c.v;
      const unsigned char g = (unsigned char)(int)(comp * 255.0);
      out[4 * i] = out[4 * i + 1] = out[4 * i + 2] = g;
      out[4 * i + 3] = 1;
      continue;
    }
    const float value[3] = {c.y, c.u, c.v};
    float sum = 0.0f;
    int count = 0;
    for (int ch = 0; ch < 3; ++ch) {
      const float d = std::fabs(value[ch] - s.key[ch]);
      if (s.on[ch] && d <= s.tol[ch]) sum += 1.0f - d / s.tol[ch], ++count;
    }
    const float m = count ? sum / count : 0.0f;
    k[i] = m > s.blend ? 1.0f : (m == 0.0f ? 0.0f : m / s.blend);
    if (!count) k[i] = 0.0f;
  }
  if (s.debug >= 0 && s.debug <= 2) return out;
  for (long i = 0; i < n; ++i)
    for (int c = 0; c < 4; ++c)
      out[4 * i + c] = low_byte((float)bg[4 * i + c] * k[i] + (float)fg[4 * i + c] * (1.0f - k[i]));
  return out;
}

float hostile(std::mt19937 &rng) {
  const float values[] = {NAN, INFINITY, -INFINITY, 0.0f, -0.0f, 1e-40f, -0.25f, 1e30f, 2.0f, -1e-7f};
  return values[rng() % 10];
}

Settings random_settings(std::mt19937 &rng, const Yuv &near) {
  std::uniform_real_distribution<float> unit(0, 1), tol(0.0001f, 0.5f), jitter(-0.05f, 0.05f);
  Settings s;
  const float at[3] = {near.y, near.u, near.v};
  for (int c = 0; c < 3; ++c) {
    s.key[c] = rng() % 8 == 0 ? hostile(rng) : (rng() % 2 ? at[c] + jitter(rng) : unit(rng));
    s.tol[c] = rng() % 8 == 0 ? hostile(rng) : tol(rng);
    s.on[c] = rng() % 8 == 0 ? (int)rng() : (int)(rng() % 2);
  }
  const int blend_kind = rng() % 8;
  s.blend = blend_kind == 0 ? hostile(rng) : blend_kind == 1 ? 0.0f : blend_kind == 2 ? 1.0f : unit(rng);
  const int debug_kind = rng() % 8;
  s.debug = debug_kind < 5 ? -1 : debug_kind == 5 ? (int)(rng() % 3) : debug_kind == 6 ? 3 : (int)rng();
  return s;
}

void store(seqfx::Plugin &p, const Settings &s) {
  for (int c = 0; c < 3; ++c) {
    std::memcpy(p.slot(kY + c), &s.key[c], 4);
    std::memcpy(p.slot(kTolY + c), &s.tol[c], 4);
    std::memcpy(p.slot(kYOn + c), &s.on[c], 4);
  }
  std::memcpy(p.slot(kBlend), &s.blend, 4);
  std::memcpy(p.slot(kDebug), &s.debug, 4);
}

TEST(TonecutRandom, MatchesThePixelModel) {
  auto p = seqfx_test::load("tonecut");
  std::mt19937 rng(2024);
  std::uniform_int_distribution<int> byte(0, 255), spread(-24, 24);
  for (int round = 0; round < 400; ++round) {
    // Widths 1..15 in a single row leave every tail after groups of four
    // and eight; the rest are odd frames, and some cross a run of 256.
    int w, h;
    if (round < 60) w = 1 + round % 15, h = 1 + round / 30;
    else if (round % 25 == 0) w = 259 + round % 7, h = 3;
    else w = 1 + (int)(rng() % 67), h = 1 + (int)(rng() % 41);
    const long n = (long)w * h;
    // Colours scattered around one colour of the frame, and some anywhere.
    unsigned char centre[3] = {(unsigned char)byte(rng), (unsigned char)byte(rng), (unsigned char)byte(rng)};
    std::vector<unsigned char> fg(4 * n), bg(4 * n);
    for (long i = 0; i < n; ++i)
      for (int c = 0; c < 4; ++c) {
        const int near = centre[c % 3] + spread(rng);
        fg[4 * i + c] = (unsigned char)(c < 3 && rng() % 4 ? (near < 0 ? 0 : near > 255 ? 255 : near) : byte(rng));
        bg[4 * i + c] = (unsigned char)byte(rng);
      }
    const Settings s = random_settings(rng, yuv(centre));
    store(*p, s);
    const std::vector<unsigned char> want = model(s, fg, bg);

    Image a(w, h), b(w, h), out(w, h);
    std::memcpy(a.rect(), fg.data(), fg.size());
    std::memcpy(b.rect(), bg.data(), bg.size());
    std::memset(out.rect(), 9, fg.size());
    const int target = round % 3;  // a separate image, the first strip, the second
    Image &written = target == 0 ? out : target == 1 ? a : b;
    p->call(1, 0, 0, w, h, a.record(), b.record(), written.record(), nullptr);
    for (long i = 0; i < n; ++i)
      ASSERT_EQ(0, std::memcmp(written.rect() + 4 * i, &want[4 * i], 4))
          << "round " << round << " " << w << "x" << h << " pixel " << i << " debug " << s.debug << " blend "
          << s.blend << " on " << s.on[0] << s.on[1] << s.on[2];
  }
}

}  // namespace
