// Loading the mask: its size checked against the DEM's. A raw mask stays in
// its file and is read again in bands; a bitmap is held whole, one byte a
// cell.
#include "fatal.h"
#include "files/formats.h"
#include "files/input_file.h"
#include "image.h"
#include "steps.h"

namespace {

const char* const kSizeMessage = "\n\n\tThe mask size is not the size of the DEM ";

void check_mask_size(const RunState& st) {
  if (st.mask.num_lines != st.dem.geometry.nb_lig || st.mask.num_columns != st.dem.geometry.nb_col) {
    fatal_stop(kSizeMessage);
  }
}

void load_raw_mask(RunState& st, Console& con) {
  check_mask_size(st);
  InputFile f = open_required(st.mask.path, "\n\n\tFile %s unknown\n");
  const RasterGeometry& g = st.dem.geometry;
  const std::uint64_t surplus = raster_surplus(f.get(), st.mask.path, g.nb_lig, g.nb_col, 1);
  if (surplus > 0) {
    say(con, "\n\tWarning: %s holds %llu bytes more than %d lines x %d columns; they are not read\n",
        st.mask.path.c_str(), static_cast<unsigned long long>(surplus), g.nb_lig, g.nb_col);
  }
}

// A 24-bit mask holds grey pixels: three equal bytes whose value is the code.
// Each row keeps its grey levels in its first bytes, in place.
void keep_grey_levels(Matrix<unsigned char>& picture, const RunState& st) {
  for (int i = 0; i < st.dem.geometry.nb_lig; ++i) {
    unsigned char* row = picture[i];
    for (int j = 0; j < st.dem.geometry.nb_col; ++j) {
      const unsigned char* pixel = row + 3 * j;
      if (pixel[0] != pixel[1] || pixel[1] != pixel[2]) {
        fatal_stop(text("\n\n\tThe 24-bit mask %s has a pixel that is not grey at line %d, column %d: "
                        "a 24-bit mask must hold grey levels only (equal blue, green and red)\n",
                        st.mask.path.c_str(), i, j));
      }
      row[j] = pixel[0];
    }
  }
}

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

void load_bitmap_mask(RunState& st) {
  int type = 0;
  Color32* no_palette = nullptr;
  BmpFault why = BmpFault::none;
  unsigned char** rows =
      ChargeBMP(st.mask.path.c_str(), st.mask.num_columns, st.mask.num_lines, type, no_palette, &why);
  if (rows == nullptr) refuse_bitmap(st.mask.path, why);
  Matrix<unsigned char> picture(rows, st.mask.num_lines, LibereBMP);
  check_mask_size(st);
  if (type == 2) keep_grey_levels(picture, st);
  st.mask.bitmap = std::move(picture);
}

}  // namespace

void mask_lecture(RunState& st, Console& con) {
  if (st.mask.mask_type == 1) {
    load_raw_mask(st, con);
  } else {
    load_bitmap_mask(st);
  }
}
