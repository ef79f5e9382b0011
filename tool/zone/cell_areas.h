// The area of a DEM's cells, in square metres: the same for every cell of a
// projected raster (its width times its height), and for a raster in degrees
// the true area of each cell on the ellipsoid, which depends on its line.
#pragma once

struct CellAreas {
  double planar_m2 = 0.0;   // every cell's area, when not ellipsoidal
  bool ellipsoidal = false;
  // Ellipsoidal: the latitude of line 0's northern edge, a line's height and
  // a cell's width, in degrees; the ellipsoid's semi-major axis in metres and
  // its squared eccentricity.
  double north_deg = 0.0, line_deg = 0.0, column_deg = 0.0;
  double semi_major_m = 0.0, eccentricity2 = 0.0;

  // The area of a cell of line `line`: on the ellipsoid, that of its band of
  // latitude between its two meridians, exactly.
  double of_line(int line) const;
};
