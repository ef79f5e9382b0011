// A whole job, from its choices to its result, without a question.
#include "fatal.h"
#include "files/file_names.h"
#include "files/input_file.h"
#include "files/output_file.h"
#include "files/result_set.h"
#include "text.h"
#include "work.h"

WrittenResult run_job(RunState& st, std::ostream& out, std::ostream& notes, const PassProgress& progress) {
  Job& job = st.job;
  st.folder = job.result_wanted ? folder_of(job.result.base)
              : job.table->path != "-" ? folder_of(job.table->path)
                                       : "";
  if (job.result_wanted && !is_folder(st.folder)) {
    fatal_stop(text("\n\n\tThere is no folder %s for the result %s\n", st.folder.c_str(),
                    chosen_result_files(st).raster.c_str()));
  }
  if (!st.folder.empty()) {
    const FolderLock lock(st.folder, false);
    if (lock.held()) notes << recover_interrupted_results(st.folder);
  }

  if (job.dem.layout == DemLayout::raw) {
    st.dem.descriptor_path = beside(job.dem.path, ".txt");
    open_required(job.dem.path);
    if (!read_dem_descriptor(st)) {
      if (!job.dem.lines || !job.dem.pixel_size) {
        throw MissingChoice{text("the DEM %s has no descriptor %s: give its size with --size LINES,COLUMNS and its "
                                 "pixel size with --pixel-size S",
                                 job.dem.path.c_str(), st.dem.descriptor_path.c_str())};
      }
      take_dem_size_choices(st, "--size");
    } else if (st.dem.geometry.dpix_size == 0.0) {
      if (!job.dem.pixel_size) {
        throw MissingChoice{text("the descriptor %s gives a pixel size of 0: give it with --pixel-size S",
                                 st.dem.descriptor_path.c_str())};
      }
      st.dem.geometry.dpix_size = *job.dem.pixel_size;
    }
    const StoredRange range = raw_dem_range(st, notes, false);  // its unit is chosen: no range to show
    raw_dem_loaded(st, range, notes);
  } else if (job.dem.layout == DemLayout::gdal) {
    if (!open_gdal_dem(st) && !job.dem.pixel_size) {
      throw MissingChoice{text("the raster %s has no georeferencing: give its pixel size with --pixel-size S",
                               job.dem.path.c_str())};
    }
    gdal_dem_loaded(st, notes);
  } else {
    load_grid(st, notes, progress);
  }

  if (job.mask.layout == MaskLayout::raw) {
    st.mask.descriptor_path = beside(job.mask.path, ".txt");
    open_required(job.mask.path, "\n\n\tFile %s unknown\n");
    if (!read_mask_descriptor(st)) {
      if (!job.mask.lines) {
        throw MissingChoice{text("the mask %s has no descriptor %s: give its size with --size LINES,COLUMNS",
                                 job.mask.path.c_str(), st.mask.descriptor_path.c_str())};
      }
      st.mask.lines = *job.mask.lines;
      st.mask.columns = *job.mask.columns;
    }
  } else if (job.mask.layout == MaskLayout::bitmap) {
    open_required(job.mask.path);
  }
  load_mask(st, notes);
  if (job.table) write_table(st, zone_table(st, progress), out);
  if (!job.result_wanted) return {};
  code_warning(st, notes);
  // A GeoTIFF cannot fail to hold the result, nor a raw raster that holds
  // every stored value: their pass measures the zone too.
  if (job.result.layout != ResultLayout::geotiff && !fits_unmeasured(st)) measure_zone(st, notes, progress);

  if (job.result.layout != ResultLayout::raw && !st.dem.geometry.placed && !job.result.corner &&
      job.dem.layout == DemLayout::raw) {
    if (!st.dem.header_corner) {
      throw MissingChoice{text("a grid or GeoTIFF result needs the map coordinates of its lower-left corner, which the raw DEM "
                               "%s does not give: give them with --corner X,Y",
                               job.dem.path.c_str())};
    }
    job.result.corner = st.dem.header_corner;
  }
  if (const std::string problem = result_problem(st); !problem.empty()) fatal_stop(problem);
  return write_result(st, notes, progress);
}
