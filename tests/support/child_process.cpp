// Runs a program as a child process and captures its end, output, time and peak memory.
#include "support/child_process.h"

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <thread>

extern char** environ;

namespace qv::testing {

namespace {

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A temporary file for one output stream of the child; its path goes to path.
int OutputFile(const char* kind, std::string& path) {
  std::string name = std::string("/tmp/qvchild-") + kind + "-XXXXXX";
  int fd = ::mkstemp(name.data());
  path = name;
  return fd;
}

// The test's environment with changes applied: "NAME=VALUE" sets NAME, "NAME=" removes it.
std::vector<std::string> ChildEnvironment(const std::vector<std::string>& changes) {
  std::vector<std::string> entries;
  for (char** entry = environ; *entry != nullptr; ++entry) entries.emplace_back(*entry);
  for (const std::string& change : changes) {
    std::string prefix = change.substr(0, change.find('=') + 1);
    std::erase_if(entries, [&](const std::string& entry) { return entry.starts_with(prefix); });
    if (prefix.size() < change.size()) entries.push_back(change);
  }
  return entries;
}

}  // namespace

TChildProcess::TChildProcess(const std::string& program, const std::vector<std::string>& args,
                             const ChildOptions& options) {
  int out_fd = OutputFile("out", out_path_);
  int err_fd = OutputFile("err", err_path_);
  // Everything the child needs is built before the fork: after it, only system calls.
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  std::vector<std::string> environment = ChildEnvironment(options.environment);
  std::vector<char*> envp;
  for (std::string& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);

  start_ = std::chrono::steady_clock::now();
  pid_ = ::fork();
  if (pid_ == 0) {
    int null_fd = ::open("/dev/null", O_RDONLY);
    ::dup2(null_fd, 0);
    ::dup2(out_fd, 1);
    ::dup2(err_fd, 2);
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGXFSZ}) ::signal(signal_number, SIG_DFL);
    if (options.file_size_limit != RLIM_INFINITY) {
      if (options.ignore_file_size_signal) ::signal(SIGXFSZ, SIG_IGN);  // stays ignored across exec
      rlimit limit{options.file_size_limit, options.file_size_limit};
      ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    if (options.open_files_limit != RLIM_INFINITY) {
      rlimit limit{options.open_files_limit, options.open_files_limit};
      ::setrlimit(RLIMIT_NOFILE, &limit);
    }
    if (options.uid != 0) {
      if (::setgroups(0, nullptr) != 0 || ::setgid(options.uid) != 0 || ::setuid(options.uid) != 0)
        ::_exit(126);
    }
    ::execve(program.c_str(), argv.data(), envp.data());
    ::_exit(127);
  }
  ::close(out_fd);
  ::close(err_fd);
}

TChildProcess::~TChildProcess() {
  if (!waited_ && pid_ > 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  ::unlink(out_path_.c_str());
  ::unlink(err_path_.c_str());
}

void TChildProcess::Signal(int signal_number) const { ::kill(pid_, signal_number); }

ProgramResult TChildProcess::Wait(double timeout_seconds) {
  ProgramResult result;
  int status = 0;
  rusage usage{};
  if (timeout_seconds <= 0) {
    ::wait4(pid_, &status, 0, &usage);
  } else {
    auto deadline =
        std::chrono::steady_clock::now() + std::chrono::duration<double>(timeout_seconds);
    while (::wait4(pid_, &status, WNOHANG, &usage) != pid_) {
      if (std::chrono::steady_clock::now() > deadline) {
        ::kill(pid_, SIGKILL);
        ::wait4(pid_, &status, 0, &usage);
        result.timed_out = true;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  waited_ = true;
  result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  result.exited = WIFEXITED(status);
  result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  result.status = result.exited ? WEXITSTATUS(status) : 128 + result.signal;
  result.max_rss_kib = usage.ru_maxrss;
  result.out = Slurp(out_path_);
  result.err = Slurp(err_path_);
  return result;
}

ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::vector<std::string>& environment, rlim_t file_size_limit) {
  ChildOptions options;
  options.environment = environment;
  options.file_size_limit = file_size_limit;
  options.ignore_file_size_signal = true;
  return TChildProcess(program, args, options).Wait();
}

}  // namespace qv::testing
