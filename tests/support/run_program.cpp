// Runs a program with arguments and captures its exit status, standard output and error.
#include "support/run_program.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

namespace qv::testing {

namespace {

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::vector<std::string>& environment) {
  char out_name[] = "/tmp/qvrun-out-XXXXXX";
  char err_name[] = "/tmp/qvrun-err-XXXXXX";
  int out_fd = ::mkstemp(out_name);
  int err_fd = ::mkstemp(err_name);
  ProgramResult result;
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
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  ::close(out_fd);
  ::close(err_fd);
  result.out = Slurp(out_name);
  result.err = Slurp(err_name);
  ::unlink(out_name);
  ::unlink(err_name);
  return result;
}

}  // namespace qv::testing
