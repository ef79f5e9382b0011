// The storage curve's sums against the plain sum at each level, over cells
// that come in smooth runs (the last bin's guess holds) and in random order
// (it fails), with altitudes at the levels exactly.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "zone/levels.h"

namespace {

struct Cell {
  double altitude, weight;
};

void expect_close(double got, double want, const char* what, double level) {
  EXPECT_LE(std::fabs(got - want), 1e-12 * std::fabs(want) + 1e-300) << what << " at " << level << ": " << got
                                                                       << " against " << want;
}

}  // namespace

TEST(StorageCurve, EveryLevelIsTheCellByCellSum) {
  struct Case {
    const char* what;
    std::vector<double> levels;
    bool smooth;  // altitudes in slow runs, as along a DEM's lines
  };
  std::vector<double> regular;
  for (int k = 0; k <= 200; ++k) regular.push_back(250.0 + k * 2.5);
  const Case cases[] = {
      {"200 levels, smooth", regular, true},
      {"200 levels, random", regular, false},
      {"uneven levels", {-5.0, 0.0, 0.1, 300.0, 300.5, 301.0, 700.0, 1e4}, false},
      {"one level", {400.0}, true},
  };
  for (const Case& c : cases) {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    std::vector<Cell> cells;
    double a = 500.0;
    for (int k = 0; k < 20000; ++k) {
      a = c.smooth ? a + (uniform(random) - 0.5) * 3.0 : 200.0 + uniform(random) * 600.0;
      // One cell in eight lies at a level exactly, or at a whole metre.
      double at = k % 8 == 0 ? c.levels[static_cast<std::size_t>(k / 8) % c.levels.size()] : a;
      if (k % 8 == 4) at = std::round(a);
      cells.push_back({at, (k % 3 == 0 ? 0.5 : 1.0) * 8100.0});
    }
    LevelSums sums;
    const Levels levels = levels_of(c.levels);
    const LevelAdder adder(sums, levels);
    for (const Cell& cell : cells) adder.add(cell.altitude, cell.weight);
    const std::vector<CurvePoint> curve = storage_curve(c.levels, sums);
    ASSERT_EQ(curve.size(), c.levels.size());
    for (std::size_t j = 0; j < c.levels.size(); ++j) {
      const double level = c.levels[j];
      double area_below = 0, volume_below = 0, area_above = 0, volume_above = 0;
      for (const Cell& cell : cells) {
        if (cell.altitude < level) area_below += cell.weight, volume_below += (level - cell.altitude) * cell.weight;
        if (cell.altitude > level) area_above += cell.weight, volume_above += (cell.altitude - level) * cell.weight;
      }
      EXPECT_EQ(curve[j].level_m, level) << c.what;
      expect_close(curve[j].area_below_m2, area_below, c.what, level);
      expect_close(curve[j].volume_below_m3, volume_below, c.what, level);
      expect_close(curve[j].area_above_m2, area_above, c.what, level);
      expect_close(curve[j].volume_above_m3, volume_above, c.what, level);
    }
  }
  // A zone without a cell with data: its levels, every sum zero.
  const std::vector<CurvePoint> empty = storage_curve({1.0, 2.0}, LevelSums{});
  ASSERT_EQ(empty.size(), 2u);
  EXPECT_EQ(empty[1].level_m, 2.0);
  EXPECT_EQ(empty[1].area_below_m2 + empty[1].volume_below_m3 + empty[1].area_above_m2 + empty[1].volume_above_m3, 0.0);
}
