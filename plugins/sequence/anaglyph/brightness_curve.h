// anaglyph: the byte a pixel's brightness gives after its gamma, looked up
// instead of computed, with the very same result.
#pragma once

#include <cmath>

namespace anaglyph {

// The brightness 0.00117 R + 0.0023 G + 0.000447 B is K / 10^6 for the whole
// number K = 1170 R + 2300 G + 447 B (0 .. 998835). Its double-precision sum
// rounded to single precision is K / 10^6 correctly rounded: the sum errs by
// a few units in the last place of a double, while K / 10^6 never lies
// closer than 6e-14 of its size to a point halfway between two floats (a
// halfway point has at least 25 binary digits after the leading one, and
// K / 10^6 = n / 2^s with s > 6 has no solution), so both round alike.
inline int brightness_key(const unsigned char *px) { return 1170 * px[0] + 2300 * px[1] + 447 * px[2]; }
constexpr int kTopKey = 1170 * 255 + 2300 * 255 + 447 * 255;
inline float brightness_of_key(int key) { return (float)((double)key / 1e6); }

// byte(K) = (int)((float)pow(brightness, gamma) * (float)scale), scale 0..255.
//
// byte(K) never decreases as K grows: pow errs by less than one unit in the
// last place of a double, while neighbouring floats differ by some 2^28 of
// those, and rounding to float, scaling by a positive float and truncating
// keep the order. So byte(K) is the number of steps k = 1..most whose
// threshold (the smallest K with byte(K) >= k) is at most K. The thresholds
// are found by bisection, and a coarse index by K / 256 gives the count at
// the start of each bucket.
class BrightnessCurve {
 public:
  BrightnessCurve(float gamma, int scale) : gamma_(gamma), scale_(scale) {
    most_ = exact(kTopKey);
    int lo = 0;  // byte(0) = 0 < k for every k >= 1
    for (int k = 1; k <= most_; ++k) {
      int hi = kTopKey;  // byte(top) = most >= k
      while (hi - lo > 1) {
        const int mid = lo + (hi - lo) / 2;
        if (exact(mid) >= k)
          hi = mid;
        else
          lo = mid;
      }
      threshold_[k] = hi;
    }
    threshold_[most_ + 1] = kTopKey + 1;  // beyond every key
    int k = 0;
    for (int j = 0; j < kBuckets; ++j) {
      while (k < most_ && threshold_[k + 1] <= j * kBucketKeys) ++k;
      bucket_[j] = (unsigned char)k;
    }
  }

  // byte(K) for 0 <= K <= kTopKey.
  unsigned char operator()(int key) const {
    int k = bucket_[(unsigned)key / kBucketKeys];
    while (threshold_[k + 1] <= key) ++k;
    return (unsigned char)k;
  }

  // byte(K) computed directly.
  int exact(int key) const {
    return (int)((float)std::pow((double)brightness_of_key(key), (double)gamma_) * (float)scale_);
  }

 private:
  static constexpr int kBucketKeys = 256;
  static constexpr int kBuckets = kTopKey / kBucketKeys + 1;

  float gamma_;
  int scale_;
  int most_;
  int threshold_[258];
  unsigned char bucket_[kBuckets];
};

}  // namespace anaglyph
