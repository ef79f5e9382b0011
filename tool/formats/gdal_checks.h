// What every raster read through GDAL is, DEM or mask: its file, opened
// once by GDAL, checked unchanged by its path; and what it is checked for.
#pragma once

#include <memory>
#include <ostream>
#include <string>

#include "files/library_raster.h"
#include "platform.h"

// A raster GDAL reads: its path checked as an input is (missing, not a
// regular file, unreadable: the tool's messages), its stamp, its reader.
struct GdalInput {
  GdalInput(const std::string& path, int band, const char* role);
  // Stops the run when the file is no longer the one opened.
  void check_unchanged() const;
  std::string path;
  FileStamp stamp;
  std::unique_ptr<GdalReader> reader;
};

// Refuses what the passes cannot read line by line as a north-up grid.
void check_orientation(const GdalRaster& r, const std::string& path);

// Warns when a raster of several bands is read without its band chosen.
void warn_of_bands(const GdalRaster& r, const std::string& path, const char* role, const char* flag, bool chosen,
                   std::ostream& notes);
