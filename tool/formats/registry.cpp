#include "registry.h"

#include <cctype>

#include "files/library_raster.h"

// Each layout's and format's own file.
std::unique_ptr<DemSource> open_raw_dem(const DemChoice& choice);
std::unique_ptr<DemSource> open_grid_dem(const DemChoice& choice);
std::unique_ptr<DemSource> open_gdal_dem(const DemChoice& choice);
std::unique_ptr<MaskSource> open_raw_mask(const MaskChoice& choice);
std::unique_ptr<MaskSource> open_bitmap_mask(const MaskChoice& choice);
std::unique_ptr<MaskSource> open_gdal_mask(const MaskChoice& choice);
std::unique_ptr<MaskSource> open_polygon_mask(const MaskChoice& choice);
std::unique_ptr<ResultSink> open_raw_result(const ResultChoice& choice);
std::unique_ptr<ResultSink> open_grid_result(const ResultChoice& choice);
std::unique_ptr<ResultSink> open_geotiff_result(const ResultChoice& choice);

namespace {

bool ends_with(const std::string& s, const char* end) {
  const std::string e = end;
  return s.size() > e.size() && s.compare(s.size() - e.size(), e.size(), e) == 0;
}

bool raw_dem_name(const std::string& name, DemChoice& choice) {
  if (!ends_with(name, "_m2.raw") && !ends_with(name, "_m4.raw")) return false;
  choice.itype = ends_with(name, "_m2.raw") ? 0 : 1;
  return true;
}
bool grid_name(const std::string& name, DemChoice&) { return ends_with(name, ".asc"); }
bool raw_mask_name(const std::string& name, MaskChoice&) { return ends_with(name, ".raw"); }
bool bitmap_name(const std::string& name, MaskChoice&) { return ends_with(name, ".bmp"); }
// A vector source with layers and no raster: GDAL opens it to tell.
bool polygon_name(const std::string& name, MaskChoice&) { return is_vector_layer(name); }
template <class Choice>
bool any_name(const std::string&, Choice&) { return true; }

bool raw_result_name(const std::string& name, ResultChoice& choice) {
  if (!ends_with(name, "_m2.raw") && !ends_with(name, "_m4.raw")) return false;
  choice.itype = ends_with(name, "_m2.raw") ? 0 : 1;
  choice.base = name.substr(0, name.size() - 7);
  return true;
}
bool grid_result_name(const std::string& name, ResultChoice& choice) {
  if (!ends_with(name, ".asc")) return false;
  choice.base = name.substr(0, name.size() - 4);
  return true;
}
// RES.tif or RES.tiff, in any case.
bool geotiff_name(const std::string& name, ResultChoice& choice) {
  const std::size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0) return false;
  std::string extension = name.substr(dot);
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (extension != ".tif" && extension != ".tiff") return false;
  choice.extension = name.substr(dot);
  choice.base = name.substr(0, dot);
  return true;
}

template <class F>
std::vector<F> with_gdal(std::vector<F> own, const std::vector<F>& gdal) {
  if (gdal_available()) own.insert(own.end(), gdal.begin(), gdal.end());
  return own;
}

// The chosen layout's; a GDAL one chosen in a build without GDAL opens
// through `gdal`, which says why it cannot.
template <class F, class Choice, class Open>
auto open_with(const std::vector<F>& formats, const Choice& choice, Open gdal) {
  for (const F& format : formats) {
    if (format.layout == choice.layout) return format.open(choice);
  }
  return gdal(choice);
}

}  // namespace

// One line a layout: the GDAL ones in a build with GDAL only.
const std::vector<DemFormat>& dem_formats() {
  static const std::vector<DemFormat> formats = with_gdal<DemFormat>(
      {{DemLayout::raw, "NAME_m2.raw (raw 16-bit), NAME_m4.raw (raw 32-bit)", raw_dem_name, open_raw_dem},
       {DemLayout::ascii_grid, "NAME.asc (ASCII grid)", grid_name, open_grid_dem}},
      {{DemLayout::gdal, "any raster GDAL reads (GeoTIFF...)", any_name, open_gdal_dem}});
  return formats;
}

const std::vector<MaskFormat>& mask_formats() {
  static const std::vector<MaskFormat> formats = with_gdal<MaskFormat>(
      {{MaskLayout::raw, "NAME.raw (raw, with NAME.txt)", raw_mask_name, open_raw_mask},
       {MaskLayout::bitmap, "NAME.bmp (bitmap)", bitmap_name, open_bitmap_mask}},
      {{MaskLayout::polygons, "any polygon layer GDAL reads (GeoPackage, Shapefile, GeoJSON...)", polygon_name,
        open_polygon_mask},
       {MaskLayout::gdal, "any raster GDAL reads (GeoTIFF...)", any_name, open_gdal_mask}});
  return formats;
}

const std::vector<ResultFormat>& result_formats() {
  static const std::vector<ResultFormat> formats = with_gdal<ResultFormat>(
      {{ResultLayout::raw, "RES_m2.raw (raw 16-bit), RES_m4.raw (raw 32-bit)", raw_result_name, open_raw_result},
       {ResultLayout::ascii_grid, "RES.asc (ASCII grid)", grid_result_name, open_grid_result}},
      {{ResultLayout::geotiff, "RES.tif (GeoTIFF)", geotiff_name, open_geotiff_result}});
  return formats;
}

std::unique_ptr<DemSource> open_dem(const DemChoice& choice) { return open_with(dem_formats(), choice, open_gdal_dem); }
std::unique_ptr<MaskSource> open_mask(const MaskChoice& choice) {
  return open_with(mask_formats(), choice, open_gdal_mask);
}
std::unique_ptr<ResultSink> open_result(const ResultChoice& choice) {
  return open_with(result_formats(), choice, open_geotiff_result);
}
