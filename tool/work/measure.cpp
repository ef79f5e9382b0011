// The zone's figures: one pass over the DEM and the mask gives its cells,
// altitudes and, when it was asked for, its volume.
#include <algorithm>

#include "number_text.h"
#include "zone/cell_rule.h"
#include "raster/bands.h"
#include "text.h"
#include "work.h"

void cover_band(const Run& run, const Band& band, bool all_cells, const std::function<ZoneFigures*(std::size_t)>& zone) {
  const CellAreas& areas = run.dem_facts().areas;
  LineRule rule;
  rule.geometry = &run.geometry();
  rule.sums = zone_sums(run);
  rule.all_cells = all_cells;
  rule.min_share = run.mask->facts().polygons->min_share;
  for (int k = 0; k < band.count; ++k) {
    const int line = band.first + k;
    rule.surf_pix = areas.of_line(line);
    run.mask->cover(line, band.column, band.width, [&](std::size_t index, int column, int width, const double* shares,
                                                       double off_cells) {
      ZoneFigures* f = zone(index);
      if (f == nullptr) return;
      f->area_outside_m2 += off_cells * rule.surf_pix;
      rule.zone = all_cells ? 0 : index;  // one zone: the first search
      const int at = column - band.column;
      add_covered_run(*f, rule, band.altitude[k] + at, shares, width,
                      band.reference != nullptr ? band.reference[k] + at : nullptr);
    });
  }
}

void measure_band(const Run& run, const Band& band, ZoneFigures& figures) {
  if (run.mask->facts().polygons) {
    cover_band(run, band, true, [&](std::size_t) { return &figures; });
    return;
  }
  const RasterGeometry& g = run.geometry();
  const CellAreas& areas = run.dem_facts().areas;
  const int code = run.mask->zone_value(run.job.zone.code);
  const ZoneSums sums = zone_sums(run);
  for (int k = 0; k < band.count; ++k) {
    const int line = band.first + k;
    const bool inner = line >= 1 && line <= g.nb_lig - 2;
    const double surf_pix = areas.of_line(line);
    const long long full = figures.full_cells, half = figures.half_cells;
    add_zone_line(figures, band.altitude[k], inner ? band.mask[k - 1] : nullptr, band.mask[k],
                  inner ? band.mask[k + 1] : nullptr, band.column, band.width, g.nb_col, code, g, surf_pix, sums,
                  band.reference != nullptr ? band.reference[k] : nullptr);
    if (areas.ellipsoidal) {
      // The zone's area, line by line, as the volume weighs its cells.
      figures.area_m2 += (static_cast<double>(figures.full_cells - full) +
                          0.5 * static_cast<double>(figures.half_cells - half)) * surf_pix;
    }
  }
}

void measure_zone(Run& run, std::ostream& notes, const PassProgress& progress) {
  const RasterGeometry& g = run.geometry();
  begin_percentiles(run);
  ZoneFigures figures;
  for_each_band(
      *run.dem, run.reference.get(), *run.mask,
      [&](const Band& band) {
        if (band.column == 0) progress("measuring the zone", band.first, g.nb_lig);
        measure_band(run, band, figures);
      },
      BandCells::metres, MaskCells::zone, run.job.zone.code);
  progress("measuring the zone", g.nb_lig, g.nb_lig);
  end_percentiles(run, MaskCells::zone, [&](std::size_t) { return &figures; }, progress);
  zone_measured(run, figures, notes);
}

void zone_measured(Run& run, ZoneFigures figures, std::ostream& notes) {
  const CellAreas& areas = run.dem_facts().areas;
  if (const std::optional<PolygonFacts>& polygons = run.mask->facts().polygons) {
    const auto at = std::lower_bound(polygons->codes.begin(), polygons->codes.end(), run.job.zone.code);
    if (at != polygons->codes.end() && *at == run.job.zone.code) {
      figures.area_outside_m2 += polygons->off_lines_m2[static_cast<std::size_t>(at - polygons->codes.begin())];
    }
  } else if (!areas.ellipsoidal) {
    figures.area_m2 = (static_cast<double>(figures.full_cells) + 0.5 * static_cast<double>(figures.half_cells)) *
                      areas.planar_m2;
  }
  run.zone = figures;
  run.zone_measured = true;
  if (run.mask->codes_take_a_pass()) code_warning(run, notes);
  if (run.job.zone.volume() && figures.nodata_cells > 0) note(notes, "\n\n\t%s", no_data_note(run).c_str());
}

std::string no_data_note(const Run& run) {
  const DemFacts& dem = run.dem_facts();
  const long long cells = run.zone.nodata_cells;
  const std::string marker = dem.stored_nodata ? "stored value " + std::to_string(*dem.stored_nodata)
                             : dem.gdal && dem.gdal->mask_band ? std::string("the DEM's mask band")
                                                               : "value " + shortest_text(dem.geometry.nodata);
  return text("%lld cell%s of the zone ha%s no data (%s): left out of the volume", cells, cells == 1 ? "" : "s",
              cells == 1 ? "s" : "ve", marker.c_str());
}

ZoneSums zone_sums(const Run& run) {
  const ZoneChoice& zone = run.job.zone;
  ZoneSums sums{zone.volume(), zone.base_m ? &*zone.base_m : nullptr, zone.edge == EdgeRule::full,
                run.job.curves ? &run.levels : nullptr};
  if (run.selection && run.selection->first_pass()) {
    sums.percentiles = run.selection.get();
    sums.keys = &run.keys;
  }
  if (run.reference) {
    sums.reference = &run.reference->facts().geometry;
    sums.threshold = run.job.reference->threshold_m;
    sums.difference = run.job.reference->difference;
  }
  return sums;
}

FigureChoices figure_choices(const Job& job) {
  return {job.zone.volume(), job.zone.base_m, job.reference.has_value(), job.mask.layout == MaskLayout::polygons,
          job.percentiles};
}
