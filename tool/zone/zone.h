// The zone of a mask and what is computed from it. No files, no console.
//
// The zone is the set of cells whose mask value, widened without sign to an
// int, equals `code`: a code below 0 or above 255 selects no cell.
#pragma once

inline bool in_zone(unsigned char mask_value, int code) { return static_cast<int>(mask_value) == code; }

// Every cell of the zone keeps its altitude from `dtab_in`; every other cell
// gets `val_alti`.
void extract_zone(const double* const* dtab_in, const unsigned char* const* tab_mask, int nb_lig, int nb_col,
                  int code, double val_alti, double* const* dtab_out);

// Marks in `tab_perim` the inner cells of the zone that have a neighbour
// (above, right, below, left) outside it with 1, and every other cell with 255.
void mark_perimeter(const unsigned char* const* tab_mask, int nb_lig, int nb_col, int code,
                    unsigned char* const* tab_perim);

// Volume of the zone in cubic metres: the sum over its inner cells, line by
// line, of altitude x `surf_pix`, halved for perimeter cells. Cells of the
// outer frame count nothing.
double zone_volume(const double* const* dtab_out, const unsigned char* const* tab_mask,
                   const unsigned char* const* tab_perim, int nb_lig, int nb_col, int code, double surf_pix);
