#include "bands.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "matrix.h"
#include "nrutil.h"
#include "raster/source.h"

namespace {

// The mask, band by band, with one line above and below and, on pieces of
// lines, one cell left and right.
class MaskLines {
 public:
  MaskLines(MaskSource& source, const RasterGeometry& g, const BandShape& shape, MaskCells cells, long long code)
      : file_(source), nb_lig_(g.nb_lig), nb_col_(g.nb_col), rows_(shape.lines + 2), whole_lines_(shape.width == nb_col_) {
    file_.begin_pass(cells, code);
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

  void finish() { file_.end_pass(); }
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

  MaskSource& file_;
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

void for_each_band(DemSource& dem, DemSource* reference, MaskSource& mask_source, const std::function<void(const Band&)>& work,
                   BandCells cells, MaskCells mask_cells, long long code) {
  const RasterGeometry& g = dem.facts().geometry;
  const BandShape shape = band_shape(g);
  dem.begin_pass(shape);
  if (reference != nullptr) reference->begin_pass(shape);
  MaskLines mask(mask_source, g, shape, mask_cells, code);
  for (int first = 0; first < g.nb_lig; first += shape.lines) {
    for (int column = 0; column < g.nb_col; column += shape.width) {
      Band band;
      band.first = first;
      band.count = std::min(shape.lines, g.nb_lig - first);
      band.column = column;
      band.width = std::min(shape.width, g.nb_col - column);
      dem.read(band, cells);
      if (reference != nullptr) {
        Band surface = band;
        reference->read(surface, BandCells::metres);
        band.reference = surface.altitude;
      }
      band.mask = mask.read(band);
      band.mask_cell_bytes = mask.cell_bytes();
      band.mask_codes = &mask.codes();
      work(band);
    }
  }
  dem.end_pass();
  if (reference != nullptr) reference->end_pass();
  mask.finish();
}
