// Saving the result: a raw raster with its descriptor, or an ASCII grid.
#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include <sys/stat.h>

#include "fatal.h"
#include "files/formats.h"
#include "steps.h"
#include "zone/stored_value.h"

namespace {

const char* const kFormatQuestion = "\n\n\tFormat Type :\n\t\t0 ====> ascii\n\t\t1 ====> raster\n\t\t";
const char* const kTypeQuestion = "\n\ttype of DEM raster :\n\t\t0 ====> 16 bits\n\t\t1 ====> 32 bits\n\t\t";
const char* const kScaleQuestion =
    "\n\n\tDynamic scale :\n\t\t0 ====> meters"
    "\n\t\t1 ====> decimeters\n\t\t2 ====> centimeters"
    "\n\t\t3 ====> millimeters\n\t\t";

bool same_file(const std::string& a, const std::string& b) {
  if (a.empty() || b.empty()) return false;
  if (a == b) return true;
  struct stat sa {}, sb {};
  return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// True (after saying so) when one of `outputs` is an input file of this run.
bool names_an_input(const RunState& st, Console& con, const std::vector<std::string>& outputs) {
  for (const std::string& input : {st.nomim1, st.nomdescr1, st.nomim3, st.nomdescr3}) {
    for (const std::string& output : outputs) {
      if (same_file(output, input)) {
        say(con, "\n\n\tThe result %s would replace the input file %s: please choose another name\n",
            output.c_str(), input.c_str());
        return true;
      }
    }
  }
  return false;
}

struct StoredRange {
  double lowest, highest;  // stored values (whole numbers) of the smallest and largest altitude
  bool has_nan;
};

StoredRange stored_range(const RunState& st) {
  double min_s = std::numeric_limits<double>::infinity();
  double max_s = -min_s;
  bool has_nan = false;
  for (int i = 0; i < st.nb_lig; ++i) {
    for (int j = 0; j < st.nb_col; ++j) {
      const double cell = st.dtab_out[i][j];
      has_nan = has_nan || std::isnan(cell);
      min_s = std::min(min_s, cell);
      max_s = std::max(max_s, cell);
    }
  }
  return {stored_value(min_s * st.coef), stored_value(max_s * st.coef), has_nan};
}

// True when the range fits the chosen raster; otherwise says why.
bool fits_raster(const StoredRange& range, int itype_out, Console& con) {
  if (range.has_nan) {
    say(con, "\n\n\tThe result holds cells that are not numbers (nan), which a raster cannot store:"
             "\n\tplease choose an ASCII grid\n");
    return false;
  }
  const double low = itype_out == 0 ? 0.0 : -2147483648.0;
  const double high = itype_out == 0 ? 65535.0 : 2147483647.0;
  if (range.lowest >= low && range.highest <= high) return true;
  say(con, "\n\n\tThe stored values of the result go from %.0f to %.0f, but a %d-bit raster holds %.0f to %.0f only:"
           "\n\tplease choose 32 bits, another scale or an ASCII grid\n",
      range.lowest, range.highest, itype_out == 0 ? 16 : 32, low, high);
  return false;
}

// Asks format, raster type and scale until they describe files the result can
// be written to. False when the result name must be asked again.
bool choose_output(RunState& st, Console& con, StoredRange& range) {
  for (;;) {
    st.format_out = ask_choice(con, kFormatQuestion, 1);
    if (st.format_out == 0) return !names_an_input(st, con, {st.nomim2 + ".asc"});
    st.itype_out = ask_choice(con, kTypeQuestion, 1);
    if (st.UTM_coord_OK) st.coef = kScaleCoef[ask_choice(con, kScaleQuestion, 3)];
    const std::string base = st.nomim2 + (st.itype_out == 0 ? "_m2" : "_m4");
    if (names_an_input(st, con, {base + ".raw", base + ".txt", base + ".hdr"})) return false;
    range = stored_range(st);
    if (fits_raster(range, st.itype_out, con)) return true;
  }
}

void save_raster(RunState& st, const StoredRange& range) {
  const bool bits16 = st.itype_out == 0;
  const std::string header_path = st.nomim2 + (bits16 ? "_m2.hdr" : "_m4.hdr");
  st.nomdescr2 = st.nomim2 + (bits16 ? "_m2.txt" : "_m4.txt");
  st.nomim2 += bits16 ? "_m2.raw" : "_m4.raw";
  st.val = bits16 ? 2 : 4;

  const ResultReport report{st.nb_lig, st.nb_col, st.val,
                            static_cast<long long>(range.lowest), static_cast<long long>(range.highest),
                            static_cast<int>(st.dpix_size), st.nomim1, st.nomim3, st.code, st.val_alti,
                            st.voltreat, st.vol_tot};
  st.f2d.create(st.nomdescr2);
  st.f2d.write(result_descriptor_text(report));
  st.f2d.close();

  // The range was checked above, so every stored value fits its cell; lines
  // are converted as they are written.
  st.f2.create(st.nomim2);
  write_raw_dem(st.f2, st.nb_lig, st.nb_col, st.val, [&st](int line, std::int32_t* cells) {
    const double* row = st.dtab_out[line];
    for (int j = 0; j < st.nb_col; ++j) cells[j] = static_cast<std::int32_t>(stored_value(row[j] * st.coef));
  });
  st.f2.close();

  // The header that lets GIS tools open the raster directly.
  OutputFile header;
  header.create(header_path);
  header.write(ehdr_text(st.nb_lig, st.nb_col, bits16 ? 16 : 32, st.UTM_coord_OK, st.X_min, st.Y_min, st.dpix_size));
  header.close();

  st.f2d.publish();
  st.f2.publish();
  header.publish();
}

void save_grid(RunState& st, Console& con) {
  if (st.voltreat == 0) {
    say(con, "\n\n\tThe calculated volume is equal to %lf km3", st.vol_tot * 1e-9);
    say(con, "\n\tbut this value is not reported in the ascii format ");
    say(con, "\n\n\tTake note of this value before saving ");
    say(con, "\n\tand then, press any key ");
    wait_key(con);
  }
  if (!st.UTM_coord_OK) {
    say(con, "\n\n\tIn order to create the required DEM ascii ");
    say(con, "\n\tyou must enter the UTM coordinates ");
    st.X_min = ask_real(con, "\n\t\tX_min ? ");
    st.Y_min = ask_real(con, "\t\tY_min ? ");
  }
  st.nomim2 += ".asc";
  st.f2.create(st.nomim2);
  say(con, "\n\n");
  write_ascii_grid(st.f2, st.dtab_out.get(), st.nb_lig, st.nb_col, st.X_min, st.Y_min, st.dpix_size,
                   [&con](int line) { show_progress(con, line, 15); });
  st.f2.publish();
}

}  // namespace

void saving(RunState& st, Console& con) {
  const std::string folder = st.nomim2;
  StoredRange range{};
  do {
    st.nomfic1 = ask_word(con, "\n\n\tName of the resulting DEM (without any extension) ? ");
    st.nomim2 = folder + st.nomfic1;
  } while (!choose_output(st, con, range));

  if (st.format_out == 1) {
    save_raster(st, range);
  } else {
    save_grid(st, con);
  }
}
