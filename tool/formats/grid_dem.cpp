// ASCII grids (NAME.asc) as DEMs: altitudes in metres, every cell checked
// when the DEM is loaded and parsed once into a spill file of the run's
// folder, from which the passes read them back (from the text again when
// the folder has no room for it).
#include <algorithm>

#include "fatal.h"
#include "files/file_names.h"
#include "files/formats.h"
#include "files/input_file.h"
#include "files/output_file.h"
#include "files/spill_file.h"
#include "formats/coordinates.h"
#include "formats/registry.h"
#include "nrutil.h"
#include "text.h"

namespace {

class GridDem final : public DemSource {
 public:
  explicit GridDem(const DemChoice& choice) : path_(choice.path), file_(open_required(choice.path)) {
    stamp_ = file_stamp(file_.get());
    facts_.size_origin = "its header";
  }

  unsigned needs() const override { return 0; }
  std::string missing_choice(DemNeed) const override { return ""; }

  // Every cell is read now, so that a grid that cannot be read whole stops
  // the run here, before the mask is asked for; the values go to the spill
  // file, from which the later passes read them much faster than from text.
  void load(const DemChoice&, std::ostream& notes, const PassProgress& progress) override {
    reader_ = std::make_unique<GridReader>(file_.get(), path_);
    facts_.geometry = reader_->read_header();
    RasterGeometry& g = facts_.geometry;
    check_dimensions(g.nb_lig, g.nb_col, "The grid " + path_);
    check_pixel_size(g.dpix_size, "The grid " + path_);
    facts_.areas.planar_m2 = g.dpix_size * g.dpix_size;
    if (static_cast<std::uint64_t>(g.cells()) > reader_->max_values_left()) {
      fatal_stop(text("\n\n\tThe grid %s announces %d lines x %d columns, more values than the file can hold\n",
                      path_.c_str(), g.nb_lig, g.nb_col));
    }
    spill_.create(folder_of(path_));
    const BandShape shape = band_shape(g);
    Matrix<double> band = new_matrix(dmatrice, frdmatrice, shape.width, shape.lines, "DEM lines");
    for (int first = 0; first < g.nb_lig; first += shape.lines) {
      const int count = std::min(shape.lines, g.nb_lig - first);
      for (int column = 0; column < g.nb_col; column += shape.width) {
        const int width = std::min(shape.width, g.nb_col - column);
        reader_->read_lines(band.get(), first, count, column, width,
                            [&](int line) { progress("reading the grid", line, g.nb_lig); });
        for (int k = 0; k < count; ++k) spill_.write(band[k], static_cast<std::size_t>(width));
      }
    }
    progress("reading the grid", g.nb_lig, g.nb_lig);
    if (reader_->has_more_values()) {
      notes << text("\n\tWarning: %s holds more values than its %d lines x %d columns; they are not read\n",
                    path_.c_str(), g.nb_lig, g.nb_col);
    }
    check_unchanged(file_.get(), path_, stamp_);
    reader_.reset();  // its buffers: the passes read the copy, or a new reader the text
    if (const std::optional<std::string> prj = read_prj_beside(path_, notes)) {
      g.has_prj = true;
      g.prj = *prj;
    }
    warn_if_degrees(g, path_, false, notes);
  }

  bool release_copy() override {
    if (!spill_.usable()) return false;
    spill_.discard();
    return true;
  }

  void begin_pass(const BandShape& shape) override {
    check_unchanged(file_.get(), path_, stamp_);
    rows_ = new_matrix(dmatrice, frdmatrice, shape.width, shape.lines, "DEM lines");
    spill_.rewind();
    reader_.reset();
    if (spill_.usable()) return;
    // The text again, from its header.
    if (!seek_to(file_.get(), 0)) fatal_stop(text("\n\n\tThe grid %s could not be read again\n", path_.c_str()));
    reader_ = std::make_unique<GridReader>(file_.get(), path_);
    const RasterGeometry again = reader_->read_header();
    if (again.nb_lig != facts_.geometry.nb_lig || again.nb_col != facts_.geometry.nb_col) {
      fatal_stop(text("\n\n\tThe grid %s changed while the run was reading it\n", path_.c_str()));
    }
  }

  void read(Band& band, BandCells) override {
    band.altitude = rows_.get();
    if (reader_) {
      reader_->read_lines(rows_.get(), band.first, band.count, band.column, band.width, [](int) {});
      return;
    }
    for (int k = 0; k < band.count; ++k) {
      if (!spill_.read(rows_[k], static_cast<std::size_t>(band.width))) {
        fatal_stop(text("\n\n\tThe cells of the grid %s could not be read back from the run's temporary file\n",
                        path_.c_str()));
      }
    }
  }

  void end_pass() override { check_unchanged(file_.get(), path_, stamp_); }

 private:
  std::string path_;
  InputFile file_;
  FileStamp stamp_;
  std::unique_ptr<GridReader> reader_;
  SpillFile spill_;
  Matrix<double> rows_;
};

}  // namespace

std::unique_ptr<DemSource> open_grid_dem(const DemChoice& choice) { return std::make_unique<GridDem>(choice); }
