#include "fuzz_watch.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/common_interface_defs.h>
#define SEQFX_FUZZ_SANITIZED 1
#endif

namespace seqfx_fuzz {

namespace {
int g_report_fd = 2;
char g_repro[512] = "(no case running)";
char g_what[128] = "";
int *g_call_cell = nullptr;

void write_all(const char *s) {
  std::size_t n = std::strlen(s);
  while (n > 0) {
    ssize_t k = write(g_report_fd, s, n);
    if (k <= 0) return;
    s += k;
    n -= (std::size_t)k;
  }
}

void on_timeout(int) {
  write_all("FAIL ");
  write_all(g_repro);
  write_all(": ran past its time limit in ");
  write_all(g_what);
  write_all("\n");
  _exit(kExitTimeout);
}


#ifndef SEQFX_FUZZ_SANITIZED
void on_crash(int sig) {
  write_all("FAIL ");
  write_all(g_repro);
  write_all(": crashed with signal ");
  write_all(strsignal(sig));
  write_all("\n");
  signal(sig, SIG_DFL);
  raise(sig);
}
#endif
}  // namespace

int report_fd() { return g_report_fd; }

void setup_console(bool verbose, int capture_fd) {
  std::fflush(stdout);
  std::fflush(stderr);
  g_report_fd = dup(2);
#ifdef SEQFX_FUZZ_SANITIZED
  __sanitizer_set_report_fd(reinterpret_cast<void *>((long)g_report_fd));
#endif
  if (verbose) return;
  int null = open("/dev/null", O_WRONLY);
  if (null < 0) return;
  dup2(null, 1);
  dup2(capture_fd >= 0 ? capture_fd : null, 2);
  close(null);
}

void clear_capture() {
  std::fflush(stderr);
  if (ftruncate(2, 0) == 0) lseek(2, 0, SEEK_SET);
}

void report(const char *fmt, ...) {
  char line[1024];
  va_list ap;
  va_start(ap, fmt);
  std::vsnprintf(line, sizeof line, fmt, ap);
  va_end(ap);
  write_all(line);
}

void install_handlers() {
  signal(SIGALRM, on_timeout);
#ifndef SEQFX_FUZZ_SANITIZED
  for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) signal(sig, on_crash);
#endif
}

void share_call_cell(int *cell) { g_call_cell = cell; }

void set_current_case(const char *module, unsigned long long seed, long case_no, int call) {
  if (g_call_cell) *g_call_cell = call;
  std::snprintf(g_repro, sizeof g_repro, "%s seed=%llu case=%ld call=%d (replay: seqfx_fuzz --module %s --seed %llu --case %ld)",
                module, seed, case_no, call, module, seed, case_no);
}

const char *current_repro() { return g_repro; }

void set_current_text(const char *text) { std::snprintf(g_repro, sizeof g_repro, "%s", text); }

void arm(double seconds, const char *what) {
  std::snprintf(g_what, sizeof g_what, "%s", what);
  itimerval t{};
  t.it_value.tv_sec = (long)seconds;
  t.it_value.tv_usec = (long)((seconds - (double)(long)seconds) * 1e6);
  if (t.it_value.tv_sec == 0 && t.it_value.tv_usec == 0) t.it_value.tv_usec = 1000;
  setitimer(ITIMER_REAL, &t, nullptr);
}

void disarm() {
  itimerval t{};
  setitimer(ITIMER_REAL, &t, nullptr);
}

}  // namespace seqfx_fuzz
