// The command line: every choice of a run as a flag, the same work as the
// dialog's, no question and no key wait.
//
//   mesacrop [OPTIONS] DEM MASK RESULT
//
// Exit status: 0 after a complete result, 1 after a failed run, 2 for a
// usage error (followed by a line pointing to --help).
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "job.h"

// What the arguments ask for.
struct CommandLine {
  Job job;
  bool quiet = false;    // no progress lines
  bool help = false;     // -h, --help
  bool version = false;  // --version
};

// A malformed command line: unknown flag, missing or malformed value, value
// out of range, file name of no accepted form. `message` names the flag or
// argument at fault.
struct UsageError {
  std::string message;
};

// The arguments after the program's name, as a command line.
CommandLine parse_command_line(const std::vector<std::string>& arguments);

// Runs the job of `command`; messages and progress go to `errors`, the
// report to `out` when it is asked for there. Returns the exit status.
int run_command_line(CommandLine command, std::ostream& out, std::ostream& errors);

// The usage text; `images_dir` is the dialog's base directory.
void usage(std::ostream& out, const std::string& images_dir);
// The line after a usage error: where the usage text is.
void short_usage(std::ostream& out);
