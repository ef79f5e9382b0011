// Runs the real mesacrop binary with scripted answers on its standard input.
#pragma once

#include <map>
#include <string>

#include "test_files.h"

struct ToolRun {
  int status = -1;         // exit status; -1 when it did not exit by itself
  bool timed_out = false;
  std::string transcript;  // everything written to standard output and error
};

// Runs the tool with `answers` on stdin and MESACROP_IMAGES=`images_dir`.
// `as_nobody`: when the tests run as root, the tool runs as user "nobody", so
// that file permissions hold for it.
ToolRun run_tool(const std::string& images_dir, const std::string& answers, int timeout_ms = 20000,
                 bool as_nobody = false);

// Every file under `dir` (relative name -> content).
std::map<std::string, std::string> snapshot(const std::string& dir);

// The demo-like folder "alps" of the tests: a 3 x 4 DEM "mnt" in centimetres
// as 16-bit and 32-bit rasters and as a grid in metres, and a mask "zone" as a
// raw raster and as a bitmap.
//
//   DEM (cm)                         mask zone
//   10000 10050 10100 10150          0 1 1 0
//   10200 10029 10300 10350          1 1 1 0
//   10400 10450 10500 10550          0 1 0 0
//
// Pixel size 1000 m; the grid's lower-left corner is (500000, 4000000).
struct Alps {
  explicit Alps(const TempDir& base);
  std::string dir;
};
