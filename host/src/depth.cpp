#include "seqfx/depth.h"

#include "seqfx/error.h"

#include <cmath>
#include <cstdlib>
#include <limits>

namespace seqfx {

namespace {
constexpr double kZMin = -2147483648.0;
constexpr double kZSpan = 4294967295.0;  // INT32_MAX - INT32_MIN
}  // namespace

std::int32_t DepthRange::to_z(double d) const {
  if (std::isnan(d) || d >= farthest) return std::numeric_limits<std::int32_t>::max();
  if (d <= nearest) return std::numeric_limits<std::int32_t>::min();
  const double z = std::floor(kZMin + (d - nearest) / (farthest - nearest) * kZSpan + 0.5);
  if (z >= 2147483647.0) return std::numeric_limits<std::int32_t>::max();
  return (std::int32_t)(std::int64_t)z;
}

double DepthRange::to_distance(std::int32_t z) const {
  return nearest + ((double)z - kZMin) / kZSpan * (farthest - nearest);
}

DepthRange DepthRange::of(const float *d, std::size_t n) {
  double lo = std::numeric_limits<double>::infinity(), hi = -lo;
  for (std::size_t i = 0; i < n; ++i) {
    if (!std::isfinite(d[i])) continue;
    if (d[i] < lo) lo = d[i];
    if (d[i] > hi) hi = d[i];
  }
  if (lo > hi) return DepthRange{};
  if (lo == hi) return DepthRange{lo - 0.5, hi + 0.5};
  return DepthRange{lo, hi};
}

DepthRange DepthRange::parse(const std::string &text) {
  const std::string bad = "--depth-range wants NEAR:FAR with NEAR < FAR, not \"" + text + "\"";
  const std::size_t colon = text.find(':');
  if (colon == std::string::npos) throw HostError(bad);
  const std::string a = text.substr(0, colon), b = text.substr(colon + 1);
  if (a.empty() || b.empty()) throw HostError(bad);
  char *end = nullptr;
  const double n = std::strtod(a.c_str(), &end);
  if (*end) throw HostError(bad);
  const double f = std::strtod(b.c_str(), &end);
  if (*end) throw HostError(bad);
  if (!std::isfinite(n) || !std::isfinite(f) || !(n < f)) throw HostError(bad);
  return DepthRange{n, f};
}

}  // namespace seqfx
