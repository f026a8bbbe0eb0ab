// defocus: the vector paths of both blurs against the plain model, over
// frame sizes that leave partial groups of lanes (including single rows and
// columns) and depth planes whose masks change level smoothly, every pixel
// or in blocks, so that lanes share one kernel, two, or more.

#include "defocus_model.h"
#include "seqfx_test.h"

#include <algorithm>
#include <cstdio>

using seqfx::Image;

namespace {

enum Depth { kRamp, kNoise, kBlocks };

Image scene(int w, int h, Depth kind, unsigned seed) {
  Image img = seqfx_test::test_picture(w, h, seed);
  int *z = img.add_zbuf();
  unsigned st = seed * 2654435761u + 7u;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      st = st * 1103515245u + 12345u;
      double v = w > 1 ? -2.1e9 + 4.2e9 * x / (w - 1) : -1.0e9;
      if (kind == kNoise) v += (double)((st >> 8) & 0xFFFFFF) * 60.0 - 5.0e8;
      if (kind == kBlocks) v = ((x / 5 + y / 3) % 3 - 1) * 1.4e9 + (double)((st >> 12) & 0xFFFF);
      // Depths beyond an int's range are held at its ends, as a renderer's
      // saturated depth would be.
      z[(long)y * w + x] = (int)std::max(-2147483648.0, std::min(2147483647.0, v));
    }
  return img;
}

class DefocusLanes : public ::testing::Test {
 protected:
  void SetUp() override { p = seqfx_test::load("defocus"); }
  void expect_model(Image &in, const defocus_model::Settings &s, const char *what) {
    p->set_value("Blursize", s.blursize);
    p->set_value("Zmin", s.zmin);
    p->set_value("Focus", s.focus);
    p->set_value("Autofocus", s.autofocus);
    p->set_value("Ipofocus", s.ipofocus);
    p->set_value("Gamma", s.gamma);
    p->set_value("Sigma", s.sigma);
    Image out(in.width(), in.height());
    seqfx_test::Console c;
    p->render(1, s.factor0, 0, in, nullptr, out);
    c.finish();
    const std::vector<unsigned char> want = defocus_model::render(in, s);
    ASSERT_EQ(want.size(), in.pixels() * 3) << what << "\n" << c.out();
    for (int i = 0; i < (int)in.pixels(); ++i) {
      const unsigned char *o = out.pixel(i % in.width(), i / in.width());
      for (int ch = 0; ch < 3; ++ch)
        ASSERT_EQ(o[ch], want[3 * i + ch])
            << what << " " << in.width() << "x" << in.height() << " pixel " << i << " channel "
            << ch << " blur " << s.blursize << " sigma " << s.sigma << " focus " << s.focus;
    }
  }
  std::unique_ptr<seqfx::Plugin> p;
};

TEST_F(DefocusLanes, EveryPathGivesThePlainBytes) {
  const std::pair<int, int> sizes[] = {{1, 40}, {40, 1}, {8, 8}, {9, 17}, {23, 41}, {67, 29},
                                       {130, 21}};
  unsigned seed = 1;
  for (const auto &[w, h] : sizes)
    for (Depth kind : {kRamp, kNoise, kBlocks}) {
      Image in = scene(w, h, kind, seed);
      // Settings drawn from the seed: blur radius across its range, the
      // contrast curve on or off, focus from the centre or the slider.
      defocus_model::Settings s;
      s.blursize = 2.0f + (float)((seed * 7) % 29);
      s.sigma = seed % 3 == 0 ? 0.0f : (float)(seed % 20);
      // Autofocus on single rows and columns too: its block is cut to
      // the frame there.
      s.autofocus = seed % 2 == 0;
      s.focus = 0.35f + 0.1f * (float)(seed % 4);
      s.gamma = seed % 4 == 1 ? 0.6f : 1.0f;
      char what[48];
      std::snprintf(what, sizeof what, "depth %d seed %u", (int)kind, seed);
      expect_model(in, s, what);
      ++seed;
    }
}

}  // namespace
