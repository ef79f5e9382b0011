#include "levels.h"

#include <algorithm>
#include <cmath>
#include <limits>

Levels levels_of(const std::vector<double>& levels) {
  constexpr double kInfinity = std::numeric_limits<double>::infinity();
  Levels l;
  l.bounds.push_back(-kInfinity);
  l.bounds.insert(l.bounds.end(), levels.begin(), levels.end());
  l.bounds.push_back(kInfinity);
  l.origin = levels.front();
  const double span = levels.back() - levels.front();
  double closest = span;
  for (std::size_t k = 1; k < levels.size(); ++k) closest = std::min(closest, levels[k] - levels[k - 1]);
  // Slices half as wide as the closest levels: the bin of a slice's bottom
  // or the next holds every altitude of the slice (but where rounding puts
  // an altitude a slice too high).
  const double slices = span > 0.0 ? std::min(std::ceil(2.0 * span / closest) + 1.0, 1048576.0) : 1.0;
  l.slices_per_metre = span > 0.0 ? slices / span : 0.0;
  l.last_slice = slices - 1.0;
  l.slices.resize(static_cast<std::size_t>(slices));
  for (std::size_t b = 0; b < l.slices.size(); ++b) {
    const double bottom = l.origin + static_cast<double>(b) / l.slices_per_metre;
    const auto bin = static_cast<std::uint32_t>(b == 0 ? 0 : level_at_or_above(l, bottom));
    l.slices[b] = {l.bounds[bin + 1], bin};
  }
  return l;
}

std::size_t level_at_or_above(const Levels& levels, double a) {
  const double* first = levels.bounds.data() + 1;
  return static_cast<std::size_t>(std::lower_bound(first, first + levels.count(), a) - first);
}

std::vector<CurvePoint> storage_curve(const std::vector<double>& levels, const LevelSums& sums) {
  const std::size_t n = levels.size();
  std::vector<CurvePoint> curve(n);
  for (std::size_t j = 0; j < n; ++j) curve[j].level_m = levels[j];
  if (sums.bins.empty()) return curve;
  const std::vector<LevelBin>& b = sums.bins;
  // Upwards: the cells below level j are those below level j - 1, those at
  // it, and bin j; each of the first two holds (level j - level j-1) more
  // water at level j, bin j holds its depths.
  double area = 0.0, volume = 0.0;
  for (std::size_t j = 0; j < n; ++j) {
    if (j > 0) {
      const double under = area + b[j - 1].at_level;
      volume = volume + (levels[j] - levels[j - 1]) * under + b[j].depth;
      area = under + b[j].weight;
    } else {
      volume = b[0].depth;
      area = b[0].weight;
    }
    curve[j].area_below_m2 = area;
    curve[j].volume_below_m3 = volume;
  }
  // Downwards, the same for the cells above each level.
  area = 0.0, volume = 0.0;
  for (std::size_t j = n; j-- > 0;) {
    if (j + 1 < n) {
      const double over = area + b[j + 1].at_level;
      volume = volume + (levels[j + 1] - levels[j]) * over + b[j + 1].height;
      area = over + b[j + 1].weight;
    } else {
      volume = b[n].height;
      area = b[n].weight;
    }
    curve[j].area_above_m2 = area;
    curve[j].volume_above_m3 = volume;
  }
  return curve;
}
