// ASCII grids (NAME.asc):
//
//   ncols 222
//   nrows 200
//   xllcorner 739890.000000
//   yllcorner 4037760.000000
//   cellsize 90.000000
//   nodata_value -9999.9999
//   580.900000<TAB>581.200000<TAB>...          (lines x columns values)
//
// The tool writes this header and then every value as "%lf" and a tab, with no
// line end anywhere in the body. It reads what GIS tools write too: keywords
// in any case and order, xllcenter/yllcenter, no nodata_value line, any blanks
// and line ends between values.
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <vector>

#include "fatal.h"
#include "formats.h"
#include "output_file.h"
#include "text.h"
#include "token_reader.h"

namespace {

enum Key { kNcols, kNrows, kXll, kYll, kCellsize, kNodata, kKeyCount };

const char* const kKeyNames[kKeyCount] = {"ncols", "nrows", "xllcorner", "yllcorner", "cellsize", "nodata_value"};

std::string lower(std::string_view word) {
  std::string out(word);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// A word quoted in a message, cut short when it is long.
std::string quoted(std::string_view word) {
  constexpr std::size_t kShown = 40;
  std::string out = "\"";
  out.append(word.substr(0, kShown));
  out.append(word.size() > kShown ? "...\"" : "\"");
  return out;
}

bool is_number(std::string_view token) {
  double ignored = 0.0;
  return parse_real(token.data(), token.data() + token.size(), ignored);
}

bool parse_count(std::string_view token, int& value) {
  const char* first = token.data() + (!token.empty() && token[0] == '+' ? 1 : 0);
  const char* last = token.data() + token.size();
  const auto [end, error] = std::from_chars(first, last, value);
  return first != last && error == std::errc() && end == last;
}

}  // namespace

GridReader::GridReader(std::FILE* f, std::string path)
    : path_(std::move(path)), tokens_(std::make_unique<TokenReader>(f, path_)) {}

GridReader::~GridReader() = default;

GridHeader GridReader::read_header() {
  GridHeader header;
  bool seen[kKeyCount] = {};
  bool x_center = false, y_center = false;
  double values[kKeyCount] = {};
  for (;;) {
    const std::string_view token = tokens_->next();
    if (token.empty()) break;
    if (is_number(token)) {
      tokens_->unread(token);
      break;
    }
    const std::string word(token);  // the view does not outlive the next read
    const std::string key = lower(word);
    int which = -1;
    for (int k = 0; k < kKeyCount; ++k) {
      if (key == kKeyNames[k]) which = k;
    }
    if (key == "xllcenter") which = kXll, x_center = true;
    if (key == "yllcenter") which = kYll, y_center = true;
    if (key == "dx" || key == "dy") {
      fatal_stop(text("\n\n\tThe grid %s gives its cell size as %s: cells that are not square "
                      "(dx, dy) are not supported\n",
                      path_.c_str(), quoted(word).c_str()));
    }
    if (which < 0) {
      fatal_stop(text("\n\n\tThe grid %s has an unknown keyword %s in its header\n", path_.c_str(),
                      quoted(word).c_str()));
    }
    if (seen[which]) {
      fatal_stop(text("\n\n\tThe grid %s gives %s twice in its header\n", path_.c_str(), kKeyNames[which]));
    }
    seen[which] = true;
    const std::string_view value = tokens_->next();
    const bool count = which == kNcols || which == kNrows;
    // A corner that is not finite would make a result no GIS tool opens.
    const bool corner = which == kXll || which == kYll;
    const bool read = count ? parse_count(value, which == kNcols ? header.nb_col : header.nb_lig)
                            : parse_real(value.data(), value.data() + value.size(), values[which]) &&
                                  (!corner || std::isfinite(values[which]));
    if (!read) {
      fatal_stop(text("\n\n\tThe grid %s has no valid %s for the keyword %s (found %s)\n", path_.c_str(),
                      count ? "whole number" : "number", quoted(word).c_str(), quoted(value).c_str()));
    }
  }
  for (int k = kNcols; k <= kCellsize; ++k) {
    if (!seen[k]) {
      fatal_stop(text("\n\n\tThe grid %s has no %s line in its header\n", path_.c_str(), kKeyNames[k]));
    }
  }
  header.dpix_size = values[kCellsize];
  header.X_min = x_center ? values[kXll] - 0.5 * header.dpix_size : values[kXll];
  header.Y_min = y_center ? values[kYll] - 0.5 * header.dpix_size : values[kYll];
  header.nodata = values[kNodata];
  header.has_nodata = seen[kNodata];
  return header;
}

std::uint64_t GridReader::max_values_left() const {
  // Every value but the last needs at least one character and one blank.
  return (tokens_->bytes_left() + 1) / 2;
}

void GridReader::read_cells(double** dtab, int nb_lig, int nb_col, const LineProgress& progress) {
  for (int i = 0; i < nb_lig; ++i) {
    progress(i);
    double* row = dtab[i];
    for (int j = 0; j < nb_col; ++j) {
      const std::string_view token = tokens_->next();
      if (token.empty()) {
        fatal_stop(text("\n\n\tThe grid %s ends too early: line %d, column %d is missing "
                        "(%d lines x %d columns expected)\n",
                        path_.c_str(), i, j, nb_lig, nb_col));
      }
      if (!parse_real(token.data(), token.data() + token.size(), row[j])) {
        fatal_stop(text("\n\n\tThe grid %s holds %s at line %d, column %d, which is not a number\n",
                        path_.c_str(), quoted(token).c_str(), i, j));
      }
    }
  }
}

void write_ascii_grid(OutputFile& out, const double* const* dtab, int nb_lig, int nb_col, double X_min,
                      double Y_min, double dpix_size, const LineProgress& progress) {
  out.write(text("ncols %d\n", nb_col));
  out.write(text("nrows %d\n", nb_lig));
  out.write(text("xllcorner %lf\n", X_min));
  out.write(text("yllcorner %lf\n", Y_min));
  out.write(text("cellsize %lf\n", dpix_size));
  out.write("nodata_value -9999.9999\n");

  std::vector<char> buffer(4u << 20);
  char* const limit = buffer.data() + buffer.size() - (kMaxFixedChars + 1);
  char* p = buffer.data();
  for (int i = 0; i < nb_lig; ++i) {
    progress(i);
    const double* row = dtab[i];
    for (int j = 0; j < nb_col; ++j) {
      if (p > limit) {
        out.write(buffer.data(), static_cast<std::size_t>(p - buffer.data()));
        p = buffer.data();
      }
      p = format_fixed6(row[j], p);
      *p++ = '\t';
    }
  }
  out.write(buffer.data(), static_cast<std::size_t>(p - buffer.data()));
}
