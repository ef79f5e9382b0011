// Loading the input DEM into dtab_in, in metres.
#include <algorithm>

#include <unistd.h>

#include "fatal.h"
#include "files/formats.h"
#include "files/output_file.h"
#include "steps.h"

namespace {

const char* const kUnitQuestion =
    "\n\n\tAre these values\n\t\t0 ====> in meters"
    "\n\t\t1 ====> in decimeters\n\t\t2 ====> in centimeters"
    "\n\t\t3 ====> in millimeters\n\t\t";

// A run holds the altitudes (8 bytes a cell) and the mask (1 byte a cell). A
// DEM that needs more memory than the machine has stops here, clearly, rather
// than being killed by the system halfway through.
void require_memory(const RunState& st) {
#if defined(_SC_PHYS_PAGES) && defined(_SC_PAGESIZE)
  const double needed = 9.0 * st.nb_lig * st.nb_col;
  const double physical = static_cast<double>(sysconf(_SC_PHYS_PAGES)) * static_cast<double>(sysconf(_SC_PAGESIZE));
  if (physical > 0 && needed > physical) {
    fatal_stop(text("\n\n\tA DEM of %d lines x %d columns needs about %.1f GiB of memory; this machine has %.1f GiB\n",
                    st.nb_lig, st.nb_col, needed / (1 << 30), physical / (1 << 30)));
  }
#else
  (void)st;
#endif
}

void warn_surplus(Console& con, std::uint64_t surplus, const std::string& path, int nb_lig, int nb_col,
                  int cell_bytes) {
  if (surplus == 0) return;
  say(con, "\n\tWarning: %s holds %llu bytes more than %d lines x %d columns x %d bytes; they are not read\n",
      path.c_str(), static_cast<unsigned long long>(surplus), nb_lig, nb_col, cell_bytes);
}

// The true smallest and largest raw values: the cells still hold the stored
// integers.
void find_extremes(RunState& st) {
  double low = st.dtab_in[0][0], high = low;
  for (int i = 0; i < st.nb_lig; ++i) {
    const double* row = st.dtab_in[i];
    for (int j = 0; j < st.nb_col; ++j) {
      low = std::min(low, row[j]);
      high = std::max(high, row[j]);
    }
  }
  st.mind = static_cast<int>(low);
  st.maxd = static_cast<int>(high);
}

// The descriptor that was missing, written whole now that the DEM has loaded.
void write_new_descriptor(RunState& st, Console& con) {
  try {
    OutputFile descriptor;
    descriptor.create(st.nomdescr1);
    descriptor.write(dem_descriptor_text(st.nb_lig, st.nb_col, st.val, st.mind, st.maxd, st.dpix_size));
    descriptor.publish();
  } catch (const FatalStop& failure) {
    say(con, "\n\tWarning: the descriptor could not be written, the run goes on%s", failure.message.c_str());
  }
}

}  // namespace

void dem_lecture(RunState& st, Console& con) {
  const int cell_bytes = st.itype == 0 ? 2 : 4;
  const std::uint64_t surplus = raster_surplus(st.f1.get(), st.nomim1, st.nb_lig, st.nb_col, cell_bytes);
  warn_surplus(con, surplus, st.nomim1, st.nb_lig, st.nb_col, cell_bytes);

  // The stored integers go straight into dtab_in, exactly as doubles, and are
  // divided there once the unit is known: no integer copy of the DEM is kept.
  require_memory(st);
  st.dtab_in = new_matrix(dmatrice, frdmatrice, st.nb_col, st.nb_lig, "DEM");
  read_raw_dem(st.f1.get(), st.nomim1, st.dtab_in.get(), st.nb_lig, st.nb_col, cell_bytes);
  st.f1.reset();
  find_extremes(st);
  say(con, "\n\n\tHypsometric dynamic scale:\n\t\tMin = %d\n\t\tMax = %d ", st.mind, st.maxd);
  st.coef = kScaleCoef[ask_choice(con, kUnitQuestion, 3)];
  for (int i = 0; i < st.nb_lig; ++i) {
    double* row = st.dtab_in[i];
    for (int j = 0; j < st.nb_col; ++j) row[j] = row[j] / st.coef;
  }

  if (!st.descr_OK) write_new_descriptor(st, con);
  st.UTM_coord_OK = false;
}

void ascii_lecture(RunState& st, Console& con) {
  say(con, "\n");
  GridReader grid(st.f1.get(), st.nomim1);
  const GridHeader header = grid.read_header();
  st.nb_col = header.nb_col;
  st.nb_lig = header.nb_lig;
  st.X_min = header.X_min;
  st.Y_min = header.Y_min;
  st.dpix_size = header.dpix_size;
  st.nodata = header.nodata;
  check_dimensions(st.nb_lig, st.nb_col, "The grid " + st.nomim1);
  check_pixel_size(st.dpix_size, "The grid " + st.nomim1);
  const std::uint64_t cells = static_cast<std::uint64_t>(st.nb_lig) * static_cast<std::uint64_t>(st.nb_col);
  if (cells > grid.max_values_left()) {
    fatal_stop(text("\n\n\tThe grid %s announces %d lines x %d columns, more values than the file can hold\n",
                    st.nomim1.c_str(), st.nb_lig, st.nb_col));
  }
  require_memory(st);
  st.dtab_in = new_matrix(dmatrice, frdmatrice, st.nb_col, st.nb_lig, "DEM");
  grid.read_cells(st.dtab_in.get(), st.nb_lig, st.nb_col, [&con](int line) { show_progress(con, line, 19); });
  st.UTM_coord_OK = true;
  st.f1.reset();
}
