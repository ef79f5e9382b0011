// The steps of a run, in the order main() calls them:
//
//   opening      banner, folder, DEM and mask questions; loads both inputs
//     dem_lecture    raw DEM (NAME_m2.raw / NAME_m4.raw) and its unit question
//     ascii_lecture  ASCII grid (NAME.asc)
//     mask_lecture   raw mask (NAME.raw) or bitmap mask (NAME.bmp)
//   parameters   mask code, hypsometric value, volume question
//   treatment    extraction, then vol_calc when asked, then saving
//     vol_calc       volume of the zone
//     saving         result name, format and files
#pragma once

#include "console.h"
#include "nrutil.h"
#include "run_state.h"

void opening(RunState& st, Console& con);
void dem_lecture(RunState& st, Console& con);
void ascii_lecture(RunState& st, Console& con);
void mask_lecture(RunState& st, Console& con);
void parameters(RunState& st, Console& con);
void treatment(RunState& st, Console& con);
void vol_calc(RunState& st);
void saving(RunState& st, Console& con);

// The banner shown first.
void print_banner(Console& con);

// The directory under which the folders of the runs lie, ending in a separator.
std::string images_directory();

// A pixel size the tool can work with: a finite number of metres, 0 or more,
// whose whole part fits a descriptor's integer.
bool valid_pixel_size(double dpix_size);
double ask_pixel_size(Console& con, const std::string& question);

// Fatal stops for a pixel size that is not valid, and for a DEM without at
// least one line and one column; `source` names where the values came from.
void check_pixel_size(double dpix_size, const std::string& source);
void check_dimensions(int nb_lig, int nb_col, const std::string& source);

// Unit factors of stored integers: metres, decimetres, centimetres, millimetres.
constexpr double kScaleCoef[4] = {1.0, 10.0, 100.0, 1000.0};
