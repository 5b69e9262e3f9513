// Runs a program as a child process and captures its exit status, output, time and peak memory.
#pragma once

#include <sys/resource.h>

#include <string>
#include <vector>

namespace qv::testing {

struct ProgramResult {
  int status = -1;       // exit status, or 128 + signal
  std::string out;       // standard output
  std::string err;       // standard error
  long max_rss_kib = 0;  // the child's peak resident set (wait4's ru_maxrss)
  double seconds = 0;    // wall-clock time
};

// Runs program with args (no shell), standard input from /dev/null, extra environment entries
// "NAME=VALUE" added (an entry "NAME=" with nothing after removes NAME). With file_size_limit
// set, the child cannot write files larger than that many bytes (RLIMIT_FSIZE, SIGXFSZ ignored,
// so a write past it fails with EFBIG as on a full disk).
ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::vector<std::string>& environment = {},
                         rlim_t file_size_limit = RLIM_INFINITY);

}  // namespace qv::testing
