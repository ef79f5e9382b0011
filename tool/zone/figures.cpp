#include "figures.h"

#include <cmath>
#include <cstring>
#include <stdexcept>

#include "number_text.h"

namespace {

bool always(const FigureChoices&) { return true; }
bool with_base(const FigureChoices& c) { return c.base.has_value(); }
bool with_reference(const FigureChoices& c) { return c.reference; }
bool with_polygons(const FigureChoices& c) { return c.polygons; }
bool with_percentiles(const FigureChoices& c) { return !c.percentiles.empty(); }

std::optional<double> count(long long n) { return static_cast<double>(n); }
// A figure of the volume, when it was computed.
std::optional<double> if_volume(const FigureChoices& c, double v) { return c.volume ? std::optional(v) : std::nullopt; }
// A figure of the altitudes, when a cell has data.
std::optional<double> if_data(const ZoneFigures& z, double v) { return z.data_cells() > 0 ? std::optional(v) : std::nullopt; }

const std::vector<Figure> kFigures = {
    {"cells", true, always, [](const ZoneFigures& z, const FigureChoices&) { return count(z.zone_cells); }, true},
    {"full", true, always, [](const ZoneFigures& z, const FigureChoices&) { return count(z.full_cells); }, true},
    {"partial", true, with_polygons,
     [](const ZoneFigures& z, const FigureChoices&) { return count(z.partial_cells); }, true},
    {"half", true, always, [](const ZoneFigures& z, const FigureChoices&) { return count(z.half_cells); }, true},
    {"frame", true, always, [](const ZoneFigures& z, const FigureChoices&) { return count(z.frame_cells); }, true},
    {"no_data", true, always, [](const ZoneFigures& z, const FigureChoices&) { return count(z.nodata_cells); }, true},
    {"area_m2", false, always, [](const ZoneFigures& z, const FigureChoices&) { return std::optional(z.area_m2); }, true},
    {"area_outside_m2", false, with_polygons,
     [](const ZoneFigures& z, const FigureChoices&) { return std::optional(z.area_outside_m2); }, false},
    {"volume_m3", false, always, [](const ZoneFigures& z, const FigureChoices& c) { return if_volume(c, z.vol_tot); },
     true},
    {"min_m", false, always, [](const ZoneFigures& z, const FigureChoices&) { return if_data(z, z.data_lowest); }, true},
    {"max_m", false, always, [](const ZoneFigures& z, const FigureChoices&) { return if_data(z, z.data_highest); },
     true},
    {"mean_m", false, always,
     [](const ZoneFigures& z, const FigureChoices& c) {
       // A polygon zone's mean is weighted by the covered area of its cells.
       if (c.polygons) return z.area_m2 > 0.0 ? std::optional(z.data_sum / z.area_m2) : std::nullopt;
       return if_data(z, z.data_sum / static_cast<double>(z.data_cells()));
     },
     true},
    {"above_base_m3", false, with_base,
     [](const ZoneFigures& z, const FigureChoices& c) { return if_volume(c, z.above_base_m3); }, true},
    {"below_base_m3", false, with_base,
     [](const ZoneFigures& z, const FigureChoices& c) { return if_volume(c, z.below_base_m3); }, true},
    {"fill_m3", false, with_reference,
     [](const ZoneFigures& z, const FigureChoices& c) { return if_volume(c, z.fill_m3); }, false},
    {"cut_m3", false, with_reference,
     [](const ZoneFigures& z, const FigureChoices& c) { return if_volume(c, z.cut_m3); }, false},
    {"net_m3", false, with_reference,
     [](const ZoneFigures& z, const FigureChoices& c) { return if_volume(c, z.fill_m3 - z.cut_m3); }, false},
    {"changed_cells", true, with_reference,
     [](const ZoneFigures& z, const FigureChoices&) { return count(z.changed_cells); }, false},
    {"unchanged_cells", true, with_reference,
     [](const ZoneFigures& z, const FigureChoices&) { return count(z.unchanged_cells); }, false},
    {"no_data_reference", true, with_reference,
     [](const ZoneFigures& z, const FigureChoices&) { return count(z.nodata_reference_cells); }, false},
    // (mean - min) / (max - min), the mean weighted as the volume weighs
    // the cells: the volume over the area.
    {"hypsometric_integral", false, with_percentiles,
     [](const ZoneFigures& z, const FigureChoices& c) -> std::optional<double> {
       if (!c.volume || z.data_cells() == 0 || !(z.area_m2 > 0.0) || !(z.data_highest > z.data_lowest)) return std::nullopt;
       return (z.vol_tot / z.area_m2 - z.data_lowest) / (z.data_highest - z.data_lowest);
     },
     false},
};

}  // namespace

const std::vector<Figure>& zone_figures() { return kFigures; }

const Figure& zone_figure(const char* name) {
  for (const Figure& f : kFigures) {
    if (std::strcmp(f.name, name) == 0) return f;
  }
  throw std::logic_error(std::string("no figure is named ") + name);
}

std::string figure_text(const Figure& figure, const ZoneFigures& z, const FigureChoices& choices, bool json) {
  const std::optional<double> v = figure.value(z, choices);
  if (!v || (json && !std::isfinite(*v))) return json ? "null" : "";
  if (figure.whole) return std::to_string(static_cast<long long>(*v));
  return shortest_text(*v);
}

std::vector<Column> figure_columns(const FigureChoices& choices) {
  std::vector<Column> columns;
  for (const Figure& f : kFigures) {
    if (f.shown(choices)) columns.push_back({f.name, &f, 0});
  }
  for (std::size_t k = 0; k < choices.percentiles.size(); ++k) {
    columns.push_back({"p" + choices.percentiles[k] + "_m", nullptr, k});
  }
  return columns;
}

std::string column_text(const Column& column, const ZoneFigures& z, const FigureChoices& choices, bool json) {
  if (column.figure != nullptr) return figure_text(*column.figure, z, choices, json);
  const double v = column.percentile < z.percentiles.size() ? z.percentiles[column.percentile] : NAN;
  if (!std::isfinite(v) && (json || v != v)) return json ? "null" : "";
  return shortest_text(v);
}
