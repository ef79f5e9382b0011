#include "coordinates.h"

#include <cmath>
#include <cstdio>
#include <string_view>

#include "files/file_names.h"
#include "files/input_file.h"
#include "number_text.h"
#include "text.h"

namespace {

// Why the coordinates look like degrees, or "" when they do not.
std::string degrees_reason(const RasterGeometry& g) {
  if (g.has_prj) {
    const std::size_t bom = g.prj.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;  // as Windows editors begin a text
    const std::size_t start = g.prj.find_first_not_of(" \t\r\n", bom);
    const std::string_view wkt = start == std::string::npos ? std::string_view() : std::string_view(g.prj).substr(start);
    const bool geographic = wkt.rfind("GEOGCS", 0) == 0 || wkt.rfind("GEOGCRS", 0) == 0;
    const bool projected = wkt.find("PROJCS") != std::string_view::npos || wkt.find("PROJCRS") != std::string_view::npos;
    return geographic && !projected ? "its .prj file describes a geographic coordinate system" : "";
  }
  if (g.placed && g.dpix_size < 0.01 && std::fabs(g.X_min) <= 180.0 && std::fabs(g.Y_min) <= 90.0) {
    return text("its cell size is %s and its lower-left corner (%s, %s) lies within 180 and 90",
                shortest_text(g.dpix_size).c_str(), shortest_text(g.X_min).c_str(), shortest_text(g.Y_min).c_str());
  }
  return "";
}

}  // namespace

std::optional<std::string> read_prj_beside(const std::string& raster, std::ostream& notes) {
  constexpr std::size_t kLongest = 1 << 20;  // coordinate systems are a few hundred bytes
  const std::string path = beside(raster, ".prj");
  InputFile prj = open_input(path);
  if (!prj) return std::nullopt;
  std::string content(kLongest + 1, '\0');
  content.resize(std::fread(content.data(), 1, content.size(), prj.get()));
  if (std::ferror(prj.get()) || content.size() > kLongest) {
    notes << text("\n\tWarning: %s could not be read as a coordinate system: results get no .prj file\n", path.c_str());
    return std::nullopt;
  }
  return content;
}

void warn_if_degrees(const RasterGeometry& geometry, const std::string& path, bool gdal, std::ostream& notes) {
  const std::string reason = degrees_reason(geometry);
  if (reason.empty()) return;
  notes << text("\n\n\tWarning: the coordinates of %s look like degrees (%s)."
                "\n\tThe cell size is taken as metres, so areas and volumes will be wrong: reproject the DEM"
                "\n\tto a projected coordinate system first, for example with gdalwarp -t_srs EPSG:326xx%s\n",
                path.c_str(), reason.c_str(),
                gdal ? ",\n\tor give it its coordinate system (gdal_edit.py -a_srs EPSG:4326) for true areas" : "");
}
