#include "demo_config.h"

#include "seqfx/error.h"

#include <unistd.h>

#include <fstream>
#include <sstream>

namespace seqfx_cli {

using seqfx::HostError;

namespace {

std::string trimmed(const std::string &s) {
  const std::size_t a = s.find_first_not_of(" \t\r");
  if (a == std::string::npos) return "";
  return s.substr(a, s.find_last_not_of(" \t\r") - a + 1);
}

// The line up to its comment: a '#' that starts the line or follows a
// blank, outside quotes ("#ff0000" after '=' is a colour).
std::string without_comment(const std::string &line) {
  char quote = 0;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '#' && (i == 0 || line[i - 1] == ' ' || line[i - 1] == '\t')) {
      return line.substr(0, i);
    }
  }
  return line;
}

}  // namespace

std::string find_demo_config(const std::string &module, const std::string &module_dir) {
  const std::string p = module_dir + "/" + module + ".demo.cfg";
  return access(p.c_str(), R_OK) == 0 ? p : "";
}

bool parse_demo_line(const std::string &raw, DemoRender &r) {
  const std::string line = trimmed(without_comment(raw));
  if (line.empty()) return false;
  const std::size_t bar = line.find('|');
  r.title = trimmed(line.substr(0, bar));
  r.options = bar == std::string::npos ? "" : trimmed(line.substr(bar + 1));
  if (r.title.empty()) r.title = r.options.empty() ? "defaults" : r.options;
  try {
    const std::vector<std::string> words = split_words(r.options);
    for (std::size_t i = 0; i < words.size(); ++i)
      if (!take_option(words, i, r.opts, OptionSet::Demo))
        throw HostError("unknown demo option " + words[i] +
                        " (--set, --factor, --factor1, --frames, --strips, --scene, --scene2, --scene3)");
  } catch (const HostError &e) {
    r.error = e.what();
  }
  return true;
}

std::vector<DemoRender> read_demo_config(const std::string &path) {
  std::ifstream in(path);
  std::ostringstream text;
  if (!in || !(text << in.rdbuf())) throw HostError("cannot read " + path);
  return parse_demo_config(text.str(), path);
}

std::vector<DemoRender> parse_demo_config(const std::string &text, const std::string &where) {
  std::istringstream in(text);
  std::vector<DemoRender> renders;
  int number = 0;
  for (std::string line; std::getline(in, line);) {
    ++number;
    DemoRender r;
    if (!parse_demo_line(line, r)) continue;
    if (!r.error.empty()) r.error = where + ":" + std::to_string(number) + ": " + r.error;
    renders.push_back(std::move(r));
  }
  return renders;
}

}  // namespace seqfx_cli
