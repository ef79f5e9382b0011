// The input dialog: folder, DEM and mask, and their files.
#include "fatal.h"
#include "files/file_names.h"
#include "files/formats.h"
#include "files/input_file.h"
#include "files/result_set.h"
#include "platform.h"
#include "steps.h"

namespace {

double ask_pixel_size(Console& con, const std::string& question) {
  for (;;) {
    const double answer = ask_real(con, question);
    if (valid_pixel_size(answer)) return answer;
    say(con, "\n\tA pixel size is %s", pixel_size_rule(answer));
  }
}

void read_or_ask_dem_descriptor(RunState& st, Console& con) {
  RasterGeometry& g = st.dem.geometry;
  if (InputFile descriptor = open_input(st.dem.descriptor_path)) {
    // Its bytes per cell and range are not used: the answers and the loading
    // give them.
    int val = 0, mind = 0, maxd = 0;
    read_dem_descriptor(descriptor.get(), g.nb_lig, g.nb_col, val, mind, maxd, g.dpix_size);
    st.dem.descr_OK = true;
    check_dimensions(g.nb_lig, g.nb_col, "The descriptor " + st.dem.descriptor_path);
    check_pixel_size(g.dpix_size, "The descriptor " + st.dem.descriptor_path);
    return;
  }
  say(con, "\n No File %s \n\n", st.dem.descriptor_path.c_str());
  g.nb_lig = ask_int(con, "\n\tNumber of lines   ? ");
  g.nb_col = ask_int(con, "\n\tNumber of columns ? ");
  g.dpix_size = ask_pixel_size(con, "\n\tPixel size ? ");
  st.dem.descr_OK = false;
  check_dimensions(g.nb_lig, g.nb_col, "Your answer");
}

void open_raw_dem(RunState& st, Console& con, const std::string& base) {
  st.dem.itype = ask_choice(con, "\n\ttype of DEM raster :\n\t\t0 ====> 16 bits\n\t\t1 ====> 32 bits\n\t\t", 1);
  const RawType& type = raw_type(st.dem.itype);
  st.dem.path = raw_raster_file(base, type);
  st.dem.descriptor_path = raw_descriptor_file(base, type);
  open_required(st.dem.path);
  read_or_ask_dem_descriptor(st, con);
  if (st.dem.geometry.dpix_size == 0.0) {
    st.dem.geometry.dpix_size = ask_pixel_size(con, "\n\n\tPixel Size (decimal value in meters) ? ");
  }
  dem_lecture(st, con);
}

void open_ascii_grid(RunState& st, Console& con, const std::string& base) {
  st.dem.path = grid_file(base);
  open_required(st.dem.path);
  ascii_lecture(st, con);
}

void read_or_ask_mask_descriptor(RunState& st, Console& con) {
  if (InputFile descriptor = open_input(st.mask.descriptor_path)) {
    if (read_mask_descriptor(descriptor.get(), st.mask.num_lines, st.mask.num_columns) < 2) {
      std::rewind(descriptor.get());
      std::string head(40, '\0');
      head.resize(std::fread(head.data(), 1, head.size(), descriptor.get()));
      fatal_stop(text("\n\n\tThe mask descriptor %s does not hold two sizes (lines, then columns): it begins "
                      "with \"%s\"\n",
                      st.mask.descriptor_path.c_str(), shown(head).c_str()));
    }
    return;
  }
  say(con, "\n\n\tNo descriptive file %s unknown\n", st.mask.descriptor_path.c_str());
  st.mask.num_lines = ask_int(con, "\n\n\tPlease introduce : \n\t\tthe number of lines : ");
  st.mask.num_columns = ask_int(con, "\t\tthe number of columns : ");
}

void open_mask(RunState& st, Console& con) {
  const std::string base = st.folder + ask_name(con, "\n\n\tName of the mask ? ");
  st.mask.mask_type = ask_choice(con, "\n\n\tMask Type :\n\t\t0 ====> bitmap\n\t\t1 ====> raster\n\t\t", 1);
  if (st.mask.mask_type == 1) {
    st.mask.path = base + ".raw";
    st.mask.descriptor_path = base + ".txt";
    open_required(st.mask.path, "\n\n\tFile %s unknown\n");
    read_or_ask_mask_descriptor(st, con);
  } else {
    st.mask.path = base + ".bmp";
    open_required(st.mask.path);
  }
  mask_lecture(st, con);
}

}  // namespace

void opening(RunState& st, Console& con) {
  print_banner(con);
  for (;;) {
    const std::string nomdir =
        ask_name(con, text("\n\n\tName of the File Folder located in the Directory %s : ", st.images_dir.c_str()));
    st.folder = st.images_dir + nomdir + kPathSeparator;
    if (is_folder(st.folder)) break;
    say(con, "\n\tThere is no folder %s: please name a folder of %s\n", st.folder.c_str(), st.images_dir.c_str());
  }
  {
    // What runs that were stopped left in the folder is put right first,
    // unless another run is putting its result in place there just now (it
    // does the same then, and so does this run before putting its own).
    const FolderLock lock(st.folder, false);
    if (lock.held()) say(con, "%s", recover_interrupted_results(st.folder).c_str());
  }

  const std::string base = st.folder + ask_name(con, "\n\n\tName of Digital Elevation Model [DEM] (without any extension) ? ");
  st.dem.format = ask_choice(con, "\n\n\tFormat Type :\n\t\t0 ====> ascii\n\t\t1 ====> raster\n\t\t", 1);
  if (st.dem.format == 1) {
    open_raw_dem(st, con, base);
  } else {
    open_ascii_grid(st, con, base);
  }

  say(con, "\n\n\tTHE DIGITAL ELEVATION MODEL HAS : ");
  say(con, "\n\t            %d LINES", st.dem.geometry.nb_lig);
  say(con, "\n\t        AND %d COLUMNS\n", st.dem.geometry.nb_col);

  open_mask(st, con);
}
