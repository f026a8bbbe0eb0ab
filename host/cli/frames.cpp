#include "frames.h"

#include "seqfx/error.h"

#include <dirent.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>

namespace seqfx_cli {

using seqfx::HostError;

namespace {

// The number field of a pattern: [begin, end) of "%0Nd" or of a run of N
// '#' (the same as %0Nd), its width, zero padding. False when there is
// none; throws when there are several.
bool find_field(const std::string &p, std::size_t &begin, std::size_t &end, int &width, bool &zero) {
  bool found = false;
  for (std::size_t i = 0; i < p.size(); ++i) {
    if (p[i] == '#') {
      std::size_t k = i;
      while (k < p.size() && p[k] == '#') ++k;
      if (found) throw HostError("\"" + p + "\" holds more than one frame number field");
      found = true;
      begin = i;
      end = k;
      width = (int)(k - i);
      zero = true;
      i = k - 1;
      continue;
    }
    if (p[i] != '%') continue;
    if (i + 1 < p.size() && p[i + 1] == '%') {
      ++i;
      continue;
    }
    std::size_t j = i + 1;
    const bool z = j < p.size() && p[j] == '0';
    std::size_t k = j;
    while (k < p.size() && std::isdigit((unsigned char)p[k])) ++k;
    if (k >= p.size() || p[k] != 'd')
      throw HostError("\"" + p + "\": a frame number is written %d, %04d or #### (use %% for a percent sign)");
    if (found) throw HostError("\"" + p + "\" holds more than one frame number field");
    found = true;
    begin = i;
    end = k + 1;
    width = k > j ? std::atoi(p.substr(j, k - j).c_str()) : 0;
    zero = z;
    i = k;
  }
  return found;
}

std::string unescape(const std::string &s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    out += s[i];
    if (s[i] == '%' && i + 1 < s.size() && s[i + 1] == '%') ++i;
  }
  return out;
}

}  // namespace

bool is_pattern(const std::string &name) {
  std::size_t b, e;
  int w;
  bool z;
  try {
    return find_field(name, b, e, w, z);
  } catch (const HostError &) {
    return true;  // malformed, but meant as one; frame_name reports it
  }
}

std::string frame_name(const std::string &pattern, int frame) {
  std::size_t b, e;
  int w;
  bool z;
  if (!find_field(pattern, b, e, w, z)) return pattern;
  char num[32];
  std::snprintf(num, sizeof num, z ? "%0*d" : "%*d", w, frame);
  return unescape(pattern.substr(0, b)) + num + unescape(pattern.substr(e));
}

std::vector<int> matching_frames(const std::string &pattern) {
  std::size_t b, e;
  int w;
  bool z;
  std::vector<int> frames;
  if (!find_field(pattern, b, e, w, z)) return frames;
  const std::size_t slash = pattern.find_last_of('/');
  if (slash != std::string::npos && slash >= b)
    throw HostError("\"" + pattern + "\": the frame number must be in the file name, not the folder");
  const std::string dir = slash == std::string::npos ? "." : pattern.substr(0, slash + 1);
  const std::size_t name_at = slash == std::string::npos ? 0 : slash + 1;
  const std::string head = unescape(pattern.substr(name_at, b - name_at)), tail = unescape(pattern.substr(e));
  DIR *d = opendir(dir.c_str());
  if (!d) return frames;
  for (dirent *ent; (ent = readdir(d));) {
    const std::string f = ent->d_name;
    if (f.size() <= head.size() + tail.size() || f.compare(0, head.size(), head) != 0 ||
        f.compare(f.size() - tail.size(), tail.size(), tail) != 0)
      continue;
    const std::string digits = f.substr(head.size(), f.size() - head.size() - tail.size());
    if (digits.size() > 9 || !std::all_of(digits.begin(), digits.end(), [](char c) { return std::isdigit((unsigned char)c); }))
      continue;
    const int n = std::atoi(digits.c_str());
    // Only names the pattern would write itself ("0007" for %04d).
    if (frame_name(pattern.substr(name_at), n) == f) frames.push_back(n);
  }
  closedir(d);
  std::sort(frames.begin(), frames.end());
  return frames;
}

void parse_frame_range(const std::string &text, int &first, int &last) {
  const std::string bad = "--frames wants S-E with whole numbers S <= E, not \"" + text + "\"";
  auto number = [&](const std::string &s) {
    if (s.empty() || s.size() > 9 || !std::all_of(s.begin(), s.end(), [](char c) { return std::isdigit((unsigned char)c); }))
      throw HostError(bad);
    return std::atoi(s.c_str());
  };
  const std::size_t dash = text.find('-');
  if (dash == std::string::npos) {
    first = last = number(text);
    return;
  }
  first = number(text.substr(0, dash));
  last = number(text.substr(dash + 1));
  if (first > last) throw HostError(bad);
}

std::string lower_extension(const std::string &name) {
  const std::size_t dot = name.find_last_of('.');
  std::string e = dot == std::string::npos ? "" : name.substr(dot + 1);
  for (char &c : e) c = (char)std::tolower((unsigned char)c);
  return e;
}

bool is_video_name(const std::string &name) {
  const std::string e = lower_extension(name);
  for (const char *v : {"mp4", "mov", "mkv", "avi", "webm", "m4v", "mpg", "mpeg", "wmv", "flv", "ogv", "ts"})
    if (e == v) return true;
  return false;
}

}  // namespace seqfx_cli
