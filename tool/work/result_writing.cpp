// Writing the result: its sink (formats/) made line by line from the DEM and
// the mask in one pass, with its report, its coordinate system and its
// companions, put in place as one set; and the checks before the first byte.
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
#include "formats/registry.h"
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
std::vector<std::string> add_prj_and_report(ResultSet& result, const Run& run, const ResultSink& sink,
                                            std::string& report_text) {
  const ResultFiles files = sink.files();
  const RasterGeometry geometry = sink.report_geometry(run);
  if (files.prj.empty()) {
    // A GeoTIFF holds its coordinate system.
  } else if (geometry.has_prj) {
    result.add(files.prj).write(geometry.prj);
  } else if (earlier_result(files)) {
    result.drop(files.prj);
  }
  const ZoneChoice& zone = run.job.zone;
  JsonReport report{kVersion, run.job.dem.path, run.job.mask.path, zone.code, zone.outside_m, geometry, {}, {}, run.zone,
                    zone.volume(), zone.outside_no_data, std::nullopt, zone.base_m, std::nullopt, false, std::nullopt, 0.0, false, std::nullopt, {}};
  report.format = sink.format_name();
  report.source = source_facts(run);
  report.files = written_names(files, geometry.has_prj, sink.sidecars());
  report.result_nodata = sink.report_nodata();
  report.full_edge = zone.edge == EdgeRule::full;
  if (run.job.reference) {
    report.reference = run.job.reference->surface.path;
    report.threshold_m = run.job.reference->threshold_m;
    report.difference = run.job.reference->difference;
  }
  report.polygons = run.mask->facts().polygons;
  report.percentiles = run.job.percentiles;
  report_text = json_report_text(report);
  result.add(files.json).write(report_text);
  return report.files;
}

// A result that plainly cannot fit the free space of its folder is not
// begun.
bool has_room(const Run& run, const ResultSink& sink, const ResultFiles& files) {
  return sink.least_bytes(run.geometry()) <= static_cast<double>(free_space(folder_of(files.raster)));
}
void check_room(const Run& run, const ResultSink& sink, const ResultFiles& files) {
  const double least = sink.least_bytes(run.geometry());
  const std::uint64_t free = free_space(folder_of(files.raster));
  if (least > static_cast<double>(free)) {
    fatal_stop(text("\n\n\tThe result %s needs at least %.0f bytes, and its folder has %llu free: please make room "
                    "or choose another folder\n",
                    files.raster.c_str(), least, static_cast<unsigned long long>(free)));
  }
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

ResultFiles chosen_result_files(const Run& run) { return open_result(run.job.result)->files(); }

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
  if (const std::optional<PolygonFacts>& polygons = run.mask->facts().polygons) {
    inputs.insert(inputs.end(), polygons->files.begin(), polygons->files.end());
  }
  if (run.reference) {
    const std::string& path = run.job.reference->surface.path;
    const DemFacts& surface = run.reference->facts();
    inputs.insert(inputs.end(), {path, surface.descriptor_path, beside(path, ".prj"), beside(path, ".hdr")});
    if (surface.gdal) inputs.insert(inputs.end(), surface.gdal->files.begin(), surface.gdal->files.end());
  }
  return inputs;
}

std::vector<std::string> result_set_paths(const Run& run) {
  const std::unique_ptr<ResultSink> sink = open_result(run.job.result);
  const ResultFiles files = sink->files();
  std::vector<std::string> paths{files.raster, files.descriptor, files.header, files.prj, files.json};
  for (const std::string& sidecar : sink->stale_sidecars()) paths.push_back(sidecar);
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

std::string fit_problem(const Run& run) { return open_result(run.job.result)->fit_problem(run); }

bool fits_unmeasured(const Run& run) { return open_result(run.job.result)->fits_unmeasured(run); }

std::string result_problem(const Run& run) {
  const std::string& base = run.job.result.base;
  const std::string folder = folder_of(base);
  std::string problem = result_name_problem(folder, base.substr(folder.size()));
  if (problem.empty()) problem = replaced_input(run);
  if (problem.empty()) problem = foreign_file(run);
  if (problem.empty()) problem = fit_problem(run);
  return problem;
}

void outside_nodata_warning(const Run& run, std::ostream& notes) {
  const ZoneChoice& zone = run.job.zone;
  if (zone.outside_no_data) return;
  const std::optional<double> nodata = open_result(run.job.result)->declared_nodata(run);
  if (!nodata || zone.outside_m != *nodata) return;
  note(notes, "\n\tWarning: the cells outside the zone get %s, which is also the result's no-data value: a GIS shows "
              "them as cells without data (choose another value with -a, or -a nodata to mean it)\n",
       shortest_text(zone.outside_m).c_str());
}

WrittenResult write_result(Run& run, const Companions& companions, std::ostream& notes, const PassProgress& progress) {
  const RasterGeometry& g = run.geometry();
  const ResultFiles files = chosen_result_files(run);
  if (!has_room(run, *open_result(run.job.result), files) && run.dem->release_copy()) {
    note(notes, "\n\tThe disk is full: the run's copy of the grid's cells is removed to make room, and the result is "
                "made from the grid's text\n");
  }
  check_room(run, *open_result(run.job.result), files);
  WrittenResult written;
  std::string found;
  for (;;) {
    try {
      // One pass writes the result; a zone not yet measured (the command
      // line: nothing is asked in between) is measured in it too.
      const std::unique_ptr<ResultSink> sink = open_result(run.job.result);
      const bool measure = !run.zone_measured;
      ZoneFigures figures;
      ResultSet result;
      sink->begin(run, result);
      for_each_band(
          *run.dem, run.reference.get(), *run.mask,
          [&](const Band& band) {
            if (measure) measure_band(run, band, figures);
            if (run.job.reference && run.job.reference->difference) {
              const int code = run.mask->zone_value(run.job.zone.code);
              for (int k = 0; k < band.count; ++k) {
                difference_line(band.altitude[k], band.reference[k], band.mask[k], band.width, code, g,
                                run.reference->facts().geometry);
              }
            }
            for (int k = 0; band.column == 0 && k < band.count; ++k) progress(sink->pass_name(), band.first + k, g.nb_lig);
            sink->take(run, band);
          },
          sink->cells(run, measure), MaskCells::zone, run.job.zone.code);
      progress(sink->pass_name(), g.nb_lig, g.nb_lig);
      if (measure) zone_measured(run, figures, notes);
      sink->finish(run, result);
      written.names = add_prj_and_report(result, run, *sink, written.report);
      std::vector<std::unique_ptr<OutputFile>> others;
      add_companions(result, run, written.report, companions ? companions(run) : std::vector<CompanionFile>{}, others);
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
