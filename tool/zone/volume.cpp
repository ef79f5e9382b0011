#include <algorithm>
#include <cstring>

#include "cell_rule.h"
#include "zone.h"

void add_zone_line(ZoneFigures& f, const double* altitude, const unsigned char* above, const unsigned char* mask,
                   const unsigned char* below, int column, int width, int nb_col, int code,
                   const RasterGeometry& geometry, double surf_pix, const ZoneSums& sums, const double* reference) {
  LineRule rule;
  rule.frame_line = above == nullptr || below == nullptr;
  rule.first_column = -column, rule.last_column = nb_col - 1 - column;  // the frame's, in the piece's terms
  rule.geometry = &geometry, rule.surf_pix = surf_pix, rule.sums = sums;
  long long zone = 0;
  // The zone's cells come in runs along the line: the cells between runs are
  // skipped at the speed of memchr, and within a run only the first and last
  // cells can have a neighbour outside on the line (the run's neighbours, or
  // beyond a piece's ends, the cells beside it).
  const unsigned char* p = code >= 0 && code <= 255 ? mask : mask + width;
  const unsigned char* const end = mask + width;
  const auto value = static_cast<unsigned char>(code);
  while (p != end && (p = static_cast<const unsigned char*>(std::memchr(p, value, static_cast<std::size_t>(end - p))))) {
    const int first = static_cast<int>(p - mask);
    while (p != end && *p == value) ++p;
    const int last = static_cast<int>(p - mask);  // the run is [first, last)
    zone += last - first;
    add_zone_run(f, rule, altitude, above, mask, below, first, last, reference);
  }
  f.other_cells += width - zone;
}
