// The frei0r bridge driven as a frei0r host drives it, over the all_kinds
// test module (a row of every kind; its effect copies the input and writes
// the slot of the row named by the first input byte, the frame number and
// the last changed row into its first two pixels).
#include "bridge.h"
#include "frame_clock.h"
#include "params.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>

using namespace seqfx::frei0r;

namespace {

constexpr unsigned W = 5, H = 3;

struct Bridged : ::testing::Test {
  Bridge bridge{"all_kinds", {"/nonexistent", SEQFX_FIXTURE_DIR}};
  void SetUp() override { ASSERT_EQ(bridge.init(), 1) << bridge.error(); }
  void TearDown() override { bridge.deinit(); }

  int index(const std::string &name) const {
    for (std::size_t i = 0; i < bridge.params().size(); ++i)
      if (bridge.params()[i].name == name) return (int)i;
    ADD_FAILURE() << "no parameter " << name;
    return -1;
  }
  void set(Instance *in, const std::string &name, double v) {
    bridge.set_param(in, &v, index(name));
  }
  double get(Instance *in, const std::string &name) {
    double v = -99;
    bridge.get_param(in, &v, index(name));
    return v;
  }

  // Runs one frame whose bottom-left pixel (the module's pixel 0) names
  // `row`; returns the output frame, top row first.
  std::vector<std::uint32_t> run(Instance *in, int row, double time = 0) {
    std::vector<std::uint32_t> src(W * H), dst(W * H, 0xdeadbeef);
    for (std::size_t i = 0; i < src.size(); ++i) src[i] = 0x80402000u + (std::uint32_t)i * 0x01010101u;
    unsigned char *bl = reinterpret_cast<unsigned char *>(&src[(H - 1) * W]);
    bl[0] = (unsigned char)row;
    bridge.update(in, time, src.data(), nullptr, nullptr, dst.data());
    last_in = src;
    return dst;
  }
  // The 4 bytes the module wrote into its pixel 0 (the bottom-left one).
  std::vector<unsigned char> slot(Instance *in, int row, double time = 0) {
    auto out = run(in, row, time);
    const unsigned char *p = reinterpret_cast<const unsigned char *>(&out[(H - 1) * W]);
    return {p[0], p[1], p[2], p[3]};
  }
  std::vector<std::uint32_t> last_in;
};

std::int32_t as_int(const std::vector<unsigned char> &b) {
  std::int32_t v;
  std::memcpy(&v, b.data(), 4);
  return v;
}
float as_float(const std::vector<unsigned char> &b) {
  float v;
  std::memcpy(&v, b.data(), 4);
  return v;
}

}  // namespace

TEST_F(Bridged, DescribesTheModuleAsAFilterWithTableRowsThenItsOwn) {
  f0r_plugin_info_t info{};
  bridge.plugin_info(&info);
  EXPECT_STREQ(info.name, "seqfx_all_kinds");
  EXPECT_EQ(info.plugin_type, F0R_PLUGIN_TYPE_FILTER);
  EXPECT_EQ(info.color_model, F0R_COLOR_MODEL_RGBA8888);
  EXPECT_EQ(info.frei0r_version, FREI0R_MAJOR_VERSION);

  const std::vector<std::pair<std::string, int>> want = {
      {"Size", F0R_PARAM_DOUBLE},   {"Gamma", F0R_PARAM_DOUBLE},      {"Gamma 2", F0R_PARAM_DOUBLE},
      {"Count", F0R_PARAM_DOUBLE},  {"On", F0R_PARAM_BOOL},           {"three", F0R_PARAM_DOUBLE},
      {"color", F0R_PARAM_COLOR},   {"Txt", F0R_PARAM_STRING},       {"factor", F0R_PARAM_DOUBLE},
      {"factor2", F0R_PARAM_DOUBLE}, {"frame_rate", F0R_PARAM_DOUBLE}, {"time_in_ms", F0R_PARAM_BOOL}};
  ASSERT_EQ(info.num_params, (int)want.size());
  for (int i = 0; i < info.num_params; ++i) {
    f0r_param_info_t p{};
    bridge.param_info(&p, i);
    EXPECT_EQ(p.name, want[(std::size_t)i].first) << i;
    EXPECT_EQ(p.type, want[(std::size_t)i].second) << i;
    ASSERT_NE(p.explanation, nullptr);
    EXPECT_EQ(std::string(p.explanation).back(), ')') << p.explanation;
  }
  // Labels open the explanation of the row after them; ranges and defaults
  // close every explanation.
  const auto &ps = bridge.params();
  EXPECT_EQ(ps[0].explanation, "[Input: 1 strip] an int slider (whole numbers 1 to 64 as 0 to 1, default 7)");
  EXPECT_EQ(ps[1].explanation, "a float slider (0.1 to 10 as 0 to 1, default 1.5)");
  EXPECT_EQ(ps[4].explanation, "a toggle (off or on, default on)");
  EXPECT_EQ(ps[7].explanation, "[Sixteen chars ok] a text (text of at most 12 characters, default empty)");
  f0r_param_info_t none{};
  bridge.param_info(&none, 99);  // out of range: left alone
  EXPECT_EQ(none.name, nullptr);
}

TEST_F(Bridged, DefaultsAreTheTablesAndValuesReadBackExactlyAsSet) {
  Instance *in = bridge.construct(W, H);
  ASSERT_NE(in, nullptr);
  EXPECT_DOUBLE_EQ(get(in, "Size"), 6.0 / 63.0);
  EXPECT_DOUBLE_EQ(get(in, "Count"), 7.0 / 20.0);
  EXPECT_EQ(get(in, "On"), 1.0);
  EXPECT_EQ(get(in, "three"), 1.0);
  EXPECT_EQ(get(in, "frame_rate"), 0.025);
  EXPECT_EQ(get(in, "time_in_ms"), 0.0);
  // The defaults reach the module unchanged (nothing is written until set).
  EXPECT_EQ(as_int(slot(in, 1)), 7);
  EXPECT_EQ(as_float(slot(in, 2)), 1.5f);
  EXPECT_EQ(as_int(slot(in, 4)), -3);

  for (double v : {0.123456789, 5.0, -2.0, 1e-300}) {
    set(in, "Size", v);
    EXPECT_EQ(get(in, "Size"), v);
  }
  f0r_param_color_t c{0.25f, 2.0f, -1.0f}, back{};
  bridge.set_param(in, &c, index("color"));
  bridge.get_param(in, &back, index("color"));
  EXPECT_EQ(std::memcmp(&c, &back, sizeof c), 0);
  const char *text = "hello";
  bridge.set_param(in, &text, index("Txt"));
  const char *got = nullptr;
  bridge.get_param(in, &got, index("Txt"));
  EXPECT_STREQ(got, "hello");
  // factor2 follows factor until it is set.
  set(in, "factor", 0.4);
  EXPECT_EQ(get(in, "factor2"), 0.4);
  set(in, "factor2", 0.7);
  set(in, "factor", 0.1);
  EXPECT_EQ(get(in, "factor2"), 0.7);
  bridge.destruct(in);
}

TEST_F(Bridged, ValuesAreMappedOntoEachRowKind) {
  Instance *in = bridge.construct(W, H);
  ASSERT_NE(in, nullptr);
  set(in, "Size", 0.5);  // 1 + 31.5 rounds to 33
  EXPECT_EQ(as_int(slot(in, 1)), 33);
  set(in, "Size", 7.0);  // limited to 1
  EXPECT_EQ(as_int(slot(in, 1)), 64);
  set(in, "Count", 0.26);  // -10 + 5.2
  EXPECT_EQ(as_int(slot(in, 4)), -5);
  const int gamma = index("Gamma");  // the slider, row 2 ("Gamma "); row 3 is "Gamma 2"
  double d = 0.3;
  bridge.set_param(in, &d, gamma);
  EXPECT_EQ(as_float(slot(in, 2)), (float)(0.1f + 0.3 * ((double)10.0f - (double)0.1f)));
  d = -4;
  bridge.set_param(in, &d, gamma);
  EXPECT_EQ(as_float(slot(in, 2)), 0.1f);

  set(in, "On", 0.49);
  EXPECT_EQ(as_int(slot(in, 5)), 0);
  set(in, "On", 0.5);
  EXPECT_EQ(as_int(slot(in, 5)), 1);

  // Three states in thirds, written as two 16-bit halves.
  const std::vector<std::pair<double, std::vector<unsigned char>>> tri = {
      {0.0, {0, 0, 0, 0}}, {0.33, {0, 0, 0, 0}}, {0.34, {1, 0, 0, 0}}, {0.66, {1, 0, 0, 0}},
      {0.67, {1, 0, 1, 0}}, {1.0, {1, 0, 1, 0}}};
  for (const auto &t : tri) {
    set(in, "three", t.first);
    EXPECT_EQ(slot(in, 6), t.second) << t.first;
  }

  f0r_param_color_t c{1.0f, 0.5f, 0.0f};
  bridge.set_param(in, &c, index("color"));
  EXPECT_EQ(slot(in, 7), (std::vector<unsigned char>{255, 128, 0, 255}));
  c = {-3.0f, 0.2f, 9.0f};
  bridge.set_param(in, &c, index("color"));
  EXPECT_EQ(slot(in, 7), (std::vector<unsigned char>{0, 51, 255, 255}));

  // Text: cut to 12 bytes, never inside a character ("é" is two bytes).
  const char *text = "abcdefghijk\xc3\xa9xyz";
  bridge.set_param(in, &text, index("Txt"));
  EXPECT_EQ(slot(in, 9), (std::vector<unsigned char>{'a', 'b', 'c', 'd'}));
  EXPECT_EQ(in->plugin().text_slot(9), "abcdefghijk");
  bridge.destruct(in);
}

TEST(Frei0rText, CutsAtCharacterBoundaries) {
  EXPECT_EQ(cut_text("abc", 5), "abc");
  EXPECT_EQ(cut_text("abcdef", 3), "abc");
  EXPECT_EQ(cut_text("a\xc3\xa9", 2), "a");
  EXPECT_EQ(cut_text("a\xc3\xa9", 3), "a\xc3\xa9");
  EXPECT_EQ(cut_text("\xe2\x82\xac\xe2\x82\xac", 5), "\xe2\x82\xac");
  EXPECT_EQ(cut_text("abc", 0), "");
}

TEST(Frei0rFrameClock, FramesCountFromOneAtTheGivenRate) {
  FrameClock c;
  EXPECT_EQ(c.next(0.0, 25, false), 1.0f);
  EXPECT_EQ(c.next(0.04, 25, false), 2.0f);
  EXPECT_EQ(c.next(0.12, 25, false), 4.0f);    // times need not come in order
  EXPECT_EQ(c.next(280.0, 25, true), 8.0f);    // milliseconds
  EXPECT_EQ(c.next(279.999, 25, true), 8.0f);  // nearest frame
  EXPECT_EQ(c.next(1.0, 30000.0 / 1001, false), 31.0f);
  // Garbage times fall back to the instance's own count (7 calls so far, so 7, 8, ...).
  EXPECT_EQ(c.next(-3.7e20, 25, true), 7.0f);
  EXPECT_EQ(c.next(NAN, 25, false), 8.0f);
  EXPECT_EQ(c.next(INFINITY, 25, false), 9.0f);
  EXPECT_EQ(c.next(1e12, 25, false), 10.0f);
  EXPECT_EQ(c.next(0, 0, false), 11.0f);
  EXPECT_EQ(frames_per_second(0.025), 25.0);
  EXPECT_EQ(frames_per_second(29.97), 29.97);
  EXPECT_EQ(frames_per_second(1.0), 1000.0);
  EXPECT_EQ(frames_per_second(-1), 25.0);
  EXPECT_EQ(frames_per_second(NAN), 25.0);
}

TEST_F(Bridged, RowsAreFlippedAlphaKeptAndTheFrameNumberPassed) {
  Instance *in = bridge.construct(W, H);
  ASSERT_NE(in, nullptr);
  set(in, "time_in_ms", 1);
  auto out = run(in, 0, 200.0);  // 200 ms at 25 fps: frame 6
  for (unsigned i = 0; i < W * H; ++i) {
    if (i == (H - 1) * W || i == (H - 1) * W + 1) continue;  // the module's pixels 0 and 1
    EXPECT_EQ(out[i], last_in[i]) << i;
  }
  EXPECT_EQ(reinterpret_cast<unsigned char *>(&out[(H - 1) * W + 1])[0], 6);
  set(in, "frame_rate", 50);
  out = run(in, 0, 200.0);
  EXPECT_EQ(reinterpret_cast<unsigned char *>(&out[(H - 1) * W + 1])[0], 11);

  // The output may be the input itself (byte 0 names row 0, a label).
  std::vector<std::uint32_t> same(W * H, 0x11223300u);
  bridge.update(in, 0, same.data(), nullptr, nullptr, same.data());
  EXPECT_EQ(same[0], 0x11223300u);
  bridge.destruct(in);
}

TEST_F(Bridged, InstancesOfAStatefulModuleShareNoState) {
  // all_kinds has no manifest, so it counts as keeping state: every
  // instance gets its own copy. Its "last changed row" is file-scope.
  Instance *a = bridge.construct(W, H);
  Instance *b = bridge.construct(W, H);
  ASSERT_TRUE(a && b);
  EXPECT_TRUE(a->private_copy());
  set(a, "On", 0);
  auto oa = run(a, 0);
  auto ob = run(b, 0);
  EXPECT_EQ(reinterpret_cast<unsigned char *>(&oa[(H - 1) * W + 1])[1], 5);
  EXPECT_EQ(reinterpret_cast<unsigned char *>(&ob[(H - 1) * W + 1])[1], 254);  // -2: init only
  bridge.destruct(a);
  bridge.destruct(b);
}

TEST_F(Bridged, InitIsCountedAndInstancesRunFromSeveralThreads) {
  ASSERT_EQ(bridge.init(), 1);
  bridge.deinit();
  // Still initialised once (by SetUp): instances keep working in threads.
  std::vector<Instance *> inst;
  for (int k = 0; k < 4; ++k) inst.push_back(bridge.construct(W, H));
  std::vector<int> wrong(4, 0);
  std::vector<std::thread> threads;
  for (int k = 0; k < 4; ++k)
    threads.emplace_back([&, k] {
      std::vector<std::uint32_t> src(W * H, 0), dst(W * H);
      for (int f = 0; f < 40; ++f) {
        bridge.update(inst[(std::size_t)k], f / 25.0, src.data(), nullptr, nullptr, dst.data());
        if (reinterpret_cast<unsigned char *>(&dst[(H - 1) * W + 1])[0] != f + 1) ++wrong[(std::size_t)k];
      }
    });
  for (auto &t : threads) t.join();
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(wrong[(std::size_t)k], 0) << k;
    bridge.destruct(inst[(std::size_t)k]);
  }
}

TEST(Frei0rBridge, AMissingModuleFailsInitWithItsName) {
  Bridge b("no_such_module", {"/nonexistent"});
  testing::internal::CaptureStderr();
  EXPECT_EQ(b.init(), 0);
  EXPECT_EQ(b.construct(4, 4), nullptr);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("seqfx_no_such_module: cannot find the seqfx module no_such_module.so"),
            std::string::npos)
      << err;
  f0r_plugin_info_t info{};
  b.plugin_info(&info);
  EXPECT_EQ(info.num_params, 0);
}

TEST_F(Bridged, RefusesFrameSizesTheModulesCannotTake) {
  testing::internal::CaptureStderr();
  EXPECT_EQ(bridge.construct(0, 10), nullptr);
  EXPECT_EQ(bridge.construct(40000, 10), nullptr);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("outside 1x1 to 32767x32767"), std::string::npos);
  Instance *one = bridge.construct(1, 1);
  ASSERT_NE(one, nullptr);
  std::uint32_t px = 0x01020304u, out = 0;
  bridge.update(one, 0, &px, nullptr, nullptr, &out);
  bridge.destruct(one);
}

TEST_F(Bridged, OneInstanceCalledFromTwoThreadsAtOncePassesFramesThroughWithOneError) {
  // Large frames make every call long, so two threads hammering one
  // instance soon overlap, as when a host slices a frame across threads.
  constexpr unsigned BW = 1024, BH = 1024;
  Instance *in = bridge.construct(BW, BH);
  ASSERT_NE(in, nullptr);
  testing::internal::CaptureStderr();
  std::atomic<bool> stop{false};
  auto hammer = [&] {
    std::vector<std::uint32_t> src(BW * BH, 0x01020300u), dst(BW * BH);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!stop && std::chrono::steady_clock::now() < end) {
      bridge.update(in, 0, src.data(), nullptr, nullptr, dst.data());
      stop = stop || in->sliced();
    }
  };
  std::thread a(hammer), b(hammer);
  a.join();
  b.join();
  const std::string err = testing::internal::GetCapturedStderr();
  ASSERT_TRUE(in->sliced());
  EXPECT_EQ(err,
            "seqfx_all_kinds: one instance is called from several threads at once (sliced "
            "rendering); this effect cannot be sliced, so its frames pass through unchanged: "
            "render it without slice threads\n");
  // From then on the instance passes its input through.
  std::vector<std::uint32_t> src(BW * BH, 0x05060700u), dst(BW * BH, 0);
  bridge.update(in, 0, src.data(), nullptr, nullptr, dst.data());
  EXPECT_EQ(dst, src);
  bridge.destruct(in);
}
