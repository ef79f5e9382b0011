#include "command_line.h"

#include <cmath>
#include <cstdlib>
#include <limits>
#include <new>
#include <sstream>

#include "console.h"
#include "fatal.h"
#include "files/library_raster.h"
#include "files/output_file.h"
#include "number_text.h"
#include "platform.h"
#include "run_state.h"
#include "version.h"
#include "work/work.h"

namespace {

bool ends_with(const std::string& s, const std::string& end) {
  return s.size() > end.size() && s.compare(s.size() - end.size(), end.size(), end) == 0;
}

[[noreturn]] void usage_error(const std::string& message) { throw UsageError{message}; }

int whole_number(const std::string& flag, const std::string& value) {
  const char* first = value.c_str();
  char* end = nullptr;
  const long long n = std::strtoll(first, &end, 10);
  if (value.empty() || *end != '\0' || n < std::numeric_limits<int>::min() || n > std::numeric_limits<int>::max()) {
    usage_error(flag + " takes a whole number from -2147483648 to 2147483647, not \"" + shown(value) + "\"");
  }
  return static_cast<int>(n);
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
  const char* const units[6] = {"m", "dm", "cm", "mm", "ft", "us-ft"};
  for (int k = 0; k < 6; ++k) {
    if (value == units[k]) return k;
  }
  usage_error(flag + " takes m, dm, cm or mm (and ft or us-ft for a DEM read through GDAL), not \"" + shown(value) +
              "\"");
}

// The forms of names, as usage errors list them.
std::string forms(const char* own) {
  return std::string(own) + (gdal_available() ? ", or any raster GDAL reads (GeoTIFF...)" : "");
}

void read_dem_name(DemChoice& dem, const std::string& path) {
  dem.path = absolute_path(path);
  if (ends_with(path, "_m2.raw") || ends_with(path, "_m4.raw")) {
    dem.layout = DemLayout::raw;
    dem.itype = ends_with(path, "_m2.raw") ? 0 : 1;
  } else if (ends_with(path, ".asc")) {
    dem.layout = DemLayout::ascii_grid;
  } else if (gdal_available()) {
    dem.layout = DemLayout::gdal;
  } else {
    usage_error("the DEM \"" + shown(path) + "\" is named in none of the accepted forms: " +
                forms("NAME_m2.raw (raw 16-bit), NAME_m4.raw (raw 32-bit), NAME.asc (ASCII grid)"));
  }
}

void read_mask_name(MaskChoice& mask, const std::string& path) {
  mask.path = absolute_path(path);
  if (ends_with(path, ".raw")) {
    mask.layout = MaskLayout::raw;
  } else if (ends_with(path, ".bmp")) {
    mask.layout = MaskLayout::bitmap;
  } else if (gdal_available()) {
    mask.layout = MaskLayout::gdal;
  } else {
    usage_error("the mask \"" + shown(path) + "\" is named in none of the accepted forms: " +
                forms("NAME.raw (raw, with NAME.txt), NAME.bmp (bitmap)"));
  }
}

void read_result_name(ResultChoice& result, const std::string& path) {
  const std::string full = absolute_path(path);
  if (ends_with(path, "_m2.raw") || ends_with(path, "_m4.raw")) {
    result.layout = ResultLayout::raw;
    result.itype = ends_with(path, "_m2.raw") ? 0 : 1;
    result.base = full.substr(0, full.size() - 7);
  } else if (ends_with(path, ".asc")) {
    result.layout = ResultLayout::ascii_grid;
    result.base = full.substr(0, full.size() - 4);
  } else if (gdal_available() && (ends_with(path, ".tif") || ends_with(path, ".tiff"))) {
    result.layout = ResultLayout::geotiff;
    result.extension = ends_with(path, ".tif") ? ".tif" : ".tiff";
    result.base = full.substr(0, full.size() - result.extension.size());
  } else {
    usage_error("the result \"" + shown(path) + "\" is named in none of the accepted forms: RES_m2.raw (raw 16-bit), "
                "RES_m4.raw (raw 32-bit), RES.asc (ASCII grid)" +
                (gdal_available() ? ", RES.tif (GeoTIFF)" : ""));
  }
  const std::string folder = folder_of(result.base);
  if (result.base.size() == folder.size()) usage_error("the result \"" + shown(path) + "\" has no name before its suffix");
}

// What the flags choose must fit the files named: the choices each kind of
// input or result needs, and none it cannot use.
void check_choices(const Job& job, bool code_given, bool size_given) {
  if (!code_given && job.result_wanted) {
    usage_error(job.table ? "-c/--code is required with a RESULT: the mask code of the zone it keeps"
                          : "-c/--code is required: the mask code of the zone");
  }
  const bool raw_dem = job.dem.layout == DemLayout::raw;
  const bool raw_result = job.result.layout == ResultLayout::raw;
  if (raw_dem && !job.dem.unit) {
    usage_error("--dem-unit m|dm|cm|mm is required for the raw DEM " + job.dem.path +
                ": the unit of its stored values (a wrong one makes every volume wrong)");
  }
  const bool gdal_dem = job.dem.layout == DemLayout::gdal;
  if (job.dem.layout == DemLayout::ascii_grid && job.dem.unit) usage_error("--dem-unit is not for grids: a grid holds metres");
  if (raw_dem && job.dem.unit && *job.dem.unit > kMillimetre) {
    usage_error("--dem-unit of a raw DEM is m, dm, cm or mm: it stores whole numbers of one of them");
  }
  if (!job.result_wanted) {
    if (job.result.unit || job.result.corner || job.zone.outside_no_data || !job.result.report_copy.empty()) {
      usage_error("--unit, --corner, --outside nodata and --report are for a RESULT, and the table has none");
    }
    return;
  }
  if (raw_result && !raw_dem && !job.result.unit) {
    usage_error("--unit m|dm|cm|mm is required for a raw result made from a grid or a GDAL raster: the unit of its "
                "stored values");
  }
  if (job.result.unit && !(raw_result && !raw_dem)) {
    usage_error("--unit is for a raw result made from a grid or a GDAL raster (a raw DEM's result keeps its unit)");
  }
  if (job.result.unit && *job.result.unit > kMillimetre) usage_error("--unit is m, dm, cm or mm");
  if (job.result.corner && !(!raw_result && raw_dem)) {
    usage_error("--corner is for a grid or GeoTIFF result made from a raw DEM (the other DEMs give their own corner)");
  }
  if (job.dem.pixel_size && !raw_dem && !gdal_dem) usage_error("--pixel-size is not for grids: a grid gives its own");
  if (job.zone.outside_no_data && raw_result) {
    usage_error("--outside nodata is for grid results: a raw raster has no no-data marker of its own");
  }
  if (size_given && !raw_dem && job.mask.layout != MaskLayout::raw) {
    usage_error("--size is for a raw DEM or raw mask without descriptor");
  }
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

}  // namespace

CommandLine parse_command_line(const std::vector<std::string>& arguments) {
  CommandLine command;
  Job& job = command.job;
  std::vector<std::string> names;
  bool code_given = false, size_given = false, options_end = false;
  for (std::size_t k = 0; k < arguments.size(); ++k) {
    std::string flag = arguments[k];
    if (options_end || flag.size() < 2 || flag[0] != '-') {
      names.push_back(flag);
      continue;
    }
    if (flag == "--") {
      options_end = true;
      continue;
    }
    std::optional<std::string> attached;
    if (const std::size_t equals = flag.find('='); flag.rfind("--", 0) == 0 && equals != std::string::npos) {
      attached = flag.substr(equals + 1);
      flag = flag.substr(0, equals);
    }
    auto value = [&]() -> std::string {
      if (attached) return *attached;
      if (k + 1 >= arguments.size()) usage_error(flag + " needs a value");
      return arguments[++k];
    };
    auto no_value = [&] {
      if (attached) usage_error(flag + " takes no value");
    };
    if (flag == "-h" || flag == "--help") {
      no_value();
      command.help = true;
    } else if (flag == "--version") {
      no_value();
      command.version = true;
    } else if (flag == "-q" || flag == "--quiet") {
      no_value();
      command.quiet = true;
    } else if (flag == "--no-volume") {
      no_value();
      job.zone.voltreat = 1;
    } else if (flag == "-c" || flag == "--code") {
      job.zone.code = whole_number("-c/--code", value());
      code_given = true;
    } else if (flag == "-a" || flag == "--outside") {
      const std::string v = value();
      job.zone.outside_no_data = v == "nodata";
      if (!job.zone.outside_no_data) job.zone.outside_m = finite_number("-a/--outside", v);
    } else if (flag == "--dem-unit") {
      job.dem.unit = unit_of(flag, value());
    } else if (flag == "--unit") {
      job.result.unit = unit_of(flag, value());
    } else if (flag == "--corner") {
      const auto [x, y] = pair_of(flag, value(), "X,Y (two numbers)");
      job.result.corner = Corner{finite_number("--corner", x), finite_number("--corner", y)};
    } else if (flag == "--size") {
      const auto [lines, columns] = pair_of(flag, value(), "LINES,COLUMNS (two whole numbers)");
      const int l = whole_number("--size", lines), c = whole_number("--size", columns);
      if (l < 1 || c < 1) usage_error("--size takes at least one line and one column");
      job.dem.lines = job.mask.lines = l;
      job.dem.columns = job.mask.columns = c;
      size_given = true;
    } else if (flag == "--pixel-size") {
      const double size = finite_number(flag, value());
      if (!valid_pixel_size(size) || size <= 0.0) usage_error("--pixel-size takes a number of metres above 0 and below 2147483648");
      job.dem.pixel_size = size;
    } else if (flag == "--table") {
      const std::string v = value();
      const bool csv = ends_with(v, ".csv"), json = ends_with(v, ".json");
      if (v != "-" && !csv && !json) usage_error("--table takes a file name ending in .csv or .json, or - for CSV on standard output");
      if (!job.table) job.table = TableChoice{};
      job.table->path = v == "-" ? v : absolute_path(v);
    } else if (flag == "--codes") {
      const std::string v = value();
      std::vector<long long> codes;
      std::size_t start = 0;
      for (;;) {
        const std::size_t comma = v.find(',', start);
        const std::string item = v.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (item.empty()) usage_error("--codes takes whole numbers separated by commas, not \"" + shown(v) + "\"");
        char* end = nullptr;
        const long long code = std::strtoll(item.c_str(), &end, 10);
        if (*end != '\0' || code < -2147483648LL || code > 4294967295LL) {
          usage_error("--codes takes whole numbers of the 32-bit range, not \"" + shown(item) + "\"");
        }
        codes.push_back(code);
        if (comma == std::string::npos) break;
        start = comma + 1;
      }
      if (!job.table) job.table = TableChoice{};
      job.table->codes = codes;
    } else if (flag == "--base") {
      job.zone.base_m = finite_number(flag, value());
    } else if (flag == "--report") {
      const std::string v = value();
      if (v.empty()) usage_error("--report takes a file name, or - for standard output");
      job.result.report_copy = v == "-" ? v : absolute_path(v);
    } else {
      usage_error("unknown option \"" + shown(flag) + "\"");
    }
  }
  if (command.help || command.version) {
    if (arguments.size() > 1) usage_error(std::string(command.help ? "--help" : "--version") + " comes alone");
    return command;
  }
  if (job.table && job.table->path.empty()) usage_error("--codes needs --table FILE");
  const std::size_t least = job.table ? 2 : 3;
  if (names.size() < least || names.size() > 3) {
    usage_error(names.size() < least ? (job.table ? "DEM and MASK are required" : "DEM, MASK and RESULT are required")
                                     : "too many files: \"" + shown(names[3]) + "\"");
  }
  read_dem_name(job.dem, names[0]);
  read_mask_name(job.mask, names[1]);
  job.result_wanted = names.size() == 3;
  if (job.result_wanted) read_result_name(job.result, names[2]);
  if (!size_given) job.mask.lines.reset(), job.mask.columns.reset();
  check_choices(job, code_given, size_given);
  return command;
}

int run_command_line(CommandLine command, std::ostream& out, std::ostream& errors) {
  NoteLines note_lines(errors);
  std::ostream notes(&note_lines);
  ProgressLine progress(errors, !command.quiet && errors_go_to_console());
  RunState st;
  st.job = command.job;
  try {
    const WrittenResult written = run_job(st, out, notes, [&](const char* pass, int line, int lines) {
      progress(pass, line, lines);
    });
    if (!st.job.result_wanted) return 0;
    const std::string& copy = st.job.result.report_copy;
    if (copy == "-") {
      out << written.report;
    } else if (!copy.empty()) {
      OutputFile report;
      report.create(copy);
      report.write(written.report);
      report.publish();
    }
    if (errors_go_to_console()) {
      std::string names;
      for (const std::string& name : written.names) names += (names.empty() ? "" : ", ") + name;
      errors << "mesacrop: written in " << st.folder << ": " << names;
      if (st.job.zone.volume()) errors << "; volume " << shortest_text(st.zone.vol_tot) << " m3";
      errors << "\n";
    }
    return 0;
  } catch (const FatalStop& stop) {
    errors << "mesacrop: " << one_line(stop.message) << "\n";
  } catch (const MissingChoice& missing) {
    errors << "mesacrop: " << missing.message << "\n\n";
    usage(errors, "");
    return 2;
  } catch (const std::bad_alloc&) {
    errors << "mesacrop: not enough memory for this DEM\n";
  }
  return 1;
}

void usage(std::ostream& out, const std::string& images_dir) {
  out << "mesacrop " << kVersion << ": extracts a zone from a Digital Elevation Model (DEM) through a mask,\n"
      << "computes the zone's volume and writes the result as a new DEM with a report.\n\n"
      << "usage: mesacrop [OPTIONS] DEM MASK RESULT\n"
      << "       mesacrop --table FILE [OPTIONS] DEM MASK [RESULT]\n"
      << "                            every zone of the mask in one pass: a CSV or JSON table\n"
      << "       mesacrop             the dialog on the console asks every choice\n"
      << "       mesacrop --help      this text\n"
      << "       mesacrop --version   the version\n\n"
      << "  DEM     NAME_m2.raw, NAME_m4.raw (raw 16/32-bit, with NAME_m2.txt / NAME_m4.txt), NAME.asc (ASCII grid)\n"
      << "  MASK    NAME.raw (with NAME.txt), NAME.bmp\n"
      << "  RESULT  RES_m2.raw, RES_m4.raw (raw 16/32-bit, with RES_m2.txt, .hdr, .json), RES.asc (with RES.json)\n";
  if (gdal_available()) {
    out << "  and through GDAL: any raster it reads as DEM or MASK (GeoTIFF...), RES.tif as RESULT (with RES.json)\n";
  }
  out << "\n"
      << "  -c, --code N          the mask code of the zone (required, but for --table alone)\n"
      << "  -a, --outside ALT     the altitude of the cells outside the zone, in metres (default 0);\n"
      << "                        nodata: the grid result's no-data marker\n"
      << "      --no-volume       do not compute the volume\n"
      << "      --dem-unit U      unit of a raw DEM's stored values: m, dm, cm or mm (required for a raw DEM);\n"
      << "                        of a GDAL raster's altitudes (also ft, us-ft), when its band's unit is not right\n"
      << "      --unit U          unit of a raw result made from a grid or a GDAL raster (required then)\n"
      << "      --corner X,Y      lower-left corner of a grid or GeoTIFF result made from a raw DEM\n"
      << "                        (required unless a .hdr beside the DEM places it)\n"
      << "      --size L,C        lines and columns of a raw DEM or mask without descriptor\n"
      << "      --pixel-size S    pixel size in metres of a raw DEM without descriptor (or whose descriptor gives 0),\n"
      << "                        or of a GDAL raster without georeferencing\n"
      << "      --report FILE     also write the JSON report to FILE (- for standard output)\n"
      << "      --table FILE      the table of every zone: FILE.csv, FILE.json, or - (CSV on standard output)\n"
      << "      --codes A,B,C     the table's rows: these codes only (by default every code the mask holds)\n"
      << "      --base ALT        also the volumes above and below this altitude, in metres\n"
      << "  -q, --quiet           no progress lines\n\n"
      << "Exit status: 0 result written, 1 failed run, 2 usage error.\n";
  if (!images_dir.empty()) {
    out << "The dialog looks for its folders under " << images_dir
        << " (the environment variable MESACROP_IMAGES names another directory).\n";
  }
  out << "See man mesacrop, or README.md beside the tool's sources.\n";
}
