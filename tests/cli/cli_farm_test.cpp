// seqfx farm: the array job it writes, what it refuses, and a real run on
// a Slurm cluster compared byte for byte with a local render.

#include "cli_support.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

using namespace cli_test;

namespace {

// seqfx run inside a folder (the farm keeps its scripts and logs there).
Result seqfx_in(const TempDir &dir, const std::string &args) {
  Result r;
  std::string out;
  r.code = run({"sh", "-c", "cd '" + dir.path() + "' && '" SEQFX_CLI "' " + args + " 2>&1"}, &out);
  r.out = out;
  return r;
}

TEST(Farm, DryRunWritesTheArrayJob) {
  TempDir dir;
  Result r = seqfx_in(dir, "farm glow -i 'in_%d.png' -o 'out_%04d.png' --frames 1-48 --chunk 12 --factor 0:1 "
                           "--partition short --time 5 --sbatch=--mem=1G -j 2 --dry-run");
  ASSERT_EQ(r.code, 0) << r.out;
  for (const char *line : {"#SBATCH --array=0-3\n", "#SBATCH --partition=short\n", "#SBATCH --time=5\n",
                           "#SBATCH --mem=1G\n", "#SBATCH --chdir=", "first=$((1 + SLURM_ARRAY_TASK_ID * 12))\n",
                           "last=$((first + 11))\n", "'render' 'glow' '-i' 'in_%d.png' '--factor' '0:1' '-j' '2' "
                           "'-o' 'out_%04d.png' --shot 1-48 --frames \"$first-$last\"\n"})
    EXPECT_TRUE(contains(r.out, line)) << line << "\n" << r.out;
  EXPECT_EQ(dir.files(), std::vector<std::string>{}) << "a dry run leaves nothing";

  // A part of a shot keeps the shot's ramp; a last chunk may be short.
  r = seqfx_in(dir, "farm glow -i 'in_%d.png' -o 'o_%d.png' --shot 1-100 --frames 11-30 --chunk 8 --dry-run");
  ASSERT_EQ(r.code, 0) << r.out;
  EXPECT_TRUE(contains(r.out, "#SBATCH --array=0-2\n")) << r.out;
  EXPECT_TRUE(contains(r.out, "first=$((11 + SLURM_ARRAY_TASK_ID * 8))")) << r.out;
  EXPECT_TRUE(contains(r.out, "if [ \"$last\" -gt 30 ]; then last=30; fi")) << r.out;
  EXPECT_TRUE(contains(r.out, "--shot 1-100")) << r.out;

  // A video: the tasks write pictures, a dependent job encodes them.
  r = seqfx_in(dir, "farm glow -i 'in_%d.png' -o clip.mp4 --frames 1-20 --fps 24 --dry-run");
  ASSERT_EQ(r.code, 0) << r.out;
  EXPECT_TRUE(contains(r.out, "'-o' 'clip.mp4.frames/%06d.png'")) << r.out;
  EXPECT_TRUE(contains(r.out, "farm --encode 'clip.mp4.frames/%06d.png' --frames 1-20 --fps '24' -o 'clip.mp4'"))
      << r.out;
}

TEST(Farm, RefusesWhatCannotBeSplit) {
  TempDir dir;
  const std::string probe = "--plugins '" + fixture_dir() + "' farm cli_probe -i in.png ";
  // A module that may keep state renders in one task or not at all.
  Result r = seqfx_in(dir, probe + "-o 'o_%d.png' --frames 1-48 --chunk 12 --dry-run");
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(contains(r.out, "seqfx: cli_probe declares no facts, so it may keep state: its frames must be "
                              "rendered in order by one task, so --chunk must cover all 48 frames"))
      << r.out;
  r = seqfx_in(dir, probe + "-o 'o_%d.png' --frames 1-48 --chunk 48 --dry-run");
  EXPECT_EQ(r.code, 0) << r.out;
  EXPECT_TRUE(contains(r.out, "#SBATCH --array=0-0\n")) << r.out;

  const std::pair<const char *, const char *> bad[] = {
      {"farm glow -i in.png -o out.png --frames 1-4 --dry-run", "give a numbered output like out_%04d.png"},
      {"farm glow -i in.png -o 'o_%d.png' --dry-run", "no input is a sequence or a video: give the frames"},
      {"farm glow -i in.png -o 'o_%d.png' --frames 1-4 --chunk 0", "--chunk wants frames per task"},
      {"farm glow -i in.png -o 'o_%d.png' --shot 5-9 --frames 1-4", "reach outside the shot 5-9"},
      {"farm glow -i in.png -o 'o_%d.png' --frames 1-4 --sbatch mem", "--sbatch wants one sbatch option"},
      {"farm glow -i in.png -o 'o_%d.png' --frames 1-4 --set Nope=1 --dry-run", "Nope"},
      {"farm --status x", "--status wants a job number"},
      {"farm --resubmit 12 --task 1", "no seqfx-farm-12.sh here"},
  };
  for (const auto &b : bad) {
    r = seqfx_in(dir, b.first);
    EXPECT_NE(r.code, 0) << b.first;
    EXPECT_TRUE(contains(r.out, b.second)) << b.first << "\n" << r.out;
  }
}

// Needs a Slurm controller (CI starts one with scripts/slurm-local).
TEST(Farm, FourChunksOnSlurmEqualALocalRender) {
  std::string ping;
  if (run({"sh", "-c", "scontrol ping 2>&1 | grep -q UP"}, &ping) != 0) {
    if (getenv("SEQFX_REQUIRE_SLURM")) FAIL() << "SEQFX_REQUIRE_SLURM is set but no Slurm controller answers";
    GTEST_SKIP() << "no Slurm controller answers (scontrol ping): start one with scripts/slurm-local start";
  }
  TempDir dir;
  for (int f = 1; f <= 48; ++f)
    write_png(dir / numbered("in_%d.png", f), 24, 16, [&](int x, int y) {
      return Pixel{(unsigned char)((x * 10 + f * 5) % 256), (unsigned char)(y * 15), (unsigned char)(f * 5), 255};
    });
  Result r = seqfx_in(dir, "--quiet render glow -i 'in_%d.png' -o 'local_%d.png' --factor 0:1 -j 2");
  ASSERT_EQ(r.code, 0) << r.out;
  r = seqfx_in(dir, "--quiet farm glow -i 'in_%d.png' -o 'farm_%d.png' --factor 0:1 --chunk 12 --time 10");
  ASSERT_EQ(r.code, 0) << r.out;
  ASSERT_TRUE(contains(r.out, "4 tasks of 12 frames, frames 1-48")) << r.out;
  const std::string job = r.out.substr(4, r.out.find(':') - 4);

  bool finished = false;
  for (int s = 0; s < 600 && !finished; ++s) {
    sleep(1);
    r = seqfx_in(dir, "farm --status " + job);
    ASSERT_TRUE(contains(r.out, "job " + job + ": 4 tasks: ")) << r.out;
    ASSERT_FALSE(contains(r.out, "FAILED")) << r.out;
    finished = contains(r.out, "0 running, 0 pending");
  }
  ASSERT_TRUE(finished) << "the job did not end within 10 minutes: " << r.out;
  EXPECT_TRUE(contains(r.out, "4 completed")) << r.out;
  for (int f = 1; f <= 48; ++f) {
    const std::string local = file_bytes(dir / numbered("local_%d.png", f));
    ASSERT_FALSE(local.empty()) << f;
    EXPECT_EQ(local, file_bytes(dir / numbered("farm_%d.png", f))) << "frame " << f;
  }
}

}  // namespace
