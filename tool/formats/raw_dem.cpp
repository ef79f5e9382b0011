// Raw DEMs: NAME_m2.raw (unsigned 16-bit) or NAME_m4.raw (signed 32-bit)
// little-endian cells, line 0 first, with the descriptor NAME_m2.txt /
// NAME_m4.txt (lines, columns, bytes per cell, range, pixel size) and, where
// GIS tools left one, a header NAME_m2.hdr (no-data value, corner) and a
// .prj. Their unit is chosen (m to mm); a descriptor that is missing is
// written once the DEM is loaded, when the dialog asks it.
#include <algorithm>
#include <cmath>
#include <limits>

#include "fatal.h"
#include "files/file_names.h"
#include "files/formats.h"
#include "files/input_file.h"
#include "files/output_file.h"
#include "formats/coordinates.h"
#include "formats/registry.h"
#include "nrutil.h"
#include "text.h"

namespace {

class RawDem final : public DemSource {
 public:
  explicit RawDem(const DemChoice& choice)
      : path_(choice.path), type_(raw_type(choice.itype)), file_(open_required(choice.path)) {
    stamp_ = file_stamp(file_.get());
    facts_.descriptor_path = beside(choice.path, ".txt");
    facts_.stored_cells = type_;
    RasterGeometry& g = facts_.geometry;
    InputFile descriptor = open_input(facts_.descriptor_path);
    if (!descriptor) return;
    // Its bytes per cell and range are not used: the choices and the
    // cells give them.
    int val = 0, mind = 0, maxd = 0;
    read_dem_descriptor(descriptor.get(), g.nb_lig, g.nb_col, val, mind, maxd, g.dpix_size);
    check_dimensions(g.nb_lig, g.nb_col, "The descriptor " + facts_.descriptor_path);
    check_pixel_size(g.dpix_size, "The descriptor " + facts_.descriptor_path);
    has_descriptor_ = true;
    facts_.size_origin = "its descriptor " + facts_.descriptor_path;
  }

  unsigned needs() const override {
    return kNeedsUnit | (has_descriptor_ ? 0u : kNeedsSize) |
           (has_descriptor_ && facts_.geometry.dpix_size != 0.0 ? 0u : kNeedsPixelSize);
  }

  std::string missing_choice(DemNeed need) const override {
    if (!has_descriptor_) {
      return text("the DEM %s has no descriptor %s: give its size with --size LINES,COLUMNS and its pixel size with "
                  "--pixel-size S",
                  path_.c_str(), facts_.descriptor_path.c_str());
    }
    if (need == kNeedsPixelSize) {
      return text("the descriptor %s gives a pixel size of 0: give it with --pixel-size S",
                  facts_.descriptor_path.c_str());
    }
    return text("--dem-unit m|dm|cm|mm is required for the raw DEM %s: the unit of its stored values (a wrong one "
                "makes every volume wrong)",
                path_.c_str());
  }

  std::optional<StoredRange> stored_range(const DemChoice& choice, std::ostream& notes) override {
    settle(choice, notes);
    // The true smallest and largest stored values of the cells with data, a
    // band of cells at a time.
    const RasterGeometry& g = facts_.geometry;
    const std::size_t chunk_cells = static_cast<std::size_t>(std::min<long long>(kBandCells, g.cells()));
    const std::size_t cell_bytes = static_cast<std::size_t>(type_.cell_bytes);
    Vector<unsigned char> bytes = new_vector(ucvecteur, frucvecteur, chunk_cells * cell_bytes, "DEM lines");
    std::int32_t low = std::numeric_limits<std::int32_t>::max(), high = std::numeric_limits<std::int32_t>::min();
    std::optional<std::int32_t> skipped;
    if (facts_.stored_nodata) skipped = static_cast<std::int32_t>(*facts_.stored_nodata);
    rewind();
    for (long long done = 0; done < g.cells();) {
      const auto n = static_cast<std::size_t>(std::min<long long>(static_cast<long long>(chunk_cells), g.cells() - done));
      read_raw_lines(file_.get(), path_, bytes.data(), n * cell_bytes, static_cast<int>(done / g.nb_col), 1);
      raw_extremes(bytes.data(), n, type_, low, high, skipped);
      done += static_cast<long long>(n);
    }
    check_unchanged(file_.get(), path_, stamp_);
    if (low > high) low = high = 0;  // no cell with data
    range_ = StoredRange{low, high};
    return range_;
  }

  void load(const DemChoice& choice, std::ostream& notes, const PassProgress&) override {
    settle(choice, notes);
    RasterGeometry& g = facts_.geometry;
    facts_.stored_per_metre = kScaleCoef[choice.unit.value_or(0)];
    facts_.vertical_unit = choice.unit.value_or(0);
    if (facts_.stored_nodata) g.nodata = static_cast<std::int32_t>(*facts_.stored_nodata) / facts_.stored_per_metre;
    facts_.areas.planar_m2 = g.dpix_size * g.dpix_size;
    if (choice.write_descriptor) write_new_descriptor(notes);
    if (const std::optional<std::string> prj = read_prj_beside(path_, notes)) {
      g.has_prj = true;
      g.prj = *prj;
    }
    warn_if_degrees(g, path_, false, notes);
  }

  void begin_pass(const BandShape& shape) override {
    rewind();
    const std::size_t cells = static_cast<std::size_t>(shape.cells());
    if (bytes_.size() < cells * static_cast<std::size_t>(type_.cell_bytes)) {
      bytes_ = new_vector(ucvecteur, frucvecteur, cells * static_cast<std::size_t>(type_.cell_bytes), "DEM lines");
      rows_ = new_matrix(dmatrice, frdmatrice, shape.width, shape.lines, "DEM lines");
    }
  }

  void read(Band& band, BandCells cells) override {
    const auto width = static_cast<std::size_t>(band.width);
    const std::size_t line_bytes = width * static_cast<std::size_t>(type_.cell_bytes);
    read_raw_lines(file_.get(), path_, bytes_.data(), line_bytes, band.first, band.count);
    band.stored = bytes_.data();
    band.altitude = rows_.get();
    if (cells == BandCells::stored) return;
    for (int k = 0; k < band.count; ++k) {
      raw_to_metres(bytes_.data() + line_bytes * static_cast<std::size_t>(k), width, type_, facts_.stored_per_metre,
                    rows_[k]);
    }
  }

  void end_pass() override { check_unchanged(file_.get(), path_, stamp_); }

 private:
  // The size and pixel size from the choices where the descriptor has none,
  // then the file checked against them; the header beside it read. Done
  // once, before the range or the loading.
  void settle(const DemChoice& choice, std::ostream& notes) {
    if (settled_) return;
    settled_ = true;
    RasterGeometry& g = facts_.geometry;
    if (!has_descriptor_ && choice.lines && choice.columns) {
      g.nb_lig = *choice.lines;
      g.nb_col = *choice.columns;
      check_dimensions(g.nb_lig, g.nb_col, choice.size_source);
      facts_.size_origin = choice.size_source;
    }
    if (g.dpix_size == 0.0 && choice.pixel_size) g.dpix_size = *choice.pixel_size;
    const std::uint64_t surplus = raster_surplus(file_.get(), path_, g.nb_lig, g.nb_col, type_.cell_bytes);
    if (surplus > 0) {
      notes << text("\n\tWarning: %s holds %llu bytes more than %d lines x %d columns x %d bytes; they are not read\n",
                    path_.c_str(), static_cast<unsigned long long>(surplus), g.nb_lig, g.nb_col, type_.cell_bytes);
    }
    read_raw_header(notes);
  }

  void rewind() {
    check_unchanged(file_.get(), path_, stamp_);
    if (!seek_to(file_.get(), 0)) fatal_stop(text("\n\n\tThe file %s could not be read\n", path_.c_str()));
  }

  // What a header beside the raster (NAME_m2.hdr, as GDAL writes it) says:
  // the no-data value, whose cells have no data as a grid's NODATA_value,
  // and where the raster lies.
  void read_raw_header(std::ostream& notes) {
    const std::string path = beside(path_, ".hdr");
    InputFile file = open_input(path);
    if (!file) return;
    std::string content(64 * 1024, '\0');
    content.resize(std::fread(content.data(), 1, content.size(), file.get()));
    const RasterHeader header = read_raster_header(content);
    if (header.placed) {
      facts_.header_corner = Corner{header.west, header.north - facts_.geometry.nb_lig * header.ydim};
    }
    if (!header.nodata) return;
    const double value = *header.nodata;
    if (value != std::trunc(value) || value < type_.lowest || value > type_.highest) {
      notes << text("\n\tWarning: %s declares the no-data value %s, which no %d-bit cell can hold: every cell has data\n",
                    path.c_str(), shortest_text(value).c_str(), type_.bits);
      return;
    }
    facts_.stored_nodata = static_cast<long long>(value);
    facts_.geometry.has_nodata = true;
    notes << text("\n\tCells holding %lld (the no-data value of %s) have no data\n", *facts_.stored_nodata, path.c_str());
  }

  // The descriptor that was missing, written whole now that the DEM has loaded.
  void write_new_descriptor(std::ostream& notes) {
    const RasterGeometry& g = facts_.geometry;
    try {
      OutputFile descriptor;
      descriptor.create(facts_.descriptor_path);
      descriptor.write(dem_descriptor_text(g.nb_lig, g.nb_col, type_.cell_bytes, static_cast<int>(range_.low),
                                           static_cast<int>(range_.high), g.dpix_size));
      descriptor.publish();
    } catch (const FatalStop& failure) {
      notes << text("\n\tWarning: the descriptor could not be written, the run goes on%s", failure.message.c_str());
    }
  }

  std::string path_;
  RawType type_;
  InputFile file_;
  FileStamp stamp_;
  bool has_descriptor_ = false;
  bool settled_ = false;
  StoredRange range_;
  Vector<unsigned char> bytes_;
  Matrix<double> rows_;
};

}  // namespace

std::unique_ptr<DemSource> open_raw_dem(const DemChoice& choice) { return std::make_unique<RawDem>(choice); }
