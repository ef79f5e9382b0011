// Everything one run knows, filled in turn by the steps of the run:
// opening (dialog and loading), parameters, treatment (extraction, volume,
// saving). Every value starts at zero, every text empty, every matrix and file
// absent.
#pragma once

#include <string>

#include "files/input_file.h"
#include "matrix.h"

struct RunState {
  // Grid and scale
  int nb_lig = 0;            // lines of the DEM
  int nb_col = 0;            // columns of the DEM
  double dpix_size = 0.0;    // cell size in metres
  int val = 0;               // bytes per cell of a raw DEM: 2 or 4
  int mind = 0, maxd = 0;    // smallest and largest raw value of the loaded raw DEM
  double coef = 0.0;         // stored value / coef = metres: 1, 10, 100 or 1000
  double X_min = 0.0;        // map coordinates of the lower-left corner
  double Y_min = 0.0;
  double nodata = 0.0;       // no-data marker of an input grid; no step uses it

  // Choices made in the dialog
  int format = 0;            // input DEM: 0 ASCII grid, 1 raw raster
  int itype = 0;             // input raw raster: 0 16-bit, 1 32-bit
  int mask_type = 0;         // 0 bitmap, 1 raw raster
  int num_lines = 0;         // mask dimensions
  int num_columns = 0;
  int code = 0;              // mask value of the zone
  double val_alti = 0.0;     // altitude of every cell outside the zone
  int voltreat = 0;          // 0 compute the volume, otherwise not
  int format_out = 0;        // result: 0 ASCII grid, 1 raw raster
  int itype_out = 0;         // result raw raster: 0 16-bit, 1 32-bit

  // Flags
  bool descr_OK = false;     // the DEM descriptor existed and was read
  bool UTM_coord_OK = false; // the DEM came from a grid: corner known, result scale not chosen yet

  // Results
  double vol_tot = 0.0;      // volume of the zone, cubic metres
  double surf_pix = 0.0;     // area of one cell, square metres

  // Matrices, nb_lig lines by nb_col columns. A raw DEM is decoded straight
  // into dtab_in and a raw result encoded line by line as it is written, so no
  // integer copy of the whole DEM is held; the result takes over the memory of
  // dtab_in once the extraction no longer needs the input.
  Matrix<double> dtab_in;          // input altitudes in metres
  Matrix<unsigned char> tab_mask;  // mask values
  Matrix<double> dtab_out;         // result altitudes in metres

  // Names and paths
  std::string images_dir;    // base directory of the folders, ending in a separator
  std::string nomim1;        // input DEM path
  std::string nomim2;        // folder path, then result path
  std::string nomim3;        // mask path
  std::string nomdir;        // folder name as typed
  std::string nomfic1;       // a name as typed: the DEM's, the mask's, the result's
  std::string nomdescr1;     // input DEM descriptor path
  std::string nomdescr2;     // result descriptor path
  std::string nomdescr3;     // mask descriptor path

  // Files
  InputFile f1;              // input DEM
  InputFile f1d;             // input DEM descriptor
  InputFile f3;              // mask
  InputFile f3d;             // mask descriptor
};
