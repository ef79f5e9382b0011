// The dialog: today's questions in today's order, each answer a choice of
// the run's job, with the work (work/work.h) done between them as soon as
// the next question needs its facts:
//
//   opening      banner, folder, DEM (its range before its unit), mask
//   parameters   mask code, hypsometric value, volume question
//   saving       result name, format, type, scale; the volume note and the
//                corner of a grid; the result written
#pragma once

#include <string>

#include "console.h"
#include "run.h"
#include "work/work.h"

void opening(Run& run, Console& con, const std::string& images_dir);
void parameters(Run& run, Console& con);
void saving(Run& run, Console& con);

// The banner shown first.
void print_banner(Console& con);

// The format question of the DEM and of the result: ascii, raster, and
// GeoTIFF when the tool was built with GDAL.
int ask_format(Console& con);

// The dialog's progress lines: those of the grids read and written.
PassProgress dialog_progress(Console& con);
