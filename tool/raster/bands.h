// The DEM and the mask of a run, read again from their files in bands, line
// 0 first: what every pass over the cells goes through, in memory that does
// not grow with the DEM, whatever its shape. A band is a few lines, or, on a
// DEM whose lines are longer than a band, a piece of one line.
#pragma once

#include <functional>
#include <vector>

#include "raster/geometry.h"

class DemSource;
class MaskSource;

// About how many cells a band holds: its buffers stay a few MiB whatever the
// DEM's size.
constexpr long long kBandCells = 1 << 18;

// The lines of the bands and the cells of each of their lines: whole lines
// when a line fits a band, else one line in pieces of kBandCells cells; for
// a raster stored in blocks of lines (tiles), bands that each lie within one
// row of blocks.
struct BandShape {
  int lines = 1;
  int width = 1;
  long long cells() const { return static_cast<long long>(lines) * width; }
};
BandShape band_shape(const RasterGeometry& geometry);

// How a pass wants the DEM's cells: as altitudes in metres, or, for a raw
// DEM, as its stored cells just as the file holds them.
enum class BandCells { metres, stored, both };

// How a pass wants the mask's cells: as the zone's test needs them (the
// tool's own masks: their bytes; GDAL masks: 1 in the zone, 0 elsewhere),
// or as the codes of every zone (own masks: their bytes; GDAL masks: 32-bit
// indices of their codes, kNoZone for their no-data cells).
enum class MaskCells { zone, codes };

// A band: lines first .. first + count - 1, columns column .. column + width - 1.
struct Band {
  int first = 0;   // the number of its first line
  int count = 0;   // its lines
  int column = 0;  // the number of its first column (0 unless lines come in pieces)
  int width = 0;   // its cells on each line
  double* const* altitude = nullptr;  // altitude[k][j]: line first + k, column column + j, in metres
  const double* const* reference = nullptr;  // the same cells of the reference surface, when there is one
  const unsigned char* stored = nullptr;  // the band's stored cells, line after line (BandCells::stored)
  // mask[k], k = -1 .. count: the band's mask lines and the one above and
  // below it, where the raster has them (what the volume's edge rule needs);
  // mask[k][-1] and mask[k][width] are the cells beside the band, where the
  // raster has them.
  const unsigned char* const* mask = nullptr;
  // MaskCells::codes of a GDAL mask: its cells are 4 bytes (std::uint32_t),
  // indices of mask_codes.
  int mask_cell_bytes = 1;
  const std::vector<long long>* mask_codes = nullptr;

  long long cells() const { return static_cast<long long>(count) * width; }
};

// Reads the DEM (in metres, or a raw DEM's stored cells too), the reference
// surface when there is one (in metres) and the mask in bands, in file
// order, and hands each band to `work`, which may change its altitudes.
// `code` is the zone's (MaskCells::zone). Each source checks its file
// unchanged at the pass's start and end.
void for_each_band(DemSource& dem, DemSource* reference, MaskSource& mask, const std::function<void(const Band&)>& work,
                   BandCells cells = BandCells::metres, MaskCells mask_cells = MaskCells::zone, long long code = 0);
