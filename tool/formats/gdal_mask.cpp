// Masks of every raster GDAL reads: one band of whole numbers of any cell
// type, codes from -2147483648 to 4294967295, on the DEM's grid. The passes
// get 1 in the zone and 0 elsewhere, or, for the table, indices of the codes
// in the order met (kNoZone for cells in no zone).
#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "fatal.h"
#include "files/input_file.h"
#include "formats/gdal_checks.h"
#include "formats/masks.h"
#include "formats/registry.h"
#include "number_text.h"
#include "text.h"
#include "zone/zone_table.h"

namespace {

// A cell's value `v` (`valid`: its mask band's, 1 without one): false for
// a cell in no zone (the no-data value, or 0 in the mask band); else true
// with its code. A value that is not a whole number of the codes' range
// stops the run naming its line and column.
bool gdal_mask_code(const GdalRaster& r, const std::string& path, double v, unsigned char valid, int line, int column,
                    long long& code) {
  if (valid == 0 || (r.nodata && (v == *r.nodata || (v != v && *r.nodata != *r.nodata)))) return false;
  if (!(v >= -2147483648.0 && v <= 4294967295.0) || v != std::trunc(v)) {
    fatal_stop(text("\n\n\tThe mask %s holds %s at line %d, column %d: a mask holds whole numbers from -2147483648 to "
                    "4294967295 (its codes)\n",
                    path.c_str(), shortest_text(v).c_str(), line, column));
  }
  code = static_cast<long long>(v);
  return true;
}

class GdalMask final : public MaskSource {
 public:
  explicit GdalMask(const MaskChoice& choice) : path_(choice.path), input_(choice.path, choice.band.value_or(1), "mask") {
    facts_.gdal = input_.reader->raster();
    facts_.lines = facts_.gdal->lines;
    facts_.columns = facts_.gdal->columns;
  }

  void load(const MaskChoice& choice, const DemFacts& dem, const std::string& dem_path, std::ostream& notes) override {
    const GdalRaster& r = *facts_.gdal;
    check_mask_size(r.lines, r.columns, path_, dem, dem_path);
    // The DEM's grid: its geotransform, or its corner and cell size.
    const RasterGeometry& g = dem.geometry;
    double dem_transform[6] = {g.X_min, g.map_cell(), 0, g.Y_min + g.nb_lig * g.map_cell(), 0, -g.map_cell()};
    if (dem.gdal) std::copy(dem.gdal->transform, dem.gdal->transform + 6, dem_transform);
    const std::string dem_wkt = dem.gdal ? dem.gdal->wkt : g.has_prj ? g.prj : "";
    if (g.placed && r.georeferenced) {
      for (int k = 0; k < 6; ++k) {
        const double scale = std::max({std::fabs(dem_transform[k]), std::fabs(r.transform[k]), 1e-300});
        if (std::fabs(dem_transform[k] - r.transform[k]) > 1e-9 * scale) {
          fatal_stop(text("\n\n\tThe mask %s does not lie on the grid of the DEM %s: the DEM's cells start at (%s, %s) "
                          "and measure %s x %s, the mask's start at (%s, %s) and measure %s x %s\n",
                          path_.c_str(), dem_path.c_str(), shortest_text(dem_transform[0]).c_str(),
                          shortest_text(dem_transform[3]).c_str(), shortest_text(dem_transform[1]).c_str(),
                          shortest_text(dem_transform[5]).c_str(), shortest_text(r.transform[0]).c_str(),
                          shortest_text(r.transform[3]).c_str(), shortest_text(r.transform[1]).c_str(),
                          shortest_text(r.transform[5]).c_str()));
        }
      }
    }
    if (!dem_wkt.empty() && !r.wkt.empty() && !same_coordinate_system(dem_wkt, r.wkt)) {
      fatal_stop(text("\n\n\tThe mask %s is in the coordinate system %s, the DEM %s in another: they must be the "
                      "same\n",
                      path_.c_str(), r.crs_name.c_str(), dem_path.c_str()));
    }
    warn_of_bands(r, path_, "mask", "--mask-band", choice.band.has_value(), notes);
  }

  int zone_value(long long) const override { return 1; }
  bool codes_take_a_pass() const override { return true; }
  bool holds(long long code) override {
    const std::vector<long long>& codes = held();
    return std::binary_search(codes.begin(), codes.end(), code);
  }
  std::string codes_text() override {
    const std::vector<long long>& codes = held();
    std::string text;
    constexpr std::size_t kShown = 20;
    for (std::size_t k = 0; k < codes.size() && k < kShown; ++k) text += (k == 0 ? "" : ", ") + std::to_string(codes[k]);
    if (codes.size() > kShown) text += " and " + std::to_string(codes.size() - kShown) + " more";
    return text.empty() ? "none (no data only)" : text;
  }

  void begin_pass(MaskCells cells, long long code) override {
    input_.check_unchanged();
    codes_mode_ = cells == MaskCells::codes;
    code_ = code;
    index_.clear();
    codes_.clear();
    last_ = 0;
  }
  int cell_bytes() const override { return codes_mode_ ? 4 : 1; }
  const std::vector<long long>& codes() const override { return codes_; }

  void read_lines(int first, int count, int nb_col, unsigned char* const* rows) override {
    read_gdal(first, count, 0, nb_col, rows);
  }
  void read_segment(int line, int column, int width, int, unsigned char* out) override {
    read_gdal(line, 1, column, width, &out);
  }

  void end_pass() override { input_.check_unchanged(); }

 private:
  // The mask's values, and its band mask (1 without one).
  void read_values(int first, int count, int column, int width) {
    const auto cells = static_cast<std::size_t>(width);
    values_.resize(cells * static_cast<std::size_t>(count));
    valid_.assign(cells * static_cast<std::size_t>(count), 1);
    rows_.resize(static_cast<std::size_t>(count));
    valid_rows_.resize(static_cast<std::size_t>(count));
    for (int k = 0; k < count; ++k) {
      rows_[static_cast<std::size_t>(k)] = values_.data() + cells * static_cast<std::size_t>(k);
      valid_rows_[static_cast<std::size_t>(k)] = valid_.data() + cells * static_cast<std::size_t>(k);
    }
    input_.reader->read(first, count, column, width, rows_.data(), facts_.gdal->mask_band ? valid_rows_.data() : nullptr);
  }

  void read_gdal(int first, int count, int column, int width, unsigned char* const* out) {
    read_values(first, count, column, width);
    const GdalRaster& r = *facts_.gdal;
    // Cells of an integer type are whole codes already: only the no-data
    // value is to be told apart.
    const bool whole = r.integer_cells && !r.mask_band;
    const bool has_nodata = r.nodata.has_value();
    const double nodata = r.nodata.value_or(0.0);
    const auto cells = static_cast<std::size_t>(width);
    for (int k = 0; k < count; ++k) {
      const double* row = rows_[static_cast<std::size_t>(k)];
      const unsigned char* ok = valid_rows_[static_cast<std::size_t>(k)];
      for (std::size_t j = 0; j < cells; ++j) {
        long long code = static_cast<long long>(row[j]);
        const bool zoned = whole ? !(has_nodata && row[j] == nodata)
                                 : gdal_mask_code(r, path_, row[j], ok[j], first + k, column + static_cast<int>(j), code);
        if (codes_mode_) {
          const std::uint32_t index = zoned ? index_of(code) : kNoZone;
          std::memcpy(out[k] + 4 * j, &index, 4);
        } else {
          out[k][j] = zoned && code == code_ ? 1 : 0;
        }
      }
    }
  }

  // The index of a code, the next one the first time it is met; zones lie in
  // runs, so the last code is tried first.
  std::uint32_t index_of(long long code) {
    if (!codes_.empty() && codes_[last_] == code) return last_;
    auto [at, added] = index_.try_emplace(code, static_cast<std::uint32_t>(codes_.size()));
    if (added) codes_.push_back(code);
    last_ = at->second;
    return last_;
  }

  // The codes the mask holds, its cells without data aside, in increasing
  // order: one more pass, made only to tell which codes a code that selects
  // no cell is not among.
  const std::vector<long long>& held() {
    if (held_) return *held_;
    input_.check_unchanged();
    const int lines = std::max(1, static_cast<int>(kBandCells / facts_.columns));
    const int width = static_cast<int>(std::min<long long>(facts_.columns, kBandCells));
    std::unordered_set<long long> codes;
    for (int first = 0; first < facts_.lines; first += lines) {
      const int count = std::min(lines, facts_.lines - first);
      for (int column = 0; column < facts_.columns; column += width) {
        const int n = std::min(width, facts_.columns - column);
        read_values(first, count, column, n);
        for (int k = 0; k < count; ++k) {
          for (int j = 0; j < n; ++j) {
            long long code = 0;
            if (gdal_mask_code(*facts_.gdal, path_, rows_[static_cast<std::size_t>(k)][j],
                               valid_rows_[static_cast<std::size_t>(k)][j], first + k, column + j, code)) {
              codes.insert(code);
            }
          }
        }
      }
    }
    held_.emplace(codes.begin(), codes.end());
    std::sort(held_->begin(), held_->end());
    return *held_;
  }

  std::string path_;
  GdalInput input_;
  bool codes_mode_ = false;
  long long code_ = 0;
  std::unordered_map<long long, std::uint32_t> index_;
  std::vector<long long> codes_;
  std::uint32_t last_ = 0;
  std::vector<double> values_;
  std::vector<unsigned char> valid_;
  std::vector<double*> rows_;
  std::vector<unsigned char*> valid_rows_;
  std::optional<std::vector<long long>> held_;
};

}  // namespace

std::unique_ptr<MaskSource> open_gdal_mask(const MaskChoice& choice) { return std::make_unique<GdalMask>(choice); }

