#include "bands.h"

#include <algorithm>

#include "fatal.h"
#include "files/formats.h"
#include "files/input_file.h"
#include "nrutil.h"
#include "text.h"

namespace {

// The DEM, band by band, in metres.
class DemLines {
 public:
  DemLines(RunState& st, int lines)
      : dem_(st.dem), coef_(st.coef), rows_(new_matrix(dmatrice, frdmatrice, dem_.geometry.nb_col, lines, "DEM lines")) {
    dem_.spill.rewind();
    if (dem_.format == 0 && dem_.spill.usable()) return;
    file_ = open_required(dem_.path);
    if (dem_.format == 1) {
      const std::size_t line_bytes =
          static_cast<std::size_t>(dem_.geometry.nb_col) * static_cast<std::size_t>(raw_type(dem_.itype).cell_bytes);
      bytes_ = new_vector(ucvecteur, frucvecteur, line_bytes * static_cast<std::size_t>(lines), "DEM lines");
      return;
    }
    grid_ = std::make_unique<GridReader>(file_.get(), dem_.path);
    const RasterGeometry again = grid_->read_header();
    if (again.nb_lig != dem_.geometry.nb_lig || again.nb_col != dem_.geometry.nb_col) {
      fatal_stop(text("\n\n\tThe grid %s changed while the run was reading it\n", dem_.path.c_str()));
    }
  }

  void read(Band& band, BandCells cells) {
    const int nb_col = dem_.geometry.nb_col;
    if (!file_) {
      for (int k = 0; k < band.count; ++k) {
        if (!dem_.spill.read(rows_[k], static_cast<std::size_t>(nb_col))) {
          fatal_stop(text("\n\n\tThe cells of the grid %s could not be read back from the run's temporary file\n",
                          dem_.path.c_str()));
        }
      }
      band.altitude = rows_.get();
      return;
    }
    if (grid_) {
      grid_->read_lines(rows_.get(), band.first, band.count, nb_col, [](int) {});
      band.altitude = rows_.get();
      return;
    }
    const RawType& type = raw_type(dem_.itype);
    const std::size_t line_bytes = static_cast<std::size_t>(nb_col) * static_cast<std::size_t>(type.cell_bytes);
    read_raw_lines(file_.get(), dem_.path, bytes_.data(), line_bytes, band.first, band.count);
    band.stored = bytes_.data();
    if (cells == BandCells::stored) return;
    for (int k = 0; k < band.count; ++k) {
      raw_to_metres(bytes_.data() + line_bytes * static_cast<std::size_t>(k), static_cast<std::size_t>(nb_col), type,
                    coef_, rows_[k]);
    }
    band.altitude = rows_.get();
  }

 private:
  DemInput& dem_;
  double coef_;
  InputFile file_;
  Matrix<double> rows_;
  Vector<unsigned char> bytes_;
  std::unique_ptr<GridReader> grid_;
};

// The mask, band by band, with one line above and below. A raw mask is read
// line by line into a window that slides down the file; a bitmap is at hand.
class MaskLines {
 public:
  MaskLines(const RunState& st, int lines) : mask_(st.mask), nb_lig_(st.dem.geometry.nb_lig), rows_(lines + 2) {
    if (mask_.mask_type == 0) return;
    file_ = open_required(mask_.path);
    window_ = new_matrix(ucmatrice, frucmatrice, st.dem.geometry.nb_col, rows_, "mask lines");
    nb_col_ = st.dem.geometry.nb_col;
  }

  // Rows for lines first - 1 .. first + count; index 0 is line `first`.
  const unsigned char* const* read(int first, int count) {
    if (mask_.mask_type == 0) return mask_.bitmap.get() + first;
    // Row r of the window holds line base_ + r; the lines still needed move up.
    const int shift = (first - 1) - base_;
    unsigned char** table = window_.get();
    std::rotate(table, table + shift, table + rows_);
    base_ = first - 1;
    const int wanted_end = std::min(first + count + 1, nb_lig_);
    for (; loaded_end_ < wanted_end; ++loaded_end_) {
      read_raw_lines(file_.get(), mask_.path, table[loaded_end_ - base_], static_cast<std::size_t>(nb_col_),
                     loaded_end_, 1);
    }
    return table + 1;
  }

 private:
  const MaskInput& mask_;
  int nb_lig_, nb_col_ = 0;
  int rows_;
  InputFile file_;
  Matrix<unsigned char> window_;
  int base_ = -1;        // the line in row 0 of the window
  int loaded_end_ = 0;   // the next line of the file
};

}  // namespace

int band_lines(const RasterGeometry& g) {
  return static_cast<int>(std::clamp(kBandCells / std::max(g.nb_col, 1), 1LL, static_cast<long long>(g.nb_lig)));
}

void for_each_band(RunState& st, const std::function<void(const Band&)>& work, BandCells cells) {
  const RasterGeometry& g = st.dem.geometry;
  const int lines = band_lines(g);
  DemLines dem(st, lines);
  MaskLines mask(st, lines);
  for (int first = 0; first < g.nb_lig; first += lines) {
    const int count = std::min(lines, g.nb_lig - first);
    Band band;
    band.first = first;
    band.count = count;
    dem.read(band, cells);
    band.mask = mask.read(first, count);
    work(band);
  }
}
