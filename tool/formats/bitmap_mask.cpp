// Bitmap masks: NAME.bmp, uncompressed, bottom-up, 8 bits a pixel with a
// 256-colour palette (the palette index is the code) or 24 bits of grey
// (three equal bytes: the code). Read in bands like every input: the reader
// seeks to each row.
#include <algorithm>
#include <vector>

#include "fatal.h"
#include "files/input_file.h"
#include "formats/masks.h"
#include "formats/registry.h"
#include "image.h"
#include "text.h"

namespace {

[[noreturn]] void refuse_bitmap(const std::string& path, BmpFault why) {
  const char* const name = path.c_str();
  switch (why) {
    case BmpFault::top_down:
      fatal_stop(text("\n\n\tThe mask %s is a top-down bitmap (its height is negative), which is not read: "
                      "turn it over first, for example with gdal_translate -of BMP, which writes bottom-up bitmaps\n",
                      name));
    case BmpFault::too_large:
      fatal_stop(text("\n\n\tThe mask %s is wider or higher than a mask bitmap can be: 32767 pixels at most "
                      "each way\n",
                      name));
    case BmpFault::cut_short:
      fatal_stop(text("\n\n\tThe mask %s is cut short: its palette or pixel rows end before its header says\n",
                      name));
    case BmpFault::no_memory:
      fatal_stop(text("\n\n\tNot enough memory for the mask %s\n", name));
    default:
      fatal_stop(text("\n\n\tThe mask %s cannot be read as a bitmap: a mask bitmap must be uncompressed, "
                      "8 bits per pixel with a 256-colour palette, or 24 bits per pixel\n",
                      name));
  }
}

class BitmapMask final : public MaskSource {
 public:
  explicit BitmapMask(const MaskChoice& choice) : path_(choice.path), file_(open_required(choice.path)) {
    stamp_ = file_stamp(file_.get());
  }

  // The header first: a bitmap of the wrong size is refused before any of
  // its pixels is read; then every pixel, for the codes it holds.
  void load(const MaskChoice&, const DemFacts& dem, const std::string& dem_path, std::ostream&) override {
    BmpFault why = BmpFault::none;
    if (!EnteteBMP(file_.get(), layout_, why)) refuse_bitmap(path_, why);
    facts_.columns = layout_.NbCol;
    facts_.lines = layout_.NbLig;
    check_mask_size(facts_.lines, facts_.columns, path_, dem, dem_path);
    scan();
  }

  bool holds(long long code) override { return code >= 0 && code <= 255 && codes_[static_cast<std::size_t>(code)]; }
  std::string codes_text() override { return ::codes_text(codes_); }

  void begin_pass(MaskCells, long long) override { check_unchanged(file_.get(), path_, stamp_); }

  void read_lines(int first, int count, int, unsigned char* const* rows) override {
    read_rows(first, count, 0, layout_.NbCol, rows);
  }
  void read_segment(int line, int column, int width, int, unsigned char* out) override {
    read_rows(line, 1, column, width, &out);
  }

  void end_pass() override { check_unchanged(file_.get(), path_, stamp_); }

 private:
  [[noreturn]] void cut_short(int line) {
    fatal_stop(text("\n\n\tThe file %s could not be read at line %d\n", path_.c_str(), line));
  }

  // Rows of pixels; a 24-bit pixel is its first byte (its three are equal,
  // as loading checked).
  void read_rows(int first, int count, int column, int width, unsigned char* const* rows) {
    if (layout_.taille == 1) {
      if (!LignesBMP(file_.get(), layout_, first, count, column, width, rows)) cut_short(first);
      return;
    }
    pixels_.resize(static_cast<std::size_t>(count) * static_cast<std::size_t>(width) * 3);
    std::vector<unsigned char*> staged(static_cast<std::size_t>(count));
    for (int k = 0; k < count; ++k) staged[static_cast<std::size_t>(k)] = pixels_.data() + static_cast<std::size_t>(k) * width * 3;
    if (!LignesBMP(file_.get(), layout_, first, count, column, width, staged.data())) cut_short(first);
    for (int k = 0; k < count; ++k) {
      for (int j = 0; j < width; ++j) rows[k][j] = staged[static_cast<std::size_t>(k)][3 * j];
    }
  }

  // Every row, in bands, for the codes it holds; a 24-bit mask holds grey
  // pixels only (three equal bytes, whose value is the code).
  void scan() {
    const int lines = std::max(1, static_cast<int>(kBandCells / layout_.NbCol));
    const std::size_t row_bytes = static_cast<std::size_t>(layout_.NbCol) * static_cast<std::size_t>(layout_.taille);
    std::vector<unsigned char> pixels(row_bytes * static_cast<std::size_t>(lines));
    std::vector<unsigned char*> rows(static_cast<std::size_t>(lines));
    for (int k = 0; k < lines; ++k) rows[static_cast<std::size_t>(k)] = pixels.data() + row_bytes * static_cast<std::size_t>(k);
    for (int first = 0; first < layout_.NbLig; first += lines) {
      const int count = std::min(lines, layout_.NbLig - first);
      if (!LignesBMP(file_.get(), layout_, first, count, 0, layout_.NbCol, rows.data())) {
        refuse_bitmap(path_, BmpFault::cut_short);
      }
      for (int k = 0; k < count; ++k) {
        const unsigned char* row = rows[static_cast<std::size_t>(k)];
        for (int j = 0; j < layout_.NbCol; ++j) {
          const unsigned char* pixel = row + static_cast<std::size_t>(j) * static_cast<std::size_t>(layout_.taille);
          if (layout_.taille == 3 && (pixel[0] != pixel[1] || pixel[1] != pixel[2])) {
            fatal_stop(text("\n\n\tThe 24-bit mask %s has a pixel that is not grey at line %d, column %d: "
                            "a 24-bit mask must hold grey levels only (equal blue, green and red)\n",
                            path_.c_str(), first + k, j));
          }
          codes_[pixel[0]] = true;
        }
      }
    }
  }

  std::string path_;
  InputFile file_;
  FileStamp stamp_;
  BmpLayout layout_;
  std::array<bool, 256> codes_{};
  std::vector<unsigned char> pixels_;
};

}  // namespace

std::unique_ptr<MaskSource> open_bitmap_mask(const MaskChoice& choice) { return std::make_unique<BitmapMask>(choice); }
