// The walk over blocks the blurs share: every value of the span is either
// summed or left to the filler, once; every block is offered to the filler
// once; neighbouring blocks to be summed go out as one run.

#include "block_runs.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

TEST(BlockRuns, EveryValueIsSummedOrFilledOnceAndRunsAreWhole) {
  std::mt19937 rng(12);
  for (int round = 0; round < 300; ++round) {
    const int begin = (int)(rng() % 50), end = begin + (int)(rng() % 400);
    const int block = 1 + (int)(rng() % 60);
    // Which blocks the filler takes: none, all, or any mix.
    const int chance = round % 3 == 0 ? 0 : round % 3 == 1 ? 100 : (int)(rng() % 100);
    std::vector<int> takes(end + 1), offered(end + 1, 0), covered(end, 0);
    for (int &t : takes) t = (int)(rng() % 100) < chance;
    std::vector<std::pair<int, int>> runs;
    seqfx_common::sum_runs(
        begin, end, block,
        [&](int i0, int i1) {
          EXPECT_EQ((i0 - begin) % block, 0) << "block at " << i0;
          EXPECT_EQ(i1, i0 + block < end ? i0 + block : end);
          ++offered[i0];
          if (!takes[i0]) return false;
          for (int i = i0; i < i1; ++i) ++covered[i];
          return true;
        },
        [&](int x0, int x1) {
          runs.push_back({x0, x1});
          for (int i = x0; i < x1; ++i) ++covered[i];
        });
    for (int i = 0; i < end; ++i)
      ASSERT_EQ(covered[i], i >= begin ? 1 : 0) << "value " << i << " round " << round;
    for (int i0 = begin; i0 < end; i0 += block)
      ASSERT_EQ(offered[i0], 1) << "block " << i0 << " round " << round;
    for (size_t r = 0; r < runs.size(); ++r) {
      ASSERT_LT(runs[r].first, runs[r].second);
      if (r > 0) {
        ASSERT_LT(runs[r - 1].second, runs[r].first) << "runs " << r - 1 << " and " << r << " touch";
      }
    }
  }
}

}  // namespace
