// Every module the build made, through the bridge at awkward sizes, with
// inputs missing and with every value at both ends: nothing is read or
// written outside the frames (the sanitizer build checks), and a module the
// bridge leaves out is refused with its reason.
#include "bridge.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

using namespace seqfx::frei0r;

namespace {

std::vector<std::string> built_modules() {
  std::vector<std::string> names;
  std::stringstream in(SEQFX_BUILT_MODULES);
  for (std::string n; std::getline(in, n, ',');)
    if (!n.empty()) names.push_back(n);
  return names;
}

void set_all(Bridge &b, Instance *inst, double d) {
  for (int i = 0; i < (int)b.params().size(); ++i) {
    const ParamSpec &s = b.params()[(std::size_t)i];
    if (s.extra == Extra::TimeInMs || s.extra == Extra::FrameRate) continue;
    if (s.type == F0R_PARAM_COLOR) {
      f0r_param_color_t c{(float)d, (float)d, (float)d};
      b.set_param(inst, &c, i);
    } else if (s.type == F0R_PARAM_STRING) {
      const char *t = d > 0.5 ? "a long text, longer than any text row of a table allows" : "";
      b.set_param(inst, &t, i);
    } else {
      b.set_param(inst, &d, i);
    }
  }
}

}  // namespace

TEST(Frei0rModules, EveryBridgedModuleTakesAnySizeAndMissingInputs) {
  for (const std::string &m : built_modules()) {
    SCOPED_TRACE(m);
    Bridge b(m, {SEQFX_PLUGIN_DIR});
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    const int ok = b.init();
    if (!ok) {
      testing::internal::GetCapturedStdout();
      const std::string err = testing::internal::GetCapturedStderr();
      // Only the modules frei0r hosts cannot feed are refused.
      EXPECT_TRUE(b.facts().needs_depth || b.facts().uses_float) << err;
      EXPECT_NE(err.find("seqfx_" + m + ": " + m), std::string::npos) << err;
      continue;
    }
    for (auto size : {std::pair<unsigned, unsigned>{1, 1}, {3, 2}, {17, 9}}) {
      Instance *inst = b.construct(size.first, size.second);
      ASSERT_NE(inst, nullptr);
      const std::size_t n = (std::size_t)size.first * size.second;
      std::vector<std::uint32_t> a(n, 0xff8040c0u), c(n, 0x10204080u), out(n);
      for (double d : {0.0, 1.0, 0.5}) {
        set_all(b, inst, d);
        b.update(inst, d * 3, a.data(), c.data(), a.data(), out.data());
        b.update(inst, -1, a.data(), nullptr, nullptr, out.data());  // inputs missing
        b.update(inst, NAN, a.data(), a.data(), c.data(), a.data());  // output on an input
      }
      b.destruct(inst);
    }
    b.deinit();
    testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
  }
}
