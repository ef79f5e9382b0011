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
void check_outputs(const Run& run) {
  const Job& job = run.job;
  struct Output {
    std::string flag, path;
  };
  std::vector<Output> outputs;
  if (job.table && job.table->path != "-") outputs.push_back({"--table", job.table->path});
  if (job.curves && job.curves->path != "-") outputs.push_back({"--curves", job.curves->path});
  if (job.result_wanted && !job.result.report_copy.empty() && job.result.report_copy != "-") {
    outputs.push_back({"--report", job.result.report_copy});
  }
  const std::vector<std::string> inputs = input_files(run);
  const std::vector<std::string> results = job.result_wanted ? result_set_paths(run) : std::vector<std::string>{};
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

WrittenResult run_job(Run& run, std::ostream& out, std::ostream& notes, const PassProgress& progress) {
  Job& job = run.job;
  run.folder = job.result_wanted ? folder_of(job.result.base)
              : job.table->path != "-" ? folder_of(job.table->path)
                                       : "";
  if (job.result_wanted && !is_folder(run.folder)) {
    fatal_stop(text("\n\n\tThere is no folder %s for the result %s\n", run.folder.c_str(),
                    chosen_result_files(run).raster.c_str()));
  }
  if (!run.folder.empty() && is_folder(run.folder)) {
    const FolderLock lock(run.folder, false);
    if (lock.held()) notes << recover_interrupted_results(run.folder);
  }

  load_dem(run, notes, progress);
  load_mask(run, notes);
  if (job.reference) load_reference(run, notes, progress);
  if (job.curves) run.levels = levels_of(job.curves->levels_m);

  // Everything the run will write is checked before its first byte.
  check_outputs(run);
  if (job.result_wanted) {
    if (job.result.layout != ResultLayout::raw && !run.geometry().placed && !job.result.corner &&
        run.dem_facts().stored_cells) {
      if (!run.dem_facts().header_corner) {
        throw MissingChoice{text("a grid or GeoTIFF result needs the map coordinates of its lower-left corner, which "
                                 "the raw DEM %s does not give: give them with --corner X,Y",
                                 job.dem.path.c_str())};
      }
      job.result.corner = run.dem_facts().header_corner;
    }
    if (const std::string problem = result_problem(run); !problem.empty()) fatal_stop(problem);
  }

  WrittenResult written;
  std::vector<TableRow> rows;
  if (job.table) {
    rows = zone_table(run, progress);
    written.table_rows = rows.size();
  }
  if (job.result_wanted) {
    code_warning(run, notes);
    // A GeoTIFF cannot fail to hold the result, nor a raw raster that holds
    // every stored value: their pass measures the zone too. A difference
    // is known once measured.
    const bool difference = job.reference && job.reference->difference;
    // The percentiles take passes of their own: the zone is measured first.
    if (difference || !job.percentiles.empty() ||
        (job.result.layout != ResultLayout::geotiff && !fits_unmeasured(run))) {
      measure_zone(run, notes, progress);
      if (const std::string problem = fit_problem(run); !problem.empty()) fatal_stop(problem);
    }
    if (difference && run.zone.difference_gaps > 0 && !run.geometry().has_nodata) {
      fatal_stop(text("\n\n\tThe reference %s has no data at %lld cells of the zone where the DEM %s has, and the "
                      "DEM has no no-data value to mark them with in the difference\n",
                      job.reference->surface.path.c_str(), run.zone.difference_gaps, job.dem.path.c_str()));
    }
    if (difference && run.zone.difference_hidden > 0) {
      fatal_stop(text("\n\n\tThe difference DEM - REF is %s, the no-data value of the DEM %s, at %lld cells of the "
                      "zone: the result could not tell them from cells without data\n",
                      shortest_text(run.geometry().nodata).c_str(), job.dem.path.c_str(), run.zone.difference_hidden));
    }
    outside_nodata_warning(run, notes);
  }
  // The table and the curves, once the zones are measured; the one for
  // standard output aside.
  std::string standard_output;
  const Companions companions = [&](const Run& measured) {
    std::vector<CompanionFile> files;
    if (job.table) files.push_back({job.table->path, table_text(measured, rows)});
    if (job.curves) {
      files.push_back({job.curves->path, curves_text(measured, job.table ? rows : std::vector<TableRow>{
                                                                                       {job.zone.code, measured.zone}})});
    }
    for (auto file = files.begin(); file != files.end();) {
      if (file->path != "-") {
        ++file;
        continue;
      }
      standard_output = std::move(file->content);
      file = files.erase(file);
    }
    return files;
  };
  if (job.result_wanted) {
    const std::size_t table_rows = written.table_rows;
    written = write_result(run, companions, notes, progress);
    written.table_rows = table_rows;
  } else {
    // The table alone (and its curves), each put in place whole.
    std::vector<OutputFile> outputs(2);
    const std::vector<CompanionFile> files = companions(run);
    for (std::size_t k = 0; k < files.size(); ++k) {
      outputs[k].create(files[k].path);
      outputs[k].write(files[k].content);
    }
    for (std::size_t k = 0; k < files.size(); ++k) outputs[k].publish();
  }
  out << standard_output;
  return written;
}
