// Raw results: RES_m2.raw (unsigned 16-bit) or RES_m4.raw (signed 32-bit)
// in the raw DEM's unit or the one chosen (m to mm), with its descriptor
// RES_m2.txt (six number lines and the run's report) and its ESRI BIL header
// RES_m2.hdr for GIS tools. A raw DEM's result is made from its stored
// cells as they are.
#include <algorithm>

#include "fatal.h"
#include "files/formats.h"
#include "formats/registry.h"
#include "nrutil.h"
#include "number_text.h"
#include "run.h"
#include "text.h"
#include "work/work.h"
#include "zone/stored_value.h"

namespace {

class RawResult final : public ResultSink {
 public:
  explicit RawResult(const ResultChoice& choice) : choice_(choice), type_(raw_type(choice.itype)) {}

  ResultFiles files() const override { return result_files(choice_.base, true, type_); }
  const char* format_name() const override { return type_.bits == 16 ? "raw 16-bit" : "raw 32-bit"; }

  std::string fit_problem(const Run& run) const override {
    // Its descriptor gives one pixel size in metres.
    const DemFacts& dem = run.dem_facts();
    if (!dem.square_cells || dem.areas.ellipsoidal) {
      return text("\n\n\tThe cells of %s are %s, which a raw result cannot describe: please choose a GeoTIFF\n",
                  run.job.dem.path.c_str(), dem.square_cells ? "in degrees" : "not square");
    }
    if (!run.zone_measured) return "";
    if (run.zone.has_nan) {
      return "\n\n\tThe result holds cells that are not numbers (nan), which a raster cannot store:"
             "\n\tplease choose an ASCII grid\n";
    }
    const Extremes range = stored_extremes(run);
    if (range.lowest >= type_.lowest && range.highest <= type_.highest) return "";
    // Only what can help: 32 bits when 16 were chosen, another scale when
    // the scale is chosen (grid input), an ASCII grid always.
    std::vector<std::string> helps;
    if (type_.bits == 16) helps.push_back("32 bits");
    if (!dem.stored_cells) helps.push_back("another scale");
    std::string advice;
    for (const std::string& help : helps) advice += (advice.empty() ? "" : ", ") + help;
    advice += advice.empty() ? "an ASCII grid" : " or an ASCII grid";
    return text("\n\n\tThe stored values of the result go from %.0f to %.0f, but a %d-bit raster holds %.0f to %.0f "
                "only:\n\tplease choose %s\n",
                range.lowest, range.highest, type_.bits, type_.lowest, type_.highest, advice.c_str());
  }

  // A raw DEM's stored values into a raster that holds them all, the
  // hypsometric value too.
  bool fits_unmeasured(const Run& run) const override {
    const DemFacts& dem = run.dem_facts();
    if (!dem.stored_cells || run.job.reference) return false;
    const double outside = stored_value(run.job.zone.outside_m * dem.stored_per_metre);
    return dem.stored_cells->lowest >= type_.lowest && dem.stored_cells->highest <= type_.highest &&
           outside >= type_.lowest && outside <= type_.highest;
  }

  double least_bytes(const RasterGeometry& g) const override {
    return static_cast<double>(g.cells()) * type_.cell_bytes;
  }

  std::optional<double> declared_nodata(const Run& run) const override {
    if (run.zone_measured && run.zone.marked_cells() > 0) return run.geometry().nodata;
    return std::nullopt;
  }

  const char* pass_name() const override { return "writing the raster"; }
  // A raw DEM's result keeps its unit: its cells are taken as stored (but
  // for a difference, made in metres).
  BandCells cells(const Run& run, bool measuring) const override {
    if (!run.dem_facts().stored_cells || (run.job.reference && run.job.reference->difference)) return BandCells::metres;
    return measuring ? BandCells::both : BandCells::stored;
  }

  void begin(const Run& run, ResultSet& set) override {
    const ResultFiles f = files();
    descriptor_ = &set.add(f.descriptor);  // written once the zone's figures are known
    raster_ = &set.add(f.raster);
    bytes_ = new_vector(ucvecteur, frucvecteur,
                        static_cast<std::size_t>(band_shape(run.geometry()).cells()) * static_cast<std::size_t>(type_.cell_bytes),
                        "result lines");
    coef_ = coef(run);
    outside_ = static_cast<std::int32_t>(static_cast<std::int64_t>(stored_value(run.job.zone.outside_m * coef_)));
    code_ = run.mask->zone_value(run.job.zone.code);
    as_stored_ = cells(run, false) != BandCells::metres;
  }

  // The range was checked, or, for a zone not yet measured, cannot pass the
  // raster's (fits_unmeasured), so every stored value fits its cell.
  void take(const Run& run, const Band& band) override {
    const std::optional<RawType>& stored = run.dem_facts().stored_cells;
    const std::size_t cols = static_cast<std::size_t>(band.width);
    const std::size_t line_bytes = cols * static_cast<std::size_t>(type_.cell_bytes);
    for (int k = 0; k < band.count; ++k) {
      unsigned char* out = bytes_.data() + line_bytes * static_cast<std::size_t>(k);
      if (stored && as_stored_) {
        const std::size_t stored_line_bytes = cols * static_cast<std::size_t>(stored->cell_bytes);
        select_raw_cells(band.stored + stored_line_bytes * static_cast<std::size_t>(k), *stored, band.mask[k], code_,
                         outside_, cols, type_, out);
      } else {
        if (run.job.reference && run.job.reference->difference) check_difference(run, band, k);
        extract_line(band.altitude[k], band.mask[k], band.width, code_, run.job.zone.outside_m, band.altitude[k]);
        metres_to_raw(band.altitude[k], cols, coef_, type_, out);
      }
    }
    raster_->write(bytes_.data(), line_bytes * static_cast<std::size_t>(band.count));
  }

  void finish(const Run& run, ResultSet& set) override {
    const RasterGeometry& g = run.geometry();
    const ZoneChoice& zone = run.job.zone;
    const Extremes range = stored_extremes(run);
    const ResultReport report{g.nb_lig, g.nb_col, type_.cell_bytes,
                              static_cast<long long>(range.lowest), static_cast<long long>(range.highest),
                              g.dpix_size, run.job.dem.path, run.job.mask.path, zone.code, zone.outside_m,
                              zone.voltreat, run.zone.vol_tot};
    std::vector<std::string> notes;
    if (zone.volume() && run.zone.nodata_cells > 0) notes.push_back(no_data_note(run));
    if (zone.edge == EdgeRule::full) notes.push_back("every cell of the zone with data counted whole (--edge full)");
    descriptor_->write(result_descriptor_text(report, notes));
    // The header that lets GIS tools open the raster directly; the cells
    // without data are stored like any altitude, and it says which value
    // they hold.
    std::optional<long long> nodata;
    if (run.zone.marked_cells() > 0) nodata = static_cast<long long>(stored_value(g.nodata * coef_));
    set.add(files().header).write(ehdr_text(g, type_, nodata));
  }

 private:
  struct Extremes {
    double lowest, highest;  // stored values (whole numbers) of the smallest and largest altitude
  };

  // A difference with data must not be stored as the no-data value (the
  // values that round to it).
  void check_difference(const Run& run, const Band& band, int k) const {
    const RasterGeometry& g = run.geometry();
    if (run.zone.marked_cells() == 0) return;
    const double marker = stored_value(g.nodata * coef_);
    for (int j = 0; j < band.width; ++j) {
      const double d = band.altitude[k][j];
      if (!in_zone(band.mask[k][j], code_) || g.no_data(d) || stored_value(d * coef_) != marker) continue;
      fatal_stop(text("\n\n\tThe difference %s at line %d, column %d is stored as %.0f, the result's no-data value, "
                      "which would hide it: please choose another unit or an ASCII grid\n",
                      shortest_text(d).c_str(), band.first + k, band.column + j, marker));
    }
  }

  // The unit of its stored values: a raw DEM's, or the one chosen.
  double coef(const Run& run) const {
    const DemFacts& dem = run.dem_facts();
    return dem.stored_cells ? dem.stored_per_metre : kScaleCoef[choice_.unit.value_or(0)];
  }

  // The stored values of its extremes: the zone's altitudes and, when some
  // cell lies outside the zone, the hypsometric value.
  Extremes stored_extremes(const Run& run) const {
    double low = run.zone.lowest, high = run.zone.highest;
    if (run.zone.other_cells > 0) {
      low = std::min(low, run.job.zone.outside_m);
      high = std::max(high, run.job.zone.outside_m);
    }
    const double c = coef(run);
    return {stored_value(low * c), stored_value(high * c)};
  }

  const ResultChoice& choice_;
  RawType type_;
  OutputFile* descriptor_ = nullptr;
  OutputFile* raster_ = nullptr;
  Vector<unsigned char> bytes_;
  double coef_ = 1.0;
  std::int32_t outside_ = 0;
  int code_ = 0;
  bool as_stored_ = false;  // its cells are the DEM's stored cells as they are
};

}  // namespace

std::unique_ptr<ResultSink> open_raw_result(const ResultChoice& choice) { return std::make_unique<RawResult>(choice); }
