// The GDAL module's reader, and its entry point: one band of any raster
// GDAL opens from a local file, described and read in lines as doubles.
#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include <cpl_conv.h>
#include <cpl_error.h>
#include <cpl_minixml.h>
#include <cpl_string.h>
#include <cpl_vsi_virtual.h>
#include <gdal.h>
#include <gdal_priv.h>
#include <ogr_srs_api.h>

#include "library_module.h"

// Shared with the writer (gdal_writer.cpp).
// Null once GDAL is ready; else why it cannot be used.
const char* start_gdal();
const char* gdal_error();
void hold_cache_rows(long long bytes);
void* open_writer(const char* path, int lines, int columns, const double* transform, const char* wkt, int float64,
                  double nodata, const char** error);
int write_lines(void* writer, int first, int count, int column, int width, const double* const* rows,
                const char** error);
int close_writer(void* writer, int complete, const char** error);
// The polygon reader (gdal_polygons.cpp).
int read_polygon_layer(const char* path, const char* layer, const char* field, const char* wkt, PolygonLayer* out,
                       TakeZone take, void* taker, const char** error);
int is_vector_layer(const char* path);

namespace {

struct Reader {
  GDALDatasetH dataset;
  GDALRasterBandH band;
  GDALRasterBandH mask;  // null when every cell has data (or the no-data value says which)
  long long row_bytes;   // what a row of its blocks takes in the cache
};

// Why GDAL failed, kept until the next call.
std::string last_error;
// The first file GDAL was refused since the last open (see RefusedFiles).
std::string refused_file;

// ---- what GDAL may open -------------------------------------------------------
//
// Inputs are local files. A raster may name others (a VRT names its
// sources, at any depth), and GDAL would follow a name to the network
// (/vsicurl/, /vsis3/, a WMS server, a database), to standard input, or to
// the process's own memory (MEM:::DATAPOINTER=). So: every file system of
// GDAL's but the local ones answers that the file is not there; the drivers
// that only talk to servers are taken out; the in-memory driver keeps its use
// for creating datasets but opens none by name; VRT bands of raw bytes (any
// local file read as cells) and pixel functions in Python are refused.

// The file systems whose files are local, or made of local files.
constexpr const char* kLocalFileSystems[] = {"/vsimem/", "/vsigzip/", "/vsizip/", "/vsitar/",
                                             "/vsisubfile/", "/vsisparse/", "/vsicrypt/"};
// The drivers that read from servers (or run a program) only.
constexpr const char* kServerDrivers[] = {
    "WCS", "WMS", "WMTS", "PLMOSAIC", "PLSCENES", "EEDAI", "EEDA", "DAAS", "OGCAPI", "NGW", "HTTP", "STACTA", "STACIT",
    "PostGISRaster",
    // Vector layers (a polygon mask, or an OGR VRT naming its source) from
    // databases, services, or another program.
    "PostgreSQL", "MySQL", "MSSQLSpatial", "ODBC", "PGeo", "HANA", "MongoDBv3", "CouchDB", "Elasticsearch", "WFS",
    "OAPIF", "CSW", "Carto", "AmigoCloud", "GPSBabel"};

class RefusedFiles : public VSIFilesystemHandler {
 public:
  using VSIFilesystemHandler::Open;
  VSIVirtualHandle* Open(const char* name, const char*, bool, CSLConstList) override {
    refuse(name);
    return nullptr;
  }
  int Stat(const char* name, VSIStatBufL*, int) override {
    refuse(name);
    return -1;
  }

 private:
  static void refuse(const char* name) {
    if (refused_file.empty()) refused_file = name;
    CPLError(CE_Failure, CPLE_OpenFailed, "%s is not a local file: mesacrop reads local files only", name);
  }
};

void refuse_what_is_not_local() {
  char** prefixes = VSIGetFileSystemsPrefixes();
  std::vector<std::string> refused;
  for (char** p = prefixes; p != nullptr && *p != nullptr; ++p) {
    const std::string prefix = *p;
    if (prefix.rfind("/vsi", 0) != 0) continue;  // the local file system itself
    if (std::find(std::begin(kLocalFileSystems), std::end(kLocalFileSystems), prefix) == std::end(kLocalFileSystems)) {
      refused.push_back(prefix);
    }
  }
  CSLDestroy(prefixes);
  // The handlers replaced are no longer the manager's to free; one may serve
  // several prefixes, and is freed once, when none of its prefixes keeps it.
  std::vector<VSIFilesystemHandler*> replaced;
  for (const std::string& prefix : refused) {
    VSIFilesystemHandler* old = VSIFileManager::GetHandler(prefix.c_str());
    if (std::find(replaced.begin(), replaced.end(), old) == replaced.end()) replaced.push_back(old);
    VSIFileManager::InstallHandler(prefix, new RefusedFiles);
  }
  std::vector<VSIFilesystemHandler*> kept{VSIFileManager::GetHandler("")};
  for (const char* prefix : kLocalFileSystems) kept.push_back(VSIFileManager::GetHandler(prefix));
  for (VSIFilesystemHandler* old : replaced) {
    if (std::find(kept.begin(), kept.end(), old) == kept.end()) delete old;
  }
  for (const char* name : kServerDrivers) {
    if (GDALDriverH driver = GDALGetDriverByName(name)) {
      GDALDeregisterDriver(driver);
      GDALDestroyDriver(driver);
    }
  }
  if (GDALDriver* memory = GetGDALDriverManager()->GetDriverByName("MEM")) {
    memory->pfnOpen = nullptr;
    memory->pfnIdentify = nullptr;
  }
  CPLSetConfigOption("GDAL_VRT_ENABLE_RAWRASTERBAND", "NO");
  CPLSetConfigOption("GDAL_VRT_ENABLE_PYTHON", "NO");
}

// Why a VRT may not be read, "" when it may: a band of raw bytes (any
// local file read as cells), or a source, at any depth, that is not a
// local file. Sources are looked at before any is opened.
std::string vrt_refusal(GDALDatasetH dataset, const std::string& path, int depth);

std::string source_refusal(const CPLXMLNode* node, const std::string& vrt_path, int depth) {
  for (; node != nullptr; node = node->psNext) {
    if (node->eType != CXT_Element) continue;
    if (EQUAL(node->pszValue, "VRTRasterBand") && EQUAL(CPLGetXMLValue(node, "subClass", ""), "VRTRawRasterBand")) {
      return "it reads a file as raw bytes (VRTRawRasterBand), which is not read";
    }
    if (EQUAL(node->pszValue, "SourceFilename")) {
      std::string name = CPLGetXMLValue(node, nullptr, "");
      if (CPLTestBool(CPLGetXMLValue(node, "relativeToVRT", "0"))) {
        name = CPLProjectRelativeFilename(CPLGetPath(vrt_path.c_str()), name.c_str());
      }
      const bool file_system = STARTS_WITH_CI(name.c_str(), "/vsi");
      bool local = !STARTS_WITH_CI(name.c_str(), "MEM:::") &&
                   (name.find("://") == std::string::npos || file_system || STARTS_WITH_CI(name.c_str(), "vrt://"));
      if (file_system) {
        local = std::any_of(std::begin(kLocalFileSystems), std::end(kLocalFileSystems),
                            [&](const char* prefix) { return STARTS_WITH(name.c_str(), prefix); });
      }
      if (!local) return "its source " + name + " is not a local file: mesacrop reads local files only";
      if (depth < 8) {
        const char* const vrt_only[] = {"VRT", nullptr};
        if (GDALDatasetH source = GDALOpenEx(name.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY, vrt_only, nullptr, nullptr)) {
          const std::string why = vrt_refusal(source, name, depth + 1);
          GDALClose(source);
          if (!why.empty()) return why;
        }
      }
    }
    const std::string why = source_refusal(node->psChild, vrt_path, depth);
    if (!why.empty()) return why;
  }
  return "";
}

std::string vrt_refusal(GDALDatasetH dataset, const std::string& path, int depth) {
  char** xml = GDALGetMetadata(dataset, "xml:VRT");
  if (xml == nullptr || xml[0] == nullptr) return "";
  CPLXMLNode* tree = CPLParseXMLString(xml[0]);
  const std::string why = source_refusal(tree, path, depth);
  CPLDestroyXMLNode(tree);
  return why;
}

// ---- describe and read -----------------------------------------------------------

void describe(GDALDatasetH dataset, GDALRasterBandH band, GdalRaster& r) {
  r.driver = GDALGetDriverShortName(GDALGetDatasetDriver(dataset));
  const GDALDataType type = GDALGetRasterDataType(band);
  r.data_type = GDALGetDataTypeName(type);
  r.integer_cells = type == GDT_Byte || type == GDT_Int16 || type == GDT_UInt16 || type == GDT_Int32 ||
                    type == GDT_UInt32 || r.data_type == "Int8";
  r.float64 = type == GDT_Float64;
  const char* pixel_type = GDALGetMetadataItem(band, "PIXELTYPE", "IMAGE_STRUCTURE");
  r.signed_bytes = type == GDT_Byte && pixel_type != nullptr && std::string(pixel_type) == "SIGNEDBYTE";
  r.lines = GDALGetRasterYSize(dataset);
  r.columns = GDALGetRasterXSize(dataset);
  int block_columns = 0;
  GDALGetBlockSize(band, &block_columns, &r.block_lines);
  r.georeferenced = GDALGetGeoTransform(dataset, r.transform) == CE_None;
  int has_nodata = 0;
  const double nodata = GDALGetRasterNoDataValue(band, &has_nodata);
  if (has_nodata != 0) r.nodata = nodata;
  int has = 0;
  const double scale = GDALGetRasterScale(band, &has);
  if (has != 0 && scale != 0.0) r.scale = scale;
  const double offset = GDALGetRasterOffset(band, &has);
  if (has != 0) r.offset = offset;
  const int mask_flags = GDALGetMaskFlags(band);
  r.mask_band = (mask_flags & (GMF_ALL_VALID | GMF_NODATA)) == 0;
  const char* unit = GDALGetRasterUnitType(band);
  r.vertical_unit = unit != nullptr ? unit : "";
  char** files = GDALGetFileList(dataset);
  for (char** f = files; f != nullptr && *f != nullptr; ++f) r.files.emplace_back(*f);
  CSLDestroy(files);
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

// The error of the last call: a refused file first, as it is the cause.
const char* failure() {
  if (!refused_file.empty()) {
    last_error = refused_file + " is not a local file: mesacrop reads local files only";
    return last_error.c_str();
  }
  return gdal_error();
}

void* open_reader(const char* path, int band_number, GdalRaster* raster, const char** error) {
  if (const char* why = start_gdal()) {
    *error = why;
    return nullptr;
  }
  CPLErrorReset();
  refused_file.clear();
  GDALDatasetH dataset = GDALOpenEx(path, GDAL_OF_RASTER | GDAL_OF_READONLY, nullptr, nullptr, nullptr);
  if (dataset != nullptr) {
    last_error = vrt_refusal(dataset, path, 0);
    if (!last_error.empty()) {
      GDALClose(dataset);
      *error = last_error.c_str();
      return nullptr;
    }
  }
  if (dataset == nullptr) {
    // Not a raster: a vector layer is worth saying (its driver is found
    // without opening it).
    raster->vector = refused_file.empty() && GDALIdentifyDriverEx(path, GDAL_OF_VECTOR, nullptr, nullptr) != nullptr;
    *error = failure();
    return nullptr;
  }
  raster->band_count = GDALGetRasterCount(dataset);
  raster->band = band_number;
  if (band_number < 1 || band_number > raster->band_count) {
    last_error = raster->band_count == 0 ? std::string("it holds no raster band")
                                         : "it has " + std::to_string(raster->band_count) + " band" +
                                               (raster->band_count == 1 ? "" : "s") + ", and no band " +
                                               std::to_string(band_number);
    *error = last_error.c_str();
    GDALClose(dataset);
    return nullptr;
  }
  GDALRasterBandH band = GDALGetRasterBand(dataset, band_number);
  describe(dataset, band, *raster);  // a VRT's sources are looked for: a refused one is seen here
  if (!refused_file.empty()) {
    *error = failure();
    GDALClose(dataset);
    return nullptr;
  }
  const long long row_bytes = static_cast<long long>(std::max(raster->block_lines, 1)) * raster->columns *
                              GDALGetDataTypeSizeBytes(GDALGetRasterDataType(band));
  hold_cache_rows(row_bytes);
  return new Reader{dataset, band, raster->mask_band ? GDALGetMaskBand(band) : nullptr, row_bytes};
}

// `count` lines of `band` into rows of `type`: one request when the rows lie
// at equal distances in memory (a block's worth: its blocks decoded once, on
// every core), else a request a line.
template <class Row>
bool read_band(GDALRasterBandH band, GDALDataType type, int first, int count, int column, int width, Row* const* rows) {
  bool even = count > 1;
  const std::ptrdiff_t step = count > 1 ? rows[1] - rows[0] : 0;
  for (int k = 1; even && k < count; ++k) even = rows[k] - rows[k - 1] == step && step >= width;
  if (even) {
    return GDALRasterIO(band, GF_Read, column, first, width, count, rows[0], width, count, type, 0,
                        static_cast<GSpacing>(step * static_cast<std::ptrdiff_t>(sizeof(Row)))) == CE_None;
  }
  for (int k = 0; k < count; ++k) {
    if (GDALRasterIO(band, GF_Read, column, first + k, width, 1, rows[k], width, 1, type, 0, 0) != CE_None) return false;
  }
  return true;
}

int read_lines(void* handle, int first, int count, int column, int width, double* const* rows,
               unsigned char* const* valid, const char** error) {
  const Reader& reader = *static_cast<Reader*>(handle);
  CPLErrorReset();
  refused_file.clear();
  if (!read_band(reader.band, GDT_Float64, first, count, column, width, rows) ||
      (valid != nullptr && reader.mask != nullptr &&
       !read_band(reader.mask, GDT_Byte, first, count, column, width, valid))) {
    *error = failure();
    return 1;
  }
  return 0;
}

void close_reader(void* handle) {
  Reader* reader = static_cast<Reader*>(handle);
  GDALClose(reader->dataset);
  hold_cache_rows(-reader->row_bytes);
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

// The block cache: the user's GDAL_CACHEMAX when set; else room for one row
// of blocks of every raster open at once (the passes read a band of lines
// within one row of blocks of each) and a margin, never below kLeastCache.
constexpr long long kLeastCache = 24LL << 20, kCacheMargin = 16LL << 20;
bool user_cache = false;
long long rows_held = 0;

}  // namespace

// GDAL's drivers registered once, what it may open restricted, its block
// cache sized to the rasters open; its messages kept for the tool's. PROJ's
// database is looked up once: without it no coordinate system could be
// read (a DEM in degrees would pass for one without any), so that nothing
// is opened then.
const char* start_gdal() {
  static std::once_flag started;
  static std::string unusable;
  std::call_once(started, [] {
    user_cache = CPLGetConfigOption("GDAL_CACHEMAX", nullptr) != nullptr;
    // Blocks decoded on every core when a request spans several.
    if (CPLGetConfigOption("GDAL_NUM_THREADS", nullptr) == nullptr) CPLSetConfigOption("GDAL_NUM_THREADS", "ALL_CPUS");
    GDALAllRegister();
    refuse_what_is_not_local();
    if (!user_cache) GDALSetCacheMax64(kLeastCache);
    CPLSetErrorHandler(CPLQuietErrorHandler);
    CPLErrorReset();
    OGRSpatialReferenceH wgs84 = OSRNewSpatialReference(nullptr);
    if (OSRImportFromEPSG(wgs84, 4326) != OGRERR_NONE) {
      unusable = std::string("PROJ's data cannot be found, so that no coordinate system can be read: ") + gdal_error();
    }
    OSRDestroySpatialReference(wgs84);
  });
  return unusable.empty() ? nullptr : unusable.c_str();
}

void hold_cache_rows(long long bytes) {
  rows_held += bytes;
  if (!user_cache) GDALSetCacheMax64(std::max(kLeastCache, rows_held + kCacheMargin));
}

const char* gdal_error() {
  const char* message = CPLGetLastErrorMsg();
  last_error = message != nullptr && *message != '\0' ? message : "GDAL gave no reason";
  return last_error.c_str();
}

static void use_proj_data(const char* const* folders) { OSRSetPROJSearchPaths(folders); }

extern "C" const GdalModule* mesacrop_gdal_module() {
  static const GdalModule module{open_reader,  read_lines,   close_reader,           open_writer,
                                 write_lines,  close_writer, same_coordinate_system, read_polygon_layer,
                                 is_vector_layer, use_proj_data};
  return &module;
}
