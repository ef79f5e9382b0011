// Saving the result: a raw raster with its descriptor and header, or an
// ASCII grid, made line by line from the DEM and the mask and put in place as
// one set.
#include <algorithm>
#include <cerrno>
#include <vector>

#include "fatal.h"
#include "files/file_names.h"
#include "files/formats.h"
#include "files/output_file.h"
#include "files/result_set.h"
#include "nrutil.h"
#include "platform.h"
#include "raster/bands.h"
#include "steps.h"
#include "version.h"
#include "zone/stored_value.h"

namespace {

const char* const kFormatQuestion = "\n\n\tFormat Type :\n\t\t0 ====> ascii\n\t\t1 ====> raster\n\t\t";
const char* const kTypeQuestion = "\n\ttype of DEM raster :\n\t\t0 ====> 16 bits\n\t\t1 ====> 32 bits\n\t\t";
const char* const kScaleQuestion =
    "\n\n\tDynamic scale :\n\t\t0 ====> meters"
    "\n\t\t1 ====> decimeters\n\t\t2 ====> centimeters"
    "\n\t\t3 ====> millimeters\n\t\t";

// The choices of the saving dialog.
struct ResultChoice {
  std::string base;    // folder path and result name
  int format_out = 0;  // 0 ASCII grid, 1 raw raster
  int itype_out = 0;   // raw raster: 0 16-bit, 1 32-bit
  ResultFiles files;
};

// True (after saying so) when one of the result's files is an input file of
// this run.
bool names_an_input(const RunState& st, Console& con, const ResultFiles& files) {
  for (const std::string& input : {st.dem.path, st.dem.descriptor_path, beside(st.dem.path, ".prj"),
                                   beside(st.dem.path, ".hdr"), st.mask.path, st.mask.descriptor_path,
                                   beside(st.mask.path, ".prj")}) {
    for (const std::string& output : {files.raster, files.descriptor, files.header, files.prj, files.json}) {
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
};

// The stored values of the result's extremes: the zone's altitudes and, when
// some cell lies outside the zone, the hypsometric value.
StoredRange stored_range(const RunState& st) {
  double min_s = st.zone.lowest, max_s = st.zone.highest;
  if (st.zone.other_cells > 0) {
    min_s = std::min(min_s, st.val_alti);
    max_s = std::max(max_s, st.val_alti);
  }
  return {stored_value(min_s * st.coef), stored_value(max_s * st.coef)};
}

// True when the result fits the chosen raster; otherwise says why, and
// advises only what can help: 32 bits when 16 were chosen, another scale when
// the scale is asked (grid input), an ASCII grid always.
bool fits_raster(const StoredRange& range, const RunState& st, const RawType& type, Console& con) {
  if (st.zone.has_nan) {
    say(con, "\n\n\tThe result holds cells that are not numbers (nan), which a raster cannot store:"
             "\n\tplease choose an ASCII grid\n");
    return false;
  }
  if (range.lowest >= type.lowest && range.highest <= type.highest) return true;
  std::vector<std::string> helps;
  if (type.bits == 16) helps.push_back("32 bits");
  if (st.dem.format == 0) helps.push_back("another scale");
  std::string advice;
  for (const std::string& help : helps) advice += (advice.empty() ? "" : ", ") + help;
  advice += advice.empty() ? "an ASCII grid" : " or an ASCII grid";
  say(con, "\n\n\tThe stored values of the result go from %.0f to %.0f, but a %d-bit raster holds %.0f to %.0f only:"
           "\n\tplease choose %s\n",
      range.lowest, range.highest, type.bits, type.lowest, type.highest, advice.c_str());
  return false;
}

// Asks format, raster type and scale until they describe files the result can
// be written to. False when the result name must be asked again.
bool choose_output(RunState& st, Console& con, ResultChoice& choice) {
  for (;;) {
    choice.format_out = ask_choice(con, kFormatQuestion, 1);
    if (choice.format_out == 1) {
      choice.itype_out = ask_choice(con, kTypeQuestion, 1);
      if (st.dem.format == 0) st.coef = kScaleCoef[ask_choice(con, kScaleQuestion, 3)];
    }
    const RawType& type = raw_type(choice.itype_out);
    choice.files = result_files(choice.base, choice.format_out, type);
    if (names_an_input(st, con, choice.files)) return false;
    if (choice.format_out == 0 || fits_raster(stored_range(st), st, type, con)) return true;
  }
}

// The names of the files a result writes, in its folder.
std::vector<std::string> written_names(const ResultFiles& f, bool has_prj) {
  std::vector<std::string> names;
  for (const std::string& path : {f.raster, f.descriptor, f.header, has_prj ? f.prj : "", f.json}) {
    if (!path.empty()) names.push_back(path.substr(folder_of(path).size()));
  }
  return names;
}

// True when a result of this name is already there: then a .prj of its name
// is that earlier result's, and goes with it when the new result has none.
// Any other .prj of that name belongs to someone else and stays.
bool earlier_result(const ResultFiles& files) {
  return file_kind(files.raster) == FileKind::regular || file_kind(files.json) == FileKind::regular;
}

// The files every result has besides its raster: the DEM's coordinate
// system (or none, and then none left from an earlier result of the name) and
// the report for scripts.
void add_prj_and_report(ResultSet& result, const RunState& st, const ResultChoice& choice,
                        const RasterGeometry& geometry) {
  if (geometry.has_prj) {
    result.add(choice.files.prj).write(geometry.prj);
  } else if (earlier_result(choice.files)) {
    result.drop(choice.files.prj);
  }
  JsonReport report{kVersion, st.dem.path, st.mask.path, st.code, st.val_alti, geometry, {}, {}, st.zone,
                    st.voltreat == 0};
  report.format = choice.format_out == 0 ? "ascii grid" : raw_type(choice.itype_out).bits == 16 ? "raw 16-bit"
                                                                                               : "raw 32-bit";
  report.files = written_names(choice.files, geometry.has_prj);
  result.add(choice.files.json).write(json_report_text(report));
}

std::string save_raster(RunState& st, const ResultChoice& choice) {
  const RasterGeometry& g = st.dem.geometry;
  const RawType& type = raw_type(choice.itype_out);
  const StoredRange range = stored_range(st);
  const ResultReport report{g.nb_lig, g.nb_col, type.cell_bytes,
                            static_cast<long long>(range.lowest), static_cast<long long>(range.highest),
                            g.dpix_size, st.dem.path, st.mask.path, st.code, st.val_alti,
                            st.voltreat, st.zone.vol_tot};
  std::vector<std::string> notes;
  if (st.voltreat == 0 && st.zone.nodata_cells > 0) notes.push_back(no_data_note(st));
  ResultSet result;
  result.add(choice.files.descriptor).write(result_descriptor_text(report, notes));

  // The range was checked, so every stored value fits its cell. A raw DEM's
  // result keeps its unit, so its cells are taken as stored.
  OutputFile& raster = result.add(choice.files.raster);
  Vector<unsigned char> bytes = new_vector(
      ucvecteur, frucvecteur, static_cast<std::size_t>(band_shape(g).cells()) * static_cast<std::size_t>(type.cell_bytes),
      "result lines");
  const bool raw_dem = st.dem.format == 1;
  const RawType& dem_type = raw_type(st.dem.itype);
  const auto outside = static_cast<std::int32_t>(static_cast<std::int64_t>(stored_value(st.val_alti * st.coef)));
  auto write_band = [&](const Band& band) {
    const std::size_t cols = static_cast<std::size_t>(band.width);
    const std::size_t line_bytes = cols * static_cast<std::size_t>(type.cell_bytes);
    for (int k = 0; k < band.count; ++k) {
      unsigned char* out = bytes.data() + line_bytes * static_cast<std::size_t>(k);
      if (raw_dem) {
        const std::size_t stored_line_bytes = cols * static_cast<std::size_t>(dem_type.cell_bytes);
        select_raw_cells(band.stored + stored_line_bytes * static_cast<std::size_t>(k), dem_type, band.mask[k],
                         st.code, outside, cols, type, out);
      } else {
        extract_line(band.altitude[k], band.mask[k], band.width, st.code, st.val_alti, band.altitude[k]);
        metres_to_raw(band.altitude[k], cols, st.coef, type, out);
      }
    }
    raster.write(bytes.data(), line_bytes * static_cast<std::size_t>(band.count));
  };
  for_each_band(st, write_band, raw_dem ? BandCells::stored : BandCells::metres);

  // The header that lets GIS tools open the raster directly; the cells
  // without data are stored like any altitude, and it says which value they hold.
  std::optional<long long> nodata;
  if (st.zone.nodata_cells > 0) nodata = static_cast<long long>(stored_value(g.nodata * st.coef));
  result.add(choice.files.header).write(ehdr_text(g, type, nodata));
  add_prj_and_report(result, st, choice, g);
  return result.publish();
}

// The value that the grid header's nodata_value line declares.
constexpr double kGridNoData = -9999.9999;

// The grid's questions: the volume noted, the corner of a raw DEM.
RasterGeometry grid_geometry(RunState& st, Console& con) {
  RasterGeometry g = st.dem.geometry;
  if (st.voltreat == 0) {
    say(con, "\n\n\tThe calculated volume is equal to %lf km3", st.zone.vol_tot * 1e-9);
    say(con, "\n\tbut this value is not reported in the ascii format ");
    say(con, "\n\n\tTake note of this value before saving ");
    say(con, "\n\tand then, press any key ");
    wait_key(con);
  }
  if (!g.placed) {
    say(con, "\n\n\tIn order to create the required DEM ascii ");
    say(con, "\n\tyou must enter the UTM coordinates ");
    g.X_min = ask_real(con, "\n\t\tX_min ? ");
    g.Y_min = ask_real(con, "\t\tY_min ? ");
    g.placed = true;
  }
  return g;
}

std::string save_grid(RunState& st, Console& con, const ResultChoice& choice, const RasterGeometry& g) {
  ResultSet result;
  GridWriter grid(result.add(choice.files.raster), g);
  say(con, "\n\n");
  const bool marks = st.zone.nodata_cells > 0;
  for_each_band(st, [&](const Band& band) {
    for (int k = 0; k < band.count; ++k) {
      extract_line(band.altitude[k], band.mask[k], band.width, st.code, st.val_alti, band.altitude[k]);
      if (marks) mark_no_data(band.altitude[k], band.mask[k], band.width, st.code, g, kGridNoData);
      if (band.column == 0) show_progress(con, band.first + k, 15);
    }
    grid.write_lines(band.altitude, band.count, band.width);
  });
  add_prj_and_report(result, st, choice, g);
  return result.publish();
}

// True when the name is a name, not a path, and the files of a result of
// this name can exist in the folder; otherwise says why.
bool name_fits(const std::string& folder, const std::string& name, Console& con) {
  if (name.find_first_of(kPathSeparator == '/' ? "/" : "\\/") != std::string::npos) {
    say(con, "\n\n\t\"%s\" holds a path separator: the result is written in the folder of the run, "
             "under a name without one\n",
        shown(name).c_str());
    return false;
  }
  const std::size_t longest = name.size() + kLongestResultSuffix;
  const std::size_t allowed = max_file_name_length(folder);
  if (longest <= allowed) return true;
  say(con, "\n\n\tThe name %s is too long: its files would have names of %llu characters, and this folder takes "
           "%llu at most\n",
      name.c_str(), static_cast<unsigned long long>(longest), static_cast<unsigned long long>(allowed));
  return false;
}

}  // namespace

void saving(RunState& st, Console& con) {
  ResultChoice choice;
  do {
    std::string name;
    do {
      name = ask_name(con, "\n\n\tName of the resulting DEM (without any extension) ? ");
    } while (!name_fits(st.folder, name, con));
    choice.base = st.folder + name;
  } while (!choose_output(st, con, choice));

  const RasterGeometry grid = choice.format_out == 0 ? grid_geometry(st, con) : st.dem.geometry;
  std::string notes;
  for (;;) {
    try {
      notes = choice.format_out == 1 ? save_raster(st, choice) : save_grid(st, con, choice, grid);
      break;
    } catch (const FatalStop& stop) {
      // A grid's parsed cells take room in the folder: on a full disk they
      // go, and the result is made again from the grid's text.
      if (stop.error != ENOSPC || !st.dem.spill.usable()) throw;
      st.dem.spill.discard();
      say(con, "\n\tThe disk is full: the run's copy of the grid's cells is removed to make room, and the result "
               "is written again from the grid\n");
    }
  }
  say(con, "%s", notes.c_str());
  std::string written;
  for (const std::string& name : written_names(choice.files, st.dem.geometry.has_prj)) {
    written += (written.empty() ? "" : ", ") + name;
  }
  say(con, "\n\n\tWritten in %s: %s\n", st.folder.c_str(), written.c_str());
}
