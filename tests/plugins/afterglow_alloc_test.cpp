// afterglow when memory runs out: every allocation of the sequence effect
// made to fail in turn. The test program's own malloc, calloc and free
// stand in for the C library's, so that the module's blocks of one frame
// can be failed and counted. Under AddressSanitizer, which owns the
// allocator, these tests are skipped.

#include "seqfx/texture.h"
#include "afterglow_rows.h"
#include "seqfx_test.h"

#include <cctype>
#include <cstddef>

#if defined(__SANITIZE_ADDRESS__)
#define AFTERGLOW_OWN_ALLOCATOR 0
#else
#define AFTERGLOW_OWN_ALLOCATOR 1

extern "C" void *__libc_malloc(size_t);
extern "C" void *__libc_calloc(size_t, size_t);
extern "C" void __libc_free(void *);

namespace {
// While `watched` is non-zero, blocks of exactly that many bytes are
// counted; the `fail_at`-th of them fails. Live watched blocks are kept.
size_t watched = 0;
int fail_at = 0, taken = 0;
void *live[16];
int live_count = 0;

void *watch(void *p, size_t bytes) {
  if (watched && bytes == watched && p && live_count < 16) live[live_count++] = p;
  return p;
}
bool fails(size_t bytes) { return watched && bytes == watched && ++taken == fail_at; }
}  // namespace

extern "C" void *malloc(size_t n) noexcept {
  return fails(n) ? nullptr : watch(__libc_malloc(n), n);
}
extern "C" void *calloc(size_t a, size_t b) noexcept {
  const size_t n = a * b;
  return fails(n) ? nullptr : watch(__libc_calloc(a, b), n);
}
extern "C" void free(void *p) noexcept {
  for (int i = 0; i < live_count; ++i)
    if (live[i] == p) live[i] = live[--live_count];
  __libc_free(p);
}
#endif

using seqfx::Image;
using seqfx_test::at;
using seqfx_test::Console;
using seqfx_test::Pixel;

namespace {

using namespace afterglow_rows;

// "\n<file> (<line>): Not enough memory for 4*851 Bytes!" with the
// module's source file and a line number.
bool is_memory_report(const std::string &err) {
  const std::string head = "\neffect.cpp (", tail = "): Not enough memory for 4*851 Bytes!";
  if (err.size() <= head.size() + tail.size() || err.compare(0, head.size(), head) != 0 ||
      err.compare(err.size() - tail.size(), tail.size(), tail) != 0)
    return false;
  for (size_t i = head.size(); i < err.size() - tail.size(); ++i)
    if (!std::isdigit((unsigned char)err[i])) return false;
  return true;
}

bool is_cancel_picture(const Image &img) {
  // The field of bytes 16 and the cross's first pixel at the bottom left
  // of the centred square.
  const int n = std::min(img.width(), img.height());
  const int r0 = (img.height() - n) >> 1, c0 = (img.width() - n) >> 1;
  int field = 0;
  for (size_t k = 0; k < img.pixels() * 4; ++k) field += img.rect()[k] == 16;
  return at(img, c0, r0) == (Pixel{255, 0, 0, 255}) && field >= (int)(img.pixels() - 2 * n) * 4;
}

class AfterglowMemory : public ::testing::Test {
 protected:
  void SetUp() override {
#if !AFTERGLOW_OWN_ALLOCATOR
    GTEST_SKIP() << "the sanitizer owns the allocator";
#endif
    Console quiet;
    p = seqfx_test::load("afterglow");
  }
  // One frame of 37 x 23 with depth on the input, the nth 3404-byte block
  // failing; out.zbuf stays null unless the module attaches one.
  struct Frame {
    std::string out, err;
    Image picture{0, 0};
    int blocks_left = 0;
  };
  Frame run(int nth, int w = 37, int h = 23) {
    Image in = seqfx_test::test_picture(w, h);
    in.add_zbuf();
    Frame f;
    f.picture = Image(w, h);
    Console c;
#if !AFTERGLOW_OWN_ALLOCATOR
    (void)nth;
#else
    watched = (size_t)w * h * 4;
    fail_at = nth;
    taken = 0;
    live_count = 0;
#endif
    p->call(1, 0, 0, w, h, in.record(), nullptr, f.picture.record(), nullptr);
#if AFTERGLOW_OWN_ALLOCATOR
    watched = 0;
    f.blocks_left = live_count;
#endif
    c.finish();
    f.out = c.out();
    f.err = c.err();
    f.picture.adopt_module_zbuf();
    return f;
  }
  std::unique_ptr<seqfx::Plugin> p;
};

TEST_F(AfterglowMemory, EveryFailureIsReportedAndCancelsTheFrame) {
  const char *names[] = {"glow", "aij", "bij", "gij", "rij", "ftemp", "out->zbuf"};
  for (int nth = 1; nth <= 7; ++nth) {
    SCOPED_TRACE(names[nth - 1]);
    Frame f = run(nth);
    EXPECT_NE(f.out.find(std::string("\n") + names[nth - 1] + "=(nil)\n"), std::string::npos) << f.out;
    EXPECT_EQ(f.out.find("Das war's"), std::string::npos);
    EXPECT_TRUE(is_memory_report(f.err)) << f.err;
    EXPECT_TRUE(is_cancel_picture(f.picture));
    EXPECT_EQ(f.picture.zbuf(), nullptr);  // no depth either
    EXPECT_EQ(f.blocks_left, 0);           // all blocks taken were given back
  }
  // Without failures six blocks come and go and the depth plane stays.
  Frame ok = run(0);
  EXPECT_NE(ok.out.find("Das war's"), std::string::npos);
  EXPECT_EQ(ok.blocks_left, 1);
  EXPECT_NE(ok.picture.zbuf(), nullptr);
}

TEST_F(AfterglowMemory, ASlotWithoutItsBufferIsSizedAgain) {
  Console quiet;
  auto tex = seqfx::Texture::beside(*p);
  p->set_value(kTexture, 12);
  p->set_value(kQ, 0);
  tex->plugin().set_value("TexturNr.", 12);
  quiet.finish();

  run(0, 5, 5);            // sizes slot 12 at another count
  Frame f = run(2);        // the slot's new buffer fails
  EXPECT_NE(f.out.find("screen->scr=(nil)\n"), std::string::npos);
  EXPECT_TRUE(is_cancel_picture(f.picture));
  EXPECT_EQ(f.blocks_left, 0);
  tex->shade(0, 0, 0, 0, 1);  // nothing to mark yet: ignored
  f = run(0);                 // the slot is sized now, nothing marked
  EXPECT_TRUE(is_cancel_picture(f.picture));
  EXPECT_EQ(f.blocks_left, 1);  // the slot keeps its new buffer

  // The centre (0, 0) marks pixel (19, 12). A failure after the marks were
  // taken clears them; a failure of glow itself leaves them for the next
  // frame.
  const int own_alpha = at(seqfx_test::test_picture(37, 23), 19, 12)[3];
  ASSERT_LT(own_alpha, 255);
  tex->shade(0, 0, 0, 0, 1);
  run(3);  // aij
  EXPECT_EQ(at(run(0).picture, 19, 12)[3], own_alpha);
  tex->shade(0, 0, 0, 0, 1);
  run(1);  // glow
  EXPECT_EQ(at(run(0).picture, 19, 12)[3], 255);
}

}  // namespace
