// Where the two strips of invisible differ.
#pragma once

namespace invisible {

// mask[i] = 1 where the sum of the absolute differences of red, green and
// blue (not alpha) between pixels i of a and b exceeds the tolerance, as a
// float; else 0.
void difference_mask(const unsigned char *a, const unsigned char *b, unsigned char *mask, long n,
                     float tolerance);

}  // namespace invisible
