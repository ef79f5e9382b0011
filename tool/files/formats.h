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
// fatal stop whose message names the file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "number_text.h"

class OutputFile;

// Called with each line number before that line is read or written.
using LineProgress = std::function<void(int line)>;

// ---- raw rasters (DEM and mask) -------------------------------------------

// Checks that the open raster `f` holds at least lines x columns cells of
// `cell_bytes` bytes; a shorter file is a fatal stop naming the sizes. Returns
// how many bytes the file holds beyond them.
std::uint64_t raster_surplus(std::FILE* f, const std::string& path, int nb_lig, int nb_col, int cell_bytes);

// Reads a raw DEM of `cell_bytes` 2 (unsigned 16-bit) or 4 (signed 32-bit)
// into `dtab`, each cell as the double of its stored integer.
void read_raw_dem(std::FILE* f, const std::string& path, double** dtab, int nb_lig, int nb_col, int cell_bytes);

// Fills `cells` with the stored integers of line `line`.
using StoredLine = std::function<void(int line, std::int32_t* cells)>;

// Writes a raw DEM of `cell_bytes` 2 (the low 16 bits of each stored integer)
// or 4, one line at a time as `stored_line` gives them.
void write_raw_dem(OutputFile& out, int nb_lig, int nb_col, int cell_bytes, const StoredLine& stored_line);

void read_raw_mask(std::FILE* f, const std::string& path, unsigned char** tab, int nb_lig, int nb_col);

// ---- descriptors ----------------------------------------------------------

// Reads the six leading items as "%d%d%d%d%d%lf" would: an item that is missing
// or unreadable stops the reading, leaving it and the later ones unchanged.
// Returns how many items were read.
int read_dem_descriptor(std::FILE* f, int& nb_lig, int& nb_col, int& val, int& mind, int& maxd,
                        double& dpix_size);

// The six lines of a DEM descriptor as the tool creates it for an input DEM.
std::string dem_descriptor_text(int nb_lig, int nb_col, int val, int mind, int maxd, double dpix_size);

// Reads lines and columns as "%d %d " would. Returns how many were read.
int read_mask_descriptor(std::FILE* f, int& num_lines, int& num_columns);

struct ResultReport {
  int nb_lig, nb_col, val;
  long long stored_min, stored_max;
  double dpix_size;  // metres
  std::string dem_path, mask_path;
  int code;
  double val_alti;
  int voltreat;  // 0: the volume below is reported; 1: "no volume calculation"
  double vol_tot;  // cubic metres
};

// The descriptor of a result raster: six number lines and the run's report.
std::string result_descriptor_text(const ResultReport& report);

// The ESRI BIL header (NAME_m2.hdr / NAME_m4.hdr) through which GIS tools
// open a raw result: layout and cell type, and the map position of the centre
// of the upper-left cell when the corner is known (`georeferenced`).
std::string ehdr_text(int nb_lig, int nb_col, int bits, bool georeferenced, double X_min, double Y_min,
                      double dpix_size);

// ---- ASCII grids ----------------------------------------------------------

struct GridHeader {
  int nb_col = 0, nb_lig = 0;
  double X_min = 0.0, Y_min = 0.0;  // lower-left corner
  double dpix_size = 0.0;
  double nodata = 0.0;
  bool has_nodata = false;
};

class TokenReader;

// Reads grids in large chunks: the header first, then the cells.
class GridReader {
 public:
  GridReader(std::FILE* f, std::string path);
  ~GridReader();
  GridReader(const GridReader&) = delete;
  GridReader& operator=(const GridReader&) = delete;

  // Header keywords, in any order and any case: ncols, nrows, xllcorner or
  // xllcenter, yllcorner or yllcenter, cellsize, and optionally nodata_value.
  // The header ends at the first token that is a number.
  GridHeader read_header();
  // At most how many values the rest of the file can hold.
  std::uint64_t max_values_left() const;
  // Reads lines x columns values into `dtab`, line 0 first.
  void read_cells(double** dtab, int nb_lig, int nb_col, const LineProgress& progress);

 private:
  std::string path_;
  std::unique_ptr<TokenReader> tokens_;
};

void write_ascii_grid(OutputFile& out, const double* const* dtab, int nb_lig, int nb_col, double X_min,
                      double Y_min, double dpix_size, const LineProgress& progress);
