// The DEM and the mask of a run, read again from their files in bands of
// lines, line 0 first: what every pass over the cells goes through, in
// memory that does not grow with the DEM.
#pragma once

#include <functional>

#include "run_state.h"

// About how many cells a band holds: its buffers stay a few MiB whatever the
// DEM's size (a band is at least one line).
constexpr long long kBandCells = 1 << 18;

// The number of lines of the bands for a raster of `nb_col` columns.
int band_lines(const RasterGeometry& geometry);

// How a pass wants the DEM's cells: as altitudes in metres, or, for a raw
// DEM, as its stored cells just as the file holds them.
enum class BandCells { metres, stored };

// A band of lines of the DEM with the mask lines around it.
struct Band {
  int first = 0;  // the number of its first line
  int count = 0;  // its lines
  double* const* altitude = nullptr;  // altitude[k]: line first + k, in metres (BandCells::metres)
  const unsigned char* stored = nullptr;  // the band's stored cells, line after line (BandCells::stored)
  // mask[k], k = -1 .. count: the band's mask lines and the one above and
  // below it, where the raster has them (what the volume's edge rule needs).
  const unsigned char* const* mask = nullptr;
};

// Reads the run's DEM (in metres: raw cells / coef, or the stored cells of a
// raw DEM; a grid's cells from its spill file when it has one, else from its
// text again) and mask in bands, in file order, and hands each band to
// `work`, which may change its altitudes.
void for_each_band(RunState& st, const std::function<void(const Band&)>& work,
                   BandCells cells = BandCells::metres);
