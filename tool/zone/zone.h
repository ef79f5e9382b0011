// The zone of a mask and what is computed from it. No files, no console.
//
// The zone is the set of cells whose mask value, widened without sign to an
// int, equals `code`: a code below 0 or above 255 selects no cell.
#pragma once

inline bool in_zone(unsigned char mask_value, int code) { return static_cast<int>(mask_value) == code; }

// Every cell of the zone keeps its altitude from `dtab_in`; every other cell
// gets `val_alti`. `dtab_out` may be `dtab_in` itself.
void extract_zone(const double* const* dtab_in, const unsigned char* const* tab_mask, int nb_lig, int nb_col,
                  int code, double val_alti, double* const* dtab_out);

// A perimeter cell: an inner cell (i, j) of the zone with a neighbour above,
// right, below or left outside the zone.
inline bool on_perimeter(const unsigned char* const* tab_mask, int i, int j, int code) {
  return !in_zone(tab_mask[i - 1][j], code) || !in_zone(tab_mask[i][j + 1], code) ||
         !in_zone(tab_mask[i + 1][j], code) || !in_zone(tab_mask[i][j - 1], code);
}

// Volume of the zone in cubic metres: the sum over its inner cells, line by
// line and cell by cell, of altitude x `surf_pix`, halved for perimeter cells.
// Cells of the outer frame count nothing, though they are neighbours.
double zone_volume(const double* const* dtab_out, const unsigned char* const* tab_mask, int nb_lig, int nb_col,
                   int code, double surf_pix);
