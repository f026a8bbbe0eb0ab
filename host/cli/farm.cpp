#include "farm.h"

#include "commands.h"
#include "frames.h"
#include "picture.h"
#include "shell_quote.h"
#include "staging.h"
#include "video.h"

#include "seqfx/error.h"
#include "seqfx/facts.h"
#include "seqfx/values.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

namespace seqfx_cli {

using seqfx::HostError;

namespace {

std::string join_quoted(const std::vector<std::string> &words) {
  std::string s;
  for (const std::string &w : words) s += " " + shell_quote(w);
  return s;
}

std::string sbatch_lines(const std::vector<std::string> &opts) {
  std::string s;
  for (const std::string &o : opts) s += "#SBATCH " + o + "\n";
  return s;
}

}  // namespace

std::string FarmPlan::array_script() const {
  std::ostringstream s;
  s << "#!/bin/bash\n"
    << "#SBATCH --job-name=seqfx-" << module << "\n"
    << "#SBATCH --array=0-" << tasks() - 1 << "\n"
    << "#SBATCH --chdir=" << workdir << "\n"
    << "#SBATCH --output=seqfx-farm-%A_%a.log\n"
    << sbatch_lines(sbatch)
    << "# Task k renders frames " << first << "+k*" << chunk << " to " << first << "+k*" << chunk << "+"
    << chunk - 1 << " (at most " << last << ") of the shot " << shot_first << "-" << shot_last << ".\n"
    << "set -eu\n"
    << "first=$((" << first << " + SLURM_ARRAY_TASK_ID * " << chunk << "))\n"
    << "last=$((first + " << chunk - 1 << "))\n"
    << "if [ \"$last\" -gt " << last << " ]; then last=" << last << "; fi\n"
    << "exec " << shell_quote(seqfx) << join_quoted(globals) << join_quoted(render) << " --shot "
    << shot_first << "-" << shot_last << " --frames \"$first-$last\"\n";
  return s.str();
}

std::string FarmPlan::encode_script() const {
  std::ostringstream s;
  s << "#!/bin/bash\n"
    << "#SBATCH --job-name=seqfx-" << module << "-encode\n"
    << "#SBATCH --chdir=" << workdir << "\n"
    << "#SBATCH --output=seqfx-farm-%j-encode.log\n"
    << sbatch_lines(sbatch)
    << "# Runs when every task has succeeded: the frames into " << video << ", then the frames go.\n"
    << "set -eu\n"
    << shell_quote(seqfx) << " farm --encode " << shell_quote(frames_pattern) << " --frames " << first << "-"
    << last << " --fps " << shell_quote(rate) << " -o " << shell_quote(video) << "\n"
    << "rm -rf -- " << shell_quote(frames_dir) << "\n";
  return s.str();
}

namespace {

// Runs a shell command; its standard output (and error) in out.
int run_shell(const std::string &cmd, std::string &out) {
  out.clear();
  std::FILE *p = popen((cmd + " 2>&1").c_str(), "r");
  if (!p) throw HostError("cannot run " + cmd + ": " + std::strerror(errno));
  char buf[4096];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
  const int st = pclose(p);
  return WIFEXITED(st) ? WEXITSTATUS(st) : 128;
}

std::string trimmed(std::string s) {
  while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
  return s;
}

// sbatch --parsable and the new job's id; throws with sbatch's complaint.
std::string submit(const std::vector<std::string> &options, const std::string &script) {
  std::string out;
  const int rc = run_shell("sbatch --parsable" + join_quoted(options) + " " + shell_quote(script), out);
  if (rc == 127) throw HostError("sbatch not found: seqfx farm needs Slurm's sbatch on this machine (or --dry-run)");
  out = trimmed(out);
  const std::string id = out.substr(0, out.find(';'));
  if (rc != 0 || id.empty() || id.find_first_not_of("0123456789") != std::string::npos)
    throw HostError("sbatch refused the job: " + out);
  return id;
}

void write_file(const std::string &path, const std::string &text) {
  std::ofstream f(path);
  f << text;
  f.close();
  if (!f) throw HostError("cannot write " + path + ": " + std::strerror(errno));
}

bool read_file(const std::string &path, std::string &text) {
  std::ifstream f(path);
  if (!f) return false;
  std::stringstream ss;
  ss << f.rdbuf();
  text = ss.str();
  return true;
}

std::string script_name(const std::string &job) { return "seqfx-farm-" + job + ".sh"; }
std::string encode_script_name(const std::string &job) { return "seqfx-farm-" + job + "-encode.sh"; }
std::string encode_id_name(const std::string &job) { return "seqfx-farm-" + job + ".encode"; }
// Lines "TASK JOB": a task of the job run again as that job.
std::string again_name(const std::string &job) { return "seqfx-farm-" + job + ".again"; }

std::string current_dir() {
  char buf[PATH_MAX];
  if (!getcwd(buf, sizeof buf)) throw HostError(std::string("cannot tell the current folder: ") + std::strerror(errno));
  return buf;
}

std::string own_program() {
  char buf[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) throw HostError(std::string("cannot tell where seqfx is: ") + std::strerror(errno));
  return std::string(buf, (std::size_t)n);
}

bool parse_count(const std::string &text, long lo, long hi, long &v) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 9) return false;
  v = std::atol(text.c_str());
  return v >= lo && v <= hi;
}

// The frames a sequence or video input holds, as the shot when none is given.
void shot_of_inputs(const RenderOptions &o, int &first, int &last) {
  for (const std::string &in : o.inputs) {
    if (is_video_name(in)) {
      const VideoInfo info = probe_video(in);
      if (info.frames < 1)
        throw HostError(in + " does not say how many frames it has: give the shot with --shot S-E");
      first = 1;
      last = (int)info.frames;
      return;
    }
    if (is_pattern(in)) {
      const std::vector<int> f = matching_frames(in);
      if (f.empty()) throw HostError("\"" + in + "\" matches no frame");
      first = f.front();
      last = f.back();
      if ((long)f.size() != (long)last - first + 1)
        throw HostError("\"" + in + "\" has gaps between frames " + std::to_string(first) + " and " +
                        std::to_string(last) + ": give the frames with --frames S-E");
      return;
    }
  }
  throw HostError("no input is a sequence or a video: give the frames with --frames S-E");
}

// --- submitting -----------------------------------------------------------

int farm_submit(const Global &g, const std::vector<std::string> &args) {
  if (args.empty() || args[0].empty() || args[0][0] == '-')
    throw HostError("farm wants a module name first: seqfx farm NAME -i IN -o OUT [options]");
  FarmPlan plan;
  plan.module = args[0];
  RenderOptions o;
  o.module = args[0];
  bool dry_run = false;
  long chunk = 10;
  std::vector<std::string> passed;  // render options for the tasks
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string &a = args[i];
    auto value = [&](const std::string &name) -> std::string {
      if (a.compare(0, name.size() + 1, name + "=") == 0) return a.substr(name.size() + 1);
      if (i + 1 >= args.size()) throw HostError(name + " needs a value");
      return args[++i];
    };
    auto is = [&](const std::string &name) { return a == name || a.compare(0, name.size() + 1, name + "=") == 0; };
    if (a == "--dry-run") {
      dry_run = true;
    } else if (is("--chunk")) {
      const std::string v = value("--chunk");
      if (!parse_count(v, 1, 100000000, chunk)) throw HostError("--chunk wants frames per task (1 or more), not \"" + v + "\"");
    } else if (is("--partition")) {
      plan.sbatch.push_back("--partition=" + value("--partition"));
    } else if (is("--time")) {
      plan.sbatch.push_back("--time=" + value("--time"));
    } else if (is("--sbatch")) {
      const std::string v = value("--sbatch");
      if (v.empty() || v[0] != '-' || v.find('\n') != std::string::npos)
        throw HostError("--sbatch wants one sbatch option such as --mem=4G, not \"" + v + "\"");
      plan.sbatch.push_back(v);
    } else {
      const std::size_t start = i;
      if (!take_option(args, i, o, OptionSet::Render))
        throw HostError(a[0] == '-' ? "unknown farm option " + a
                                    : "unexpected argument \"" + a + "\" (inputs are given with -i)");
      // The output's --colorspace follows the tasks' own -o.
      const bool own = a == "-o" || is("--output") || is("--frames") || is("--shot") ||
                       (is("--colorspace") && o.colour_target == 3);
      if (!own) passed.insert(passed.end(), args.begin() + (long)start, args.begin() + (long)i + 1);
    }
  }
  if (o.inputs.empty()) throw HostError("farm needs an input: -i FILE");
  if (o.output.empty()) throw HostError("farm needs an output: -o FILE");
  if (o.video.any())
    throw HostError("farm encodes with the container's own codec and keeps no sound: --codec, --crf, --quality, "
                    "--pix-fmt and --no-audio are for render");

  // The module is loaded here so that a wrong name or setting fails now,
  // not in every task.
  const std::unique_ptr<seqfx::Plugin> plugin = load_module(g, o.module);
  for (const std::string &s : o.sets) seqfx::apply_assignment(*plugin, s);
  const seqfx::ModuleFacts facts = seqfx::module_facts(*plugin);

  if (o.shot_given) {
    plan.shot_first = o.shot_first;
    plan.shot_last = o.shot_last;
  } else if (o.frames_given) {
    plan.shot_first = o.first;
    plan.shot_last = o.last;
  } else {
    shot_of_inputs(o, plan.shot_first, plan.shot_last);
  }
  plan.first = o.frames_given ? o.first : plan.shot_first;
  plan.last = o.frames_given ? o.last : plan.shot_last;
  if (plan.first < plan.shot_first || plan.last > plan.shot_last)
    throw HostError("--frames " + std::to_string(plan.first) + "-" + std::to_string(plan.last) +
                    " reach outside the shot " + std::to_string(plan.shot_first) + "-" +
                    std::to_string(plan.shot_last));
  const long frames = (long)plan.last - plan.first + 1;
  plan.chunk = (int)std::min(chunk, frames);
  if ((!facts.declared || facts.keeps_state) && plan.chunk < frames)
    throw HostError(plugin->module_name() +
                    (facts.declared ? " keeps state between frames" : " declares no facts, so it may keep state") +
                    ": its frames must be rendered in order by one task, so --chunk must cover all " +
                    std::to_string(frames) + " frames");

  plan.workdir = current_dir();
  plan.seqfx = own_program();
  for (std::size_t d = 0; d + 1 < g.module_dirs.size(); ++d) plan.globals.insert(plan.globals.end(), {"--plugins", g.module_dirs[d]});
  if (g.quiet) plan.globals.push_back("--quiet");
  plan.render = {"render", o.module};
  plan.render.insert(plan.render.end(), passed.begin(), passed.end());

  std::string out = o.output;
  if (is_video_name(o.output)) {
    plan.video = o.output;
    plan.frames_dir = o.output + ".frames";
    plan.frames_pattern = plan.frames_dir + "/%06d.png";
    plan.rate = o.fps.empty() ? "25" : o.fps;
    if (o.fps.empty())
      for (const std::string &in : o.inputs)
        if (is_video_name(in)) {
          plan.rate = probe_video(in).rate;
          break;
        }
    out = plan.frames_pattern;
  } else if (!is_pattern(o.output)) {
    throw HostError("farm tasks write one picture per frame: give a numbered output like out_%04d.png or a "
                    "video, not " + o.output);
  }
  plan.render.insert(plan.render.end(), {"-o", out});
  if (o.output_space != Space::Guess && plan.video.empty())
    plan.render.insert(plan.render.end(), {"--colorspace", space_name(o.output_space)});

  if (dry_run) {
    std::fputs(plan.array_script().c_str(), stdout);
    if (!plan.video.empty()) {
      std::printf("\n# then, after every task has succeeded (--dependency=afterok:JOB):\n");
      std::fputs(plan.encode_script().c_str(), stdout);
    }
    return 0;
  }

  if (!plan.video.empty() && mkdir(plan.frames_dir.c_str(), 0777) != 0 && errno != EEXIST)
    throw HostError("cannot make " + plan.frames_dir + ": " + std::strerror(errno));
  const std::string pending = "seqfx-farm-" + std::to_string(getpid()) + ".sh";
  write_file(pending, plan.array_script());
  std::string job;
  try {
    job = submit({}, pending);
  } catch (...) {
    unlink(pending.c_str());
    throw;
  }
  std::rename(pending.c_str(), script_name(job).c_str());
  std::printf("job %s: %d task%s of %d frame%s, frames %d-%d (script %s, logs seqfx-farm-%s_K.log)\n", job.c_str(),
              plan.tasks(), plan.tasks() == 1 ? "" : "s", plan.chunk, plan.chunk == 1 ? "" : "s", plan.first,
              plan.last, script_name(job).c_str(), job.c_str());
  if (!plan.video.empty()) {
    write_file(encode_script_name(job), plan.encode_script());
    const std::string enc = submit({"--dependency=afterok:" + job}, encode_script_name(job));
    write_file(encode_id_name(job), enc + "\n");
    std::printf("encode job %s: %s once every task has succeeded\n", enc.c_str(), plan.video.c_str());
  }
  std::printf("follow it with: seqfx farm --status %s\n", job.c_str());
  return 0;
}

// --- reading back -----------------------------------------------------------

enum class TaskState { Pending, Running, Done, Failed };

TaskState classify(const std::string &state) {
  const std::string s = state.substr(0, state.find(' '));
  if (s == "COMPLETED") return TaskState::Done;
  if (s == "RUNNING" || s == "COMPLETING" || s == "CONFIGURING" || s == "STAGE_OUT") return TaskState::Running;
  if (s == "PENDING" || s == "REQUEUED" || s == "REQUEUE_HOLD" || s == "REQUEUE_FED" || s == "SUSPENDED" ||
      s == "RESIZING" || s == "SIGNALING")
    return TaskState::Pending;
  return TaskState::Failed;
}

struct TaskInfo {
  std::string state, exit_code;
};

// "3", "2-5", "[2-5,7]" or "2-5%1" into task numbers.
std::vector<int> task_numbers(std::string text) {
  std::vector<int> out;
  text.erase(std::remove_if(text.begin(), text.end(), [](char c) { return c == '[' || c == ']'; }), text.end());
  text = text.substr(0, text.find('%'));
  std::stringstream ss(text);
  for (std::string part; std::getline(ss, part, ',');) {
    const std::size_t dash = part.find('-');
    long a, b;
    if (dash == std::string::npos) {
      if (parse_count(part, 0, INT_MAX, a)) out.push_back((int)a);
    } else if (parse_count(part.substr(0, dash), 0, INT_MAX, a) && parse_count(part.substr(dash + 1), 0, INT_MAX, b)) {
      for (long t = a; t <= b && t - a < 1000000; ++t) out.push_back((int)t);
    }
  }
  return out;
}

// What the scheduler knows of a job's tasks (-1 for a job that is no
// array): the accounting records (sacct) when kept, else the controller's
// memory (scontrol), with the live queue (squeue) over both.
std::map<int, TaskInfo> query_tasks(const std::string &job) {
  std::map<int, TaskInfo> tasks;
  std::string out;
  if (run_shell("sacct -n -P -X -j " + job + " --format=JobID,State,ExitCode", out) == 0) {
    std::stringstream ss(out);
    for (std::string line; std::getline(ss, line);) {
      std::vector<std::string> f;
      std::stringstream ls(line);
      for (std::string x; std::getline(ls, x, '|');) f.push_back(x);
      if (f.size() < 3) continue;
      const std::size_t us = f[0].find('_');
      if (f[0].substr(0, us) != job) continue;
      const std::vector<int> ks = us == std::string::npos ? std::vector<int>{-1} : task_numbers(f[0].substr(us + 1));
      for (int k : ks) tasks[k] = {f[1], f[2]};
    }
  }
  if (tasks.empty() && run_shell("scontrol -o show job " + job, out) == 0) {
    std::stringstream ss(out);
    for (std::string line; std::getline(ss, line);) {
      std::map<std::string, std::string> kv;
      std::stringstream ls(line);
      for (std::string w; ls >> w;) {
        const std::size_t eq = w.find('=');
        if (eq != std::string::npos) kv[w.substr(0, eq)] = w.substr(eq + 1);
      }
      if (!kv.count("JobState")) continue;
      const std::vector<int> ks = kv.count("ArrayTaskId") ? task_numbers(kv["ArrayTaskId"]) : std::vector<int>{-1};
      for (int k : ks) tasks[k] = {kv["JobState"], kv["ExitCode"]};
    }
  }
  if (run_shell("squeue -h -r -j " + job + " -o '%K %T'", out) == 0) {
    std::stringstream ss(out);
    for (std::string line; std::getline(ss, line);) {
      std::stringstream ls(line);
      std::string k, state;
      if (!(ls >> k >> state)) continue;
      long t;
      tasks[parse_count(k, 0, INT_MAX, t) ? (int)t : -1].state = state;
    }
  }
  return tasks;
}

int farm_status(const std::string &job) {
  long id;
  if (!parse_count(job, 1, 999999999, id)) throw HostError("--status wants a job number, not \"" + job + "\"");
  std::string out;
  if (run_shell("command -v squeue", out) != 0)
    throw HostError("squeue not found: seqfx farm --status needs Slurm's commands on this machine");
  std::map<int, TaskInfo> tasks = query_tasks(job);
  // Tasks the scheduler has not listed yet are pending; the saved script
  // tells how many there are.
  std::string script;
  if (read_file(script_name(job), script)) {
    const std::size_t at = script.find("#SBATCH --array=0-");
    if (at != std::string::npos) {
      const int n = std::atoi(script.c_str() + at + 18);
      for (int k = 0; k <= n; ++k)
        if (!tasks.count(k)) tasks[k] = {"PENDING", ""};
    }
  }
  // A task run again counts by its latest run.
  std::map<int, std::string> rerun;
  std::string again;
  if (read_file(again_name(job), again)) {
    std::stringstream ss(again);
    int k;
    std::string id;
    while (ss >> k >> id) rerun[k] = id;
    for (const auto &r : rerun) {
      const std::map<int, TaskInfo> t = query_tasks(r.second);
      tasks[r.first] = t.count(r.first) ? t.at(r.first) : TaskInfo{"PENDING", ""};
    }
  }
  if (tasks.empty()) throw HostError("the scheduler knows no job " + job);
  int count[4] = {0, 0, 0, 0};
  for (const auto &t : tasks) ++count[(int)classify(t.second.state)];
  std::printf("job %s: %zu task%s: %d completed, %d running, %d pending, %d failed\n", job.c_str(), tasks.size(),
              tasks.size() == 1 ? "" : "s", count[(int)TaskState::Done], count[(int)TaskState::Running],
              count[(int)TaskState::Pending], count[(int)TaskState::Failed]);
  for (const auto &t : tasks) {
    if (classify(t.second.state) != TaskState::Failed) continue;
    const std::string k = std::to_string(t.first);
    const std::string ran = rerun.count(t.first) ? rerun[t.first] : job;
    std::printf("  task %s: %s%s, log seqfx-farm-%s_%s.log; again with: seqfx farm --resubmit %s --task %s\n",
                k.c_str(), t.second.state.c_str(),
                t.second.exit_code.empty() ? "" : (" (exit " + t.second.exit_code + ")").c_str(), ran.c_str(),
                k.c_str(), job.c_str(), k.c_str());
  }
  std::string enc;
  if (read_file(encode_id_name(job), enc)) {
    enc = trimmed(enc);
    const std::map<int, TaskInfo> e = query_tasks(enc);
    std::printf("encode job %s: %s\n", enc.c_str(), e.empty() ? "unknown" : e.begin()->second.state.c_str());
  }
  return count[(int)TaskState::Failed] ? 1 : 0;
}

int farm_resubmit(const std::string &job, const std::string &task_list) {
  long id;
  if (!parse_count(job, 1, 999999999, id)) throw HostError("--resubmit wants a job number, not \"" + job + "\"");
  std::string script;
  if (!read_file(script_name(job), script))
    throw HostError("no " + script_name(job) + " here: resubmit from the folder the job was submitted from");
  const std::vector<int> ks = task_numbers(task_list);
  if (ks.empty() || task_list.find_first_not_of("0123456789,-") != std::string::npos)
    throw HostError("--task wants task numbers such as 3 or 3,5, not \"" + task_list + "\"");
  const std::size_t at = script.find("#SBATCH --array=0-");
  const int n = at == std::string::npos ? 0 : std::atoi(script.c_str() + at + 18);
  for (int k : ks)
    if (k > n) throw HostError("job " + job + " has tasks 0 to " + std::to_string(n) + ", not " + std::to_string(k));
  const std::string again = submit({"--array=" + task_list}, script_name(job));
  {
    std::ofstream f(again_name(job), std::ios::app);
    for (int k : ks) f << k << " " << again << "\n";
  }
  std::printf("job %s: task%s %s of job %s again\n", again.c_str(), ks.size() == 1 ? "" : "s", task_list.c_str(),
              job.c_str());
  std::string enc;
  if (read_file(encode_id_name(job), enc)) {
    // The first encode job waits for tasks that failed and never runs;
    // a new one waits for the tasks run again.
    std::string out;
    run_shell("scancel " + trimmed(enc), out);
    const std::string enc2 = submit({"--dependency=afterok:" + again}, encode_script_name(job));
    write_file(encode_id_name(job), enc2 + "\n");
    std::printf("encode job %s (instead of %s) once they have succeeded\n", enc2.c_str(), trimmed(enc).c_str());
  }
  return 0;
}

// --- the encode step of a video output ------------------------------------

int farm_encode(const std::vector<std::string> &args) {
  std::string pattern, output, rate = "25";
  int first = 0, last = -1;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (i + 1 >= args.size()) throw HostError(args[i] + " needs a value");
    if (args[i] == "--encode") pattern = args[++i];
    else if (args[i] == "--frames") parse_frame_range(args[++i], first, last);
    else if (args[i] == "--fps") rate = args[++i];
    else if (args[i] == "-o") output = args[++i];
    else throw HostError("unknown --encode option " + args[i]);
  }
  if (!is_pattern(pattern) || output.empty() || last < first)
    throw HostError("--encode wants PATTERN --frames S-E --fps R -o VIDEO");
  Staging staging;
  const std::string temp = staging.stage(output);
  std::unique_ptr<VideoWriter> writer;
  for (int f = first; f <= last; ++f) {
    const Picture p = read_picture(frame_name(pattern, f), false);
    if (!writer) writer = std::make_unique<VideoWriter>(temp, output, p.image.width(), p.image.height(), rate);
    writer->write(p.image);
  }
  writer->finish();
  staging.commit();
  return 0;
}

}  // namespace

int cmd_farm(const Global &g, const std::vector<std::string> &args) {
  if (!args.empty() && args[0] == "--status") {
    if (args.size() != 2) throw HostError("--status wants one job number: seqfx farm --status JOB");
    return farm_status(args[1]);
  }
  if (!args.empty() && args[0] == "--resubmit") {
    if (args.size() != 4 || args[2] != "--task")
      throw HostError("--resubmit wants a job and its tasks: seqfx farm --resubmit JOB --task K[,K...]");
    return farm_resubmit(args[1], args[3]);
  }
  if (!args.empty() && args[0] == "--encode") return farm_encode(args);
  return farm_submit(g, args);
}

}  // namespace seqfx_cli
