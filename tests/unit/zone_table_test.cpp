// The table of every zone against the one-zone figures, bit for bit, on
// random masks and pieces of lines; and the cell areas of rasters in degrees.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "zone/cell_areas.h"
#include "zone/zone_table.h"

TEST(ZoneTable, EveryValueGetsTheFiguresOfItsOwnPassBitForBit) {
  std::mt19937 random(7);
  for (const int width : {1, 2, 5, 40}) {    // pieces of a 40-column line, and whole lines
    const int lines = 9, cols = 40;
    std::vector<unsigned char> mask(static_cast<std::size_t>(lines * cols));
    std::vector<double> dem(mask.size());
    for (std::size_t k = 0; k < mask.size(); ++k) {
      mask[k] = static_cast<unsigned char>(random() % 4 == 0 ? random() % 5 : (k / 7) % 5);  // runs and noise
      dem[k] = random() % 10 == 0 ? -9999.0 : static_cast<double>(random() % 100000) / 7.0;
    }
    RasterGeometry g;
    g.has_nodata = true, g.nodata = -9999.0;
    const double base = 5000.0;
    ZoneSums sums;
    sums.base = &base;
    ZoneTable table;
    table.figures.resize(256);
    std::vector<ZoneFigures> single(5);
    for (int i = 0; i < lines; ++i) {
      const bool inner = i > 0 && i < lines - 1;
      for (int column = 0; column < cols; column += width) {
        const int n = std::min(width, cols - column);
        auto at = [&](int line) { return mask.data() + line * cols + column; };
        const double* altitude = dem.data() + i * cols + column;
        add_table_line<unsigned char>(table, altitude, inner ? at(i - 1) : nullptr, at(i), inner ? at(i + 1) : nullptr,
                                      column, n, cols, g, 3.5, sums, false);
        for (int code = 0; code < 5; ++code) {
          add_zone_line(single[static_cast<std::size_t>(code)], altitude, inner ? at(i - 1) : nullptr, at(i),
                        inner ? at(i + 1) : nullptr, column, n, cols, code, g, 3.5, sums);
        }
      }
    }
    for (int code = 0; code < 5; ++code) {
      const ZoneFigures& t = table.figures[static_cast<std::size_t>(code)];
      const ZoneFigures& s = single[static_cast<std::size_t>(code)];
      const std::string what = "width " + std::to_string(width) + ", code " + std::to_string(code);
      EXPECT_EQ(t.zone_cells, s.zone_cells) << what;
      EXPECT_EQ(t.full_cells, s.full_cells) << what;
      EXPECT_EQ(t.half_cells, s.half_cells) << what;
      EXPECT_EQ(t.frame_cells, s.frame_cells) << what;
      EXPECT_EQ(t.nodata_cells, s.nodata_cells) << what;
      EXPECT_EQ(t.vol_tot, s.vol_tot) << what;
      EXPECT_EQ(t.above_base_m3, s.above_base_m3) << what;
      EXPECT_EQ(t.below_base_m3, s.below_base_m3) << what;
      EXPECT_EQ(t.data_sum, s.data_sum) << what;
      EXPECT_EQ(t.data_lowest, s.data_lowest) << what;
      EXPECT_GT(s.half_cells, 0) << what;  // the masks do hold edges
    }
  }
}

TEST(CellAreas, OnASphereAndOnTheEllipsoid) {
  // On a sphere (no eccentricity): R^2 x longitude span x (sin north - sin south).
  CellAreas sphere;
  sphere.ellipsoidal = true;
  sphere.north_deg = 60, sphere.line_deg = 0.5, sphere.column_deg = 0.25, sphere.semi_major_m = 6371000;
  const double rad = std::numbers::pi / 180;
  for (const int line : {0, 1, 119, 239}) {
    const double north = (60 - 0.5 * line) * rad, south = (60 - 0.5 * (line + 1)) * rad;
    const double expected = 6371000.0 * 6371000.0 * 0.25 * rad * (std::sin(north) - std::sin(south));
    EXPECT_NEAR(sphere.of_line(line) / expected, 1.0, 1e-12) << line;
  }
  // WGS 84: the cells of one meridian's band of a degree, pole to pole, add
  // up to a 360th of the ellipsoid's surface (510065621.7 km2).
  CellAreas wgs84 = sphere;
  wgs84.north_deg = 90, wgs84.line_deg = 1, wgs84.column_deg = 1, wgs84.semi_major_m = 6378137;
  const double f = 1 / 298.257223563;
  wgs84.eccentricity2 = f * (2 - f);
  double total = 0;
  for (int line = 0; line < 180; ++line) total += wgs84.of_line(line);
  EXPECT_NEAR(total * 360 / 510065621.7e6, 1.0, 1e-9);
  EXPECT_NEAR(wgs84.of_line(10) / wgs84.of_line(169), 1.0, 1e-12);  // north and south alike
  CellAreas planar;
  planar.planar_m2 = 8100;
  EXPECT_EQ(planar.of_line(12345), 8100);
}
