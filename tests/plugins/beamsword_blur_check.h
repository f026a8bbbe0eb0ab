// The check the beam blur's tests share: the module's blur against the
// plain loops, from one image into another and in place.
#pragma once

#include "beamsword_reference.h"
#include "gaussian_blur.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <vector>

namespace beamsword_test {

using Bytes = std::vector<unsigned char>;

// Blurs src into a copy of dst, whose A bytes must stay, and a copy of src
// in place, whose A bytes must stay too; both must equal the plain loops'
// result byte for byte. Callers name the case with SCOPED_TRACE.
inline void check_blur(const Bytes &src, const Bytes &dst, int w, int h, float amount, int quality) {
  Bytes got = dst, want = dst;
  gaussianBlur(src.data(), got.data(), w, h, amount, quality);
  beamsword_reference::blur(src.data(), want.data(), w, h, amount, quality);
  ASSERT_EQ(got, want) << "into another image";
  Bytes same = src;
  gaussianBlur(same.data(), same.data(), w, h, amount, quality);
  for (std::size_t i = 3; i < same.size(); i += 4) want[i] = src[i];
  ASSERT_EQ(same, want) << "in place";
}

}  // namespace beamsword_test
