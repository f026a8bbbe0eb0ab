#include "defocus_model.h"

#include <algorithm>
#include <cmath>

namespace defocus_model {

namespace {

using Bytes = std::vector<unsigned char>;

struct Kernel {
  int e;
  std::vector<float> w;
  float at(int dy, int dx) const { return w[(dy + e) * (2 * e + 1) + dx + e]; }
};

Kernel disc(float r) {
  Kernel k{(int)((double)r + 1.0), {}};
  float sum = 0;
  for (int dy = -k.e; dy <= k.e; ++dy)
    for (int dx = -k.e; dx <= k.e; ++dx) {
      const float x = (float)(dx * dx + dy * dy) / (r * r);
      k.w.push_back((float)(1.0 / (std::pow((double)x, 8.0) + 1.0)));
      sum += k.w.back();
    }
  const float factor = 1.0f / sum;
  for (float &v : k.w) v *= factor;
  return k;
}

std::vector<Kernel> ladder(float m) {
  std::vector<Kernel> l;
  float r = 0.1f;
  for (int i = 0; i < 64; ++i, r += m / 64.0f) l.push_back(disc(r));
  return l;
}

unsigned char byte(float v) { return (unsigned char)(int)std::min(v, 255.0f); }

void blur(Bytes &m, int W, int H, float r) {
  const int c = (int)(1.5 * (double)r + 1.5), n = 2 * c + 1;
  if (W <= n || H <= n) return;
  std::vector<float> w;
  float sum = 0;
  for (int i = -c; i <= c; ++i) {
    w.push_back((float)std::exp((double)((float)(i * i) * -4.0f / (float)(c * c))));
    sum += w.back();
  }
  for (float &v : w) v /= sum;
  auto pass = [&](const Bytes &src, Bytes &dst, bool rows) {
    const int len = rows ? W : H, lines = rows ? H : W;
    for (int l = 0; l < lines; ++l)
      for (int i = 0; i < len; ++i) {
        auto px = [&](int j) { return (float)src[rows ? l * W + j : j * W + l]; };
        float acc = 0, ws = 0;
        for (int k = -c; k <= c; ++k) {
          if (i + k < 0 || i + k >= len) continue;
          acc += w[k + c] * px(i + k);
          ws += w[k + c];
        }
        const bool edge = i < c || i >= len - c;
        dst[rows ? l * W + i : i * W + l] = byte(edge ? acc / ws : acc);
      }
  };
  Bytes t(m.size());
  pass(m, t, true);
  pass(t, m, false);
}

}  // namespace

int depth_of(float f) {
  const float v = f * 4294967296.0f - 2147483648.0f;
  if (v >= 2147483648.0f) return 2147483647;
  if (v < -2147483648.0f) return -2147483647 - 1;
  return (int)v;
}

float fraction_of(int z) { return ((float)z + 2147483648.0f) / 4294967296.0f; }

void masks(const seqfx::Image &in, int focus, int zmin, float blursize, Bytes &front, Bytes &back) {
  const int W = in.width(), H = in.height();
  front.assign(in.pixels(), 0);
  back.assign(in.pixels(), 0);
  const float kf = 255.0f / ((float)focus - (float)zmin);
  const float kb = 255.0f / (2147483648.0f - (float)zmin);
  for (size_t i = 0; i < in.pixels(); ++i) {
    const float z = std::max((float)in.zbuf()[i], (float)zmin);
    const float d = z - (float)focus;
    if (d < 0)
      front[i] = (unsigned char)(int)(-d * kf);
    else
      back[i] = (unsigned char)(int)(d * kb);
  }
  blur(back, W, H, 1.0f);
  blur(front, W, H, blursize);
}

std::vector<unsigned char> render(const seqfx::Image &in, const Settings &s) {
  const int W = in.width(), H = in.height();
  const int zmin = depth_of(s.zmin);
  int focus = depth_of(s.focus);
  if (s.autofocus) {
    // The 5 x 5 block around the centre, cut to the frame on tiny frames.
    double sum = 0;
    int count = 0;
    for (int y = H / 2 - 2; y <= H / 2 + 2; ++y)
      for (int x = W / 2 - 2; x <= W / 2 + 2; ++x)
        if (x >= 0 && y >= 0 && x < W && y < H) {
          sum += in.zbuf()[y * W + x];
          ++count;
        }
    focus = count ? (int)(sum / count) : 0;
  } else if (s.ipofocus) {
    focus = depth_of(s.factor0);
  }
  if (zmin >= focus) return {};
  Bytes F, B;
  masks(in, focus, zmin, s.blursize, F, B);
  const std::vector<Kernel> L = ladder(s.blursize);
  auto inside = [&](int x, int y) { return x >= 0 && y >= 0 && x < W && y < H; };

  Bytes D(in.pixels() * 3);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      const int i = y * W + x, b = B[i];
      const unsigned char *src = in.pixel(x, y);
      if (b == 0) {
        for (int c = 0; c < 3; ++c) D[3 * i + c] = src[c];
        continue;
      }
      const Kernel &k = L[b / 4];
      float sw = 0, sc[3] = {0, 0, 0};
      for (int dy = -k.e; dy <= k.e; ++dy)
        for (int dx = -k.e; dx <= k.e; ++dx) {
          if (!inside(x + dx, y + dy)) continue;
          const int j = (y + dy) * W + x + dx;
          const float wt = (float)((double)(k.at(dy, dx) * (float)B[j]) / 255.0);
          sw += wt;
          for (int c = 0; c < 3; ++c) sc[c] += wt * (float)in.rect()[4 * j + c];
        }
      for (int c = 0; c < 3; ++c) D[3 * i + c] = byte(sc[c] / sw);
    }

  std::vector<float> ws(in.pixels(), 0), acc(in.pixels() * 3, 0);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      const int i = y * W + x, f = F[i];
      float col[3];
      for (int c = 0; c < 3; ++c) col[c] = D[3 * i + c];
      const float sg = (float)((double)(s.sigma * (float)f) / 255.0);
      if (sg > 0.001) {
        const double lo = std::tanh(-0.3 * sg), hi = std::tanh(0.7 * sg);
        const float g = (float)(255.0 / (hi - lo));
        for (float &v : col) v = (float)((std::tanh(sg * (v / 255.0 - 0.3)) - lo) * g);
      }
      const Kernel &k = L[f / 4];
      for (int dy = -k.e; dy <= k.e; ++dy)
        for (int dx = -k.e; dx <= k.e; ++dx) {
          if (!inside(x + dx, y + dy)) continue;
          const int j = (y + dy) * W + x + dx;
          ws[j] += k.at(dy, dx);
          for (int c = 0; c < 3; ++c) acc[3 * j + c] += k.at(dy, dx) * col[c];
        }
    }

  Bytes R(in.pixels() * 3);
  for (size_t i = 0; i < in.pixels(); ++i)
    for (int c = 0; c < 3; ++c) {
      R[3 * i + c] = ws[i] == 0 ? 0 : byte(acc[3 * i + c] / ws[i]);
      if (s.gamma != 1.0f) {
        const float p = (float)(1.0 - (double)((1.0f - s.gamma) * (float)B[i]) / 255.0);
        R[3 * i + c] = (unsigned char)(int)(255.0 * std::pow(R[3 * i + c] / 255.0, (double)p));
      }
    }
  return R;
}

}  // namespace defocus_model
