#include <algorithm>
#include <cmath>

#include "zone.h"

void extract_line(const double* altitude, const unsigned char* mask, int nb_col, int code, double val_alti,
                  double* out) {
  for (int j = 0; j < nb_col; ++j) {
    const double kept = altitude[j];  // read whatever the mask says, so the loop runs on vectors
    out[j] = in_zone(mask[j], code) ? kept : val_alti;
  }
}

void mark_no_data(double* line, const unsigned char* mask, int nb_col, int code, const RasterGeometry& geometry,
                  double marker) {
  for (int j = 0; j < nb_col; ++j) {
    if (in_zone(mask[j], code) && geometry.no_data(line[j])) line[j] = marker;
  }
}

void difference_line(double* altitude, const double* reference, const unsigned char* mask, int width, int code,
                     const RasterGeometry& dem, const RasterGeometry& surface) {
  for (int j = 0; j < width; ++j) {
    if (in_zone(mask[j], code)) altitude[j] = difference_value(altitude[j], reference[j], dem, surface);
  }
}
