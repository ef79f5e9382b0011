// A run: its choices (the job) and the facts its files gave, which each step
// of the work hands on to the later ones. Rasters stay in their files and are
// read again, in bands, by each step that needs their cells.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "files/library_raster.h"
#include "files/spill_file.h"
#include "image.h"
#include "job.h"
#include "platform.h"
#include "raster/geometry.h"
#include "zone/cell_areas.h"
#include "zone/zone.h"

// The DEM as loaded.
struct DemInput {
  std::string descriptor_path;   // raw rasters: their descriptor
  RasterGeometry geometry;       // nb_lig, nb_col, dpix_size, corner, no-data
  std::optional<long long> stored_nodata;  // raw rasters: the stored value of cells without data
  std::optional<Corner> header_corner;     // raw rasters: the corner a .hdr beside them gives
  FileStamp stamp;               // the file as it was loaded: later passes check it is still the same
  SpillFile spill;               // a grid's cells as parsed, for the later passes
  CellAreas areas;               // m2 of its cells, line by line
  // GDAL rasters: what the file says, the altitude of one of its units in
  // metres (as m to mm divide, feet multiply), whether that unit was found
  // or assumed, and whether its cells are square in the units of its
  // coordinate system (what grids and raw results need).
  std::optional<GdalRaster> gdal;
  int vertical_unit = kMetre;
  bool vertical_unit_assumed = false;
  bool square_cells = true;
};

// The mask as loaded.
struct MaskInput {
  std::string descriptor_path;   // raw masks: their descriptor
  int lines = 0, columns = 0;    // from the descriptor, the choices or the bitmap
  BmpLayout bitmap;              // a bitmap mask: where its rows lie
  FileStamp stamp;               // the file as it was loaded
  std::array<bool, 256> codes{}; // bitmaps: the codes their cells hold
  std::optional<GdalRaster> gdal;     // GDAL masks: what the file says
};

struct RunState {
  std::string folder;      // the result's folder, ending in a separator
  Job job;
  DemInput dem;
  MaskInput mask;
  // Stored value / coef = metres: the unit of a raw DEM, which its result
  // keeps, or the one chosen for the raw result of a grid DEM (0 until then).
  double coef = 0.0;
  ZoneFigures zone;        // the zone's volume (when asked) and extremes
  bool zone_measured = false;
};
