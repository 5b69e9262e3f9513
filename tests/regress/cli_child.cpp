// quenvale-cli as a child the test can signal, run as another user, or give a file-size limit.
#include "regress/cli_child.h"

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <thread>

namespace qv::testing {

TCliChild::TCliChild(const std::vector<std::string>& args, const ChildOptions& options) {
  char err_name[] = "/tmp/qvchild-err-XXXXXX";
  int err_fd = ::mkstemp(err_name);
  err_path_ = err_name;
  std::vector<char*> argv;
  // QV_CLI_UNDER_TEST runs another build of the program (an older one, to see a test fail).
  const char* other = std::getenv("QV_CLI_UNDER_TEST");
  std::string program = other && *other ? other : QV_CLI_PATH;
  argv.push_back(program.data());
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  pid_ = ::fork();
  if (pid_ == 0) {
    int null_fd = ::open("/dev/null", O_RDWR);
    ::dup2(null_fd, 0);
    ::dup2(null_fd, 1);
    ::dup2(err_fd, 2);
    ::unsetenv("DISPLAY");
    for (const std::string& entry : options.environment) ::putenv(const_cast<char*>(entry.c_str()));
    ::signal(SIGXFSZ, SIG_DFL);
    ::signal(SIGINT, SIG_DFL);
    ::signal(SIGTERM, SIG_DFL);
    ::signal(SIGHUP, SIG_DFL);
    if (options.file_size_limit != RLIM_INFINITY) {
      rlimit limit{options.file_size_limit, options.file_size_limit};
      ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    if (options.uid != 0) {
      if (::setgroups(0, nullptr) != 0 || ::setgid(options.uid) != 0 || ::setuid(options.uid) != 0)
        ::_exit(126);
    }
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  ::close(err_fd);
}

TCliChild::~TCliChild() {
  if (!waited_ && pid_ > 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  ::unlink(err_path_.c_str());
}

void TCliChild::Signal(int signal_number) const { ::kill(pid_, signal_number); }

ChildEnd TCliChild::Wait(double timeout_seconds) {
  ChildEnd end;
  int status = 0;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeout_seconds);
  for (;;) {
    pid_t done = ::waitpid(pid_, &status, WNOHANG);
    if (done == pid_) break;
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, &status, 0);
      end.timed_out = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  waited_ = true;
  end.exited = WIFEXITED(status);
  end.status = end.exited ? WEXITSTATUS(status) : -1;
  end.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  std::ifstream in(err_path_, std::ios::binary);
  end.err = std::string(std::istreambuf_iterator<char>(in), {});
  return end;
}

ChildEnd RunCli(const std::vector<std::string>& args, const ChildOptions& options,
                double timeout_seconds) {
  TCliChild child(args, options);
  return child.Wait(timeout_seconds);
}

}  // namespace qv::testing
