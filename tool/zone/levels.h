// A zone's storage curve (its elevation-area-volume curve): at each of a set
// of increasing levels, the area and volume of its cells below the level
// (the water the zone holds up to it) and above it. No files, no console.
//
// The pass puts each cell with data, of weight w (its area as the volume
// weighs it: half on the zone's edge, none on the frame), in one bin: at a
// level exactly, or strictly between two levels (below the lowest, above
// the highest). A bin keeps the sum of its weights and the sums of its
// cells' heights above the level under it and depths below the level over
// it, times w. Every one of these terms is 0 or more, and so is every term
// storage_curve adds: nothing cancels, and each level's volumes agree with a
// cell-by-cell sum at that level (the --base volumes) to a few units of
// rounding times the number of levels.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

// The levels as the passes take them. Bin k lies between bounds[k] and
// bounds[k + 1]. A cell's bin is looked up from its altitude alone: the
// altitudes from the lowest level to the highest are cut in slices no
// wider than half the closest two levels (up to a million slices), and a
// slice holds the bin of its bottom and the level above that bottom, so
// that one load gives the cell's bin: that one or the next, checked
// against the bounds (a search when neither is).
struct LevelSlice {
  double next_level;    // bounds[bin + 1]
  std::uint32_t bin;    // the bin of the slice's bottom
};
struct Levels {
  std::vector<double> bounds;        // -infinity, the levels in increasing order, +infinity
  std::vector<LevelSlice> slices;
  double origin = 0.0;               // the lowest level
  double slices_per_metre = 0.0;
  double last_slice = 0.0;
  std::size_t count() const { return bounds.size() - 2; }
};
Levels levels_of(const std::vector<double>& levels);

// The cells strictly between level k - 1 and level k (k = 0: below the
// lowest; k = levels: above the highest), and those exactly at level k.
struct LevelBin {
  double weight = 0.0;      // sum of w
  double depth = 0.0;       // sum of (level k - altitude) x w; k = levels: unused
  double height = 0.0;      // sum of (altitude - level k-1) x w; k = 0: unused
  double at_level = 0.0;    // sum of w of the cells at level k; k = levels: unused
};

struct LevelSums {
  std::vector<LevelBin> bins;  // levels + 1 once a cell was added, empty before
};

// The first level at or above `a` (a search), levels.count() when none.
std::size_t level_at_or_above(const Levels& levels, double a);

// Adds cells to a zone's sums at the levels (making room for them before
// its first cell). A plain value: a pass keeps one for each run of cells,
// in registers. An altitude that is no number goes below the lowest level
// and makes its sums no number, as it makes the volume; an infinite one
// makes a volume infinite.
class LevelAdder {
 public:
  LevelAdder(LevelSums& sums, const Levels& levels)
      : levels_(&levels), bounds_(levels.bounds.data()), slices_(levels.slices.data()), origin_(levels.origin),
        slices_per_metre_(levels.slices_per_metre), last_slice_(levels.last_slice), count_(levels.count()) {
    if (sums.bins.empty()) sums.bins.resize(count_ + 1);
    bins_ = sums.bins.data();
  }

  // A cell of altitude `a` and weight `w`.
  void add(double a, double w) const {
    const double slice = std::min(std::max(0.0, (a - origin_) * slices_per_metre_), last_slice_);  // no number: 0
    const LevelSlice& s = slices_[static_cast<std::int64_t>(slice)];
    std::size_t k = s.bin + static_cast<std::size_t>(a > s.next_level);
    if (!(bounds_[k] < a && a <= bounds_[k + 1])) k = level_at_or_above(*levels_, a);
    LevelBin& bin = bins_[k];
    if (a == bounds_[k + 1] && k < count_) {
      bin.at_level += w;
      return;
    }
    // Below the lowest level the height, above the highest the depth, is
    // infinite (or no number) and never read.
    bin.weight += w;
    bin.depth += (bounds_[k + 1] - a) * w;
    bin.height += (a - bounds_[k]) * w;
  }

 private:
  const Levels* levels_;
  const double* bounds_;
  const LevelSlice* slices_;
  double origin_, slices_per_metre_, last_slice_;
  std::size_t count_;
  LevelBin* bins_ = nullptr;
};

// The curve at one level.
struct CurvePoint {
  double level_m = 0.0;
  double area_below_m2 = 0.0, volume_below_m3 = 0.0;  // cells below the level; the water it holds
  double area_above_m2 = 0.0, volume_above_m3 = 0.0;  // cells above it; what stands out of that water
};

// The curve at every level from the sums (all zero when no cell was added).
std::vector<CurvePoint> storage_curve(const std::vector<double>& levels, const LevelSums& sums);
