// Every choice of a run, in one record. The command line fills it from its
// flags before the work begins; the dialog fills it answer after answer, in
// its own order, between the calls of the work that show the facts its next
// question needs (work/work.h). Nothing here is read from a file: files give
// facts, which the run state holds (run_state.h).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "units.h"

// The layouts of the DEM, the mask and the result, named from their files.
enum class DemLayout {
  ascii_grid,  // NAME.asc
  raw,         // NAME_m2.raw / NAME_m4.raw with NAME_m2.txt / NAME_m4.txt
  gdal,        // any raster GDAL reads (GeoTIFF...), band 1
};
enum class MaskLayout {
  bitmap,  // NAME.bmp
  raw,     // NAME.raw with NAME.txt
  gdal,    // any raster GDAL reads, band 1 of whole numbers
  polygons,  // a polygon layer GDAL reads (GeoPackage, Shapefile, GeoJSON...)
};
enum class ResultLayout {
  ascii_grid,  // RES.asc
  raw,         // RES_m2.raw / RES_m4.raw with RES_m2.txt, RES_m2.hdr
  geotiff,     // RES.tif
};

// How the zone's cells weigh in its volume and area: the cells on the
// zone's edge half and those on the raster's frame not at all, or every
// cell with data whole (the plain zonal sum).
enum class EdgeRule { half, full };

// A lower-left corner in map coordinates.
struct Corner {
  double x = 0.0, y = 0.0;
};

struct DemChoice {
  std::string path;                        // the raster or grid file
  DemLayout layout = DemLayout::ascii_grid;
  int itype = 0;                           // raw: 0 16-bit cells, 1 32-bit (raw_types.h)
  std::optional<int> unit;                 // raw: kMetre .. kMillimetre, asked after loading;
                                           // GDAL: any Unit, or none: the band's own
  std::optional<int> band;                 // GDAL: the band read (1 = the first); none: band 1
  std::optional<int> lines, columns;       // raw without descriptor: its size
  std::string size_source = "--size";      // who gave that size, for messages ("Your answer")
  std::optional<double> pixel_size;        // raw: without descriptor, or when it gives 0
  bool write_descriptor = false;           // a missing descriptor is written once the DEM is loaded
};

struct MaskChoice {
  std::string path;                        // the raw mask or bitmap
  MaskLayout layout = MaskLayout::bitmap;
  std::optional<int> lines, columns;       // raw without descriptor: its size
  std::optional<int> band;                 // GDAL: the band read; none: band 1
  std::string layer;                       // polygons: the layer read; "": its only one
  std::string zone_field;                  // polygons: the integer field of the codes; "": the feature ids
  double min_share = 0.5;                  // polygons: a result keeps the cells covered this much
};

struct ZoneChoice {
  long long code = 0;                      // mask value of the zone
  double outside_m = 0.0;                  // the hypsometric value: altitude of every cell outside it
  bool outside_no_data = false;            // grid results: cells outside get the no-data marker instead
  int voltreat = 0;                        // 0: compute the volume; 1 or any negative answer: not
  std::optional<double> base_m;            // also the volumes above and below this level
  EdgeRule edge = EdgeRule::half;
  bool volume() const { return voltreat == 0; }
};

// The table of every zone of the mask.
struct TableChoice {
  std::string path;                        // NAME.csv or NAME.json; "-": CSV on standard output
  std::optional<std::vector<long long>> codes;  // these codes only, in this order sorted; none: every code present
};

// The storage curve of the zone, or of every zone of the table.
struct CurvesChoice {
  std::string path;                        // NAME.csv or NAME.json; "-": CSV on standard output
  std::vector<double> levels_m;            // increasing
};

// A second surface the zone's DEM is compared with (an earlier survey).
struct ReferenceChoice {
  DemChoice surface;                       // read as a DEM is: --reference-unit as --dem-unit
  double threshold_m = 0.0;                // a difference below this is no change
  bool difference = false;                 // the result holds DEM - REF in the zone
};

struct ResultChoice {
  std::string base;                        // folder and name, without suffix
  std::string extension = ".tif";          // GeoTIFF: ".tif" or ".tiff"
  ResultLayout layout = ResultLayout::raw;
  int itype = 0;                           // raw: 0 16-bit, 1 32-bit
  std::optional<int> unit;                 // raw from a grid: 0 m .. 3 mm
  std::optional<Corner> corner;            // grid from a raw DEM: its lower-left corner
  std::string report_copy;                 // also write the JSON report here ("-": standard output)
};

struct Job {
  DemChoice dem;
  MaskChoice mask;
  ZoneChoice zone;
  ResultChoice result;
  bool result_wanted = true;               // false: the table alone
  std::optional<TableChoice> table;
  std::optional<CurvesChoice> curves;
  std::optional<ReferenceChoice> reference;
  std::vector<std::string> percentiles;    // of each zone's altitudes, as given ("2.5")
};
