// The layouts of the tool's elevation and mask files, reader and writer side.
//
//   NAME_m2.raw / NAME_m4.raw  raw DEM: lines x columns cells, line 0 first,
//                              unsigned 16-bit / signed 32-bit little-endian
//   NAME_m2.txt / NAME_m4.txt  DEM descriptor: lines, columns, bytes per cell,
//                              smallest and largest stored value, pixel size,
//                              then free text (a result's report)
//   NAME.asc                   ASCII grid: six header lines, then the altitudes
//   NAME.raw                   raw mask: lines x columns bytes
//   NAME.txt                   mask descriptor: lines, then columns
//   NAME_m2.hdr / NAME_m4.hdr  header of a raw result for GIS tools (ESRI BIL)
//
// Every function takes its file and its values as arguments; none of them
// talks to the user. A file that cannot be read as its layout requires is a
// fatal stop whose message names the file. Rasters are read and written in
// bands of lines, never held whole.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "files/library_raster.h"
#include "matrix.h"
#include "number_text.h"
#include "raster/geometry.h"
#include "raster/raw_types.h"
#include "zone/zone.h"

class OutputFile;

// Called with each line number before that line is read or written.
using LineProgress = std::function<void(int line)>;

// ---- raw rasters (DEM and mask) -------------------------------------------

// Checks that the open raster `f` holds at least lines x columns cells of
// `cell_bytes` bytes; a shorter file is a fatal stop naming the sizes, and so
// is one of exactly 2, 4 or 8 times that length, whose cells are wider than
// those read. Returns how many bytes the file holds beyond them.
std::uint64_t raster_surplus(std::FILE* f, const std::string& path, int nb_lig, int nb_col, int cell_bytes);

// Reads the next `count` lines of `line_bytes` bytes into `bytes`, in file
// order; `first` is the number of the first of them, for messages.
void read_raw_lines(std::FILE* f, const std::string& path, unsigned char* bytes, std::size_t line_bytes, int first,
                    int count);

// The smallest and largest stored integers of `cells` cells, those holding
// `skipped` (no data) aside.
void raw_extremes(const unsigned char* bytes, std::size_t cells, const RawType& type, std::int32_t& low,
                  std::int32_t& high, std::optional<std::int32_t> skipped = std::nullopt);

// Altitudes in metres of `cells` stored cells: stored value / coef.
void raw_to_metres(const unsigned char* bytes, std::size_t cells, const RawType& type, double coef, double* metres);

// Stored cells of `cells` altitudes: the stored value of altitude x coef
// (stored_value.h), its low 16 or 32 bits.
void metres_to_raw(const double* metres, std::size_t cells, double coef, const RawType& type, unsigned char* bytes);

// A result line made straight from the stored cells of a raw DEM line, when
// the result keeps the DEM's unit: cells of the zone keep their stored value,
// the others get `outside`; written as cells of `out_type`. The same bytes as
// metres_to_raw of the extracted altitudes, as a stored value divided by
// coef and multiplied back is that stored value again.
void select_raw_cells(const unsigned char* stored, const RawType& type, const unsigned char* mask, int code,
                      std::int32_t outside, std::size_t cells, const RawType& out_type, unsigned char* out);

// ---- descriptors ----------------------------------------------------------

// Reads the six leading items as "%d%d%d%d%d%lf" would: an item that is missing
// or unreadable stops the reading, leaving it and the later ones unchanged.
// Returns how many items were read.
int read_dem_descriptor(std::FILE* f, int& nb_lig, int& nb_col, int& val, int& mind, int& maxd,
                        double& dpix_size);

// A pixel size as descriptors write it (and a grid's header its corner and
// cell size): "%lf" when that reads back as the same double (2.500000), else
// its shortest exact form (0.3048006096).
std::string pixel_size_text(double dpix_size);

// The six lines of a DEM descriptor as the tool creates it for an input DEM.
std::string dem_descriptor_text(int nb_lig, int nb_col, int val, int mind, int maxd, double dpix_size);

// Reads lines and columns as "%d %d " would. Returns how many were read.
int read_mask_descriptor(std::FILE* f, int& num_lines, int& num_columns);

struct ResultReport {
  int nb_lig, nb_col, val;
  long long stored_min, stored_max;
  double dpix_size;  // metres
  std::string dem_path, mask_path;
  long long code;
  double val_alti;
  int voltreat;  // 0: the volume below is reported; anything else: "no volume calculation"
  double vol_tot;  // cubic metres
};

// The descriptor of a result raster: six number lines and the run's report.
// `notes` (each a line of its own) end the report.
std::string result_descriptor_text(const ResultReport& report, const std::vector<std::string>& notes = {});

// The ESRI BIL header (NAME_m2.hdr / NAME_m4.hdr) through which GIS tools
// open a raw result: layout and cell type, the map position of the centre of
// the upper-left cell when the raster is placed, and the stored value of the
// cells without data when it has some.
std::string ehdr_text(const RasterGeometry& geometry, const RawType& type,
                      std::optional<long long> nodata = std::nullopt);

// What a header beside a raw raster says (NAME_m2.hdr), as GDAL writes them:
// ESRI BIL (NODATA, ULXMAP and ULYMAP at the centre of the upper-left cell,
// XDIM, YDIM) or ENVI ("data ignore value", "map info").
struct RasterHeader {
  std::optional<double> nodata;  // the stored value of cells without data
  bool placed = false;           // the position below is known
  double west = 0.0, north = 0.0;  // the upper-left corner of the upper-left cell
  double xdim = 0.0, ydim = 0.0;   // a cell's width and height
};
RasterHeader read_raster_header(const std::string& content);

// ---- the report for scripts -------------------------------------------------

// What the report says of a DEM read through GDAL.
struct SourceFacts {
  std::string format, data_type;
  std::string horizontal_unit;        // of its coordinate system
  std::string vertical_unit;          // of its altitudes: "m", "ft", "us-ft"...
  bool vertical_unit_found = true;    // given by the band or the command line, not assumed
  std::string crs_name;               // "" when it has none
  std::optional<int> epsg;
  bool ellipsoidal = false;           // cell areas on the ellipsoid (degrees)
  double smallest_area_m2 = 0.0, largest_area_m2 = 0.0;
};

struct JsonReport {
  std::string version;
  std::string dem_path, mask_path;
  long long code;
  double val_alti;
  RasterGeometry geometry;         // of the result
  std::string format;              // "raw 16-bit", "raw 32-bit" or "ascii grid"
  std::vector<std::string> files;  // names of the result's files, in its folder
  ZoneFigures zone;
  bool volume;                     // the volume was asked for
  bool outside_no_data = false;    // cells outside the zone hold the no-data marker
  std::optional<SourceFacts> source;  // a DEM read through GDAL
  std::optional<double> base;         // the base level of the volumes above and below it
  std::optional<double> result_nodata;  // the no-data value a GeoTIFF result declares
  bool full_edge = false;             // every cell with data counted whole (--edge full)
  std::optional<std::string> reference;  // the surface the DEM is compared with
  double threshold_m = 0.0;              // its changes below this are none
  bool difference = false;               // the result holds DEM - REF
  std::optional<PolygonFacts> polygons;  // the zone is a polygon layer's
  std::vector<std::string> percentiles;  // of the altitudes, as given
};

// A JSON string of `value`: quotes and backslashes escaped, control bytes and
// bytes that are not UTF-8 as \u00XX.
std::string json_string(const std::string& value);

// NAME.json / NAME_m2.json: one JSON object with the run's inputs, choices,
// the zone's cell counts and area, its volume and its altitudes.
std::string json_report_text(const JsonReport& report);

// ---- ASCII grids ----------------------------------------------------------

class TokenReader;

// Reads a grid's header, then its cells line by line. The text is read in
// large chunks whose values are parsed on every core.
class GridReader {
 public:
  GridReader(std::FILE* f, std::string path);
  ~GridReader();
  GridReader(const GridReader&) = delete;
  GridReader& operator=(const GridReader&) = delete;

  // Header keywords, in any order and any case: ncols, nrows, xllcorner or
  // xllcenter, yllcorner or yllcenter, cellsize, and optionally nodata_value.
  // The header ends at the first token that is a number.
  RasterGeometry read_header();
  // At most how many values the rest of the file can hold.
  std::uint64_t max_values_left() const;
  // Reads the next `count` lines of `width` values into rows 0 .. count - 1,
  // the first of them being line `first`, from column `column` on (lines
  // longer than a band come in pieces); `progress` is called before each line
  // that starts at column 0. A value that is not a finite number stops the
  // run naming its line and column, unless it is the grid's no-data marker.
  void read_lines(double* const* rows, int first, int count, int column, int width, const LineProgress& progress);
  // True when values follow the last one read.
  bool has_more_values();

 private:
  bool parse_more();

  std::string path_;
  std::unique_ptr<TokenReader> tokens_;
  RasterGeometry header_;  // as the header says
  Vector<double> parsed_;  // values parsed from the text read so far
  std::size_t parsed_count_ = 0, taken_ = 0;
  bool has_fault_ = false;      // a token that is no number follows the parsed values
  std::string fault_;
};

// Writes a grid: the header, then the cells as "%lf" and a tab each, with no
// line end anywhere in the body. The text of a band is made on every core and
// written in order.
class GridWriter {
 public:
  GridWriter(OutputFile& out, const RasterGeometry& geometry);
  // Writes `count` lines (or pieces of lines) of `width` values each.
  void write_lines(const double* const* rows, int count, int width);

 private:
  OutputFile& out_;
  std::vector<std::string> pieces_;  // the text of each core's part of a band
  std::vector<std::size_t> lengths_;
};
