// Every layout of the inputs and every format of the results, one line each
// in registry.cpp: the file forms it takes (the command line recognises
// names by them, and the usage text lists them) and how to open it. Each
// layout's source and each format's sink lies in a file of its own in this
// folder.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "job.h"
#include "raster/sink.h"
#include "raster/source.h"

// A layout or format: the file forms it takes, for the usage text and
// messages; whether a name is of it (setting what the name says: a raw
// file's cells, a result's base and extension); how to open it.
template <class Layout, class Choice, class Opened>
struct Format {
  Layout layout;
  const char* forms;
  bool (*takes)(const std::string& name, Choice& choice);
  std::unique_ptr<Opened> (*open)(const Choice& choice);
};
using DemFormat = Format<DemLayout, DemChoice, DemSource>;
using MaskFormat = Format<MaskLayout, MaskChoice, MaskSource>;
using ResultFormat = Format<ResultLayout, ResultChoice, ResultSink>;

// The layouts this build reads and the formats it writes, in the order
// names are tried (GDAL's last among the inputs: it takes any name).
const std::vector<DemFormat>& dem_formats();
const std::vector<MaskFormat>& mask_formats();
const std::vector<ResultFormat>& result_formats();

// The source of a chosen DEM or mask, open.
std::unique_ptr<DemSource> open_dem(const DemChoice& choice);
std::unique_ptr<MaskSource> open_mask(const MaskChoice& choice);
// The sink of the chosen result (no file is made before its begin()).
std::unique_ptr<ResultSink> open_result(const ResultChoice& choice);
