#include "coverage.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// One edge cut to a line's strip, from (xa, ya) to (xb, yb).
struct Piece {
  double xa, ya, xb, yb;

  // The integral of min(x - X, 0) dy along it.
  double left_of(double X) const {
    const double dy = yb - ya;
    const double lo = std::min(xa, xb), hi = std::max(xa, xb);
    if (X <= lo) return 0.0;
    if (X >= hi) return (0.5 * (xa + xb) - X) * dy;
    // x crosses X at the fraction t of the piece: the part left of X is a
    // triangle between the piece and the line x = X.
    const double t = (X - xa) / (xb - xa);
    return xa < X ? 0.5 * (xa - X) * t * dy : 0.5 * (xb - X) * (1.0 - t) * dy;
  }
};

// Adds the piece's share to the cells of the window it spans, and -dy to
// the carry of the first cell right of it.
void add_piece(const Piece& p, int column, int width, double* shares, std::vector<double>& carry) {
  const double dy = p.yb - p.ya;
  if (dy == 0.0) return;
  const double lo = std::min(p.xa, p.xb), hi = std::max(p.xa, p.xb);
  const double first = std::max(std::floor(lo), static_cast<double>(column));
  const double end = std::min(std::ceil(hi), static_cast<double>(column) + width);  // cells first .. end - 1
  double before = p.left_of(first);
  for (double c = first; c < end; c += 1.0) {
    const double after = p.left_of(c + 1.0);
    shares[static_cast<int>(c) - column] += after - before;
    before = after;
  }
  const double right = std::max(std::ceil(hi) - column, 0.0);  // the first window cell right of the piece
  if (right < width) carry[static_cast<std::size_t>(right)] -= dy;
}

}  // namespace

double ring_area(const Ring& ring) {
  const std::size_t n = ring.x.size();
  if (n < 3) return 0.0;
  // x taken from the first vertex's: the same sum (the dy of a closed ring
  // add up to 0), with smaller terms.
  const double x0 = ring.x[0];
  double area = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    const std::size_t j = i + 1 == n ? 0 : i + 1;
    area += 0.5 * ((ring.x[i] - x0) + (ring.x[j] - x0)) * (ring.y[j] - ring.y[i]);
  }
  return area;
}

CoveragePolygon oriented_polygon(std::vector<Ring> outer, std::vector<Ring> holes) {
  CoveragePolygon p;
  p.top = std::numeric_limits<double>::infinity(), p.bottom = -p.top;
  for (auto* rings : {&outer, &holes}) {
    for (Ring& ring : *rings) {
      const double area = ring_area(ring);
      if (area == 0.0) continue;
      if ((area < 0.0) == (rings == &outer)) {
        std::reverse(ring.x.begin(), ring.x.end());
        std::reverse(ring.y.begin(), ring.y.end());
      }
      for (const double y : ring.y) p.top = std::min(p.top, y), p.bottom = std::max(p.bottom, y);
      p.rings.push_back(std::move(ring));
    }
  }
  return p;
}

void line_shares(const CoveragePolygon& polygon, int line, int column, int width, double* shares,
                 std::vector<double>& carry) {
  std::fill(shares, shares + width, 0.0);
  const double y0 = line, y1 = line + 1.0;
  if (polygon.bottom <= y0 || polygon.top >= y1) return;
  carry.assign(static_cast<std::size_t>(width) + 1, 0.0);
  for (const Ring& ring : polygon.rings) {
    const std::size_t n = ring.x.size();
    for (std::size_t i = 0; i < n; ++i) {
      const std::size_t j = i + 1 == n ? 0 : i + 1;
      const double xa = ring.x[i], ya = ring.y[i], xb = ring.x[j], yb = ring.y[j];
      if (ya == yb || std::max(ya, yb) <= y0 || std::min(ya, yb) >= y1) continue;
      // The edge cut to the strip, its ends computed from the edge's own
      // ends (so that an edge's pieces in two strips meet exactly).
      auto x_at = [&](double y) { return xa + (xb - xa) * ((y - ya) / (yb - ya)); };
      const double ys = std::clamp(ya, y0, y1), ye = std::clamp(yb, y0, y1);
      add_piece({ys == ya ? xa : x_at(ys), ys, ye == yb ? xb : x_at(ye), ye}, column, width, shares, carry);
    }
  }
  double running = 0.0;
  for (int k = 0; k < width; ++k) {
    running += carry[static_cast<std::size_t>(k)];
    shares[k] = std::clamp(shares[k] + running, 0.0, 1.0);
  }
}
