// quenvale-cli as a child the test can signal, run as another user, or give a file-size limit,
// with its exit told apart from its death by a signal.
#pragma once

#include <sys/resource.h>
#include <sys/types.h>

#include <string>
#include <vector>

namespace qv::testing {

struct ChildOptions {
  uid_t uid = 0;                           // run as this user and group (0: as the test)
  rlim_t file_size_limit = RLIM_INFINITY;  // RLIMIT_FSIZE; SIGXFSZ keeps its default action
  std::vector<std::string> environment;    // extra "NAME=VALUE" entries
};

struct ChildEnd {
  bool exited = false;  // ended by exit() (status valid) rather than by a signal
  int status = -1;      // exit status
  int signal = 0;       // the signal that ended it
  bool timed_out = false;
  std::string err;  // standard error
};

class TCliChild {
 public:
  TCliChild(const std::vector<std::string>& args, const ChildOptions& options = {});
  ~TCliChild();
  TCliChild(const TCliChild&) = delete;
  TCliChild& operator=(const TCliChild&) = delete;

  pid_t Pid() const { return pid_; }
  void Signal(int signal_number) const;
  // Waits for the end; after timeout_seconds the child is killed and timed_out set.
  ChildEnd Wait(double timeout_seconds = 60);

 private:
  pid_t pid_ = -1;
  std::string err_path_;
  bool waited_ = false;
};

// Runs the child to its end.
ChildEnd RunCli(const std::vector<std::string>& args, const ChildOptions& options = {},
                double timeout_seconds = 60);

}  // namespace qv::testing
