#include <cpl_conv.h>
#include <cpl_error.h>
#include <cpl_string.h>
#include <gdal.h>

#include "fatal.h"
#include "gdal_raster.h"
#include "text.h"

namespace {

[[noreturn]] void cannot_write(const std::string& path) {
  const char* message = CPLGetLastErrorMsg();
  fatal_stop(text("\n\n\tCannot write the GeoTIFF %s (%s)\n", path.c_str(),
                  shown(message != nullptr && *message != '\0' ? message : "GDAL gave no reason").c_str()));
}

}  // namespace

GdalWriter::GdalWriter(const std::string& path, int lines, int columns, const double transform[6],
                       const std::string& wkt, bool float64, double nodata)
    : path_(path) {
  start_gdal();
  CPLErrorReset();
  GDALDriverH driver = GDALGetDriverByName("GTiff");
  if (driver == nullptr) cannot_write(path);
  char** options = nullptr;
  for (const char* option : {"TILED=YES", "BLOCKXSIZE=256", "BLOCKYSIZE=256", "COMPRESS=DEFLATE", "PREDICTOR=3",
                             "BIGTIFF=IF_SAFER", "NUM_THREADS=ALL_CPUS"}) {
    options = CSLAddString(options, option);
  }
  dataset_ = GDALCreate(driver, path.c_str(), columns, lines, 1, float64 ? GDT_Float64 : GDT_Float32, options);
  CSLDestroy(options);
  if (dataset_ == nullptr) cannot_write(path);
  double copy[6];
  for (int k = 0; k < 6; ++k) copy[k] = transform[k];
  band_ = GDALGetRasterBand(dataset_, 1);
  if (GDALSetGeoTransform(dataset_, copy) != CE_None || (!wkt.empty() && GDALSetProjection(dataset_, wkt.c_str()) != CE_None) ||
      GDALSetRasterNoDataValue(band_, nodata) != CE_None) {
    cannot_write(path);
  }
}

GdalWriter::~GdalWriter() {
  if (dataset_ != nullptr) GDALClose(dataset_);
}

void GdalWriter::write(int first, int count, int column, int width, const double* const* rows) {
  for (int k = 0; k < count; ++k) {
    CPLErrorReset();
    if (GDALRasterIO(band_, GF_Write, column, first + k, width, 1, const_cast<double*>(rows[k]), width, 1, GDT_Float64,
                     0, 0) != CE_None) {
      cannot_write(path_);
    }
  }
}

void GdalWriter::close() {
  CPLErrorReset();
  void* dataset = dataset_;
  dataset_ = nullptr;
  GDALClose(dataset);  // flushes the last tiles
  if (CPLGetLastErrorType() >= CE_Failure) cannot_write(path_);
}
