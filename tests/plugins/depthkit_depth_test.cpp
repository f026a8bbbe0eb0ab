// depthkit: where the working depth comes from, the 32-bit snapshot and its
// re-import, handing the depth on to the output, and the console report.

#include "depthkit_support.h"

#include <cstdio>
#include <cstring>
#include <random>

using seqfx::Image;
using seqfx_test::at;
using seqfx_test::Pixel;
using namespace depthkit_test;

namespace {

std::string fmt(const char *f, double a, double b) {
  char buf[256];
  std::snprintf(buf, sizeof buf, f, a, b);
  return buf;
}

Image with_depth(int w, int h, unsigned seed) {
  Image img = seqfx_test::test_picture(w, h, seed);
  std::mt19937 rng(seed);
  int *z = img.add_zbuf();
  for (int i = 0; i < w * h; ++i) z[i] = (int)rng();
  z[0] = INT32_MIN;
  if (w * h > 1) z[1] = INT32_MAX;
  return img;
}

Image inverted(const Image &in) {
  Image o(in.width(), in.height());
  for (size_t i = 0; i < in.pixels() * 4; ++i) o.rect()[i] = i % 4 == 3 ? in.rect()[i] : 255 - in.rect()[i];
  return o;
}

TEST_F(Depthkit, SnapshotIsBigEndianDepth) {
  Image in = depth_row({0x01020304, -1, INT32_MIN, 0x7FFFFF00});
  Image out(4, 1);
  p->set_value(kDump, 2);
  run(in, nullptr, out);
  EXPECT_EQ(p->int_slot(kLastMode), 4);
  EXPECT_EQ(at(out, 0, 0), (Pixel{1, 2, 3, 4}));
  EXPECT_EQ(at(out, 1, 0), (Pixel{255, 255, 255, 255}));
  EXPECT_EQ(at(out, 2, 0), (Pixel{128, 0, 0, 0}));
  EXPECT_EQ(at(out, 3, 0), (Pixel{127, 255, 255, 0}));
}

TEST_F(Depthkit, SnapshotReimportedThroughSecondStripIsExactAcrossFrames) {
  auto q = seqfx_test::load("depthkit");  // the strip that imports the snapshot
  for (auto [w, h] : {std::pair{1, 1}, {7, 5}, {37, 23}}) {
    for (unsigned frame = 1; frame <= 3; ++frame) {
      Image scene = with_depth(w, h, frame * 31 + w);
      Image snapshot(w, h);
      p->set_value(kDump, 2);
      run(scene, nullptr, snapshot, (float)frame);

      Image plain = seqfx_test::test_picture(w, h, frame * 31 + w);  // the scene without depth
      q->set_value(kDump, 2);
      q->set_value(kUse2, 1);
      q->set_value(kOutZ, 1);
      Image again(w, h);
      std::string log = run_on(*q, plain, &snapshot, again, (float)frame);
      EXPECT_NE(log.find("Z-buffer imported from ibuf2->rect..."), std::string::npos);
      EXPECT_TRUE(seqfx_test::same_pixels(snapshot, again)) << w << "x" << h << " frame " << frame;
      ASSERT_NE(again.zbuf(), nullptr);
      EXPECT_EQ(std::memcmp(again.zbuf(), scene.zbuf(), scene.pixels() * 4), 0);

      // The imported depth drives the other modes exactly as the original.
      p->set_value(kView, 1);
      q->set_value(kView, 1);
      Image direct(w, h), imported(w, h);
      run(scene, nullptr, direct, (float)frame);
      run_on(*q, plain, &snapshot, imported, (float)frame);
      EXPECT_TRUE(seqfx_test::same_pixels(direct, imported)) << w << "x" << h;
      EXPECT_EQ(p->float_slot(kEnd), q->float_slot(kEnd));
    }
  }
}

TEST_F(Depthkit, OutputZbufPointsAtTheWorkingPlane) {
  Image in = depth_row({5, 6});
  Image out(2, 1);
  p->call(1, 0, 0, 2, 1, in.record(), nullptr, out.record(), nullptr);
  EXPECT_EQ(out.record()->zbuf, nullptr);
  p->set_value(kOutZ, 1);
  p->call(1, 0, 0, 2, 1, in.record(), nullptr, out.record(), nullptr);
  EXPECT_EQ(out.record()->zbuf, in.zbuf());
  out.record()->zbuf = nullptr;

  // Depth taken from the second strip's depth plane.
  Image flat = seqfx_test::test_picture(2, 1);
  p->set_value(kUse2, 1);
  p->call(1, 0, 0, 2, 1, flat.record(), in.record(), out.record(), nullptr);
  EXPECT_EQ(out.record()->zbuf, in.zbuf());
  out.record()->zbuf = nullptr;
  // With its own plane ibuf1 wins and "use ibuf2" is switched off.
  Image other = depth_row({7, 8});
  p->call(1, 0, 0, 2, 1, other.record(), in.record(), out.record(), nullptr);
  EXPECT_EQ(out.record()->zbuf, other.zbuf());
  EXPECT_EQ(p->int_slot(kUse2), 0);
  out.record()->zbuf = nullptr;
}

TEST_F(Depthkit, WithoutDepthTheFirstStripComesOutInverted) {
  Image in = seqfx_test::test_picture(7, 5);
  Image out(7, 5);
  p->set_value(kOutZ, 1);
  std::string log = run(in, nullptr, out);
  EXPECT_TRUE(seqfx_test::same_pixels(out, inverted(in)));
  EXPECT_EQ(p->int_slot(kOutZ), 0);
  EXPECT_EQ(out.zbuf(), nullptr);
  const std::string tail =
      "No zbuf...\n\n     ->and no second strip to use for one\n...you need to add a rgba depth image or\n"
      "...the origional scene strip to plugin\n";
  EXPECT_EQ(log.substr(log.size() - tail.size()), tail) << log;

  // The first strip given twice counts as no second strip.
  Image out2(7, 5);
  p->set_value(kUse2, 1);
  {
    seqfx_test::Console c;
    p->call(1, 0, 0, 7, 5, in.record(), in.record(), out2.record(), nullptr);
    c.finish();
    EXPECT_NE(c.out().find("no second strip"), std::string::npos);
  }
  EXPECT_TRUE(seqfx_test::same_pixels(out2, inverted(in)));
}

TEST_F(Depthkit, SecondStripOffersItsDepthUntilUseIbuf2IsOn) {
  Image in = seqfx_test::test_picture(3, 2);
  in.set_name("clip.png");
  Image second = seqfx_test::test_picture(3, 2, 9);
  second.set_name("depth.rgba");
  Image out(3, 2);
  p->set_value(kOutZ, 1);
  std::string log = run(in, &second, out);
  EXPECT_NE(log.find("\nibuf1: clip.png...No zbuf...\nibuf2: depth.rgba...no zbuf...\n"
                     "...strip 2 image(ibuf2->rect) is avalable for import to zbuf...\n\n"
                     "     ->toggle [use ibuf2] to use ibuf2->rect for working zbuffer\n"),
            std::string::npos) << log;
  EXPECT_TRUE(seqfx_test::same_pixels(out, inverted(in)));
  EXPECT_EQ(p->int_slot(kOutZ), 0);

  second.add_zbuf();
  log = run(in, &second, out);
  EXPECT_NE(log.find("with zbuf...\n...strip 2 zbuffer(ibuf2->zbuf) is avalable for import to zbuf...\n\n"
                     "     ->toggle [use ibuf2] to use ibuf2->zbuf for working zbuffer\n"),
            std::string::npos) << log;
  p->set_value(kUse2, 1);
  log = run(in, &second, out);
  EXPECT_NE(log.find("Z-buffer imported from ibuf2->zbuf...working zbuf detected...\n"), std::string::npos)
      << log;
  EXPECT_FALSE(seqfx_test::same_pixels(out, inverted(in)));
}

TEST_F(Depthkit, ReportAtVerbosityOne) {
  settle();
  Image in = depth_row({-1500000, 2250000});
  in.set_name("scene");
  Image out(2, 1);
  std::string log = run(in, nullptr, out, 7.9f);
  std::string want = "\nDepthkit v.2a...frame #7...(2x1)...\nibuf1: scene...working zbuf detected...\n"
                     "\nDepthkit mode: view Z, normal gradient\n"
                     "    mask color: red 0; green 255; blue 0; alpha 0\n"
                     "auto select on [toggle off to change selected z-values]\n";
  want += fmt("   Selected range start Z: %12.6f;     end Z: %12.6f\n", -1.5, 2.25);
  want += fmt("    This frame's lowest Z: %12.6f; highest Z: %12.6f\n", -1.5, 2.25);
  EXPECT_EQ(log, want);

  // DOF mask: no colour line, but the clip line.
  p->set_value(kView, 2);
  p->set_value(kClip, 1);
  p->set_value(kFront, 12);
  in.set_name("");
  log = run(in, nullptr, out, -2.5f);
  EXPECT_EQ(log.rfind("\nDepthkit v.2a...frame #-2...(2x1)...\nibuf1: must be scene strip...", 0), 0u) << log;
  EXPECT_NE(log.find("\nDepthkit mode: DOF mask, normal gradient\nDOF gradient clip active: near clip=12, far clip=255\n"
                     "auto select on"),
            std::string::npos) << log;
}

TEST_F(Depthkit, QuietAndTooMuchInfo) {
  settle();
  Image in = depth_row({0, 1000000});
  in.set_name("scene");
  Image out(2, 1);
  p->set_value(kVerbose, 0);
  p->set_value(kAuto, 0);
  EXPECT_EQ(run(in, nullptr, out, 3), "\nDepthkit v.2a...frame #3...(2x1)...\nibuf1: ");

  p->set_value(kVerbose, 2);
  std::string log = run(in, nullptr, out, 3);
  const std::string head = "\nDepthkit v.2a...frame #3...(2x1)...\nibuf1: scene...working zbuf detected...\n";
  EXPECT_EQ(log.rfind(head + kRangeNote +
                          "This frame's closest and farthest pixels are 1.000000 million Z units apart\n"
                          "     and uses 20 of the available 32 bits\n\nDepthkit mode: view Z",
                      0),
            0u) << log;

  // The whole depth range: a span of 2^32 units still reports 32 bits.
  Image wide = depth_row({INT32_MIN, INT32_MAX});
  log = run(wide, nullptr, out, 3);
  EXPECT_NE(log.find("     and uses 32 of the available 32 bits\n"), std::string::npos) << log;
}

TEST_F(Depthkit, SnapshotReportAndNothingAfterIt) {
  settle();
  Image in = depth_row({1, 2});
  Image out(2, 1);
  p->set_value(kDump, 2);
  p->set_value(kOutZ, 1);
  std::string log = run(in, nullptr, out);
  const std::string tail =
      "zbuf exported to output image(out->zbuf linked to working zbuf) ...\n\nDepthkit mode: dump Z to image buffer"
      "\n\nibuf1->zbuf dumped into out->rect...\n"
      "     output is now 32bit RGBA snapshot of zbuffer\n     save this z-buffer image as a rgba for depth file\n";
  ASSERT_GE(log.size(), tail.size());
  EXPECT_EQ(log.substr(log.size() - tail.size()), tail) << log;
  // render() gave out its own copy of the exported plane.
  ASSERT_NE(out.zbuf(), nullptr);
  EXPECT_NE(out.zbuf(), in.zbuf());
  EXPECT_EQ(out.zbuf()[1], 2);
}

}  // namespace
