// The tool's side of the GDAL module: loaded on first use, its failures
// turned into the tool's messages.
#include "library_raster.h"

#include "fatal.h"
#include "library_module.h"
#include "platform.h"
#include "text.h"

namespace {

// The module, loaded once; a build or an installation without it stops the
// run that needs it, saying why.
const GdalModule& module(const std::string& path) {
#ifdef MESACROP_WITH_GDAL
  static std::string why;
  static const GdalModule* loaded = [] {
    const std::string here = executable_folder();
    for (const std::string& place : {here + kGdalModuleName, here + "../lib/mesacrop/" + kGdalModuleName}) {
      if (void* entry = library_function(place, "mesacrop_gdal_module", why)) {
        return reinterpret_cast<const GdalModule* (*)()>(entry)();
      }
    }
    return static_cast<const GdalModule*>(nullptr);
  }();
  if (loaded != nullptr) return *loaded;
  fatal_stop(text("\n\n\tThe raster %s needs GDAL, and its module %s cannot be loaded (%s)\n", path.c_str(),
                  kGdalModuleName, shown(why).c_str()));
#else
  fatal_stop(text("\n\n\tThe raster %s needs GDAL, and this mesacrop was built without it\n", path.c_str()));
#endif
}

}  // namespace

bool gdal_available() {
#ifdef MESACROP_WITH_GDAL
  return true;
#else
  return false;
#endif
}

bool same_coordinate_system(const std::string& a, const std::string& b) {
  return module("").same_coordinate_system(a.c_str(), b.c_str()) != 0;
}

GdalReader::GdalReader(const std::string& path) : path_(path) {
  const char* error = "";
  reader_ = module(path).open_reader(path.c_str(), &raster_, &error);
  if (reader_ == nullptr) fatal_stop(text("\n\n\tThe raster %s cannot be read (%s)\n", path.c_str(), shown(error).c_str()));
  const bool known = raster_.integer_cells || raster_.float64 || raster_.data_type == "Float32";
  if (!known) {
    fatal_stop(text("\n\n\tThe raster %s has cells of type %s: Byte, Int16, UInt16, Int32, UInt32, Float32 or Float64 "
                    "are read\n",
                    path.c_str(), raster_.data_type.c_str()));
  }
}

GdalReader::~GdalReader() {
  if (reader_ != nullptr) module(path_).close_reader(reader_);
}

void GdalReader::read(int first, int count, int column, int width, double* const* rows) {
  const char* error = "";
  if (module(path_).read(reader_, first, count, column, width, rows, &error) != 0) {
    fatal_stop(text("\n\n\tThe raster %s could not be read at line %d (%s)\n", path_.c_str(), first,
                    shown(error).c_str()));
  }
}

GdalWriter::GdalWriter(const std::string& file, const std::string& shown_as, int lines, int columns,
                       const double transform[6], const std::string& wkt, bool float64, double nodata)
    : path_(shown_as) {
  const char* error = "";
  writer_ = module(path_).open_writer(file.c_str(), lines, columns, transform, wkt.c_str(), float64 ? 1 : 0, nodata,
                                       &error);
  if (writer_ == nullptr) fatal_stop(text("\n\n\tCannot write the GeoTIFF %s (%s)\n", path_.c_str(), shown(error).c_str()));
}

GdalWriter::~GdalWriter() {
  const char* error = "";
  if (writer_ != nullptr) module(path_).close_writer(writer_, &error);
}

void GdalWriter::write(int first, int count, int column, int width, const double* const* rows) {
  const char* error = "";
  if (module(path_).write(writer_, first, count, column, width, rows, &error) != 0) {
    fatal_stop(text("\n\n\tCannot write the GeoTIFF %s (%s)\n", path_.c_str(), shown(error).c_str()));
  }
}

void GdalWriter::close() {
  const char* error = "";
  void* writer = writer_;
  writer_ = nullptr;
  if (module(path_).close_writer(writer, &error) != 0) {
    fatal_stop(text("\n\n\tCannot write the GeoTIFF %s (%s)\n", path_.c_str(), shown(error).c_str()));
  }
}
