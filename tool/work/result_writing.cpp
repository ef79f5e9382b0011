// Writing the result: a raw raster with its descriptor and header, or an
// ASCII grid, made line by line from the DEM and the mask, with its report
// and coordinate system, and put in place as one set.
#include <algorithm>
#include <cmath>
#include <cerrno>
#include <vector>

#include "fatal.h"
#include "files/file_names.h"
#include "files/library_raster.h"
#include "files/formats.h"
#include "files/output_file.h"
#include "files/result_set.h"
#include "nrutil.h"
#include "platform.h"
#include "raster/bands.h"
#include "text.h"
#include "version.h"
#include "work.h"
#include "zone/stored_value.h"

namespace {

// The value that the grid header's nodata_value line declares.
constexpr double kGridNoData = -9999.9999;

bool raw_result(const RunState& st) { return st.job.result.layout == ResultLayout::raw; }

// The unit of a raw result's stored values: a raw DEM's, or the one chosen
// for a grid's result.
double result_coef(const RunState& st) {
  return st.job.dem.layout != DemLayout::raw ? kScaleCoef[st.job.result.unit.value_or(0)] : st.coef;
}

struct StoredExtremes {
  double lowest, highest;  // stored values (whole numbers) of the smallest and largest altitude
};

// The stored values of the result's extremes: the zone's altitudes and, when
// some cell lies outside the zone, the hypsometric value.
StoredExtremes stored_extremes(const RunState& st) {
  double min_s = st.zone.lowest, max_s = st.zone.highest;
  if (st.zone.other_cells > 0) {
    min_s = std::min(min_s, st.job.zone.outside_m);
    max_s = std::max(max_s, st.job.zone.outside_m);
  }
  const double coef = result_coef(st);
  return {stored_value(min_s * coef), stored_value(max_s * coef)};
}

// The names of the files a result writes, in its folder.
std::vector<std::string> written_names(const ResultFiles& f, bool has_prj) {
  std::vector<std::string> names;
  for (const std::string& path : {f.raster, f.descriptor, f.header, has_prj ? f.prj : "", f.json}) {
    if (!path.empty()) names.push_back(path.substr(folder_of(path).size()));
  }
  return names;
}

// True when a result of this name is already there: then a .prj of its name
// is that earlier result's, and goes with it when the new result has none.
// Any other .prj of that name belongs to someone else and stays.
bool earlier_result(const ResultFiles& files) {
  return file_kind(files.raster) == FileKind::regular || file_kind(files.json) == FileKind::regular;
}

// What the report says of a DEM read through GDAL.
std::optional<SourceFacts> source_facts(const RunState& st) {
  if (!st.dem.gdal) return std::nullopt;
  const GdalRaster& r = *st.dem.gdal;
  SourceFacts s;
  s.format = r.driver;
  s.data_type = r.data_type;
  s.horizontal_unit = r.horizontal_unit;
  s.vertical_unit = unit_name(st.dem.vertical_unit);
  s.vertical_unit_found = !st.dem.vertical_unit_assumed;
  s.crs_name = r.crs_name;
  s.epsg = r.epsg;
  const CellAreas& areas = st.dem.areas;
  s.ellipsoidal = areas.ellipsoidal;
  s.smallest_area_m2 = s.largest_area_m2 = areas.of_line(0);
  for (int line = 1; areas.ellipsoidal && line < st.dem.geometry.nb_lig; ++line) {
    s.smallest_area_m2 = std::min(s.smallest_area_m2, areas.of_line(line));
    s.largest_area_m2 = std::max(s.largest_area_m2, areas.of_line(line));
  }
  return s;
}

// The files every result has besides its raster: the DEM's coordinate
// system (or none, and then none left from an earlier result of the name) and
// the report for scripts.
void add_prj_and_report(ResultSet& result, const RunState& st, const ResultFiles& files,
                        const RasterGeometry& geometry, std::string& report_text) {
  if (files.prj.empty()) {
    // A GeoTIFF holds its coordinate system.
  } else if (geometry.has_prj) {
    result.add(files.prj).write(geometry.prj);
  } else if (earlier_result(files)) {
    result.drop(files.prj);
  }
  const ZoneChoice& zone = st.job.zone;
  JsonReport report{kVersion, st.job.dem.path, st.job.mask.path, zone.code, zone.outside_m, geometry, {}, {}, st.zone,
                    zone.volume(), zone.outside_no_data, std::nullopt, zone.base_m};
  report.format = st.job.result.layout == ResultLayout::geotiff ? "GeoTIFF"
                  : !raw_result(st)                               ? "ascii grid"
                  : raw_type(st.job.result.itype).bits == 16      ? "raw 16-bit"
                                                                  : "raw 32-bit";
  report.source = source_facts(st);
  report.files = written_names(files, geometry.has_prj);
  report_text = json_report_text(report);
  result.add(files.json).write(report_text);
}

std::string write_raster(RunState& st, const ResultFiles& files, std::ostream& notes, const PassProgress& progress,
                         std::string& report_text) {
  const RasterGeometry& g = st.dem.geometry;
  const ZoneChoice& zone = st.job.zone;
  const RawType& type = raw_type(st.job.result.itype);
  ResultSet result;
  // The range was checked, or, for a zone not yet measured, cannot pass the
  // raster's (see fits_unmeasured), so every stored value fits its cell. A
  // raw DEM's result keeps its unit, so its cells are taken as stored.
  const bool measure = !st.zone_measured;
  ZoneFigures figures;
  OutputFile& descriptor = result.add(files.descriptor);  // written once the zone's figures are known
  OutputFile& raster = result.add(files.raster);
  Vector<unsigned char> bytes = new_vector(
      ucvecteur, frucvecteur, static_cast<std::size_t>(band_shape(g).cells()) * static_cast<std::size_t>(type.cell_bytes),
      "result lines");
  const bool raw_dem = st.job.dem.layout == DemLayout::raw;
  const RawType& dem_type = raw_type(st.job.dem.itype);
  const auto outside = static_cast<std::int32_t>(static_cast<std::int64_t>(stored_value(zone.outside_m * st.coef)));
  auto write_band = [&](const Band& band) {
    if (measure) measure_band(st, band, figures);
    const std::size_t cols = static_cast<std::size_t>(band.width);
    const std::size_t line_bytes = cols * static_cast<std::size_t>(type.cell_bytes);
    for (int k = 0; k < band.count; ++k) {
      if (band.column == 0) progress("writing the raster", band.first + k, g.nb_lig);
      unsigned char* out = bytes.data() + line_bytes * static_cast<std::size_t>(k);
      if (raw_dem) {
        const std::size_t stored_line_bytes = cols * static_cast<std::size_t>(dem_type.cell_bytes);
        select_raw_cells(band.stored + stored_line_bytes * static_cast<std::size_t>(k), dem_type, band.mask[k],
                         zone_code(st), outside, cols, type, out);
      } else {
        extract_line(band.altitude[k], band.mask[k], band.width, zone_code(st), zone.outside_m, band.altitude[k]);
        metres_to_raw(band.altitude[k], cols, st.coef, type, out);
      }
    }
    raster.write(bytes.data(), line_bytes * static_cast<std::size_t>(band.count));
  };
  for_each_band(st, write_band, !raw_dem ? BandCells::metres : measure ? BandCells::both : BandCells::stored);
  progress("writing the raster", g.nb_lig, g.nb_lig);
  if (measure) zone_measured(st, figures, notes);

  const StoredExtremes range = stored_extremes(st);
  const ResultReport report{g.nb_lig, g.nb_col, type.cell_bytes,
                            static_cast<long long>(range.lowest), static_cast<long long>(range.highest),
                            g.dpix_size, st.job.dem.path, st.job.mask.path, zone.code, zone.outside_m,
                            zone.voltreat, st.zone.vol_tot};
  std::vector<std::string> descriptor_notes;
  if (zone.volume() && st.zone.nodata_cells > 0) descriptor_notes.push_back(no_data_note(st));
  descriptor.write(result_descriptor_text(report, descriptor_notes));

  // The header that lets GIS tools open the raster directly; the cells
  // without data are stored like any altitude, and it says which value they hold.
  std::optional<long long> nodata;
  if (st.zone.nodata_cells > 0) nodata = static_cast<long long>(stored_value(g.nodata * st.coef));
  result.add(files.header).write(ehdr_text(g, type, nodata));
  add_prj_and_report(result, st, files, g, report_text);
  return result.publish();
}

std::string write_grid(RunState& st, const ResultFiles& files, const PassProgress& progress,
                       std::string& report_text) {
  RasterGeometry g = st.dem.geometry;
  if (!g.placed) {
    g.X_min = st.job.result.corner->x;
    g.Y_min = st.job.result.corner->y;
    g.placed = true;
  }
  const ZoneChoice& zone = st.job.zone;
  const double outside = zone.outside_no_data ? kGridNoData : zone.outside_m;
  ResultSet result;
  GridWriter grid(result.add(files.raster), g);
  const bool marks = st.zone.nodata_cells > 0;
  for_each_band(st, [&](const Band& band) {
    for (int k = 0; k < band.count; ++k) {
      extract_line(band.altitude[k], band.mask[k], band.width, zone_code(st), outside, band.altitude[k]);
      if (marks) mark_no_data(band.altitude[k], band.mask[k], band.width, zone_code(st), g, kGridNoData);
      if (band.column == 0) progress("writing the grid", band.first + k, g.nb_lig);
    }
    grid.write_lines(band.altitude, band.count, band.width);
  });
  progress("writing the grid", g.nb_lig, g.nb_lig);
  add_prj_and_report(result, st, files, g, report_text);
  return result.publish();
}

// A GeoTIFF: the DEM's geotransform (or the corner chosen for a raw DEM)
// and coordinate system; Float32 altitudes in metres (Float64 for a Float64
// DEM); the zone's cells without data at the no-data value, the DEM's or
// -9999.
std::string write_geotiff(RunState& st, const ResultFiles& files, std::ostream& notes, const PassProgress& progress,
                          std::string& report_text) {
  const bool measure = !st.zone_measured;
  ZoneFigures figures;
  RasterGeometry g = st.dem.geometry;
  const ZoneChoice& zone = st.job.zone;
  double transform[6] = {0, 1, 0, 0, 0, 1};
  if (st.dem.gdal && st.dem.gdal->georeferenced) {
    std::copy(st.dem.gdal->transform, st.dem.gdal->transform + 6, transform);
  } else if (g.placed || st.job.result.corner) {
    const double x = g.placed ? g.X_min : st.job.result.corner->x;
    const double y = g.placed ? g.Y_min : st.job.result.corner->y;
    const double cell = g.map_cell();
    transform[0] = x, transform[1] = cell, transform[3] = y + g.nb_lig * cell, transform[5] = -cell;
  }
  const double nodata = g.has_nodata && std::isfinite(g.nodata) ? g.nodata : -9999.0;
  const double outside = zone.outside_no_data ? nodata : zone.outside_m;
  const bool float64 = st.dem.gdal && st.dem.gdal->float64;
  ResultSet result;
  OutputFile& tif = result.add_for_library(files.raster);
  {
    GdalWriter writer(tif.library_path(), files.raster, g.nb_lig, g.nb_col, transform, g.has_prj ? g.prj : "", float64,
                      nodata);
    const int code = zone_code(st);
      const bool marks = measure ? g.has_nodata : st.zone.nodata_cells > 0;
    for_each_band(st, [&](const Band& band) {
      if (measure) measure_band(st, band, figures);
      for (int k = 0; k < band.count; ++k) {
        extract_line(band.altitude[k], band.mask[k], band.width, code, outside, band.altitude[k]);
        if (marks) mark_no_data(band.altitude[k], band.mask[k], band.width, code, g, nodata);
        if (band.column == 0) progress("writing the GeoTIFF", band.first + k, g.nb_lig);
      }
      writer.write(band.first, band.count, band.column, band.width, band.altitude);
    });
    progress("writing the GeoTIFF", g.nb_lig, g.nb_lig);
    writer.close();
  }
  if (measure) zone_measured(st, figures, notes);
  g.has_prj = false;  // inside the GeoTIFF
  add_prj_and_report(result, st, files, g, report_text);
  return result.publish();
}

}  // namespace

ResultFiles chosen_result_files(const RunState& st) {
  const ResultChoice& result = st.job.result;
  if (result.layout == ResultLayout::geotiff) {
    const std::string raster = result.base + result.extension;
    return {raster, {}, {}, {}, beside(raster, ".json")};
  }
  return result_files(result.base, raw_result(st), raw_type(result.itype));
}

std::string result_name_problem(const std::string& folder, const std::string& name) {
  if (name.find_first_of(kPathSeparator == '/' ? "/" : "\\/") != std::string::npos) {
    return text("\n\n\t\"%s\" holds a path separator: the result is written in the folder of the run, "
                "under a name without one\n",
                shown(name).c_str());
  }
  const std::size_t longest = name.size() + kLongestResultSuffix;
  const std::size_t allowed = max_file_name_length(folder);
  if (longest <= allowed) return "";
  return text("\n\n\tThe name %s is too long: its files would have names of %llu characters, and this folder takes "
              "%llu at most\n",
              name.c_str(), static_cast<unsigned long long>(longest), static_cast<unsigned long long>(allowed));
}

std::string replaced_input(const RunState& st) {
  const ResultFiles files = chosen_result_files(st);
  const std::string& dem = st.job.dem.path;
  const std::string& mask = st.job.mask.path;
  for (const std::string& input : {dem, st.dem.descriptor_path, beside(dem, ".prj"), beside(dem, ".hdr"), mask,
                                   st.mask.descriptor_path, beside(mask, ".prj")}) {
    for (const std::string& output :
         {files.raster, files.descriptor, files.header, files.prj, files.json, st.job.result.report_copy}) {
      if (same_file(output, input)) {
        return text("\n\n\tThe result %s would replace the input file %s: please choose another name\n",
                    output.c_str(), input.c_str());
      }
    }
  }
  return "";
}

std::string fit_problem(const RunState& st) {
  const ResultLayout layout = st.job.result.layout;
  if (layout == ResultLayout::geotiff) return "";
  // A grid's cells are squares of its coordinates; a raw result's descriptor
  // gives one pixel size in metres.
  if (!st.dem.square_cells || (raw_result(st) && st.dem.areas.ellipsoidal)) {
    return text("\n\n\tThe cells of %s are %s, which %s cannot describe: please choose a GeoTIFF\n",
                st.job.dem.path.c_str(), st.dem.square_cells ? "in degrees" : "not square",
                raw_result(st) ? "a raw result" : "an ASCII grid");
  }
  if (!raw_result(st)) return "";
  if (st.zone.has_nan) {
    return "\n\n\tThe result holds cells that are not numbers (nan), which a raster cannot store:"
           "\n\tplease choose an ASCII grid\n";
  }
  const RawType& type = raw_type(st.job.result.itype);
  const StoredExtremes range = stored_extremes(st);
  if (range.lowest >= type.lowest && range.highest <= type.highest) return "";
  // Only what can help: 32 bits when 16 were chosen, another scale when the
  // scale is chosen (grid input), an ASCII grid always.
  std::vector<std::string> helps;
  if (type.bits == 16) helps.push_back("32 bits");
  if (st.job.dem.layout != DemLayout::raw) helps.push_back("another scale");
  std::string advice;
  for (const std::string& help : helps) advice += (advice.empty() ? "" : ", ") + help;
  advice += advice.empty() ? "an ASCII grid" : " or an ASCII grid";
  return text("\n\n\tThe stored values of the result go from %.0f to %.0f, but a %d-bit raster holds %.0f to %.0f only:"
              "\n\tplease choose %s\n",
              range.lowest, range.highest, type.bits, type.lowest, type.highest, advice.c_str());
}

bool fits_unmeasured(const RunState& st) {
  if (!raw_result(st) || st.job.dem.layout != DemLayout::raw) return false;
  const RawType& dem = raw_type(st.job.dem.itype);
  const RawType& type = raw_type(st.job.result.itype);
  const double outside = stored_value(st.job.zone.outside_m * st.coef);
  return dem.lowest >= type.lowest && dem.highest <= type.highest && outside >= type.lowest && outside <= type.highest;
}

std::string result_problem(const RunState& st) {
  const std::string& base = st.job.result.base;
  const std::string folder = folder_of(base);
  std::string problem = result_name_problem(folder, base.substr(folder.size()));
  if (problem.empty()) problem = replaced_input(st);
  if (problem.empty() && st.zone_measured) problem = fit_problem(st);
  return problem;
}

WrittenResult write_result(RunState& st, std::ostream& notes, const PassProgress& progress) {
  if (raw_result(st)) st.coef = result_coef(st);
  const ResultFiles files = chosen_result_files(st);
  WrittenResult written;
  std::string found;
  for (;;) {
    try {
      found = st.job.result.layout == ResultLayout::geotiff ? write_geotiff(st, files, notes, progress, written.report)
              : raw_result(st)                              ? write_raster(st, files, notes, progress, written.report)
                                                            : write_grid(st, files, progress, written.report);
      break;
    } catch (const FatalStop& stop) {
      // A grid's parsed cells take room in the folder: on a full disk they
      // go, and the result is made again from the grid's text.
      if (stop.error != ENOSPC || !st.dem.spill.usable()) throw;
      st.dem.spill.discard();
      note(notes, "\n\tThe disk is full: the run's copy of the grid's cells is removed to make room, and the result "
                  "is written again from the grid\n");
    }
  }
  notes << found;
  written.names = written_names(files, st.dem.geometry.has_prj);
  return written;
}
