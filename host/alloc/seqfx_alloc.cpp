#include "seqfx_alloc.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <utility>

namespace {

// Each block carries a header with its size and tag in front of the bytes
// handed out; the header is padded to keep the block maximally aligned.
struct alignas(std::max_align_t) Header {
  size_t len;
  size_t cap;  // bytes usable after the header (len, or more for a recycled block)
  const char *tag;
  unsigned magic;
};
constexpr unsigned kMagic = 0x5EF0A110u;

// Large blocks given back are kept for the next request of about their size:
// a module that takes the same frame-sized scratch blocks every frame then
// reuses warm memory instead of having fresh pages mapped for each frame.
// Sanitizer builds free every block at once, so that a use after freeN is
// caught.
#if defined(__SANITIZE_ADDRESS__)
constexpr size_t kRecycleMin = (size_t)-1;
#else
constexpr size_t kRecycleMin = (size_t)1 << 20;
#endif
constexpr int kRecycleSlots = 4;

struct Books {
  std::map<std::string, int> per_tag;
  int blocks = 0;
  size_t bytes = 0;
  long calls = 0;
  long fail_from = 0;  // call number from which allocations fail; 0 = never
  Header *spare[kRecycleSlots] = {};  // recycled blocks, not counted as held
  // The host may render frames on several threads, each with its own copy
  // of a module, all calling here.
  std::mutex lock;
};

Books &books() {
  static Books b;
  return b;
}

std::string tag_key(const char *tag) { return tag ? tag : ""; }

}  // namespace

extern "C" void *mallocN(size_t len, const char *tag) {
  Books &b = books();
  std::lock_guard<std::mutex> guard(b.lock);
  ++b.calls;
  if (b.fail_from && b.calls >= b.fail_from) return nullptr;
  if (len > (size_t)-1 - sizeof(Header)) return nullptr;
  Header *h = nullptr;
  if (len >= kRecycleMin)
    for (Header *&s : b.spare)
      if (s && s->cap >= len && s->cap / 2 <= len) {
        h = s;
        s = nullptr;
        break;
      }
  if (!h) {
    h = static_cast<Header *>(std::malloc(sizeof(Header) + len));
    if (!h) return nullptr;
    h->cap = len;
  }
  h->len = len;
  h->tag = tag;
  h->magic = kMagic;
  ++b.per_tag[tag_key(tag)];
  ++b.blocks;
  b.bytes += len;
  return h + 1;
}

extern "C" void freeN(void *block) {
  if (!block) return;
  Header *h = static_cast<Header *>(block) - 1;
  if (h->magic != kMagic) std::abort();  // not a block of this allocator, or freed twice
  h->magic = 0;
  Books &b = books();
  std::lock_guard<std::mutex> guard(b.lock);
  auto it = b.per_tag.find(tag_key(h->tag));
  if (it != b.per_tag.end() && --it->second == 0) b.per_tag.erase(it);
  --b.blocks;
  b.bytes -= h->len;
  if (h->cap >= kRecycleMin) {
    // Keep it in a free slot, or in place of the smallest spare.
    Header **slot = &b.spare[0];
    for (Header *&s : b.spare)
      if (!s || (*slot && s->cap < (*slot)->cap)) slot = &s;
    std::swap(*slot, h);
  }
  std::free(h);
}

extern "C" int mallocN_blocks_held(const char *tag) {
  Books &b = books();
  std::lock_guard<std::mutex> guard(b.lock);
  if (!tag) return b.blocks;
  auto it = b.per_tag.find(tag);
  return it == b.per_tag.end() ? 0 : it->second;
}

extern "C" size_t mallocN_bytes_held(void) {
  Books &b = books();
  std::lock_guard<std::mutex> guard(b.lock);
  return b.bytes;
}

extern "C" void mallocN_fail_from(int n) {
  Books &b = books();
  std::lock_guard<std::mutex> guard(b.lock);
  b.fail_from = n > 0 ? b.calls + n : 0;
}
