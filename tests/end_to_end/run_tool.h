// Runs the real mesacrop binary with scripted answers on its standard input.
#pragma once

#include <map>
#include <string>

#include "alps_folder.h"
#include "test_files.h"

struct ToolRun {
  int status = -1;         // exit status; -1 when it did not exit by itself
  bool timed_out = false;
  std::string transcript;  // everything written to standard output and error
};

// Runs the tool with `answers` on stdin and MESACROP_IMAGES=`images_dir`, and
// checks that the run left every file it found there as it was.
// `as_nobody`: when the tests run as root, the tool runs as user "nobody", so
// that file permissions hold for it.
ToolRun run_tool(const std::string& images_dir, const std::string& answers, int timeout_ms = 20000,
                 bool as_nobody = false);
// The same run without the check.
ToolRun run_binary(const std::string& images_dir, const std::string& answers, int timeout_ms, bool as_nobody);

// Every file under `dir` (relative name -> content).
std::map<std::string, std::string> snapshot(const std::string& dir);
