#include "levels.h"

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
