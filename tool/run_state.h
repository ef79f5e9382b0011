// What the steps of a run hand on to the later ones: opening (dialog and
// loading), parameters, treatment (zone figures, then saving). Rasters stay
// in their files and are read again, in bands of lines, by each step that
// needs their cells.
#pragma once

#include <array>
#include <optional>
#include <string>

#include "files/spill_file.h"
#include "image.h"
#include "matrix.h"
#include "platform.h"
#include "raster/geometry.h"
#include "zone/zone.h"

// The DEM of the run.
struct DemInput {
  int format = 0;                // 0 ASCII grid, 1 raw raster
  int itype = 0;                 // raw raster: 0 16-bit, 1 32-bit (see raw_type)
  std::string path;              // the raster or grid file as opened
  std::string descriptor_path;   // raw rasters: their descriptor
  bool descr_OK = false;         // the descriptor existed and was read; otherwise loading writes it
  RasterGeometry geometry;       // nb_lig, nb_col, dpix_size, corner, no-data
  std::optional<long long> stored_nodata;  // raw rasters: the stored value of cells without data
  FileStamp stamp;               // the file as it was loaded: later passes check it is still the same
  SpillFile spill;               // a grid's cells as parsed, for the later passes
};

// The mask of the run.
struct MaskInput {
  int mask_type = 0;             // 0 bitmap, 1 raw raster
  std::string path;              // the raw mask or bitmap file as opened
  std::string descriptor_path;   // raw masks: their descriptor
  int num_lines = 0;             // size from the descriptor or the answers (raw),
  int num_columns = 0;           // or from the bitmap
  BmpLayout bitmap;              // a bitmap mask: where its rows lie
  FileStamp stamp;               // the file as it was loaded
  std::array<bool, 256> codes{}; // the codes its cells hold
};

struct RunState {
  std::string images_dir;  // base directory of the folders, ending in a separator
  std::string folder;      // the run's folder: base directory, folder name, separator

  DemInput dem;
  MaskInput mask;
  // Stored value / coef = metres: the unit of a raw DEM, which its result
  // keeps, or the one chosen for the raw result of a grid DEM (0 until then).
  double coef = 0.0;

  // The zone questions
  int code = 0;            // mask value of the zone
  double val_alti = 0.0;   // altitude of every cell outside the zone
  int voltreat = 0;        // 0 compute the volume, otherwise not

  ZoneFigures zone;        // the zone's volume (when asked) and extremes
};
