// Writing the result: a raw raster with its descriptor and header, or an
// ASCII grid, made line by line from the DEM and the mask, with its report
// and coordinate system, and put in place as one set.
#include <algorithm>
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <vector>

#include "fatal.h"
#include "files/input_file.h"
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

bool raw_result(const Run& run) { return run.job.result.layout == ResultLayout::raw; }

// The unit of a raw result's stored values: a raw DEM's, or the one chosen
// for a grid's result.
double result_coef(const Run& run) {
  const DemFacts& dem = run.dem_facts();
  return dem.stored_cells ? dem.stored_per_metre : kScaleCoef[run.job.result.unit.value_or(0)];
}

struct StoredExtremes {
  double lowest, highest;  // stored values (whole numbers) of the smallest and largest altitude
};

// The stored values of the result's extremes: the zone's altitudes and, when
// some cell lies outside the zone, the hypsometric value.
StoredExtremes stored_extremes(const Run& run) {
  double min_s = run.zone.lowest, max_s = run.zone.highest;
  if (run.zone.other_cells > 0) {
    min_s = std::min(min_s, run.job.zone.outside_m);
    max_s = std::max(max_s, run.job.zone.outside_m);
  }
  const double coef = result_coef(run);
  return {stored_value(min_s * coef), stored_value(max_s * coef)};
}

// The names of the files a result writes, in its folder: those of the
// chosen result (the .prj when it has one) and the sidecars a library added.
std::vector<std::string> written_names(const ResultFiles& f, bool has_prj, const std::vector<std::string>& sidecars = {}) {
  std::vector<std::string> names;
  for (const std::string& path : {f.raster, f.descriptor, f.header, has_prj ? f.prj : ""}) {
    if (!path.empty()) names.push_back(path.substr(folder_of(path).size()));
  }
  for (const std::string& path : sidecars) names.push_back(path.substr(folder_of(path).size()));
  names.push_back(f.json.substr(folder_of(f.json).size()));
  return names;
}

// The files GDAL keeps beside a GeoTIFF of that name (statistics, external
// overviews and masks): they describe the file they stand beside, so they go
// when it is replaced.
std::vector<std::string> geotiff_sidecars(const std::string& raster) {
  return {raster + ".aux.xml", raster + ".ovr", raster + ".msk"};
}

// A file the tool writes, recognised by its first bytes: its report, a raw
// result's descriptor and header.
bool starts_with(const std::string& s, const char* start) { return s.rfind(start, 0) == 0; }
std::string head_of(const std::string& path, std::size_t bytes) {
  FileKind kind = FileKind::missing;
  InputFile f(open_regular_file(path, kind));
  if (!f) return "";
  std::string head(bytes, '\0');
  head.resize(std::fread(head.data(), 1, head.size(), f.get()));
  return head;
}
bool tool_report(const std::string& path) { return starts_with(head_of(path, 64), "{\n  \"tool\": \"mesacrop\""); }
bool tool_descriptor(const std::string& path) {
  return head_of(path, 4096).find("\n\n\tMesacrop Treatment") != std::string::npos;
}
bool tool_header(const std::string& path) {
  // Every line one of those ehdr_text writes.
  const std::string head = head_of(path, 4096);
  if (!starts_with(head, "BYTEORDER I\nLAYOUT BIL\nNROWS ") || head.size() == 4096 || head.back() != '\n') return false;
  for (std::size_t at = 0; at < head.size();) {
    const std::size_t end = head.find('\n', at);
    const std::string line = head.substr(at, end - at);
    bool known = false;
    for (const char* key : {"BYTEORDER I", "LAYOUT BIL", "NROWS ", "NCOLS ", "NBANDS 1", "NBITS ", "PIXELTYPE ", "ULXMAP ",
                            "ULYMAP ", "XDIM ", "YDIM ", "NODATA "}) {
      known = known || starts_with(line, key);
    }
    if (!known) return false;
    at = end + 1;
  }
  return true;
}

// True when a result of this name is already there: then a .prj of its name
// is that earlier result's, and goes with it when the new result has none.
// Any other .prj of that name belongs to someone else and stays.
bool earlier_result(const ResultFiles& files) {
  return file_kind(files.raster) == FileKind::regular || file_kind(files.json) == FileKind::regular;
}

// What the report says of a DEM read through GDAL.
std::optional<SourceFacts> source_facts(const Run& run) {
  if (!run.dem_facts().gdal) return std::nullopt;
  const GdalRaster& r = *run.dem_facts().gdal;
  SourceFacts s;
  s.format = r.driver;
  s.data_type = r.data_type;
  s.horizontal_unit = r.horizontal_unit;
  s.vertical_unit = unit_name(run.dem_facts().vertical_unit);
  s.vertical_unit_found = !run.dem_facts().vertical_unit_assumed;
  s.crs_name = r.crs_name;
  s.epsg = r.epsg;
  const CellAreas& areas = run.dem_facts().areas;
  s.ellipsoidal = areas.ellipsoidal;
  s.smallest_area_m2 = s.largest_area_m2 = areas.of_line(0);
  for (int line = 1; areas.ellipsoidal && line < run.geometry().nb_lig; ++line) {
    s.smallest_area_m2 = std::min(s.smallest_area_m2, areas.of_line(line));
    s.largest_area_m2 = std::max(s.largest_area_m2, areas.of_line(line));
  }
  return s;
}

// The files every result has besides its raster: the DEM's coordinate
// system (or none, and then none left from an earlier result of the name) and
// the report for scripts.
std::vector<std::string> add_prj_and_report(ResultSet& result, const Run& run, const ResultFiles& files,
                        const RasterGeometry& geometry, std::string& report_text,
                        const std::vector<std::string>& sidecars = {}, std::optional<double> result_nodata = {}) {
  if (files.prj.empty()) {
    // A GeoTIFF holds its coordinate system.
  } else if (geometry.has_prj) {
    result.add(files.prj).write(geometry.prj);
  } else if (earlier_result(files)) {
    result.drop(files.prj);
  }
  const ZoneChoice& zone = run.job.zone;
  JsonReport report{kVersion, run.job.dem.path, run.job.mask.path, zone.code, zone.outside_m, geometry, {}, {}, run.zone,
                    zone.volume(), zone.outside_no_data, std::nullopt, zone.base_m, std::nullopt, false};
  report.format = run.job.result.layout == ResultLayout::geotiff ? "GeoTIFF"
                  : !raw_result(run)                               ? "ascii grid"
                  : raw_type(run.job.result.itype).bits == 16      ? "raw 16-bit"
                                                                  : "raw 32-bit";
  report.source = source_facts(run);
  report.files = written_names(files, geometry.has_prj, sidecars);
  report.result_nodata = result_nodata;
  report.full_edge = zone.edge == EdgeRule::full;
  report_text = json_report_text(report);
  result.add(files.json).write(report_text);
  return report.files;
}

// The bytes a result cannot take less of on the disk: a raw raster's cells,
// a grid's shortest values ("0.000000" and a tab), a GeoTIFF's index of
// tiles (two 8-byte numbers a tile).
double least_result_bytes(const Run& run) {
  const RasterGeometry& g = run.geometry();
  const double cells = static_cast<double>(g.cells());
  switch (run.job.result.layout) {
    case ResultLayout::raw:
      return cells * raw_type(run.job.result.itype).cell_bytes;
    case ResultLayout::ascii_grid:
      return cells * 9.0;
    default:
      return std::ceil(g.nb_lig / 256.0) * std::ceil(g.nb_col / 256.0) * 16.0;
  }
}

// A result that plainly cannot fit the free space of its folder is not
// begun.
bool has_room(const Run& run, const ResultFiles& files) {
  return least_result_bytes(run) <= static_cast<double>(free_space(folder_of(files.raster)));
}
void check_room(const Run& run, const ResultFiles& files) {
  const double least = least_result_bytes(run);
  const std::uint64_t free = free_space(folder_of(files.raster));
  if (least > static_cast<double>(free)) {
    fatal_stop(text("\n\n\tThe result %s needs at least %.0f bytes, and its folder has %llu free: please make room "
                    "or choose another folder\n",
                    files.raster.c_str(), least, static_cast<unsigned long long>(free)));
  }
}

std::vector<std::string> write_raster(Run& run, ResultSet& result, const ResultFiles& files, std::ostream& notes,
                  const PassProgress& progress, std::string& report_text) {
  const RasterGeometry& g = run.geometry();
  const ZoneChoice& zone = run.job.zone;
  const RawType& type = raw_type(run.job.result.itype);
  // The range was checked, or, for a zone not yet measured, cannot pass the
  // raster's (see fits_unmeasured), so every stored value fits its cell. A
  // raw DEM's result keeps its unit, so its cells are taken as stored.
  const bool measure = !run.zone_measured;
  ZoneFigures figures;
  OutputFile& descriptor = result.add(files.descriptor);  // written once the zone's figures are known
  OutputFile& raster = result.add(files.raster);
  Vector<unsigned char> bytes = new_vector(
      ucvecteur, frucvecteur, static_cast<std::size_t>(band_shape(g).cells()) * static_cast<std::size_t>(type.cell_bytes),
      "result lines");
  const std::optional<RawType>& stored = run.dem_facts().stored_cells;
  const bool raw_dem = stored.has_value();
  const double coef = result_coef(run);
  const auto outside = static_cast<std::int32_t>(static_cast<std::int64_t>(stored_value(zone.outside_m * coef)));
  const int code = run.mask->zone_value(zone.code);
  auto write_band = [&](const Band& band) {
    if (measure) measure_band(run, band, figures);
    const std::size_t cols = static_cast<std::size_t>(band.width);
    const std::size_t line_bytes = cols * static_cast<std::size_t>(type.cell_bytes);
    for (int k = 0; k < band.count; ++k) {
      if (band.column == 0) progress("writing the raster", band.first + k, g.nb_lig);
      unsigned char* out = bytes.data() + line_bytes * static_cast<std::size_t>(k);
      if (raw_dem) {
        const std::size_t stored_line_bytes = cols * static_cast<std::size_t>(stored->cell_bytes);
        select_raw_cells(band.stored + stored_line_bytes * static_cast<std::size_t>(k), *stored, band.mask[k],
                         code, outside, cols, type, out);
      } else {
        extract_line(band.altitude[k], band.mask[k], band.width, code, zone.outside_m, band.altitude[k]);
        metres_to_raw(band.altitude[k], cols, coef, type, out);
      }
    }
    raster.write(bytes.data(), line_bytes * static_cast<std::size_t>(band.count));
  };
  for_each_band(*run.dem, *run.mask, write_band,
                !raw_dem ? BandCells::metres : measure ? BandCells::both : BandCells::stored, MaskCells::zone,
                zone.code);
  progress("writing the raster", g.nb_lig, g.nb_lig);
  if (measure) zone_measured(run, figures, notes);

  const StoredExtremes range = stored_extremes(run);
  const ResultReport report{g.nb_lig, g.nb_col, type.cell_bytes,
                            static_cast<long long>(range.lowest), static_cast<long long>(range.highest),
                            g.dpix_size, run.job.dem.path, run.job.mask.path, zone.code, zone.outside_m,
                            zone.voltreat, run.zone.vol_tot};
  std::vector<std::string> descriptor_notes;
  if (zone.volume() && run.zone.nodata_cells > 0) descriptor_notes.push_back(no_data_note(run));
  if (zone.edge == EdgeRule::full) descriptor_notes.push_back("every cell of the zone with data counted whole (--edge full)");
  descriptor.write(result_descriptor_text(report, descriptor_notes));

  // The header that lets GIS tools open the raster directly; the cells
  // without data are stored like any altitude, and it says which value they hold.
  std::optional<long long> nodata;
  if (run.zone.nodata_cells > 0) nodata = static_cast<long long>(stored_value(g.nodata * coef));
  result.add(files.header).write(ehdr_text(g, type, nodata));
  return add_prj_and_report(result, run, files, g, report_text);
}

std::vector<std::string> write_grid(Run& run, ResultSet& result, const ResultFiles& files, const PassProgress& progress,
                std::string& report_text) {
  RasterGeometry g = run.geometry();
  if (!g.placed) {
    g.X_min = run.job.result.corner->x;
    g.Y_min = run.job.result.corner->y;
    g.placed = true;
  }
  const ZoneChoice& zone = run.job.zone;
  const double outside = zone.outside_no_data ? kGridNoData : zone.outside_m;
  GridWriter grid(result.add(files.raster), g);
  const bool marks = run.zone.nodata_cells > 0;
  const int code = run.mask->zone_value(zone.code);
  for_each_band(
      *run.dem, *run.mask,
      [&](const Band& band) {
        for (int k = 0; k < band.count; ++k) {
          extract_line(band.altitude[k], band.mask[k], band.width, code, outside, band.altitude[k]);
          if (marks) mark_no_data(band.altitude[k], band.mask[k], band.width, code, g, kGridNoData);
          if (band.column == 0) progress("writing the grid", band.first + k, g.nb_lig);
        }
        grid.write_lines(band.altitude, band.count, band.width);
      },
      BandCells::metres, MaskCells::zone, zone.code);
  progress("writing the grid", g.nb_lig, g.nb_lig);
  return add_prj_and_report(result, run, files, g, report_text);
}

bool float64_geotiff(const Run& run) { return run.dem_facts().gdal && run.dem_facts().gdal->float64; }

// The no-data value of a GeoTIFF result: the DEM's, where its altitudes are
// taken as stored (metres, no scale) and the result's cells hold it exactly,
// else -9999. The cells of the zone with data may not hold it (checked as
// they are written).
double geotiff_nodata(const Run& run) {
  const RasterGeometry& g = run.geometry();
  const std::optional<GdalRaster>& r = run.dem_facts().gdal;
  const bool as_stored = !r || (run.dem_facts().vertical_unit == kMetre && r->scale == 1.0 && r->offset == 0.0);
  if (g.has_nodata && std::isfinite(g.nodata) && as_stored) {
    if (float64_geotiff(run)) return g.nodata;
    if (std::fabs(g.nodata) <= FLT_MAX) return static_cast<double>(static_cast<float>(g.nodata));
  }
  return -9999.0;
}

// The GDAL writer's private folder also holds the files it added beside the
// GeoTIFF (a coordinate system its keys cannot hold, in an .aux.xml): they
// join the set under their names, and leave the private folder.
std::vector<std::string> adopt_sidecars(ResultSet& result, const OutputFile& tif) {
  std::vector<std::string> adopted;
  const std::string inside = folder_of(tif.library_path());
  const std::string folder = folder_of(tif.final_path());
  for (const std::string& name : folder_entries(inside)) {
    if (inside + name == tif.library_path()) continue;
    FileKind kind = FileKind::missing;
    InputFile f(open_regular_file(inside + name, kind));
    if (!f) continue;
    std::string content;
    char chunk[1 << 16];
    for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, f.get())) > 0;) content.append(chunk, got);
    f.reset();
    remove_file(inside + name);
    result.add(folder + name).write(content);
    adopted.push_back(folder + name);
  }
  return adopted;
}

// A GeoTIFF: the DEM's geotransform (or the corner chosen for a raw DEM)
// and coordinate system; Float32 altitudes in metres (Float64 for a Float64
// DEM); the zone's cells without data at the result's no-data value.
std::vector<std::string> write_geotiff(Run& run, ResultSet& result, const ResultFiles& files, std::ostream& notes,
                   const PassProgress& progress, std::string& report_text) {
  const bool measure = !run.zone_measured;
  ZoneFigures figures;
  RasterGeometry g = run.geometry();
  const ZoneChoice& zone = run.job.zone;
  double transform[6] = {0, 1, 0, 0, 0, 1};
  if (run.dem_facts().gdal && run.dem_facts().gdal->georeferenced) {
    std::copy(run.dem_facts().gdal->transform, run.dem_facts().gdal->transform + 6, transform);
  } else if (g.placed || run.job.result.corner) {
    const double x = g.placed ? g.X_min : run.job.result.corner->x;
    const double y = g.placed ? g.Y_min : run.job.result.corner->y;
    const double cell = g.map_cell();
    transform[0] = x, transform[1] = cell, transform[3] = y + g.nb_lig * cell, transform[5] = -cell;
  }
  const double nodata = geotiff_nodata(run);
  const double outside = zone.outside_no_data ? nodata : zone.outside_m;
  const bool float64 = float64_geotiff(run);
  OutputFile& tif = result.add_for_library(files.raster);
  std::vector<std::string> sidecars;
  {
    GdalWriter writer(tif.library_path(), files.raster, g.nb_lig, g.nb_col, transform, g.has_prj ? g.prj : "", float64,
                      nodata);
    const int code = run.mask->zone_value(zone.code);
    const bool marks = measure ? g.has_nodata : run.zone.nodata_cells > 0;
    for_each_band(*run.dem, *run.mask, [&](const Band& band) {
      if (measure) measure_band(run, band, figures);
      for (int k = 0; k < band.count; ++k) {
        double* line = band.altitude[k];
        const unsigned char* mask = band.mask[k];
        // The zone's altitudes with data must fit the cells and differ from
        // the no-data value, which would hide them.
        for (int j = 0; j < band.width; ++j) {
          if (!in_zone(mask[j], code) || g.no_data(line[j])) continue;
          const double held = float64 ? line[j] : static_cast<double>(static_cast<float>(line[j]));
          if (held == nodata || std::isinf(held)) {
            fatal_stop(text("\n\n\tThe altitude %s at line %d, column %d %s\n", shortest_text(line[j]).c_str(),
                            band.first + k, band.column + j,
                            std::isinf(held) ? "is beyond what the GeoTIFF's Float32 cells hold"
                                             : ("is the GeoTIFF's no-data value " + shortest_text(nodata) +
                                                ", which would hide it")
                                                   .c_str()));
          }
        }
        extract_line(line, mask, band.width, code, outside, line);
        if (marks) mark_no_data(line, mask, band.width, code, g, nodata);
        if (band.column == 0) progress("writing the GeoTIFF", band.first + k, g.nb_lig);
      }
      writer.write(band.first, band.count, band.column, band.width, band.altitude);
    }, BandCells::metres, MaskCells::zone, zone.code);
    progress("writing the GeoTIFF", g.nb_lig, g.nb_lig);
    writer.close();
    sidecars = adopt_sidecars(result, tif);
  }
  if (measure) zone_measured(run, figures, notes);
  for (const std::string& sidecar : geotiff_sidecars(files.raster)) {
    if (std::find(sidecars.begin(), sidecars.end(), sidecar) == sidecars.end() &&
        file_kind(sidecar) != FileKind::missing) {
      result.drop(sidecar);
    }
  }
  g.has_prj = false;  // inside the GeoTIFF
  return add_prj_and_report(result, run, files, g, report_text, sidecars, nodata);
}

// The result's companions: its report's copy and the table of every zone.
// Those in the result's folder join its set; the others are written now,
// beside it, and put in place right after it.
void add_companions(ResultSet& result, const Run& run, const std::string& report_text,
                    const std::vector<CompanionFile>& companions, std::vector<std::unique_ptr<OutputFile>>& others) {
  std::vector<CompanionFile> all = companions;
  const std::string& copy = run.job.result.report_copy;
  if (!copy.empty() && copy != "-") all.push_back({copy, report_text});
  const std::string folder = folder_of(run.job.result.base);
  for (const CompanionFile& file : all) {
    if (folder_of(file.path) == folder) {
      result.add(file.path).write(file.content);
      continue;
    }
    others.push_back(std::make_unique<OutputFile>());
    others.back()->create(file.path);
    others.back()->write(file.content);
  }
}

}  // namespace

ResultFiles chosen_result_files(const Run& run) {
  const ResultChoice& result = run.job.result;
  if (result.layout == ResultLayout::geotiff) {
    const std::string raster = result.base + result.extension;
    return {raster, {}, {}, {}, result.base + ".json"};
  }
  return result_files(result.base, raw_result(run), raw_type(result.itype));
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

std::vector<std::string> input_files(const Run& run) {
  const std::string& dem = run.job.dem.path;
  const std::string& mask = run.job.mask.path;
  std::vector<std::string> inputs{dem, run.dem_facts().descriptor_path, beside(dem, ".prj"), beside(dem, ".hdr"), mask,
                                  run.mask->facts().descriptor_path, beside(mask, ".prj")};
  for (const std::optional<GdalRaster>& r : {run.dem_facts().gdal, run.mask->facts().gdal}) {
    if (r) inputs.insert(inputs.end(), r->files.begin(), r->files.end());
  }
  return inputs;
}

std::vector<std::string> result_set_paths(const Run& run) {
  const ResultFiles files = chosen_result_files(run);
  std::vector<std::string> paths{files.raster, files.descriptor, files.header, files.prj, files.json};
  if (run.job.result.layout == ResultLayout::geotiff) {
    for (const std::string& sidecar : geotiff_sidecars(files.raster)) paths.push_back(sidecar);
  }
  paths.erase(std::remove(paths.begin(), paths.end(), std::string()), paths.end());
  return paths;
}

std::string replaced_input(const Run& run) {
  std::vector<std::string> outputs = result_set_paths(run);
  if (!run.job.result.report_copy.empty()) outputs.push_back(run.job.result.report_copy);
  for (const std::string& input : input_files(run)) {
    for (const std::string& output : outputs) {
      if (same_file(output, input)) {
        return text("\n\n\tThe result %s would replace the input file %s: please choose another name\n",
                    output.c_str(), input.c_str());
      }
    }
  }
  return "";
}

std::string foreign_file(const Run& run) {
  const ResultFiles files = chosen_result_files(run);
  auto foreign = [&](const std::string& path) {
    if (path.empty() || file_kind(path) != FileKind::regular) return false;
    if (path == files.json) return !tool_report(path);
    if (path == files.descriptor) return !tool_descriptor(path);
    if (path == files.header) return !tool_header(path);
    // A .prj the new result replaces: one of an earlier result, or the very
    // text it has. (Without one, an earlier result's goes, and any other stays.)
    const RasterGeometry& g = run.geometry();
    return g.has_prj && !earlier_result(files) && head_of(path, g.prj.size() + 1) != g.prj;
  };
  for (const std::string& path : {files.json, files.descriptor, files.header, files.prj}) {
    if (foreign(path)) {
      return text("\n\n\tThe file %s is not one mesacrop wrote, and the result %s would replace it: please choose "
                  "another name\n",
                  path.c_str(), files.raster.c_str());
    }
  }
  return "";
}

std::string fit_problem(const Run& run) {
  const ResultLayout layout = run.job.result.layout;
  if (layout == ResultLayout::geotiff) {
    // Float32 cells hold up to 3.4e38: the hypsometric value, and the zone's
    // altitudes once they are known (else they are checked as written).
    if (float64_geotiff(run)) return "";
    const ZoneChoice& zone = run.job.zone;
    const double beyond = !zone.outside_no_data && std::fabs(zone.outside_m) > FLT_MAX ? zone.outside_m
                          : run.zone_measured && run.zone.data_cells() > 0 &&
                                  std::max(std::fabs(run.zone.data_lowest), std::fabs(run.zone.data_highest)) > FLT_MAX
                              ? (std::fabs(run.zone.data_lowest) > FLT_MAX ? run.zone.data_lowest : run.zone.data_highest)
                              : 0.0;
    if (beyond == 0.0) return "";
    return text("\n\n\tThe result holds %s, beyond what a GeoTIFF's Float32 cells hold (3.4e38): please choose an "
                "ASCII grid\n",
                shortest_text(beyond).c_str());
  }
  // A grid's cells are squares of its coordinates; a raw result's descriptor
  // gives one pixel size in metres.
  if (!run.dem_facts().square_cells || (raw_result(run) && run.dem_facts().areas.ellipsoidal)) {
    return text("\n\n\tThe cells of %s are %s, which %s cannot describe: please choose a GeoTIFF\n",
                run.job.dem.path.c_str(), run.dem_facts().square_cells ? "in degrees" : "not square",
                raw_result(run) ? "a raw result" : "an ASCII grid");
  }
  if (!raw_result(run)) return "";
  if (run.zone.has_nan) {
    return "\n\n\tThe result holds cells that are not numbers (nan), which a raster cannot store:"
           "\n\tplease choose an ASCII grid\n";
  }
  const RawType& type = raw_type(run.job.result.itype);
  const StoredExtremes range = stored_extremes(run);
  if (range.lowest >= type.lowest && range.highest <= type.highest) return "";
  // Only what can help: 32 bits when 16 were chosen, another scale when the
  // scale is chosen (grid input), an ASCII grid always.
  std::vector<std::string> helps;
  if (type.bits == 16) helps.push_back("32 bits");
  if (!run.dem_facts().stored_cells) helps.push_back("another scale");
  std::string advice;
  for (const std::string& help : helps) advice += (advice.empty() ? "" : ", ") + help;
  advice += advice.empty() ? "an ASCII grid" : " or an ASCII grid";
  return text("\n\n\tThe stored values of the result go from %.0f to %.0f, but a %d-bit raster holds %.0f to %.0f only:"
              "\n\tplease choose %s\n",
              range.lowest, range.highest, type.bits, type.lowest, type.highest, advice.c_str());
}

bool fits_unmeasured(const Run& run) {
  if (!raw_result(run) || !run.dem_facts().stored_cells) return false;
  const RawType& dem = *run.dem_facts().stored_cells;
  const RawType& type = raw_type(run.job.result.itype);
  const double outside = stored_value(run.job.zone.outside_m * run.dem_facts().stored_per_metre);
  return dem.lowest >= type.lowest && dem.highest <= type.highest && outside >= type.lowest && outside <= type.highest;
}

std::string result_problem(const Run& run) {
  const std::string& base = run.job.result.base;
  const std::string folder = folder_of(base);
  std::string problem = result_name_problem(folder, base.substr(folder.size()));
  if (problem.empty()) problem = replaced_input(run);
  if (problem.empty()) problem = foreign_file(run);
  if (problem.empty() && (run.zone_measured || run.job.result.layout == ResultLayout::geotiff)) problem = fit_problem(run);
  return problem;
}

void outside_nodata_warning(const Run& run, std::ostream& notes) {
  const ZoneChoice& zone = run.job.zone;
  if (zone.outside_no_data) return;
  std::optional<double> nodata;
  const char* suffix = "";
  if (run.job.result.layout == ResultLayout::geotiff) {
    nodata = geotiff_nodata(run);
  } else if (run.job.result.layout == ResultLayout::ascii_grid) {
    nodata = kGridNoData;
  } else if (run.zone_measured && run.zone.nodata_cells > 0) {
    nodata = run.geometry().nodata;
    suffix = " (its .hdr's NODATA)";
  }
  if (!nodata || zone.outside_m != *nodata) return;
  note(notes, "\n\tWarning: the cells outside the zone get %s, which is also the result's no-data value%s: a GIS shows "
              "them as cells without data (choose another value with -a, or -a nodata to mean it)\n",
       shortest_text(zone.outside_m).c_str(), suffix);
}

WrittenResult write_result(Run& run, const std::vector<CompanionFile>& companions, std::ostream& notes,
                           const PassProgress& progress) {
  const ResultFiles files = chosen_result_files(run);
  if (!has_room(run, files) && run.dem->release_copy()) {
    note(notes, "\n\tThe disk is full: the run's copy of the grid's cells is removed to make room, and the result is "
                "made from the grid's text\n");
  }
  check_room(run, files);
  WrittenResult written;
  std::string found;
  for (;;) {
    try {
      ResultSet result;
      std::vector<std::unique_ptr<OutputFile>> others;
      written.names = run.job.result.layout == ResultLayout::geotiff
                          ? write_geotiff(run, result, files, notes, progress, written.report)
                      : raw_result(run) ? write_raster(run, result, files, notes, progress, written.report)
                                       : write_grid(run, result, files, progress, written.report);
      add_companions(result, run, written.report, companions, others);
      found = result.publish();
      for (const std::unique_ptr<OutputFile>& other : others) other->publish();
      break;
    } catch (const FatalStop& stop) {
      // A grid's parsed cells take room in the folder: on a full disk they
      // go, and the result is made again from the grid's text.
      if (stop.error != ENOSPC || !run.dem->release_copy()) throw;
      note(notes, "\n\tThe disk is full: the run's copy of the grid's cells is removed to make room, and the result "
                  "is written again from the grid\n");
    }
  }
  notes << found;
  return written;
}
