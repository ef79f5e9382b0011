// A whole job, from its choices to its result, without a question.
#include <algorithm>
#include <filesystem>

#include "fatal.h"
#include "files/file_names.h"
#include "files/input_file.h"
#include "files/output_file.h"
#include "files/result_set.h"
#include "number_text.h"
#include "text.h"
#include "work.h"

namespace {

// The raw DEM, its size and pixel size from its descriptor or the choices.
void load_raw_dem(RunState& st, std::ostream& notes) {
  Job& job = st.job;
  st.dem.descriptor_path = beside(job.dem.path, ".txt");
  open_required(job.dem.path);
  if (!read_dem_descriptor(st)) {
    if (!job.dem.lines || !job.dem.pixel_size) {
      throw MissingChoice{text("the DEM %s has no descriptor %s: give its size with --size LINES,COLUMNS and its "
                               "pixel size with --pixel-size S",
                               job.dem.path.c_str(), st.dem.descriptor_path.c_str())};
    }
    take_dem_size_choices(st, "--size");
  } else {
    const RasterGeometry& g = st.dem.geometry;
    if (job.dem.lines) {
      note(notes, "\n\tWarning: --size %d,%d is not used for the DEM: its descriptor %s gives %d lines and %d columns\n",
           *job.dem.lines, *job.dem.columns, st.dem.descriptor_path.c_str(), g.nb_lig, g.nb_col);
    }
    if (g.dpix_size == 0.0) {
      if (!job.dem.pixel_size) {
        throw MissingChoice{text("the descriptor %s gives a pixel size of 0: give it with --pixel-size S",
                                 st.dem.descriptor_path.c_str())};
      }
      st.dem.geometry.dpix_size = *job.dem.pixel_size;
    } else if (job.dem.pixel_size) {
      note(notes, "\n\tWarning: --pixel-size %s is not used: the descriptor %s gives %s\n",
           shortest_text(*job.dem.pixel_size).c_str(), st.dem.descriptor_path.c_str(),
           shortest_text(g.dpix_size).c_str());
    }
  }
  const StoredRange range = raw_dem_range(st, notes, false);  // its unit is chosen: no range to show
  raw_dem_loaded(st, range, notes);
}

void load_gdal_dem(RunState& st, std::ostream& notes) {
  const Job& job = st.job;
  const bool georeferenced = open_gdal_dem(st);
  if (!georeferenced && !job.dem.pixel_size) {
    throw MissingChoice{text("the raster %s has no georeferencing: give its pixel size with --pixel-size S",
                             job.dem.path.c_str())};
  }
  if (georeferenced && job.dem.pixel_size) {
    const GdalRaster& r = *st.dem.gdal;
    note(notes, "\n\tWarning: --pixel-size %s is not used: the geotransform of %s gives cells of %s x %s\n",
         shortest_text(*job.dem.pixel_size).c_str(), job.dem.path.c_str(), shortest_text(r.transform[1]).c_str(),
         shortest_text(-r.transform[5]).c_str());
  }
  gdal_dem_loaded(st, notes);
}

void load_raw_mask_descriptor(RunState& st, std::ostream& notes) {
  const Job& job = st.job;
  st.mask.descriptor_path = beside(job.mask.path, ".txt");
  open_required(job.mask.path, "\n\n\tFile %s unknown\n");
  if (read_mask_descriptor(st)) {
    if (job.mask.lines) {
      note(notes, "\n\tWarning: --size %d,%d is not used for the mask: its descriptor %s gives %d lines and %d columns\n",
           *job.mask.lines, *job.mask.columns, st.mask.descriptor_path.c_str(), st.mask.lines, st.mask.columns);
    }
    return;
  }
  if (!job.mask.lines) {
    throw MissingChoice{text("the mask %s has no descriptor %s: give its size with --size LINES,COLUMNS",
                             job.mask.path.c_str(), st.mask.descriptor_path.c_str())};
  }
  st.mask.lines = *job.mask.lines;
  st.mask.columns = *job.mask.columns;
}

// Two paths of the same file, whether it exists yet or not.
bool same_path(const std::string& a, const std::string& b) {
  if (a.empty() || b.empty()) return false;
  if (same_file(a, b)) return true;
  const std::filesystem::path pa = std::filesystem::u8path(a).lexically_normal();
  const std::filesystem::path pb = std::filesystem::u8path(b).lexically_normal();
  return pa == pb;
}

// The outputs named by flags (the table, the report's copy) may be no input,
// no file of the result and not each other; their folders must be there.
void check_outputs(const RunState& st) {
  const Job& job = st.job;
  struct Output {
    std::string flag, path;
  };
  std::vector<Output> outputs;
  if (job.table && job.table->path != "-") outputs.push_back({"--table", job.table->path});
  if (job.result_wanted && !job.result.report_copy.empty() && job.result.report_copy != "-") {
    outputs.push_back({"--report", job.result.report_copy});
  }
  const std::vector<std::string> inputs = input_files(st);
  const std::vector<std::string> results = job.result_wanted ? result_set_paths(st) : std::vector<std::string>{};
  for (std::size_t k = 0; k < outputs.size(); ++k) {
    const Output& out = outputs[k];
    for (const std::string& input : inputs) {
      if (same_path(out.path, input)) {
        throw MissingChoice{text("%s %s would replace the input file %s: give it another name", out.flag.c_str(),
                                 out.path.c_str(), input.c_str())};
      }
    }
    for (const std::string& result : results) {
      if (same_path(out.path, result)) {
        throw MissingChoice{text("%s %s is a file of the result (%s): give it another name", out.flag.c_str(),
                                 out.path.c_str(), result.c_str())};
      }
    }
    for (std::size_t other = 0; other < k; ++other) {
      if (same_path(out.path, outputs[other].path)) {
        throw MissingChoice{text("%s and %s name the same file %s: give them different names",
                                 outputs[other].flag.c_str(), out.flag.c_str(), out.path.c_str())};
      }
    }
    if (!is_folder(folder_of(out.path))) {
      fatal_stop(text("\n\n\tThere is no folder %s for the file %s of %s\n", folder_of(out.path).c_str(),
                      out.path.c_str(), out.flag.c_str()));
    }
  }
}

}  // namespace

WrittenResult run_job(RunState& st, std::ostream& out, std::ostream& notes, const PassProgress& progress) {
  Job& job = st.job;
  st.folder = job.result_wanted ? folder_of(job.result.base)
              : job.table->path != "-" ? folder_of(job.table->path)
                                       : "";
  if (job.result_wanted && !is_folder(st.folder)) {
    fatal_stop(text("\n\n\tThere is no folder %s for the result %s\n", st.folder.c_str(),
                    chosen_result_files(st).raster.c_str()));
  }
  if (!st.folder.empty() && is_folder(st.folder)) {
    const FolderLock lock(st.folder, false);
    if (lock.held()) notes << recover_interrupted_results(st.folder);
  }

  if (job.dem.layout == DemLayout::raw) {
    load_raw_dem(st, notes);
  } else if (job.dem.layout == DemLayout::gdal) {
    load_gdal_dem(st, notes);
  } else {
    load_grid(st, notes, progress);
  }
  if (job.mask.layout == MaskLayout::raw) {
    load_raw_mask_descriptor(st, notes);
  } else if (job.mask.layout == MaskLayout::bitmap) {
    open_required(job.mask.path);
  }
  load_mask(st, notes);

  // Everything the run will write is checked before its first byte.
  check_outputs(st);
  if (job.result_wanted) {
    if (job.result.layout != ResultLayout::raw && !st.dem.geometry.placed && !job.result.corner &&
        job.dem.layout == DemLayout::raw) {
      if (!st.dem.header_corner) {
        throw MissingChoice{text("a grid or GeoTIFF result needs the map coordinates of its lower-left corner, which "
                                 "the raw DEM %s does not give: give them with --corner X,Y",
                                 job.dem.path.c_str())};
      }
      job.result.corner = st.dem.header_corner;
    }
    if (const std::string problem = result_problem(st); !problem.empty()) fatal_stop(problem);
  }

  WrittenResult written;
  std::vector<CompanionFile> companions;
  if (job.table) {
    const std::vector<TableRow> rows = zone_table(st, progress);
    written.table_rows = rows.size();
    companions.push_back({job.table->path, table_text(st, rows)});
  }
  if (job.result_wanted) {
    code_warning(st, notes);
    // A GeoTIFF cannot fail to hold the result, nor a raw raster that holds
    // every stored value: their pass measures the zone too.
    if (job.result.layout != ResultLayout::geotiff && !fits_unmeasured(st)) {
      measure_zone(st, notes, progress);
      if (const std::string problem = fit_problem(st); !problem.empty()) fatal_stop(problem);
    }
    outside_nodata_warning(st, notes);
  }
  std::vector<CompanionFile> files;
  std::string table_out;
  for (CompanionFile& file : companions) {
    if (file.path == "-") {
      table_out = std::move(file.content);
    } else {
      files.push_back(std::move(file));
    }
  }
  if (job.result_wanted) {
    const std::size_t rows = written.table_rows;
    written = write_result(st, files, notes, progress);
    written.table_rows = rows;
  } else if (!files.empty()) {
    OutputFile table;
    table.create(files.front().path);
    table.write(files.front().content);
    table.publish();
  }
  out << table_out;
  return written;
}
