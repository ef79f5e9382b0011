// Loading the DEM and the mask of the rasters GDAL reads: their geometry,
// units, coordinate system and no-data value from the file; a mask's codes
// in one pass. The cells stay in the files; the passes read them again.
#include <algorithm>
#include <cmath>
#include <unordered_set>

#include "fatal.h"
#include "files/library_raster.h"
#include "files/input_file.h"
#include "number_text.h"
#include "raster/bands.h"
#include "text.h"
#include "work.h"

namespace {

// The largest area a DEM can cover: beyond it (two hundred thousand times
// the Earth's surface) its geotransform cannot be in metres.
constexpr double kLargestArea = 1e20;

// A raster's stamp, when it is a file of its own.
void stamp_file(const std::string& path, FileStamp& stamp) {
  InputFile file = open_required(path);
  stamp = file_stamp(file.get());
}

std::string transform_text(const GdalRaster& r) {
  return text("origin (%s, %s), cells of %s x %s", shortest_text(r.transform[0]).c_str(),
              shortest_text(r.transform[3]).c_str(), shortest_text(r.transform[1]).c_str(),
              shortest_text(r.transform[5]).c_str());
}

// Refuses what the passes cannot read line by line as a north-up grid.
void check_orientation(const GdalRaster& r, const std::string& path) {
  if (!r.georeferenced) return;
  if (r.transform[2] != 0.0 || r.transform[4] != 0.0) {
    fatal_stop(text("\n\n\tThe raster %s has a rotated geotransform, which is not read: warp it to a north-up grid "
                    "first (gdalwarp %s north_up.tif)\n",
                    path.c_str(), path.c_str()));
  }
  if (!std::isfinite(r.transform[0]) || !std::isfinite(r.transform[3]) || !std::isfinite(r.transform[1]) ||
      !std::isfinite(r.transform[5])) {
    fatal_stop(text("\n\n\tThe raster %s has a geotransform that is not finite (%s)\n", path.c_str(),
                    transform_text(r).c_str()));
  }
  if (r.transform[1] <= 0.0 || r.transform[5] >= 0.0) {
    fatal_stop(text("\n\n\tThe raster %s is not north-up (its cell size is %s x %s): warp it first "
                    "(gdalwarp %s north_up.tif)\n",
                    path.c_str(), shortest_text(r.transform[1]).c_str(), shortest_text(r.transform[5]).c_str(),
                    path.c_str()));
  }
}

// Refuses a geotransform that no place on Earth has: latitudes beyond the
// poles, more than a turn of longitude, cells whose areas are not finite.
void check_extent(const DemInput& dem, const std::string& path) {
  const GdalRaster& r = *dem.gdal;
  const RasterGeometry& g = dem.geometry;
  if (dem.areas.ellipsoidal) {
    const double north = r.transform[3], south = r.transform[3] + g.nb_lig * r.transform[5];
    const double span = g.nb_col * r.transform[1];
    if (north > 90.0 + 1e-9 || south < -90.0 - 1e-9 || span > 360.0 + 1e-9) {
      fatal_stop(text("\n\n\tThe DEM %s is in degrees (%s), but its geotransform (%s) places it from latitude %s to "
                      "%s over %s degrees of longitude, which no place has: its coordinates are not degrees of that "
                      "system (assign the right one with gdal_edit.py -a_srs)\n",
                      path.c_str(), r.crs_name.c_str(), transform_text(r).c_str(), shortest_text(north).c_str(),
                      shortest_text(south).c_str(), shortest_text(span).c_str()));
    }
    return;
  }
  const double total = dem.areas.planar_m2 * static_cast<double>(g.cells());
  if (!std::isfinite(total) || total > kLargestArea) {
    fatal_stop(text("\n\n\tThe DEM %s has cells of %s x %s m (geotransform: %s): %s of %s m2, which no place has\n",
                    path.c_str(), shortest_text(g.dpix_size).c_str(),
                    shortest_text(-r.transform[5] * r.horizontal_m).c_str(), transform_text(r).c_str(),
                    std::isfinite(dem.areas.planar_m2) ? "an area" : "cells", shortest_text(total).c_str()));
  }
}

// The unit of the DEM's altitudes: the one chosen, else the band's, else
// metres where nothing says otherwise. A band's unit the tool does not
// know, or none where the coordinate system is in feet, leaves it open.
void choose_vertical_unit(RunState& st) {
  const GdalRaster& r = *st.dem.gdal;
  DemInput& dem = st.dem;
  const std::string& path = st.job.dem.path;
  dem.vertical_unit = kMetre;
  dem.vertical_unit_assumed = false;
  if (st.job.dem.unit) {
    dem.vertical_unit = *st.job.dem.unit;
    return;
  }
  if (!r.vertical_unit.empty()) {
    const std::optional<int> unit = unit_of_name(r.vertical_unit);
    if (!unit) {
      throw MissingChoice{text("the DEM %s gives its altitudes in \"%s\", a unit mesacrop does not know: give the "
                               "unit with --dem-unit %s",
                               path.c_str(), shown(r.vertical_unit).c_str(), unit_names().c_str())};
    }
    dem.vertical_unit = *unit;
    return;
  }
  if (!r.geographic && !r.wkt.empty() && r.horizontal_m != 1.0) {
    const std::optional<int> likely = unit_of_name(r.horizontal_unit);
    throw MissingChoice{text("the DEM %s gives no unit for its altitudes, and its coordinate system (%s) is in %s: "
                             "give the altitudes' unit with --dem-unit %s%s",
                             path.c_str(), r.crs_name.c_str(), r.horizontal_unit.c_str(), unit_names().c_str(),
                             likely ? (std::string(" (") + unit_name(*likely) + " is likely)").c_str() : "")};
  }
  dem.vertical_unit_assumed = true;  // none: metres, as the report says
}

// The altitude in metres that marks the DEM's cells without data: its
// no-data value as an altitude, or, when only a mask band tells them, a
// value no cell holds (nan: cells that are no number stop the run).
void choose_nodata_marker(RunState& st) {
  const GdalRaster& r = *st.dem.gdal;
  RasterGeometry& g = st.dem.geometry;
  if (r.nodata) {
    const double stored = *r.nodata;
    const double value = r.scale == 1.0 && r.offset == 0.0 ? stored : stored * r.scale + r.offset;
    g.has_nodata = true;
    g.nodata = std::isnan(stored) ? stored : to_metres(value, st.dem.vertical_unit);
  } else if (r.mask_band) {
    g.has_nodata = true;
    g.nodata = std::nan("");
  }
}

void warn_of_bands(const GdalRaster& r, const std::string& path, const char* role, const char* flag,
                   bool chosen, std::ostream& notes) {
  if (r.band_count > 1 && !chosen) {
    note(notes, "\n\tWarning: the %s %s has %d bands: band 1 is read (%s N reads another)\n", role, path.c_str(),
         r.band_count, flag);
  }
}

// A mask's cell value as a code: a whole number of the codes' range.
void refuse_mask_value(const std::string& path, double v, int line, int column) {
  fatal_stop(text("\n\n\tThe mask %s holds %s at line %d, column %d: a mask holds whole numbers from -2147483648 to "
                  "4294967295 (its codes)\n",
                  path.c_str(), shortest_text(v).c_str(), line, column));
}

}  // namespace

bool open_gdal_dem(RunState& st) {
  const std::string& path = st.job.dem.path;
  stamp_file(path, st.dem.stamp);
  const GdalReader reader(path, st.job.dem.band.value_or(1), "DEM");
  st.dem.gdal = reader.raster();
  const GdalRaster& r = *st.dem.gdal;
  check_orientation(r, path);
  RasterGeometry& g = st.dem.geometry;
  g.nb_lig = r.lines;
  g.nb_col = r.columns;
  g.block_lines = r.block_lines;
  check_dimensions(g.nb_lig, g.nb_col, "The raster " + path);
  return r.georeferenced;
}

void gdal_dem_loaded(RunState& st, std::ostream& notes) {
  const GdalRaster& r = *st.dem.gdal;
  RasterGeometry& g = st.dem.geometry;
  DemInput& dem = st.dem;
  if (r.georeferenced) {
    const double dx = r.transform[1], dy = -r.transform[5];
    g.placed = true;
    g.X_min = r.transform[0];
    g.Y_min = r.transform[3] - g.nb_lig * dy;
    dem.square_cells = dx == dy;
    g.map_cell_size = dx;
    if (r.geographic) {
      CellAreas& a = dem.areas;
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
      dem.areas.planar_m2 = g.dpix_size * (dy * r.horizontal_m);
      if (r.horizontal_m == 1.0) g.map_cell_size = 0.0;
    }
    check_extent(dem, st.job.dem.path);
  } else {
    g.dpix_size = st.job.dem.pixel_size.value_or(0.0);
    dem.areas.planar_m2 = g.dpix_size * g.dpix_size;
  }
  choose_vertical_unit(st);
  choose_nodata_marker(st);
  g.has_prj = !r.wkt.empty();
  g.prj = r.wkt;
  warn_of_bands(r, st.job.dem.path, "DEM", "--band", st.job.dem.band.has_value(), notes);
  if (r.georeferenced && r.wkt.empty()) warn_if_degrees(st, notes);
}

void load_gdal_mask(RunState& st, std::ostream& notes) {
  const std::string& path = st.job.mask.path;
  stamp_file(path, st.mask.stamp);
  GdalReader reader(path, st.job.mask.band.value_or(1), "mask");
  const GdalRaster& r = reader.raster();
  st.mask.lines = r.lines;
  st.mask.columns = r.columns;
  const RasterGeometry& g = st.dem.geometry;
  if (r.lines != g.nb_lig || r.columns != g.nb_col) {
    fatal_stop(text("\n\n\tThe mask size is not the size of the DEM \n\t(the DEM %s has %d lines x %d columns, the "
                    "mask %s %d lines x %d columns)\n",
                    st.job.dem.path.c_str(), g.nb_lig, g.nb_col, path.c_str(), r.lines, r.columns));
  }
  // The DEM's grid: its geotransform, or its corner and cell size.
  double dem_transform[6] = {g.X_min, g.map_cell(), 0, g.Y_min + g.nb_lig * g.map_cell(), 0, -g.map_cell()};
  const std::optional<GdalRaster>& dem = st.dem.gdal;
  if (dem) std::copy(dem->transform, dem->transform + 6, dem_transform);
  const std::string dem_wkt = dem ? dem->wkt : g.has_prj ? g.prj : "";
  if (g.placed && r.georeferenced) {
    for (int k = 0; k < 6; ++k) {
      const double scale = std::max({std::fabs(dem_transform[k]), std::fabs(r.transform[k]), 1e-300});
      if (std::fabs(dem_transform[k] - r.transform[k]) > 1e-9 * scale) {
        fatal_stop(text("\n\n\tThe mask %s does not lie on the grid of the DEM %s: the DEM's cells start at (%s, %s) "
                        "and measure %s x %s, the mask's start at (%s, %s) and measure %s x %s\n",
                        path.c_str(), st.job.dem.path.c_str(), shortest_text(dem_transform[0]).c_str(),
                        shortest_text(dem_transform[3]).c_str(), shortest_text(dem_transform[1]).c_str(),
                        shortest_text(dem_transform[5]).c_str(), shortest_text(r.transform[0]).c_str(),
                        shortest_text(r.transform[3]).c_str(), shortest_text(r.transform[1]).c_str(),
                        shortest_text(r.transform[5]).c_str()));
      }
    }
  }
  if (!dem_wkt.empty() && !r.wkt.empty() && !same_coordinate_system(dem_wkt, r.wkt)) {
    fatal_stop(text("\n\n\tThe mask %s is in the coordinate system %s, the DEM %s in another: they must be the "
                    "same\n",
                    path.c_str(), r.crs_name.c_str(), st.job.dem.path.c_str()));
  }
  warn_of_bands(r, path, "mask", "--mask-band", st.job.mask.band.has_value(), notes);
  st.mask.gdal = r;
}

bool gdal_mask_code(const GdalRaster& r, const std::string& path, double v, unsigned char valid, int line, int column,
                    long long& code) {
  if (valid == 0 || (r.nodata && (v == *r.nodata || (v != v && *r.nodata != *r.nodata)))) return false;
  if (!(v >= -2147483648.0 && v <= 4294967295.0) || v != std::trunc(v)) refuse_mask_value(path, v, line, column);
  code = static_cast<long long>(v);
  return true;
}

std::vector<long long> gdal_mask_codes(const RunState& st) {
  const std::string& path = st.job.mask.path;
  GdalReader reader(path, st.job.mask.band.value_or(1), "mask");
  const GdalRaster& r = reader.raster();
  const RasterGeometry& g = st.dem.geometry;
  // The codes the mask holds, its no-data cells aside, a band at a time.
  const int lines = std::max(1, static_cast<int>(kBandCells / g.nb_col));
  const int width = static_cast<int>(std::min<long long>(g.nb_col, kBandCells));
  const std::size_t cells = static_cast<std::size_t>(lines) * static_cast<std::size_t>(width);
  std::vector<double> values(cells);
  std::vector<unsigned char> valid(cells, 1);
  std::vector<double*> rows(static_cast<std::size_t>(lines));
  std::vector<unsigned char*> valid_rows(static_cast<std::size_t>(lines));
  for (int k = 0; k < lines; ++k) {
    rows[static_cast<std::size_t>(k)] = values.data() + static_cast<std::size_t>(k) * width;
    valid_rows[static_cast<std::size_t>(k)] = valid.data() + static_cast<std::size_t>(k) * width;
  }
  std::unordered_set<long long> codes;
  for (int first = 0; first < g.nb_lig; first += lines) {
    const int count = std::min(lines, g.nb_lig - first);
    for (int column = 0; column < g.nb_col; column += width) {
      const int n = std::min(width, g.nb_col - column);
      reader.read(first, count, column, n, rows.data(), r.mask_band ? valid_rows.data() : nullptr);
      for (int k = 0; k < count; ++k) {
        for (int j = 0; j < n; ++j) {
          const double v = rows[static_cast<std::size_t>(k)][j];
          long long code = 0;
          if (gdal_mask_code(r, path, v, valid_rows[static_cast<std::size_t>(k)][j], first + k, column + j, code)) {
            codes.insert(code);
          }
        }
      }
    }
  }
  std::vector<long long> sorted(codes.begin(), codes.end());
  std::sort(sorted.begin(), sorted.end());
  return sorted;
}
