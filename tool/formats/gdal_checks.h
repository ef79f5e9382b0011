// What every raster read through GDAL is checked for, DEM or mask.
#pragma once

#include <ostream>
#include <string>

#include "files/library_raster.h"

// Refuses what the passes cannot read line by line as a north-up grid.
void check_orientation(const GdalRaster& r, const std::string& path);

// Warns when a raster of several bands is read without its band chosen.
void warn_of_bands(const GdalRaster& r, const std::string& path, const char* role, const char* flag, bool chosen,
                   std::ostream& notes);
