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

void add_line_figures(ZoneFigures& figures, const double* altitude, const unsigned char* mask, int nb_col,
                      int code) {
  constexpr double kInfinity = std::numeric_limits<double>::infinity();
  long long zone = 0;
  double lowest = figures.lowest, highest = figures.highest;
  bool has_nan = false;
  for (int j = 0; j < nb_col; ++j) {
    const bool in = in_zone(mask[j], code);
    const double a = altitude[j];
    zone += in;
    has_nan |= in & (a != a);
    lowest = std::min(lowest, in ? a : kInfinity);
    highest = std::max(highest, in ? a : -kInfinity);
  }
  figures.lowest = lowest;
  figures.highest = highest;
  figures.has_nan = figures.has_nan || has_nan;
  figures.zone_cells += zone;
  figures.other_cells += nb_col - zone;
}
