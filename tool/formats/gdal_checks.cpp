#include "formats/gdal_checks.h"

#include <cmath>

#include "fatal.h"
#include "files/input_file.h"
#include "number_text.h"
#include "text.h"

GdalInput::GdalInput(const std::string& path, int band, const char* role) : path(path) {
  require_input(path);
  stamp = path_stamp(path);
  reader = std::make_unique<GdalReader>(path, band, role);
}

void GdalInput::check_unchanged() const { check_unchanged_path(path, stamp); }

void check_orientation(const GdalRaster& r, const std::string& path) {
  if (!r.georeferenced) return;
  if (r.transform[2] != 0.0 || r.transform[4] != 0.0) {
    fatal_stop(text("\n\n\tThe raster %s has a rotated geotransform, which is not read: warp it to a north-up grid "
                    "first (gdalwarp %s north_up.tif)\n",
                    path.c_str(), path.c_str()));
  }
  if (!std::isfinite(r.transform[0]) || !std::isfinite(r.transform[3]) || !std::isfinite(r.transform[1]) ||
      !std::isfinite(r.transform[5])) {
    fatal_stop(text("\n\n\tThe raster %s has a geotransform that is not finite (origin (%s, %s), cells of %s x %s)\n",
                    path.c_str(), shortest_text(r.transform[0]).c_str(), shortest_text(r.transform[3]).c_str(),
                    shortest_text(r.transform[1]).c_str(), shortest_text(r.transform[5]).c_str()));
  }
  if (r.transform[1] <= 0.0 || r.transform[5] >= 0.0) {
    fatal_stop(text("\n\n\tThe raster %s is not north-up (its cell size is %s x %s): warp it first "
                    "(gdalwarp %s north_up.tif)\n",
                    path.c_str(), shortest_text(r.transform[1]).c_str(), shortest_text(r.transform[5]).c_str(),
                    path.c_str()));
  }
}

void warn_of_bands(const GdalRaster& r, const std::string& path, const char* role, const char* flag, bool chosen,
                   std::ostream& notes) {
  if (r.band_count > 1 && !chosen) {
    notes << text("\n\tWarning: the %s %s has %d bands: band 1 is read (%s N reads another)\n", role, path.c_str(),
                  r.band_count, flag);
  }
}
