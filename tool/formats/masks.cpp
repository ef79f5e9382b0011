#include "masks.h"

#include "fatal.h"
#include "text.h"

void check_mask_size(int lines, int columns, const std::string& path, const DemFacts& dem, const std::string& dem_path) {
  const RasterGeometry& g = dem.geometry;
  if (lines != g.nb_lig || columns != g.nb_col) {
    fatal_stop(text("\n\n\tThe mask size is not the size of the DEM "
                    "\n\t(the DEM %s has %d lines x %d columns, the mask %s %d lines x %d columns)\n",
                    dem_path.c_str(), g.nb_lig, g.nb_col, path.c_str(), lines, columns));
  }
}

std::string codes_text(const std::array<bool, 256>& codes) {
  std::string out;
  for (int code = 0; code < 256;) {
    if (!codes[static_cast<std::size_t>(code)]) {
      ++code;
      continue;
    }
    int last = code;
    while (last + 1 < 256 && codes[static_cast<std::size_t>(last + 1)]) ++last;
    out += (out.empty() ? "" : ", ") + std::to_string(code);
    if (last > code) out += (last == code + 1 ? ", " : " to ") + std::to_string(last);
    code = last + 1;
  }
  return out;
}
