// The float toolkit of backdropkey, called directly: the test links the
// module's internals (the module keeps those names to itself).

#include "float_toolkit.h"
#include "seqfx_alloc.h"

#include "seqfx_test.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

using Floats = std::vector<float>;

// A deterministic float image with values around and outside 0..1.
Floats pattern(int w, int h) {
  Floats f((std::size_t)w * h * 4);
  unsigned s = 12345;
  for (float &v : f) {
    s = s * 1103515245u + 12345u;
    v = (float)((s >> 8) % 2000) / 1500.0f - 0.1f;
  }
  return f;
}

// The blur as a plain loop per pixel and tap: the order every sum must keep.
Floats reference_blur(const Floats &src, int w, int h, float amount, int r, int channel) {
  const float k = (float)(-1.0 / (3.14159 * 2 * amount * amount));
  std::vector<float> wt;
  float sum = 0;
  for (int i = -r; i <= r; ++i) {
    wt.push_back((float)std::exp((double)(k * (float)(i * i))));
    sum += wt.back();
  }
  for (float &x : wt) x = x / sum;
  const int c = std::abs(channel) - 1;
  Floats tmp(src.size(), 0.0f), dst = src;
  auto at = [w](int x, int y, int ch) { return ((std::size_t)y * w + x) * 4 + ch; };
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      for (int i = -r; i <= r; ++i)
        for (int ch = 0; ch < 4; ++ch)
          if (c == 0 || ch == c)
            tmp[at(x, y, ch)] += src[at(std::clamp(x + i, 0, w - 1), y, ch)] * wt[i + r];
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      for (int ch = 0; ch < 4; ++ch) {
        if (c != 0 && ch != c) continue;
        float acc = 0;
        if (channel > 0) acc = tmp[at(x, y, ch)];
        else
          for (int i = -r; i <= r; ++i) acc += tmp[at(x, std::clamp(y + i, 0, h - 1), ch)] * wt[i + r];
        dst[at(x, y, ch)] = acc;
      }
  return dst;
}

TEST(BackdropkeyToolkit, ByteConversionRoundsOnceAndClamps) {
  unsigned char bytes[256], back[256];
  float f[256];
  for (int b = 0; b < 256; ++b) bytes[b] = (unsigned char)b;
  ch2fl(bytes, f, 256);
  fl2ch(f, back, 256);
  for (int b = 0; b < 256; ++b) {
    ASSERT_EQ(f[b], (float)(b / 255.0));
    ASSERT_EQ(back[b], b);
  }
  // 0x1.0101p-9 * 255 is a hair below 0.5: adding 0.5 in single precision
  // would round up to 1.
  const float in[] = {-0.2f, 1.3f, 0.5f, 0x1.0101p-9f, 0x1.010102p-9f, NAN, -INFINITY, INFINITY, 1e30f};
  unsigned char o[9];
  fl2ch(in, o, 9);
  EXPECT_EQ(std::vector<int>(o, o + 9), (std::vector<int>{0, 255, 128, 0, 1, 0, 0, 255, 255}));
  unsigned char keep = 7;
  float fkeep = 7;
  ch2fl(bytes, &fkeep, 0);
  fl2ch(in, &keep, -3);
  EXPECT_EQ(keep, 7);
  EXPECT_EQ(fkeep, 7.0f);
}

TEST(BackdropkeyToolkit, FastConversionsGiveTheDefinedValues) {
  // fl2ch against its definition: single product, 0.5 added in double.
  std::vector<float> in;
  for (std::uint32_t bits = 0; bits < 0x3F820000u; bits += 613) {
    float f;
    std::memcpy(&f, &bits, 4);
    in.push_back(f);
    in.push_back(-f);
  }
  for (int k = 0; k <= 256; ++k)  // around every rounding boundary
    for (float f = ((float)k - 0.5f) / 255.0f, i = 0; i < 64; ++i) {
      in.push_back(f);
      in.push_back(f = std::nextafter(f, 0.0f));
    }
  std::vector<unsigned char> got(in.size());
  fl2ch(in.data(), got.data(), (int)in.size());
  for (std::size_t i = 0; i < in.size(); ++i) {
    const double d = std::trunc((double)(in[i] * 255.0f) + 0.5);
    ASSERT_EQ(got[i], d < 0 ? 0 : d > 255 ? 255 : (int)d) << std::hexfloat << in[i];
  }
  // bytes_to_fyuv is ch2fl followed by frgb2fyuv.
  std::vector<unsigned char> px(65536 * 4);
  std::vector<float> fast(px.size()), slow(px.size());
  for (int r = 0; r < 256; r += 5) {
    for (int i = 0; i < 65536; ++i) {
      const unsigned char q[4] = {(unsigned char)r, (unsigned char)(i >> 8), (unsigned char)i,
                                  (unsigned char)(i * 7)};
      std::memcpy(&px[4 * i], q, 4);
    }
    bytes_to_fyuv(px.data(), fast.data(), 65536);
    ch2fl(px.data(), slow.data(), 65536 * 4);
    for (int i = 0; i < 65536; ++i) frgb2fyuv(&slow[4 * i], &slow[4 * i]);
    ASSERT_EQ(0, std::memcmp(fast.data(), slow.data(), fast.size() * 4)) << "red " << r;
  }
}

TEST(BackdropkeyToolkit, YuvMatrices) {
  float px[4] = {0, 0, 0, 0.25f};
  frgb2fyuv(px, px);  // in place: all inputs are read first
  EXPECT_EQ(std::vector<float>(px, px + 4), (std::vector<float>{0, 0.5f, 0.5f, 0.25f}));
  float g[4] = {0, 1, 0, 1};
  frgb2fyuv(g, g);
  EXPECT_EQ(g[0], 0.587f);
  EXPECT_EQ(g[1], (float)(-0.289 + 0.5));
  EXPECT_EQ(g[2], (float)(-0.515 + 0.5));  // below 0, kept
  float white[4] = {1, 1, 1, 1};
  frgb2fyuv(white, white);
  EXPECT_NEAR(white[0], 1.0f, 1e-6);
  EXPECT_NEAR(white[1], 0.5f, 1e-6);
  // Back: double precision, no clamping, in place.
  float y[4] = {0.3f, 0.9f, 0.1f, 2.0f};
  fyuv2frgb(y, y);
  EXPECT_EQ(y[0], (float)(0.3f + 1.14 * (0.1f - 0.5)));
  EXPECT_EQ(y[1], (float)(0.3f - 0.395 * (0.9f - 0.5) - 0.581 * (0.1f - 0.5)));
  EXPECT_EQ(y[2], (float)(0.3f + 2.032 * (0.9f - 0.5)));
  EXPECT_EQ(y[3], 2.0f);
}

TEST(BackdropkeyToolkit, Checkerboard) {
  Floats f(17 * 16 * 4, -1.0f);
  makecheck(f.data(), 17, 16);
  const float lo = 1.0f - (1.0f - 0.333f), hi = 1.0f - 0.333f;
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 17; ++x) {
      const float *p = &f[(y * 17 + x) * 4];
      const float want = ((x / 8 + y / 8) % 2 == 0) ? lo : hi;
      ASSERT_EQ(p[0], want) << x << "," << y;
      ASSERT_EQ(p[1], want);
      ASSERT_EQ(p[2], want);
      ASSERT_EQ(p[3], 0.0f);
    }
  EXPECT_NEAR(lo, 0.333f, 1e-7);
  makecheck(f.data(), 0, 5);
  makecheck(f.data(), 5, -1);
  EXPECT_EQ(f[0], lo);
}

TEST(BackdropkeyToolkit, KernelWeightsAndTrace) {
  Floats img = pattern(3, 2), out = img;
  seqfx_test::Console con;
  gaussianBlur(img.data(), out.data(), 3, 2, 1.0f, 2, 2, -1);
  con.finish();
  EXPECT_EQ(con.out(),
            "\nstart blur...malloc ok..."
            "filter -2: 0.140567...subtotal=0.140567\n"
            "filter -1: 0.226592...subtotal=0.367158\n"
            "filter 0: 0.265683...subtotal=0.632842\n"
            "filter 1: 0.226592...subtotal=0.859433\n"
            "filter 2: 0.140567...subtotal=1.000000\n"
            "horiz pass 5x ok...vert pass 5x ok\n");
  seqfx_test::Console con2;
  gaussianBlur(img.data(), out.data(), 3, 2, 1.0f, 1, 1, 3);
  gaussianBlur(img.data(), out.data(), 3, 2, 0.0f, 1, 1, 3);
  gaussianBlur(img.data(), out.data(), 3, 2, 1.0f, 0, 0, 3);
  con2.finish();
  EXPECT_EQ(con2.out(), "\nstart blur...blur channel 2 only...no vert blur...\nno blur\n");
}

TEST(BackdropkeyToolkit, BlurMatchesThePlainSumsBitForBit) {
  struct Case { int w, h, r, channel; float amount; };
  for (Case c : {Case{37, 23, 5, -1, 0.6f}, {37, 23, 5, 1, 10.0f}, {37, 23, 2, -2, 1.0f},
                 {37, 23, 3, -4, 2.5f}, {37, 23, 1, 4, 0.3f}, {7, 5, 5, -1, 3.0f},
                 {1, 1, 5, -1, 1.0f}, {3, 40, 4, -3, 1.5f}, {40, 3, 2, -1, 1.0f}}) {
    const Floats src = pattern(c.w, c.h);
    const Floats want = reference_blur(src, c.w, c.h, c.amount, c.r, c.channel);
    Floats dst(src.size(), 9.0f), same = src;
    gaussianBlur(src.data(), dst.data(), c.w, c.h, c.amount, c.r, 0, c.channel);
    gaussianBlur(same.data(), same.data(), c.w, c.h, c.amount, c.r, 0, c.channel);
    for (std::size_t i = 0; i < src.size(); ++i) {
      ASSERT_EQ(dst[i], want[i]) << c.w << "x" << c.h << " r" << c.r << " ch" << c.channel << " at " << i;
      ASSERT_EQ(same[i], want[i]) << "in place, at " << i;
    }
    EXPECT_EQ(mallocN_blocks_held(nullptr), 0);
  }
}

// Two components blurred in the same passes give the bytes and the console
// text of two one-component calls, one after the other.
TEST(BackdropkeyToolkit, PairedComponentsMatchTwoCalls) {
  struct Case { int w, h, r, first, second; };
  for (Case c : {Case{37, 23, 2, -2, -3}, {1, 9, 2, -2, -3}, {9, 1, 2, -3, -2}, {2, 2, 5, -4, -2},
                 {17, 3, 1, -2, -4}}) {
    const Floats src = pattern(c.w, c.h);
    Floats want = reference_blur(src, c.w, c.h, 1.0f, c.r, c.first);
    want = reference_blur(want, c.w, c.h, 1.0f, c.r, c.second);
    for (int info : {0, 1, 2}) {
      Floats two = src, paired = src;
      seqfx_test::Console con_two;
      gaussianBlur(two.data(), two.data(), c.w, c.h, 1.0f, c.r, info, c.first);
      gaussianBlur(two.data(), two.data(), c.w, c.h, 1.0f, c.r, info, c.second);
      con_two.finish();
      seqfx_test::Console con_paired;
      gaussianBlur(paired.data(), paired.data(), c.w, c.h, 1.0f, c.r, info, c.first, c.second);
      con_paired.finish();
      ASSERT_EQ(paired, want) << c.w << "x" << c.h << " components " << c.first << "," << c.second;
      ASSERT_EQ(two, want);
      EXPECT_EQ(con_paired.out(), con_two.out()) << "info " << info;
    }
  }
  EXPECT_EQ(mallocN_blocks_held(nullptr), 0);
}

TEST(BackdropkeyToolkit, BlurKeepsFlatImagesAndUntouchedChannels) {
  Floats flat(9 * 6 * 4, 0.7f), out(flat.size());
  gaussianBlur(flat.data(), out.data(), 9, 6, 10.0f, 5, 0, -1);
  for (float v : out) ASSERT_NEAR(v, 0.7f, 1e-6);
  // One column: the horizontal pass only rescales by the weights' sum.
  const Floats col = pattern(1, 8);
  gaussianBlur(col.data(), out.data(), 1, 8, 2.0f, 3, 0, 1);
  for (std::size_t i = 0; i < col.size(); ++i) ASSERT_NEAR(out[i], col[i], 1e-6);
  // Channel -2 touches U only.
  const Floats src = pattern(9, 6);
  gaussianBlur(src.data(), out.data(), 9, 6, 1.0f, 2, 0, -2);
  int changed = 0;
  for (std::size_t i = 0; i < src.size(); ++i) {
    if (i % 4 != 1) {
      ASSERT_EQ(out[i], src[i]) << i;
    }
    changed += out[i] != src[i];
  }
  EXPECT_GT(changed, 40);
}

TEST(BackdropkeyToolkit, BlurEdgeValuesAndFailures) {
  const Floats src = pattern(5, 4);
  Floats out(src.size(), 3.0f);
  // An amount so small that its kernel constant overflows keeps the centre
  // tap alone: the image comes through unchanged, not as NaN.
  gaussianBlur(src.data(), out.data(), 5, 4, 1e-30f, 5, 0, -1);
  EXPECT_EQ(out, src);
  out.assign(src.size(), 3.0f);
  for (int ch : {0, 5, -5}) gaussianBlur(src.data(), out.data(), 5, 4, 1.0f, 1, 0, ch);
  gaussianBlur(src.data(), out.data(), 5, 4, NAN, 1, 0, -1);
  gaussianBlur(src.data(), out.data(), 5, 4, 1.0f, -3, 0, -1);
  EXPECT_EQ(out, Floats(src.size(), 3.0f));
  // Either allocation failing: message whatever info is, dst untouched,
  // nothing held.
  for (int fail : {1, 2}) {
    seqfx_test::Console con;
    mallocN_fail_from(fail);
    gaussianBlur(src.data(), out.data(), 5, 4, 1.0f, 2, 0, -1);
    mallocN_fail_from(0);
    con.finish();
    EXPECT_EQ(con.out(), "memory allocation falure...blur aborted\n");
    EXPECT_EQ(out, Floats(src.size(), 3.0f));
    EXPECT_EQ(mallocN_blocks_held(nullptr), 0);
  }
}

}  // namespace
