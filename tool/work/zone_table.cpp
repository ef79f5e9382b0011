// The table of every zone of the mask: one pass over the DEM and the mask,
// then the table as CSV or JSON, put in place whole.
//
//   code,cells,full,half,frame,no_data,area_m2,volume_m3,min_m,max_m,mean_m[,above_base_m3,below_base_m3]
//       [,fill_m3,cut_m3,net_m3,changed_cells,unchanged_cells,no_data_reference]
//   1,875,623,252,0,0,6066900,5953239180,920,1074,974.5529142857141
#include <algorithm>
#include <cmath>
#include <unordered_map>
#include <iostream>

#include "fatal.h"
#include "files/formats.h"
#include "files/output_file.h"
#include "number_text.h"
#include "raster/bands.h"
#include "text.h"
#include "version.h"
#include "work.h"
#include "zone/figures.h"
#include "zone/zone_table.h"

namespace {

template <class Cell>
const Cell* cells_of(const unsigned char* line) {
  return reinterpret_cast<const Cell*>(line);
}

// One band's lines added to the table, its mask cells being of type Cell.
template <class Cell>
void add_band(ZoneTable& table, const Run& run, const Band& band) {
  const RasterGeometry& g = run.geometry();
  const CellAreas& areas = run.dem_facts().areas;
  const ZoneSums sums = zone_sums(run);
  for (int k = 0; k < band.count; ++k) {
    const int line = band.first + k;
    const bool inner = line >= 1 && line <= g.nb_lig - 2;
    const double surf_pix = areas.of_line(line);
    add_table_line<Cell>(table, band.altitude[k], inner ? cells_of<Cell>(band.mask[k - 1]) : nullptr,
                         cells_of<Cell>(band.mask[k]), inner ? cells_of<Cell>(band.mask[k + 1]) : nullptr,
                         band.column, band.width, g.nb_col, g, surf_pix, sums, areas.ellipsoidal,
                         band.reference != nullptr ? band.reference[k] : nullptr);
    if (areas.ellipsoidal) end_table_line(table, surf_pix);
  }
}

// Room for every value a band's mask cells hold.
void make_room(ZoneTable& table, std::size_t values) {
  if (table.figures.size() >= values) return;
  table.figures.resize(values);
  table.line_full.resize(values);
  table.line_half.resize(values);
}

// The codes of the rows: those asked for, or `present`, increasing.
std::vector<long long> row_codes(const Run& run, std::vector<long long> present) {
  std::vector<long long> codes = run.job.table->codes ? *run.job.table->codes : std::move(present);
  std::sort(codes.begin(), codes.end());
  codes.erase(std::unique(codes.begin(), codes.end()), codes.end());
  return codes;
}

// The table of a polygon layer's zones: each zone's cells by their share.
std::vector<TableRow> polygon_table(Run& run, const PolygonFacts& polygons, const PassProgress& progress) {
  const RasterGeometry& g = run.geometry();
  std::vector<ZoneFigures> figures(polygons.codes.size());
  begin_percentiles(run);
  for_each_band(
      *run.dem, run.reference.get(), *run.mask,
      [&](const Band& band) {
        if (band.column == 0) progress("measuring every zone", band.first, g.nb_lig);
        cover_band(run, band, false, [&](std::size_t zone) { return &figures[zone]; });
      },
      BandCells::metres, MaskCells::codes);
  progress("measuring every zone", g.nb_lig, g.nb_lig);
  end_percentiles(run, MaskCells::codes, [&](std::size_t zone) { return &figures[zone]; }, progress);
  std::vector<TableRow> rows;
  for (const long long code : row_codes(run, polygons.codes)) {
    const auto at = std::lower_bound(polygons.codes.begin(), polygons.codes.end(), code);
    TableRow row{code, {}};
    if (at != polygons.codes.end() && *at == code) {
      const auto k = static_cast<std::size_t>(at - polygons.codes.begin());
      row.figures = figures[k];
      row.figures.area_outside_m2 += polygons.off_lines_m2[k];
    }
    rows.push_back(row);
  }
  return rows;
}

}  // namespace

std::vector<TableRow> zone_table(Run& run, const PassProgress& progress) {
  if (const std::optional<PolygonFacts>& polygons = run.mask->facts().polygons) return polygon_table(run, *polygons, progress);
  const RasterGeometry& g = run.geometry();
  bool wide = false;  // a mask of wide codes: its cells are indices of its codes
  ZoneTable table;
  make_room(table, 256);
  std::vector<long long> seen;  // a GDAL mask's codes, by index, as the pass met them
  const std::vector<long long>* gdal_codes = &seen;
  begin_percentiles(run);
  for_each_band(
      *run.dem, run.reference.get(), *run.mask,
      [&](const Band& band) {
        if (band.column == 0) progress("measuring every zone", band.first, g.nb_lig);
        wide = band.mask_cell_bytes == 4;
        if (wide) {
          if (band.mask_codes->size() != seen.size()) seen = *band.mask_codes;
          make_room(table, seen.size());
          add_band<std::uint32_t>(table, run, band);
        } else {
          add_band<unsigned char>(table, run, band);
        }
      },
      BandCells::metres, MaskCells::codes);
  progress("measuring every zone", g.nb_lig, g.nb_lig);
  end_percentiles(run, MaskCells::codes,
                  [&](std::size_t zone) { return zone < table.figures.size() ? &table.figures[zone] : nullptr; }, progress);

  // The rows: the codes asked for, or every code present, in increasing order.
  std::vector<TableRow> rows;
  std::unordered_map<long long, std::size_t> index;
  if (wide) {
    for (std::size_t k = 0; k < gdal_codes->size(); ++k) index.emplace((*gdal_codes)[k], k);
  }
  auto figures_of = [&](long long code) {
    if (wide) {
      const auto at = index.find(code);
      return at == index.end() ? ZoneFigures{} : table.figures[at->second];
    }
    return code >= 0 && code <= 255 ? table.figures[static_cast<std::size_t>(code)] : ZoneFigures{};
  };
  std::vector<long long> present;
  if (wide) {
    present = *gdal_codes;
  } else {
    for (long long code = 0; code < 256; ++code) {
      if (table.figures[static_cast<std::size_t>(code)].zone_cells > 0) present.push_back(code);
    }
  }
  for (const long long code : row_codes(run, std::move(present))) {
    TableRow row{code, figures_of(code)};
    if (!run.dem_facts().areas.ellipsoidal) {
      row.figures.area_m2 = (static_cast<double>(row.figures.full_cells) +
                             0.5 * static_cast<double>(row.figures.half_cells)) * run.dem_facts().areas.planar_m2;
    }
    rows.push_back(row);
  }
  return rows;
}

std::string table_csv(const std::vector<TableRow>& rows, const FigureChoices& choices) {
  const std::vector<Column> columns = figure_columns(choices);
  std::string out = "code";
  for (const Column& c : columns) out += "," + c.name;
  out += '\n';
  for (const TableRow& row : rows) {
    out += std::to_string(row.code);
    for (const Column& c : columns) {
      out += ',';
      out += column_text(c, row.figures, choices, false);
    }
    out += '\n';
  }
  return out;
}

std::string table_json(const Run& run, const std::vector<TableRow>& rows) {
  const Job& job = run.job;
  const FigureChoices choices = figure_choices(job);
  auto quoted = [](const std::string& path) { return json_string(path); };
  std::string out = "{\n  \"tool\": \"mesacrop\",\n  \"version\": " + quoted(kVersion) + ",\n";
  out += "  \"dem\": " + quoted(job.dem.path) + ",\n  \"mask\": " + quoted(job.mask.path) + ",\n";
  out += "  \"base_m\": " + (choices.base && std::isfinite(*choices.base) ? shortest_text(*choices.base) : "null") + ",\n";
  if (job.reference) {
    out += "  \"reference\": " + quoted(job.reference->surface.path) + ",\n";
    out += "  \"threshold_m\": " + shortest_text(job.reference->threshold_m) + ",\n";
  }
  if (job.zone.edge == EdgeRule::full) out += "  \"edge\": \"full\",\n";
  out += "  \"rows\": [";
  for (std::size_t k = 0; k < rows.size(); ++k) {
    out += k == 0 ? "\n" : ",\n";
    out += "    {\"code\": " + std::to_string(rows[k].code);
    for (const Column& c : figure_columns(choices)) {
      out += ", \"" + c.name + "\": " + column_text(c, rows[k].figures, choices, true);
    }
    out += "}";
  }
  return out + (rows.empty() ? "]\n}\n" : "\n  ]\n}\n");
}

std::string table_text(const Run& run, const std::vector<TableRow>& rows) {
  return json_path(run.job.table->path) ? table_json(run, rows) : table_csv(rows, figure_choices(run.job));
}
