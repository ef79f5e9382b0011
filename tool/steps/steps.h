// The steps of a run, in the order main() calls them:
//
//   opening      banner, folder, DEM and mask questions; loads both inputs
//     dem_lecture    raw DEM (NAME_m2.raw / NAME_m4.raw): range, unit question
//     ascii_lecture  ASCII grid (NAME.asc): header, every cell checked
//     mask_lecture   raw mask (NAME.raw) or bitmap mask (NAME.bmp)
//   parameters   mask code, hypsometric value, volume question
//   treatment    the zone's figures and volume, then saving
//     saving         result name, format and files
#pragma once

#include "console.h"
#include "run_state.h"

void opening(RunState& st, Console& con);
void dem_lecture(RunState& st, Console& con);
void ascii_lecture(RunState& st, Console& con);
void mask_lecture(RunState& st, Console& con);
void parameters(RunState& st, Console& con);
void treatment(RunState& st, Console& con);
void saving(RunState& st, Console& con);

// The banner shown first.
void print_banner(Console& con);

// The note on the zone's cells without data, left out of the volume: on the
// console after the volume, and at the end of a result descriptor.
std::string no_data_note(const RunState& st);

// The codes a mask holds, for messages: "0, 1, 2 to 9, 255".
std::string codes_text(const std::array<bool, 256>& codes);

// Unit factors of stored integers: metres, decimetres, centimetres, millimetres.
constexpr double kScaleCoef[4] = {1.0, 10.0, 100.0, 1000.0};
