// Every built module against the inputs a host may hand it besides the
// usual: missing images, images without pixels, records smaller than the
// frame. Planes end at a page the process may not touch, so that an
// overrun crashes even without a sanitizer; each case runs in a child.

#include "seqfx/facts.h"
#include "seqfx_test.h"

#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <functional>

namespace {

// A plane of `bytes` whose last byte sits right before an inaccessible page.
class GuardedPlane {
 public:
  explicit GuardedPlane(std::size_t bytes) {
    const std::size_t page = (std::size_t)sysconf(_SC_PAGESIZE);
    const std::size_t body = (bytes + page - 1) / page * page;
    size_ = body + page;
    void *m = mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (m == MAP_FAILED) std::abort();
    base_ = static_cast<unsigned char *>(m);
    mprotect(base_ + body, page, PROT_NONE);
    data_ = base_ + body - bytes;
    for (std::size_t i = 0; i < bytes; ++i) data_[i] = (unsigned char)(i * 37 + 11);
  }
  ~GuardedPlane() { munmap(base_, size_); }
  GuardedPlane(const GuardedPlane &) = delete;
  GuardedPlane &operator=(const GuardedPlane &) = delete;
  template <typename T>
  T *as() { return reinterpret_cast<T *>(data_); }

 private:
  unsigned char *base_ = nullptr, *data_ = nullptr;
  std::size_t size_ = 0;
};

struct RecordSpec {
  int w, h;
  bool rect = true, zbuf = false, floatbuf = false;
};

// An image record with guarded planes of its own size.
class Record {
 public:
  explicit Record(const RecordSpec &s) : rec_(static_cast<ImageBuffer *>(std::calloc(1, sizeof(ImageBuffer)))) {
    rec_->xsize = (short)s.w;
    rec_->ysize = (short)s.h;
    const std::size_t n = (std::size_t)s.w * s.h;
    if (s.rect) rect_.reset(new GuardedPlane(4 * n)), rec_->rect = rect_->as<unsigned char>();
    if (s.zbuf) zbuf_.reset(new GuardedPlane(4 * n)), rec_->zbuf = zbuf_->as<int>();
    if (s.floatbuf) {
      float_.reset(new GuardedPlane(16 * n));
      for (std::size_t i = 0; i < 4 * n; ++i) float_->as<float>()[i] = (float)(i % 7) / 7.0f;
      rec_->floatbuf = float_->as<float>();
    }
  }
  ~Record() { std::free(rec_); }
  ImageBuffer *get() { return rec_; }

 private:
  ImageBuffer *rec_;
  std::unique_ptr<GuardedPlane> rect_, zbuf_, float_;
};

// Runs `body` in a child; returns "" when it ended normally, else how it ended.
std::string in_child(const std::function<void()> &body) {
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    alarm(60);
    body();
    std::fflush(nullptr);
    _exit(0);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return "";
  if (WIFSIGNALED(status)) return std::string("killed by ") + strsignal(WTERMSIG(status));
  return "exit status " + std::to_string(WEXITSTATUS(status));
}

constexpr int kW = 13, kH = 9;

struct Case {
  const char *what;
  // The record of each input (null: missing) and of out, for a kW x kH frame.
  std::function<std::unique_ptr<RecordSpec>(int strip)> input;
  RecordSpec out;
};

std::unique_ptr<RecordSpec> full(int w = kW, int h = kH) {
  auto s = std::make_unique<RecordSpec>();
  *s = {w, h, true, true, true};
  return s;
}

const std::vector<Case> &cases() {
  static const std::vector<Case> v = {
      {"ibuf1 missing", [](int k) { return k == 0 ? nullptr : full(); }, {kW, kH, true, false, false}},
      {"ibuf1 without pixels",
       [](int k) {
         auto s = full();
         if (k == 0) s->rect = s->zbuf = s->floatbuf = false;
         return s;
       },
       {kW, kH, true, false, false}},
      {"ibuf1 with depth but without pixels",
       [](int k) {
         auto s = full();
         if (k == 0) s->rect = s->floatbuf = false;
         return s;
       },
       {kW, kH, true, false, false}},
      {"out without pixels", [](int) { return full(); }, {kW, kH, false, false, false}},
      {"every input missing", [](int) { return std::unique_ptr<RecordSpec>(); }, {kW, kH, true, false, false}},
      {"records smaller than the frame", [](int) { return full(7, 5); }, {7, 5, true, false, true}},
      {"records one pixel narrower", [](int) { return full(kW - 1, kH); }, {kW - 1, kH, true, false, true}},
      {"out smaller than the frame", [](int) { return full(); }, {5, 3, true, false, true}},
      {"ibuf1 smaller than the frame", [](int k) { return k == 0 ? full(4, 2) : full(); }, {kW, kH, true, false, true}},
  };
  return v;
}

class EveryModuleSurvives : public ::testing::TestWithParam<std::string> {};

TEST_P(EveryModuleSurvives, MissingInputsAndSmallRecords) {
  const std::string m = GetParam();
  for (const Case &c : cases()) {
    const std::string how = in_child([&] {
      seqfx_test::Console quiet;
      auto plugin = seqfx_test::load(m);
      const seqfx::ModuleFacts facts = seqfx::module_facts(*plugin);
      std::vector<std::unique_ptr<Record>> recs;
      ImageBuffer *in[3] = {nullptr, nullptr, nullptr};
      for (int k = 0; k < facts.strips_accepted && k < 3; ++k)
        if (auto spec = c.input(k)) {
          recs.push_back(std::make_unique<Record>(*spec));
          in[k] = recs.back()->get();
        }
      Record out(c.out);
      for (int frame = 1; frame <= 2; ++frame)
        plugin->call((float)frame, 0.5f, 0.5f, kW, kH, in[0], in[1], out.get(), in[2]);
      quiet.finish();
    });
    EXPECT_EQ(how, "") << m << ": " << c.what;
  }
}

INSTANTIATE_TEST_SUITE_P(Built, EveryModuleSurvives, ::testing::ValuesIn(seqfx_test::built_modules()),
                         [](const auto &info) { return info.param; });

}  // namespace
