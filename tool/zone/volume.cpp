#include <algorithm>

#include "zone.h"

void add_zone_line(ZoneFigures& f, const double* altitude, const unsigned char* above, const unsigned char* mask,
                   const unsigned char* below, int nb_col, int code, const RasterGeometry& geometry, bool volume,
                   double surf_pix) {
  const bool frame_line = above == nullptr || below == nullptr;
  long long zone = 0;
  for (int j = 0; j < nb_col; ++j) {
    if (!in_zone(mask[j], code)) continue;
    ++zone;
    const double a = altitude[j];
    f.has_nan = f.has_nan || a != a;
    f.lowest = std::min(f.lowest, a);
    f.highest = std::max(f.highest, a);
    if (geometry.no_data(a)) {
      ++f.nodata_cells;
      continue;
    }
    f.data_lowest = std::min(f.data_lowest, a);
    f.data_highest = std::max(f.data_highest, a);
    f.data_sum += a;
    if (frame_line || j == 0 || j == nb_col - 1) {
      ++f.frame_cells;
      continue;
    }
    const bool edge = !in_zone(above[j], code) || !in_zone(mask[j + 1], code) || !in_zone(below[j], code) ||
                      !in_zone(mask[j - 1], code);
    ++(edge ? f.half_cells : f.full_cells);
    if (volume) {
      double vol_pix = a * surf_pix;
      if (edge) vol_pix = vol_pix * 0.5;
      f.vol_tot = f.vol_tot + vol_pix;
    }
  }
  f.zone_cells += zone;
  f.other_cells += nb_col - zone;
}
