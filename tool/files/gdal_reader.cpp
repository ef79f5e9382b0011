// The GDAL module's reader, and its entry point: band 1 of any raster GDAL
// opens, described and read in lines as doubles.
#include <cstdlib>
#include <mutex>
#include <string>

#include <cpl_conv.h>
#include <cpl_error.h>
#include <gdal.h>
#include <ogr_srs_api.h>

#include "library_module.h"

// Shared with the writer (gdal_writer.cpp).
void start_gdal();
const char* gdal_error();
void* open_writer(const char* path, int lines, int columns, const double* transform, const char* wkt, int float64,
                  double nodata, const char** error);
int write_lines(void* writer, int first, int count, int column, int width, const double* const* rows,
                const char** error);
int close_writer(void* writer, const char** error);

namespace {

struct Reader {
  GDALDatasetH dataset;
  GDALRasterBandH band;
};

// Why GDAL failed, kept until the next call.
std::string last_error;

void describe(GDALDatasetH dataset, GDALRasterBandH band, GdalRaster& r) {
  r.driver = GDALGetDriverShortName(GDALGetDatasetDriver(dataset));
  const GDALDataType type = GDALGetRasterDataType(band);
  r.data_type = GDALGetDataTypeName(type);
  r.integer_cells = type == GDT_Byte || type == GDT_Int16 || type == GDT_UInt16 || type == GDT_Int32 || type == GDT_UInt32;
  r.float64 = type == GDT_Float64;
  r.lines = GDALGetRasterYSize(dataset);
  r.columns = GDALGetRasterXSize(dataset);
  int block_columns = 0;
  GDALGetBlockSize(band, &block_columns, &r.block_lines);
  r.georeferenced = GDALGetGeoTransform(dataset, r.transform) == CE_None;
  int has_nodata = 0;
  const double nodata = GDALGetRasterNoDataValue(band, &has_nodata);
  if (has_nodata != 0) r.nodata = nodata;
  const char* unit = GDALGetRasterUnitType(band);
  r.vertical_unit = unit != nullptr ? unit : "";
  OGRSpatialReferenceH srs = GDALGetSpatialRef(dataset);
  if (srs == nullptr) return;
  char* wkt = nullptr;
  if (OSRExportToWkt(srs, &wkt) == OGRERR_NONE && wkt != nullptr) r.wkt = wkt;
  CPLFree(wkt);
  if (const char* name = OSRGetName(srs)) r.crs_name = name;
  const char* authority = OSRGetAuthorityName(srs, nullptr);
  const char* code = OSRGetAuthorityCode(srs, nullptr);
  if (authority != nullptr && code != nullptr && std::string(authority) == "EPSG") r.epsg = std::atoi(code);
  r.geographic = OSRIsGeographic(srs) != 0;
  OGRErr error = OGRERR_NONE;
  r.semi_major_m = OSRGetSemiMajor(srs, &error);
  r.inverse_flattening = OSRGetInvFlattening(srs, &error);
  if (r.geographic) {
    r.horizontal_unit = "degree";
  } else {
    char* unit_name = nullptr;
    r.horizontal_m = OSRGetLinearUnits(srs, &unit_name);
    r.horizontal_unit = unit_name != nullptr ? unit_name : "";
  }
}

void* open_reader(const char* path, GdalRaster* raster, const char** error) {
  start_gdal();
  CPLErrorReset();
  // Blocks decoded on every core when a request spans several.
  const char* const options[] = {"NUM_THREADS=ALL_CPUS", nullptr};
  GDALDatasetH dataset = GDALOpenEx(path, GDAL_OF_RASTER | GDAL_OF_READONLY, nullptr, options, nullptr);
  if (dataset != nullptr && GDALGetRasterCount(dataset) < 1) {
    GDALClose(dataset);
    dataset = nullptr;
    CPLError(CE_Failure, CPLE_AppDefined, "it holds no raster band");
  }
  if (dataset == nullptr) {
    *error = gdal_error();
    return nullptr;
  }
  GDALRasterBandH band = GDALGetRasterBand(dataset, 1);
  describe(dataset, band, *raster);
  return new Reader{dataset, band};
}

// One request for the lines whose rows lie at equal distances in memory
// (a block's worth: its blocks decoded once, on every core), else a request
// a line.
int read_lines(void* handle, int first, int count, int column, int width, double* const* rows, const char** error) {
  const Reader& reader = *static_cast<Reader*>(handle);
  bool even = count > 1;
  const std::ptrdiff_t step = count > 1 ? rows[1] - rows[0] : 0;
  for (int k = 1; even && k < count; ++k) even = rows[k] - rows[k - 1] == step && step >= width;
  CPLErrorReset();
  if (even) {
    if (GDALRasterIO(reader.band, GF_Read, column, first, width, count, rows[0], width, count, GDT_Float64, 0,
                     static_cast<GSpacing>(step * static_cast<std::ptrdiff_t>(sizeof(double)))) != CE_None) {
      *error = gdal_error();
      return 1;
    }
    return 0;
  }
  for (int k = 0; k < count; ++k) {
    if (GDALRasterIO(reader.band, GF_Read, column, first + k, width, 1, rows[k], width, 1, GDT_Float64, 0, 0) !=
        CE_None) {
      *error = gdal_error();
      return 1;
    }
  }
  return 0;
}

void close_reader(void* handle) {
  Reader* reader = static_cast<Reader*>(handle);
  GDALClose(reader->dataset);
  delete reader;
}

int same_coordinate_system(const char* a, const char* b) {
  start_gdal();
  OGRSpatialReferenceH first = OSRNewSpatialReference(a);
  OGRSpatialReferenceH second = OSRNewSpatialReference(b);
  const bool same = first != nullptr && second != nullptr && OSRIsSame(first, second) != 0;
  OSRDestroySpatialReference(first);
  OSRDestroySpatialReference(second);
  return same ? 1 : 0;
}

}  // namespace

// GDAL's drivers registered once; its block cache capped, so memory stays
// flat whatever the raster's size; its messages kept for the tool's.
void start_gdal() {
  static std::once_flag started;
  std::call_once(started, [] {
    GDALAllRegister();
    GDALSetCacheMax64(24 << 20);
    CPLSetErrorHandler(CPLQuietErrorHandler);
  });
}

const char* gdal_error() {
  const char* message = CPLGetLastErrorMsg();
  last_error = message != nullptr && *message != '\0' ? message : "GDAL gave no reason";
  return last_error.c_str();
}

extern "C" const GdalModule* mesacrop_gdal_module() {
  static const GdalModule module{open_reader,  read_lines,  close_reader, open_writer,
                                 write_lines,  close_writer, same_coordinate_system};
  return &module;
}
