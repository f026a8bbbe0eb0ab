// seqfx_fuzz: a seeded, structured fuzzer over every module in a build's
// module folder. Each module runs in a child process, so that one crash does
// not hide the others; each case is named by its seed and number and can be
// replayed alone.
//
//   seqfx_fuzz [--modules DIR] [--module NAME]... [--seed N|random]
//              [--cases N | --seconds S | --total-seconds S] [--case N]
//              [--call-limit S] [--replay FILE] [--verbose]
//   seqfx_fuzz --timing [--modules DIR] [--module NAME]...
//     the cost check instead: full-HD frames with hostile slot values
//     against the default time (use an optimised, unsanitized build)

#include "fuzz_case.h"
#include "fuzz_timing.h"
#include "fuzz_watch.h"
#include "seqfx/error.h"

#include <dirent.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
  std::string dir = SEQFX_PLUGIN_DIR;
  std::vector<std::string> modules;
  unsigned long long seed = 1;
  long first_case = 0;
  long cases = -1;        // a fixed count, or
  double seconds = -1;    // a time budget per module, or
  double total = -1;      // one for all modules together
  bool one_case = false;
  std::string replay;
  bool verbose = false;
  bool timing = false;
  seqfx_fuzz::CaseLimits limits;
  seqfx_fuzz::TimingLimits timing_limits;
};

// What a child shares with its parent: the case it is running, so that a
// child killed from outside is still reported with its case.
struct Progress {
  long case_no;
  long done;
  int call;
};

[[noreturn]] void usage(const std::string &why) {
  std::fprintf(stderr, "seqfx_fuzz: %s\n", why.c_str());
  std::exit(2);
}

// A file for a child's standard error: shown when the child fails.
int capture_file() {
  std::FILE *f = std::tmpfile();
  if (!f) usage("cannot create a temporary file");
  const int fd = dup(fileno(f));
  std::fclose(f);
  return fd;
}

// The end of what a failed child wrote to its standard error.
void show_capture(int fd) {
  std::string text;
  lseek(fd, 0, SEEK_SET);
  char buf[4096];
  for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;) text.append(buf, (size_t)n);
  if (text.size() > 8000) text = "...\n" + text.substr(text.size() - 8000);
  if (!text.empty()) std::printf("%s%s", text.c_str(), text.back() == '\n' ? "" : "\n");
}

double number_arg(const std::string &opt, const char *v) {
  char *end = nullptr;
  double d = std::strtod(v, &end);
  if (!*v || *end || !(d >= 0)) usage(opt + " takes a number, not \"" + v + "\"");
  return d;
}

Options parse(int argc, char **argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&]() -> const char * {
      if (i + 1 >= argc) usage(a + " needs a value");
      return argv[++i];
    };
    if (a == "--modules") o.dir = value();
    else if (a == "--module") o.modules.push_back(value());
    else if (a == "--seed") {
      std::string v = value();
      if (v == "random") o.seed = std::random_device{}() ^ ((unsigned long long)std::time(nullptr) << 20);
      else o.seed = (unsigned long long)number_arg(a, v.c_str());
    } else if (a == "--case") {
      o.first_case = (long)number_arg(a, value());
      o.one_case = true;
    } else if (a == "--cases") o.cases = (long)number_arg(a, value());
    else if (a == "--seconds") o.seconds = number_arg(a, value());
    else if (a == "--total-seconds") o.total = number_arg(a, value());
    else if (a == "--call-limit") o.limits.call_seconds = number_arg(a, value());
    else if (a == "--replay") o.replay = value();
    else if (a == "--verbose") o.verbose = true;
    else if (a == "--timing") o.timing = true;
    else usage("unknown option " + a);
  }
  return o;
}

// Every module file in the folder, by name.
std::vector<std::string> modules_in(const std::string &dir) {
  std::vector<std::string> v;
  DIR *d = opendir(dir.c_str());
  if (!d) usage("cannot read the module folder " + dir);
  while (dirent *e = readdir(d)) {
    std::string n = e->d_name;
    if (n.size() > 3 && n.compare(n.size() - 3, 3, ".so") == 0) v.push_back(n.substr(0, n.size() - 3));
  }
  closedir(d);
  std::sort(v.begin(), v.end());
  return v;
}

struct Job {
  std::string module;
  unsigned long long seed;
  long first_case;
  long cases;      // -1: until the time budget is spent
  double seconds;  // the budget (also the parent's deadline for the child)
};

// The child: runs the job's cases; exits 0 when every check held.
[[noreturn]] void run_child(const Options &o, const Job &job, Progress *progress, int capture) {
  seqfx_fuzz::setup_console(o.verbose, capture);
  seqfx_fuzz::install_handlers();
  seqfx_fuzz::share_call_cell(&progress->call);
  const std::string path = o.dir + "/" + job.module + ".so";
  const auto start = Clock::now();
  int failures = 0;
  try {
    if (o.timing) {
      failures = seqfx_fuzz::check_timing(path, o.timing_limits);
      std::fflush(nullptr);
      std::exit(failures ? seqfx_fuzz::kExitChecksFailed : 0);
    }
    for (long c = job.first_case;; ++c) {
      if (job.cases >= 0 && c - job.first_case >= job.cases) break;
      if (job.cases < 0 && std::chrono::duration<double>(Clock::now() - start).count() >= job.seconds) break;
      progress->case_no = c;
      seqfx_fuzz::clear_capture();
      failures += seqfx_fuzz::run_case(path, job.seed, c, o.limits);
      progress->done = c - job.first_case + 1;
    }
  } catch (const std::exception &e) {
    seqfx_fuzz::report("FAIL %s: the host refused the module: %s\n", seqfx_fuzz::current_repro(), e.what());
    ++failures;
  }
  std::fflush(nullptr);
  std::exit(failures ? seqfx_fuzz::kExitChecksFailed : 0);
}

// Runs a job in a child and reports how it ended. Returns true when clean.
bool run_job(const Options &o, const Job &job) {
  auto *progress = static_cast<Progress *>(
      mmap(nullptr, sizeof(Progress), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
  if (progress == MAP_FAILED) usage("cannot share memory with a child");
  progress->case_no = job.first_case;
  progress->done = 0;
  progress->call = 0;
  const int capture = capture_file();
  std::fflush(stdout);
  std::fflush(stderr);
  const pid_t pid = fork();
  if (pid < 0) usage("cannot start a child");
  if (pid == 0) run_child(o, job, progress, capture);

  // A child that outlives its budget by more than a call's limit is stuck
  // somewhere the watchdog cannot see (loading, for instance).
  const double deadline = o.timing ? 1e9 : (job.cases < 0 ? job.seconds : 1e9) + o.limits.call_seconds + 30;
  const auto start = Clock::now();
  int status = 0;
  bool killed = false;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (!killed && std::chrono::duration<double>(Clock::now() - start).count() > deadline) {
      kill(pid, SIGKILL);
      killed = true;
    }
    usleep(20000);
  }
  const long case_no = progress->case_no, done = progress->done;
  const int call = progress->call;
  munmap(progress, sizeof(Progress));
  const char *replay = "replay: seqfx_fuzz --module";
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
    close(capture);
    if (o.timing) std::printf("ok    %-12s no slot value past the limit\n", job.module.c_str());
    else std::printf("ok    %-12s seed=%llu cases=%ld\n", job.module.c_str(), job.seed, done);
    return true;
  }
  std::fflush(stdout);
  show_capture(capture);
  close(capture);
  // The child reports the checks it can make itself; the parent names the
  // case of a child that ended any other way.
  const std::string how = killed ? "stuck past its deadline"
                          : WIFSIGNALED(status) ? std::string("killed by ") + strsignal(WTERMSIG(status))
                                                : "exit status " + std::to_string(WEXITSTATUS(status));
  if (killed || WIFSIGNALED(status) ||
      (WEXITSTATUS(status) != seqfx_fuzz::kExitChecksFailed && WEXITSTATUS(status) != seqfx_fuzz::kExitTimeout))
    std::printf("FAIL %s seed=%llu case=%ld call=%d: %s (%s %s --seed %llu --case %ld)\n", job.module.c_str(),
                job.seed, case_no, call, how.c_str(), replay, job.module.c_str(), job.seed, case_no);
  if (o.timing) std::printf("FAILED %-11s cost check\n", job.module.c_str());
  else std::printf("FAILED %-11s seed=%llu after %ld cases\n", job.module.c_str(), job.seed, done);
  return false;
}

// Lines "module seed case [# note]"; modules this build lacks are skipped.
std::vector<Job> read_replay(const std::string &file, const std::vector<std::string> &built) {
  std::ifstream in(file);
  if (!in) usage("cannot read " + file);
  std::vector<Job> jobs;
  int line_no = 0;
  for (std::string line; std::getline(in, line);) {
    ++line_no;
    line = line.substr(0, line.find('#'));
    std::istringstream ss(line);
    Job j{};
    if (!(ss >> j.module)) continue;
    if (!(ss >> j.seed >> j.first_case))
      usage(file + ":" + std::to_string(line_no) + ": expected \"module seed case\"");
    j.cases = 1;
    if (std::find(built.begin(), built.end(), j.module) == built.end()) {
      std::printf("skip  %-12s (not built)\n", j.module.c_str());
      continue;
    }
    jobs.push_back(j);
  }
  return jobs;
}

}  // namespace

int main(int argc, char **argv) {
  Options o = parse(argc, argv);
  const std::vector<std::string> built = modules_in(o.dir);
  std::vector<Job> jobs;
  if (!o.replay.empty()) {
    jobs = read_replay(o.replay, built);
  } else {
    std::vector<std::string> names = o.modules.empty() ? built : o.modules;
    for (const std::string &m : names)
      if (std::find(built.begin(), built.end(), m) == built.end()) usage("no module " + m + " in " + o.dir);
    if (names.empty()) usage("no modules in " + o.dir);
    double per_module = o.seconds;
    if (o.total >= 0) per_module = o.total / (double)names.size();
    long cases = o.one_case ? 1 : o.cases;
    if (cases < 0 && per_module < 0) cases = 200;
    if (o.timing) cases = 1;
    std::printf("seqfx_fuzz: seed %llu, %zu modules, %s\n", o.seed, names.size(),
                cases >= 0 ? (std::to_string(cases) + " cases each").c_str()
                           : (std::to_string(per_module) + " s each").c_str());
    for (const std::string &m : names) jobs.push_back({m, o.seed, o.first_case, cases, per_module});
  }
  int failed = 0;
  for (const Job &j : jobs) failed += run_job(o, j) ? 0 : 1;
  std::printf("seqfx_fuzz: %zu runs, %d failed\n", jobs.size(), failed);
  return failed ? 1 : 0;
}
