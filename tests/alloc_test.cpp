// The host's tagged allocator and its books.

#include "seqfx_alloc.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

TEST(TaggedAllocator, CountsBlocksPerTag) {
  const int before = mallocN_blocks_held(nullptr);
  void *a = mallocN(100, "first");
  void *b = mallocN(0, "first");
  void *c = mallocN(10, "second");
  ASSERT_TRUE(a && b && c);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(a) % alignof(std::max_align_t), 0u);
  EXPECT_EQ(mallocN_blocks_held("first"), 2);
  EXPECT_EQ(mallocN_blocks_held("second"), 1);
  EXPECT_EQ(mallocN_blocks_held(nullptr), before + 3);
  freeN(a);
  freeN(b);
  freeN(nullptr);
  EXPECT_EQ(mallocN_blocks_held("first"), 0);
  freeN(c);
  EXPECT_EQ(mallocN_blocks_held(nullptr), before);
}

TEST(TaggedAllocator, FailsOnRequest) {
  mallocN_fail_from(2);
  void *a = mallocN(8, "ok");
  EXPECT_NE(a, nullptr);
  EXPECT_EQ(mallocN(8, "fails"), nullptr);
  EXPECT_EQ(mallocN(8, "fails too"), nullptr);
  mallocN_fail_from(0);
  void *b = mallocN(8, "ok again");
  EXPECT_NE(b, nullptr);
  freeN(a);
  freeN(b);
  EXPECT_EQ(mallocN(SIZE_MAX, "huge"), nullptr);
}

TEST(TaggedAllocator, LargeBlocksTakenAgainKeepTheBooks) {
  // Large blocks may be recycled: every block is still usable in full and
  // counted once while held.
  const size_t before = mallocN_bytes_held();
  const size_t big = (size_t)3 << 20;
  for (int round = 0; round < 3; ++round) {
    void *a = mallocN(big, "big");
    void *b = mallocN(big + 16, "big");
    void *c = mallocN(big / 4, "quarter");
    ASSERT_TRUE(a && b && c);
    EXPECT_NE(a, b);
    std::memset(a, 1, big);
    std::memset(b, 2, big + 16);
    std::memset(c, 3, big / 4);
    EXPECT_EQ(mallocN_blocks_held("big"), 2);
    EXPECT_EQ(mallocN_bytes_held(), before + 2 * big + 16 + big / 4);
    freeN(b);
    freeN(a);
    freeN(c);
    EXPECT_EQ(mallocN_bytes_held(), before);
  }
}

}  // namespace
