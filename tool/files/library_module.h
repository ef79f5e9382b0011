// The GDAL module: the reader and the writer, built apart from the tool
// (libmesacrop_gdal) and loaded on the first raster that needs them, so that
// runs on the tool's own formats never load GDAL and its hundred libraries.
// Its one entry point hands over this table; errors come back as GDAL's
// words, for the tool's messages.
#pragma once

#include "library_raster.h"

extern "C" {

struct GdalModule {
  // Band 1 of a raster: a handle, or null with `error`.
  void* (*open_reader)(const char* path, GdalRaster* raster, const char** error);
  // 0 when the lines were read into rows[k] (width values each).
  int (*read)(void* reader, int first, int count, int column, int width, double* const* rows, const char** error);
  void (*close_reader)(void* reader);
  // A GeoTIFF (see GdalWriter): a handle, or null with `error`.
  void* (*open_writer)(const char* path, int lines, int columns, const double* transform, const char* wkt,
                       int float64, double nodata, const char** error);
  int (*write)(void* writer, int first, int count, int column, int width, const double* const* rows,
               const char** error);
  // Completes the file and frees the handle: 0 when it was written whole.
  int (*close_writer)(void* writer, const char** error);
  int (*same_coordinate_system)(const char* a, const char* b);
};

// The module's entry point.
const GdalModule* mesacrop_gdal_module();
}

// Its name, beside the tool or in ../lib/mesacrop/.
constexpr const char* kGdalModuleName = "libmesacrop_gdal.so";
