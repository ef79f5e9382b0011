// The zone of a mask and what is computed from it, one line at a time. No
// files, no console.
//
// The zone is the set of cells whose mask value, widened without sign to an
// int, equals `code`: a code below 0 or above 255 selects no cell.
#pragma once

#include <algorithm>
#include <limits>
#include <vector>

#include "levels.h"
#include "percentiles.h"
#include "raster/geometry.h"

inline bool in_zone(unsigned char mask_value, int code) { return static_cast<int>(mask_value) == code; }

// A line of the result: every cell of the zone keeps its altitude; every
// other cell gets `val_alti`. `out` may be `altitude` itself.
void extract_line(const double* altitude, const unsigned char* mask, int nb_col, int code, double val_alti,
                  double* out);

// What the whole zone is. Its cells are counted once each: those on the
// raster's outer frame, left out of the volume; inner ones counted in full,
// or half on the zone's edge (a neighbour above, right, below or left
// outside the zone); and those without data, left out too.
struct ZoneFigures {
  double vol_tot = 0.0;       // cubic metres: the volume, when it was asked for
  long long zone_cells = 0;   // cells of the zone: full + half + frame + no_data
  long long full_cells = 0;
  long long half_cells = 0;
  long long frame_cells = 0;  // on the frame, with data
  long long nodata_cells = 0; // without data, wherever they lie
  long long partial_cells = 0;  // a polygon zone's cells covered in part (full: covered whole)
  long long other_cells = 0;  // cells outside the zone, which get the hypsometric value
  // Altitudes of every cell of the zone, as a raw result stores them (cells
  // that are no number aside).
  double lowest = std::numeric_limits<double>::infinity();
  double highest = -std::numeric_limits<double>::infinity();
  bool has_nan = false;       // a cell of the zone holds no number
  // Altitudes of the zone's cells with data.
  double data_lowest = std::numeric_limits<double>::infinity();
  double data_highest = -std::numeric_limits<double>::infinity();
  double data_sum = 0.0;
  double area_m2 = 0.0;       // the zone's area as the volume counts it: full cells once, edge cells half
  // A polygon zone: its area off the DEM or on cells without data (its
  // data_sum is of altitude x covered area).
  double area_outside_m2 = 0.0;
  // With a base level: the volumes above and below it, with the volume's
  // cells and weights (positive numbers).
  double above_base_m3 = 0.0, below_base_m3 = 0.0;
  // With levels: the sums of the zone's storage curve.
  LevelSums levels;
  // With a reference surface, over the cells that count in the volume, with
  // its weights: the volumes of DEM - REF above 0 (fill) and below (cut,
  // positive) where it is not below the threshold; the cells so changed, the
  // cells unchanged, and the cells where the reference has no data.
  double fill_m3 = 0.0, cut_m3 = 0.0;
  long long changed_cells = 0, unchanged_cells = 0, nodata_reference_cells = 0;
  // With a difference result: the zone's cells where the DEM has data and
  // the reference none, which the result marks as without data; and those
  // where DEM - REF is the DEM's no-data marker, which it could not tell
  // from them.
  long long difference_gaps = 0, difference_hidden = 0;
  // With percentiles: the altitude at each (no number when the zone has no
  // cell with data).
  std::vector<double> percentiles;

  long long data_cells() const { return zone_cells - nodata_cells; }
  // The zone's cells the result marks as without data.
  long long marked_cells() const { return nodata_cells + difference_gaps; }
};

// What a pass sums over a zone's cells besides their counts and extremes.
struct ZoneSums {
  bool volume = true;                           // the volume
  const double* base = nullptr;                 // the volumes above and below this level
  bool whole_cells = false;                     // every cell with data weighs in full
  const Levels* levels = nullptr;               // the storage curve at these levels
  // The reference surface's no-data marker, when there is one: the change
  // between the surfaces, below `threshold` metres none; with `difference`,
  // the extremes are of DEM - REF (what a difference result holds).
  const RasterGeometry* reference = nullptr;
  double threshold = 0.0;
  bool difference = false;
  // With percentiles: the first pass's bins of each zone's keys.
  KeySelection* percentiles = nullptr;
  const AltitudeKeys* keys = nullptr;
};

// Adds one line of the DEM to the figures, or a piece of it: `width` cells
// from column `column` of a raster of `nb_col` columns. `above` and `below`
// are the mask lines around it, null for the first and last lines; mask[-1]
// and mask[width] are the cells beside the piece, where the raster has them.
// The volume (when sums.volume) is summed over the inner lines in order, and
// in each over the inner cells in order: every cell of the zone with data
// adds altitude x `surf_pix`, or half of it on the zone's edge. With
// sums.whole_cells, every cell of the zone with data adds it whole, on the
// edge and the frame too, and counts as full (the plain zonal sum).
// `reference` is the same cells of the reference surface (sums.reference).
void add_zone_line(ZoneFigures& figures, const double* altitude, const unsigned char* above, const unsigned char* mask,
                   const unsigned char* below, int column, int width, int nb_col, int code,
                   const RasterGeometry& geometry, double surf_pix, const ZoneSums& sums,
                   const double* reference = nullptr);

// The value a difference result holds for a cell of the zone: DEM - REF,
// or the DEM's no-data marker where either has no data.
inline double difference_value(double altitude, double reference, const RasterGeometry& dem,
                               const RasterGeometry& surface) {
  if (dem.no_data(altitude)) return altitude;
  return surface.no_data(reference) ? dem.nodata : altitude - reference;
}
// A line of a difference result: the zone's cells hold difference_value.
void difference_line(double* altitude, const double* reference, const unsigned char* mask, int width, int code,
                     const RasterGeometry& dem, const RasterGeometry& surface);

// A line of a grid result: the cells of the zone without data get `marker`.
void mark_no_data(double* line, const unsigned char* mask, int nb_col, int code, const RasterGeometry& geometry,
                  double marker);
