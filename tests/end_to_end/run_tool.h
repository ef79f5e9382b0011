// Runs the real mesacrop binary with scripted answers on its standard input.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

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

// Starts the dialog with a pseudo-terminal as its console, folders under
// `images_dir`; `terminal` gets the terminal's other side. The child's number.
int start_on_terminal(const std::string& images_dir, int& terminal);

// A command-line run: its status and what it wrote on each output.
struct CliRun {
  int status = -1;
  std::string out, errors;
};

// Runs the tool in `dir` with the blank-separated `arguments`, standard input
// closed; with `terminal`, standard error is a pseudo-terminal.
CliRun run_cli(const std::string& dir, const std::string& arguments, bool terminal = false);

// Runs a shell command; its output (standard error included), and a test
// failure when it fails.
std::string shell(const std::string& command);

// `text` with every '%' made `dir` (messages name files from the root).
std::string in_folder(std::string text, const std::string& dir);

// True when the tool was built with GDAL and GDAL's command-line tools are
// installed (gdal-bin: gdal_translate, gdal_calc.py, gdal_edit.py, ogr2ogr).
bool have_gdal_tools();
#define NEED_GDAL_TOOLS() \
  if (!have_gdal_tools()) GTEST_SKIP() << "the tool was built without GDAL, or gdal-bin is missing (.ci/run installs both)"

// The demo folder of examples/, copied to a fresh base/demo.
struct DemoCopy {
  DemoCopy();
  CliRun run(const std::string& flags) const { return run_cli(dir, flags); }
  TempDir base;
  std::string dir = base / "demo";
};

// The demo folder copied to `dir`, with ESRI BIL headers beside the raw DEM
// and the raw mask, so that GDAL's tools read them: 200 x 222 cells of 90 m,
// the DEM in decimetres, in UTM zone 16N.
void demo_for_gdal(const std::string& dir);

// A run of the tool that a test drives while it goes on: its answers come
// through a pipe that stays open until close_input(), its transcript goes to
// a file (or, with `output_pipe_bytes`, to a pipe of that capacity that
// nobody reads, so the tool blocks once it is full).
class LiveRun {
 public:
  LiveRun(const std::string& images_dir, const std::string& answers, int output_pipe_bytes = 0);
  ~LiveRun();
  void send(const std::string& answers);
  void close_input();
  void close_output();  // the reader of a piped transcript goes away
  std::string transcript() const;
  // Polls until `done` holds or `timeout_ms` passes; false on the timeout.
  static bool wait_until(const std::function<bool()>& done, int timeout_ms = 20000);
  bool wait_for_text(const std::string& text) {
    return wait_until([&] { return transcript().find(text) != std::string::npos; });
  }
  void signal(int signal_number) const;
  // The raw wait status once the process ended; -1 after the timeout.
  int wait(int timeout_ms = 20000);

 private:
  TempDir io_;
  int pid_ = -1;
  int input_ = -1, output_ = -1;
};
