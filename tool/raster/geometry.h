// The geometry of a raster: its size, where it lies, the size of its cells,
// the value that marks a cell without data when its file has one, and its
// coordinate system when a .prj file lies beside it. It travels whole with
// the raster, from its reader to every step and writer.
#pragma once

#include <string>

struct RasterGeometry {
  int nb_lig = 0;            // lines (rows); line 0 is the northernmost
  int nb_col = 0;            // columns
  double dpix_size = 0.0;    // cell size in metres
  bool placed = false;       // the corner below is known (grids; raw rasters carry no coordinates)
  double X_min = 0.0;        // map coordinates of the lower-left corner
  double Y_min = 0.0;
  bool has_nodata = false;   // the file names a no-data marker
  double nodata = 0.0;
  bool has_prj = false;      // a .prj file lies beside the raster:
  std::string prj;           // its text, copied byte for byte beside results
  int block_lines = 0;         // rasters stored in blocks of lines (GDAL tiles): their height
  double map_cell_size = 0.0;  // a cell's side in the units of its coordinates, where they are
                               // not metres (GDAL rasters in feet or degrees); 0: dpix_size

  // A cell's side in the units of the corner's coordinates.
  double map_cell() const { return map_cell_size > 0.0 ? map_cell_size : dpix_size; }

  long long cells() const { return static_cast<long long>(nb_lig) * nb_col; }
  // A cell without data: one that holds the file's marker exactly (a marker
  // that is no number marks the cells that are no number).
  bool no_data(double altitude) const {
    return has_nodata && (altitude == nodata || (altitude != altitude && nodata != nodata));
  }
};

// A pixel size the tool can work with: a finite number of metres, 0 or more,
// whose whole part fits a descriptor's integer.
bool valid_pixel_size(double dpix_size);
// What a pixel size must be, for messages.
const char* pixel_size_rule(double dpix_size);

// Fatal stops for a pixel size that is not valid, and for a raster without at
// least one line and one column; `source` names where the values came from.
void check_pixel_size(double dpix_size, const std::string& source);
void check_dimensions(int nb_lig, int nb_col, const std::string& source);
