// The percentiles of each zone's altitudes: the first bins counted in the
// measure's own pass (the cell rule), then as many passes as the search
// needs, each counting only the keys in the bins that hold a wanted rank.
#include <cstring>

#include "fatal.h"
#include "raster/bands.h"
#include "text.h"
#include "work.h"
#include "zone/zone_table.h"

namespace {

// One band's keys, each to its zone's search (`cells` as the pass reads
// the mask).
void count_band(Run& run, const Band& band, MaskCells cells, KeySelection& search) {
  const RasterGeometry& g = run.geometry();
  const AltitudeKeys& keys = run.keys;
  auto add = [&](std::size_t zone, double a) {
    if (!g.no_data(a)) search.count(zone, keys.key(a));
  };
  if (run.mask->facts().polygons) {
    for (int k = 0; k < band.count; ++k) {
      run.mask->cover(band.first + k, band.column, band.width,
                      [&](std::size_t index, int column, int width, const double* shares, double) {
                        const std::size_t zone = cells == MaskCells::zone ? 0 : index;
                        if (!search.wanted(zone)) return;
                        const double* a = band.altitude[k] + (column - band.column);
                        for (int j = 0; j < width; ++j) {
                          if (shares[j] > 0.0) add(zone, a[j]);
                        }
                      });
    }
    return;
  }
  const int code = run.mask->zone_value(run.job.zone.code);
  for (int k = 0; k < band.count; ++k) {
    const unsigned char* mask = band.mask[k];
    for (int j = 0; j < band.width; ++j) {
      std::size_t zone = 0;
      if (cells == MaskCells::zone) {
        if (mask[j] != code) continue;
      } else if (band.mask_cell_bytes == 4) {
        std::uint32_t index;
        std::memcpy(&index, mask + 4 * j, 4);
        if (index == kNoZone) continue;
        zone = index;
      } else {
        zone = mask[j];
      }
      if (search.wanted(zone)) add(zone, band.altitude[k][j]);
    }
  }
}

}  // namespace

AltitudeKeys altitude_keys(const DemFacts& dem) {
  if (dem.stored_cells) {
    return {AltitudeKeys::Kind::stored, dem.stored_cells->bits, dem.stored_per_metre, dem.stored_cells->lowest};
  }
  if (dem.gdal && dem.vertical_unit == kMetre && dem.gdal->scale == 1.0 && dem.gdal->offset == 0.0) {
    // Float32 values, and whole numbers of 16 bits, are Float32 values in
    // metres.
    for (const char* type : {"Float32", "Byte", "Int8", "Int16", "UInt16"}) {
      if (dem.gdal->data_type == type) return {AltitudeKeys::Kind::float32, 32};
    }
  }
  return {AltitudeKeys::Kind::float64, 64};
}

void begin_percentiles(Run& run) {
  run.selection.reset();
  if (run.job.percentiles.empty()) return;
  const RasterGeometry& g = run.geometry();
  if (static_cast<double>(g.nb_lig) * g.nb_col >= 4294967296.0) {
    fatal_stop(text("\n\n\tThe DEM %s has %d x %d cells: percentiles are counted for DEMs of fewer than 4294967296 "
                    "cells\n",
                    run.job.dem.path.c_str(), g.nb_lig, g.nb_col));
  }
  run.keys = altitude_keys(run.dem_facts());
  std::vector<Percentile> percentiles;
  for (const std::string& p : run.job.percentiles) percentiles.push_back(*percentile_of(p));
  run.selection = std::make_unique<KeySelection>(run.keys.bits, std::move(percentiles));
}

void end_percentiles(Run& run, MaskCells cells, const std::function<ZoneFigures*(std::size_t)>& zone,
                     const PassProgress& progress) {
  if (!run.selection) return;
  KeySelection& search = *run.selection;
  const RasterGeometry& g = run.geometry();
  search.end_pass();
  while (!search.done()) {
    for_each_band(
        *run.dem, nullptr, *run.mask,
        [&](const Band& band) {
          if (band.column == 0) progress("finding the percentiles", band.first, g.nb_lig);
          count_band(run, band, cells, search);
        },
        BandCells::metres, cells, run.job.zone.code);
    progress("finding the percentiles", g.nb_lig, g.nb_lig);
    search.end_pass();
  }
  for (std::size_t z = 0; z < search.zones(); ++z) {
    ZoneFigures* f = zone(z);
    if (f == nullptr) continue;
    f->percentiles.clear();
    for (const std::optional<std::uint64_t>& key : search.keys(z)) {
      f->percentiles.push_back(key ? run.keys.altitude(*key) : std::numeric_limits<double>::quiet_NaN());
    }
  }
  run.selection.reset();
}
