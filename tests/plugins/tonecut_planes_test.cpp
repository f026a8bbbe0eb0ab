// tonecut's Y, U and V planes: every way of filling them gives, for every
// one of the 2^24 colours, the floats of the defining formula with its
// divisions, so the lane paths may multiply by reciprocals.

#include "yuv_planes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

using tonecut::LanePath;

struct Planes {
  std::vector<float> y, u, v;
  explicit Planes(long n) : y(n), u(n), v(n) {}
};

// Written from the definition, independently of the module's tables.
Planes model(const std::vector<unsigned char> &px) {
  const long n = (long)px.size() / 4;
  Planes p(n);
  for (long i = 0; i < n; ++i) {
    const float r = (float)(px[4 * i] / 255.0), g = (float)(px[4 * i + 1] / 255.0),
                b = (float)(px[4 * i + 2] / 255.0);
    const float y = (float)(0.299 * r + 0.587 * g + 0.114 * b);
    const float by = b - y, ry = r - y;
    p.y[i] = y;
    p.u[i] = (float)(by * 0.492 * 255 / 244 + 0.5);
    p.v[i] = (float)(ry * 0.877 * 255 / 314 + 0.5);
  }
  return p;
}

const LanePath kPaths[] = {LanePath::plain, LanePath::lanes, LanePath::avx2, LanePath::avx512};
const char *kNames[] = {"plain", "lanes", "avx2", "avx512"};

TEST(TonecutPlanes, EveryColourByEveryPath) {
  const long n = 1L << 24;
  std::vector<unsigned char> px(4 * n);
  for (long i = 0; i < n; ++i) {
    px[4 * i] = (unsigned char)(i >> 16);
    px[4 * i + 1] = (unsigned char)(i >> 8);
    px[4 * i + 2] = (unsigned char)i;
    px[4 * i + 3] = (unsigned char)(i * 7);
  }
  const Planes want = model(px);
  for (int k = 0; k < 4; ++k) {
    if (!tonecut::lane_path_available(kPaths[k])) continue;
    Planes got(n);
    tonecut::yuv_planes(kPaths[k], px.data(), n, got.y.data(), got.u.data(), got.v.data());
    for (long i = 0; i < n; ++i)
      ASSERT_TRUE(got.y[i] == want.y[i] && got.u[i] == want.u[i] && got.v[i] == want.v[i])
          << kNames[k] << " colour " << std::hex << i;
  }
}

TEST(TonecutPlanes, ShortRunsAndPlanesLeftOut) {
  // Runs of every length up to three groups of lanes; a plane passed as
  // null is neither written nor needed, and nothing past n is written.
  std::vector<unsigned char> px(4 * 30);
  for (size_t i = 0; i < px.size(); ++i) px[i] = (unsigned char)(i * 37 + 11);
  const Planes want = model(px);
  for (int k = 0; k < 4; ++k) {
    if (!tonecut::lane_path_available(kPaths[k])) continue;
    for (long n = 0; n <= 25; ++n)
      for (int which = 0; which < 3; ++which) {
        Planes got(30);
        for (auto *plane : {&got.y, &got.u, &got.v}) std::fill(plane->begin(), plane->end(), -7.0f);
        float *u = which == 1 ? nullptr : got.u.data(), *v = which == 2 ? nullptr : got.v.data();
        tonecut::yuv_planes(kPaths[k], px.data(), n, got.y.data(), u, v);
        for (long i = 0; i < 30; ++i) {
          const bool in = i < n;
          EXPECT_EQ(got.y[i], in ? want.y[i] : -7.0f) << kNames[k] << " n " << n << " at " << i;
          EXPECT_EQ(got.u[i], in && u ? want.u[i] : -7.0f) << kNames[k] << " n " << n << " at " << i;
          EXPECT_EQ(got.v[i], in && v ? want.v[i] : -7.0f) << kNames[k] << " n " << n << " at " << i;
        }
      }
  }
}

}  // namespace
