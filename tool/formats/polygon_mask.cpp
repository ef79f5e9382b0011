// Masks of polygons: a layer GDAL reads (GeoPackage, Shapefile, GeoJSON,
// FlatGeobuf...), each code's features one zone, laid on the DEM's grid in
// its coordinate system. A zone covers each cell by a share (zone/coverage.h),
// which the passes take through cover(); their lines hold 1 where the zone of
// the pass covers at least the result's share of a cell, 0 elsewhere.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "fatal.h"
#include "formats/registry.h"
#include "text.h"

namespace {

// The DEM's geotransform: map coordinates of a cell corner from its column
// and line.
struct GridPlace {
  double t[6];
  // A point of the map in cells: x the column, y the line.
  void to_cells(double X, double Y, double& x, double& y) const {
    const double dx = X - t[0], dy = Y - t[3];
    const double det = t[1] * t[5] - t[2] * t[4];
    x = (t[5] * dx - t[2] * dy) / det;
    y = (t[1] * dy - t[4] * dx) / det;
  }
};

class PolygonMask final : public MaskSource {
 public:
  explicit PolygonMask(const MaskChoice& choice) : choice_(choice) {}

  void load(const MaskChoice&, const DemFacts& dem, const std::string& dem_path, std::ostream& notes) override {
    const RasterGeometry& g = dem.geometry;
    // The DEM's corner: its own, or the one a .hdr beside a raw DEM gives.
    const Corner corner = g.placed ? Corner{g.X_min, g.Y_min} : dem.header_corner.value_or(Corner{});
    GridPlace place{{corner.x, g.map_cell(), 0, corner.y + g.nb_lig * g.map_cell(), 0, -g.map_cell()}};
    if (dem.gdal && dem.gdal->georeferenced) {
      std::copy(dem.gdal->transform, dem.gdal->transform + 6, place.t);
    } else if (!g.placed && !dem.header_corner) {
      fatal_stop(text("\n\n\tThe DEM %s has no place on the map (no corner: a .hdr beside it gives one), so the "
                      "polygons of %s cannot be laid on it\n",
                      dem_path.c_str(), choice_.path.c_str()));
    }
    const std::string wkt = dem.gdal ? dem.gdal->wkt : g.has_prj ? g.prj : "";
    // Each zone in cells as it comes; then in the order of their codes.
    std::vector<std::pair<long long, CoverageZone>> zones;
    auto take = [&](LayerFeature& feature) {
      std::vector<Ring> outer, holes;
      for (LayerRing& r : feature.rings) {
        Ring ring;
        ring.x.resize(r.x.size()), ring.y.resize(r.x.size());
        for (std::size_t k = 0; k < r.x.size(); ++k) place.to_cells(r.x[k], r.y[k], ring.x[k], ring.y[k]);
        (r.hole ? holes : outer).push_back(std::move(ring));
        r.x = {}, r.y = {};
      }
      zones.emplace_back(feature.code, coverage_zone(oriented_polygon(std::move(outer), std::move(holes))));
    };
    PolygonLayer layer = read_polygon_layer(choice_.path, choice_.layer, choice_.zone_field, wkt, take);
    for (const std::string& n : layer.notes) notes << "\n\n\tThe mask " << choice_.path << ": " << n;
    if (wkt.empty() && !layer.crs_name.empty()) {
      fatal_stop(text("\n\n\tThe polygons of %s are in %s and the DEM %s has no coordinate system to place them on "
                      "(a .prj beside it gives one)\n",
                      choice_.path.c_str(), layer.crs_name.c_str(), dem_path.c_str()));
    }
    std::stable_sort(zones.begin(), zones.end(), [](const auto& a, const auto& b) { return a.first < b.first; });

    PolygonFacts facts;
    facts.layer = layer.name;
    facts.crs_name = layer.crs_name;
    if (layer.transformed) facts.dem_crs_name = layer.target_crs_name;
    facts.min_share = choice_.min_share;
    facts.files = std::move(layer.files);
    for (auto& [code, zone] : zones) {
      facts.codes.push_back(code);
      facts.off_lines_m2.push_back(off_lines_m2(zone, g.nb_lig, dem.areas));
      zones_.push_back(std::move(zone));
    }
    facts_.lines = g.nb_lig;
    facts_.columns = g.nb_col;
    facts_.polygons = std::move(facts);
  }

  int zone_value(long long) const override { return 1; }
  bool holds(long long code) override { return index_of(code) < zone_codes().size(); }
  std::string codes_text() override {
    const std::vector<long long>& codes = facts_.polygons->codes;
    std::string text;
    constexpr std::size_t kShown = 20;
    for (std::size_t k = 0; k < codes.size() && k < kShown; ++k) text += (k == 0 ? "" : ", ") + std::to_string(codes[k]);
    if (codes.size() > kShown) text += " and " + std::to_string(codes.size() - kShown) + " more";
    return text;
  }

  void begin_pass(MaskCells cells, long long code) override {
    std::vector<std::size_t> which;
    zone_ = index_of(code);
    if (cells == MaskCells::codes) {
      for (std::size_t k = 0; k < zones_.size(); ++k) which.push_back(k);
      zone_ = zones_.size();
    } else if (zone_ < zones_.size()) {
      which.push_back(zone_);
    }
    lines_.start(zones_, zone_ < zones_.size() ? std::vector<std::size_t>{zone_} : std::vector<std::size_t>{},
                 facts_.columns);
    cover_.start(zones_, std::move(which), facts_.columns);
  }

  void read_lines(int first, int count, int nb_col, unsigned char* const* rows) override {
    const double min_share = facts_.polygons->min_share;
    for (int k = 0; k < count; ++k) {
      unsigned char* row = rows[k];
      std::memset(row, 0, static_cast<std::size_t>(nb_col));
      lines_.line(first + k, 0, nb_col, [&](std::size_t, int column, int width, const double* shares, double) {
        for (int j = 0; j < width; ++j) row[column + j] = shares[j] >= min_share ? 1 : 0;
      });
    }
  }
  void read_segment(int line, int column, int width, int, unsigned char* out) override {
    std::memset(out, 0, static_cast<std::size_t>(width));
    if (zone_ >= zones_.size()) return;
    zone_line_shares(zones_[zone_], line, column, width, segment_);
    for (int j = 0; j < width; ++j) out[j] = segment_[static_cast<std::size_t>(j)] >= facts_.polygons->min_share ? 1 : 0;
  }
  void cover(int line, int column, int width, const LineCover& cover) override { cover_.line(line, column, width, cover); }
  void end_pass() override {}

 private:
  const std::vector<long long>& zone_codes() const { return facts_.polygons->codes; }
  std::size_t index_of(long long code) const {
    const std::vector<long long>& c = zone_codes();
    const auto at = std::lower_bound(c.begin(), c.end(), code);
    return at != c.end() && *at == code ? static_cast<std::size_t>(at - c.begin()) : c.size();
  }

  // A zone's area on the lines above and below the DEM, as the cells of
  // those lines would measure it.
  static double off_lines_m2(const CoverageZone& zone, int nb_lig, const CellAreas& areas) {
    const double inf = std::numeric_limits<double>::infinity();
    if (!areas.ellipsoidal) return (strip_area(zone, -inf, 0.0) + strip_area(zone, nb_lig, inf)) * areas.planar_m2;
    // Line by line: a sweep over no column gives each line's whole strip.
    std::vector<CoverageZone> one{zone};
    CoverageSweep sweep;
    sweep.start(one, {0}, 0);
    double area = 0.0;
    auto strip = [&](int line) {
      sweep.line(line, 0, 0, [&](std::size_t, int, int, const double*, double off) { area += off * areas.of_line(line); });
    };
    const int top = static_cast<int>(std::max(std::floor(zone.top), -1e9));
    const int bottom = static_cast<int>(std::min(std::ceil(zone.bottom), 1e9));
    for (int line = top; line < std::min(bottom, 0); ++line) strip(line);
    for (int line = std::max(top, nb_lig); line < bottom; ++line) strip(line);
    return area;
  }

  MaskChoice choice_;
  std::vector<CoverageZone> zones_;  // by index of facts_.polygons->codes
  std::size_t zone_ = 0;             // the pass's zone (zones_.size(): none, or every zone)
  CoverageSweep lines_, cover_;      // for the lines of the result's zone; for the figures
  std::vector<double> segment_;
};

}  // namespace

std::unique_ptr<MaskSource> open_polygon_mask(const MaskChoice& choice) { return std::make_unique<PolygonMask>(choice); }
