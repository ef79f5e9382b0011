#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "zone/zone.h"

namespace {

// A small matrix written out in the test: rows of equal length.
template <class T>
struct Grid {
  explicit Grid(std::vector<std::vector<T>> cells) : rows(std::move(cells)) {}
  Grid(int lines, int cols, T value) : Grid(std::vector<std::vector<T>>(lines, std::vector<T>(cols, value))) {}
  T** get() {
    pointers.clear();
    for (auto& row : rows) pointers.push_back(row.data());
    return pointers.data();
  }
  int lines() const { return static_cast<int>(rows.size()); }
  int cols() const { return static_cast<int>(rows[0].size()); }
  std::vector<std::vector<T>> rows;
  std::vector<T*> pointers;
};

using Mask = Grid<unsigned char>;
using Dem = Grid<double>;

// The volume over the inner lines, as the treatment adds it.
double volume(Dem& dem, Mask& mask, int code, double dpix_size) {
  unsigned char** m = mask.get();
  double vol_tot = 0.0;
  for (int i = 1; i < dem.lines() - 1; ++i) {
    vol_tot = add_line_volume(vol_tot, dem.get()[i], m[i - 1], m[i], m[i + 1], dem.cols(), code, dpix_size * dpix_size);
  }
  return vol_tot;
}

Mask all_but(int lines, int cols, int line, int col) {
  Mask m(lines, cols, 1);
  m.rows[line][col] = 0;
  return m;
}

}  // namespace

TEST(Volume, WorkedExamples) {
  struct Case {
    const char* name;
    Mask mask;
    double altitude;
    int code;
    double dpix_size;
    double expected;
  };
  const Mask block5({{0, 0, 0, 0, 0}, {0, 1, 1, 1, 0}, {0, 1, 1, 1, 0}, {0, 1, 1, 1, 0}, {0, 0, 0, 0, 0}});
  const Mask centre3({{0, 0, 0}, {0, 1, 0}, {0, 0, 0}});
  std::vector<Case> cases = {
      {"3x3 all in the zone: the centre counts in full", Mask(3, 3, 1), 100, 1, 10, 10000},
      {"3x3 centre only: counts half", centre3, 100, 1, 10, 5000},
      {"5x5 with a 3x3 block: centre full, eight halves", block5, 100, 1, 10, 50000},
      {"5x5 all but (1,1): diagonal neighbour counts in full", all_but(5, 5, 1, 1), 100, 1, 10, 70000},
      {"4x4 all in the zone at 2 m: the frame counts nothing", Mask(4, 4, 1), 50, 1, 2, 800},
      {"2 lines: no inner cell", Mask(2, 6, 1), 100, 1, 10, 0},
      {"2 columns: no inner cell", Mask(6, 2, 1), 100, 1, 10, 0},
      {"code 300 matches nothing", Mask(4, 4, 44), 100, 300, 10, 0},
      {"code -1 is not mask value 255", Mask(4, 4, 255), 100, -1, 10, 0},
      {"negative altitudes give a negative volume", Mask(3, 3, 7), -20, 7, 10, -2000},
  };
  for (Case& c : cases) {
    Dem dem(c.mask.lines(), c.mask.cols(), c.altitude);
    EXPECT_EQ(volume(dem, c.mask, c.code, c.dpix_size), c.expected) << c.name;
  }
}

TEST(Volume, AddsCellByCellInLineOrder) {
  // No perimeter here. 1e16 then ones: adding line by line, cell by cell, each 1 m3 is lost
  // against 1e16; a different order (or fused multiply-add) would keep them.
  Dem dem({{0, 0, 0, 0, 0}, {0, 1e16, 1, 1, 0}, {0, 1, 1, 1, 0}, {0, 0, 0, 0, 0}});
  Mask mask(4, 5, 1);
  double expected = 0.0;
  for (double cell : {1e16, 1.0, 1.0, 1.0, 1.0, 1.0}) expected = expected + cell;
  EXPECT_EQ(volume(dem, mask, 1, 1.0), expected);
}

TEST(Extraction, ZoneKeepsAltitudesOthersGetTheHypsometricValue) {
  Dem dem({{1.5, -2.0, 3.25}, {0.1, 1e300, -0.0}});
  struct Case {
    const char* name;
    Mask mask;
    int code;
    std::vector<std::vector<double>> expected;
  };
  std::vector<Case> cases = {
      {"mask all equal to the code gives the DEM", Mask(2, 3, 9), 9, dem.rows},
      {"code 256 is not mask value 0", Mask(2, 3, 0), 256, {{12.25, 12.25, 12.25}, {12.25, 12.25, 12.25}}},
      {"code -1 is not mask value 255", Mask(2, 3, 255), -1, {{12.25, 12.25, 12.25}, {12.25, 12.25, 12.25}}},
      {"mixed", Mask({{0, 255, 0}, {255, 0, 255}}), 255, {{12.25, -2.0, 12.25}, {0.1, 12.25, -0.0}}},
  };
  for (Case& c : cases) {
    Dem out = dem;  // the result is made in place of the input
    for (int i = 0; i < 2; ++i) extract_line(out.get()[i], c.mask.get()[i], 3, c.code, 12.25, out.get()[i]);
    for (int i = 0; i < 2; ++i) {
      // Bit for bit: -0.0 stays -0.0.
      EXPECT_EQ(std::memcmp(out.rows[i].data(), c.expected[i].data(), 3 * sizeof(double)), 0) << c.name;
    }
  }
}

TEST(Extraction, FiguresOfTheZoneAndTheCellsOutside) {
  Dem dem({{1.5, -2.0, 3.25}, {0.1, 1e300, std::nan("")}});
  Mask mask({{1, 0, 1}, {1, 0, 1}});
  ZoneFigures figures;
  for (int i = 0; i < 2; ++i) add_line_figures(figures, dem.get()[i], mask.get()[i], 3, 1);
  EXPECT_EQ(figures.zone_cells, 4);
  EXPECT_EQ(figures.other_cells, 2);
  EXPECT_EQ(figures.lowest, 0.1);     // 1e300 lies outside the zone,
  EXPECT_EQ(figures.highest, 3.25);   // and the cell without a number counts in neither
  EXPECT_TRUE(figures.has_nan);
}
