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
#include <vector>

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
  std::size_t hint = 0;        // the last cell's bin: the next is often the same
};

// Adds a cell of altitude `a` and weight `w` to the sums at `levels`
// (increasing, at least one). An altitude that is no number goes below the
// lowest level and makes its sums no number, as it makes the volume.
inline void add_to_levels(LevelSums& s, const std::vector<double>& levels, double a, double w) {
  const std::size_t n = levels.size();
  if (s.bins.empty()) s.bins.resize(n + 1);
  // The bin k is the first level at or above a; neighbouring cells mostly
  // share theirs, so the last one is tried before a search.
  std::size_t k = s.hint;
  if (!((k == 0 || levels[k - 1] < a) && (k == n || a <= levels[k]))) {
    k = static_cast<std::size_t>(std::lower_bound(levels.begin(), levels.end(), a) - levels.begin());
    s.hint = k;
  }
  LevelBin& bin = s.bins[k];
  if (k < n && a == levels[k]) {
    bin.at_level += w;
    return;
  }
  bin.weight += w;
  if (k < n) bin.depth += (levels[k] - a) * w;
  if (k > 0) bin.height += (a - levels[k - 1]) * w;
}

// The curve at one level.
struct CurvePoint {
  double level_m = 0.0;
  double area_below_m2 = 0.0, volume_below_m3 = 0.0;  // cells below the level; the water it holds
  double area_above_m2 = 0.0, volume_above_m3 = 0.0;  // cells above it; what stands out of that water
};

// The curve at every level from the sums (all zero when no cell was added).
std::vector<CurvePoint> storage_curve(const std::vector<double>& levels, const LevelSums& sums);
