// The GDAL module's writer: GeoTIFF results, written in lines.
#include <cpl_conv.h>
#include <cpl_error.h>
#include <cpl_string.h>
#include <gdal.h>

#include "library_module.h"

void start_gdal();
const char* gdal_error();

namespace {

struct Writer {
  GDALDatasetH dataset;
  GDALRasterBandH band;
};

}  // namespace

void* open_writer(const char* path, int lines, int columns, const double* transform, const char* wkt, int float64,
                  double nodata, const char** error) {
  start_gdal();
  CPLErrorReset();
  GDALDriverH driver = GDALGetDriverByName("GTiff");
  if (driver == nullptr) {
    *error = "GDAL has no GTiff driver";
    return nullptr;
  }
  char** options = nullptr;
  for (const char* option : {"TILED=YES", "BLOCKXSIZE=256", "BLOCKYSIZE=256", "COMPRESS=DEFLATE", "PREDICTOR=3",
                             "BIGTIFF=IF_SAFER", "NUM_THREADS=ALL_CPUS"}) {
    options = CSLAddString(options, option);
  }
  GDALDatasetH dataset = GDALCreate(driver, path, columns, lines, 1, float64 != 0 ? GDT_Float64 : GDT_Float32, options);
  CSLDestroy(options);
  if (dataset == nullptr) {
    *error = gdal_error();
    return nullptr;
  }
  double copy[6];
  for (int k = 0; k < 6; ++k) copy[k] = transform[k];
  GDALRasterBandH band = GDALGetRasterBand(dataset, 1);
  if (GDALSetGeoTransform(dataset, copy) != CE_None || (*wkt != '\0' && GDALSetProjection(dataset, wkt) != CE_None) ||
      GDALSetRasterNoDataValue(band, nodata) != CE_None) {
    *error = gdal_error();
    GDALClose(dataset);
    return nullptr;
  }
  return new Writer{dataset, band};
}

int write_lines(void* handle, int first, int count, int column, int width, const double* const* rows,
                const char** error) {
  const Writer& writer = *static_cast<Writer*>(handle);
  for (int k = 0; k < count; ++k) {
    CPLErrorReset();
    if (GDALRasterIO(writer.band, GF_Write, column, first + k, width, 1, const_cast<double*>(rows[k]), width, 1,
                     GDT_Float64, 0, 0) != CE_None) {
      *error = gdal_error();
      return 1;
    }
  }
  return 0;
}

int close_writer(void* handle, const char** error) {
  Writer* writer = static_cast<Writer*>(handle);
  CPLErrorReset();
  GDALClose(writer->dataset);  // writes the last tiles
  delete writer;
  if (CPLGetLastErrorType() >= CE_Failure) {
    *error = gdal_error();
    return 1;
  }
  return 0;
}
