// Loading the mask into tab_mask, one byte per DEM cell.
#include "fatal.h"
#include "files/formats.h"
#include "image.h"
#include "steps.h"

namespace {

const char* const kSizeMessage = "\n\n\tThe mask size is not the size of the DEM ";

void check_mask_size(const RunState& st) {
  if (st.num_lines != st.nb_lig || st.num_columns != st.nb_col) fatal_stop(kSizeMessage);
}

void load_raw_mask(RunState& st, Console& con) {
  check_mask_size(st);
  const std::uint64_t surplus = raster_surplus(st.f3.get(), st.nomim3, st.nb_lig, st.nb_col, 1);
  if (surplus > 0) {
    say(con, "\n\tWarning: %s holds %llu bytes more than %d lines x %d columns; they are not read\n",
        st.nomim3.c_str(), static_cast<unsigned long long>(surplus), st.nb_lig, st.nb_col);
  }
  st.tab_mask = new_matrix(ucmatrice, frucmatrice, st.nb_col, st.nb_lig, "mask");
  read_raw_mask(st.f3.get(), st.nomim3, st.tab_mask.get(), st.nb_lig, st.nb_col);
  st.f3.reset();
}

// A 24-bit mask holds grey pixels: three equal bytes whose value is the code.
Matrix<unsigned char> grey_levels(const Matrix<unsigned char>& picture, const RunState& st) {
  Matrix<unsigned char> grey = new_matrix(ucmatrice, frucmatrice, st.nb_col, st.nb_lig, "mask");
  for (int i = 0; i < st.nb_lig; ++i) {
    const unsigned char* pixel = picture[i];
    for (int j = 0; j < st.nb_col; ++j, pixel += 3) {
      if (pixel[0] != pixel[1] || pixel[1] != pixel[2]) {
        fatal_stop(text("\n\n\tThe 24-bit mask %s has a pixel that is not grey at line %d, column %d: "
                        "a 24-bit mask must hold grey levels only (equal blue, green and red)\n",
                        st.nomim3.c_str(), i, j));
      }
      grey[i][j] = pixel[0];
    }
  }
  return grey;
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
  unsigned char** rows = ChargeBMP(st.nomim3.c_str(), st.num_columns, st.num_lines, type, no_palette, &why);
  if (rows == nullptr) refuse_bitmap(st.nomim3, why);
  Matrix<unsigned char> picture(rows, st.num_lines, LibereBMP);
  check_mask_size(st);
  st.tab_mask = type == 2 ? grey_levels(picture, st) : std::move(picture);
}

}  // namespace

void mask_lecture(RunState& st, Console& con) {
  if (st.mask_type == 1) {
    load_raw_mask(st, con);
  } else {
    load_bitmap_mask(st);
  }
}
