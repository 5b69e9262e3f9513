// Runs a program as a child process the test can wait for, signal, run as another user or give a
// file-size limit, and captures its end: exit status or signal, output, time and peak memory.
#pragma once

#include <sys/resource.h>
#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace qv::testing {

struct ChildOptions {
  // Extra environment entries "NAME=VALUE"; an entry "NAME=" with nothing after removes NAME.
  std::vector<std::string> environment;
  // RLIMIT_FSIZE: the child cannot write files larger than this many bytes.
  rlim_t file_size_limit = RLIM_INFINITY;
  // With a file-size limit: SIGXFSZ ignored, so a write past it fails with EFBIG as on a full
  // disk; else SIGXFSZ keeps its default action and the program decides.
  bool ignore_file_size_signal = false;
  // RLIMIT_NOFILE, soft and hard: the child cannot have more descriptors open than this.
  rlim_t open_files_limit = RLIM_INFINITY;
  uid_t uid = 0;  // run as this user and group (0: as the test)
};

struct ProgramResult {
  bool exited = false;     // ended by exit() rather than by a signal
  int status = -1;         // exit status, or 128 + the signal that ended it
  int signal = 0;          // the signal that ended it
  bool timed_out = false;  // killed after the time Wait() allowed
  std::string out;         // standard output
  std::string err;         // standard error
  long max_rss_kib = 0;    // the child's peak resident set (wait4's ru_maxrss)
  double seconds = 0;      // wall-clock time from the start to the end
};

// The child starts with standard input from /dev/null, standard output and error captured, no
// shell, and SIGINT, SIGTERM, SIGHUP and SIGXFSZ at their default actions (unless options say
// otherwise). If the child cannot change to options.uid it exits with 126; if program cannot be
// run, with 127. A child not waited for is killed when the object goes.
class TChildProcess {
 public:
  TChildProcess(const std::string& program, const std::vector<std::string>& args,
                const ChildOptions& options = {});
  ~TChildProcess();
  TChildProcess(const TChildProcess&) = delete;
  TChildProcess& operator=(const TChildProcess&) = delete;

  pid_t Pid() const { return pid_; }
  void Signal(int signal_number) const;
  // Waits for the end; after timeout_seconds (none when 0) the child is killed and timed_out set.
  ProgramResult Wait(double timeout_seconds = 0);

 private:
  pid_t pid_ = -1;
  std::string out_path_;
  std::string err_path_;
  std::chrono::steady_clock::time_point start_;
  bool waited_ = false;
};

// Runs program with args to its end; environment and file_size_limit as in ChildOptions, SIGXFSZ
// ignored under a limit.
ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::vector<std::string>& environment = {},
                         rlim_t file_size_limit = RLIM_INFINITY);

}  // namespace qv::testing
