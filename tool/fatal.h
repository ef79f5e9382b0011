// The fatal stop: a fault the run cannot go past.
//
// Any step may call fatal_stop(); the run's sequence catches the FatalStop,
// prints its message, waits for one key and ends the process with status 1.
// Unwinding on the way closes every file and removes every unfinished result.
#pragma once

#include <string>

struct FatalStop {
  std::string message;
  int error = 0;  // the system's errno behind it, when a file operation failed
};

[[noreturn]] inline void fatal_stop(std::string message, int error = 0) { throw FatalStop{std::move(message), error}; }
