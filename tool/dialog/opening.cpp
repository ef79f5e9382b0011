// The input dialog: folder, DEM and mask, and their files.
#include "dialog.h"
#include "fatal.h"
#include "files/file_names.h"
#include "files/input_file.h"
#include "files/result_set.h"
#include "platform.h"
#include "files/library_raster.h"
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

void open_raw_dem(RunState& st, Console& con, const std::string& base) {
  DemChoice& dem = st.job.dem;
  dem.layout = DemLayout::raw;
  dem.itype = ask_choice(con, "\n\ttype of DEM raster :\n\t\t0 ====> 16 bits\n\t\t1 ====> 32 bits\n\t\t", 1);
  const RawType& type = raw_type(dem.itype);
  dem.path = raw_raster_file(base, type);
  st.dem.descriptor_path = raw_descriptor_file(base, type);
  open_required(dem.path);
  if (!read_dem_descriptor(st)) {
    // Asked, and written beside the DEM once it is loaded.
    say(con, "\n No File %s \n\n", st.dem.descriptor_path.c_str());
    dem.lines = ask_int(con, "\n\tNumber of lines   ? ");
    dem.columns = ask_int(con, "\n\tNumber of columns ? ");
    dem.pixel_size = ask_pixel_size(con, "\n\tPixel size ? ");
    dem.write_descriptor = true;
    take_dem_size_choices(st, "Your answer");
  }
  if (st.dem.geometry.dpix_size == 0.0) {
    dem.pixel_size = ask_pixel_size(con, "\n\n\tPixel Size (decimal value in meters) ? ");
    take_dem_size_choices(st, "Your answer");
  }
  const StoredRange range = raw_dem_range(st, con.out);
  say(con, "\n\n\tHypsometric dynamic scale:\n\t\tMin = %d\n\t\tMax = %d ", range.low, range.high);
  dem.unit = ask_choice(con, kUnitQuestion, 3);
  raw_dem_loaded(st, range, con.out);
}

void open_geotiff(RunState& st, Console& con, const std::string& base) {
  st.job.dem.layout = DemLayout::gdal;
  st.job.dem.path = base + ".tif";
  open_required(st.job.dem.path);
  if (!open_gdal_dem(st)) st.job.dem.pixel_size = ask_pixel_size(con, "\n\n\tPixel Size (decimal value in meters) ? ");
  try {
    gdal_dem_loaded(st, con.out);
  } catch (const MissingChoice& missing) {
    // The dialog has no question for it: the band must say it.
    fatal_stop(text("\n\n\tThe unit of the altitudes is not known: %s (on the command line),\n\tor set the band's "
                    "unit first (gdal_edit.py -units m %s)\n",
                    missing.message.c_str(), st.job.dem.path.c_str()));
  }
}

void open_ascii_grid(RunState& st, Console& con, const std::string& base) {
  st.job.dem.layout = DemLayout::ascii_grid;
  st.job.dem.path = grid_file(base);
  open_required(st.job.dem.path);
  say(con, "\n");
  load_grid(st, con.out, dialog_progress(con));
}

void open_mask(RunState& st, Console& con) {
  MaskChoice& mask = st.job.mask;
  const std::string base = st.folder + ask_name(con, "\n\n\tName of the mask ? ");
  const int mask_type = gdal_available()
                            ? ask_choice(con, "\n\n\tMask Type :\n\t\t0 ====> bitmap\n\t\t1 ====> raster\n\t\t2 ====> GeoTIFF\n\t\t", 2)
                            : ask_choice(con, "\n\n\tMask Type :\n\t\t0 ====> bitmap\n\t\t1 ====> raster\n\t\t", 1);
  if (mask_type == 2) {
    mask.layout = MaskLayout::gdal;
    mask.path = base + ".tif";
    open_required(mask.path);
  } else if (mask_type == 1) {
    mask.layout = MaskLayout::raw;
    mask.path = base + ".raw";
    st.mask.descriptor_path = base + ".txt";
    open_required(mask.path, "\n\n\tFile %s unknown\n");
    if (!read_mask_descriptor(st)) {
      say(con, "\n\n\tNo descriptive file %s unknown\n", st.mask.descriptor_path.c_str());
      mask.lines = st.mask.lines = ask_int(con, "\n\n\tPlease introduce : \n\t\tthe number of lines : ");
      mask.columns = st.mask.columns = ask_int(con, "\t\tthe number of columns : ");
    }
  } else {
    mask.layout = MaskLayout::bitmap;
    mask.path = base + ".bmp";
    open_required(mask.path);
  }
  load_mask(st, con.out);
}

}  // namespace

void opening(RunState& st, Console& con, const std::string& images_dir) {
  print_banner(con);
  for (;;) {
    const std::string nomdir =
        ask_name(con, text("\n\n\tName of the File Folder located in the Directory %s : ", images_dir.c_str()));
    st.folder = images_dir + nomdir + kPathSeparator;
    if (is_folder(st.folder)) break;
    say(con, "\n\tThere is no folder %s: please name a folder of %s\n", st.folder.c_str(), images_dir.c_str());
  }
  {
    // What runs that were stopped left in the folder is put right first,
    // unless another run is putting its result in place there just now (it
    // does the same then, and so does this run before putting its own).
    const FolderLock lock(st.folder, false);
    if (lock.held()) say(con, "%s", recover_interrupted_results(st.folder).c_str());
  }

  const std::string base = st.folder + ask_name(con, "\n\n\tName of Digital Elevation Model [DEM] (without any extension) ? ");
  const int format = ask_format(con);
  if (format == 2) {
    open_geotiff(st, con, base);
  } else if (format == 1) {
    open_raw_dem(st, con, base);
  } else {
    open_ascii_grid(st, con, base);
  }
  show_dimensions(st, con.out);
  open_mask(st, con);
}
