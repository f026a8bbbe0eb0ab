// The rows of afterglow's two tables, once for all its tests.
#pragma once

namespace afterglow_rows {

// The sequence table; row 0 is the title label.
enum SeqRow { kWidth = 1, kQ, kExtern, kIntern, kI, kR, kG, kB, kTexture, kAnimated, kShow, kBackground };
// The texture table; row 0 is the title label.
enum TexRow { kTexSlot = 1, kThreshold = 2 };

}  // namespace afterglow_rows
