// The GDAL module: the reader and the writer, built apart from the tool
// (libmesacrop_gdal) and loaded on the first raster that needs them, so that
// runs on the tool's own formats never load GDAL and its hundred libraries.
// Its one entry point hands over this table; errors come back as GDAL's
// words, for the tool's messages.
#pragma once

#include "library_raster.h"

extern "C" {

struct GdalModule {
  // Band `band` (1 = the first) of a raster: a handle, or null with `error`
  // (and raster->vector set when the file is a vector layer GDAL reads).
  void* (*open_reader)(const char* path, int band, GdalRaster* raster, const char** error);
  // 0 when the lines were read into rows[k] (width stored values each) and,
  // with `valid`, the band's mask into valid[k] (0: the cell has no data).
  int (*read)(void* reader, int first, int count, int column, int width, double* const* rows,
              unsigned char* const* valid, const char** error);
  void (*close_reader)(void* reader);
  // A GeoTIFF (see GdalWriter): a handle, or null with `error`.
  void* (*open_writer)(const char* path, int lines, int columns, const double* transform, const char* wkt,
                       int float64, double nodata, const char** error);
  int (*write)(void* writer, int first, int count, int column, int width, const double* const* rows,
               const char** error);
  // Completes the file and frees the handle: 0 when it was written whole.
  // With `complete` 0 the file is abandoned: nothing more is written to it.
  int (*close_writer)(void* writer, int complete, const char** error);
  int (*same_coordinate_system)(const char* a, const char* b);
  // A polygon layer (see read_polygon_layer): 0 when read, 1 for a file or
  // feature at fault, 2 for a choice the file does not allow; `error` says
  // why.
  int (*read_polygons)(const char* path, const char* layer, const char* field, const char* wkt, PolygonLayer* out,
                       TakeZone take, void* taker, const char** error);
  int (*is_vector_layer)(const char* path);
  // PROJ's data (proj.db...) taken from these folders alone (UTF-8, the
  // list ended by a null): called before anything is opened.
  void (*use_proj_data)(const char* const* folders);
};

// The module's entry point.
const GdalModule* mesacrop_gdal_module();
}

// Its name, beside the tool or in ../lib/mesacrop/modules/.
#ifdef _WIN32
constexpr const char* kGdalModuleName = "mesacrop_gdal.dll";
#else
constexpr const char* kGdalModuleName = "libmesacrop_gdal.so";
#endif
// The folder of PROJ's data shipped beside the tool, when there is one
// (the Windows package); PROJ_DATA or PROJ_LIB, when set, name others.
constexpr const char* kProjDataFolder = "proj";
