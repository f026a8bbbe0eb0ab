// The column passes of invisible, compiled for vectors of 4, 8 or 16
// 32-bit lanes and chosen at run time. All arithmetic is on unsigned
// integers modulo 2^32, so any order of the additions gives the same sums.

#include "window_sums.h"

#include "lanes.h"

#include <cstdlib>
#include <cstring>
#include <utility>

namespace invisible {

namespace {

#define INV_INLINE __attribute__((always_inline)) inline

typedef uint32_t U4 __attribute__((vector_size(16)));
typedef uint32_t U8 __attribute__((vector_size(32)));
typedef uint32_t U16 __attribute__((vector_size(64)));

// Vectors go by reference: the helpers are inlined into a function built
// for their width, and no wide vector is passed by value.
template <typename V>
INV_INLINE void load(V &v, const uint32_t *p) {
  std::memcpy(&v, p, sizeof v);
}
template <typename V>
INV_INLINE void store(uint32_t *p, const V &v) {
  std::memcpy(p, &v, sizeof v);
}

// v plus its lanes moved S places up (zeros shifted in at the bottom).
template <typename V, int L, int S, std::size_t... I>
INV_INLINE void add_shifted(V &v, std::index_sequence<I...>) {
  v += __builtin_shufflevector(v, V{}, ((int)I >= S ? (int)I - S : L)...);
}
// acc plus the top S lanes of t repeated over the vector.
template <typename V, int L, int S, std::size_t... I>
INV_INLINE void add_top(V &acc, const V &t, std::index_sequence<I...>) {
  acc += __builtin_shufflevector(t, t, (L - S + (int)I % S)...);
}
// Running totals over the lanes in steps of S lanes: lane i gets the sum
// of lanes i, i - S, i - 2S, ...
template <typename V, int L, int S>
INV_INLINE void scan(V &v) {
  if constexpr (S < L) {
    add_shifted<V, L, S>(v, std::make_index_sequence<L>());
    scan<V, L, 2 * S>(v);
  }
}

// out[S (x + 1) + k] = out[S x + k] + in[S x + k] for x < n, k < S, from
// out[k] = 0: the prefix sums of n groups of S interleaved counters.
template <typename V, int S>
INV_INLINE void prefix(const uint32_t *in, uint32_t *out, int n) {
  constexpr int L = (int)(sizeof(V) / sizeof(uint32_t)), P = L / S;
  for (int k = 0; k < S; ++k) out[k] = 0;
  V carry{};
  int x = 0;
  for (; x + P <= n; x += P) {
    V t;
    load(t, in + S * x);
    scan<V, L, S>(t);
    const V sum = t + carry;
    store(out + S * (x + 1), sum);
    add_top<V, L, S>(carry, t, std::make_index_sequence<L>());
  }
  for (; x < n; ++x)
    for (int k = 0; k < S; ++k) out[S * (x + 1) + k] = out[S * x + k] + in[S * x + k];
}

INV_INLINE void change(uint32_t *__restrict count, uint32_t *__restrict sum, int width,
                       const unsigned char *__restrict mi, const unsigned char *__restrict pi,
                       const unsigned char *__restrict mo, const unsigned char *__restrict po,
                       bool sums) {
  const long w = width;
  if (mi && mo) {
    for (long x = 0; x < w; ++x) count[x] += (uint32_t)mi[x] - (uint32_t)mo[x];
    if (sums)
      for (long x = 0; x < 4 * w; ++x) sum[x] += (uint32_t)pi[x] - (uint32_t)po[x];
  } else if (mi) {
    for (long x = 0; x < w; ++x) count[x] += mi[x];
    if (sums)
      for (long x = 0; x < 4 * w; ++x) sum[x] += pi[x];
  } else if (mo) {
    for (long x = 0; x < w; ++x) count[x] -= mo[x];
    if (sums)
      for (long x = 0; x < 4 * w; ++x) sum[x] -= po[x];
  }
}

// A window is whole inside the row, so its count reaches area exactly when
// no pixel of it differs.
INV_INLINE void flags(const uint32_t *__restrict cp, const unsigned char *__restrict mask, int r,
                      uint32_t area, int x0, int x1, unsigned char *__restrict flag) {
  for (int x = x0; x < x1; ++x)
    flag[x] = (unsigned char)(mask[x] & (cp[x + r] - cp[x - r] != area));
}

struct Passes {
  void (*change)(uint32_t *, uint32_t *, int, const unsigned char *, const unsigned char *,
                 const unsigned char *, const unsigned char *, bool);
  void (*count_prefix)(const uint32_t *, uint32_t *, int);
  void (*sum_prefix)(const uint32_t *, uint32_t *, int);
  void (*flags)(const uint32_t *, const unsigned char *, int, uint32_t, int, int, unsigned char *);
};

#define INV_PASSES(SUFFIX, TARGET, V)                                                          \
  TARGET void change_##SUFFIX(uint32_t *count, uint32_t *sum, int width, const unsigned char *mi, \
                              const unsigned char *pi, const unsigned char *mo,                \
                              const unsigned char *po, bool sums) {                            \
    change(count, sum, width, mi, pi, mo, po, sums);                                           \
  }                                                                                            \
  TARGET void count_prefix_##SUFFIX(const uint32_t *in, uint32_t *out, int n) {               \
    prefix<V, 1>(in, out, n);                                                                  \
  }                                                                                            \
  TARGET void sum_prefix_##SUFFIX(const uint32_t *in, uint32_t *out, int n) {                 \
    prefix<V, 4>(in, out, n);                                                                  \
  }                                                                                            \
  TARGET void flags_##SUFFIX(const uint32_t *cp, const unsigned char *mask, int r, uint32_t area, \
                             int x0, int x1, unsigned char *flag) {                            \
    flags(cp, mask, r, area, x0, x1, flag);                                                    \
  }                                                                                            \
  const Passes passes_##SUFFIX = {change_##SUFFIX, count_prefix_##SUFFIX, sum_prefix_##SUFFIX, \
                                  flags_##SUFFIX};

INV_PASSES(4, , U4)
#if defined(__x86_64__) || defined(__i386__)
INV_PASSES(8, __attribute__((target("avx2"))), U8)
INV_PASSES(16, __attribute__((target("avx512bw"))), U16)
#endif
#undef INV_PASSES

const Passes &passes() {
#if defined(__x86_64__) || defined(__i386__)
  const int n = lanes();
  if (n == 16) return passes_16;
  if (n == 8) return passes_8;
#endif
  return passes_4;
}

}  // namespace

Columns::~Columns() {
  std::free(count);
  std::free(sum);
  std::free(count_prefix);
  std::free(sum_prefix);
}

bool Columns::allocate(int w) {
  width = w;
  const size_t n = (size_t)w + 1;
  count = (uint32_t *)std::calloc(n, sizeof(uint32_t));
  sum = (uint32_t *)std::calloc(4 * n, sizeof(uint32_t));
  count_prefix = (uint32_t *)std::calloc(n, sizeof(uint32_t));
  sum_prefix = (uint32_t *)std::calloc(4 * n, sizeof(uint32_t));
  return count && sum && count_prefix && sum_prefix;
}

void Columns::change_rows(const unsigned char *mask_in, const unsigned char *px_in,
                          const unsigned char *mask_out, const unsigned char *px_out, bool sums) {
  passes().change(count, sum, width, mask_in, px_in, mask_out, px_out, sums);
}

void Columns::build_count_prefix() { passes().count_prefix(count, count_prefix, width); }

void Columns::build_sum_prefix() { passes().sum_prefix(sum, sum_prefix, width); }

void border_flags(const Columns &c, const unsigned char *mask, int r, uint32_t area, int x0,
                  int x1, unsigned char *flag) {
  passes().flags(c.count_prefix, mask, r, area, x0, x1, flag);
}

}  // namespace invisible
