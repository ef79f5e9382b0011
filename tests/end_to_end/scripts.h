// The answers and folders the whole runs share: scripts of the dialog on the
// alps folder, earlier results to replace, and how a run's outcome is
// judged.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "run_tool.h"

// The dialog's answers on the alps folder, up to the result's name: the raw
// 16-bit DEM and the raw mask, code 1, the volume.
extern const std::string kRawRun;
// A projected coordinate system, as a .prj holds it.
extern const std::string kUtm;
// The header of a 3 x 4 grid of 10 m cells.
extern const std::string kGridHeader;

// `script` with its first `from` made `to`.
std::string replaced(std::string script, const std::string& from, const std::string& to);
// Answers separated by blanks, as lines.
std::string words(std::string answers);
// Blank-separated answers, one by one, and back as lines.
std::vector<std::string> split_answers(const std::string& script);
std::string join(const std::vector<std::string>& answers);

// An earlier raw result and grid named res in `dir`, as mesacrop writes them.
void write_old_raw_result(const std::string& dir);
// The files of `dir` whose names start with `prefix`.
std::map<std::string, std::string> files_of(const std::string& dir, const std::string& prefix);
// True when `program` is on the PATH.
bool have(const char* program);
// Runs the dialog with `answers` under strace and its `trace` options,
// writing strace's log to `log`.
void run_traced(const std::string& base, const std::string& answers, const std::string& trace, const std::string& log);

// The dialog run in this process, as the dialog's fuzz target runs it: what
// a run of the binary shows, for the answers that never reach a signal or a
// terminal, hundreds of times faster.
ToolRun run_in_process(const std::string& images_dir, const std::string& answers);

// A run whose answers are written while it waits: `step` sees everything the
// tool has written so far and returns what to send next ("\x04" closes its
// input). The exit status, -1 when it did not exit by itself.
int interactive_run(const std::string& images_dir, const std::function<std::string(const std::string&)>& step,
                    std::string& transcript);

// Complete scripts on the alps folder, one per path through the dialog.
extern const std::vector<std::string> kScripts;
// What a finished or stopped run may leave in the folder: only whole result
// files, the inputs unchanged.
void expect_clean_outcome(const std::map<std::string, std::string>& before,
                          const std::map<std::string, std::string>& after, const ToolRun& run, const std::string& what);
