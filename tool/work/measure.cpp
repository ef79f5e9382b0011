// The zone's figures: one pass over the DEM and the mask gives its cells,
// altitudes and, when it was asked for, its volume.
#include "number_text.h"
#include "raster/bands.h"
#include "text.h"
#include "work.h"

void measure_band(const RunState& st, const Band& band, ZoneFigures& figures) {
  const RasterGeometry& g = st.dem.geometry;
  const CellAreas& areas = st.dem.areas;
  for (int k = 0; k < band.count; ++k) {
    const int line = band.first + k;
    const bool inner = line >= 1 && line <= g.nb_lig - 2;
    const double surf_pix = areas.of_line(line);
    const long long full = figures.full_cells, half = figures.half_cells;
    add_zone_line(figures, band.altitude[k], inner ? band.mask[k - 1] : nullptr, band.mask[k],
                  inner ? band.mask[k + 1] : nullptr, band.column, band.width, g.nb_col, zone_code(st), g,
                  st.job.zone.volume(), surf_pix, st.job.zone.base_m ? &*st.job.zone.base_m : nullptr,
                  st.job.zone.edge == EdgeRule::full);
    if (areas.ellipsoidal) {
      // The zone's area, line by line, as the volume weighs its cells.
      figures.area_m2 += (static_cast<double>(figures.full_cells - full) +
                          0.5 * static_cast<double>(figures.half_cells - half)) * surf_pix;
    }
  }
}

void measure_zone(RunState& st, std::ostream& notes, const PassProgress& progress) {
  const RasterGeometry& g = st.dem.geometry;
  ZoneFigures figures;
  for_each_band(st, [&](const Band& band) {
    if (band.column == 0) progress("measuring the zone", band.first, g.nb_lig);
    measure_band(st, band, figures);
  });
  progress("measuring the zone", g.nb_lig, g.nb_lig);
  zone_measured(st, figures, notes);
}

void zone_measured(RunState& st, ZoneFigures figures, std::ostream& notes) {
  const CellAreas& areas = st.dem.areas;
  const bool volume = st.job.zone.volume();
  if (!areas.ellipsoidal) {
    figures.area_m2 = (static_cast<double>(figures.full_cells) + 0.5 * static_cast<double>(figures.half_cells)) *
                      areas.planar_m2;
  }
  st.zone = figures;
  st.zone_measured = true;
  if (st.job.mask.layout == MaskLayout::gdal) code_warning(st, notes);
  if (volume && figures.nodata_cells > 0) note(notes, "\n\n\t%s", no_data_note(st).c_str());
}

std::string no_data_note(const RunState& st) {
  const long long cells = st.zone.nodata_cells;
  const std::string marker = st.dem.stored_nodata ? "stored value " + std::to_string(*st.dem.stored_nodata)
                             : st.dem.gdal && st.dem.gdal->mask_band ? std::string("the DEM's mask band")
                                                                     : "value " + shortest_text(st.dem.geometry.nodata);
  return text("%lld cell%s of the zone ha%s no data (%s): left out of the volume", cells, cells == 1 ? "" : "s",
              cells == 1 ? "s" : "ve", marker.c_str());
}

FigureChoices figure_choices(const ZoneChoice& zone) { return {zone.volume(), zone.base_m}; }
