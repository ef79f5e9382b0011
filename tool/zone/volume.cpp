#include "zone.h"

void mark_perimeter(const unsigned char* const* tab_mask, int nb_lig, int nb_col, int code,
                    unsigned char* const* tab_perim) {
  for (int i = 0; i < nb_lig; ++i) {
    for (int j = 0; j < nb_col; ++j) tab_perim[i][j] = 255;
  }
  for (int i = 1; i < nb_lig - 1; ++i) {
    for (int j = 1; j < nb_col - 1; ++j) {
      if (!in_zone(tab_mask[i][j], code)) continue;
      const int ico = !in_zone(tab_mask[i - 1][j], code) + !in_zone(tab_mask[i][j + 1], code) +
                      !in_zone(tab_mask[i + 1][j], code) + !in_zone(tab_mask[i][j - 1], code);
      if (ico > 0) tab_perim[i][j] = 1;
    }
  }
}

double zone_volume(const double* const* dtab_out, const unsigned char* const* tab_mask,
                   const unsigned char* const* tab_perim, int nb_lig, int nb_col, int code, double surf_pix) {
  double vol_tot = 0.0;
  for (int i = 1; i < nb_lig - 1; ++i) {
    for (int j = 1; j < nb_col - 1; ++j) {
      if (!in_zone(tab_mask[i][j], code)) continue;
      double vol_pix = dtab_out[i][j] * surf_pix;
      if (tab_perim[i][j] == 1) vol_pix = vol_pix * 0.5;
      vol_tot = vol_tot + vol_pix;
    }
  }
  return vol_tot;
}
