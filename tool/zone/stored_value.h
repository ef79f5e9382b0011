// Altitudes as the integers of a raw raster.
#pragma once

#include <algorithm>
#include <cmath>

// The stored integer of `product` (altitude x coef): truncated toward zero,
// except that a product within 1e-9 x max(1, |product|) of a whole number is
// that whole number. So 0.29 m x 100, which is a hair below 29 in doubles,
// stores 29: a value loaded from a raster is written back unchanged.
inline double stored_value(double product) {
  const double nearest = std::nearbyint(product);
  if (std::fabs(product - nearest) <= 1e-9 * std::max(1.0, std::fabs(product))) return nearest;
  return std::trunc(product);
}
