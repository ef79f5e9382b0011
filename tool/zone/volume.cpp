#include "zone.h"

double add_line_volume(double vol_tot, const double* altitude, const unsigned char* above, const unsigned char* mask,
                       const unsigned char* below, int nb_col, int code, double surf_pix) {
  for (int j = 1; j < nb_col - 1; ++j) {
    if (!in_zone(mask[j], code)) continue;
    double vol_pix = altitude[j] * surf_pix;
    const bool edge = !in_zone(above[j], code) || !in_zone(mask[j + 1], code) || !in_zone(below[j], code) ||
                      !in_zone(mask[j - 1], code);
    if (edge) vol_pix = vol_pix * 0.5;
    vol_tot = vol_tot + vol_pix;
  }
  return vol_tot;
}
