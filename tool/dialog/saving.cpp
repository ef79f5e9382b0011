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
bool choose_output(Run& run, Console& con) {
  ResultChoice& result = run.job.result;
  for (;;) {
    const int format = ask_format(con);
    result.layout = format == 2 ? ResultLayout::geotiff : format == 1 ? ResultLayout::raw : ResultLayout::ascii_grid;
    if (result.layout == ResultLayout::raw) {
      result.itype = ask_choice(con, kTypeQuestion, 1);
      if (run.job.dem.layout != DemLayout::raw) result.unit = ask_choice(con, kScaleQuestion, 3);
    }
    for (const std::string& problem : {replaced_input(run), foreign_file(run)}) {
      if (problem.empty()) continue;
      say(con, "%s", problem.c_str());
      return false;
    }
    const std::string problem = fit_problem(run);
    if (problem.empty()) return true;
    say(con, "%s", problem.c_str());
  }
}

// A grid's questions: the volume noted, the corner of a raw DEM (which a
// GeoTIFF needs too; its report holds the volume).
void grid_questions(Run& run, Console& con) {
  const bool grid = run.job.result.layout == ResultLayout::ascii_grid;
  if (grid && run.job.zone.volume()) {
    say(con, "\n\n\tThe calculated volume is equal to %lf km3", run.zone.vol_tot * 1e-9);
    say(con, "\n\tbut this value is not reported in the ascii format ");
    say(con, "\n\n\tTake note of this value before saving ");
    say(con, "\n\tand then, press any key ");
    wait_key(con);
  }
  if (!run.geometry().placed) {
    say(con, "\n\n\tIn order to create the required DEM ascii ");
    say(con, "\n\tyou must enter the UTM coordinates ");
    Corner corner;
    corner.x = ask_real(con, "\n\t\tX_min ? ");
    corner.y = ask_real(con, "\t\tY_min ? ");
    run.job.result.corner = corner;
  }
  if (grid) say(con, "\n\n");
}

}  // namespace

void saving(Run& run, Console& con) {
  do {
    std::string name;
    for (;;) {
      name = ask_name(con, "\n\n\tName of the resulting DEM (without any extension) ? ");
      const std::string problem = result_name_problem(run.folder, name);
      if (problem.empty()) break;
      say(con, "%s", problem.c_str());
    }
    run.job.result.base = run.folder + name;
  } while (!choose_output(run, con));

  if (run.job.result.layout != ResultLayout::raw) grid_questions(run, con);
  outside_nodata_warning(run, con.out);
  const WrittenResult written = write_result(run, {}, con.out, dialog_progress(con));
  std::string names;
  for (const std::string& name : written.names) names += (names.empty() ? "" : ", ") + name;
  // A grid's volume was shown before its questions; the others' here.
  const bool volume = run.job.zone.volume() && run.job.result.layout != ResultLayout::ascii_grid;
  say(con, "\n\n\tWritten in %s: %s%s\n", run.folder.c_str(), names.c_str(),
      volume ? text("; volume %lf km3", run.zone.vol_tot * 1e-9).c_str() : "");
}
