#include "zone.h"

void extract_zone(const double* const* dtab_in, const unsigned char* const* tab_mask, int nb_lig, int nb_col,
                  int code, double val_alti, double* const* dtab_out) {
  for (int i = 0; i < nb_lig; ++i) {
    const double* in = dtab_in[i];
    const unsigned char* mask = tab_mask[i];
    double* out = dtab_out[i];
    for (int j = 0; j < nb_col; ++j) out[j] = in_zone(mask[j], code) ? in[j] : val_alti;
  }
}
