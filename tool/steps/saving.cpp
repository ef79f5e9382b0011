// Saving the result: a raw raster with its descriptor, or an ASCII grid.
#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include <sys/stat.h>

#include "fatal.h"
#include "files/formats.h"
#include "files/result_set.h"
#include "platform.h"
#include "steps.h"
#include "zone/stored_value.h"

namespace {

// The longest of the extensions of a result's files: "_m2.raw", "_m2.txt",
// "_m2.hdr", ".asc".
constexpr std::size_t kLongestResultSuffix = 7;

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

// True when the range fits the chosen raster; otherwise says why, and
// advises only what can help: 32 bits when 16 were chosen, another scale when
// the scale is asked (grid input), an ASCII grid always.
bool fits_raster(const StoredRange& range, const RunState& st, Console& con) {
  if (range.has_nan) {
    say(con, "\n\n\tThe result holds cells that are not numbers (nan), which a raster cannot store:"
             "\n\tplease choose an ASCII grid\n");
    return false;
  }
  const bool bits16 = st.itype_out == 0;
  const double low = bits16 ? 0.0 : -2147483648.0;
  const double high = bits16 ? 65535.0 : 2147483647.0;
  if (range.lowest >= low && range.highest <= high) return true;
  std::vector<std::string> helps;
  if (bits16) helps.push_back("32 bits");
  if (st.UTM_coord_OK) helps.push_back("another scale");
  std::string advice;
  for (const std::string& help : helps) advice += (advice.empty() ? "" : ", ") + help;
  advice += advice.empty() ? "an ASCII grid" : " or an ASCII grid";
  say(con, "\n\n\tThe stored values of the result go from %.0f to %.0f, but a %d-bit raster holds %.0f to %.0f only:"
           "\n\tplease choose %s\n",
      range.lowest, range.highest, bits16 ? 16 : 32, low, high, advice.c_str());
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
    if (fits_raster(range, st, con)) return true;
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
                            st.dpix_size, st.nomim1, st.nomim3, st.code, st.val_alti,
                            st.voltreat, st.vol_tot};
  ResultSet result;
  OutputFile& descriptor = result.add(st.nomdescr2);
  descriptor.write(result_descriptor_text(report));

  // The range was checked above, so every stored value fits its cell; lines
  // are converted as they are written.
  OutputFile& raster = result.add(st.nomim2);
  write_raw_dem(raster, st.nb_lig, st.nb_col, st.val, [&st](int line, std::int32_t* cells) {
    const double* row = st.dtab_out[line];
    for (int j = 0; j < st.nb_col; ++j) cells[j] = static_cast<std::int32_t>(stored_value(row[j] * st.coef));
  });

  // The header that lets GIS tools open the raster directly.
  OutputFile& header = result.add(header_path);
  header.write(ehdr_text(st.nb_lig, st.nb_col, bits16 ? 16 : 32, st.UTM_coord_OK, st.X_min, st.Y_min, st.dpix_size));
  result.publish();
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
  ResultSet result;
  OutputFile& grid = result.add(st.nomim2);
  say(con, "\n\n");
  write_ascii_grid(grid, st.dtab_out.get(), st.nb_lig, st.nb_col, st.X_min, st.Y_min, st.dpix_size,
                   [&con](int line) { show_progress(con, line, 15); });
  result.publish();
}

// True when the files of a result of this name can exist in the folder;
// otherwise says why.
bool name_fits(const std::string& folder, const std::string& name, Console& con) {
  const std::size_t longest = name.size() + kLongestResultSuffix;
  const std::size_t allowed = max_file_name_length(folder);
  if (longest <= allowed) return true;
  say(con, "\n\n\tThe name %s is too long: its files would have names of %zu characters, and this folder takes "
           "%zu at most\n",
      name.c_str(), longest, allowed);
  return false;
}

}  // namespace

void saving(RunState& st, Console& con) {
  const std::string folder = st.nomim2;
  StoredRange range{};
  do {
    do {
      st.nomfic1 = ask_name(con, "\n\n\tName of the resulting DEM (without any extension) ? ");
    } while (!name_fits(folder, st.nomfic1, con));
    st.nomim2 = folder + st.nomfic1;
  } while (!choose_output(st, con, range));

  if (st.format_out == 1) {
    save_raster(st, range);
  } else {
    save_grid(st, con);
  }
}
