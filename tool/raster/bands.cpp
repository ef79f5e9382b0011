#include "bands.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "fatal.h"
#include "files/formats.h"
#include "files/input_file.h"
#include "nrutil.h"
#include "text.h"
#include "work/work.h"
#include "zone/zone_table.h"

namespace {

// The DEM, band by band, in metres or as stored.
class DemLines {
 public:
  DemLines(RunState& st, const BandShape& shape)
      : dem_(st.dem), choice_(st.job.dem), coef_(st.coef),
        rows_(new_matrix(dmatrice, frdmatrice, shape.width, st.job.dem.layout == DemLayout::gdal ? 1 : shape.lines,
                         "DEM lines")) {
    file_ = open_required(choice_.path);
    check_unchanged(file_.get(), choice_.path, dem_.stamp);
    dem_.spill.rewind();
    if (choice_.layout == DemLayout::gdal) {
      // Its lines one after the other, for one request a band.
      gdal_ = std::make_unique<GdalReader>(choice_.path, choice_.band.value_or(1), "DEM");
      block_.resize(static_cast<std::size_t>(shape.cells()));
      for (int k = 0; k < shape.lines; ++k) block_rows_.push_back(block_.data() + static_cast<std::size_t>(k) * shape.width);
      return;
    }
    if (grid() && dem_.spill.usable()) return;
    if (!grid()) {
      bytes_ = new_vector(ucvecteur, frucvecteur,
                          static_cast<std::size_t>(shape.cells()) * static_cast<std::size_t>(raw_type(choice_.itype).cell_bytes),
                          "DEM lines");
      return;
    }
    grid_ = std::make_unique<GridReader>(file_.get(), choice_.path);
    const RasterGeometry again = grid_->read_header();
    if (again.nb_lig != dem_.geometry.nb_lig || again.nb_col != dem_.geometry.nb_col) {
      fatal_stop(text("\n\n\tThe grid %s changed while the run was reading it\n", choice_.path.c_str()));
    }
  }

  void read(Band& band, BandCells cells) {
    const auto width = static_cast<std::size_t>(band.width);
    band.altitude = rows_.get();
    if (gdal_) {
      band.altitude = block_rows_.data();
      gdal_->read_altitudes(band.first, band.count, band.column, band.width, block_rows_.data(), dem_.vertical_unit,
                            dem_.geometry.nodata);
      return;
    }
    if (grid() && !grid_) {
      for (int k = 0; k < band.count; ++k) {
        if (!dem_.spill.read(rows_[k], width)) {
          fatal_stop(text("\n\n\tThe cells of the grid %s could not be read back from the run's temporary file\n",
                          choice_.path.c_str()));
        }
      }
      return;
    }
    if (grid_) {
      grid_->read_lines(rows_.get(), band.first, band.count, band.column, band.width, [](int) {});
      return;
    }
    const RawType& type = raw_type(choice_.itype);
    const std::size_t line_bytes = width * static_cast<std::size_t>(type.cell_bytes);
    read_raw_lines(file_.get(), choice_.path, bytes_.data(), line_bytes, band.first, band.count);
    band.stored = bytes_.data();
    if (cells == BandCells::stored) return;
    for (int k = 0; k < band.count; ++k) {
      raw_to_metres(bytes_.data() + line_bytes * static_cast<std::size_t>(k), width, type, coef_, rows_[k]);
    }
  }

  // The file was the same all along.
  void finish() { check_unchanged(file_.get(), choice_.path, dem_.stamp); }

 private:
  bool grid() const { return choice_.layout == DemLayout::ascii_grid; }

  DemInput& dem_;
  const DemChoice& choice_;
  double coef_;
  InputFile file_;
  Matrix<double> rows_;
  Vector<unsigned char> bytes_;
  std::unique_ptr<GridReader> grid_;
  std::unique_ptr<GdalReader> gdal_;
  std::vector<double> block_;
  std::vector<double*> block_rows_;
};

// A mask file, read a segment of a line at a time: a raw mask's bytes, or a
// bitmap's pixels (a 24-bit pixel is its first byte: its three are equal,
// as loading checked).
class MaskFile {
 public:
  MaskFile(const RunState& st, bool codes)
      : mask_(st.mask), choice_(st.job.mask), file_(open_required(choice_.path)), code_(st.job.zone.code),
        codes_mode_(codes) {
    check_unchanged(file_.get(), choice_.path, mask_.stamp);
    if (choice_.layout == MaskLayout::gdal) {
      gdal_ = std::make_unique<GdalReader>(choice_.path, choice_.band.value_or(1), "mask");
    }
  }

  // `count` whole lines from `first`, in order; a raw mask is read on from
  // where the last read ended.
  void read_lines(int first, int count, int nb_col, unsigned char* const* rows) {
    if (gdal_) {
      read_gdal(first, count, 0, nb_col, rows);
      return;
    }
    if (choice_.layout == MaskLayout::raw) {
      for (int k = 0; k < count; ++k) {
        read_raw_lines(file_.get(), choice_.path, rows[k], static_cast<std::size_t>(nb_col), first + k, 1);
      }
      return;
    }
    read_bitmap(first, count, 0, nb_col, rows);
  }

  // Columns column .. column + width - 1 of one line.
  void read_segment(int line, int column, int width, int nb_col, unsigned char* out) {
    if (gdal_) {
      read_gdal(line, 1, column, width, &out);
      return;
    }
    if (choice_.layout == MaskLayout::raw) {
      const std::uint64_t at = static_cast<std::uint64_t>(line) * static_cast<std::uint64_t>(nb_col) +
                               static_cast<std::uint64_t>(column);
      if (!seek_to(file_.get(), at)) cut_short(line);
      read_raw_lines(file_.get(), choice_.path, out, static_cast<std::size_t>(width), line, 1);
      return;
    }
    read_bitmap(line, 1, column, width, &out);
  }

  void finish() { check_unchanged(file_.get(), choice_.path, mask_.stamp); }
  int cell_bytes() const { return gdal_ && codes_mode_ ? 4 : 1; }
  const std::vector<long long>& codes() const { return codes_; }

 private:
  [[noreturn]] void cut_short(int line) {
    fatal_stop(text("\n\n\tThe file %s could not be read at line %d\n", choice_.path.c_str(), line));
  }

  void read_bitmap(int first, int count, int column, int width, unsigned char* const* rows) {
    const BmpLayout& layout = mask_.bitmap;
    if (layout.taille == 1) {
      if (!LignesBMP(file_.get(), layout, first, count, column, width, rows)) cut_short(first);
      return;
    }
    pixels_.resize(static_cast<std::size_t>(count) * static_cast<std::size_t>(width) * 3);
    std::vector<unsigned char*> staged(static_cast<std::size_t>(count));
    for (int k = 0; k < count; ++k) staged[static_cast<std::size_t>(k)] = pixels_.data() + static_cast<std::size_t>(k) * width * 3;
    if (!LignesBMP(file_.get(), layout, first, count, column, width, staged.data())) cut_short(first);
    for (int k = 0; k < count; ++k) {
      for (int j = 0; j < width; ++j) rows[k][j] = staged[static_cast<std::size_t>(k)][3 * j];
    }
  }

  // A GDAL mask's codes, as 1 in the zone and 0 elsewhere (its no-data
  // cells in no zone), or as indices of codes.
  void read_gdal(int first, int count, int column, int width, unsigned char* const* out) {
    const auto cells = static_cast<std::size_t>(width);
    values_.resize(cells * static_cast<std::size_t>(count));
    valid_.assign(cells * static_cast<std::size_t>(count), 1);
    std::vector<double*> rows(static_cast<std::size_t>(count));
    std::vector<unsigned char*> valid(static_cast<std::size_t>(count));
    for (int k = 0; k < count; ++k) {
      rows[static_cast<std::size_t>(k)] = values_.data() + cells * static_cast<std::size_t>(k);
      valid[static_cast<std::size_t>(k)] = valid_.data() + cells * static_cast<std::size_t>(k);
    }
    const GdalRaster& r = *mask_.gdal;
    gdal_->read(first, count, column, width, rows.data(), r.mask_band ? valid.data() : nullptr);
    // Cells of an integer type are whole codes already: only the no-data
    // value is to be told apart.
    const bool whole = r.integer_cells && !r.mask_band;
    const bool has_nodata = r.nodata.has_value();
    const double nodata = r.nodata.value_or(0.0);
    for (int k = 0; k < count; ++k) {
      const double* row = rows[static_cast<std::size_t>(k)];
      const unsigned char* ok = valid[static_cast<std::size_t>(k)];
      for (std::size_t j = 0; j < cells; ++j) {
        long long code = static_cast<long long>(row[j]);
        const bool zoned =
            whole ? !(has_nodata && row[j] == nodata)
                  : gdal_mask_code(r, choice_.path, row[j], ok[j], first + k, column + static_cast<int>(j), code);
        if (codes_mode_) {
          const std::uint32_t index = zoned ? index_of(code) : kNoZone;
          std::memcpy(out[k] + 4 * j, &index, 4);
        } else {
          out[k][j] = zoned && code == code_ ? 1 : 0;
        }
      }
    }
  }

  // The index of a code, the next one the first time it is met; zones lie in
  // runs, so the last code is tried first.
  std::uint32_t index_of(long long code) {
    if (!codes_.empty() && codes_[last_] == code) return last_;
    auto [at, added] = index_.try_emplace(code, static_cast<std::uint32_t>(codes_.size()));
    if (added) codes_.push_back(code);
    last_ = at->second;
    return last_;
  }

  const MaskInput& mask_;
  const MaskChoice& choice_;
  InputFile file_;
  long long code_;
  bool codes_mode_;
  std::unique_ptr<GdalReader> gdal_;
  std::unordered_map<long long, std::uint32_t> index_;
  std::vector<long long> codes_;
  std::uint32_t last_ = 0;
  std::vector<unsigned char> pixels_;
  std::vector<double> values_;
  std::vector<unsigned char> valid_;
};

// The mask, band by band, with one line above and below and, on pieces of
// lines, one cell left and right.
class MaskLines {
 public:
  MaskLines(const RunState& st, const BandShape& shape, MaskCells cells)
      : file_(st, cells == MaskCells::codes), nb_lig_(st.dem.geometry.nb_lig), nb_col_(st.dem.geometry.nb_col), rows_(shape.lines + 2),
        whole_lines_(shape.width == nb_col_) {
    // Whole lines: a window of lines sliding down the file. Pieces: three
    // segments with a cell of room on each side.
    cell_ = file_.cell_bytes();
    const int row_cells = whole_lines_ ? nb_col_ : shape.width + 2;
    window_ = new_matrix(ucmatrice, frucmatrice, row_cells * cell_, rows_, "mask lines");
    pointers_.resize(static_cast<std::size_t>(rows_));
  }

  // Rows for lines first - 1 .. first + count; index 0 is line `first`.
  const unsigned char* const* read(const Band& band) {
    if (!whole_lines_) return read_piece(band);
    const int first = band.first;
    // Row r of the window holds line base_ + r; the lines still needed move up.
    const int shift = (first - 1) - base_;
    unsigned char** table = window_.get();
    std::rotate(table, table + shift, table + rows_);
    base_ = first - 1;
    const int wanted_end = std::min(first + band.count + 1, nb_lig_);
    if (loaded_end_ < wanted_end) {
      file_.read_lines(loaded_end_, wanted_end - loaded_end_, nb_col_, table + (loaded_end_ - base_));
      loaded_end_ = wanted_end;
    }
    return table + 1;
  }

  void finish() { file_.finish(); }
  int cell_bytes() const { return cell_; }
  const std::vector<long long>& codes() const { return file_.codes(); }

 private:
  const unsigned char* const* read_piece(const Band& band) {
    const int from = std::max(band.column - 1, 0);
    const int to = std::min(band.column + band.width + 1, nb_col_);
    for (int around = -1; around <= 1; ++around) {
      const int line = band.first + around;
      unsigned char* row = window_[around + 1];
      pointers_[static_cast<std::size_t>(around + 1)] = row + cell_;
      if (line < 0 || line >= nb_lig_) continue;
      file_.read_segment(line, from, to - from, nb_col_, row + cell_ * (1 + from - band.column));
    }
    return pointers_.data() + 1;
  }

  MaskFile file_;
  int cell_ = 1;
  int nb_lig_, nb_col_;
  int rows_;
  bool whole_lines_;
  Matrix<unsigned char> window_;
  std::vector<unsigned char*> pointers_;
  int base_ = -1;        // the line in row 0 of the window
  int loaded_end_ = 0;   // the next line of the file
};

}  // namespace

BandShape band_shape(const RasterGeometry& g) {
  if (g.nb_col > kBandCells) return {1, static_cast<int>(kBandCells)};
  int lines = static_cast<int>(std::clamp(kBandCells / std::max(g.nb_col, 1), 1LL, static_cast<long long>(g.nb_lig)));
  // Bands within one row of blocks: a band's blocks, and the result's, are
  // all that GDAL's cache needs to hold.
  if (g.block_lines > 1) {
    while (g.block_lines % lines != 0) --lines;
  }
  return {lines, g.nb_col};
}

void for_each_band(RunState& st, const std::function<void(const Band&)>& work, BandCells cells,
                   MaskCells mask_cells) {
  const RasterGeometry& g = st.dem.geometry;
  const BandShape shape = band_shape(g);
  DemLines dem(st, shape);
  MaskLines mask(st, shape, mask_cells);
  for (int first = 0; first < g.nb_lig; first += shape.lines) {
    for (int column = 0; column < g.nb_col; column += shape.width) {
      Band band;
      band.first = first;
      band.count = std::min(shape.lines, g.nb_lig - first);
      band.column = column;
      band.width = std::min(shape.width, g.nb_col - column);
      dem.read(band, cells);
      band.mask = mask.read(band);
      band.mask_cell_bytes = mask.cell_bytes();
      band.mask_codes = &mask.codes();
      work(band);
    }
  }
  dem.finish();
  mask.finish();
}
