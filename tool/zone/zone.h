// The zone of a mask and what is computed from it, one line at a time. No
// files, no console.
//
// The zone is the set of cells whose mask value, widened without sign to an
// int, equals `code`: a code below 0 or above 255 selects no cell.
#pragma once

#include <limits>

inline bool in_zone(unsigned char mask_value, int code) { return static_cast<int>(mask_value) == code; }

// A line of the result: every cell of the zone keeps its altitude; every
// other cell gets `val_alti`. `out` may be `altitude` itself.
void extract_line(const double* altitude, const unsigned char* mask, int nb_col, int code, double val_alti,
                  double* out);

// What the whole zone is: its volume and the range of the result.
struct ZoneFigures {
  double vol_tot = 0.0;     // cubic metres: the volume, when it was asked for
  long long zone_cells = 0;   // cells of the zone
  long long other_cells = 0;  // cells outside it, which get the hypsometric value
  double lowest = std::numeric_limits<double>::infinity();    // altitudes of the zone's cells
  double highest = -std::numeric_limits<double>::infinity();  // (cells that are no number aside)
  bool has_nan = false;       // a cell of the zone holds no number
};

// Counts the zone's cells of a line and their altitudes into `figures`.
void add_line_figures(ZoneFigures& figures, const double* altitude, const unsigned char* mask, int nb_col, int code);

// The volume: over the inner lines (1 .. lines - 2) in order, and in each over
// the inner cells (1 .. nb_col - 2) in order, every cell of the zone adds
// altitude x `surf_pix`, or half of it when it is on the zone's edge (a
// neighbour above, right, below or left outside the zone). Cells of the outer
// frame count nothing, though they are neighbours. Returns vol_tot plus the
// line's cells, added one at a time.
double add_line_volume(double vol_tot, const double* altitude, const unsigned char* above, const unsigned char* mask,
                       const unsigned char* below, int nb_col, int code, double surf_pix);
