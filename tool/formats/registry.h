// Every layout of the inputs, one line each in registry.cpp: the file forms
// it takes (the command line recognises names by them, and the usage text
// lists them) and how to open it. Each layout's source lies in a file of its
// own in this folder.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "job.h"
#include "raster/source.h"

struct DemFormat {
  DemLayout layout;
  const char* forms;  // for the usage text and messages
  // True when `name` is a DEM of this layout; sets what the name says (a raw DEM's cells).
  bool (*takes)(const std::string& name, DemChoice& choice);
  std::unique_ptr<DemSource> (*open)(const DemChoice& choice);
};

struct MaskFormat {
  MaskLayout layout;
  const char* forms;
  bool (*takes)(const std::string& name, MaskChoice& choice);
  std::unique_ptr<MaskSource> (*open)(const MaskChoice& choice);
};

// The layouts this build reads, in the order names are tried (GDAL's last:
// it takes any name).
const std::vector<DemFormat>& dem_formats();
const std::vector<MaskFormat>& mask_formats();

// The source of a chosen DEM or mask, open.
std::unique_ptr<DemSource> open_dem(const DemChoice& choice);
std::unique_ptr<MaskSource> open_mask(const MaskChoice& choice);

// The layouts' own files.
std::unique_ptr<DemSource> open_raw_dem(const DemChoice& choice);
std::unique_ptr<DemSource> open_grid_dem(const DemChoice& choice);
std::unique_ptr<DemSource> open_gdal_dem(const DemChoice& choice);
std::unique_ptr<MaskSource> open_raw_mask(const MaskChoice& choice);
std::unique_ptr<MaskSource> open_bitmap_mask(const MaskChoice& choice);
std::unique_ptr<MaskSource> open_gdal_mask(const MaskChoice& choice);
