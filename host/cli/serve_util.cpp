// Small pieces the server's answers are made of.

#include "serve.h"
#include "shell_quote.h"

#include "seqfx/error.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

namespace seqfx_cli {
namespace serve {

namespace {
const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
}

Reply json_reply(int status, const nlohmann::json &j) {
  Reply r;
  r.status = status;
  r.body = j.dump();
  return r;
}

Reply error_reply(int status, const std::string &message) {
  return json_reply(status, nlohmann::json{{"error", message}});
}

std::string base64_encode(const std::string &bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    const unsigned v = (unsigned char)bytes[i] << 16 | (unsigned char)bytes[i + 1] << 8 | (unsigned char)bytes[i + 2];
    for (int k = 18; k >= 0; k -= 6) out += kAlphabet[(v >> k) & 63];
  }
  if (i < bytes.size()) {
    unsigned v = (unsigned char)bytes[i] << 16;
    if (i + 1 < bytes.size()) v |= (unsigned char)bytes[i + 1] << 8;
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += i + 1 < bytes.size() ? kAlphabet[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

std::string base64_decode(const std::string &text) {
  // A "data:...;base64," prefix, as the page's file reader gives, is skipped.
  std::size_t start = 0;
  if (text.compare(0, 5, "data:") == 0) {
    const std::size_t comma = text.find(',');
    if (comma == std::string::npos) throw seqfx::HostError("the picture's data URL has no comma");
    start = comma + 1;
  }
  std::string out;
  unsigned v = 0;
  int bits = 0;
  bool ended = false;
  for (std::size_t i = start; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\n' || c == '\r' || c == ' ') continue;
    if (c == '=') {
      ended = true;
      continue;
    }
    const char *p = c ? std::strchr(kAlphabet, c) : nullptr;
    if (!p || ended) throw seqfx::HostError("the picture data is not base64");
    v = v << 6 | (unsigned)(p - kAlphabet);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out += (char)((v >> bits) & 0xFF);
    }
  }
  return out;
}

std::string shell_word(const std::string &s) {
  bool safe = !s.empty();
  for (char c : s)
    if (!(std::isalnum((unsigned char)c) || std::strchr("-_./:,+%@=", c))) safe = false;
  return safe ? s : shell_quote(s);
}

}  // namespace serve
}  // namespace seqfx_cli

namespace seqfx_cli {

ServeOptions parse_serve_options(const std::vector<std::string> &rest) {
  ServeOptions o;
  for (std::size_t i = 1; i < rest.size(); ++i) {
    const std::string &a = rest[i];
    if (a == "--port" || a == "--host") {
      if (i + 1 >= rest.size()) throw seqfx::HostError("serve: " + a + " needs a value");
      const std::string v = rest[++i];
      if (a == "--host") {
        o.host = v;
        continue;
      }
      char *end = nullptr;
      const long p = std::strtol(v.c_str(), &end, 10);
      if (v.empty() || *end || p < 0 || p > 65535)
        throw seqfx::HostError("serve: --port wants a number 0..65535 (0: any free port), not \"" + v + "\"");
      o.port = (int)p;
    } else if (!a.empty() && a[0] == '-') {
      throw seqfx::HostError("serve: unknown option " + a);
    } else {
      o.folders.push_back(a);
    }
  }
  return o;
}

}  // namespace seqfx_cli
