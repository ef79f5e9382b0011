// ESRI BIL headers (NAME_m2.hdr, NAME_m4.hdr), written beside raw results:
//
//   BYTEORDER I
//   LAYOUT BIL
//   NROWS 200
//   NCOLS 222
//   NBANDS 1
//   NBITS 16
//   PIXELTYPE UNSIGNEDINT
//   ULXMAP 739935            (only when the corner is known)
//   ULYMAP 4055715
//   XDIM 90
//   YDIM 90
//   NODATA -9999             (only when the result has cells without data)
#include <cctype>
#include <cmath>
#include <sstream>

#include "formats.h"
#include "text.h"

std::string ehdr_text(const RasterGeometry& g, const RawType& type, std::optional<long long> nodata) {
  std::string out = "BYTEORDER I\nLAYOUT BIL\n";
  out += text("NROWS %d\nNCOLS %d\nNBANDS 1\nNBITS %d\n", g.nb_lig, g.nb_col, type.bits);
  out += type.is_signed ? "PIXELTYPE SIGNEDINT\n" : "PIXELTYPE UNSIGNEDINT\n";
  if (g.placed) {
    out += "ULXMAP " + shortest_text(g.X_min + 0.5 * g.map_cell()) + "\n";
    out += "ULYMAP " + shortest_text(g.Y_min + (g.nb_lig - 0.5) * g.map_cell()) + "\n";
    out += "XDIM " + shortest_text(g.map_cell()) + "\n";
    out += "YDIM " + shortest_text(g.map_cell()) + "\n";
  }
  if (nodata) out += "NODATA " + std::to_string(*nodata) + "\n";
  return out;
}

namespace {

std::string lowered(std::string word) {
  for (char& c : word) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return word;
}

std::string trimmed(const std::string& s) {
  const std::size_t start = s.find_first_not_of(" \t\r");
  if (start == std::string::npos) return "";
  return s.substr(start, s.find_last_not_of(" \t\r") - start + 1);
}

bool real_of(const std::string& word, double& value) {
  const std::string w = trimmed(word);
  return !w.empty() && parse_real(w.data(), w.data() + w.size(), value) && std::isfinite(value);
}

// ENVI: "key = value" lines; "map info = {UTM, 1, 1, 739890, 4055760, 90, 90, ...}".
RasterHeader envi_header(std::istringstream& lines) {
  RasterHeader h;
  for (std::string line; std::getline(lines, line);) {
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    const std::string key = lowered(trimmed(line.substr(0, equals)));
    const std::string value = trimmed(line.substr(equals + 1));
    double number = 0.0;
    if (key == "data ignore value" && real_of(value, number)) h.nodata = number;
    if (key == "map info" && value.size() > 2 && value.front() == '{') {
      std::vector<std::string> items;
      std::istringstream list(value.substr(1, value.find('}') - 1));
      for (std::string item; std::getline(list, item, ',');) items.push_back(item);
      double ref_x = 0, ref_y = 0, east = 0, north = 0, dx = 0, dy = 0;
      if (items.size() >= 7 && real_of(items[1], ref_x) && real_of(items[2], ref_y) && real_of(items[3], east) &&
          real_of(items[4], north) && real_of(items[5], dx) && real_of(items[6], dy) && dx > 0 && dy > 0) {
        // The reference pixel counts from 1 at the upper-left corner.
        h.placed = true;
        h.west = east - (ref_x - 1.0) * dx;
        h.north = north + (ref_y - 1.0) * dy;
        h.xdim = dx;
        h.ydim = dy;
      }
    }
  }
  return h;
}

}  // namespace

RasterHeader read_raster_header(const std::string& content) {
  std::istringstream lines(content);
  std::string first;
  std::getline(lines, first);
  if (lowered(trimmed(first)) == "envi") return envi_header(lines);
  lines = std::istringstream(content);
  RasterHeader h;
  double values[4] = {};
  bool seen[4] = {};
  const char* const keys[4] = {"ulxmap", "ulymap", "xdim", "ydim"};
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    std::string key, value;
    if (!(words >> key >> value)) continue;
    key = lowered(key);
    double number = 0.0;
    if (!real_of(value, number)) continue;
    if (key == "nodata" || key == "nodata_value") h.nodata = number;
    for (int k = 0; k < 4; ++k) {
      if (key == keys[k]) values[k] = number, seen[k] = true;
    }
  }
  if (seen[0] && seen[1] && seen[2] && values[2] > 0) {
    // ULXMAP, ULYMAP: the centre of the upper-left cell.
    h.xdim = values[2];
    h.ydim = seen[3] && values[3] > 0 ? values[3] : values[2];
    h.placed = true;
    h.west = values[0] - 0.5 * h.xdim;
    h.north = values[1] + 0.5 * h.ydim;
  }
  return h;
}
