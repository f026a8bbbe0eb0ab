// How a video output is encoded: the codec, quality and pixel format from
// the container and the user's options, the colour tags, and which of the
// first input's audio and subtitle streams travel along.
#pragma once

#include <string>
#include <vector>

namespace seqfx_cli {

// --codec, --crf/--quality, --pix-fmt and --no-audio as given.
struct VideoOptions {
  std::string codec, pix_fmt;
  std::string quality;     // --crf or --quality: the codec's own quality scale
  bool no_audio = false;
  bool any() const { return !codec.empty() || !pix_fmt.empty() || !quality.empty() || no_audio; }
};

struct Encoding {
  std::string codec;             // empty: the container's own default
  std::string pix_fmt;
  bool alpha = false;            // the file keeps the frames' transparency
  std::vector<std::string> args; // output options: filter, codec, quality, pixel format, colour tags
};

// The encoding of output (its extension names the container) for frames of
// width x height; throws HostError for an unknown codec, a pixel format the
// codec cannot write, or a quality the codec has no scale for.
Encoding choose_encoding(const std::string &output, const VideoOptions &opts, int width, int height);

// Checks opts against output's container and codec before any frame is
// rendered (choose_encoding without a frame size).
void check_encoding(const std::string &output, const VideoOptions &opts);

// One audio or subtitle stream of a video, as ffprobe lists it.
struct SourceStream {
  int index = -1;          // the stream's number in its file
  std::string type, codec; // "audio" or "subtitle"; the codec's name
};

// The audio and subtitle streams of a video that go into an output.
struct CarriedStreams {
  std::string source;               // the video they come from; empty: none
  double start = 0, duration = -1;  // the span of the source the output covers (seconds)
  std::vector<SourceStream> streams;  // source's audio and subtitle streams (probe_video lists them)
};

// The input and mapping options that carry source's audio and subtitle
// streams into output (as ffmpeg input 1, after the frames' input 0):
// each stream is copied when the container takes it as it is, else
// converted to the container's own codec for its kind; a stream neither
// can carry is left out with a warning on standard error.
std::vector<std::string> carry_args(const std::string &output, const CarriedStreams &streams);

}  // namespace seqfx_cli
