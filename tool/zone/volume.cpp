#include <algorithm>
#include <cstring>

#include "zone.h"

void add_zone_line(ZoneFigures& f, const double* altitude, const unsigned char* above, const unsigned char* mask,
                   const unsigned char* below, int column, int width, int nb_col, int code,
                   const RasterGeometry& geometry, bool volume, double surf_pix, const double* base,
                   bool whole_cells) {
  const bool frame_line = above == nullptr || below == nullptr;
  long long zone = 0;
  // The zone's cells come in runs along the line: the cells between runs are
  // skipped at the speed of memchr, and within a run only the first and last
  // cells can have a neighbour outside on the line (the run's neighbours, or
  // beyond a piece's ends, the cells beside it).
  const unsigned char* p = code >= 0 && code <= 255 ? mask : mask + width;
  const unsigned char* const end = mask + width;
  const int first_column = -column, last_column = nb_col - 1 - column;  // the frame's, in the piece's terms
  const auto value = static_cast<unsigned char>(code);
  while (p != end && (p = static_cast<const unsigned char*>(std::memchr(p, value, static_cast<std::size_t>(end - p))))) {
    const int first = static_cast<int>(p - mask);
    while (p != end && *p == value) ++p;
    const int last = static_cast<int>(p - mask);  // the run is [first, last)
    zone += last - first;
    for (int j = first; j < last; ++j) {
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
      if (!whole_cells && (frame_line || j == first_column || j == last_column)) {
        ++f.frame_cells;
        continue;
      }
      const bool edge = !whole_cells &&
                        ((j == first && !in_zone(mask[j - 1], code)) || (j == last - 1 && !in_zone(mask[j + 1], code)) ||
                         !in_zone(above[j], code) || !in_zone(below[j], code));
      ++(edge ? f.half_cells : f.full_cells);
      if (volume) {
        double vol_pix = a * surf_pix;
        if (edge) vol_pix = vol_pix * 0.5;
        f.vol_tot = f.vol_tot + vol_pix;
        if (base != nullptr) add_to_base_volumes(f, a, *base, surf_pix, edge);
      }
    }
  }
  f.zone_cells += zone;
  f.other_cells += width - zone;
}
