// A plain, loop-by-loop model of the afterglow sequence effect for the
// tests: every step as it is described for the module, without any of the
// module's speed-ups, so that the module's bytes can be compared with it.
#pragma once

#include <algorithm>
#include <climits>
#include <cmath>
#include <vector>

namespace afterglow_model {

struct Settings {
  float q = 0.1f, outside = 0.5f, inside = 0.2f, intensity = 2.0f;
  float red = 1.0f, green = 1.0f, blue = 1.0f;
  bool animated = false, show_weights = false, use_background = false;
};

struct Result {
  std::vector<unsigned char> rect;
  std::vector<int> zbuf;  // empty without input depth
  float decay = 0, norm = 0, largest = -1.0f;
};

inline void filter(float d, float *dst, const float *src, int len, int lines, long ls, long es) {
  for (int l = 0; l < lines; ++l) {
    const float *s = src + l * ls;
    float *o = dst + l * ls;
    float acc = 0.0f;
    for (int j = 0; j < len; ++j) {
      acc = s[j * es] + d * acc;
      o[j * es] = acc;
    }
    acc = 0.0f;
    for (int j = len - 1; j >= 0; --j) {
      float t = d * acc;
      o[j * es] = o[j * es] + t;
      acc = t + s[j * es];
    }
  }
}

inline void filter2(float d, std::vector<float> &a, int w, int h) {
  std::vector<float> tmp(a.size());
  filter(d, tmp.data(), a.data(), w, h, w, 1);
  filter(d, a.data(), tmp.data(), h, w, 1, w);
}

inline int to_int(double v) {  // saturating, as the module mends it
  if (v != v) return 0;
  if (v >= 2147483647.0) return INT_MAX;
  if (v <= -2147483648.0) return INT_MIN;
  return (int)v;
}

// mask: one value per pixel before the weight scale (1 or 0).
inline Result run(const Settings &s, float factor1, int w, int h, const unsigned char *in,
                  const int *zin, const std::vector<float> &mask01) {
  const float i255 = 1.0f / 255.0f;
  const int n = w * h;
  Result r;
  float a = s.animated ? factor1 : 1.0f;
  float gain = (a * s.intensity) * s.intensity;
  float gains[3] = {gain * s.red, gain * s.green, gain * s.blue};
  float qw = s.q * (float)w;
  double ex = qw == 0.0f ? -INFINITY : -2.0 / (double)qw;
  float decay = (float)((double)a * std::pow(2.718281828459045, ex));
  float onep = 1.0f + decay, onem = 1.0f - decay;
  float norm = (float)((double)onem / ((double)onep * (1.0 - std::pow((double)decay, w / 15.0))));
  r.decay = decay;
  r.norm = norm;
  std::vector<float> glow(n), aij;
  for (int k = 0; k < n; ++k) glow[k] = mask01[k] * (norm * norm);
  aij = glow;
  filter2(decay, aij, w, h);

  if (zin) {
    r.zbuf.resize(n);
    std::vector<float> sc(n);
    for (int k = 0; k < n; ++k)
      sc[k] = (float)((double)glow[k] * std::sqrt(1.0 + zin[k] * (-1.0 / 2147483648.0)));
    filter2(decay, sc, w, h);
    for (int k = 0; k < n; ++k) {
      float sf = (float)std::sqrt(1.0 + zin[k] * (-1.0 / 2147483648.0));
      float d = sc[k];
      if (sf >= d) {
        r.zbuf[k] = zin[k];
      } else {
        float wk = std::clamp(aij[k], 0.0f, 1.0f);
        float kk = glow[k] == 0.0f ? s.outside : s.inside;
        float dd = d + (1.0f - wk * kk) * (sf - d);
        r.zbuf[k] = to_int(((double)(dd * dd) - 1.0) * (-2147483648.0));
      }
    }
  }

  r.rect.assign((size_t)n * 4, 0);
  if (s.show_weights) {
    for (int k = 0; k < n; ++k) {
      r.largest = std::max(r.largest, aij[k]);
      int g = (int)(std::clamp(aij[k] * 255.0, 0.0, 255.0) + 0.5);
      float prev = k > 0 ? glow[k - 1] : 0.0f, next = k < n - 1 ? glow[k + 1] : 0.0f;
      if (glow[k] != 0.0f && (prev == 0.0f || next == 0.0f)) g = 0;
      for (int c = 0; c < 3; ++c) r.rect[4 * k + c] = (unsigned char)g;
      r.rect[4 * k + 3] = 255;
    }
    return r;
  }
  std::vector<float> res[3];
  for (int c = 0; c < 3; ++c) {
    res[c].resize(n);
    for (int k = 0; k < n; ++k)
      res[c][k] = (((float)in[4 * k + 3] * i255) * glow[k]) *
                  (((float)in[4 * k + c] * (gains[c] + 1.0f)) * i255);
    filter2(decay, res[c], w, h);
    for (int k = 0; k < n; ++k) {
      if (in[4 * k + 3] == 0 && !s.use_background) continue;
      float v = res[c][k], e = in[4 * k + c] * i255;
      if (e >= v) {
        res[c][k] = e;
      } else {
        float wk = std::clamp(aij[k], 0.0f, 1.0f);
        float kk = glow[k] == 0.0f ? s.outside : s.inside;
        res[c][k] = v + (1.0f - wk * kk) * (e - v);
      }
    }
  }
  for (int k = 0; k < n; ++k) {
    float m = std::max({res[0][k], res[1][k], res[2][k]});
    double scale = m <= 1.0f ? 255.0 : 255.0 / m;
    for (int c = 0; c < 3; ++c) r.rect[4 * k + c] = (unsigned char)to_int(scale * res[c][k] + 0.5);
    int al = to_int(std::clamp(aij[k], 0.0f, 1.0f) * 255.0 + 0.5);
    r.rect[4 * k + 3] = (unsigned char)std::max<int>(in[4 * k + 3], al);
  }
  return r;
}

}  // namespace afterglow_model
