// Raw masks: NAME.raw, one byte a cell (its code), line 0 first, with the
// descriptor NAME.txt (lines, then columns).
#include <algorithm>
#include <cstring>
#include <vector>

#include "fatal.h"
#include "files/file_names.h"
#include "files/formats.h"
#include "files/input_file.h"
#include "formats/masks.h"
#include "formats/registry.h"
#include "text.h"

namespace {

class RawMask final : public MaskSource {
 public:
  explicit RawMask(const MaskChoice& choice)
      : path_(choice.path), file_(open_required(choice.path, "\n\n\tFile %s unknown\n")) {
    stamp_ = file_stamp(file_.get());
    facts_.descriptor_path = beside(path_, ".txt");
    InputFile descriptor = open_input(facts_.descriptor_path);
    if (!descriptor) return;
    has_descriptor_ = true;
    if (read_mask_descriptor(descriptor.get(), facts_.lines, facts_.columns) < 2) {
      std::rewind(descriptor.get());
      std::string head(40, '\0');
      head.resize(std::fread(head.data(), 1, head.size(), descriptor.get()));
      fatal_stop(text("\n\n\tThe mask descriptor %s does not hold two sizes (lines, then columns): it begins "
                      "with \"%s\"\n",
                      facts_.descriptor_path.c_str(), shown(head).c_str()));
    }
  }

  bool needs_size() const override { return !has_descriptor_; }
  std::string missing_choice() const override {
    return text("the mask %s has no descriptor %s: give its size with --size LINES,COLUMNS", path_.c_str(),
                facts_.descriptor_path.c_str());
  }

  void load(const MaskChoice& choice, const DemFacts& dem, const std::string& dem_path, std::ostream& notes) override {
    if (!has_descriptor_ && choice.lines && choice.columns) {
      facts_.lines = *choice.lines;
      facts_.columns = *choice.columns;
    }
    check_mask_size(facts_.lines, facts_.columns, path_, dem, dem_path);
    const RasterGeometry& g = dem.geometry;
    const std::uint64_t surplus = raster_surplus(file_.get(), path_, g.nb_lig, g.nb_col, 1);
    if (surplus > 0) {
      notes << text("\n\tWarning: %s holds %llu bytes more than %d lines x %d columns; they are not read\n",
                    path_.c_str(), static_cast<unsigned long long>(surplus), g.nb_lig, g.nb_col);
    }
  }

  // Read until the code is met; all of it, for the codes it holds, only
  // when the code is not there.
  bool holds(long long code) override { return code >= 0 && code <= 255 && scan(static_cast<int>(code)); }
  std::string codes_text() override {
    scan(-1);
    return ::codes_text(codes_);
  }

  void begin_pass(MaskCells, long long) override {
    check_unchanged(file_.get(), path_, stamp_);
    rewind();
  }

  void read_lines(int first, int count, int nb_col, unsigned char* const* rows) override {
    for (int k = 0; k < count; ++k) {
      read_raw_lines(file_.get(), path_, rows[k], static_cast<std::size_t>(nb_col), first + k, 1);
    }
  }

  void read_segment(int line, int column, int width, int nb_col, unsigned char* out) override {
    const std::uint64_t at =
        static_cast<std::uint64_t>(line) * static_cast<std::uint64_t>(nb_col) + static_cast<std::uint64_t>(column);
    if (!seek_to(file_.get(), at)) fatal_stop(text("\n\n\tThe file %s could not be read at line %d\n", path_.c_str(), line));
    read_raw_lines(file_.get(), path_, out, static_cast<std::size_t>(width), line, 1);
  }

  void end_pass() override { check_unchanged(file_.get(), path_, stamp_); }

 private:
  void rewind() {
    if (!seek_to(file_.get(), 0)) fatal_stop(text("\n\n\tThe file %s could not be read\n", path_.c_str()));
  }

  // The bytes in chunks, for the codes they hold; with `wanted` (0 to 255),
  // only until that code is met: true then.
  bool scan(int wanted) {
    check_unchanged(file_.get(), path_, stamp_);
    rewind();
    std::vector<unsigned char> chunk(static_cast<std::size_t>(kBandCells));
    std::uint64_t left = static_cast<std::uint64_t>(facts_.lines) * static_cast<std::uint64_t>(facts_.columns);
    while (left > 0) {
      const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, chunk.size()));
      if (std::fread(chunk.data(), 1, n, file_.get()) != n) {
        fatal_stop(text("\n\n\tThe file %s could not be read\n", path_.c_str()));
      }
      if (wanted >= 0 && std::memchr(chunk.data(), wanted, n) != nullptr) return true;
      for (std::size_t k = 0; wanted < 0 && k < n; ++k) codes_[chunk[k]] = true;
      left -= n;
    }
    return false;
  }

  std::string path_;
  InputFile file_;
  FileStamp stamp_;
  bool has_descriptor_ = false;
  std::array<bool, 256> codes_{};
};

}  // namespace

std::unique_ptr<MaskSource> open_raw_mask(const MaskChoice& choice) { return std::make_unique<RawMask>(choice); }
