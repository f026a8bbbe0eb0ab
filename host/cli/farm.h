// `seqfx farm`: a render split into chunks of frames, run as a Slurm array
// job, and the scheduler's view of it read back.
#pragma once

#include <string>
#include <vector>

namespace seqfx_cli {

struct Global;

// args: everything after "farm".
int cmd_farm(const Global &g, const std::vector<std::string> &args);

// The job script text of a farm render (also what --dry-run prints).
struct FarmPlan {
  std::string seqfx;                    // the program, by absolute path
  std::vector<std::string> globals;     // --plugins DIR..., --quiet
  std::vector<std::string> render;      // render NAME and its options, without --frames/--shot
  std::string module;
  std::string workdir;                  // where the tasks run (relative names resolve there)
  int shot_first = 1, shot_last = 1;    // the shot the factor ramp spans
  int first = 1, last = 1;              // the frames to render
  int chunk = 1;                        // frames per task
  std::vector<std::string> sbatch;      // #SBATCH options
  // A video output: the tasks write pictures into frames_pattern and a
  // dependent job encodes them into video at rate.
  std::string video, frames_dir, frames_pattern, rate;

  int tasks() const { return (last - first) / chunk + 1; }
  std::string array_script() const;
  std::string encode_script() const;
};

}  // namespace seqfx_cli
