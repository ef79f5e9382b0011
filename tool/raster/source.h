// The inputs of a run: a source per layout of a DEM or a mask, each in a
// file of its own under formats/, found through formats/registry.h.
//
// A source's lifecycle is fixed:
//   open      the constructor opens the file, once for the whole run, and
//             reads its header: the facts it gives (size, cell size,
//             coordinate system...);
//   needs     says which choices the file leaves open (a raw DEM without
//             descriptor: its size and pixel size; always its unit);
//   load      completes the facts with those choices and checks the file
//             against them; from then on the facts are read-only;
//   passes    begin_pass, one read per band, end_pass: the cells, read
//             again from the file kept open (a grid: from its parsed
//             copy), checked unchanged at each end.
// Every fault is a fatal stop naming the file; a choice that is needed and
// missing is the caller's to ask (the dialog) or to refuse (the command line,
// with the words missing_choice gives).
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "files/library_raster.h"
#include "job.h"
#include "platform.h"
#include "raster/bands.h"
#include "raster/geometry.h"
#include "raster/raw_types.h"
#include "zone/cell_areas.h"
#include "zone/coverage.h"

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

// The smallest and largest stored values of a raw DEM's cells with data.
struct StoredRange {
  long long low = 0, high = 0;
};

// What a DEM's files say, in metres, once it is loaded.
struct DemFacts {
  RasterGeometry geometry;       // size, cell size, corner, no-data marker (an altitude), .prj
  CellAreas areas;               // m2 of its cells, line by line
  std::string descriptor_path;   // raw: its descriptor
  std::optional<RawType> stored_cells;     // raw: the cells a raw result may take as they are stored
  double stored_per_metre = 1.0;           // raw: stored value / this = metres (its unit's factor)
  std::optional<long long> stored_nodata;  // raw: the stored value of cells without data
  std::optional<Corner> header_corner;     // raw: the corner a .hdr beside it gives
  std::optional<GdalRaster> gdal;          // through GDAL: what its file says
  int vertical_unit = kMetre;              // the unit of its altitudes
  bool vertical_unit_assumed = false;      // none was given: metres
  bool square_cells = true;                // in the units of its coordinates
  std::string size_origin;                 // what gives its size and cell size, for messages
};

// The choices a DEM's file leaves open.
enum DemNeed : unsigned { kNeedsSize = 1, kNeedsPixelSize = 2, kNeedsUnit = 4 };

class DemSource {
 public:
  virtual ~DemSource() = default;
  const DemFacts& facts() const { return facts_; }

  // DemNeed bits: what load() will take from the choices.
  virtual unsigned needs() const = 0;
  // The command line's words for a need the choices do not meet.
  virtual std::string missing_choice(DemNeed need) const = 0;
  // A raw DEM's stored range, a pass over its cells (before its unit is
  // chosen: the dialog shows it), once its size is known from the file or
  // the choices; none for the others.
  virtual std::optional<StoredRange> stored_range(const DemChoice&, std::ostream&) { return std::nullopt; }
  // A copy of the cells the source keeps on the disk (a grid's parsed
  // cells), given up to make room: true when there was one; the passes then
  // read the file itself.
  virtual bool release_copy() { return false; }
  // Completes the facts with the choices and checks the file: its length,
  // every cell of a grid; says what a user must know.
  virtual void load(const DemChoice& choice, std::ostream& notes, const PassProgress& progress) = 0;

  // A pass: rewinds; then the bands in file order; then the file is
  // checked unchanged.
  virtual void begin_pass(const BandShape& shape) = 0;
  // The band's altitudes in metres (band.altitude) and, for a raw DEM with
  // BandCells::stored or both, its stored cells (band.stored).
  virtual void read(Band& band, BandCells cells) = 0;
  virtual void end_pass() = 0;

 protected:
  DemFacts facts_;
};

// What a mask's files say.
struct MaskFacts {
  int lines = 0, columns = 0;
  std::string descriptor_path;   // raw: its descriptor
  std::optional<GdalRaster> gdal;
  std::optional<PolygonFacts> polygons;
};

class MaskSource {
 public:
  virtual ~MaskSource() = default;
  const MaskFacts& facts() const { return facts_; }

  // True when the file does not give its size (a raw mask without
  // descriptor): load() takes it from the choices.
  virtual bool needs_size() const { return false; }
  virtual std::string missing_choice() const { return ""; }
  // Completes the facts and checks the mask against the DEM (of path
  // `dem_path`): its size, its grid and coordinate system where both have
  // them; its pixels.
  virtual void load(const MaskChoice& choice, const DemFacts& dem, const std::string& dem_path, std::ostream& notes) = 0;

  // The value the passes' lines hold for the cells of the zone of `code`
  // (MaskCells::zone): the code itself for bytes, 1 for a mask of wider
  // codes (its lines hold 1 in the zone, 0 elsewhere); -1 when no cell can.
  virtual int zone_value(long long code) const {
    return code >= 0 && code <= 255 ? static_cast<int>(code) : -1;
  }
  // Whether some cell holds `code`, and the codes held, for the warning on a
  // code that selects no cell (may read the mask). A mask whose codes take a
  // whole pass to know is asked only when its zone came out empty.
  virtual bool holds(long long code) = 0;
  virtual std::string codes_text() = 0;
  virtual bool codes_take_a_pass() const { return false; }

  // A pass: `cells` says how lines come; `code` is the zone's.
  virtual void begin_pass(MaskCells cells, long long code) = 0;
  // Bytes a cell in the pass's lines: 1, or 4 for wide codes (indices of
  // codes(), kNoZone outside every zone).
  virtual int cell_bytes() const { return 1; }
  // `count` whole lines from `first`, in order.
  virtual void read_lines(int first, int count, int nb_col, unsigned char* const* rows) = 0;
  // Columns column .. column + width - 1 of one line.
  virtual void read_segment(int line, int column, int width, int nb_col, unsigned char* out) = 0;
  // Wide codes: the code of each index, in the order the pass met them.
  virtual const std::vector<long long>& codes() const {
    static const std::vector<long long> none;
    return none;
  }
  virtual void end_pass() = 0;

  // A polygon layer (facts().polygons): in a pass, the share each zone of
  // the pass (the code's, or every zone) covers of the cells of one line,
  // `column` .. `column + width - 1`, for the zones with an edge across it
  // (zone: the index in facts().polygons->codes). Lines come in order, each
  // once per band, after the band's read_lines.
  virtual void cover(int /*line*/, int /*column*/, int /*width*/, const LineCover& /*cover*/) {}

 protected:
  MaskFacts facts_;
};

// The codes held, for messages: "0, 1, 2 to 9, 255".
std::string codes_text(const std::array<bool, 256>& codes);
