// The report beside every result (NAME.json, NAME_m2.json): one JSON object
// for scripts, reals in the shortest form that reads back as the same double.
//
//   {
//     "tool": "mesacrop",
//     "version": "1.0",
//     "dem": "/home/me/images/alps/mnt_m2.raw",
//     "mask": "/home/me/images/alps/zone.raw",
//     "code": 1,
//     "hypsometric_value_m": 0,
//     "lines": 200,
//     "columns": 222,
//     "cell_size_m": 90,
//     "lower_left_corner": {"x": 739890, "y": 4037760},     (null when unknown)
//     "result": {"format": "raw 16-bit", "files": ["res_m2.raw", ...]},
//     "polygons": {"layer": "basins", "coordinate_system": "WGS 84",   (a mask of polygons only)
//                  "transformed_to": "NAD83 / UTM zone 17N", "min_share": 0.5},
//     "zone_cells": {"all": 9, "full": 1, "half": 4, "frame": 3, "no_data": 1},  (polygons: "partial" after "full")
//     "zone_area_m2": 24300,
//     "volume_m3": 5953239180.0, "volume_km3": 5.95323918,  (null when not asked)
//     "altitude_m": {"min": 580.9, "max": 1074, "mean": 712.5}  (over the cells with data)
//   }
#include <cmath>

#include "formats.h"
#include "zone/figures.h"
#include "text.h"

namespace {

// The length of the UTF-8 sequence that starts at `k`, or 0 when the bytes
// there are not one (a path in another encoding, such as Latin-1).
std::size_t utf8_length(const std::string& s, std::size_t k) {
  const auto lead = static_cast<unsigned char>(s[k]);
  const std::size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                             : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
  if (length == 0 || k + length > s.size()) return 0;
  for (std::size_t n = 1; n < length; ++n) {
    if ((static_cast<unsigned char>(s[k + n]) & 0xC0) != 0x80) return 0;
  }
  const auto second = static_cast<unsigned char>(s[k + 1 < s.size() ? k + 1 : k]);
  if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) || (lead == 0xF0 && second < 0x90) ||
      (lead == 0xF4 && second > 0x8F)) {
    return 0;  // overlong forms, surrogates, beyond U+10FFFF
  }
  return length;
}

// A JSON string. Bytes that are not UTF-8 are written as \u00XX each (their
// value as a code point), so that the report stays valid JSON.
std::string quoted(const std::string& value) {
  std::string out = "\"";
  for (std::size_t k = 0; k < value.size();) {
    const char c = value[k];
    const auto byte = static_cast<unsigned char>(c);
    const std::size_t length = utf8_length(value, k);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20 || length == 0) {
      out += text("\\u%04x", byte);
    } else {
      out.append(value, k, length);
      k += length;
      continue;
    }
    ++k;
  }
  return out + "\"";
}

}  // namespace

std::string json_string(const std::string& value) { return quoted(value); }

namespace {

std::string number(double value) { return std::isfinite(value) ? shortest_text(value) : "null"; }

}  // namespace

std::string json_report_text(const JsonReport& r) {
  const ZoneFigures& z = r.zone;
  const RasterGeometry& g = r.geometry;
  std::string files;
  for (const std::string& name : r.files) files += (files.empty() ? "" : ", ") + quoted(name);
  std::string out = "{\n";
  out += "  \"tool\": \"mesacrop\",\n";
  out += "  \"version\": " + quoted(r.version) + ",\n";
  out += "  \"dem\": " + quoted(r.dem_path) + ",\n";
  out += "  \"mask\": " + quoted(r.mask_path) + ",\n";
  out += "  \"code\": " + std::to_string(r.code) + ",\n";
  out += "  \"hypsometric_value_m\": " + (r.outside_no_data ? "null" : number(r.val_alti)) + ",\n";
  out += "  \"lines\": " + std::to_string(g.nb_lig) + ",\n";
  out += "  \"columns\": " + std::to_string(g.nb_col) + ",\n";
  const bool degrees = r.source && r.source->ellipsoidal;
  out += "  \"cell_size_m\": " + (degrees ? std::string("null") : number(g.dpix_size)) + ",\n";
  out += "  \"lower_left_corner\": " +
         (g.placed ? "{\"x\": " + number(g.X_min) + ", \"y\": " + number(g.Y_min) + "}" : std::string("null")) + ",\n";
  if (r.source) {
    const SourceFacts& s = *r.source;
    out += "  \"source\": {\"format\": " + quoted(s.format) + ", \"data_type\": " + quoted(s.data_type) +
           ", \"horizontal_unit\": " + (s.horizontal_unit.empty() ? "null" : quoted(s.horizontal_unit)) +
           ", \"vertical_unit\": " + quoted(s.vertical_unit) +
           ", \"vertical_unit_assumed\": " + (s.vertical_unit_found ? "false" : "true") +
           ", \"coordinate_system\": " + (s.crs_name.empty() ? "null" : quoted(s.crs_name)) +
           ", \"epsg\": " + (s.epsg ? std::to_string(*s.epsg) : "null") +
           ", \"cell_areas\": " + (s.ellipsoidal ? "\"ellipsoidal\"" : "\"planar\"") +
           ", \"cell_area_m2\": {\"min\": " + number(s.smallest_area_m2) + ", \"max\": " + number(s.largest_area_m2) +
           "}},\n";
  }
  out += "  \"result\": {\"format\": " + quoted(r.format) +
         (r.result_nodata ? ", \"no_data_value\": " + number(*r.result_nodata) : std::string()) + ", \"files\": [" + files +
         "]},\n";
  const FigureChoices choices{r.volume, r.base, r.reference.has_value(), r.polygons.has_value(), r.percentiles};
  auto figure = [&](const char* name) { return figure_text(zone_figure(name), z, choices, true); };
  if (r.polygons) {
    const PolygonFacts& p = *r.polygons;
    auto name = [](const std::string& s) { return s.empty() ? std::string("null") : quoted(s); };
    out += "  \"polygons\": {\"layer\": " + quoted(p.layer) + ", \"coordinate_system\": " + name(p.crs_name) +
           ", \"transformed_to\": " + name(p.dem_crs_name) + ", \"min_share\": " + number(p.min_share) + "},\n";
  }
  out += "  \"zone_cells\": {\"all\": " + figure("cells") + ", \"full\": " + figure("full") +
         (r.polygons ? ", \"partial\": " + figure("partial") : std::string()) + ", \"half\": " + figure("half") + ", \"frame\": " + figure("frame") + ", \"no_data\": " + figure("no_data") +
         "},\n";
  if (r.full_edge) out += "  \"edge\": \"full\",\n";
  out += "  \"zone_area_m2\": " + figure("area_m2") + ",\n";
  out += "  \"volume_m3\": " + figure("volume_m3") + ",\n";
  out += "  \"volume_km3\": " + (r.volume ? number(z.vol_tot * 1e-9) : "null") + ",\n";
  if (r.base) {
    out += "  \"base_m\": " + number(*r.base) + ",\n";
    out += "  \"above_base_m3\": " + figure("above_base_m3") + ",\n";
    out += "  \"below_base_m3\": " + figure("below_base_m3") + ",\n";
  }
  if (r.reference) {
    out += "  \"reference\": " + quoted(*r.reference) + ",\n";
    out += "  \"threshold_m\": " + number(r.threshold_m) + ",\n";
    out += std::string("  \"difference\": ") + (r.difference ? "true" : "false") + ",\n";
  }
  // The figures the report does not lay out itself, under their names.
  for (const Column& c : figure_columns(choices)) {
    if (!c.laid_out_by_report()) out += "  \"" + c.name + "\": " + column_text(c, z, choices, true) + ",\n";
  }
  out += "  \"altitude_m\": {\"min\": " + figure("min_m") + ", \"max\": " + figure("max_m") + ", \"mean\": " +
         figure("mean_m") + "}\n";
  return out + "}\n";
}
