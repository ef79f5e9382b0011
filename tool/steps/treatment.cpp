// The treatment: one pass over the DEM and the mask gives the zone's figures
// (and its volume when it was asked for); then the result is saved.
#include "raster/bands.h"
#include "steps.h"

void treatment(RunState& st, Console& con) {
  const RasterGeometry& g = st.dem.geometry;
  const double surf_pix = g.dpix_size * g.dpix_size;
  const bool volume = st.voltreat == 0;
  ZoneFigures figures;
  for_each_band(st, [&](const Band& band) {
    for (int k = 0; k < band.count; ++k) {
      const int line = band.first + k;
      add_line_figures(figures, band.altitude[k], band.mask[k], g.nb_col, st.code);
      if (volume && line >= 1 && line <= g.nb_lig - 2) {
        figures.vol_tot = add_line_volume(figures.vol_tot, band.altitude[k], band.mask[k - 1], band.mask[k],
                                          band.mask[k + 1], g.nb_col, st.code, surf_pix);
      }
    }
  });
  st.zone = figures;
  saving(st, con);
}
