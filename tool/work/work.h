// The work of a run, step by step, without a single question: each function
// takes the run with the choices made so far (st.job), reads or writes files,
// tells what a user must know to `notes`, and reports its passes over the
// cells to `progress`. A fault is a fatal stop (fatal.h).
//
//   raw DEM      read_dem_descriptor, raw_dem_range, then (the unit chosen) raw_dem_loaded
//   grid DEM     load_grid
//   mask         read_mask_descriptor (raw), load_mask, code_warning
//   zone         measure_zone
//   result       result_problem (asked again by the dialog while it gives a reason), write_result
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
#include "run_state.h"
#include "zone/figures.h"

// Called before each line of a pass with that line's number, and once more
// with `lines` when the pass is done. `pass` names it: "reading the grid",
// "measuring the zone", "writing the grid", "writing the raster".
using PassProgress = std::function<void(const char* pass, int line, int lines)>;

// A choice the job needs and does not hold (where the dialog would ask, or
// a file leaves open): the command line's usage error. `message` names the
// flag that gives it; the dialog stops with it.
struct MissingChoice {
  std::string message;
};

// Writes printf-style text to the notes.
void note(std::ostream& notes, const char* format, ...) PRINTF_LIKE(2, 3);

// ---- the DEM ----------------------------------------------------------------

// Reads the raw DEM's descriptor into st.dem.geometry; false when there is
// none (then the size and pixel size come from the choices).
bool read_dem_descriptor(RunState& st);

// The size and pixel size chosen for a raw DEM (without descriptor, or whose
// descriptor gives a pixel size of 0), where they were chosen; `source`
// names their origin for messages ("Your answer", "--size").
void take_dem_size_choices(RunState& st, const std::string& source);

// The smallest and largest stored values of a raw DEM's cells with data.
struct StoredRange {
  std::int32_t low = 0, high = 0;
};

// The first look at a raw DEM: its size checked, the no-data value of a
// header beside it, and, with `extremes`, a pass for its range (what the
// dialog shows before the unit is chosen, and writes in a new descriptor).
StoredRange raw_dem_range(RunState& st, std::ostream& notes, bool extremes = true);

// What follows the unit's choice: the scale, a missing descriptor written
// when asked, the coordinate system, the degrees warning.
void raw_dem_loaded(RunState& st, const StoredRange& range, std::ostream& notes);

// A raster GDAL reads: its size and what its file says (open_gdal_dem:
// false when it is not georeferenced, and a pixel size must be chosen), then
// its geometry, cell areas, units and no-data value (gdal_dem_loaded), the
// warnings on its bands and degrees. A unit the band does not give (or
// names in words the tool does not know) where metres cannot be assumed is
// a MissingChoice; a geotransform no place on Earth has is a fatal stop.
bool open_gdal_dem(RunState& st);
void gdal_dem_loaded(RunState& st, std::ostream& notes);

// Warns when the DEM's cells look like degrees while nothing says they are:
// its cell size is then taken as metres.
void warn_if_degrees(const RunState& st, std::ostream& notes);

// An ASCII grid: its header, every cell checked, parsed once into the spill
// file; its coordinate system and the degrees warning.
void load_grid(RunState& st, std::ostream& notes, const PassProgress& progress);

// The dimensions a DEM was found to have, as the dialog shows them.
void show_dimensions(const RunState& st, std::ostream& out);

// ---- the mask ---------------------------------------------------------------

// Reads a raw mask's descriptor into st.mask; false when there is none.
bool read_mask_descriptor(RunState& st);

// The mask checked against the DEM's size (and, for GDAL rasters, its grid
// and coordinate system), and its codes.
void load_mask(RunState& st, std::ostream& notes);
void load_gdal_mask(RunState& st, std::ostream& notes);
// A GDAL mask's cell value `v` (`valid`: its mask band's value, 1 without
// one): false for a cell in no zone (the no-data value, or 0 in the mask
// band); else true with its code. A value that is not a whole number of the
// codes' range (-2147483648 to 4294967295) stops the run naming its line and
// column.
bool gdal_mask_code(const GdalRaster& r, const std::string& path, double v, unsigned char valid, int line, int column,
                    long long& code);

// The codes a GDAL mask holds, its no-data cells aside, in increasing order:
// one more pass, made only to tell which codes a code that selects no cell
// is not among.
std::vector<long long> gdal_mask_codes(const RunState& st);

// The value the passes' mask lines hold in the zone: the code itself for the
// tool's own masks (bytes), 1 for GDAL masks, whose lines the passes turn
// into 1 in the zone and 0 elsewhere (their codes are 32-bit).
int zone_code(const RunState& st);

// The warning for a code that selects no cell: said once the mask is loaded,
// or, for GDAL masks (whose codes are known only by reading them all), once
// the zone is measured.
void code_warning(const RunState& st, std::ostream& notes);

// The codes a mask holds, for messages: "0, 1, 2 to 9, 255".
std::string codes_text(const std::array<bool, 256>& codes);

// ---- the zone ---------------------------------------------------------------

// One pass over the DEM and the mask: the zone's figures, and its volume when
// it is asked for; the note on its cells without data.
void measure_zone(RunState& st, std::ostream& notes, const PassProgress& progress);

// The figures of one band, added to `figures` (the lines in order, each
// line's cells in order); and the figures of the whole zone, once every band
// was added: the zone's area, its notes.
struct Band;
void measure_band(const RunState& st, const Band& band, ZoneFigures& figures);
void zone_measured(RunState& st, ZoneFigures figures, std::ostream& notes);

// The note on the zone's cells without data, left out of the volume.
std::string no_data_note(const RunState& st);

// ---- the result -------------------------------------------------------------

// Why the chosen result cannot be written ("" when it can). The dialog says
// each and asks again: the name for the first three, the format for the
// last; the command line stops with the first of them (result_problem).
//   a name that is a path, or too long for the folder's names
std::string result_name_problem(const std::string& folder, const std::string& name);
//   a file of the result (or the report's copy) that would replace a file an
//   input reads (its descriptor, .prj, .hdr; a GDAL raster's every file)
std::string replaced_input(const RunState& st);
//   a file under one of the result's names that mesacrop did not write (a
//   .json that is not its report, a descriptor, .hdr or .prj not its own)
std::string foreign_file(const RunState& st);
//   values that do not fit the raster
std::string fit_problem(const RunState& st);
std::string result_problem(const RunState& st);
// True when the result cannot but fit its raster, before the zone is
// measured: a raw DEM's stored values into a raw raster that holds them all,
// the hypsometric value too. The command line then measures the zone in the
// writing pass.
bool fits_unmeasured(const RunState& st);

// Every file the inputs read; the files of the chosen result set.
std::vector<std::string> input_files(const RunState& st);
std::vector<std::string> result_set_paths(const RunState& st);

// The warning for a hypsometric value that is the result's no-data value.
void outside_nodata_warning(const RunState& st, std::ostream& notes);

// The files of the chosen result.
ResultFiles chosen_result_files(const RunState& st);

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
// after it. A grid result needs st.job.result.corner when the DEM has none.
// A GeoTIFF of a zone not yet measured (the command line: nothing is asked
// in between) measures it in the same pass.
WrittenResult write_result(RunState& st, const std::vector<CompanionFile>& companions, std::ostream& notes,
                           const PassProgress& progress);

// ---- the table of every zone ---------------------------------------------------

struct TableRow {
  long long code;
  ZoneFigures figures;  // exactly those of a one-zone run of this code
};

// One pass over the DEM and the mask: the figures of every code the mask
// holds (or of the codes st.job.table asks for), in increasing order.
std::vector<TableRow> zone_table(RunState& st, const PassProgress& progress);

// The table as CSV (one header line, then a line per code; reals in their
// shortest exact form, an empty field for none) or JSON.
std::string table_csv(const std::vector<TableRow>& rows, const FigureChoices& choices);
std::string table_json(const RunState& st, const std::vector<TableRow>& rows);

// The table as st.job.table's path asks: a .json file as JSON, any other
// (and "-") as CSV.
std::string table_text(const RunState& st, const std::vector<TableRow>& rows);

// What the figures depend on among the zone's choices.
FigureChoices figure_choices(const ZoneChoice& zone);

// ---- the whole job ------------------------------------------------------------

// Does the whole job of st.job, in the dialog's order: the result's folder
// put right, the DEM, the mask, every output checked (no two the same file,
// none an input), the table of every zone when asked, the zone, the result,
// then every output put in place at once (the table on `out` when its path
// is "-"). The choices the files leave open must be in the job
// (MissingChoice otherwise, also for an output that names an input or
// another output).
WrittenResult run_job(RunState& st, std::ostream& out, std::ostream& notes, const PassProgress& progress);
