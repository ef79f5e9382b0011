// A small folder of inputs for whole runs of the tool.
#pragma once

#include <string>

#include "test_files.h"

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
