// Runs a program as a child process and captures its exit status, output, time and peak memory.
#include "support/run_program.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iterator>

namespace qv::testing {

namespace {

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::vector<std::string>& environment, rlim_t file_size_limit) {
  char out_name[] = "/tmp/qvrun-out-XXXXXX";
  char err_name[] = "/tmp/qvrun-err-XXXXXX";
  int out_fd = ::mkstemp(out_name);
  int err_fd = ::mkstemp(err_name);
  // Everything the child needs is built before the fork.
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);

  auto start = std::chrono::steady_clock::now();
  pid_t pid = ::fork();
  if (pid == 0) {
    int null_fd = ::open("/dev/null", O_RDONLY);
    ::dup2(null_fd, 0);
    ::dup2(out_fd, 1);
    ::dup2(err_fd, 2);
    for (const std::string& entry : environment) {
      auto eq = entry.find('=');
      std::string name = entry.substr(0, eq);
      if (eq + 1 == entry.size())
        ::unsetenv(name.c_str());
      else
        ::setenv(name.c_str(), entry.substr(eq + 1).c_str(), 1);
    }
    if (file_size_limit != RLIM_INFINITY) {
      ::signal(SIGXFSZ, SIG_IGN);  // stays ignored across exec
      rlimit limit{file_size_limit, file_size_limit};
      ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  ProgramResult result;
  int status = 0;
  rusage usage{};
  ::wait4(pid, &status, 0, &usage);
  result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.max_rss_kib = usage.ru_maxrss;
  ::close(out_fd);
  ::close(err_fd);
  result.out = Slurp(out_name);
  result.err = Slurp(err_name);
  ::unlink(out_name);
  ::unlink(err_name);
  return result;
}

}  // namespace qv::testing
