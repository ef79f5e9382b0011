// Every zone of a mask at once: the figures of each mask value in one pass,
// each exactly those of a one-zone pass over that value (the same cells, the
// same edge rule, the same order of summation). No files, no console.
#pragma once

#include <cstdint>
#include <vector>

#include "zone.h"

// The value of a mask cell that belongs to no zone (a GDAL mask's no-data).
constexpr std::uint32_t kNoZone = 0xFFFFFFFFu;

struct ZoneTable {
  std::vector<ZoneFigures> figures;  // by mask cell value: the code, or the index of a GDAL mask's code
  // The counts of the line in hand, for areas that change from line to line.
  std::vector<long long> line_full, line_half;
  std::vector<std::uint32_t> touched;
};

// Adds one line (or a piece of one, as add_zone_line) to the figures of
// every value its cells hold; t.figures must have room for each of them.
// With `line_areas` (cell areas that depend on the line), the zones' areas
// are summed line by line as the one-zone pass does; otherwise the caller
// makes them from the counts.
template <class Cell>
void add_table_line(ZoneTable& t, const double* altitude, const Cell* above, const Cell* mask, const Cell* below,
                    int column, int width, int nb_col, const RasterGeometry& geometry, bool volume, double surf_pix,
                    const double* base, bool line_areas) {
  const bool frame_line = above == nullptr || below == nullptr;
  const int first_column = -column, last_column = nb_col - 1 - column;
  for (int j = 0; j < width; ++j) {
    const Cell c = mask[j];
    if (static_cast<std::uint32_t>(c) == kNoZone) continue;
    ZoneFigures& f = t.figures[c];
    ++f.zone_cells;
    const double a = altitude[j];
    if (geometry.no_data(a)) {
      ++f.nodata_cells;
      continue;
    }
    f.data_lowest = std::min(f.data_lowest, a);
    f.data_highest = std::max(f.data_highest, a);
    f.data_sum += a;
    if (frame_line || j == first_column || j == last_column) {
      ++f.frame_cells;
      continue;
    }
    const bool edge = mask[j - 1] != c || mask[j + 1] != c || above[j] != c || below[j] != c;
    ++(edge ? f.half_cells : f.full_cells);
    if (line_areas) {
      if (t.line_full[c] == 0 && t.line_half[c] == 0) t.touched.push_back(static_cast<std::uint32_t>(c));
      ++(edge ? t.line_half[c] : t.line_full[c]);
    }
    if (volume) {
      double vol_pix = a * surf_pix;
      if (edge) vol_pix = vol_pix * 0.5;
      f.vol_tot = f.vol_tot + vol_pix;
      if (base != nullptr) add_to_base_volumes(f, a, *base, surf_pix, edge);
    }
  }
}

// Ends a line of add_table_line calls with `line_areas`: each zone's area
// grows by its full cells and half its edge cells of the line.
void end_table_line(ZoneTable& t, double surf_pix);
