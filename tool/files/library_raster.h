// Rasters of every format GDAL reads (GeoTIFF, Cloud-Optimized GeoTIFF, VRT
// mosaics, ERDAS .img...), band 1, read in bands of lines; and GeoTIFF
// results, written in bands of lines. The GDAL calls live in the reader
// (gdal_reader.cpp) and the writer (gdal_writer.cpp) alone, built as a
// module the tool loads when a raster first needs it (library_module.h); a
// build without GDAL has neither, and gdal_available() says which.
#pragma once

#include <memory>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "raster/geometry.h"

bool gdal_available();

// What a raster's file says of it.
struct GdalRaster {
  std::string driver;             // "GTiff", "VRT", "HFA"...
  std::string data_type;          // "Float32", "Int16"...
  bool integer_cells = false;     // Byte, Int8, Int16, UInt16, Int32, UInt32
  bool float64 = false;
  bool signed_bytes = false;      // Byte cells that hold -128 to 127 (PIXELTYPE=SIGNEDBYTE)
  int band = 1, band_count = 1;   // the band read, of how many
  int lines = 0, columns = 0;
  int block_lines = 1;            // the height of its blocks (tiles or strips)
  double scale = 1.0, offset = 0.0;  // value = stored x scale + offset
  bool mask_band = false;         // a mask (internal, .msk or alpha) says which cells have data
  bool georeferenced = false;     // it has a geotransform
  double transform[6] = {0, 1, 0, 0, 0, 1};  // x = t0 + col t1 + line t2, y = t3 + col t4 + line t5
  std::string wkt;                // its coordinate system, "" when none
  std::string crs_name;           // "WGS 84 / UTM zone 31N"
  std::optional<int> epsg;
  bool geographic = false;        // degrees
  double semi_major_m = 0.0, inverse_flattening = 0.0;  // its ellipsoid (geographic)
  double horizontal_m = 1.0;      // metres per unit of the coordinate system (projected)
  std::string horizontal_unit;    // "metre", "US survey foot"...
  std::string vertical_unit;      // the band's unit type as written ("" when none)
  std::optional<double> nodata;   // the band's no-data value, compared with stored values
  std::vector<std::string> files; // every file the dataset reads (a VRT's sources too)
  bool vector = false;            // not a raster: a vector layer (set when the open fails)
};

// True when two coordinate systems (WKT) are the same.
bool same_coordinate_system(const std::string& a, const std::string& b);

// The polygons of a vector layer GDAL reads (GeoPackage, Shapefile,
// GeoJSON, FlatGeobuf...), in map coordinates.
struct LayerRing {
  std::vector<double> x, y;  // its vertices, the last joined to the first
  bool hole = false;         // an inner ring of its polygon
};
// A zone: the polygons of every feature of one code, united.
struct LayerFeature {
  long long code = 0;        // the zone field's value, or the feature's id
  long long id = 0;          // the id of its first feature, for messages
  long long features = 1;    // the features of this code
  std::vector<LayerRing> rings;  // of every polygon of it
};
struct PolygonLayer {
  std::string name;                 // the layer read
  std::string crs_name;             // its coordinate system ("" when it has none)
  std::string target_crs_name;      // the one asked for ("" when none was)
  bool transformed = false;         // its coordinates were transformed to that one
  std::vector<std::string> notes;   // each feature left out or mended, named
  std::vector<std::string> files;   // every file of its source
};

// A polygon layer's zones, once loaded: a zone per code, each covering
// cells by a share (zone/coverage.h).
struct PolygonFacts {
  std::string layer;               // its name
  std::string crs_name;            // its coordinate system ("" when none)
  std::string dem_crs_name;        // the DEM's, when its polygons were transformed to it
  std::vector<long long> codes;    // of each zone, increasing
  std::vector<double> off_lines_m2;  // of each zone: its area on lines above and below the DEM
  std::vector<double> area_m2;     // of each zone: its own area, as the cells measure it
  double min_share = 0.5;          // a result keeps the cells covered this much
  std::vector<std::string> files;  // every file of the layer's source
};

// True when `path` is a vector source GDAL opens, with layers and no
// raster (false without the GDAL module: a raster's door then says why).
bool is_vector_layer(const std::string& path);

// Takes each zone of a layer as it is read (`taker`: its own state).
using TakeZone = void (*)(void* taker, LayerFeature& zone);

// Reads layer `layer` of `path` ("": its only one), each feature's code
// from the integer field `field` ("": the feature's id), its polygons
// transformed to the coordinate system `wkt` ("": as they are). A choice
// the file does not allow (a layer among several, a field that is not
// there or not an integer, a layer without polygons) is a MissingChoice
// naming what there is; a file GDAL cannot read or another geometry among
// polygons, a fatal stop. A layer without coordinate system is taken as in
// `wkt`'s (a note says it).
// Each zone goes to `take` as it is read (the zones of one feature's code
// as read, those of several united once the layer is read), which may drop
// its rings: memory holds no more than a zone at a time but the features of
// codes met more than once.
PolygonLayer read_polygon_layer(const std::string& path, const std::string& layer, const std::string& field,
                                const std::string& wkt, const std::function<void(LayerFeature&)>& take);

// Reads one band of a raster, in lines, as doubles. The file is opened once
// and closed with the object.
class GdalReader {
 public:
  // Opening a raster GDAL cannot read is a fatal stop naming `path` as
  // `role` ("raster", "DEM", "mask").
  explicit GdalReader(const std::string& path, int band = 1, const char* role = "raster");
  ~GdalReader();
  GdalReader(const GdalReader&) = delete;
  GdalReader& operator=(const GdalReader&) = delete;

  const GdalRaster& raster() const { return raster_; }
  // Reads `count` lines from `first`, columns column .. column + width - 1,
  // into rows[k] (width stored values each: signed bytes as signed), and,
  // with `valid`, the band's mask into valid[k] (0: no data).
  void read(int first, int count, int column, int width, double* const* rows, unsigned char* const* valid = nullptr);
  // The same lines as altitudes in metres: stored x scale + offset, in
  // `unit`. Cells without data (the no-data value, compared with the stored
  // value, or 0 in the band's mask) get `marker`; any other cell that is not
  // a finite number stops the run naming its line and column.
  void read_altitudes(int first, int count, int column, int width, double* const* rows, int unit, double marker);

 private:
  std::string path_;
  const char* role_;
  GdalRaster raster_;
  void* reader_ = nullptr;
  std::vector<unsigned char> valid_;
  std::vector<unsigned char*> valid_rows_;
};

// Writes a GeoTIFF: tiled 256 x 256, DEFLATE with the floating-point
// predictor, BigTIFF when it could pass 4 GiB, compressed on every core;
// Float32 cells (Float64 with `float64`), the geotransform, the coordinate
// system (WKT, or "" for none) and the no-data value given.
class GdalWriter {
 public:
  // `file` is where GDAL writes it; messages name `shown_as`.
  GdalWriter(const std::string& file, const std::string& shown_as, int lines, int columns, const double transform[6],
             const std::string& wkt, bool float64, double nodata);
  ~GdalWriter();
  GdalWriter(const GdalWriter&) = delete;
  GdalWriter& operator=(const GdalWriter&) = delete;

  // Writes `count` lines from `first`, columns column .. column + width - 1.
  void write(int first, int count, int column, int width, const double* const* rows);
  // Completes the file; a failure is a fatal stop naming `path`. A writer
  // destroyed without close() abandons its file, writing nothing more.
  void close();

 private:
  std::string path_;
  void* writer_ = nullptr;
};
