// Where the tool's own DEMs lie: the coordinate system of a .prj beside
// them, and the warning for coordinates that look like degrees (the cell
// size is taken as metres).
#pragma once

#include <optional>
#include <ostream>
#include <string>

#include "raster/geometry.h"

// The text of the .prj file beside `raster`, when there is one (a file that
// cannot be read as one is said, and gives none).
std::optional<std::string> read_prj_beside(const std::string& raster, std::ostream& notes);

// Warns when the coordinates of `geometry` look like degrees while nothing
// says they are; `gdal`: the DEM was read through GDAL (its way out is named).
void warn_if_degrees(const RasterGeometry& geometry, const std::string& path, bool gdal, std::ostream& notes);
