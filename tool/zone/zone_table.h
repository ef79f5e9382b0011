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
// makes them from the counts. `whole_cells` as add_zone_line's.
template <class Cell>
void add_table_line(ZoneTable& t, const double* altitude, const Cell* above, const Cell* mask, const Cell* below,
                    int column, int width, int nb_col, const RasterGeometry& geometry, bool volume, double surf_pix,
                    const double* base, bool line_areas, bool whole_cells = false) {
  const bool frame_line = above == nullptr || below == nullptr;
  const int first_column = -column, last_column = nb_col - 1 - column;
  // The cells come in runs of one value along the line: a run's figures are
  // summed in registers, in the cells' order, and stored once.
  for (int first = 0; first < width;) {
    const Cell c = mask[first];
    int last = first + 1;
    while (last < width && mask[last] == c) ++last;
    if (static_cast<std::uint32_t>(c) == kNoZone) {
      first = last;
      continue;
    }
    ZoneFigures& f = t.figures[c];
    long long nodata = 0, frame = 0, full = 0, half = 0;
    double lowest = f.data_lowest, highest = f.data_highest, sum = f.data_sum;
    double vol = f.vol_tot, above_base = f.above_base_m3, below_base = f.below_base_m3;
    for (int j = first; j < last; ++j) {
      const double a = altitude[j];
      if (geometry.no_data(a)) {
        ++nodata;
        continue;
      }
      lowest = std::min(lowest, a);
      highest = std::max(highest, a);
      sum += a;
      if (!whole_cells && (frame_line || j == first_column || j == last_column)) {
        ++frame;
        continue;
      }
      const bool edge = !whole_cells && ((j == first && mask[j - 1] != c) || (j == last - 1 && mask[j + 1] != c) ||
                                         above[j] != c || below[j] != c);
      ++(edge ? half : full);
      if (volume) {
        double vol_pix = a * surf_pix;
        if (edge) vol_pix = vol_pix * 0.5;
        vol = vol + vol_pix;
        if (base != nullptr) {
          double up = std::max(a - *base, 0.0) * surf_pix, down = std::max(*base - a, 0.0) * surf_pix;
          if (edge) up = up * 0.5, down = down * 0.5;
          above_base = above_base + up;
          below_base = below_base + down;
        }
      }
    }
    f.zone_cells += last - first;
    f.nodata_cells += nodata;
    f.frame_cells += frame;
    f.full_cells += full;
    f.half_cells += half;
    f.data_lowest = lowest, f.data_highest = highest, f.data_sum = sum;
    f.vol_tot = vol, f.above_base_m3 = above_base, f.below_base_m3 = below_base;
    if (line_areas && full + half > 0) {
      if (t.line_full[c] == 0 && t.line_half[c] == 0) t.touched.push_back(static_cast<std::uint32_t>(c));
      t.line_full[c] += full;
      t.line_half[c] += half;
    }
    first = last;
  }
}

// Ends a line of add_table_line calls with `line_areas`: each zone's area
// grows by its full cells and half its edge cells of the line.
void end_table_line(ZoneTable& t, double surf_pix);
