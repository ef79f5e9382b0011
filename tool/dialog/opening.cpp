// The input dialog: folder, DEM and mask, and their files.
#include "dialog.h"
#include "fatal.h"
#include "files/file_names.h"
#include "files/input_file.h"
#include "files/result_set.h"
#include "platform.h"
#include "files/library_raster.h"
#include "formats/registry.h"
#include "raster/geometry.h"

namespace {

const char* const kUnitQuestion =
    "\n\n\tAre these values\n\t\t0 ====> in meters"
    "\n\t\t1 ====> in decimeters\n\t\t2 ====> in centimeters"
    "\n\t\t3 ====> in millimeters\n\t\t";

double ask_pixel_size(Console& con, const std::string& question) {
  for (;;) {
    const double answer = ask_real(con, question);
    if (valid_pixel_size(answer)) return answer;
    say(con, "\n\tA pixel size is %s", pixel_size_rule(answer));
  }
}

// The raw DEM: its size and pixel size asked where its descriptor has none,
// its range shown before its unit is asked.
void ask_raw_dem(Run& run, Console& con, const std::string& base) {
  DemChoice& dem = run.job.dem;
  dem.layout = DemLayout::raw;
  dem.itype = ask_choice(con, "\n\ttype of DEM raster :\n\t\t0 ====> 16 bits\n\t\t1 ====> 32 bits\n\t\t", 1);
  dem.path = raw_raster_file(base, raw_type(dem.itype));
  dem.size_source = "Your answer";
  run.dem = open_dem(dem);
  const unsigned needs = run.dem->needs();
  if ((needs & kNeedsSize) != 0) {
    // Asked, and written beside the DEM once it is loaded.
    say(con, "\n No File %s \n\n", run.dem_facts().descriptor_path.c_str());
    dem.lines = ask_int(con, "\n\tNumber of lines   ? ");
    dem.columns = ask_int(con, "\n\tNumber of columns ? ");
    dem.pixel_size = ask_pixel_size(con, "\n\tPixel size ? ");
    dem.write_descriptor = true;
    check_dimensions(*dem.lines, *dem.columns, dem.size_source);
  }
  if ((needs & kNeedsPixelSize) != 0 && dem.pixel_size.value_or(0.0) == 0.0) {
    dem.pixel_size = ask_pixel_size(con, "\n\n\tPixel Size (decimal value in meters) ? ");
  }
  const StoredRange range = *run.dem->stored_range(dem, con.out);
  say(con, "\n\n\tHypsometric dynamic scale:\n\t\tMin = %lld\n\t\tMax = %lld ", range.low, range.high);
  dem.unit = ask_choice(con, kUnitQuestion, 3);
  run.dem->load(dem, con.out, dialog_progress(con));
}

void ask_geotiff(Run& run, Console& con, const std::string& base) {
  DemChoice& dem = run.job.dem;
  dem.layout = DemLayout::gdal;
  dem.path = base + ".tif";
  run.dem = open_dem(dem);
  if ((run.dem->needs() & kNeedsPixelSize) != 0) {
    dem.pixel_size = ask_pixel_size(con, "\n\n\tPixel Size (decimal value in meters) ? ");
  }
  try {
    run.dem->load(dem, con.out, dialog_progress(con));
  } catch (const MissingChoice& missing) {
    // The dialog has no question for it: the band must say it.
    fatal_stop(text("\n\n\tThe unit of the altitudes is not known: %s (on the command line),\n\tor set the band's "
                    "unit first (gdal_edit.py -units m %s)\n",
                    missing.message.c_str(), dem.path.c_str()));
  }
}

void ask_ascii_grid(Run& run, Console& con, const std::string& base) {
  DemChoice& dem = run.job.dem;
  dem.layout = DemLayout::ascii_grid;
  dem.path = grid_file(base);
  run.dem = open_dem(dem);
  say(con, "\n");
  run.dem->load(dem, con.out, dialog_progress(con));
}

void ask_mask(Run& run, Console& con) {
  MaskChoice& mask = run.job.mask;
  const std::string base = run.folder + ask_name(con, "\n\n\tName of the mask ? ");
  const int mask_type = gdal_available()
                            ? ask_choice(con, "\n\n\tMask Type :\n\t\t0 ====> bitmap\n\t\t1 ====> raster\n\t\t2 ====> GeoTIFF\n\t\t", 2)
                            : ask_choice(con, "\n\n\tMask Type :\n\t\t0 ====> bitmap\n\t\t1 ====> raster\n\t\t", 1);
  mask.layout = mask_type == 2 ? MaskLayout::gdal : mask_type == 1 ? MaskLayout::raw : MaskLayout::bitmap;
  mask.path = base + (mask_type == 2 ? ".tif" : mask_type == 1 ? ".raw" : ".bmp");
  run.mask = open_mask(mask);
  if (run.mask->needs_size()) {
    say(con, "\n\n\tNo descriptive file %s unknown\n", run.mask->facts().descriptor_path.c_str());
    mask.lines = ask_int(con, "\n\n\tPlease introduce : \n\t\tthe number of lines : ");
    mask.columns = ask_int(con, "\t\tthe number of columns : ");
  }
  run.mask->load(mask, run.dem_facts(), run.job.dem.path, con.out);
}

}  // namespace

void opening(Run& run, Console& con, const std::string& images_dir) {
  print_banner(con);
  for (;;) {
    const std::string nomdir =
        ask_name(con, text("\n\n\tName of the File Folder located in the Directory %s : ", images_dir.c_str()));
    run.folder = images_dir + nomdir + kPathSeparator;
    if (is_folder(run.folder)) break;
    say(con, "\n\tThere is no folder %s: please name a folder of %s\n", run.folder.c_str(), images_dir.c_str());
  }
  {
    // What runs that were stopped left in the folder is put right first,
    // unless another run is putting its result in place there just now (it
    // does the same then, and so does this run before putting its own).
    const FolderLock lock(run.folder, false);
    if (lock.held()) say(con, "%s", recover_interrupted_results(run.folder).c_str());
  }

  const std::string base = run.folder + ask_name(con, "\n\n\tName of Digital Elevation Model [DEM] (without any extension) ? ");
  const int format = ask_format(con);
  if (format == 2) {
    ask_geotiff(run, con, base);
  } else if (format == 1) {
    ask_raw_dem(run, con, base);
  } else {
    ask_ascii_grid(run, con, base);
  }
  show_dimensions(run, con.out);
  ask_mask(run, con);
}
