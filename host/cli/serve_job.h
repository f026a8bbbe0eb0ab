// One preview render as a job: what the page asked for, turned into the
// inputs and settings of a `seqfx render` call, run in a process of its own.
#pragma once

#include "serve.h"

#include <string>
#include <vector>

namespace seqfx_cli {
namespace serve {

struct Job {
  std::string module;
  std::vector<std::string> sets;  // "NAME=VALUE", as --set takes them
  std::string factor0 = "0", factor1 = "0";  // texts that read back as the same floats
  int frame = 1;
  std::vector<std::string> inputs;  // picture files, strip 1 first
  std::string depth;        // distances for strip 1 (a file), or empty
  std::string depth_range;  // "NEAR:FAR" for depth, or empty
};

nlohmann::json job_to_json(const Job &job);
Job job_from_json(const nlohmann::json &j);

// The `seqfx render` line that makes the same picture as the job, into out.
std::string render_command(const Job &job, const std::vector<std::string> &module_dirs, const std::string &out);

// Runs the job in a fresh process (module_dirs passed on as --plugins) and
// answers the picture, console lines and values as JSON, or the error.
// A later job with the same non-empty session stops this one (409). A job
// that runs longer than timeout_s seconds is stopped (504).
Reply run_job(const Job &job, const std::vector<std::string> &module_dirs, const std::string &session,
              double timeout_s);

}  // namespace serve
}  // namespace seqfx_cli
