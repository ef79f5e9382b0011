#include "cell_areas.h"

#include <cmath>
#include <numbers>

#include "correctly_rounded.h"

namespace {

// The authalic function q(phi): the area of the ellipsoid between the
// equator and latitude phi, over one radian of longitude, is b^2 q(phi) / 2.
// Its sine and logarithm are rounded correctly, not by the C library, so
// that a cell's area has the same bits on every system.
double authalic(double phi, double e2) {
  const double s = rounded_sin(phi);
  if (e2 == 0.0) return 2.0 * s;
  const double e = std::sqrt(e2);
  return (1.0 - e2) * (s / (1.0 - e2 * s * s) + rounded_log((1.0 + e * s) / (1.0 - e * s)) / (2.0 * e));
}

}  // namespace

double CellAreas::of_line(int line) const {
  if (!ellipsoidal) return planar_m2;
  const double radians = std::numbers::pi / 180.0;
  const double north = (north_deg - line * line_deg) * radians;
  const double south = (north_deg - (line + 1) * line_deg) * radians;
  const double a2 = semi_major_m * semi_major_m;
  // a^2 (1 - e^2) (q(north) - q(south)) / (2 (1 - e^2)) x longitude span: the
  // (1 - e^2) of b^2 is inside authalic().
  return std::fabs(a2 * (authalic(north, eccentricity2) - authalic(south, eccentricity2)) / 2.0 * column_deg * radians);
}
