// Preview renders in processes of their own: the server side starts and
// watches them, the job side renders one frame exactly as `seqfx render`
// does for a single still frame, and leaves its results in the job folder.

#include "serve_job.h"

#include "effect.h"
#include "picture.h"
#include "temp_folder.h"

#include "seqfx/depth.h"
#include "seqfx/error.h"
#include "seqfx/values.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <thread>

namespace seqfx_cli {

using nlohmann::json;
using seqfx::HostError;

namespace serve {
namespace {

std::string read_file(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream os;
  os << in.rdbuf();
  return os.str();
}

void write_file(const std::string &path, const std::string &data) {
  std::ofstream out(path, std::ios::binary);
  out << data;
  if (!out) throw HostError("cannot write " + path);
}

std::vector<std::string> lines_of(const std::string &text) {
  std::vector<std::string> lines;
  std::stringstream ss(text);
  for (std::string l; std::getline(ss, l);) lines.push_back(l);
  return lines;
}

// The running job of each session, so that a newer one can stop it.
struct Running {
  pid_t pid = 0;
  bool superseded = false;
};
std::mutex g_sessions_mutex;
std::map<std::string, Running *> g_sessions;

}  // namespace

json job_to_json(const Job &job) {
  return json{{"module", job.module},   {"sets", job.sets},   {"factor0", job.factor0},
              {"factor1", job.factor1}, {"frame", job.frame}, {"inputs", job.inputs},
              {"depth", job.depth},     {"depth_range", job.depth_range}};
}

Job job_from_json(const json &j) {
  Job job;
  job.module = j.at("module").get<std::string>();
  job.sets = j.at("sets").get<std::vector<std::string>>();
  job.factor0 = j.at("factor0").get<std::string>();
  job.factor1 = j.at("factor1").get<std::string>();
  job.frame = j.at("frame").get<int>();
  job.inputs = j.at("inputs").get<std::vector<std::string>>();
  job.depth = j.at("depth").get<std::string>();
  job.depth_range = j.at("depth_range").get<std::string>();
  return job;
}

std::string render_command(const Job &job, const std::vector<std::string> &module_dirs, const std::string &out) {
  std::string c = "seqfx";
  for (const std::string &d : module_dirs) c += " --plugins " + shell_word(d);
  c += " render " + shell_word(job.module);
  for (const std::string &in : job.inputs) c += " -i " + shell_word(in);
  c += " -o " + shell_word(out);
  c += " --frames " + std::to_string(job.frame) + "-" + std::to_string(job.frame);
  c += " --factor " + job.factor0 + " --factor1 " + job.factor1;
  if (!job.depth.empty()) c += " --depth " + shell_word(job.depth);
  if (!job.depth_range.empty()) c += " --depth-range " + job.depth_range;
  for (const std::string &s : job.sets) c += " --set " + shell_word(s);
  return c;
}

Reply run_job(const Job &job, const std::vector<std::string> &module_dirs, const std::string &session,
              double timeout_s) {
  TempFolder dir("seqfx-job", "a job folder");
  write_file(dir.path() + "/job.json", job_to_json(job).dump());

  std::vector<std::string> args{"seqfx"};
  for (const std::string &d : module_dirs) {
    args.push_back("--plugins");
    args.push_back(d);
  }
  args.push_back("serve-job");
  args.push_back(dir.path());
  std::vector<char *> argv;
  for (std::string &a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  Running running;
  std::unique_lock<std::mutex> lock(g_sessions_mutex);
  const pid_t pid = fork();
  if (pid < 0) return error_reply(503, std::string("cannot start a render: ") + std::strerror(errno));
  if (pid == 0) {
    // The server blocks its stop signals in every thread; the render
    // process starts with none blocked.
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    execv("/proc/self/exe", argv.data());
    _exit(127);
  }
  running.pid = pid;
  if (!session.empty()) {
    auto it = g_sessions.find(session);
    if (it != g_sessions.end()) {
      it->second->superseded = true;
      kill(it->second->pid, SIGKILL);
    }
    g_sessions[session] = &running;
  }
  lock.unlock();

  int status = 0;
  bool timed_out = false;
  const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeout_s);
  for (;;) {
    const pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid || (r < 0 && errno != EINTR)) break;
    if (!timed_out && std::chrono::steady_clock::now() > until) {
      timed_out = true;
      kill(pid, SIGKILL);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  lock.lock();
  if (!session.empty()) {
    auto it = g_sessions.find(session);
    if (it != g_sessions.end() && it->second == &running) g_sessions.erase(it);
  }
  const bool superseded = running.superseded;
  lock.unlock();

  const std::vector<std::string> console = lines_of(read_file(dir.path() + "/console.txt"));
  if (superseded) return error_reply(409, "stopped: a newer render of this session replaced it");
  if (timed_out)
    return error_reply(504, job.module + " took longer than " + std::to_string((int)timeout_s) +
                                " s on one frame and was stopped");
  if (WIFSIGNALED(status)) {
    const int sig = WTERMSIG(status);
    json j{{"error", job.module + " crashed while rendering (signal " + std::to_string(sig) + ": " +
                         strsignal(sig) + ")"},
           {"console", console}};
    return json_reply(500, j);
  }
  const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 1;
  if (code != 0) {
    std::string msg = read_file(dir.path() + "/error.txt");
    while (!msg.empty() && msg.back() == '\n') msg.pop_back();
    if (msg.empty()) msg = "the render process ended with code " + std::to_string(code);
    return json_reply(code == 2 ? 400 : 500, json{{"error", msg}, {"console", console}});
  }
  json values = json::parse(read_file(dir.path() + "/values.json"));
  json j{{"png", base64_encode(read_file(dir.path() + "/out.png"))},
         {"console", console},
         {"values", values.at("values")},
         {"written", values.at("written")}};
  return json_reply(200, j);
}

}  // namespace serve

namespace {

// The values of all rows but labels, by name.
json values_of(const seqfx::Plugin &p) {
  json v = json::object();
  for (int i = 0; i < p.row_count(); ++i)
    if (seqfx::row_kind(p.row(i)) != PLUGIN_LABEL) v[seqfx::row_key(p.row(i))] = seqfx::value_text(p, i);
  return v;
}

struct Failure {
  int code;
  std::string message;
};

}  // namespace

int cmd_serve_job(const Global &g, const std::string &dir) {
  // The module's console (and anything else printed) goes to console.txt.
  std::fflush(stdout);
  std::fflush(stderr);
  const int fd = open((dir + "/console.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (fd < 0) return 3;
  dup2(fd, 1);
  dup2(fd, 2);
  close(fd);
  try {
    const serve::Job job = serve::job_from_json(json::parse(serve::read_file(dir + "/job.json")));
    std::unique_ptr<seqfx::Plugin> plugin;
    std::vector<seqfx::Image> strips;
    std::vector<std::vector<float>> depths;
    try {
      plugin = load_module(g, job.module);
      for (const std::string &s : job.sets) seqfx::apply_assignment(*plugin, s);
      for (std::size_t s = 0; s < job.inputs.size(); ++s) {
        Picture p = read_picture(job.inputs[s], false);
        if (s == 0 && !job.depth.empty()) p.depth = read_depth(job.depth, p.image.width(), p.image.height());
        if (s > 0 && (p.image.width() != strips[0].width() || p.image.height() != strips[0].height()))
          throw HostError("the strips differ in size: strip 1 is " + std::to_string(strips[0].width()) + "x" +
                          std::to_string(strips[0].height()) + ", strip " + std::to_string(s + 1) + " is " +
                          std::to_string(p.image.width()) + "x" + std::to_string(p.image.height()));
        strips.push_back(std::move(p.image));
        depths.push_back(std::move(p.depth));
      }
    } catch (const std::exception &e) {
      throw Failure{2, e.what()};
    }
    // Depth planes as `render` maps them: one range, given or from the
    // first plane found.
    bool have_range = !job.depth_range.empty();
    seqfx::DepthRange range = have_range ? seqfx::DepthRange::parse(job.depth_range) : seqfx::DepthRange{};
    for (std::size_t s = 0; s < strips.size(); ++s) {
      if (depths[s].empty()) continue;
      if (!have_range) {
        range = seqfx::DepthRange::of(depths[s].data(), depths[s].size());
        have_range = true;
      }
      int *z = strips[s].add_zbuf();
      for (std::size_t i = 0; i < depths[s].size(); ++i) z[i] = range.to_z(depths[s][i]);
    }
    const json before = values_of(*plugin);
    seqfx::Image out(strips[0].width(), strips[0].height());
    Frame frame;
    frame.number = job.frame;
    frame.factor0 = (float)std::strtod(job.factor0.c_str(), nullptr);
    frame.factor1 = (float)std::strtod(job.factor1.c_str(), nullptr);
    frame.strips = &strips;
    frame.out = &out;
    Effect effect;
    effect.plugin = plugin.get();
    effect.run(frame);
    std::fflush(stdout);
    write_picture(dir + "/out.png", "out.png", out, false);
    const json after = values_of(*plugin);
    json written = json::object();
    for (auto it = after.begin(); it != after.end(); ++it)
      if (before.value(it.key(), "") != it.value()) written[it.key()] = it.value();
    serve::write_file(dir + "/values.json", json{{"values", after}, {"written", written}}.dump());
    return 0;
  } catch (const Failure &f) {
    std::fflush(stdout);
    serve::write_file(dir + "/error.txt", f.message + "\n");
    return f.code;
  } catch (const std::exception &e) {
    std::fflush(stdout);
    serve::write_file(dir + "/error.txt", std::string(e.what()) + "\n");
    return 3;
  }
}

}  // namespace seqfx_cli
