// The one rule by which a zone's cells count, for the one-zone pass and the
// table of every zone alike, whatever the mask's cell type. No files, no
// console.
//
// A cell of the zone is counted once: without data (its altitude is the
// DEM's no-data marker), left out of the volume; on the raster's outer
// frame, left out of the volume too; else in full, or half on the zone's
// edge (a neighbour above, right, below or left outside the zone). With
// `whole_cells`, every cell with data counts in full, frame and edge too.
// The volume is summed over the counted cells in their order: altitude x
// cell area, halved on the edge; so are the base volumes, the storage
// curve's sums and the change against a reference surface (DEM - REF of
// each such cell where the reference has data), with the same weights.
#pragma once

#include <algorithm>
#include <cmath>
#include <optional>

#include "zone.h"

// Where a line (or a piece of one) lies, and what is summed over it.
struct LineRule {
  bool frame_line = false;            // the raster's first or last line
  int first_column = 0, last_column = 0;  // the frame's columns, in the piece's terms
  const RasterGeometry* geometry = nullptr;  // the no-data marker
  double surf_pix = 0.0;              // the area of the line's cells, m2
  ZoneSums sums;                      // what is summed besides the counts
  // The extremes of every cell, data or not, and whether one is no number
  // (what a raw result's fit check needs; the table does without).
  bool all_cells = true;
  // A polygon zone: the share of a cell a result keeps (the extremes of
  // every cell are of those).
  double min_share = 0.5;
  // The zone's number among the percentiles' searches (sums.percentiles).
  std::size_t zone = 0;

  // The zone's first bins of its keys, or null.
  std::uint32_t* key_bins() const { return sums.percentiles != nullptr ? sums.percentiles->first_bins(zone) : nullptr; }
};

// The value a result holds for a cell (its altitude, or with a difference
// DEM - REF), into the extremes of every cell; with a difference, the cells
// it marks as without data for the reference's sake, and those it cannot
// tell from them.
struct HeldCells {
  bool has_nan;
  double lowest, highest;
  long long gaps = 0, hidden = 0;

  void add(double a, const double* reference, int j, const LineRule& rule, const RasterGeometry* surface) {
    double held = a;
    if (surface != nullptr && rule.sums.difference) {
      held = difference_value(a, reference[j], *rule.geometry, *surface);
      const bool dem_data = !rule.geometry->no_data(a), reference_data = !surface->no_data(reference[j]);
      gaps += dem_data && !reference_data;
      hidden += dem_data && reference_data && rule.geometry->no_data(held);
    }
    has_nan = has_nan || held != held;
    lowest = std::min(lowest, held);
    highest = std::max(highest, held);
  }
};

// A cell's change against the reference surface (its altitude `r`), with
// the cell's weight in m2.
struct ChangeSums {
  double fill, cut;
  long long changed = 0, unchanged = 0, nodata_reference = 0;

  void add(double a, double r, double weight, const RasterGeometry& surface, double threshold) {
    const double change = a - r;
    if (surface.no_data(r)) {
      ++nodata_reference;
    } else if (change == 0.0 || std::fabs(change) < threshold) {
      ++unchanged;
    } else {
      ++changed;
      fill = fill + std::max(change, 0.0) * weight;
      cut = cut + std::max(-change, 0.0) * weight;
    }
  }
};

// Stores a run's extremes and change sums in the figures.
inline void take(ZoneFigures& f, const HeldCells& held, const ChangeSums& change) {
  f.has_nan = held.has_nan;
  f.lowest = held.lowest, f.highest = held.highest;
  f.difference_gaps += held.gaps, f.difference_hidden += held.hidden;
  f.fill_m3 = change.fill, f.cut_m3 = change.cut;
  f.changed_cells += change.changed, f.unchanged_cells += change.unchanged;
  f.nodata_reference_cells += change.nodata_reference;
}

// Adds the cells first .. last - 1 of a line, a run of the mask value
// mask[first], to `f`. mask[first - 1] and mask[last] are the cells beside
// the run (the piece's neighbours included), `above` and `below` the mask
// lines around it (unused on a frame line), `reference` the line of the
// reference surface (rule.sums.reference). Sums are kept in registers and
// stored once, in the cells' order.
template <class Cell, bool kAllCells>
inline void add_zone_run_as(ZoneFigures& f, const LineRule& rule, const double* altitude, const Cell* above,
                            const Cell* mask, const Cell* below, int first, int last, const double* reference) {
  const Cell c = mask[first];
  long long nodata = 0, frame = 0, full = 0, half = 0;
  HeldCells held{f.has_nan, f.lowest, f.highest};
  double data_lowest = f.data_lowest, data_highest = f.data_highest, sum = f.data_sum;
  double vol = f.vol_tot, above_base = f.above_base_m3, below_base = f.below_base_m3;
  ChangeSums change{f.fill_m3, f.cut_m3};
  const RasterGeometry* surface = reference != nullptr ? rule.sums.reference : nullptr;
  std::optional<LevelAdder> levels;
  if (rule.sums.levels != nullptr) levels.emplace(f.levels, *rule.sums.levels);
  std::uint32_t* const key_bins = rule.key_bins();
  for (int j = first; j < last; ++j) {
    const double a = altitude[j];
    if constexpr (kAllCells) held.add(a, reference, j, rule, surface);
    if (rule.geometry->no_data(a)) {
      ++nodata;
      continue;
    }
    if (key_bins != nullptr) ++key_bins[rule.sums.keys->key(a) >> rule.sums.percentiles->shift()];
    data_lowest = std::min(data_lowest, a);
    data_highest = std::max(data_highest, a);
    sum += a;
    if (!rule.sums.whole_cells && (rule.frame_line || j == rule.first_column || j == rule.last_column)) {
      ++frame;
      continue;
    }
    const bool edge = !rule.sums.whole_cells && ((j == first && mask[j - 1] != c) || (j == last - 1 && mask[j + 1] != c) ||
                                            above[j] != c || below[j] != c);
    ++(edge ? half : full);
    // (x times half the area is x times the area, halved: halving is exact.)
    if (surface != nullptr) change.add(a, reference[j], edge ? rule.surf_pix * 0.5 : rule.surf_pix, *surface, rule.sums.threshold);
    if (!rule.sums.volume) continue;
    double vol_pix = a * rule.surf_pix;
    if (edge) vol_pix = vol_pix * 0.5;
    vol = vol + vol_pix;
    if (rule.sums.base != nullptr) {
      const double base = *rule.sums.base;
      double up = std::max(a - base, 0.0) * rule.surf_pix, down = std::max(base - a, 0.0) * rule.surf_pix;
      if (edge) up = up * 0.5, down = down * 0.5;
      above_base = above_base + up;
      below_base = below_base + down;
    }
    if (levels) levels->add(a, edge ? rule.surf_pix * 0.5 : rule.surf_pix);
  }
  f.zone_cells += last - first;
  f.nodata_cells += nodata;
  f.frame_cells += frame;
  f.full_cells += full;
  f.half_cells += half;
  f.data_lowest = data_lowest, f.data_highest = data_highest, f.data_sum = sum;
  f.vol_tot = vol, f.above_base_m3 = above_base, f.below_base_m3 = below_base;
  take(f, held, change);
}

template <class Cell>
inline void add_zone_run(ZoneFigures& f, const LineRule& rule, const double* altitude, const Cell* above,
                         const Cell* mask, const Cell* below, int first, int last, const double* reference) {
  if (rule.all_cells) {
    add_zone_run_as<Cell, true>(f, rule, altitude, above, mask, below, first, last, reference);
  } else {
    add_zone_run_as<Cell, false>(f, rule, altitude, above, mask, below, first, last, reference);
  }
}

// The cells of a line of a polygon zone, each covered by the share
// shares[j] (0: not in the zone), as the rule above counts them but
// weighed by their share: a cell with any share counts once (full when
// covered whole, else partial; no_data when it has none), its covered area
// shares[j] x the cell's weighs in the volume, the area and every other sum;
// no edge, no frame. The covered area of the cells without data goes to
// area_outside_m2; data_sum sums altitude x covered area.
template <bool kAllCells>
inline void add_covered_run_as(ZoneFigures& f, const LineRule& rule, const double* altitude, const double* shares,
                               int width, const double* reference) {
  long long cells = 0, nodata = 0, full = 0, partial = 0;
  HeldCells held{f.has_nan, f.lowest, f.highest};
  double data_lowest = f.data_lowest, data_highest = f.data_highest, sum = f.data_sum;
  double vol = f.vol_tot, above_base = f.above_base_m3, below_base = f.below_base_m3;
  ChangeSums change{f.fill_m3, f.cut_m3};
  double area = f.area_m2, outside = f.area_outside_m2;
  const RasterGeometry* surface = reference != nullptr ? rule.sums.reference : nullptr;
  std::optional<LevelAdder> levels;
  if (rule.sums.levels != nullptr) levels.emplace(f.levels, *rule.sums.levels);
  std::uint32_t* const key_bins = rule.key_bins();
  for (int j = 0; j < width; ++j) {
    const double share = shares[j];
    if (share <= 0.0) continue;
    ++cells;
    ++(share >= 1.0 ? full : partial);
    const double a = altitude[j];
    if constexpr (kAllCells) {
      if (share >= rule.min_share) held.add(a, reference, j, rule, surface);
    }
    const double weight = share * rule.surf_pix;
    if (rule.geometry->no_data(a)) {
      ++nodata;
      outside = outside + weight;
      continue;
    }
    if (key_bins != nullptr) ++key_bins[rule.sums.keys->key(a) >> rule.sums.percentiles->shift()];
    data_lowest = std::min(data_lowest, a);
    data_highest = std::max(data_highest, a);
    area = area + weight;
    sum = sum + a * weight;
    if (surface != nullptr) change.add(a, reference[j], weight, *surface, rule.sums.threshold);
    if (!rule.sums.volume) continue;
    vol = vol + a * weight;
    if (rule.sums.base != nullptr) {
      const double base = *rule.sums.base;
      above_base = above_base + std::max(a - base, 0.0) * weight;
      below_base = below_base + std::max(base - a, 0.0) * weight;
    }
    if (levels) levels->add(a, weight);
  }
  f.zone_cells += cells;
  f.nodata_cells += nodata;
  f.full_cells += full;
  f.partial_cells += partial;
  f.data_lowest = data_lowest, f.data_highest = data_highest, f.data_sum = sum;
  f.vol_tot = vol, f.above_base_m3 = above_base, f.below_base_m3 = below_base;
  f.area_m2 = area, f.area_outside_m2 = outside;
  take(f, held, change);
}

inline void add_covered_run(ZoneFigures& f, const LineRule& rule, const double* altitude, const double* shares,
                            int width, const double* reference) {
  if (rule.all_cells) {
    add_covered_run_as<true>(f, rule, altitude, shares, width, reference);
  } else {
    add_covered_run_as<false>(f, rule, altitude, shares, width, reference);
  }
}
