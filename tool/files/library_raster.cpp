// The tool's side of the GDAL module: loaded on first use, its failures
// turned into the tool's messages.
#include "library_raster.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "fatal.h"
#include "library_module.h"
#include "number_text.h"
#include "units.h"
#include "platform.h"
#include "raster/source.h"
#include "text.h"

namespace {

#ifdef MESACROP_WITH_GDAL
// When the program ships PROJ's data (the Windows package), PROJ is told
// where it is: the folders PROJ_DATA (or PROJ_LIB) names, handed over in
// UTF-8 (PROJ would read them in the system's code page, which loses an
// accented name), else the one beside the program. Elsewhere PROJ finds
// its data as it does for every program.
void use_proj_data(const GdalModule& module, const std::string& shipped) {
  if (!is_folder(shipped)) return;
  std::string named = environment_value("PROJ_DATA");
  if (named.empty()) named = environment_value("PROJ_LIB");
  std::vector<std::string> folders;
  for (std::size_t from = 0; !named.empty() && from <= named.size();) {
    const std::size_t end = std::min(named.find(kPathListSeparator, from), named.size());
    if (end > from) folders.push_back(named.substr(from, end - from));
    from = end + 1;
  }
  if (folders.empty()) folders.push_back(shipped);
  std::vector<const char*> list;
  for (const std::string& folder : folders) list.push_back(folder.c_str());
  list.push_back(nullptr);
  module.use_proj_data(list.data());
}
#endif

// The module, loaded once: null in a build or an installation without it,
// with why in `why`.
const GdalModule* loaded_module(std::string& why) {
#ifdef MESACROP_WITH_GDAL
  static std::string reason;
  static const GdalModule* loaded = [] {
    const std::string here = executable_folder();
    for (const std::string& place : {here + kGdalModuleName, here + "../lib/mesacrop/modules/" + kGdalModuleName}) {
      if (void* entry = library_function(place, "mesacrop_gdal_module", reason)) {
        const GdalModule* found = reinterpret_cast<const GdalModule* (*)()>(entry)();
        use_proj_data(*found, here + kProjDataFolder);
        return found;
      }
    }
    return static_cast<const GdalModule*>(nullptr);
  }();
  why = reason;
  return loaded;
#else
  why = "this mesacrop was built without it";
  return nullptr;
#endif
}

// The module; without it, the run that needs it stops, saying why.
const GdalModule& module(const std::string& path) {
  std::string why;
  if (const GdalModule* loaded = loaded_module(why)) return *loaded;
#ifdef MESACROP_WITH_GDAL
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

bool is_vector_layer(const std::string& path) {
  std::string why;
  const GdalModule* loaded = loaded_module(why);
  return loaded != nullptr && loaded->is_vector_layer(path.c_str()) != 0;
}

PolygonLayer read_polygon_layer(const std::string& path, const std::string& layer, const std::string& field,
                                const std::string& wkt, const std::function<void(LayerFeature&)>& take) {
  PolygonLayer read;
  const char* error = "";
  auto call = [](void* taker, LayerFeature& zone) { (*static_cast<const std::function<void(LayerFeature&)>*>(taker))(zone); };
  const int status = module(path).read_polygons(path.c_str(), layer.c_str(), field.c_str(), wkt.c_str(), &read, call,
                                                const_cast<std::function<void(LayerFeature&)>*>(&take), &error);
  if (status == 2) throw MissingChoice{text("the layer %s: %s", path.c_str(), error)};
  if (status != 0) fatal_stop(text("\n\n\tThe polygons of %s cannot be read (%s)\n", path.c_str(), shown(error).c_str()));
  return read;
}

GdalReader::GdalReader(const std::string& path, int band, const char* role) : path_(path), role_(role) {
  const char* error = "";
  reader_ = module(path).open_reader(path.c_str(), band, &raster_, &error);
  if (reader_ == nullptr && raster_.vector) {
    fatal_stop(text("\n\n\tThe %s %s is a vector layer, not a raster: rasterize it first, for example with "
                    "gdal_rasterize -a CODE -tr SIZE SIZE -ot UInt32 %s zones.tif\n",
                    role, path.c_str(), path.c_str()));
  }
  if (reader_ == nullptr) {
    fatal_stop(text("\n\n\tThe %s %s cannot be read (%s)\n", role, path.c_str(), shown(error).c_str()));
  }
  const bool known = raster_.integer_cells || raster_.float64 || raster_.data_type == "Float32";
  if (!known) {
    fatal_stop(text("\n\n\tThe %s %s has cells of type %s: Byte, Int8, Int16, UInt16, Int32, UInt32, Float32 or "
                    "Float64 are read\n",
                    role, path.c_str(), raster_.data_type.c_str()));
  }
}

GdalReader::~GdalReader() {
  if (reader_ != nullptr) module(path_).close_reader(reader_);
}

void GdalReader::read(int first, int count, int column, int width, double* const* rows, unsigned char* const* valid) {
  const char* error = "";
  if (module(path_).read(reader_, first, count, column, width, rows, valid, &error) != 0) {
    fatal_stop(text("\n\n\tThe raster %s could not be read at line %d (%s)\n", path_.c_str(), first,
                    shown(error).c_str()));
  }
  if (!raster_.signed_bytes) return;
  for (int k = 0; k < count; ++k) {
    for (int j = 0; j < width; ++j) {
      if (rows[k][j] > 127.0) rows[k][j] -= 256.0;
    }
  }
}

void GdalReader::read_altitudes(int first, int count, int column, int width, double* const* rows, int unit,
                                double marker) {
  unsigned char* const* valid = nullptr;
  if (raster_.mask_band) {
    const auto cells = static_cast<std::size_t>(width);
    valid_.resize(cells * static_cast<std::size_t>(count));
    valid_rows_.resize(static_cast<std::size_t>(count));
    for (int k = 0; k < count; ++k) valid_rows_[static_cast<std::size_t>(k)] = valid_.data() + cells * static_cast<std::size_t>(k);
    valid = valid_rows_.data();
  }
  read(first, count, column, width, rows, valid);
  const bool affine = raster_.scale != 1.0 || raster_.offset != 0.0;
  const bool has_nodata = raster_.nodata.has_value();
  const double nodata = raster_.nodata.value_or(0.0);
  for (int k = 0; k < count; ++k) {
    double* row = rows[k];
    for (int j = 0; j < width; ++j) {
      double v = row[j];
      if ((valid != nullptr && valid[k][j] == 0) || (has_nodata && (v == nodata || (v != v && nodata != nodata)))) {
        row[j] = marker;
        continue;
      }
      if (!std::isfinite(v)) {
        fatal_stop(text("\n\n\tThe %s %s holds %s at line %d, column %d, which is not a finite number (and not its "
                        "no-data value)\n",
                        role_, path_.c_str(), shortest_text(v).c_str(), first + k, column + j));
      }
      if (affine) v = v * raster_.scale + raster_.offset;
      if (unit != kMetre) v = to_metres(v, unit);
      row[j] = v;
    }
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
  if (writer_ != nullptr) module(path_).close_writer(writer_, 0, &error);
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
  if (module(path_).close_writer(writer, 1, &error) != 0) {
    fatal_stop(text("\n\n\tCannot write the GeoTIFF %s (%s)\n", path_.c_str(), shown(error).c_str()));
  }
}
