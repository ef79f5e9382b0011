// A build without GDAL: no raster but the tool's own formats. The front ends
// ask gdal_available() and never offer the others, so these stops are only
// met by a caller that did not.
#include "fatal.h"
#include "gdal_raster.h"
#include "text.h"

bool gdal_available() { return false; }

void start_gdal() {}

bool same_coordinate_system(const std::string& a, const std::string& b) { return a == b; }

namespace {

[[noreturn]] void without_gdal(const std::string& path) {
  fatal_stop(text("\n\n\tThe raster %s needs GDAL, and this mesacrop was built without it\n", path.c_str()));
}

}  // namespace

GdalReader::GdalReader(const std::string& path) : path_(path) { without_gdal(path); }
GdalReader::~GdalReader() = default;
void GdalReader::read(int, int, int, int, double* const*) { without_gdal(path_); }

GdalWriter::GdalWriter(const std::string& path, int, int, const double*, const std::string&, bool, double)
    : path_(path) {
  without_gdal(path);
}
GdalWriter::~GdalWriter() = default;
void GdalWriter::write(int, int, int, int, const double* const*) { without_gdal(path_); }
void GdalWriter::close() { without_gdal(path_); }
