// Every zone of a mask at once: the figures of each mask value in one pass,
// each exactly those of a one-zone pass over that value (the same cells, the
// same edge rule, the same order of summation). No files, no console.
#pragma once

#include <cstdint>
#include <vector>

#include "cell_rule.h"
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
// makes them from the counts. `sums` and `reference` as add_zone_line's.
template <class Cell>
void add_table_line(ZoneTable& t, const double* altitude, const Cell* above, const Cell* mask, const Cell* below,
                    int column, int width, int nb_col, const RasterGeometry& geometry, double surf_pix,
                    const ZoneSums& sums, bool line_areas, const double* reference = nullptr) {
  LineRule rule;
  rule.frame_line = above == nullptr || below == nullptr;
  rule.first_column = -column, rule.last_column = nb_col - 1 - column;
  rule.geometry = &geometry, rule.surf_pix = surf_pix, rule.sums = sums;
  rule.all_cells = false;
  // The cells come in runs of one value along the line.
  for (int first = 0; first < width;) {
    const Cell c = mask[first];
    int last = first + 1;
    while (last < width && mask[last] == c) ++last;
    if (static_cast<std::uint32_t>(c) != kNoZone) {
      ZoneFigures& f = t.figures[c];
      rule.zone = static_cast<std::size_t>(c);
      const long long full = f.full_cells, half = f.half_cells;
      add_zone_run(f, rule, altitude, above, mask, below, first, last, reference);
      if (line_areas && f.full_cells + f.half_cells > full + half) {
        if (t.line_full[c] == 0 && t.line_half[c] == 0) t.touched.push_back(static_cast<std::uint32_t>(c));
        t.line_full[c] += f.full_cells - full;
        t.line_half[c] += f.half_cells - half;
      }
    }
    first = last;
  }
}

// Ends a line of add_table_line calls with `line_areas`: each zone's area
// grows by its full cells and half its edge cells of the line.
void end_table_line(ZoneTable& t, double surf_pix);
