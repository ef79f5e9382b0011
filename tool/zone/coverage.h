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
// `carry` is room for width + 1 values.
void line_shares(const CoveragePolygon& polygon, int line, int column, int width, double* shares,
                 std::vector<double>& carry);
