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

const char* const kUnitNames[] = {"m", "dm", "cm", "mm", "ft", "us-ft"};

// The vertical unit a band's unit type names; false when it names none the
// tool knows.
bool unit_of_band(const std::string& written, int& unit) {
  std::string u;
  for (const char c : written) u += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const char* metre : {"m", "metre", "meter", "metres", "meters"}) {
    if (u == metre) return unit = kMetre, true;
  }
  for (const char* foot : {"ft", "foot", "feet", "international foot"}) {
    if (u == foot) return unit = kFoot, true;
  }
  for (const char* us_foot : {"us survey foot", "us-ft", "ftus", "us_survey_foot", "foot_us"}) {
    if (u == us_foot) return unit = kUsFoot, true;
  }
  return false;
}

// A raster's stamp, when it is a file of its own.
void stamp_file(const std::string& path, FileStamp& stamp) {
  InputFile file = open_required(path);
  stamp = file_stamp(file.get());
}

// Refuses what the passes cannot read line by line as a north-up grid.
void check_orientation(const GdalRaster& r, const std::string& path) {
  if (!r.georeferenced) return;
  if (r.transform[2] != 0.0 || r.transform[4] != 0.0) {
    fatal_stop(text("\n\n\tThe raster %s has a rotated geotransform, which is not read: warp it to a north-up grid "
                    "first (gdalwarp %s north_up.tif)\n",
                    path.c_str(), path.c_str()));
  }
  if (r.transform[1] <= 0.0 || r.transform[5] >= 0.0) {
    fatal_stop(text("\n\n\tThe raster %s is not north-up (its cell size is %s x %s): warp it first "
                    "(gdalwarp %s north_up.tif)\n",
                    path.c_str(), shortest_text(r.transform[1]).c_str(), shortest_text(r.transform[5]).c_str(),
                    path.c_str()));
  }
}

}  // namespace

double to_metres(double value, int unit) {
  if (unit == kFoot) return value * kFootMetres;
  if (unit == kUsFoot) return value * kUsFootMetres;
  return value / kScaleCoef[unit];
}

const char* unit_name(int unit) { return kUnitNames[unit]; }

bool open_gdal_dem(RunState& st) {
  const std::string& path = st.job.dem.path;
  stamp_file(path, st.dem.stamp);
  const GdalReader reader(path);
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

void gdal_dem_loaded(RunState& st) {
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
  } else {
    g.dpix_size = st.job.dem.pixel_size.value_or(0.0);
    dem.areas.planar_m2 = g.dpix_size * g.dpix_size;
  }
  dem.vertical_unit = kMetre;
  dem.vertical_unit_assumed = false;
  if (st.job.dem.unit) {
    dem.vertical_unit = *st.job.dem.unit;
  } else if (!unit_of_band(r.vertical_unit, dem.vertical_unit)) {
    dem.vertical_unit_assumed = true;  // none, or unknown: metres, as the report says
  }
  if (r.nodata) {
    g.has_nodata = true;
    g.nodata = to_metres(*r.nodata, dem.vertical_unit);
  }
  g.has_prj = !r.wkt.empty();
  g.prj = r.wkt;
}

void load_gdal_mask(RunState& st) {
  const std::string& path = st.job.mask.path;
  stamp_file(path, st.mask.stamp);
  GdalReader reader(path);
  const GdalRaster& r = reader.raster();
  if (!r.integer_cells) {
    fatal_stop(text("\n\n\tThe mask %s has cells of type %s: a mask holds whole numbers (Byte, Int16, UInt16, Int32 "
                    "or UInt32)\n",
                    path.c_str(), r.data_type.c_str()));
  }
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
  st.mask.gdal = r;
}

std::vector<long long> gdal_mask_codes(const RunState& st) {
  const std::string& path = st.job.mask.path;
  GdalReader reader(path);
  const GdalRaster& r = reader.raster();
  const RasterGeometry& g = st.dem.geometry;
  // The codes the mask holds, its no-data cells aside, a band at a time.
  const int lines = std::max(1, static_cast<int>(kBandCells / g.nb_col));
  const int width = static_cast<int>(std::min<long long>(g.nb_col, kBandCells));
  std::vector<double> cells(static_cast<std::size_t>(lines) * static_cast<std::size_t>(width));
  std::vector<double*> rows(static_cast<std::size_t>(lines));
  for (int k = 0; k < lines; ++k) rows[static_cast<std::size_t>(k)] = cells.data() + static_cast<std::size_t>(k) * width;
  std::unordered_set<long long> codes;
  for (int first = 0; first < g.nb_lig; first += lines) {
    const int count = std::min(lines, g.nb_lig - first);
    for (int column = 0; column < g.nb_col; column += width) {
      const int n = std::min(width, g.nb_col - column);
      reader.read(first, count, column, n, rows.data());
      for (int k = 0; k < count; ++k) {
        for (int j = 0; j < n; ++j) {
          const double v = rows[static_cast<std::size_t>(k)][j];
          if (!(r.nodata && v == *r.nodata)) codes.insert(static_cast<long long>(v));
        }
      }
    }
  }
  std::vector<long long> sorted(codes.begin(), codes.end());
  std::sort(sorted.begin(), sorted.end());
  return sorted;
}
