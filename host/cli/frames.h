// Frame numbers and numbered file names ("shot_%04d.png", "shot_####.png").
#pragma once

#include <string>
#include <vector>

namespace seqfx_cli {

// True when the name holds a frame number field: printf-style (%d or
// %0Nd) or a run of N '#' (zero-padded to N digits).
bool is_pattern(const std::string &name);
// The name for one frame. Throws HostError for a name with several or
// malformed number fields.
std::string frame_name(const std::string &pattern, int frame);
// The frame numbers of the existing files a pattern matches, ascending.
std::vector<int> matching_frames(const std::string &pattern);

// "S-E" (or a single "S") with S <= E. Throws HostError.
void parse_frame_range(const std::string &text, int &first, int &last);

// A file name's extension in lower case, without the dot ("" for none).
std::string lower_extension(const std::string &name);

// True for file names that ffmpeg reads or writes as video.
bool is_video_name(const std::string &name);

}  // namespace seqfx_cli
