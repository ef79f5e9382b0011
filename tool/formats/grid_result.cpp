// ASCII grid results (RES.asc): the header, then every altitude as "%lf"
// and a tab; the zone's cells without data and, with --outside nodata, the
// cells outside it at the header's nodata_value.
#include "files/formats.h"
#include "formats/registry.h"
#include "run.h"
#include "text.h"

namespace {

// The value that the grid header's nodata_value line declares.
constexpr double kGridNoData = -9999.9999;

class GridResult final : public ResultSink {
 public:
  explicit GridResult(const ResultChoice& choice) : choice_(choice) {}

  ResultFiles files() const override { return result_files(choice_.base, false, raw_type(0)); }
  const char* format_name() const override { return "ascii grid"; }

  // Its cells are squares of its coordinates.
  std::string fit_problem(const Run& run) const override {
    const DemFacts& dem = run.dem_facts();
    if (dem.square_cells) return "";
    return text("\n\n\tThe cells of %s are not square, which an ASCII grid cannot describe: please choose a GeoTIFF\n",
                run.job.dem.path.c_str());
  }
  // "0.000000" and a tab a cell at the least.
  double least_bytes(const RasterGeometry& g) const override { return static_cast<double>(g.cells()) * 9.0; }
  std::optional<double> declared_nodata(const Run&) const override { return kGridNoData; }

  const char* pass_name() const override { return "writing the grid"; }

  void begin(const Run& run, ResultSet& set) override {
    geometry_ = report_geometry(run);
    grid_ = std::make_unique<GridWriter>(set.add(files().raster), geometry_);
    code_ = run.mask->zone_value(run.job.zone.code);
  }

  void take(const Run& run, const Band& band) override {
    const ZoneChoice& zone = run.job.zone;
    const double outside = zone.outside_no_data ? kGridNoData : zone.outside_m;
    const bool marks = run.zone.marked_cells() > 0;
    for (int k = 0; k < band.count; ++k) {
      extract_line(band.altitude[k], band.mask[k], band.width, code_, outside, band.altitude[k]);
      if (marks) mark_no_data(band.altitude[k], band.mask[k], band.width, code_, geometry_, kGridNoData);
    }
    grid_->write_lines(band.altitude, band.count, band.width);
  }

  void finish(const Run&, ResultSet&) override {}

  // A raw DEM's grid lies where its corner was chosen.
  RasterGeometry report_geometry(const Run& run) const override {
    RasterGeometry g = run.geometry();
    if (!g.placed) {
      g.X_min = run.job.result.corner->x;
      g.Y_min = run.job.result.corner->y;
      g.placed = true;
    }
    return g;
  }

 private:
  const ResultChoice& choice_;
  RasterGeometry geometry_;
  std::unique_ptr<GridWriter> grid_;
  int code_ = 0;
};

}  // namespace

std::unique_ptr<ResultSink> open_grid_result(const ResultChoice& choice) { return std::make_unique<GridResult>(choice); }
