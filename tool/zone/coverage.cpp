#include "coverage.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// One edge cut to a line's strip, from (xa, ya) to (xb, yb).
using Piece = CoverageEdge;
// Where the running sum of the cells right of an edge changes, and by how much.
using Steps = std::vector<std::pair<int, double>>;

// The integral of min(x - X, 0) dy along a piece.
double left_of(const Piece& p, double X) {
  const double dy = p.yb - p.ya;
  const double lo = std::min(p.xa, p.xb), hi = std::max(p.xa, p.xb);
  if (X <= lo) return 0.0;
  if (X >= hi) return (0.5 * (p.xa + p.xb) - X) * dy;
  // x crosses X at the fraction t of the piece: the part left of X is a
  // triangle between the piece and the line x = X.
  const double t = (X - p.xa) / (p.xb - p.xa);
  return p.xa < X ? 0.5 * (p.xa - X) * t * dy : 0.5 * (p.xb - X) * (1.0 - t) * dy;
}

// Adds the piece's share to the cells of the window it spans, and -dy to
// the cells from the first cell right of it on (a step).
void add_piece(const Piece& p, int column, int width, double* shares, Steps& steps) {
  const double dy = p.yb - p.ya;
  if (dy == 0.0) return;
  const double lo = std::min(p.xa, p.xb), hi = std::max(p.xa, p.xb);
  const double first = std::max(std::floor(lo), static_cast<double>(column));
  const double end = std::min(std::ceil(hi), static_cast<double>(column) + width);  // cells first .. end - 1
  double before = left_of(p, first);
  for (double c = first; c < end; c += 1.0) {
    const double after = left_of(p, c + 1.0);
    shares[static_cast<int>(c) - column] += after - before;
    before = after;
  }
  const double right = std::max(std::ceil(hi) - column, 0.0);  // the first window cell right of the piece
  if (right < width) steps.emplace_back(static_cast<int>(right), -dy);
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

namespace {

// The edge from (xa, ya) to (xb, yb) cut to the strip of lines y0 .. y1,
// its ends computed from the edge's own ends (so that an edge's pieces in
// two strips meet exactly).
Piece cut(double xa, double ya, double xb, double yb, double y0, double y1) {
  auto x_at = [&](double y) { return xa + (xb - xa) * ((y - ya) / (yb - ya)); };
  const double ys = std::clamp(ya, y0, y1), ye = std::clamp(yb, y0, y1);
  return {ys == ya ? xa : x_at(ys), ys, ye == yb ? xb : x_at(ye), ye};
}

// The shares of a window of a line from the pieces of the edges across it.
void pieces_shares(const std::vector<Piece>& pieces, int column, int width, double* shares, Steps& steps) {
  std::fill(shares, shares + width, 0.0);
  steps.clear();
  for (const Piece& p : pieces) add_piece(p, column, width, shares, steps);
  // The steps in order along the line; between two, every cell gets the
  // same sum (a loop without a chain of additions).
  std::stable_sort(steps.begin(), steps.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  double running = 0.0;
  int k = 0;
  auto up_to = [&](int end) {
    for (; k < end; ++k) shares[k] = std::min(std::max(shares[k] + running, 0.0), 1.0);
  };
  for (const auto& [at, dy] : steps) {
    up_to(at);
    running += dy;
  }
  up_to(width);
}

// The area of the pieces' strip left of x = 0 and right of x = right: by
// the same theorem, the integrals of min(x, 0) dy and of max(x - right, 0) dy.
double off_columns(const std::vector<Piece>& pieces, double right) {
  double off = 0.0;
  for (const Piece& p : pieces) {
    if (std::min(p.xa, p.xb) < 0.0) off += left_of(p, 0.0);
    if (std::max(p.xa, p.xb) > right) off += (0.5 * (p.xa + p.xb) - right) * (p.yb - p.ya) - left_of(p, right);
  }
  return off;
}

// The window [from, to) of cells the pieces span within column .. end.
std::pair<int, int> span(const std::vector<Piece>& pieces, int column, int end) {
  double lo = std::numeric_limits<double>::infinity(), hi = -lo;
  for (const Piece& p : pieces) lo = std::min({lo, p.xa, p.xb}), hi = std::max({hi, p.xa, p.xb});
  const int from = static_cast<int>(std::clamp(std::floor(lo), static_cast<double>(column), static_cast<double>(end)));
  const int to = static_cast<int>(std::clamp(std::ceil(hi), static_cast<double>(from), static_cast<double>(end)));
  return {from, to};
}

}  // namespace

void line_shares(const CoveragePolygon& polygon, int line, int column, int width, double* shares) {
  std::fill(shares, shares + width, 0.0);
  const double y0 = line, y1 = line + 1.0;
  if (polygon.bottom <= y0 || polygon.top >= y1) return;
  std::vector<Piece> pieces;
  for (const Ring& ring : polygon.rings) {
    const std::size_t n = ring.x.size();
    for (std::size_t i = 0; i < n; ++i) {
      const std::size_t j = i + 1 == n ? 0 : i + 1;
      const double ya = ring.y[i], yb = ring.y[j];
      if (ya == yb || std::max(ya, yb) <= y0 || std::min(ya, yb) >= y1) continue;
      pieces.push_back(cut(ring.x[i], ya, ring.x[j], yb, y0, y1));
    }
  }
  Steps steps;
  pieces_shares(pieces, column, width, shares, steps);
}

CoverageZone coverage_zone(const CoveragePolygon& polygon) {
  CoverageZone zone;
  zone.top = polygon.top, zone.bottom = polygon.bottom;
  std::size_t edges = 0;
  for (const Ring& ring : polygon.rings) edges += ring.x.size();
  zone.edges.reserve(edges);
  for (const Ring& ring : polygon.rings) {
    zone.area += ring_area(ring);
    const std::size_t n = ring.x.size();
    for (std::size_t i = 0; i < n; ++i) {
      const std::size_t j = i + 1 == n ? 0 : i + 1;
      if (ring.y[i] != ring.y[j]) zone.edges.push_back({ring.x[i], ring.y[i], ring.x[j], ring.y[j]});
    }
  }
  std::stable_sort(zone.edges.begin(), zone.edges.end(),
                   [](const CoverageEdge& a, const CoverageEdge& b) { return a.top() < b.top(); });
  return zone;
}

double strip_area(const CoverageZone& zone, double y0, double y1) {
  if (zone.edges.empty()) return 0.0;
  const double x0 = zone.edges.front().xa;  // smaller terms, the same sum
  double area = 0.0;
  for (const CoverageEdge& e : zone.edges) {
    if (e.top() >= y1) break;
    if (e.bottom() <= y0) continue;
    const Piece p = cut(e.xa, e.ya, e.xb, e.yb, y0, y1);
    area += (0.5 * (p.xa + p.xb) - x0) * (p.yb - p.ya);
  }
  return area;
}

void zone_line_shares(const CoverageZone& zone, int line, int column, int width, std::vector<double>& shares) {
  const double y0 = line, y1 = line + 1.0;
  std::vector<Piece> pieces;
  for (const CoverageEdge& e : zone.edges) {
    if (e.top() >= y1) break;
    if (e.bottom() > y0) pieces.push_back(cut(e.xa, e.ya, e.xb, e.yb, y0, y1));
  }
  shares.assign(static_cast<std::size_t>(width), 0.0);
  Steps steps;
  const auto [from, to] = span(pieces, column, column + width);
  if (to > from) pieces_shares(pieces, from, to - from, shares.data() + (from - column), steps);
}

void CoverageSweep::start(const std::vector<CoverageZone>& zones, std::vector<std::size_t> which, int nb_col) {
  zones_ = &zones;
  std::stable_sort(which.begin(), which.end(), [&](std::size_t a, std::size_t b) { return zones[a].top < zones[b].top; });
  waiting_ = std::move(which);
  next_zone_ = 0;
  active_.clear();
  nb_col_ = nb_col;
  last_line_ = std::numeric_limits<int>::min();
}

void CoverageSweep::line(int line, int column, int width, const LineCover& cover) {
  const std::vector<CoverageZone>& zones = *zones_;
  const double y0 = line, y1 = line + 1.0;
  if (line != last_line_) {
    // The zones and edges that reach the line come in; those above it go.
    while (next_zone_ < waiting_.size() && zones[waiting_[next_zone_]].top < y1) {
      active_.push_back(Active{waiting_[next_zone_++], 0, {}});
    }
    std::erase_if(active_, [&](const Active& a) { return zones[a.zone].bottom <= y0; });
    for (Active& a : active_) {
      const std::vector<CoverageEdge>& edges = zones[a.zone].edges;
      while (a.next_edge < edges.size() && edges[a.next_edge].top() < y1) {
        a.edges.push_back(static_cast<std::uint32_t>(a.next_edge++));
      }
      std::erase_if(a.edges, [&](std::uint32_t k) { return edges[k].bottom() <= y0; });
    }
    last_line_ = line;
  }
  for (const Active& a : active_) {
    const std::vector<CoverageEdge>& edges = zones[a.zone].edges;
    pieces_.clear();
    for (const std::uint32_t k : a.edges) {
      const CoverageEdge& e = edges[k];
      if (e.top() < y1) pieces_.push_back(cut(e.xa, e.ya, e.xb, e.yb, y0, y1));
    }
    if (pieces_.empty()) continue;
    const auto [from, to] = span(pieces_, column, column + width);
    shares_.resize(static_cast<std::size_t>(to - from));
    if (to > from) pieces_shares(pieces_, from, to - from, shares_.data(), steps_);
    cover(a.zone, from, to - from, shares_.data(), column == 0 ? off_columns(pieces_, nb_col_) : 0.0);
  }
}
