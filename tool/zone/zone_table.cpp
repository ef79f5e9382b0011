#include "zone_table.h"

void end_table_line(ZoneTable& t, double surf_pix) {
  for (const std::uint32_t c : t.touched) {
    ZoneFigures& f = t.figures[c];
    f.area_m2 += (static_cast<double>(t.line_full[c]) + 0.5 * static_cast<double>(t.line_half[c])) * surf_pix;
    t.line_full[c] = t.line_half[c] = 0;
  }
  t.touched.clear();
}
