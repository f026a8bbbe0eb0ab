#include "options.h"

#include "frames.h"
#include "seqfx/error.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace seqfx_cli {

using seqfx::HostError;

namespace {

bool parse_double(const std::string &s, double &v) {
  if (s.empty()) return false;
  char *end = nullptr;
  v = std::strtod(s.c_str(), &end);
  return *end == '\0' && std::isfinite(v);
}

bool parse_whole(const std::string &s, long &v) {
  if (s.empty() || s.size() > 9 || s.find_first_not_of("0123456789") != std::string::npos) return false;
  v = std::atol(s.c_str());
  return true;
}

}  // namespace

std::string parse_rate(const std::string &text) {
  const std::size_t slash = text.find('/');
  double rate = 0.0;
  bool ok;
  if (slash == std::string::npos) {
    ok = parse_double(text, rate) && text.find_first_not_of("0123456789.") == std::string::npos;
  } else {
    long num, den;
    ok = parse_whole(text.substr(0, slash), num) && parse_whole(text.substr(slash + 1), den) && den > 0;
    if (ok) rate = (double)num / (double)den;
  }
  if (!ok || !(rate > 0.0) || rate > 1000.0)
    throw HostError("--fps wants frames per second above 0 as a number (25, 29.97) or a ratio (30000/1001), not \"" +
                    text + "\"");
  return text;
}

Ramp Ramp::parse(const std::string &option, const std::string &text) {
  Ramp r;
  r.given = true;
  const std::size_t colon = text.find(':');
  const bool ok = colon == std::string::npos
                      ? parse_double(text, r.from)
                      : parse_double(text.substr(0, colon), r.from) && parse_double(text.substr(colon + 1), r.to);
  if (!ok) throw HostError(option + " wants a number F or a ramp A:B, not \"" + text + "\"");
  if (colon == std::string::npos) r.to = r.from;
  return r;
}

bool take_option(const std::vector<std::string> &args, std::size_t &i, RenderOptions &o, OptionSet set) {
  std::string opt = args[i], value;
  bool inline_value = false;
  if (opt.compare(0, 2, "--") == 0) {
    const std::size_t eq = opt.find('=');
    if (eq != std::string::npos) {
      value = opt.substr(eq + 1);
      opt.resize(eq);
      inline_value = true;
    }
  }
  auto needs_value = [&]() -> const std::string & {
    if (inline_value) return value;
    if (i + 1 >= args.size()) throw HostError(opt + " needs a value");
    value = args[++i];
    return value;
  };
  auto no_value = [&]() {
    if (inline_value) throw HostError(opt + " takes no value");
  };
  const bool render = set == OptionSet::Render;

  if (opt == "--set") {
    o.sets.push_back(needs_value());
  } else if (opt == "--factor" || opt == "--factor0") {
    o.factor0 = Ramp::parse(opt, needs_value());
  } else if (opt == "--factor1") {
    o.factor1 = Ramp::parse(opt, needs_value());
  } else if (opt == "--frames") {
    parse_frame_range(needs_value(), o.first, o.last);
    o.frames_given = true;
  } else if (render && opt == "--shot") {
    try {
      parse_frame_range(needs_value(), o.shot_first, o.shot_last);
    } catch (const HostError &) {
      throw HostError("--shot wants S-E with whole numbers S <= E, not \"" + value + "\"");
    }
    o.shot_given = true;
  } else if (render && (opt == "-j" || opt == "--jobs")) {
    const std::string &v = needs_value();
    char *end = nullptr;
    const long n = std::strtol(v.c_str(), &end, 10);
    if (v.empty() || *end != '\0' || n < 1 || n > 1024)
      throw HostError(opt + " wants a number of workers from 1 to 1024, not \"" + v + "\"");
    o.jobs = (int)n;
  } else if (render && (opt == "-i" || opt == "--input")) {
    if (o.inputs.size() == 3) throw HostError("at most three inputs (-i) can be given, one per strip");
    o.inputs.push_back(needs_value());
    o.colour_target = (int)o.inputs.size() - 1;
  } else if (render && (opt == "-o" || opt == "--output")) {
    if (!o.output.empty()) throw HostError("only one output (-o) can be given");
    o.output = needs_value();
    o.colour_target = 3;
  } else if (render && opt == "--depth") {
    o.depth_file = needs_value();
  } else if (render && opt == "--depth-out") {
    o.depth_out = needs_value();
  } else if (render && opt == "--depth-range") {
    o.depth_range = seqfx::DepthRange::parse(needs_value());
    o.depth_range_given = true;
  } else if (render && opt == "--float") {
    no_value();
    o.use_float = true;
  } else if (render && opt == "--fps") {
    o.fps = parse_rate(needs_value());
  } else if (render && (opt == "-y" || opt == "--overwrite")) {
    no_value();
    o.overwrite = true;
  } else if (render && (opt == "--codec" || opt == "--pix-fmt")) {
    const std::string &v = needs_value();
    if (v.empty() || v.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789_-") != std::string::npos)
      throw HostError(opt + " wants an ffmpeg " + (opt == "--codec" ? "encoder" : "pixel format") + " name, not \"" +
                      v + "\"");
    (opt == "--codec" ? o.video.codec : o.video.pix_fmt) = v;
  } else if (render && (opt == "--crf" || opt == "--quality")) {
    double v;
    if (!o.video.quality.empty()) throw HostError("give one of --crf and --quality, once");
    if (!parse_double(needs_value(), v) || v < 0 || v > 1000)
      throw HostError(opt + " wants the codec's quality number (0 and up, lower is better), not \"" + value + "\"");
    o.video.quality = value;
  } else if (render && opt == "--no-audio") {
    no_value();
    o.video.no_audio = true;
  } else if (render && opt == "--colorspace") {
    const Space space = parse_space(needs_value());
    if (o.colour_target < 0) throw HostError("--colorspace follows the -i or -o whose file it describes");
    if (o.colour_target == 3) {
      o.output_space = space;
    } else {
      o.input_spaces.resize(std::max(o.input_spaces.size(), (std::size_t)o.colour_target + 1), Space::Guess);
      o.input_spaces[(std::size_t)o.colour_target] = space;
    }
  } else if (opt == "--alpha") {
    const std::string &v = needs_value();
    if (v != "keep" && v != "opaque") throw HostError("--alpha wants keep or opaque, not \"" + v + "\"");
    o.alpha_opaque = v == "opaque";
  } else if (render && opt == "--texture-from") {
    o.texture_from = needs_value();
  } else if (render && opt == "--texture-threshold") {
    double v;
    if (!parse_double(needs_value(), v) || v < 0 || v > 1)
      throw HostError("--texture-threshold wants an alpha from 0 to 1, not \"" + value + "\"");
    o.texture_threshold = (float)v;
    o.texture_threshold_given = true;
  } else if (!render && opt == "--strips") {
    const std::string &v = needs_value();
    if (v != "1" && v != "2" && v != "3") throw HostError("--strips wants 1, 2 or 3, not \"" + v + "\"");
    o.strips = v[0] - '0';
  } else if (!render && opt == "--scene") {
    const std::string &v = needs_value();
    if (v != "scene" && v != "green" && v != "clean" && v != "cutout")
      throw HostError("--scene wants scene, green, clean or cutout, not \"" + v + "\"");
    o.scene = v;
  } else if (!render && (opt == "--scene2" || opt == "--scene3")) {
    const std::string &v = needs_value();
    if (v != "scene" && v != "green" && v != "clean" && v != "cutout" && v != "plate" && v != "second" && v != "third")
      throw HostError(opt + " wants scene, green, clean, cutout, plate, second or third, not \"" + v + "\"");
    (opt == "--scene2" ? o.scene2 : o.scene3) = v;
  } else {
    return false;
  }
  return true;
}

std::vector<std::string> split_words(const std::string &line) {
  std::vector<std::string> words;
  std::string cur;
  bool in_word = false;
  char quote = 0;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quote) {
      if (c == quote) {
        quote = 0;
      } else if (c == '\\' && quote == '"' && i + 1 < line.size()) {
        cur += line[++i];
      } else {
        cur += c;
      }
    } else if (c == '"' || c == '\'') {
      quote = c;
      in_word = true;
    } else if (c == '\\' && i + 1 < line.size()) {
      cur += line[++i];
      in_word = true;
    } else if (c == ' ' || c == '\t') {
      if (in_word) words.push_back(cur);
      cur.clear();
      in_word = false;
    } else {
      cur += c;
      in_word = true;
    }
  }
  if (quote) throw HostError(std::string("unclosed ") + quote + " quote");
  if (in_word) words.push_back(cur);
  return words;
}

}  // namespace seqfx_cli
