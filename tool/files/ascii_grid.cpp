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
#include <cstring>
#include <cmath>
#include <vector>

#include "fatal.h"
#include "formats.h"
#include "nrutil.h"
#include "output_file.h"
#include "parallel.h"
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
  out.append(shown(word.substr(0, kShown)));
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
    : path_(std::move(path)), tokens_(std::make_unique<TokenReader>(f, path_)) {
  // Every value takes at least two characters (a digit and a blank), but the
  // last one of the file.
  parsed_ = new_vector(dvecteur, frdvecteur, tokens_->chunk_bytes() / 2 + static_cast<std::size_t>(worker_count()) + 1,
                       "grid values");
}

GridReader::~GridReader() = default;

RasterGeometry GridReader::read_header() {
  RasterGeometry header;
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
  header.placed = true;
  header.nodata = values[kNodata];
  header.has_nodata = seen[kNodata];
  header_ = header;
  return header;
}

std::uint64_t GridReader::max_values_left() const {
  // Every value but the last needs at least one character and one blank.
  return (tokens_->bytes_left() + 1) / 2;
}

namespace {

// The values of one piece of a chunk of grid text, parsed on a core of its
// own into its part of the values' vector.
struct Piece {
  std::string_view text;
  double* values = nullptr;
  std::size_t count = 0;
  std::string_view fault;  // the first token that is not a number
};

void parse_piece(Piece& piece) {
  const char* p = piece.text.data();
  const char* const end = p + piece.text.size();
  for (;;) {
    while (p != end && is_blank(*p)) ++p;
    if (p == end) return;
    const char* const token = p;
    bool ok = false;
    p = scan_real(token, end, piece.values[piece.count], ok);
    if (!ok) {
      piece.fault = std::string_view(token, static_cast<std::size_t>(p - token));
      return;
    }
    ++piece.count;
  }
}

}  // namespace

bool GridReader::parse_more() {
  const std::string_view text = tokens_->next_tokens();
  if (text.empty()) return false;
  // Pieces of about equal length, each ending at a blank; small texts are one.
  constexpr std::size_t kSmallText = 64 * 1024;
  const int pieces_wanted = text.size() < kSmallText ? 1 : worker_count();
  std::vector<Piece> pieces;
  std::size_t start = 0, room = 0;
  for (int k = 0; k < pieces_wanted && start < text.size(); ++k) {
    std::size_t stop = k + 1 == pieces_wanted ? text.size() : text.size() * static_cast<std::size_t>(k + 1) / pieces_wanted;
    while (stop < text.size() && !is_blank(text[stop])) ++stop;
    stop = std::max(stop, start);
    Piece piece;
    piece.text = text.substr(start, stop - start);
    piece.values = parsed_.data() + room;
    pieces.push_back(piece);
    room += (stop - start) / 2 + 1;
    start = stop;
  }
  run_in_parallel(static_cast<int>(pieces.size()), [&pieces](int k) { parse_piece(pieces[static_cast<std::size_t>(k)]); });

  // The pieces' values one after the other, up to the first fault.
  parsed_count_ = 0;
  taken_ = 0;
  for (const Piece& piece : pieces) {
    std::memmove(parsed_.data() + parsed_count_, piece.values, piece.count * sizeof(double));
    parsed_count_ += piece.count;
    if (!piece.fault.empty()) {
      has_fault_ = true;
      fault_.assign(piece.fault);
      break;
    }
  }
  return true;
}

void GridReader::read_lines(double* const* rows, int first, int count, int column, int width,
                            const LineProgress& progress) {
  for (int k = 0; k < count; ++k) {
    const int line = first + k;
    if (column == 0) progress(line);
    double* row = rows[k];
    for (int j = 0; j < width;) {
      if (taken_ == parsed_count_) {
        if (has_fault_) {
          fatal_stop(text("\n\n\tThe grid %s holds %s at line %d, column %d, which is not a number\n",
                          path_.c_str(), quoted(fault_).c_str(), line, column + j));
        }
        if (!parse_more()) {
          fatal_stop(text("\n\n\tThe grid %s ends too early: line %d, column %d is missing "
                          "(%d lines x %d columns expected)\n",
                          path_.c_str(), line, column + j, header_.nb_lig, header_.nb_col));
        }
        continue;
      }
      const std::size_t n = std::min(parsed_count_ - taken_, static_cast<std::size_t>(width - j));
      std::memcpy(row + j, parsed_.data() + taken_, n * sizeof(double));
      // A value beyond the doubles (1e400), or an infinity or a nan, would
      // make every figure of the zone meaningless: only the no-data marker
      // may be one.
      for (std::size_t c = 0; c < n; ++c) {
        const double v = row[static_cast<std::size_t>(j) + c];
        if (!std::isfinite(v) && !header_.no_data(v)) {
          fatal_stop(text("\n\n\tThe grid %s holds %s at line %d, column %d, which is not a finite number "
                          "(and not its NODATA_value)\n",
                          path_.c_str(), shortest_text(v).c_str(), line, column + j + static_cast<int>(c)));
        }
      }
      taken_ += n;
      j += static_cast<int>(n);
    }
  }
}

bool GridReader::has_more_values() {
  if (taken_ < parsed_count_ || has_fault_) return true;
  return !tokens_->next().empty();
}

GridWriter::GridWriter(OutputFile& out, const RasterGeometry& g) : out_(out) {
  out_.write(text("ncols %d\n", g.nb_col));
  out_.write(text("nrows %d\n", g.nb_lig));
  // "%lf" where it reads back as the same number, else the shortest form
  // that does: a grid in degrees keeps its corner and cell size exactly.
  out_.write("xllcorner " + pixel_size_text(g.X_min) + "\n");
  out_.write("yllcorner " + pixel_size_text(g.Y_min) + "\n");
  out_.write("cellsize " + pixel_size_text(g.map_cell()) + "\n");
  out_.write("nodata_value -9999.9999\n");
  pieces_.resize(static_cast<std::size_t>(worker_count()));
  lengths_.resize(pieces_.size());
}

void GridWriter::write_lines(const double* const* rows, int count, int width) {
  const std::size_t cells = static_cast<std::size_t>(count) * static_cast<std::size_t>(width);
  const std::size_t workers = cells < 4096 ? 1 : pieces_.size();
  run_in_parallel(static_cast<int>(workers), [&](int k) {
    std::string& piece = pieces_[static_cast<std::size_t>(k)];
    const std::size_t first = cells * static_cast<std::size_t>(k) / workers;
    const std::size_t last = cells * static_cast<std::size_t>(k + 1) / workers;
    const std::size_t nb_col = static_cast<std::size_t>(width);
    // Room for the usual values; a value needs kMaxFixedChars at most.
    piece.resize(std::max(piece.size(), (last - first) * 16 + kMaxFixedChars + 1));
    std::size_t used = 0;
    std::size_t i = first / nb_col, j = first % nb_col;
    for (std::size_t c = first; c < last; ++c) {
      if (piece.size() - used <= kMaxFixedChars) piece.resize(piece.size() * 2);
      char* const start = piece.data() + used;
      char* end = format_fixed6(rows[i][j], start);
      *end++ = '\t';
      used += static_cast<std::size_t>(end - start);
      if (++j == nb_col) ++i, j = 0;
    }
    lengths_[static_cast<std::size_t>(k)] = used;
  });
  for (std::size_t k = 0; k < workers; ++k) out_.write(pieces_[k].data(), lengths_[k]);
}
