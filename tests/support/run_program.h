// Runs a program with arguments and captures its exit status, standard output and error.
#pragma once

#include <string>
#include <vector>

namespace qv::testing {

struct ProgramResult {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs program with args (no shell), standard input from /dev/null, extra environment entries
// "NAME=VALUE" added (an entry "NAME=" with nothing after removes NAME).
ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::vector<std::string>& environment = {});

}  // namespace qv::testing
