// Runs a program as a child process and captures its end, output, time and peak memory.
#include "support/child_process.h"

#include <elf.h>
#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
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

// The ELF machine of the processor the tests are built for.
#if defined(__x86_64__)
constexpr int kOwnMachine = EM_X86_64;
#elif defined(__aarch64__)
constexpr int kOwnMachine = EM_AARCH64;
#else
constexpr int kOwnMachine = -1;
#endif

// True when path is an ELF program for the processor the tests are built for.
bool BuiltForTheTestsProcessor(const std::string& path) {
  unsigned char header[20] = {};
  std::ifstream in(path, std::ios::binary);
  if (!in.read(reinterpret_cast<char*>(header), sizeof header)) return false;
  return header[0] == 0x7F && header[1] == 'E' && header[2] == 'L' && header[3] == 'F' &&
         (header[18] | header[19] << 8) == kOwnMachine;
}

// The command that runs program: the program itself, or, when the tests run under an emulator
// (a cross-compiled build, scripts/cross_check.sh: QV_TEST_EMULATOR holds its command) and the
// program is built for the same processor, the emulator's command followed by the program. The
// machine cannot start such a program itself; the system's tools it can.
std::vector<std::string> Command(const std::string& program) {
  const char* emulator = std::getenv("QV_TEST_EMULATOR");
  if (emulator == nullptr || *emulator == 0 || !BuiltForTheTestsProcessor(program))
    return {program};
  std::vector<std::string> command;
  std::istringstream words(emulator);
  for (std::string word; words >> word;) command.push_back(word);
  command.push_back(program);
  return command;
}

}  // namespace

TChildProcess::TChildProcess(const std::string& program, const std::vector<std::string>& args,
                             const ChildOptions& options) {
  int out_fd = OutputFile("out", out_path_);
  int err_fd = OutputFile("err", err_path_);
  // Everything the child needs is built before the fork: after it, only system calls.
  std::vector<std::string> command = Command(program);
  command.insert(command.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : command) argv.push_back(word.data());
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
    ::execve(argv[0], argv.data(), envp.data());
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
