// DEMs of every raster GDAL reads (GeoTIFF, VRT, ERDAS .img...): one band,
// its geometry, units, scale and no-data value from the file, its cells read
// through the GDAL module as altitudes in metres. GDAL opens the file, once.
#include <algorithm>
#include <cmath>

#include "fatal.h"
#include "files/input_file.h"
#include "formats/coordinates.h"
#include "formats/gdal_checks.h"
#include "formats/registry.h"
#include "number_text.h"
#include "text.h"

namespace {

// The largest area a DEM can cover: beyond it (two hundred thousand times
// the Earth's surface) its geotransform cannot be in metres.
constexpr double kLargestArea = 1e20;

std::string transform_text(const GdalRaster& r) {
  return text("origin (%s, %s), cells of %s x %s", shortest_text(r.transform[0]).c_str(),
              shortest_text(r.transform[3]).c_str(), shortest_text(r.transform[1]).c_str(),
              shortest_text(r.transform[5]).c_str());
}

class GdalDem final : public DemSource {
 public:
  explicit GdalDem(const DemChoice& choice) : path_(choice.path), input_(choice.path, choice.band.value_or(1), "DEM") {
    facts_.gdal = input_.reader->raster();
    const GdalRaster& r = *facts_.gdal;
    check_orientation(r, path_);
    RasterGeometry& g = facts_.geometry;
    g.nb_lig = r.lines;
    g.nb_col = r.columns;
    g.block_lines = r.block_lines;
    check_dimensions(g.nb_lig, g.nb_col, "The raster " + path_);
    facts_.size_origin = "the geotransform of " + path_;
  }

  unsigned needs() const override { return facts_.gdal->georeferenced ? 0u : kNeedsPixelSize; }

  std::string missing_choice(DemNeed) const override {
    return text("the raster %s has no georeferencing: give its pixel size with --pixel-size S", path_.c_str());
  }

  void load(const DemChoice& choice, std::ostream& notes, const PassProgress&) override {
    const GdalRaster& r = *facts_.gdal;
    RasterGeometry& g = facts_.geometry;
    if (r.georeferenced) {
      const double dx = r.transform[1], dy = -r.transform[5];
      g.placed = true;
      g.X_min = r.transform[0];
      g.Y_min = r.transform[3] - g.nb_lig * dy;
      facts_.square_cells = dx == dy;
      g.map_cell_size = dx;
      if (r.geographic) {
        CellAreas& a = facts_.areas;
        a.ellipsoidal = true;
        a.north_deg = r.transform[3];
        a.line_deg = dy;
        a.column_deg = dx;
        a.semi_major_m = r.semi_major_m;
        const double f = r.inverse_flattening > 0.0 ? 1.0 / r.inverse_flattening : 0.0;
        a.eccentricity2 = f * (2.0 - f);
        g.dpix_size = dx;  // degrees: no pixel size in metres
      } else {
        g.dpix_size = dx * r.horizontal_m;
        facts_.areas.planar_m2 = g.dpix_size * (dy * r.horizontal_m);
        if (r.horizontal_m == 1.0) g.map_cell_size = 0.0;
      }
      check_extent();
    } else {
      g.dpix_size = choice.pixel_size.value_or(0.0);
      facts_.areas.planar_m2 = g.dpix_size * g.dpix_size;
    }
    choose_vertical_unit(choice);
    choose_nodata_marker();
    g.has_prj = !r.wkt.empty();
    g.prj = r.wkt;
    warn_of_bands(r, path_, "DEM", "--band", choice.band.has_value(), notes);
    if (r.georeferenced && r.wkt.empty()) warn_if_degrees(g, path_, true, notes);
  }

  void begin_pass(const BandShape& shape) override {
    input_.check_unchanged();
    cells_.resize(static_cast<std::size_t>(shape.cells()));
    rows_.clear();
    for (int k = 0; k < shape.lines; ++k) rows_.push_back(cells_.data() + static_cast<std::size_t>(k) * shape.width);
  }

  void read(Band& band, BandCells) override {
    band.altitude = rows_.data();
    input_.reader->read_altitudes(band.first, band.count, band.column, band.width, rows_.data(), facts_.vertical_unit,
                            facts_.geometry.nodata);
  }

  void end_pass() override { input_.check_unchanged(); }

 private:
  // Refuses a geotransform that no place on Earth has: latitudes beyond
  // the poles, more than a turn of longitude, cells whose areas are not
  // finite.
  void check_extent() const {
    const GdalRaster& r = *facts_.gdal;
    const RasterGeometry& g = facts_.geometry;
    if (facts_.areas.ellipsoidal) {
      const double north = r.transform[3], south = r.transform[3] + g.nb_lig * r.transform[5];
      const double span = g.nb_col * r.transform[1];
      if (north > 90.0 + 1e-9 || south < -90.0 - 1e-9 || span > 360.0 + 1e-9) {
        fatal_stop(text("\n\n\tThe DEM %s is in degrees (%s), but its geotransform (%s) places it from latitude %s "
                        "to %s over %s degrees of longitude, which no place has: its coordinates are not degrees of "
                        "that system (assign the right one with gdal_edit.py -a_srs)\n",
                        path_.c_str(), r.crs_name.c_str(), transform_text(r).c_str(), shortest_text(north).c_str(),
                        shortest_text(south).c_str(), shortest_text(span).c_str()));
      }
      return;
    }
    const double total = facts_.areas.planar_m2 * static_cast<double>(g.cells());
    if (!std::isfinite(total) || total > kLargestArea) {
      fatal_stop(text("\n\n\tThe DEM %s has cells of %s x %s m (geotransform: %s): %s of %s m2, which no place has\n",
                      path_.c_str(), shortest_text(g.dpix_size).c_str(),
                      shortest_text(-r.transform[5] * r.horizontal_m).c_str(), transform_text(r).c_str(),
                      std::isfinite(facts_.areas.planar_m2) ? "an area" : "cells", shortest_text(total).c_str()));
    }
  }

  // The unit of the altitudes: the one chosen, else the band's, else metres
  // where nothing says otherwise. A band's unit the tool does not know, or
  // none where the coordinate system is in feet, leaves it open.
  void choose_vertical_unit(const DemChoice& choice) {
    const GdalRaster& r = *facts_.gdal;
    facts_.vertical_unit = kMetre;
    facts_.vertical_unit_assumed = false;
    if (choice.unit) {
      facts_.vertical_unit = *choice.unit;
      return;
    }
    if (!r.vertical_unit.empty()) {
      const std::optional<int> unit = unit_of_name(r.vertical_unit);
      if (!unit) {
        throw MissingChoice{text("the DEM %s gives its altitudes in \"%s\", a unit mesacrop does not know: give the "
                                 "unit with --dem-unit %s",
                                 path_.c_str(), shown(r.vertical_unit).c_str(), unit_names().c_str())};
      }
      facts_.vertical_unit = *unit;
      return;
    }
    if (!r.geographic && !r.wkt.empty() && r.horizontal_m != 1.0) {
      const std::optional<int> likely = unit_of_name(r.horizontal_unit);
      throw MissingChoice{text("the DEM %s gives no unit for its altitudes, and its coordinate system (%s) is in %s: "
                               "give the altitudes' unit with --dem-unit %s%s",
                               path_.c_str(), r.crs_name.c_str(), r.horizontal_unit.c_str(), unit_names().c_str(),
                               likely ? (std::string(" (") + unit_name(*likely) + " is likely)").c_str() : "")};
    }
    facts_.vertical_unit_assumed = true;  // none: metres, as the report says
  }

  // The altitude that marks the cells without data: the no-data value as an
  // altitude, or, when only a mask band tells them, a value no cell holds
  // (nan: cells that are no number stop the run).
  void choose_nodata_marker() {
    const GdalRaster& r = *facts_.gdal;
    RasterGeometry& g = facts_.geometry;
    if (r.nodata) {
      const double stored = *r.nodata;
      const double value = r.scale == 1.0 && r.offset == 0.0 ? stored : stored * r.scale + r.offset;
      g.has_nodata = true;
      g.nodata = std::isnan(stored) ? stored : to_metres(value, facts_.vertical_unit);
    } else if (r.mask_band) {
      g.has_nodata = true;
      g.nodata = std::nan("");
    }
  }

  std::string path_;
  GdalInput input_;
  std::vector<double> cells_;
  std::vector<double*> rows_;
};

}  // namespace

std::unique_ptr<DemSource> open_gdal_dem(const DemChoice& choice) { return std::make_unique<GdalDem>(choice); }
