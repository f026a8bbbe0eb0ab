#include "video_encode.h"

#include "seqfx/error.h"
#include "frames.h"
#include "temp_folder.h"
#include "video.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

#include <stdlib.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace seqfx_cli {

using seqfx::HostError;

namespace {

// What this program knows of the codecs it picks itself or users name
// most: the pixel format with and without alpha, the containers that keep
// that alpha, and the option that sets its quality ("" when it has none).
struct CodecFacts {
  const char *name, *alpha_pix, *pix, *alpha_containers, *quality;
  std::vector<const char *> extra;  // options always given
};

const std::vector<CodecFacts> &known_codecs() {
  static const std::vector<CodecFacts> codecs = {
      {"libx264", "", "yuv420p", "", "-crf", {}},
      {"libx265", "", "yuv420p", "", "-crf", {}},
      // Constant quality needs the bit-rate target switched off.
      {"libvpx-vp9", "yuva420p", "yuv420p", "webm mkv", "-crf", {"-b:v", "0"}},
      {"libvpx", "yuva420p", "yuv420p", "webm mkv", "-crf", {"-b:v", "1G"}},
      {"prores_ks", "yuva444p10le", "yuv422p10le", "mov mkv", "-q:v", {}},
      {"ffv1", "bgra", "bgr0", "mkv avi mov", "", {}},
      {"mpeg4", "", "yuv420p", "", "-q:v", {}},
  };
  return codecs;
}

const CodecFacts *known_codec(const std::string &name) {
  for (const CodecFacts &c : known_codecs())
    if (name == c.name) return &c;
  return nullptr;
}

// The codec a container gets without --codec: ProRes 4444 in QuickTime,
// VP9 in WebM and FFV1 in Matroska keep alpha; MP4 gets H.264. Other
// containers keep ffmpeg's own choice ("").
std::string default_codec(const std::string &container) {
  if (container == "mp4" || container == "m4v") return "libx264";
  if (container == "mov") return "prores_ks";
  if (container == "webm") return "libvpx-vp9";
  if (container == "mkv") return "ffv1";
  return "";
}

bool has_word(const std::string &list, const std::string &word) {
  std::istringstream ss(list);
  for (std::string w; ss >> w;)
    if (w == word) return true;
  return false;
}

bool starts_with(const std::string &s, const char *p) { return s.compare(0, std::strlen(p), p) == 0; }

bool pix_has_alpha(const std::string &p) {
  return starts_with(p, "yuva") || starts_with(p, "gbrap") || starts_with(p, "ya") ||
         p.find("rgba") != std::string::npos || p.find("bgra") != std::string::npos ||
         p.find("argb") != std::string::npos || p.find("abgr") != std::string::npos;
}

bool pix_is_rgb(const std::string &p) {
  for (const char *s : {"rgb", "bgr", "argb", "abgr", "gbr", "0rgb", "0bgr"})
    if (starts_with(p, s)) return true;
  return false;
}

// Chroma shared between neighbouring pixels needs even sizes.
bool pix_subsampled(const std::string &p) {
  return !pix_is_rgb(p) && !starts_with(p, "gray") && !starts_with(p, "ya") && p.find("444") == std::string::npos;
}

// What the ffmpeg libraries say of a video encoder: its pixel formats and
// whether it takes a constant-quality factor.
struct EncoderHelp {
  std::string pix_fmts;  // each after a blank
  bool crf = false;
};

EncoderHelp encoder_help(const std::string &codec) {
  const AVCodec *c = avcodec_find_encoder_by_name(codec.c_str());
  if (!c || c->type != AVMEDIA_TYPE_VIDEO)
    throw HostError("ffmpeg has no video encoder \"" + codec + "\" (ffmpeg -encoders lists them)");
  EncoderHelp h;
  for (const AVPixelFormat *p = c->pix_fmts; p && *p != AV_PIX_FMT_NONE; ++p)
    h.pix_fmts += std::string(" ") + av_get_pix_fmt_name(*p);
  const AVClass *options = c->priv_class;
  h.crf = options && av_opt_find(&options, "crf", nullptr, 0, AV_OPT_SEARCH_FAKE_OBJ);
  return h;
}

Encoding plan(const std::string &output, const VideoOptions &o) {
  const std::string container = lower_extension(output);
  Encoding e;
  e.codec = o.codec.empty() ? default_codec(container) : o.codec;
  const CodecFacts *facts = known_codec(e.codec);
  std::string quality_option;
  if (facts) {
    const bool alpha_here = has_word(facts->alpha_containers, container);
    e.pix_fmt = o.pix_fmt.empty() ? (alpha_here ? facts->alpha_pix : facts->pix) : o.pix_fmt;
    e.alpha = alpha_here && pix_has_alpha(e.pix_fmt);
    quality_option = facts->quality;
  } else {
    e.pix_fmt = o.pix_fmt.empty() ? "yuv420p" : o.pix_fmt;
    e.alpha = pix_has_alpha(e.pix_fmt);
    quality_option = "-q:v";
  }
  // A codec or format named by the user is checked with the libraries,
  // before any frame is rendered.
  if (!o.codec.empty() || !o.pix_fmt.empty()) {
    if (!e.codec.empty()) {
      const EncoderHelp help = encoder_help(e.codec);
      if (!help.pix_fmts.empty() && !has_word(help.pix_fmts, e.pix_fmt))
        throw HostError("codec " + e.codec + " cannot write pixel format " + e.pix_fmt + "; it takes:" + help.pix_fmts);
      if (!facts && help.crf) quality_option = "-crf";
    }
  }
  if (!o.quality.empty() && quality_option.empty())
    throw HostError("codec " + e.codec + " is lossless: it takes no --crf or --quality");

  if (!e.codec.empty()) e.args.insert(e.args.end(), {"-c:v", e.codec});
  if (facts)
    for (const char *x : facts->extra) e.args.push_back(x);
  // libvpx's VP8 keeps no alpha with its hidden reference frames.
  if (e.codec == "libvpx" && e.alpha) e.args.insert(e.args.end(), {"-auto-alt-ref", "0"});
  if (e.codec == "prores_ks") e.args.insert(e.args.end(), {"-profile:v", e.alpha ? "4444" : "hq"});
  if (!o.quality.empty()) e.args.insert(e.args.end(), {quality_option, o.quality});
  return e;
}

}  // namespace

void check_encoding(const std::string &output, const VideoOptions &opts) { plan(output, opts); }

Encoding choose_encoding(const std::string &output, const VideoOptions &opts, int width, int height) {
  Encoding e = plan(output, opts);
  // The frames are sRGB pictures, which share BT.709's primaries: YUV is
  // made with the BT.709 matrix in video range and tagged so, RGB kept
  // full range and tagged as RGB, so that players show what was rendered.
  const bool rgb = pix_is_rgb(e.pix_fmt);
  std::string filter;
  if (pix_subsampled(e.pix_fmt) && (width % 2 || height % 2))
    filter = "pad=ceil(iw/2)*2:ceil(ih/2)*2:color=black@0,";
  filter += rgb ? "format=" + e.pix_fmt : "scale=out_color_matrix=bt709:out_range=tv,format=" + e.pix_fmt;
  e.args.insert(e.args.begin(), {"-vf", filter});
  e.args.insert(e.args.end(), {"-pix_fmt", e.pix_fmt, "-color_primaries", "bt709", "-color_trc", "bt709",
                               "-colorspace", rgb ? "rgb" : "bt709", "-color_range", rgb ? "pc" : "tv"});
  return e;
}

namespace {

// True when ffmpeg can write the stream into a file of output's container
// with codec ("copy", or "" for the container's own codec of its kind).
bool container_takes(const std::string &folder, const std::string &output, const std::string &source,
                     const SourceStream &s, const std::string &codec) {
  const std::string trial = folder + "/trial." + lower_extension(output);
  std::vector<std::string> args = {"ffmpeg", "-nostdin", "-v", "error", "-y", "-t", "0.2", "-i", source,
                                   "-map", "0:" + std::to_string(s.index)};
  if (!codec.empty()) args.insert(args.end(), {"-c", codec});
  args.push_back(trial);
  std::string out, err;
  const int rc = run_program(args, out, err);
  unlink(trial.c_str());
  return rc == 0;
}

// The codec a stream is converted to when the container does not take it
// as it is: the container's own for its kind ("") except for subtitles in
// MP4 and QuickTime, whose text format ffmpeg does not pick by itself.
std::string conversion(const std::string &output, const SourceStream &s) {
  const std::string c = lower_extension(output);
  if (s.type == "subtitle" && (c == "mp4" || c == "m4v" || c == "mov")) return "mov_text";
  return "";
}

std::string seconds(double s) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.6f", s);
  return buf;
}

}  // namespace

std::vector<std::string> carry_args(const std::string &output, const CarriedStreams &c) {
  std::vector<std::string> args;
  if (c.source.empty()) return args;
  const std::vector<SourceStream> &streams = c.streams;
  if (streams.empty()) return args;
  require_ffmpeg(output);
  TempFolder folder("seqfx-streams", "a temporary folder");
  std::vector<std::string> maps;
  int out_index = 1;  // the frames are output stream 0
  for (const SourceStream &s : streams) {
    const std::string what = s.type + " stream " + std::to_string(s.index) + " (" + s.codec + ") of " + c.source;
    std::string codec;
    if (container_takes(folder.path(), output, c.source, s, "copy")) {
      codec = "copy";
    } else if (container_takes(folder.path(), output, c.source, s, conversion(output, s))) {
      codec = conversion(output, s);
      std::fprintf(stderr, "seqfx: %s is converted: %s cannot hold it as it is\n", what.c_str(), output.c_str());
    } else {
      std::fprintf(stderr, "seqfx: warning: %s is left out: %s cannot hold it\n", what.c_str(), output.c_str());
      continue;
    }
    maps.insert(maps.end(), {"-map", "1:" + std::to_string(s.index)});
    if (!codec.empty()) maps.insert(maps.end(), {"-c:" + std::to_string(out_index), codec});
    ++out_index;
  }
  if (maps.empty()) return args;
  if (c.start > 0) args.insert(args.end(), {"-ss", seconds(c.start)});
  if (c.duration > 0) args.insert(args.end(), {"-t", seconds(c.duration)});
  args.insert(args.end(), {"-i", c.source, "-map", "0:v:0"});
  args.insert(args.end(), maps.begin(), maps.end());
  return args;
}

}  // namespace seqfx_cli
