// What every mask is checked for, whatever its layout.
#pragma once

#include <array>
#include <string>

#include "raster/source.h"

// Stops the run when the mask's size is not the DEM's, naming both.
void check_mask_size(int lines, int columns, const std::string& path, const DemFacts& dem, const std::string& dem_path);
