// The host's tagged allocator and its books.

#include "seqfx_alloc.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>

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

}  // namespace
