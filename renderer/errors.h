// The two ways the program can fail, each with the one message the user sees.
#pragma once

#include <stdexcept>
#include <string>

namespace mst {

// Exit status for a command line that cannot be run as written: unknown option, bad value,
// value out of range, path data that does not parse.
constexpr int EXIT_USAGE = 2;
// Exit status for a run that was started and failed: a file that cannot be read or written,
// a render error.
constexpr int EXIT_FAILURE_RUN = 1;
// Exit status after an interrupt (Ctrl-C), the shell's 128 + SIGINT.
constexpr int EXIT_INTERRUPTED = 130;

class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class RunError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

}  // namespace mst
