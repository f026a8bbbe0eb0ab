// `seqfx serve`: a local web page that previews a module live, and the
// JSON API behind it. Every render runs in a process of its own (the
// program started again on a job folder), so that a module that crashes or
// hangs costs one answer, never the server.
#pragma once

#include "commands.h"

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace seqfx_cli {

struct ServeOptions {
  std::string host = "127.0.0.1";  // loopback unless asked otherwise
  int port = 8642;                 // 0: any free port (printed on start)
  std::vector<std::string> folders;  // pictures offered as strips
};

int cmd_serve(const Global &g, const ServeOptions &o);

// The render process: reads job.json in job_dir, writes out.png,
// console.txt, values.json or error.txt there. Exit 0 when rendered, 2
// for a bad request (a value, a picture), 3 for a module that failed.
int cmd_serve_job(const Global &g, const std::string &job_dir);

namespace serve {

// An answer: status, content type and body.
struct Reply {
  int status = 200;
  std::string type = "application/json";
  std::string body;
};
Reply json_reply(int status, const nlohmann::json &j);
Reply error_reply(int status, const std::string &message);

std::string base64_encode(const std::string &bytes);
// Throws HostError for text that is not base64.
std::string base64_decode(const std::string &text);

// A shell word: quoted when it holds anything but safe characters.
std::string shell_word(const std::string &s);

}  // namespace serve
}  // namespace seqfx_cli

namespace seqfx_cli {
// The arguments after "serve". Throws HostError for a bad one.
ServeOptions parse_serve_options(const std::vector<std::string> &rest);
}  // namespace seqfx_cli
