// The input dialog: folder, DEM and mask, and their files.
#include "fatal.h"
#include "platform.h"
#include "files/formats.h"
#include "steps.h"

namespace {

void read_or_ask_dem_descriptor(RunState& st, Console& con) {
  st.f1d = open_input(st.nomdescr1);
  if (st.f1d) {
    read_dem_descriptor(st.f1d.get(), st.nb_lig, st.nb_col, st.val, st.mind, st.maxd, st.dpix_size);
    st.descr_OK = true;
    st.f1d.reset();
    check_dimensions(st.nb_lig, st.nb_col, "The descriptor " + st.nomdescr1);
    check_pixel_size(st.dpix_size, "The descriptor " + st.nomdescr1);
    return;
  }
  say(con, "\n No File %s \n\n", st.nomdescr1.c_str());
  st.nb_lig = ask_int(con, "\n\tNumber of lines   ? ");
  st.nb_col = ask_int(con, "\n\tNumber of columns ? ");
  st.dpix_size = ask_pixel_size(con, "\n\tPixel size ? ");
  st.val = st.itype == 0 ? 2 : 4;
  st.descr_OK = false;
  check_dimensions(st.nb_lig, st.nb_col, "Your answer");
}

void open_raw_dem(RunState& st, Console& con) {
  st.itype = ask_choice(con, "\n\ttype of DEM raster :\n\t\t0 ====> 16 bits\n\t\t1 ====> 32 bits\n\t\t", 1);
  st.nomdescr1 = st.nomim1;
  const char* suffix = st.itype == 0 ? "_m2" : "_m4";
  st.nomim1 += std::string(suffix) + ".raw";
  st.nomdescr1 += std::string(suffix) + ".txt";
  st.f1 = open_input(st.nomim1);
  if (!st.f1) fatal_stop(text("\n File %s unknown\n", st.nomim1.c_str()));
  read_or_ask_dem_descriptor(st, con);
  if (st.dpix_size == 0.0) st.dpix_size = ask_pixel_size(con, "\n\n\tPixel Size (decimal value in meters) ? ");
  dem_lecture(st, con);
}

void open_ascii_grid(RunState& st, Console& con) {
  st.nomim1 += ".asc";
  st.f1 = open_input(st.nomim1);
  if (!st.f1) fatal_stop(text("\n File %s unknown\n", st.nomim1.c_str()));
  ascii_lecture(st, con);
}

void read_or_ask_mask_descriptor(RunState& st, Console& con) {
  st.f3d = open_input(st.nomdescr3);
  if (st.f3d) {
    read_mask_descriptor(st.f3d.get(), st.num_lines, st.num_columns);
    st.f3d.reset();
    return;
  }
  say(con, "\n\n\tNo descriptive file %s unknown\n", st.nomdescr3.c_str());
  st.num_lines = ask_int(con, "\n\n\tPlease introduce : \n\t\tthe number of lines : ");
  st.num_columns = ask_int(con, "\t\tthe number of columns : ");
}

void open_mask(RunState& st, Console& con) {
  st.nomfic1 = ask_name(con, "\n\n\tName of the mask ? ");
  st.nomim3 += st.nomfic1;
  st.nomdescr3 = st.nomim3;
  st.mask_type = ask_choice(con, "\n\n\tMask Type :\n\t\t0 ====> bitmap\n\t\t1 ====> raster\n\t\t", 1);
  if (st.mask_type == 1) {
    st.nomim3 += ".raw";
    st.nomdescr3 += ".txt";
    st.f3 = open_input(st.nomim3);
    if (!st.f3) fatal_stop(text("\n\n\tFile %s unknown\n", st.nomim3.c_str()));
    read_or_ask_mask_descriptor(st, con);
  } else {
    st.nomim3 += ".bmp";
    st.f3 = open_input(st.nomim3);
    if (!st.f3) fatal_stop(text("\n File %s unknown\n", st.nomim3.c_str()));
    st.f3.reset();  // the bitmap reader opens it by name
  }
  mask_lecture(st, con);
}

}  // namespace

void opening(RunState& st, Console& con) {
  print_banner(con);
  st.nomim1 = st.images_dir;
  st.nomdir = ask_name(con, text("\n\n\tName of the File Folder located in the Directory %s : ", st.nomim1.c_str()));
  st.nomim1 += st.nomdir + kPathSeparator;
  st.nomim2 = st.nomim1;
  st.nomim3 = st.nomim1;

  st.nomfic1 = ask_name(con, "\n\n\tName of Digital Elevation Model [DEM] (without any extension) ? ");
  st.nomim1 += st.nomfic1;
  st.format = ask_choice(con, "\n\n\tFormat Type :\n\t\t0 ====> ascii\n\t\t1 ====> raster\n\t\t", 1);
  if (st.format == 1) {
    open_raw_dem(st, con);
  } else {
    open_ascii_grid(st, con);
  }

  say(con, "\n\n\tTHE DIGITAL ELEVATION MODEL HAS : ");
  say(con, "\n\t            %d LINES", st.nb_lig);
  say(con, "\n\t        AND %d COLUMNS\n", st.nb_col);

  open_mask(st, con);
}
