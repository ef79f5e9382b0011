#include "program.h"

#include <new>

#include "dialog.h"
#include "fatal.h"
#include "files/library_raster.h"

int run_mesacrop(Console& con, const std::string& images_dir) {
  try {
    Run run;
    opening(run, con, images_dir);
    parameters(run, con);
    measure_zone(run, con.out, dialog_progress(con));
    saving(run, con);
    con.out.flush();
    return 0;
  } catch (const FatalStop& stop) {
    con.out << stop.message;
  } catch (const std::bad_alloc&) {
    con.out << "\n\n\tNot enough memory for this DEM\n";
  }
  wait_key(con);
  return 1;
}

int ask_format(Console& con) {
  if (gdal_available()) {
    return ask_choice(con, "\n\n\tFormat Type :\n\t\t0 ====> ascii\n\t\t1 ====> raster\n\t\t2 ====> GeoTIFF\n\t\t", 2);
  }
  return ask_choice(con, "\n\n\tFormat Type :\n\t\t0 ====> ascii\n\t\t1 ====> raster\n\t\t", 1);
}

PassProgress dialog_progress(Console& con) {
  return [&con](const char* pass, int line, int lines) {
    if (line == lines) return;
    const std::string name = pass;
    if (name == "reading the grid") show_progress(con, line, 19);
    if (name == "writing the grid") show_progress(con, line, 15);
  };
}
