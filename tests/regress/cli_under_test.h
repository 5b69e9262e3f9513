// The quenvale-cli the edge tests run as a child process, and how they run it.
#pragma once

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "support/child_process.h"

namespace qv::testing {

// The program under test: QV_CLI_UNDER_TEST runs another build of it (an older one, to see a
// test fail), else the one of this build.
inline std::string CliUnderTest() {
  const char* other = std::getenv("QV_CLI_UNDER_TEST");
  return other && *other ? other : QV_CLI_PATH;
}

// options for the program under test: it runs without a display.
inline ChildOptions CliOptions(ChildOptions options = {}) {
  options.environment.insert(options.environment.begin(), "DISPLAY=");
  return options;
}

// Runs the program under test to its end; after timeout_seconds it is killed and timed_out set.
inline ProgramResult RunCli(const std::vector<std::string>& args, const ChildOptions& options = {},
                            double timeout_seconds = 60) {
  return TChildProcess(CliUnderTest(), args, CliOptions(options)).Wait(timeout_seconds);
}

}  // namespace qv::testing
