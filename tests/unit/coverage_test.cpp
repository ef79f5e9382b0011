// The shares of cells a polygon covers: shapes worked out by hand, and
// polygons of many edges against each cell clipped on its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

#include "zone/coverage.h"

namespace {

Ring ring(std::vector<std::pair<double, double>> points) {
  Ring r;
  for (const auto& [x, y] : points) r.x.push_back(x), r.y.push_back(y);
  return r;
}

// Every share of a window of `lines` x `columns` cells from (0, column).
std::vector<double> shares_of(const CoveragePolygon& p, int lines, int columns, int column = 0) {
  std::vector<double> all, line(static_cast<std::size_t>(columns));
  for (int l = 0; l < lines; ++l) {
    line_shares(p, l, column, columns, line.data());
    all.insert(all.end(), line.begin(), line.end());
  }
  return all;
}

// The area of a ring inside the cell (line, column): the ring clipped by
// each of the cell's four sides in turn (a convex window clips any ring to
// a ring of the same area inside it).
double clipped_area(Ring r, int line, int column) {
  const double bounds[4] = {static_cast<double>(column), column + 1.0, static_cast<double>(line), line + 1.0};
  for (int side = 0; side < 4; ++side) {
    auto inside = [&](double x, double y) {
      const double v = side < 2 ? x : y;
      return side % 2 == 0 ? v >= bounds[side] : v <= bounds[side];
    };
    Ring out;
    const std::size_t n = r.x.size();
    for (std::size_t i = 0; i < n; ++i) {
      const std::size_t j = (i + 1) % n;
      const bool a = inside(r.x[i], r.y[i]), b = inside(r.x[j], r.y[j]);
      if (a) out.x.push_back(r.x[i]), out.y.push_back(r.y[i]);
      if (a != b) {
        const double v = bounds[side];
        const double t = side < 2 ? (v - r.x[i]) / (r.x[j] - r.x[i]) : (v - r.y[i]) / (r.y[j] - r.y[i]);
        out.x.push_back(r.x[i] + t * (r.x[j] - r.x[i]));
        out.y.push_back(r.y[i] + t * (r.y[j] - r.y[i]));
      }
    }
    r = out;
  }
  return std::fabs(ring_area(r));
}

}  // namespace

TEST(Coverage, SharesWorkedByHand) {
  struct Case {
    const char* name;
    std::vector<Ring> outer, holes;
    int lines, columns;
    std::vector<double> shares;
  };
  const std::vector<Case> cases = {
      {"a square over a quarter of four cells", {ring({{0.5, 0.5}, {1.5, 0.5}, {1.5, 1.5}, {0.5, 1.5}})}, {}, 3, 3,
       {0.25, 0.25, 0, 0.25, 0.25, 0, 0, 0, 0}},
      {"a triangle, turning the other way", {ring({{0, 0}, {0, 2}, {2, 0}})}, {}, 2, 2, {1, 0.5, 0.5, 0}},
      {"a hole", {ring({{0, 0}, {3, 0}, {3, 3}, {0, 3}})}, {ring({{1, 1}, {2, 1}, {2, 2}, {1, 2}})}, 3, 3,
       {1, 1, 1, 1, 0, 1, 1, 1, 1}},
      {"two parts", {ring({{0, 0}, {1, 0}, {1, 1}, {0, 1}}), ring({{2.5, 1}, {3, 1}, {3, 2}, {2.5, 2}})}, {}, 2, 3,
       {1, 0, 0, 0, 0, 0.5}},
      {"a raster zone's cell outlines: shares 1 and 0", {ring({{0, 0}, {2, 0}, {2, 1}, {1, 1}, {1, 2}, {0, 2}})}, {},
       2, 3, {1, 1, 0, 1, 0, 0}},
      {"beyond the raster's edges", {ring({{-1, -1}, {1.5, -1}, {1.5, 0.5}, {-1, 0.5}})}, {}, 2, 2,
       {0.5, 0.25, 0, 0}},
  };
  for (const Case& c : cases) {
    const CoveragePolygon p = oriented_polygon(c.outer, c.holes);
    const std::vector<double> shares = shares_of(p, c.lines, c.columns);
    ASSERT_EQ(shares.size(), c.shares.size()) << c.name;
    for (std::size_t k = 0; k < shares.size(); ++k) EXPECT_NEAR(shares[k], c.shares[k], 1e-15) << c.name << " cell " << k;
  }
}

TEST(Coverage, ManyEdgesAgainstEachCellClipped) {
  // A star of 40 points (not convex), its centre off the cells' corners, and
  // a thin sliver; a window of columns that starts inside it.
  Ring star, sliver = ring({{0.1, 0.2}, {9.7, 3.3}, {0.3, 0.25}});
  for (int k = 0; k < 40; ++k) {
    const double angle = k * std::numbers::pi / 20.0, radius = k % 2 == 0 ? 4.7 : 2.1 + 0.03 * k;
    star.x.push_back(5.13 + radius * std::cos(angle));
    star.y.push_back(4.91 + radius * std::sin(angle));
  }
  for (const Ring& r : {star, sliver}) {
    const CoveragePolygon p = oriented_polygon({r}, {});
    double total = 0.0;
    for (int column : {0, 3}) {
      const std::vector<double> shares = shares_of(p, 11, 11 - column, column);
      for (int line = 0; line < 11; ++line) {
        for (int c = column; c < 11; ++c) {
          const double share = shares[static_cast<std::size_t>(line * (11 - column) + c - column)];
          EXPECT_NEAR(share, clipped_area(r, line, c), 1e-13) << line << ", " << c;
          if (column == 0) total += share;
        }
      }
    }
    EXPECT_NEAR(total, std::fabs(ring_area(r)), 1e-12 * std::fabs(ring_area(r)));
  }
}

TEST(Coverage, TheSweepGivesEachZoneItsSharesAndItsAreaOffTheColumns) {
  // Two overlapping stars and a ring with a hole, partly off a raster of 8 x
  // 9 cells, swept line after line in pieces of 4 columns: each zone's shares
  // are those of its own polygon, and its area is what the lines' cells hold,
  // what lies off the columns and what lies off the lines.
  auto star = [](double x, double y, double r) {
    Ring s;
    for (int k = 0; k < 24; ++k) {
      const double angle = k * std::numbers::pi / 12.0, radius = k % 2 == 0 ? r : 0.45 * r;
      s.x.push_back(x + radius * std::cos(angle)), s.y.push_back(y + radius * std::sin(angle));
    }
    return s;
  };
  const std::vector<CoveragePolygon> polygons = {
      oriented_polygon({star(1.3, 2.2, 3.1)}, {}), oriented_polygon({star(4.6, 5.1, 4.4)}, {}),
      oriented_polygon({ring({{6.5, -1.5}, {10.5, -1.5}, {10.5, 3.5}, {6.5, 3.5}})},
                       {ring({{7.2, 0.2}, {8.8, 0.2}, {8.8, 1.7}, {7.2, 1.7}})})};
  std::vector<CoverageZone> zones;
  for (const CoveragePolygon& p : polygons) zones.push_back(coverage_zone(p));
  const int lines = 8, columns = 9, piece = 4;
  CoverageSweep sweep;
  sweep.start(zones, {0, 1, 2}, columns);
  std::vector<double> inside(zones.size()), off(zones.size()), line(columns);
  for (int l = 0; l < lines; ++l) {
    for (int column = 0; column < columns; column += piece) {
      const int width = std::min(piece, columns - column);
      sweep.line(l, column, width, [&](std::size_t zone, int first, int count, const double* shares, double off_cells) {
        ASSERT_GE(first, column);
        ASSERT_LE(first + count, column + width);
        line_shares(polygons[zone], l, first, count, line.data());
        for (int k = 0; k < count; ++k) {
          EXPECT_NEAR(shares[k], line[static_cast<std::size_t>(k)], 1e-15) << zone << ": " << l << ", " << first + k;
          inside[zone] += shares[k];
        }
        off[zone] += off_cells;
      });
    }
  }
  const double inf = std::numeric_limits<double>::infinity();
  for (std::size_t z = 0; z < zones.size(); ++z) {
    const double beyond = strip_area(zones[z], -inf, 0.0) + strip_area(zones[z], lines, inf);
    EXPECT_NEAR(inside[z] + off[z] + beyond, zones[z].area, 1e-12 * zones[z].area) << z;
    EXPECT_GT(off[z] + beyond, 0.0) << z;
  }
}
