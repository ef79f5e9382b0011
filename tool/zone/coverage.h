// The share of each cell of a grid that a polygon covers, computed from its
// edges (not sampled on a finer grid). No files, no console.
//
// Coordinates are in cells: x the column (0 at the raster's left edge), y
// the line (0 at its top edge); cell (line, column) is the square
// [column, column + 1] x [line, line + 1].
//
// The area of P to the left of a vertical line x = X is, by Green's theorem
// over the boundary of P ∩ {x <= X}, the sum over P's edges of the integral
// of min(x - X, 0) dy: the part of that boundary on the line itself adds
// nothing, as x - X is 0 there. Cut to the strip of one line (the strip's
// own horizontal edges add nothing either, dy being 0), the share of the
// cell in column c is that area at X = c + 1 less that at X = c. An edge
// adds to the cells its x-range spans, and the same -dy to every cell right
// of it, which a running sum carries along the line: a line costs the
// edges that cross it and its width, whatever the polygon's size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

// A closed ring: its vertices in order, the last joined to the first.
struct Ring {
  std::vector<double> x, y;
};

// A polygon: its rings, outer and holes alike, oriented by
// oriented_polygon so that the outer ones enclose a positive area and the
// holes a negative one.
struct CoveragePolygon {
  std::vector<Ring> rings;
  double top = 0.0, bottom = 0.0;  // its extent in lines
};

// The polygon of `outer` rings and `holes` (in any orientation), ready for
// line_shares.
CoveragePolygon oriented_polygon(std::vector<Ring> outer, std::vector<Ring> holes);

// The area a ring encloses, positive when its vertices turn the way that
// x dy integrates to a positive area (clockwise on a map, whose lines go
// down).
double ring_area(const Ring& ring);

// The shares of cells column .. column + width - 1 of line `line` that the
// polygon covers, each in [0, 1], into shares[0 .. width - 1] (replaced).
void line_shares(const CoveragePolygon& polygon, int line, int column, int width, double* shares);

// ---- zones of many polygons, line after line ----------------------------------

// An edge of a zone's rings, in cells, as its ring goes (ya != yb).
struct CoverageEdge {
  double xa, ya, xb, yb;
  double top() const { return ya < yb ? ya : yb; }
  double bottom() const { return ya < yb ? yb : ya; }
};

// A zone: the edges of every ring of its polygons (outer rings enclosing a
// positive area, holes a negative one, as oriented_polygon leaves them;
// its polygons do not overlap), sorted by their top.
struct CoverageZone {
  std::vector<CoverageEdge> edges;
  double top = 0.0, bottom = 0.0;  // its extent in lines
  double area = 0.0;               // in cells
};
CoverageZone coverage_zone(const CoveragePolygon& polygon);

// The zone's area between the lines y0 and y1 (y0 < y1, either infinite),
// in cells.
double strip_area(const CoverageZone& zone, double y0, double y1);

// The shares of cells column .. column + width - 1 of line `line` that the
// zone covers, into shares[0 .. width - 1], looking at every edge (for the
// odd line; a pass goes through CoverageSweep).
void zone_line_shares(const CoverageZone& zone, int line, int column, int width, std::vector<double>& shares);

// What a line's strip holds of one zone: the shares of the cells
// `column` .. `column + width - 1` (where its edges lie; width may be 0),
// and, in the first piece of a line, `off_cells`: its area left of column 0
// and right of the raster's last column, in cells.
using LineCover = std::function<void(std::size_t zone, int column, int width, const double* shares, double off_cells)>;

// Zones swept line after line: each line costs the edges that cross it and
// the cells between its leftmost and rightmost edge, whatever the zones'
// sizes. Memory: the zones' edges, and a line of shares.
class CoverageSweep {
 public:
  // Sweeps zones[k] for each k of `which`, from line 0; `nb_col` columns.
  void start(const std::vector<CoverageZone>& zones, std::vector<std::size_t> which, int nb_col);
  // Lines come in increasing order; a line may come again for its next
  // piece (column > 0). Calls `cover` for each zone with an edge across the
  // line, in the order of `which` as sorted by top.
  void line(int line, int column, int width, const LineCover& cover);

 private:
  struct Active {
    std::size_t zone;
    std::size_t next_edge = 0;            // the first edge not yet taken
    std::vector<std::uint32_t> edges;     // the edges that may cross the line
  };
  const std::vector<CoverageZone>* zones_ = nullptr;
  std::vector<std::size_t> waiting_;      // by top, from next_zone_ on
  std::size_t next_zone_ = 0;
  std::vector<Active> active_;
  int nb_col_ = 0;
  int last_line_ = -1;
  std::vector<CoverageEdge> pieces_;      // the edges across the line, cut to it
  std::vector<double> shares_;
  std::vector<std::pair<int, double>> steps_;  // where the cells' running sum changes
};
