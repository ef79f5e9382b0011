// GeoTIFF results (RES.tif), written through the GDAL module: the DEM's
// geotransform (or the corner chosen for a raw DEM) and coordinate system;
// Float32 altitudes in metres (Float64 for a Float64 DEM); the zone's cells
// without data at the result's no-data value. GDAL writes it in a private
// folder; the files it adds there (an .aux.xml for a coordinate system its
// keys cannot hold) join the set; those an earlier result of the name left
// beside it (statistics, overviews, a mask) go.
#include <algorithm>
#include <cfloat>
#include <cmath>

#include "fatal.h"
#include "files/formats.h"
#include "files/input_file.h"
#include "files/library_raster.h"
#include "formats/registry.h"
#include "number_text.h"
#include "run.h"
#include "text.h"

namespace {

class GeoTiffResult final : public ResultSink {
 public:
  explicit GeoTiffResult(const ResultChoice& choice) : choice_(choice) {}

  ResultFiles files() const override {
    return {choice_.base + choice_.extension, {}, {}, {}, choice_.base + ".json"};
  }
  std::vector<std::string> stale_sidecars() const override {
    const std::string raster = files().raster;
    return {raster + ".aux.xml", raster + ".ovr", raster + ".msk"};
  }
  const char* format_name() const override { return "GeoTIFF"; }

  // Float32 cells hold up to 3.4e38: the hypsometric value, and the zone's
  // altitudes once they are known (else they are checked as written).
  std::string fit_problem(const Run& run) const override {
    if (float64(run)) return "";
    const ZoneChoice& zone = run.job.zone;
    const ZoneFigures& z = run.zone;
    const double beyond = !zone.outside_no_data && std::fabs(zone.outside_m) > FLT_MAX ? zone.outside_m
                          : run.zone_measured && z.data_cells() > 0 &&
                                  std::max(std::fabs(z.data_lowest), std::fabs(z.data_highest)) > FLT_MAX
                              ? (std::fabs(z.data_lowest) > FLT_MAX ? z.data_lowest : z.data_highest)
                              : 0.0;
    if (beyond == 0.0) return "";
    return text("\n\n\tThe result holds %s, beyond what a GeoTIFF's Float32 cells hold (3.4e38): please choose an "
                "ASCII grid\n",
                shortest_text(beyond).c_str());
  }
  bool fits_unmeasured(const Run&) const override { return true; }

  // Its index of tiles: two 8-byte numbers a tile.
  double least_bytes(const RasterGeometry& g) const override {
    return std::ceil(g.nb_lig / 256.0) * std::ceil(g.nb_col / 256.0) * 16.0;
  }
  std::optional<double> declared_nodata(const Run& run) const override { return nodata(run); }

  const char* pass_name() const override { return "writing the GeoTIFF"; }

  void begin(const Run& run, ResultSet& set) override {
    const RasterGeometry& g = run.geometry();
    const std::optional<GdalRaster>& gdal = run.dem_facts().gdal;
    double transform[6] = {0, 1, 0, 0, 0, 1};
    if (gdal && gdal->georeferenced) {
      std::copy(gdal->transform, gdal->transform + 6, transform);
    } else if (g.placed || run.job.result.corner) {
      const double x = g.placed ? g.X_min : run.job.result.corner->x;
      const double y = g.placed ? g.Y_min : run.job.result.corner->y;
      const double cell = g.map_cell();
      transform[0] = x, transform[1] = cell, transform[3] = y + g.nb_lig * cell, transform[5] = -cell;
    }
    nodata_ = nodata(run);
    float64_ = float64(run);
    measuring_ = !run.zone_measured;
    code_ = run.mask->zone_value(run.job.zone.code);
    tif_ = &set.add_for_library(files().raster);
    writer_ = std::make_unique<GdalWriter>(tif_->library_path(), files().raster, g.nb_lig, g.nb_col, transform,
                                           g.has_prj ? g.prj : "", float64_, nodata_);
  }

  void take(const Run& run, const Band& band) override {
    const RasterGeometry& g = run.geometry();
    const ZoneChoice& zone = run.job.zone;
    const double outside = zone.outside_no_data ? nodata_ : zone.outside_m;
    const bool marks = measuring_ ? g.has_nodata : run.zone.marked_cells() > 0;
    for (int k = 0; k < band.count; ++k) {
      double* line = band.altitude[k];
      const unsigned char* mask = band.mask[k];
      // The zone's altitudes with data must fit the cells and differ from
      // the no-data value, which would hide them.
      for (int j = 0; j < band.width; ++j) {
        if (!in_zone(mask[j], code_) || g.no_data(line[j])) continue;
        const double held = float64_ ? line[j] : static_cast<double>(static_cast<float>(line[j]));
        if (held == nodata_ || std::isinf(held)) {
          fatal_stop(text("\n\n\tThe altitude %s at line %d, column %d %s\n", shortest_text(line[j]).c_str(),
                          band.first + k, band.column + j,
                          std::isinf(held) ? "is beyond what the GeoTIFF's Float32 cells hold"
                                           : ("is the GeoTIFF's no-data value " + shortest_text(nodata_) +
                                              ", which would hide it")
                                                 .c_str()));
        }
      }
      extract_line(line, mask, band.width, code_, outside, line);
      if (marks) mark_no_data(line, mask, band.width, code_, g, nodata_);
    }
    writer_->write(band.first, band.count, band.column, band.width, band.altitude);
  }

  void finish(const Run&, ResultSet& set) override {
    writer_->close();
    writer_.reset();
    adopt_sidecars(set);
    for (const std::string& sidecar : stale_sidecars()) {
      if (std::find(sidecars_.begin(), sidecars_.end(), sidecar) == sidecars_.end() &&
          file_kind(sidecar) != FileKind::missing) {
        set.drop(sidecar);
      }
    }
  }

  RasterGeometry report_geometry(const Run& run) const override {
    RasterGeometry g = run.geometry();
    g.has_prj = false;  // inside the GeoTIFF
    return g;
  }
  std::vector<std::string> sidecars() const override { return sidecars_; }
  std::optional<double> report_nodata() const override { return nodata_; }

 private:
  static bool float64(const Run& run) { return run.dem_facts().gdal && run.dem_facts().gdal->float64; }

  // Its no-data value: the DEM's, where its altitudes are taken as stored
  // (metres, no scale) and the result's cells hold it exactly, else -9999.
  // The cells of the zone with data may not hold it (checked as they are
  // written).
  static double nodata(const Run& run) {
    const DemFacts& dem = run.dem_facts();
    const RasterGeometry& g = dem.geometry;
    const bool as_stored = !dem.gdal || (dem.vertical_unit == kMetre && dem.gdal->scale == 1.0 && dem.gdal->offset == 0.0);
    if (g.has_nodata && std::isfinite(g.nodata) && as_stored) {
      if (float64(run)) return g.nodata;
      if (std::fabs(g.nodata) <= FLT_MAX) return static_cast<double>(static_cast<float>(g.nodata));
    }
    return -9999.0;
  }

  // The GDAL writer's private folder also holds the files it added beside
  // the GeoTIFF: they join the set under their names, and leave the private
  // folder.
  void adopt_sidecars(ResultSet& set) {
    const std::string inside = folder_of(tif_->library_path());
    const std::string folder = folder_of(tif_->final_path());
    for (const std::string& name : folder_entries(inside)) {
      if (inside + name == tif_->library_path()) continue;
      FileKind kind = FileKind::missing;
      InputFile f(open_regular_file(inside + name, kind));
      if (!f) continue;
      std::string content;
      char chunk[1 << 16];
      for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, f.get())) > 0;) content.append(chunk, got);
      f.reset();
      remove_file(inside + name);
      set.add(folder + name).write(content);
      sidecars_.push_back(folder + name);
    }
  }

  const ResultChoice& choice_;
  double nodata_ = -9999.0;
  bool float64_ = false;
  bool measuring_ = false;
  int code_ = 0;
  OutputFile* tif_ = nullptr;
  std::unique_ptr<GdalWriter> writer_;
  std::vector<std::string> sidecars_;
};

}  // namespace

std::unique_ptr<ResultSink> open_geotiff_result(const ResultChoice& choice) {
  return std::make_unique<GeoTiffResult>(choice);
}
