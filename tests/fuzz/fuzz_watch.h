// What the fuzzer does when a case ends in a way the program cannot return
// from: a crash signal or a call that runs past its time limit. Each prints
// the case's reproduction line before the process ends; a sanitizer report
// ends the child and its parent names the case.
#pragma once

namespace seqfx_fuzz {

// The descriptor reports go to (the original standard error): modules print
// on standard output and standard error, which are silenced while they run.
int report_fd();
// Silences the modules' standard output and sends their standard error to
// capture_fd (a file the parent shows when the child fails; some sanitizer
// reports go there too), unless verbose. Keeps report_fd().
void setup_console(bool verbose, int capture_fd);
// Empties the capture file, so that it holds the current case only.
void clear_capture();
// Writes a line to report_fd().
void report(const char *fmt, ...) __attribute__((format(printf, 1, 2)));

// How a child ends after reporting a failure itself: failed checks, or a
// call past its time limit. Any other status is reported by the parent.
constexpr int kExitChecksFailed = 10;
constexpr int kExitTimeout = 11;

// Installs the handlers for crash signals (unsanitized builds) and the
// watchdog.
void install_handlers();
// Where set_current_case() also stores the call number (shared with the parent).
void share_call_cell(int *cell);
// The reproduction of the case now running (printed by the handlers).
void set_current_case(const char *module, unsigned long long seed, long case_no, int call);
const char *current_repro();
// The same for work that is not a numbered case (the cost check).
void set_current_text(const char *text);
// Arms the watchdog for one call of at most `seconds`; disarm() stops it.
void arm(double seconds, const char *what);
void disarm();

}  // namespace seqfx_fuzz
