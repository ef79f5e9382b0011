#include "zone.h"

double zone_volume(const double* const* dtab_out, const unsigned char* const* tab_mask, int nb_lig, int nb_col,
                   int code, double surf_pix) {
  double vol_tot = 0.0;
  for (int i = 1; i < nb_lig - 1; ++i) {
    for (int j = 1; j < nb_col - 1; ++j) {
      if (!in_zone(tab_mask[i][j], code)) continue;
      double vol_pix = dtab_out[i][j] * surf_pix;
      if (on_perimeter(tab_mask, i, j, code)) vol_pix = vol_pix * 0.5;
      vol_tot = vol_tot + vol_pix;
    }
  }
  return vol_tot;
}
