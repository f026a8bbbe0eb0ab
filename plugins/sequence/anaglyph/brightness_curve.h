// anaglyph: the byte a brightness gives after its gamma, looked up instead
// of computed, with the very same result.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

namespace anaglyph {

// byte(y) = (int)((float)pow(y, gamma) * (float)scale) for a brightness y in
// 0..top (a float), scale 0..255.
//
// byte(y) never decreases as y grows: pow errs by less than one unit in the
// last place of a double, while neighbouring floats differ by some 2^28 of
// those, and rounding to float, scaling by a positive float and truncating
// keep the order. So byte(y) is the number of steps k = 1..most whose
// threshold (the smallest float y with byte(y) >= k) is at most y. The
// thresholds are found by bisection over the float values, and a coarse
// index by y * 4096 gives the count at the start of each bucket.
class BrightnessCurve {
 public:
  BrightnessCurve(float gamma, int scale, float top) : gamma_(gamma), scale_(scale) {
    most_ = exact(top);
    std::uint32_t lo = 0;  // byte(0) = 0 < k for every k >= 1
    for (int k = 1; k <= most_; ++k) {
      std::uint32_t hi = bits(top);  // byte(top) = most >= k
      while (hi - lo > 1) {
        const std::uint32_t mid = lo + (hi - lo) / 2;
        if (exact(value(mid)) >= k)
          hi = mid;
        else
          lo = mid;
      }
      threshold_[k] = value(hi);
    }
    threshold_[most_ + 1] = 2.0f;  // beyond every brightness
    int k = 0;
    for (int j = 0; j < kBuckets; ++j) {
      const float start = (float)j / (float)kBuckets;
      while (k < most_ && threshold_[k + 1] <= start) ++k;
      bucket_[j] = (unsigned char)k;
    }
  }

  // byte(y) for 0 <= y <= top.
  unsigned char operator()(float y) const {
    int k = bucket_[(int)(y * (float)kBuckets)];
    while (threshold_[k + 1] <= y) ++k;
    return (unsigned char)k;
  }

  // byte(y) computed directly.
  int exact(float y) const {
    return (int)((float)std::pow((double)y, (double)gamma_) * (float)scale_);
  }

 private:
  static constexpr int kBuckets = 4096;
  static std::uint32_t bits(float v) {
    std::uint32_t u;
    std::memcpy(&u, &v, 4);
    return u;
  }
  static float value(std::uint32_t u) {
    float v;
    std::memcpy(&v, &u, 4);
    return v;
  }

  float gamma_;
  int scale_;
  int most_;
  float threshold_[258];
  unsigned char bucket_[kBuckets];
};

}  // namespace anaglyph
