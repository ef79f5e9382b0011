// The treatment: one pass over the DEM and the mask gives the zone's figures
// (and its volume when it was asked for); then the result is saved.
#include "number_text.h"
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
      const bool inner = line >= 1 && line <= g.nb_lig - 2;
      add_zone_line(figures, band.altitude[k], inner ? band.mask[k - 1] : nullptr, band.mask[k],
                    inner ? band.mask[k + 1] : nullptr, band.column, band.width, g.nb_col, st.code, g, volume,
                    surf_pix);
    }
  });
  st.zone = figures;
  if (volume && figures.nodata_cells > 0) say(con, "\n\n\t%s", no_data_note(st).c_str());
  saving(st, con);
}

std::string no_data_note(const RunState& st) {
  const long long cells = st.zone.nodata_cells;
  return text("%lld cell%s of the zone ha%s no data (value %s): left out of the volume", cells,
              cells == 1 ? "" : "s", cells == 1 ? "s" : "ve", shortest_text(st.dem.geometry.nodata).c_str());
}
