// The storage curves of the zone, or of every zone of the table, from the
// sums of the pass that measured them.
//
//   code,level_m,area_below_m2,volume_below_m3,area_above_m2,volume_above_m3
//   1,950,16200,405000,5848200,1.2344e+08
#include <cmath>

#include "files/formats.h"
#include "number_text.h"
#include "version.h"
#include "work.h"

namespace {

// A curve's columns after the code, in order: the CSV's header and the
// zone's arrays in JSON.
struct Column {
  const char* name;
  double CurvePoint::*value;
};
constexpr Column kColumns[] = {
    {"level_m", &CurvePoint::level_m},
    {"area_below_m2", &CurvePoint::area_below_m2},
    {"volume_below_m3", &CurvePoint::volume_below_m3},
    {"area_above_m2", &CurvePoint::area_above_m2},
    {"volume_above_m3", &CurvePoint::volume_above_m3},
};

std::string json_number(double v) { return std::isfinite(v) ? shortest_text(v) : "null"; }

std::string curves_csv(const std::vector<double>& levels, const std::vector<TableRow>& rows) {
  std::string out = "code";
  for (const Column& c : kColumns) (out += ',') += c.name;
  out += '\n';
  for (const TableRow& row : rows) {
    const std::string code = std::to_string(row.code);
    for (const CurvePoint& point : storage_curve(levels, row.figures.levels)) {
      out += code;
      for (const Column& c : kColumns) (out += ',') += shortest_text(point.*c.value);
      out += '\n';
    }
  }
  return out;
}

std::string curves_json(const Run& run, const std::vector<double>& levels, const std::vector<TableRow>& rows) {
  const Job& job = run.job;
  std::string out = "{\n  \"tool\": \"mesacrop\",\n  \"version\": " + json_string(kVersion) + ",\n";
  out += "  \"dem\": " + json_string(job.dem.path) + ",\n  \"mask\": " + json_string(job.mask.path) + ",\n";
  if (job.zone.edge == EdgeRule::full) out += "  \"edge\": \"full\",\n";
  out += "  \"levels_m\": [";
  for (std::size_t k = 0; k < levels.size(); ++k) (out += k == 0 ? "" : ", ") += json_number(levels[k]);
  out += "],\n  \"zones\": [";
  for (std::size_t r = 0; r < rows.size(); ++r) {
    out += r == 0 ? "\n" : ",\n";
    out += "    {\"code\": " + std::to_string(rows[r].code);
    const std::vector<CurvePoint> curve = storage_curve(levels, rows[r].figures.levels);
    for (const Column& c : kColumns) {
      ((out += ", \"") += c.name) += "\": [";
      for (std::size_t k = 0; k < curve.size(); ++k) (out += k == 0 ? "" : ", ") += json_number(curve[k].*c.value);
      out += ']';
    }
    out += '}';
  }
  return out + (rows.empty() ? "]\n}\n" : "\n  ]\n}\n");
}

}  // namespace

std::string curves_text(const Run& run, const std::vector<TableRow>& rows) {
  const CurvesChoice& curves = *run.job.curves;
  return json_path(curves.path) ? curves_json(run, curves.levels_m, rows) : curves_csv(curves.levels_m, rows);
}
