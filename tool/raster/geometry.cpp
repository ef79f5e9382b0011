#include "geometry.h"

#include "fatal.h"
#include "text.h"

namespace {

// Above this, the whole part of a pixel size no longer fits a descriptor's
// integer.
constexpr double kPixelSizeLimit = 2147483648.0;

}  // namespace

bool valid_pixel_size(double dpix_size) { return dpix_size >= 0.0 && dpix_size < kPixelSizeLimit; }

const char* pixel_size_rule(double dpix_size) {
  return dpix_size >= kPixelSizeLimit ? "a number of metres below 2147483648" : "a number of metres, 0 or more";
}

void check_pixel_size(double dpix_size, const std::string& source) {
  if (!valid_pixel_size(dpix_size)) {
    fatal_stop(text("\n\n\t%s gives the pixel size %lf: it must be %s\n", source.c_str(), dpix_size,
                    pixel_size_rule(dpix_size)));
  }
}

void check_dimensions(int nb_lig, int nb_col, const std::string& source) {
  if (nb_lig < 1 || nb_col < 1) {
    fatal_stop(text("\n\n\t%s gives %d lines and %d columns: a DEM needs at least one of each\n",
                    source.c_str(), nb_lig, nb_col));
  }
}
