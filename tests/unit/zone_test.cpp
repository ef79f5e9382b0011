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

// The figures of the whole zone, line after line as the treatment adds them.
ZoneFigures figures_of(Dem& dem, Mask& mask, int code, double dpix_size, const RasterGeometry& geometry = {}) {
  unsigned char** m = mask.get();
  ZoneFigures figures;
  for (int i = 0; i < dem.lines(); ++i) {
    const bool inner = i > 0 && i < dem.lines() - 1;
    add_zone_line(figures, dem.get()[i], inner ? m[i - 1] : nullptr, m[i], inner ? m[i + 1] : nullptr, 0, dem.cols(),
                  dem.cols(), code, geometry, dpix_size * dpix_size, {});
  }
  return figures;
}

double volume(Dem& dem, Mask& mask, int code, double dpix_size) { return figures_of(dem, mask, code, dpix_size).vol_tot; }

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

TEST(Extraction, FiguresCountEveryCellOfTheZoneOnce) {
  // A 4 x 5 DEM; the zone is every cell but (1, 1); (2, 3) holds the marker.
  Dem dem({{9, 9, 9, 9, 9}, {9, 1, 2, 3, 9}, {9, 4, 5, -1, 9}, {9, 9, 9, 9, std::nan("")}});
  Mask mask = all_but(4, 5, 1, 1);
  RasterGeometry grid;
  grid.has_nodata = true;
  grid.nodata = -1;
  const ZoneFigures f = figures_of(dem, mask, 1, 10.0, grid);
  EXPECT_EQ(f.zone_cells, 19);
  EXPECT_EQ(f.other_cells, 1);
  EXPECT_EQ(f.frame_cells, 14);   // the frame, the marker aside
  EXPECT_EQ(f.nodata_cells, 1);
  EXPECT_EQ(f.half_cells, 2);     // (1, 2) and (2, 1), beside the hole
  EXPECT_EQ(f.full_cells, 2);     // (1, 3) and (2, 2)
  EXPECT_EQ(f.vol_tot, (2 * 0.5 + 3 + 4 * 0.5 + 5) * 100.0);  // the marker adds nothing
  EXPECT_EQ(f.lowest, -1.0);      // a raw result stores the marker like any altitude,
  EXPECT_EQ(f.data_lowest, 2.0);  // but the zone's altitudes leave it out
  EXPECT_EQ(f.data_highest, 9.0);
  EXPECT_TRUE(f.has_nan);         // (3, 4): no number, counted in neither extreme

  double line[] = {7, -1, -1, 8};
  const unsigned char codes[] = {1, 1, 0, 1};
  mark_no_data(line, codes, 4, 1, grid, -9999.9999);
  EXPECT_EQ(std::vector<double>(line, line + 4), (std::vector<double>{7, -9999.9999, -1, 8}));
}
