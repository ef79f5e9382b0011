// The work of a run, step by step, without a single question: each function
// takes the run with the choices made so far (run.job) and the inputs
// opened (run.dem, run.mask: formats/), reads or writes files, tells what a
// user must know to `notes`, and reports its passes over the cells to
// `progress`. A fault is a fatal stop (fatal.h).
//
//   inputs    load_dem, load_mask, load_reference (the command line: every choice at once;
//             the dialog asks between the sources' steps), code_warning
//   zone      measure_zone
//   result    result_problem (asked again by the dialog while it gives a
//             reason), write_result
//   table     zone_table, table_text
//
// The dialog (dialog/) calls them between its questions; the command line
// calls them all at once (run_job).
#pragma once

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "files/file_names.h"
#include "run.h"
#include "zone/figures.h"

// Writes printf-style text to the notes.
void note(std::ostream& notes, const char* format, ...) PRINTF_LIKE(2, 3);

// ---- the inputs ---------------------------------------------------------------

// Opens and loads the DEM of run.job.dem with the choices it holds: a
// choice its file leaves open and the job does not hold is a MissingChoice;
// a choice the file makes useless (--size, --pixel-size) is said.
void load_dem(Run& run, std::ostream& notes, const PassProgress& progress);
// The same for the mask, against the DEM.
void load_mask(Run& run, std::ostream& notes);
// The reference surface of run.job.reference, read as a DEM is (a raw one
// without descriptor takes the DEM's size and pixel size), and checked on
// the DEM's grid: the same size, the same geotransform and coordinate
// system where both have them; else a fatal stop naming both.
void load_reference(Run& run, std::ostream& notes, const PassProgress& progress);

// The dimensions a DEM was found to have, as the dialog shows them.
void show_dimensions(const Run& run, std::ostream& out);

// The warning for a code that selects no cell: said once the mask is loaded,
// or, for masks whose codes take a pass to know, once the zone is measured.
void code_warning(Run& run, std::ostream& notes);

// ---- the zone ---------------------------------------------------------------

// One pass over the DEM and the mask: the zone's figures, and its volume when
// it is asked for; the note on its cells without data.
void measure_zone(Run& run, std::ostream& notes, const PassProgress& progress);

// The figures of one band, added to `figures` (the lines in order, each
// line's cells in order); and the figures of the whole zone, once every band
// was added: the zone's area, its notes.
void measure_band(const Run& run, const Band& band, ZoneFigures& figures);
// A band of a polygon mask: each zone's cells, by their share, added to the
// figures `zone` gives for its index (null: not summed); `all_cells` as
// LineRule's.
void cover_band(const Run& run, const Band& band, bool all_cells, const std::function<ZoneFigures*(std::size_t)>& zone);
void zone_measured(Run& run, ZoneFigures figures, std::ostream& notes);

// The note on the zone's cells without data, left out of the volume.
std::string no_data_note(const Run& run);

// What the passes sum over the zone's cells, from the job's choices.
ZoneSums zone_sums(const Run& run);

// What the figures depend on among the job's choices.
FigureChoices figure_choices(const Job& job);

// ---- the percentiles ------------------------------------------------------------

// How the DEM's altitudes are made keys: its stored values (raw; GDAL's
// whole numbers), Float32 bits (GDAL's Float32 and small whole numbers in
// metres), or double bits.
AltitudeKeys altitude_keys(const DemFacts& dem);
// Before a measure's pass: the search of run.job.percentiles, whose first
// bins that pass counts (zone_sums), when there are percentiles.
void begin_percentiles(Run& run);
// After it: the later passes over the DEM and the mask (`cells` as the
// measure's pass took them) until every rank is found, then each zone's
// percentiles into the figures `zone` gives for its number (the mask's
// value: a code, or a wide mask's index, a polygon zone's index; 0 for the
// one zone of MaskCells::zone).
void end_percentiles(Run& run, MaskCells cells, const std::function<ZoneFigures*(std::size_t)>& zone,
                     const PassProgress& progress);

// ---- the result -------------------------------------------------------------

// Why the chosen result cannot be written ("" when it can). The dialog says
// each and asks again: the name for the first three, the format for the
// last; the command line stops with the first of them (result_problem).
//   a name that is a path, or too long for the folder's names
std::string result_name_problem(const std::string& folder, const std::string& name);
//   a file of the result (or the report's copy) that would replace a file an
//   input reads (its descriptor, .prj, .hdr; a GDAL raster's every file)
std::string replaced_input(const Run& run);
//   a file under one of the result's names that mesacrop did not write (a
//   .json that is not its report, a descriptor, .hdr or .prj not its own)
std::string foreign_file(const Run& run);
//   values that do not fit the raster
std::string fit_problem(const Run& run);
std::string result_problem(const Run& run);
// True when the result cannot but fit its raster, before the zone is
// measured: a raw DEM's stored values into a raw raster that holds them all,
// the hypsometric value too. The command line then measures the zone in the
// writing pass.
bool fits_unmeasured(const Run& run);

// Every file the inputs read; the files of the chosen result set.
std::vector<std::string> input_files(const Run& run);
std::vector<std::string> result_set_paths(const Run& run);

// The warning for a hypsometric value that is the result's no-data value.
void outside_nodata_warning(const Run& run, std::ostream& notes);

// The files of the chosen result.
ResultFiles chosen_result_files(const Run& run);

struct WrittenResult {
  std::vector<std::string> names;  // of its files, in its folder
  std::string report;              // the JSON report's text
  std::size_t table_rows = 0;      // the rows of the table of every zone, when asked
};

// A file written with the result and put in place with it.
struct CompanionFile {
  std::string path, content;
};

// Writes the result set with its companions and the report's copy, and puts
// them in place: those in the result's folder as one set, the others right
// after it. A grid result needs run.job.result.corner when the DEM has none.
// A GeoTIFF of a zone not yet measured (the command line: nothing is asked
// in between) measures it in the same pass; `companions` (or none) is asked
// for the companions once the zone is measured.
using Companions = std::function<std::vector<CompanionFile>(const Run&)>;
WrittenResult write_result(Run& run, const Companions& companions, std::ostream& notes, const PassProgress& progress);

// ---- the table of every zone ---------------------------------------------------

struct TableRow {
  long long code;
  ZoneFigures figures;  // exactly those of a one-zone run of this code
};

// One pass over the DEM and the mask: the figures of every code the mask
// holds (or of the codes run.job.table asks for), in increasing order.
std::vector<TableRow> zone_table(Run& run, const PassProgress& progress);

// The table as CSV (one header line, then a line per code; reals in their
// shortest exact form, an empty field for none) or JSON.
std::string table_csv(const std::vector<TableRow>& rows, const FigureChoices& choices);
std::string table_json(const Run& run, const std::vector<TableRow>& rows);

// The table as run.job.table's path asks: a .json file as JSON, any other
// (and "-") as CSV.
std::string table_text(const Run& run, const std::vector<TableRow>& rows);

// ---- the storage curves ---------------------------------------------------------

// The curves of run.job.curves at its levels, of each row (the table's, or
// the one zone's) as a .json path asks, or CSV: a line per zone and level,
//   code,level_m,area_below_m2,volume_below_m3,area_above_m2,volume_above_m3
// reals in their shortest exact form.
std::string curves_text(const Run& run, const std::vector<TableRow>& rows);

// ---- the whole job ------------------------------------------------------------

// Does the whole job of run.job, in the dialog's order: the result's folder
// put right, the DEM, the mask, every output checked (no two the same file,
// none an input), the table of every zone when asked, the zone, the result,
// then every output put in place at once (the table on `out` when its path
// is "-"). The choices the files leave open must be in the job
// (MissingChoice otherwise, also for an output that names an input or
// another output).
WrittenResult run_job(Run& run, std::ostream& out, std::ostream& notes, const PassProgress& progress);
