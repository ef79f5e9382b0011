// The GDAL module's writer: GeoTIFF results, written in lines.
#include <cpl_conv.h>
#include <cpl_error.h>
#include <cpl_string.h>
#include <cpl_vsi_virtual.h>
#include <gdal.h>
#include <gdal_priv.h>

#include <cstring>
#include <mutex>

#include "library_module.h"

// Null once GDAL is ready; else why it cannot be used.
const char* start_gdal();
const char* gdal_error();
void hold_cache_rows(long long bytes);

namespace {

// The height of the result's tiles.
constexpr int kTileLines = 256;

struct Writer {
  GDALDatasetH dataset;
  GDALRasterBandH band;
  long long row_bytes;  // a row of its tiles in the cache
};

// Results are written through a file system of the module's own, which
// hands every call on to the local file, so that a result abandoned
// half-way (a failed run) gets no more bytes: on closing, GDAL writes every
// tile not yet written, which for a raster of 10^12 cells is many
// gigabytes, and only a failed write stops it.
constexpr const char* kResultFiles = "/vsimesacrop_result/";
bool abandoning = false;

class ResultFile : public VSIVirtualHandle {
 public:
  explicit ResultFile(VSILFILE* file) : file_(file) {}
  ~ResultFile() override { Close(); }
  int Seek(vsi_l_offset offset, int whence) override { return VSIFSeekL(file_, offset, whence); }
  vsi_l_offset Tell() override { return VSIFTellL(file_); }
  size_t Read(void* buffer, size_t size, size_t count) override { return VSIFReadL(buffer, size, count, file_); }
  size_t Write(const void* buffer, size_t size, size_t count) override {
    return abandoning ? 0 : VSIFWriteL(buffer, size, count, file_);
  }
  int Eof() override { return VSIFEofL(file_); }
  int Flush() override { return abandoning ? 0 : VSIFFlushL(file_); }
  int Truncate(vsi_l_offset size) override { return abandoning ? 0 : VSIFTruncateL(file_, size); }
  int Close() override {
    const int closed = file_ != nullptr ? VSIFCloseL(file_) : 0;
    file_ = nullptr;
    return closed;
  }

 private:
  VSILFILE* file_;
};

class ResultFileSystem : public VSIFilesystemHandler {
 public:
  using VSIFilesystemHandler::Open;
  VSIVirtualHandle* Open(const char* name, const char* access, bool set_error, CSLConstList) override {
    VSILFILE* file = VSIFOpenExL(local(name), access, set_error);
    return file != nullptr ? new ResultFile(file) : nullptr;
  }
  int Stat(const char* name, VSIStatBufL* info, int flags) override { return VSIStatExL(local(name), info, flags); }
  int Unlink(const char* name) override { return VSIUnlink(local(name)); }
  char** ReadDirEx(const char* name, int most) override { return VSIReadDirEx(local(name), most); }

 private:
  static const char* local(const char* name) { return name + std::strlen(kResultFiles); }
};

}  // namespace

void* open_writer(const char* path, int lines, int columns, const double* transform, const char* wkt, int float64,
                  double nodata, const char** error) {
  if (const char* why = start_gdal()) {
    *error = why;
    return nullptr;
  }
  static std::once_flag installed;
  std::call_once(installed, [] { VSIFileManager::InstallHandler(kResultFiles, new ResultFileSystem); });
  abandoning = false;
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
  GDALDatasetH dataset = GDALCreate(driver, (std::string(kResultFiles) + path).c_str(), columns, lines, 1, float64 != 0 ? GDT_Float64 : GDT_Float32, options);
  CSLDestroy(options);
  if (dataset == nullptr) {
    *error = gdal_error();
    return nullptr;
  }
  double copy[6];
  for (int k = 0; k < 6; ++k) copy[k] = transform[k];
  GDALRasterBandH band = GDALGetRasterBand(dataset, 1);
  // Altitudes in metres, whatever the DEM's unit was.
  if (GDALSetGeoTransform(dataset, copy) != CE_None || (*wkt != '\0' && GDALSetProjection(dataset, wkt) != CE_None) ||
      GDALSetRasterNoDataValue(band, nodata) != CE_None || GDALSetRasterUnitType(band, "metre") != CE_None) {
    *error = gdal_error();
    abandoning = true;
    GDALClose(dataset);
    return nullptr;
  }
  const long long row_bytes = static_cast<long long>(kTileLines) * columns * (float64 != 0 ? 8 : 4);
  hold_cache_rows(row_bytes);
  return new Writer{dataset, band, row_bytes};
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

int close_writer(void* handle, int complete, const char** error) {
  Writer* writer = static_cast<Writer*>(handle);
  CPLErrorReset();
  abandoning = complete == 0;
  GDALClose(writer->dataset);  // writes the last tiles
  hold_cache_rows(-writer->row_bytes);
  delete writer;
  if (complete == 0) return 0;
  if (CPLGetLastErrorType() >= CE_Failure) {
    *error = gdal_error();
    return 1;
  }
  return 0;
}
