#include <cmath>
#include <cstdlib>
#include <mutex>

#include <cpl_conv.h>
#include <cpl_error.h>
#include <gdal.h>
#include <ogr_srs_api.h>

#include "fatal.h"
#include "gdal_raster.h"
#include "text.h"

namespace {

std::string last_gdal_error() {
  const char* message = CPLGetLastErrorMsg();
  return message != nullptr && *message != '\0' ? message : "GDAL gave no reason";
}

}  // namespace

// GDAL's drivers registered once; its block cache capped, so memory stays
// flat whatever the raster's size; its messages kept for ours.
void start_gdal() {
  static std::once_flag started;
  std::call_once(started, [] {
    GDALAllRegister();
    GDALSetCacheMax64(40 << 20);
    CPLSetErrorHandler(CPLQuietErrorHandler);
  });
}

bool gdal_available() { return true; }

GdalReader::GdalReader(const std::string& path) : path_(path) {
  start_gdal();
  CPLErrorReset();
  dataset_ = GDALOpenEx(path.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY, nullptr, nullptr, nullptr);
  if (dataset_ == nullptr) {
    fatal_stop(text("\n\n\tThe raster %s cannot be read (%s)\n", path.c_str(), shown(last_gdal_error()).c_str()));
  }
  if (GDALGetRasterCount(dataset_) < 1) fatal_stop(text("\n\n\tThe file %s holds no raster band\n", path.c_str()));
  band_ = GDALGetRasterBand(dataset_, 1);
  GdalRaster& r = raster_;
  r.driver = GDALGetDriverShortName(GDALGetDatasetDriver(dataset_));
  const GDALDataType type = GDALGetRasterDataType(band_);
  r.data_type = GDALGetDataTypeName(type);
  r.integer_cells = type == GDT_Byte || type == GDT_Int16 || type == GDT_UInt16 || type == GDT_Int32 || type == GDT_UInt32;
  r.float64 = type == GDT_Float64;
  if (!r.integer_cells && !r.float64 && type != GDT_Float32) {
    fatal_stop(text("\n\n\tThe raster %s has cells of type %s: Byte, Int16, UInt16, Int32, UInt32, Float32 or Float64 "
                    "are read\n",
                    path.c_str(), r.data_type.c_str()));
  }
  r.lines = GDALGetRasterYSize(dataset_);
  r.columns = GDALGetRasterXSize(dataset_);
  int block_columns = 0;
  GDALGetBlockSize(band_, &block_columns, &r.block_lines);
  r.georeferenced = GDALGetGeoTransform(dataset_, r.transform) == CE_None;
  int has_nodata = 0;
  const double nodata = GDALGetRasterNoDataValue(band_, &has_nodata);
  if (has_nodata != 0) r.nodata = nodata;
  const char* unit = GDALGetRasterUnitType(band_);
  r.vertical_unit = unit != nullptr ? unit : "";

  if (OGRSpatialReferenceH srs = GDALGetSpatialRef(dataset_)) {
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
    if (!r.geographic) {
      char* unit_name = nullptr;
      r.horizontal_m = OSRGetLinearUnits(srs, &unit_name);
      r.horizontal_unit = unit_name != nullptr ? unit_name : "";
    } else {
      r.horizontal_unit = "degree";
    }
  }
}

GdalReader::~GdalReader() {
  if (dataset_ != nullptr) GDALClose(dataset_);
}

void GdalReader::read(int first, int count, int column, int width, double* const* rows) {
  for (int k = 0; k < count; ++k) {
    CPLErrorReset();
    if (GDALRasterIO(band_, GF_Read, column, first + k, width, 1, rows[k], width, 1, GDT_Float64, 0, 0) != CE_None) {
      fatal_stop(text("\n\n\tThe raster %s could not be read at line %d (%s)\n", path_.c_str(), first + k,
                      shown(last_gdal_error()).c_str()));
    }
  }
}

bool same_coordinate_system(const std::string& a, const std::string& b) {
  OGRSpatialReferenceH first = OSRNewSpatialReference(a.c_str());
  OGRSpatialReferenceH second = OSRNewSpatialReference(b.c_str());
  const bool same = first != nullptr && second != nullptr && OSRIsSame(first, second) != 0;
  OSRDestroySpatialReference(first);
  OSRDestroySpatialReference(second);
  return same;
}
