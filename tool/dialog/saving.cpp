// The result questions: name, format, raster type and scale, asked again
// while the result cannot be written as chosen; then the volume note and the
// corner of a grid, and the result written.
#include "dialog.h"
#include "files/output_file.h"

namespace {

const char* const kTypeQuestion = "\n\ttype of DEM raster :\n\t\t0 ====> 16 bits\n\t\t1 ====> 32 bits\n\t\t";
const char* const kScaleQuestion =
    "\n\n\tDynamic scale :\n\t\t0 ====> meters"
    "\n\t\t1 ====> decimeters\n\t\t2 ====> centimeters"
    "\n\t\t3 ====> millimeters\n\t\t";

// Asks format, raster type and scale until they describe files the result can
// be written to. False when the result name must be asked again.
bool choose_output(RunState& st, Console& con) {
  ResultChoice& result = st.job.result;
  for (;;) {
    const int format = ask_format(con);
    result.layout = format == 2 ? ResultLayout::geotiff : format == 1 ? ResultLayout::raw : ResultLayout::ascii_grid;
    if (result.layout == ResultLayout::raw) {
      result.itype = ask_choice(con, kTypeQuestion, 1);
      if (st.job.dem.layout != DemLayout::raw) result.unit = ask_choice(con, kScaleQuestion, 3);
    }
    for (const std::string& problem : {replaced_input(st), foreign_file(st)}) {
      if (problem.empty()) continue;
      say(con, "%s", problem.c_str());
      return false;
    }
    const std::string problem = fit_problem(st);
    if (problem.empty()) return true;
    say(con, "%s", problem.c_str());
  }
}

// A grid's questions: the volume noted, the corner of a raw DEM (which a
// GeoTIFF needs too; its report holds the volume).
void grid_questions(RunState& st, Console& con) {
  const bool grid = st.job.result.layout == ResultLayout::ascii_grid;
  if (grid && st.job.zone.volume()) {
    say(con, "\n\n\tThe calculated volume is equal to %lf km3", st.zone.vol_tot * 1e-9);
    say(con, "\n\tbut this value is not reported in the ascii format ");
    say(con, "\n\n\tTake note of this value before saving ");
    say(con, "\n\tand then, press any key ");
    wait_key(con);
  }
  if (!st.dem.geometry.placed) {
    say(con, "\n\n\tIn order to create the required DEM ascii ");
    say(con, "\n\tyou must enter the UTM coordinates ");
    Corner corner;
    corner.x = ask_real(con, "\n\t\tX_min ? ");
    corner.y = ask_real(con, "\t\tY_min ? ");
    st.job.result.corner = corner;
  }
  if (grid) say(con, "\n\n");
}

}  // namespace

void saving(RunState& st, Console& con) {
  do {
    std::string name;
    for (;;) {
      name = ask_name(con, "\n\n\tName of the resulting DEM (without any extension) ? ");
      const std::string problem = result_name_problem(st.folder, name);
      if (problem.empty()) break;
      say(con, "%s", problem.c_str());
    }
    st.job.result.base = st.folder + name;
  } while (!choose_output(st, con));

  if (st.job.result.layout != ResultLayout::raw) grid_questions(st, con);
  outside_nodata_warning(st, con.out);
  const WrittenResult written = write_result(st, {}, con.out, dialog_progress(con));
  std::string names;
  for (const std::string& name : written.names) names += (names.empty() ? "" : ", ") + name;
  // A grid's volume was shown before its questions; the others' here.
  const bool volume = st.job.zone.volume() && st.job.result.layout != ResultLayout::ascii_grid;
  say(con, "\n\n\tWritten in %s: %s%s\n", st.folder.c_str(), names.c_str(),
      volume ? text("; volume %lf km3", st.zone.vol_tot * 1e-9).c_str() : "");
}
