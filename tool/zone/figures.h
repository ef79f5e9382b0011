// The figures of a zone as one table: each a column of the table of every
// zone (CSV and JSON, under its name) and a value of the one-zone report,
// read from the zone's sums in one place. A new figure is one sum in
// ZoneFigures (zone.h) and one row here; the CSV, the table's JSON and the
// report follow.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "zone.h"

// What the run asked for, which some figures depend on.
struct FigureChoices {
  bool volume = true;              // the volume was computed
  std::optional<double> base;      // the volumes above and below a base level
  bool reference = false;          // the change against a reference surface
  bool polygons = false;           // zones of polygons, which cover cells by a share
  std::vector<std::string> percentiles;  // the percentiles of the altitudes, as given
};

struct Figure {
  const char* name;  // the column of the CSV, the key of the table's JSON (and of the report's top level)
  bool whole;        // a count (written as a whole number) or a real
  // Whether the figure is in the run's table at all (the base volumes come
  // with --base only).
  bool (*shown)(const FigureChoices&);
  // Its value for a zone; none when it has none (an empty CSV field, null
  // in JSON): the volume not asked, no cell with data.
  std::optional<double> (*value)(const ZoneFigures&, const FigureChoices&);
  // The report lays it out in its own place (in "zone_cells", "altitude_m"...);
  // a figure without one goes at the report's top level under its name.
  bool laid_out_by_report;
};

// Every figure, in the order of the table's columns (after "code").
const std::vector<Figure>& zone_figures();
// The figure of that name; it must be one.
const Figure& zone_figure(const char* name);

// A figure's value as text: a count in decimals, a real in its shortest
// exact form; none as "" (CSV) or "null" (JSON, which also writes a real
// that is not finite as null).
std::string figure_text(const Figure& figure, const ZoneFigures& z, const FigureChoices& choices, bool json);

// A column of the table (and a value of the report): a figure, or the
// altitude at a percentile (`p` + the percentile as given + `_m`: p2.5_m),
// after every figure.
struct Column {
  std::string name;
  const Figure* figure = nullptr;  // none: percentile
  std::size_t percentile = 0;
  bool laid_out_by_report() const { return figure != nullptr && figure->laid_out_by_report; }
};
// The run's columns, in order.
std::vector<Column> figure_columns(const FigureChoices& choices);
std::string column_text(const Column& column, const ZoneFigures& z, const FigureChoices& choices, bool json);
