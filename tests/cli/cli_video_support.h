// Making small clips with ffmpeg and reading results back with ffprobe.
#pragma once

#include "cli_support.h"

#include <string>
#include <vector>

namespace cli_test {

// ffprobe's "key=value" lines for entries (e.g. "stream=codec_name") of
// the streams select picks ("" for all).
inline std::string probe_entries(const std::string &file, const std::string &entries,
                                 const std::string &select = "v:0") {
  std::vector<std::string> args = {"ffprobe", "-v", "error"};
  if (!select.empty()) args.insert(args.end(), {"-select_streams", select});
  args.insert(args.end(), {"-show_entries", entries, "-of", "default=noprint_wrappers=1", file});
  std::string out;
  run(args, &out);
  return out;
}

// Runs ffmpeg quietly (overwriting) with args; true on success.
inline bool ffmpeg(const std::vector<std::string> &args) {
  std::vector<std::string> a = {"ffmpeg", "-nostdin", "-v", "error", "-y"};
  a.insert(a.end(), args.begin(), args.end());
  return run(a) == 0;
}

// The first frame of a video as ffmpeg decodes it, as RGBA.
inline FilePicture first_frame(const TempDir &dir, const std::string &video, const std::string &name) {
  EXPECT_TRUE(ffmpeg({"-i", video, "-frames:v", "1", "-pix_fmt", "rgba", dir / name}));
  return read_file(dir / name);
}

}  // namespace cli_test
