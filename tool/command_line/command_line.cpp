#include "command_line.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <new>
#include <sstream>

#include "console.h"
#include "fatal.h"
#include "files/library_raster.h"
#include "files/output_file.h"
#include "formats/registry.h"
#include "number_text.h"
#include "platform.h"
#include "run.h"
#include "version.h"
#include "work/work.h"
#include "zone/percentiles.h"

namespace {

[[noreturn]] void usage_error(const std::string& message) { throw UsageError{message}; }

// The suffix of a name, compared without case: results named RES.TIF are
// GeoTIFFs as RES.tif are.
bool ends_with(const std::string& s, const std::string& end, bool any_case = false) {
  if (s.size() <= end.size()) return false;
  for (std::size_t k = 0; k < end.size(); ++k) {
    const char a = s[s.size() - end.size() + k], b = end[k];
    if (a != b && !(any_case && std::tolower(static_cast<unsigned char>(a)) == b)) return false;
  }
  return true;
}

long long whole_number(const std::string& flag, const std::string& value, long long lowest = -2147483648LL,
                       long long highest = 2147483647LL) {
  const char* first = value.c_str();
  char* end = nullptr;
  errno = 0;
  const long long n = std::strtoll(first, &end, 10);
  if (value.empty() || *end != '\0' || errno == ERANGE || n < lowest || n > highest) {
    usage_error(flag + " takes a whole number from " + std::to_string(lowest) + " to " + std::to_string(highest) +
                ", not \"" + shown(value) + "\"");
  }
  return n;
}

double finite_number(const std::string& flag, const std::string& value) {
  double n = 0.0;
  if (!parse_real(value.data(), value.data() + value.size(), n) || !std::isfinite(n)) {
    usage_error(flag + " takes a finite number, not \"" + shown(value) + "\"");
  }
  return n;
}

// "X,Y": two values of `flag`.
std::pair<std::string, std::string> pair_of(const std::string& flag, const std::string& value, const char* form) {
  const std::size_t comma = value.find(',');
  if (comma == std::string::npos || value.find(',', comma + 1) != std::string::npos) {
    usage_error(flag + " takes " + form + ", not \"" + shown(value) + "\"");
  }
  return {value.substr(0, comma), value.substr(comma + 1)};
}

int unit_of(const std::string& flag, const std::string& value) {
  const std::optional<int> unit = unit_of_name(value);
  if (!unit) {
    usage_error(flag + " takes m, dm, cm or mm (and ft or us-ft for a DEM read through GDAL), not \"" + shown(value) +
                "\"");
  }
  return *unit;
}

std::vector<long long> code_list(const std::string& flag, const std::string& v) {
  std::vector<long long> codes;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = v.find(',', start);
    const std::string item = v.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    if (item.empty()) usage_error(flag + " takes whole numbers separated by commas, not \"" + shown(v) + "\"");
    char* end = nullptr;
    const long long code = std::strtoll(item.c_str(), &end, 10);
    if (*end != '\0' || code < -2147483648LL || code > 4294967295LL) {
      usage_error(flag + " takes whole numbers of the 32-bit range, not \"" + shown(item) + "\"");
    }
    codes.push_back(code);
    if (comma == std::string::npos) return codes;
    start = comma + 1;
  }
}

// The levels of a curve: "LOW:HIGH:STEP" (LOW + k x STEP, each so computed,
// up to HIGH and a millionth of STEP) or "L1,L2,..." (increasing).
constexpr std::size_t kMostLevels = 100000;
std::vector<double> levels_of(const std::string& flag, const std::string& v) {
  std::vector<double> levels;
  const std::size_t colon = v.find(':');
  if (colon != std::string::npos) {
    const std::size_t second = v.find(':', colon + 1);
    if (second == std::string::npos || v.find(':', second + 1) != std::string::npos) {
      usage_error(flag + " takes LOW:HIGH:STEP or L1,L2,... (metres), not \"" + shown(v) + "\"");
    }
    const double low = finite_number(flag, v.substr(0, colon));
    const double high = finite_number(flag, v.substr(colon + 1, second - colon - 1));
    const double step = finite_number(flag, v.substr(second + 1));
    if (step <= 0.0) usage_error(flag + " takes a STEP above 0, not \"" + shown(v.substr(second + 1)) + "\"");
    if (high < low) usage_error(flag + " takes a HIGH level at or above LOW, not \"" + shown(v) + "\"");
    const double top = high + step * 1e-6;
    for (double k = 0.0;; k += 1.0) {
      const double level = low + k * step;
      if (level > top) break;
      if (levels.size() == kMostLevels) {
        usage_error(flag + " gives more than " + std::to_string(kMostLevels) + " levels: take a larger STEP");
      }
      levels.push_back(level);
    }
  } else {
    std::size_t start = 0;
    for (;;) {
      const std::size_t comma = v.find(',', start);
      levels.push_back(finite_number(flag, v.substr(start, comma == std::string::npos ? std::string::npos : comma - start)));
      if (levels.size() > kMostLevels) usage_error(flag + " takes at most " + std::to_string(kMostLevels) + " levels");
      if (comma == std::string::npos) break;
      start = comma + 1;
    }
  }
  for (std::size_t k = 1; k < levels.size(); ++k) {
    if (!(levels[k - 1] < levels[k])) {
      usage_error(flag + " takes increasing levels: " + shortest_text(levels[k]) + " comes after " +
                  shortest_text(levels[k - 1]));
    }
  }
  return levels;
}

// What the flags have said so far.
struct Parsed {
  CommandLine command;
  bool code_given = false, size_given = false;
  std::optional<std::vector<double>> levels;
  // The reference surface's flags, made into the job's choice once the
  // files are named.
  std::string reference;
  std::optional<int> reference_unit;
  std::optional<double> threshold;
  bool difference = false;
  bool edge_given = false, min_share_given = false;
};

// ---- the flags ----------------------------------------------------------------
//
// One row a flag: its names, its value's name (none: a switch), its lines in
// the usage text, and what it sets. The parsing and the usage text both
// come from this table.

using Apply = void (*)(Parsed& p, const std::string& flag, const std::string& value);
// Why the flag (given or not) does not fit the files named and the other
// flags, "" when it does: the choices each layout needs, and none it cannot
// use.
using Misfit = std::string (*)(const Parsed& p);

struct Flag {
  const char* short_name;  // "-c", or ""
  const char* long_name;   // "--code"
  const char* value;       // "N", or nullptr for a switch
  const char* help;        // its usage lines, '\n' between them
  Apply apply;
  Misfit misfit = nullptr;
};

bool raw_dem(const Job& job) { return job.dem.layout == DemLayout::raw; }
bool raw_result(const Job& job) { return job.result_wanted && job.result.layout == ResultLayout::raw; }
// A band chosen for a raster the tool reads itself.
std::string for_gdal(bool given, bool gdal, const char* flag_is_for) {
  return given && !gdal ? std::string(flag_is_for) + " read through GDAL: the tool's own formats have one band" : "";
}
// What the unit flag of a DEM (or of the reference) lacks, or cannot be, for
// its layout; `figure` is what a wrong unit makes wrong.
std::string unit_misfit(const DemChoice& dem, const std::string& flag, const char* role, const char* figure) {
  const bool raw = dem.layout == DemLayout::raw;
  if (raw && !dem.unit) {
    return flag + " m|dm|cm|mm is required for the raw " + role + " " + dem.path +
           ": the unit of its stored values (a wrong one makes every " + figure + " wrong)";
  }
  if (dem.layout == DemLayout::ascii_grid && dem.unit) return flag + " is not for grids: a grid holds metres";
  if (raw && dem.unit && *dem.unit > kMillimetre) {
    return flag + " of a raw " + role + " is m, dm, cm or mm: it stores whole numbers of one of them";
  }
  return "";
}
// A flag of polygon masks given with another mask.
std::string polygons_only(bool given, const Parsed& p, const char* flag) {
  return given && p.command.job.mask.layout != MaskLayout::polygons
             ? std::string(flag) + " is for a mask of polygons (a layer GDAL reads: GeoPackage, Shapefile, GeoJSON...)"
             : "";
}
// A flag of the result given for the table alone.
std::string for_a_result(bool given, const Job& job, const char* flag) {
  return given && !job.result_wanted ? std::string(flag) + " is for a RESULT, and the table has none" : "";
}

const Flag kFlags[] = {
    {"-c", "--code", "N", "the mask code of the zone (required, but for --table alone)",
     [](Parsed& p, const std::string&, const std::string& v) {
       p.command.job.zone.code = whole_number("-c/--code", v, -2147483648LL, 4294967295LL);
       p.code_given = true;
     },
     [](const Parsed& p) -> std::string {
       const Job& job = p.command.job;
       if (p.code_given || !job.result_wanted) return "";
       return job.table ? "-c/--code is required with a RESULT: the mask code of the zone it keeps"
                        : "-c/--code is required: the mask code of the zone";
     }},
    {"-a", "--outside", "ALT",
     "the altitude of the cells outside the zone, in metres (default 0);\nnodata: the grid result's no-data marker",
     [](Parsed& p, const std::string&, const std::string& v) {
       ZoneChoice& zone = p.command.job.zone;
       zone.outside_no_data = v == "nodata";
       if (!zone.outside_no_data) zone.outside_m = finite_number("-a/--outside", v);
     },
     [](const Parsed& p) -> std::string {
       const Job& job = p.command.job;
       if (job.zone.outside_no_data && raw_result(job)) {
         return "--outside nodata is for grid results: a raw raster has no no-data marker of its own";
       }
       return for_a_result(job.zone.outside_no_data, job, "--outside nodata");
     }},
    {"", "--no-volume", nullptr, "do not compute the volume",
     [](Parsed& p, const std::string&, const std::string&) { p.command.job.zone.voltreat = 1; }},
    {"", "--dem-unit", "U",
     "unit of a raw DEM's stored values: m, dm, cm or mm (required for a raw DEM);\nof a GDAL raster's altitudes "
     "(also ft, us-ft), when its band's unit is not right",
     [](Parsed& p, const std::string& flag, const std::string& v) { p.command.job.dem.unit = unit_of(flag, v); },
     [](const Parsed& p) -> std::string { return unit_misfit(p.command.job.dem, "--dem-unit", "DEM", "volume"); }},
    {"", "--unit", "U", "unit of a raw result made from a grid or a GDAL raster (required then)",
     [](Parsed& p, const std::string& flag, const std::string& v) { p.command.job.result.unit = unit_of(flag, v); },
     [](const Parsed& p) -> std::string {
       const Job& job = p.command.job;
       const bool needed = raw_result(job) && !raw_dem(job);
       if (needed && !job.result.unit) {
         return "--unit m|dm|cm|mm is required for a raw result made from a grid or a GDAL raster: the unit of its "
                "stored values";
       }
       if (!job.result.unit) return "";
       if (!job.result_wanted) return for_a_result(true, job, "--unit");
       if (!needed) return "--unit is for a raw result made from a grid or a GDAL raster (a raw DEM's result keeps its unit)";
       return *job.result.unit > kMillimetre ? "--unit is m, dm, cm or mm" : "";
     }},
    {"", "--corner", "X,Y",
     "lower-left corner of a grid or GeoTIFF result made from a raw DEM\n(required unless a .hdr beside the DEM "
     "places it)",
     [](Parsed& p, const std::string& flag, const std::string& v) {
       const auto [x, y] = pair_of(flag, v, "X,Y (two numbers)");
       p.command.job.result.corner = Corner{finite_number("--corner", x), finite_number("--corner", y)};
     },
     [](const Parsed& p) -> std::string {
       const Job& job = p.command.job;
       if (!job.result.corner) return "";
       if (!job.result_wanted) return for_a_result(true, job, "--corner");
       if (raw_result(job) || !raw_dem(job)) {
         return "--corner is for a grid or GeoTIFF result made from a raw DEM (the other DEMs give their own corner)";
       }
       return "";
     }},
    {"", "--size", "L,C", "lines and columns of a raw DEM or mask without descriptor",
     [](Parsed& p, const std::string& flag, const std::string& v) {
       const auto [lines, columns] = pair_of(flag, v, "LINES,COLUMNS (two whole numbers)");
       const int l = static_cast<int>(whole_number("--size", lines)), c = static_cast<int>(whole_number("--size", columns));
       if (l < 1 || c < 1) usage_error("--size takes at least one line and one column");
       Job& job = p.command.job;
       job.dem.lines = job.mask.lines = l;
       job.dem.columns = job.mask.columns = c;
       p.size_given = true;
     },
     [](const Parsed& p) -> std::string {
       const Job& job = p.command.job;
       if (p.size_given && !raw_dem(job) && job.mask.layout != MaskLayout::raw) {
         return "--size is for a raw DEM or raw mask without descriptor";
       }
       return "";
     }},
    {"", "--pixel-size", "S",
     "pixel size in metres of a raw DEM without descriptor (or whose descriptor gives 0),\nor of a GDAL raster "
     "without georeferencing",
     [](Parsed& p, const std::string& flag, const std::string& v) {
       const double size = finite_number(flag, v);
       if (!valid_pixel_size(size) || size <= 0.0) {
         usage_error("--pixel-size takes a number of metres above 0 and below 2147483648");
       }
       p.command.job.dem.pixel_size = size;
     },
     [](const Parsed& p) -> std::string {
       const DemChoice& dem = p.command.job.dem;
       return dem.pixel_size && dem.layout == DemLayout::ascii_grid ? "--pixel-size is not for grids: a grid gives its own"
                                                                   : "";
     }},
    {"", "--band", "N", "the band of a GDAL raster DEM (default 1)",
     [](Parsed& p, const std::string& flag, const std::string& v) {
       p.command.job.dem.band = static_cast<int>(whole_number(flag, v, 1, 2147483647LL));
     },
     [](const Parsed& p) {
       const DemChoice& dem = p.command.job.dem;
       return for_gdal(dem.band.has_value(), dem.layout == DemLayout::gdal, "--band is for a DEM");
     }},
    {"", "--mask-band", "N", "the band of a GDAL raster mask (default 1)",
     [](Parsed& p, const std::string& flag, const std::string& v) {
       p.command.job.mask.band = static_cast<int>(whole_number(flag, v, 1, 2147483647LL));
     },
     [](const Parsed& p) {
       const MaskChoice& mask = p.command.job.mask;
       return for_gdal(mask.band.has_value(), mask.layout == MaskLayout::gdal, "--mask-band is for a mask");
     }},
    {"", "--layer", "NAME", "the layer of a polygon mask that holds several",
     [](Parsed& p, const std::string& flag, const std::string& v) {
       if (v.empty()) usage_error(flag + " takes a layer's name");
       p.command.job.mask.layer = v;
     },
     [](const Parsed& p) { return polygons_only(!p.command.job.mask.layer.empty(), p, "--layer"); }},
    {"", "--zone-field", "NAME", "the integer field of a polygon mask that gives each feature's code\n(default: the "
     "feature's id)",
     [](Parsed& p, const std::string& flag, const std::string& v) {
       if (v.empty()) usage_error(flag + " takes a field's name");
       p.command.job.mask.zone_field = v;
     },
     [](const Parsed& p) { return polygons_only(!p.command.job.mask.zone_field.empty(), p, "--zone-field"); }},
    {"", "--min-share", "F", "a polygon zone's result keeps the cells it covers at least this much (0 < F <= 1,\n"
     "default 0.5)",
     [](Parsed& p, const std::string& flag, const std::string& v) {
       const double share = finite_number(flag, v);
       if (!(share > 0.0 && share <= 1.0)) usage_error(flag + " takes a share above 0 and at most 1");
       p.command.job.mask.min_share = share;
       p.min_share_given = true;
     },
     [](const Parsed& p) -> std::string {
       const std::string wrong = polygons_only(p.min_share_given, p, "--min-share");
       return wrong.empty() ? for_a_result(p.min_share_given, p.command.job, "--min-share") : wrong;
     }},
    {"", "--edge", "RULE",
     "how the zone's cells weigh in its volume and area: half (default: cells on the\nzone's edge half, on the "
     "raster's frame none) or full (every cell with data: a plain zonal sum)",
     [](Parsed& p, const std::string& flag, const std::string& v) {
       if (v != "half" && v != "full") usage_error(flag + " takes half or full, not \"" + shown(v) + "\"");
       p.command.job.zone.edge = v == "full" ? EdgeRule::full : EdgeRule::half;
       p.edge_given = true;
     },
     [](const Parsed& p) -> std::string {
       return p.edge_given && p.command.job.mask.layout == MaskLayout::polygons
                  ? "--edge is for raster masks: a polygon zone weighs each cell by the share it covers"
                  : "";
     }},
    {"", "--report", "FILE", "also write the JSON report to FILE (- for standard output)",
     [](Parsed& p, const std::string&, const std::string& v) {
       if (v.empty()) usage_error("--report takes a file name, or - for standard output");
       p.command.job.result.report_copy = v == "-" ? v : absolute_path(v);
     },
     [](const Parsed& p) -> std::string {
       const Job& job = p.command.job;
       if (job.table && job.table->path == "-" && job.result.report_copy == "-") {
         return "--table - and --report - would both go to standard output: give one of them a file";
       }
       return for_a_result(!job.result.report_copy.empty(), job, "--report");
     }},
    {"", "--table", "FILE", "the table of every zone: FILE.csv, FILE.json, or - (CSV on standard output)",
     [](Parsed& p, const std::string&, const std::string& v) {
       if (v != "-" && !ends_with(v, ".csv", true) && !ends_with(v, ".json", true)) {
         usage_error("--table takes a file name ending in .csv or .json, or - for CSV on standard output");
       }
       std::optional<TableChoice>& table = p.command.job.table;
       if (!table) table = TableChoice{};
       table->path = v == "-" ? v : absolute_path(v);
     }},
    {"", "--codes", "A,B,C", "the table's rows: these codes only (by default every code the mask holds)",
     [](Parsed& p, const std::string& flag, const std::string& v) {
       std::optional<TableChoice>& table = p.command.job.table;
       if (!table) table = TableChoice{};
       table->codes = code_list(flag, v);
     }},
    {"", "--base", "ALT", "also the volumes above and below this altitude, in metres",
     [](Parsed& p, const std::string& flag, const std::string& v) {
       p.command.job.zone.base_m = finite_number(flag, v);
     }},
    {"", "--levels", "LEVELS",
     "the levels of --curves, in metres: LOW:HIGH:STEP (LOW, LOW + STEP... up to HIGH)\nor L1,L2,... (increasing); "
     "at most 100000",
     [](Parsed& p, const std::string& flag, const std::string& v) { p.levels = levels_of(flag, v); },
     [](const Parsed& p) -> std::string {
       return p.levels && !p.command.job.curves ? "--levels is for --curves FILE: the levels of the storage curves" : "";
     }},
    {"", "--curves", "FILE",
     "the storage curve of the zone (or of every zone of --table) at --levels: area and\nvolume below and above "
     "each level; FILE.csv, FILE.json, or - (CSV on standard output)",
     [](Parsed& p, const std::string&, const std::string& v) {
       if (v != "-" && !ends_with(v, ".csv", true) && !ends_with(v, ".json", true)) {
         usage_error("--curves takes a file name ending in .csv or .json, or - for CSV on standard output");
       }
       std::optional<CurvesChoice>& curves = p.command.job.curves;
       if (!curves) curves = CurvesChoice{};
       curves->path = v == "-" ? v : absolute_path(v);
     },
     [](const Parsed& p) -> std::string {
       const Job& job = p.command.job;
       if (!job.curves) return "";
       if (!p.levels) return "--curves needs --levels: the levels of the curves";
       if (!job.zone.volume()) return "--curves are volumes: they cannot go with --no-volume";
       if (job.curves->path == "-" && ((job.table && job.table->path == "-") || job.result.report_copy == "-")) {
         return "--curves - and another output would both go to standard output: give one of them a file";
       }
       return "";
     }},
    {"", "--percentiles", "P1,P2,...",
     "the altitude of each zone at these percentiles (0 to 100) of its cells with data,\nand its hypsometric integral",
     [](Parsed& p, const std::string& flag, const std::string& v) {
       std::vector<std::string>& percentiles = p.command.job.percentiles;
       percentiles.clear();
       std::istringstream items(v);
       for (std::string item; std::getline(items, item, ',');) {
         if (!percentile_of(item)) {
           usage_error(flag + " takes percentiles from 0 to 100 separated by commas (5,50,95), not \"" + shown(v) + "\"");
         }
         if (std::find(percentiles.begin(), percentiles.end(), item) != percentiles.end()) {
           usage_error(flag + " names the percentile " + item + " twice");
         }
         percentiles.push_back(item);
       }
       if (percentiles.empty() || v.back() == ',') usage_error(flag + " takes percentiles from 0 to 100 separated by commas (5,50,95)");
     }},
    {"", "--reference", "REF",
     "a second DEM of the same grid (an earlier survey): each zone's fill, cut and net\nvolumes of DEM - REF and its "
     "changed and unchanged cells",
     [](Parsed& p, const std::string& flag, const std::string& v) {
       if (v.empty()) usage_error(flag + " takes a DEM's file name");
       p.reference = v;
     }},
    {"", "--reference-unit", "U", "the unit of REF's altitudes, as --dem-unit is the DEM's (required for a raw REF)",
     [](Parsed& p, const std::string& flag, const std::string& v) { p.reference_unit = unit_of(flag, v); },
     [](const Parsed& p) -> std::string {
       const std::optional<ReferenceChoice>& reference = p.command.job.reference;
       if (!reference) return p.reference_unit ? "--reference-unit is for --reference REF" : "";
       return unit_misfit(reference->surface, "--reference-unit", "reference", "change");
     }},
    {"", "--threshold", "T",
     "the smallest change of --reference, in metres (default 0): a cell whose |DEM - REF|\nis below it is unchanged",
     [](Parsed& p, const std::string& flag, const std::string& v) {
       p.threshold = finite_number(flag, v);
       if (*p.threshold < 0.0) usage_error(flag + " takes a number of metres, 0 or more");
     },
     [](const Parsed& p) -> std::string {
       return p.threshold && p.reference.empty() ? "--threshold is for --reference REF: the smallest change" : "";
     }},
    {"", "--difference", nullptr, "the result holds DEM - REF in the zone instead of the DEM's altitudes",
     [](Parsed& p, const std::string&, const std::string&) { p.difference = true; },
     [](const Parsed& p) -> std::string {
       if (!p.difference) return "";
       if (p.reference.empty()) return "--difference is for --reference REF: the result holds DEM - REF";
       return for_a_result(true, p.command.job, "--difference");
     }},
    {"-q", "--quiet", nullptr, "no progress lines",
     [](Parsed& p, const std::string&, const std::string&) { p.command.quiet = true; }},
    {"-h", "--help", nullptr, "this text", [](Parsed& p, const std::string&, const std::string&) { p.command.help = true; }},
    {"", "--version", nullptr, "the version",
     [](Parsed& p, const std::string&, const std::string&) { p.command.version = true; }},
};

// The number of edits (a letter added, removed or changed) from a to b.
std::size_t edits(const std::string& a, const std::string& b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

const Flag* flag_named(const std::string& name) {
  for (const Flag& f : kFlags) {
    if (name == f.long_name || name == f.short_name) return &f;
  }
  return nullptr;
}

[[noreturn]] void unknown_flag(const std::string& name) {
  const Flag* closest = nullptr;
  std::size_t fewest = 3;  // more edits than this is another word
  for (const Flag& f : kFlags) {
    const std::size_t n = edits(name, f.long_name);
    if (n < fewest || (closest == nullptr && std::string(f.long_name).rfind(name, 0) == 0 && name.size() > 3)) {
      fewest = std::min(fewest, n);
      closest = &f;
    }
  }
  usage_error("unknown option \"" + shown(name) + "\"" +
              (closest != nullptr ? std::string(": did you mean ") + closest->long_name + "?" : std::string()));
}

// The format a name says, from the registry's forms; none of them is a
// usage error listing them.
template <class Format, class Choice>
void read_name(const std::vector<Format>& formats, Choice& choice, const std::string& name, const char* role,
               const std::string& typed) {
  for (const Format& format : formats) {
    if (format.takes(name, choice)) {
      choice.layout = format.layout;
      return;
    }
  }
  std::string forms;
  for (const Format& format : formats) forms += (forms.empty() ? "" : ", ") + std::string(format.forms);
  usage_error(std::string("the ") + role + " \"" + shown(typed) + "\" is named in none of the accepted forms: " + forms);
}

void read_result_name(ResultChoice& result, const std::string& path) {
  ResultChoice named;
  read_name(result_formats(), named, absolute_path(path), "result", path);
  result.layout = named.layout;
  result.itype = named.itype;
  result.extension = named.extension;
  result.base = named.base;
  const std::string folder = folder_of(result.base);
  if (result.base.size() == folder.size()) usage_error("the result \"" + shown(path) + "\" has no name before its suffix");
}

// Progress on a terminal: "reading the grid: 0...10...20...100 - done."
class ProgressLine {
 public:
  ProgressLine(std::ostream& errors, bool shown) : errors_(errors), shown_(shown) {}
  void operator()(const char* pass, int line, int lines) {
    if (!shown_) return;
    if (pass_ != pass) {
      pass_ = pass;
      tens_ = 0;
      errors_ << pass << ": 0";
    }
    const int tens = lines > 0 ? static_cast<int>(static_cast<long long>(line) * 10 / lines) : 10;
    while (tens_ < tens) errors_ << "..." << 10 * ++tens_;
    if (line == lines) {
      errors_ << " - done.\n";
      pass_.clear();
    }
    errors_.flush();
  }

 private:
  std::ostream& errors_;
  bool shown_;
  std::string pass_;
  int tens_ = 0;
};

// One line for a message of the work: "mesacrop: " and its words, its line
// ends and tabs made blanks.
std::string one_line(const std::string& message) {
  std::string line;
  for (const char c : message) {
    const bool blank = c == '\n' || c == '\t' || c == '\r';
    if ((blank || c == ' ') && (line.empty() || line.back() == ' ')) continue;
    line += blank ? ' ' : c;
  }
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return line;
}

// The notes of the work, each on its own line of standard error.
class NoteLines : public std::streambuf {
 public:
  explicit NoteLines(std::ostream& errors) : errors_(errors) {}

 protected:
  std::streamsize xsputn(const char* text, std::streamsize n) override {
    const std::string line = one_line(std::string(text, static_cast<std::size_t>(n)));
    if (!line.empty()) errors_ << "mesacrop: " << line << "\n";
    return n;
  }
  int overflow(int c) override {
    if (c != traits_type::eof()) {
      const char one = static_cast<char>(c);
      xsputn(&one, 1);
    }
    return c;
  }

 private:
  std::ostream& errors_;
};

// The input named as the DEM or the mask is there, or the run stops naming
// which of them is missing.
void check_input_there(const std::string& path, const char* role) {
  if (file_kind(path) == FileKind::missing) fatal_stop(text("the %s %s does not exist", role, path.c_str()));
}

// The closing line on a terminal: what was written, and the volume.
void closing_line(const CommandLine& command, const Run& run, const WrittenResult& written, std::ostream& errors) {
  const Job& job = command.job;
  if (job.table) {
    const std::string rows = std::to_string(written.table_rows) + " zone" + (written.table_rows == 1 ? "" : "s");
    errors << "mesacrop: table of " << rows << (job.table->path == "-" ? " written to standard output"
                                                                       : " written in " + job.table->path)
           << "\n";
  }
  if (!job.result_wanted) return;
  std::string names;
  for (const std::string& name : written.names) names += (names.empty() ? "" : ", ") + name;
  errors << "mesacrop: written in " << run.folder << ": " << names;
  if (job.zone.volume()) {
    errors << text("; volume %lf km3 (%.3f m3)", run.zone.vol_tot * 1e-9, run.zone.vol_tot);
  }
  errors << "\n";
}

}  // namespace

CommandLine parse_command_line(const std::vector<std::string>& arguments) {
  Parsed p;
  Job& job = p.command.job;
  std::vector<std::string> names;
  bool options_end = false;
  for (std::size_t k = 0; k < arguments.size(); ++k) {
    std::string name = arguments[k];
    if (options_end || name.size() < 2 || name[0] != '-') {
      names.push_back(name);
      continue;
    }
    if (name == "--") {
      options_end = true;
      continue;
    }
    std::optional<std::string> attached;
    if (const std::size_t equals = name.find('='); name.rfind("--", 0) == 0 && equals != std::string::npos) {
      attached = name.substr(equals + 1);
      name = name.substr(0, equals);
    }
    const Flag* flag = flag_named(name);
    if (flag == nullptr) unknown_flag(name);
    std::string value;
    if (flag->value == nullptr) {
      if (attached) usage_error(name + " takes no value");
    } else if (attached) {
      value = *attached;
    } else {
      if (k + 1 >= arguments.size()) usage_error(name + " needs a value");
      value = arguments[++k];
    }
    flag->apply(p, name, value);
  }
  CommandLine& command = p.command;
  if (command.help || command.version) {
    if (arguments.size() > 1) usage_error(std::string(command.help ? "--help" : "--version") + " comes alone");
    return command;
  }
  if (job.table && job.table->path.empty()) usage_error("--codes needs --table FILE");
  if (job.curves && p.levels) job.curves->levels_m = *p.levels;
  const std::size_t least = job.table ? 2 : 3;
  if (names.size() < least || names.size() > 3) {
    usage_error(names.size() < least ? (job.table ? "DEM and MASK are required" : "DEM, MASK and RESULT are required")
                                     : "too many files: \"" + shown(names[3]) + "\"");
  }
  job.dem.path = absolute_path(names[0]);
  read_name(dem_formats(), job.dem, names[0], "DEM", names[0]);
  job.mask.path = absolute_path(names[1]);
  read_name(mask_formats(), job.mask, names[1], "mask", names[1]);
  job.result_wanted = names.size() == 3;
  if (job.result_wanted) read_result_name(job.result, names[2]);
  if (!p.reference.empty()) {
    ReferenceChoice& reference = job.reference.emplace();
    reference.surface.path = absolute_path(p.reference);
    read_name(dem_formats(), reference.surface, p.reference, "reference", p.reference);
    reference.surface.size_source = "the DEM";
    reference.surface.unit = p.reference_unit;
    reference.threshold_m = p.threshold.value_or(0.0);
    reference.difference = p.difference;
  }
  // --size is for the raw ones among them.
  if (job.dem.layout != DemLayout::raw) job.dem.lines.reset(), job.dem.columns.reset();
  if (job.mask.layout != MaskLayout::raw) job.mask.lines.reset(), job.mask.columns.reset();
  for (const Flag& f : kFlags) {
    if (f.misfit == nullptr) continue;
    if (const std::string why = f.misfit(p); !why.empty()) usage_error(why);
  }
  return command;
}

int run_command_line(CommandLine command, std::ostream& out, std::ostream& errors) {
  NoteLines note_lines(errors);
  std::ostream notes(&note_lines);
  ProgressLine progress(errors, !command.quiet && errors_go_to_console());
  Run run;
  run.job = command.job;
  try {
    check_input_there(run.job.dem.path, "DEM");
    check_input_there(run.job.mask.path, "mask");
    if (run.job.reference) check_input_there(run.job.reference->surface.path, "reference");
    const WrittenResult written = run_job(run, out, notes, [&](const char* pass, int line, int lines) {
      progress(pass, line, lines);
    });
    if (run.job.result_wanted && run.job.result.report_copy == "-") out << written.report;
    if (errors_go_to_console()) closing_line(command, run, written, errors);
    return 0;
  } catch (const FatalStop& stop) {
    errors << "mesacrop: " << one_line(stop.message) << "\n";
  } catch (const MissingChoice& missing) {
    errors << "mesacrop: " << missing.message << "\n";
    short_usage(errors);
    return 2;
  } catch (const std::bad_alloc&) {
    errors << "mesacrop: not enough memory for this DEM\n";
  }
  return 1;
}

template <class Format>
std::string forms_text(const std::vector<Format>& formats) {
  std::string forms;
  for (const Format& format : formats) forms += (forms.empty() ? "" : ", ") + std::string(format.forms);
  return forms;
}

void short_usage(std::ostream& out) { out << "mesacrop: mesacrop --help tells every flag and file form\n"; }

void usage(std::ostream& out, const std::string& images_dir) {
  out << "mesacrop " << kVersion << ": extracts a zone from a Digital Elevation Model (DEM) through a mask,\n"
      << "computes the zone's volume and writes the result as a new DEM with a report.\n\n"
      << "usage: mesacrop [OPTIONS] DEM MASK RESULT\n"
      << "       mesacrop --table FILE [OPTIONS] DEM MASK [RESULT]\n"
      << "                            every zone of the mask in one pass: a CSV or JSON table\n"
      << "       mesacrop             the dialog on the console asks every choice\n"
      << "       mesacrop --help      this text\n"
      << "       mesacrop --version   the version\n\n"
      << "  DEM     " << forms_text(dem_formats()) << "\n"
      << "  MASK    " << forms_text(mask_formats()) << "\n"
      << "  RESULT  " << forms_text(result_formats()) << ",\n"
      << "          each with RES.json (a raw result also with RES_m2.txt, RES_m2.hdr)\n\n";
  for (const Flag& f : kFlags) {
    std::string names = std::string(*f.short_name != '\0' ? f.short_name : "  ") + (*f.short_name != '\0' ? ", " : "  ") +
                        f.long_name + (f.value != nullptr ? std::string(" ") + f.value : "");
    names.resize(std::max<std::size_t>(names.size() + 2, 22), ' ');
    std::istringstream help(f.help);
    std::string line;
    for (bool first = true; std::getline(help, line); first = false) {
      out << "  " << (first ? names : std::string(22, ' ')) << line << "\n";
    }
  }
  out << "\nExit status: 0 result written, 1 failed run, 2 usage error.\n";
  if (!images_dir.empty()) {
    out << "The dialog looks for its folders under " << images_dir
        << " (the environment variable MESACROP_IMAGES names another directory).\n";
  }
  out << "See man mesacrop, and the README (README.md.gz in /usr/share/doc/mesacrop/ once installed).\n";
}
