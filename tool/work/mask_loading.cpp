// Loading the mask: its size checked against the DEM's, then one pass over
// its cells for the codes it holds (and, for a 24-bit bitmap, that every
// pixel is grey). The mask stays in its file; later steps read it again in
// bands.
#include <algorithm>
#include <cstring>
#include <vector>

#include "fatal.h"
#include "files/formats.h"
#include "files/input_file.h"
#include "image.h"
#include "raster/bands.h"
#include "text.h"
#include "work.h"

namespace {

void check_mask_size(const RunState& st) {
  const RasterGeometry& g = st.dem.geometry;
  if (st.mask.lines != g.nb_lig || st.mask.columns != g.nb_col) {
    fatal_stop(text("\n\n\tThe mask size is not the size of the DEM "
                    "\n\t(the DEM %s has %d lines x %d columns, the mask %s %d lines x %d columns)\n",
                    st.job.dem.path.c_str(), g.nb_lig, g.nb_col, st.job.mask.path.c_str(), st.mask.lines,
                    st.mask.columns));
  }
}

// The bytes of a raw mask, in chunks, for the codes it holds; with `wanted`
// (0 to 255), only until that code is met: true then.
bool scan_raw_mask(const RunState& st, std::array<bool, 256>& codes, int wanted) {
  InputFile f = open_required(st.job.mask.path, "\n\n\tFile %s unknown\n");
  check_unchanged(f.get(), st.job.mask.path, st.mask.stamp);
  std::vector<unsigned char> chunk(static_cast<std::size_t>(kBandCells));
  std::uint64_t left = static_cast<std::uint64_t>(st.dem.geometry.cells());
  while (left > 0) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, chunk.size()));
    if (std::fread(chunk.data(), 1, n, f.get()) != n) {
      fatal_stop(text("\n\n\tThe file %s could not be read\n", st.job.mask.path.c_str()));
    }
    if (wanted >= 0 && std::memchr(chunk.data(), wanted, n) != nullptr) return true;
    for (std::size_t k = 0; wanted < 0 && k < n; ++k) codes[chunk[k]] = true;
    left -= n;
  }
  return false;
}

void load_raw_mask(RunState& st, std::ostream& notes) {
  check_mask_size(st);
  InputFile f = open_required(st.job.mask.path, "\n\n\tFile %s unknown\n");
  st.mask.stamp = file_stamp(f.get());
  const RasterGeometry& g = st.dem.geometry;
  const std::uint64_t surplus = raster_surplus(f.get(), st.job.mask.path, g.nb_lig, g.nb_col, 1);
  if (surplus > 0) {
    note(notes, "\n\tWarning: %s holds %llu bytes more than %d lines x %d columns; they are not read\n",
        st.job.mask.path.c_str(), static_cast<unsigned long long>(surplus), g.nb_lig, g.nb_col);
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

// Every row of a bitmap, in bands, for the codes it holds; a 24-bit mask
// holds grey pixels only (three equal bytes, whose value is the code).
void scan_bitmap(RunState& st, std::FILE* f) {
  const BmpLayout& layout = st.mask.bitmap;
  const int lines = std::max(1, static_cast<int>(kBandCells / layout.NbCol));
  const std::size_t row_bytes = static_cast<std::size_t>(layout.NbCol) * static_cast<std::size_t>(layout.taille);
  std::vector<unsigned char> pixels(row_bytes * static_cast<std::size_t>(lines));
  std::vector<unsigned char*> rows(static_cast<std::size_t>(lines));
  for (int k = 0; k < lines; ++k) rows[static_cast<std::size_t>(k)] = pixels.data() + row_bytes * static_cast<std::size_t>(k);
  for (int first = 0; first < layout.NbLig; first += lines) {
    const int count = std::min(lines, layout.NbLig - first);
    if (!LignesBMP(f, layout, first, count, 0, layout.NbCol, rows.data())) refuse_bitmap(st.job.mask.path, BmpFault::cut_short);
    for (int k = 0; k < count; ++k) {
      const unsigned char* row = rows[static_cast<std::size_t>(k)];
      for (int j = 0; j < layout.NbCol; ++j) {
        const unsigned char* pixel = row + static_cast<std::size_t>(j) * static_cast<std::size_t>(layout.taille);
        if (layout.taille == 3 && (pixel[0] != pixel[1] || pixel[1] != pixel[2])) {
          fatal_stop(text("\n\n\tThe 24-bit mask %s has a pixel that is not grey at line %d, column %d: "
                          "a 24-bit mask must hold grey levels only (equal blue, green and red)\n",
                          st.job.mask.path.c_str(), first + k, j));
        }
        st.mask.codes[pixel[0]] = true;
      }
    }
  }
}

// The header first: a bitmap of the wrong size is refused before any of
// its pixels is read.
void load_bitmap_mask(RunState& st) {
  InputFile f = open_required(st.job.mask.path);
  st.mask.stamp = file_stamp(f.get());
  BmpFault why = BmpFault::none;
  if (!EnteteBMP(f.get(), st.mask.bitmap, why)) refuse_bitmap(st.job.mask.path, why);
  st.mask.columns = st.mask.bitmap.NbCol;
  st.mask.lines = st.mask.bitmap.NbLig;
  check_mask_size(st);
  scan_bitmap(st, f.get());
}

}  // namespace

bool read_mask_descriptor(RunState& st) {
  InputFile descriptor = open_input(st.mask.descriptor_path);
  if (!descriptor) return false;
  if (read_mask_descriptor(descriptor.get(), st.mask.lines, st.mask.columns) < 2) {
    std::rewind(descriptor.get());
    std::string head(40, '\0');
    head.resize(std::fread(head.data(), 1, head.size(), descriptor.get()));
    fatal_stop(text("\n\n\tThe mask descriptor %s does not hold two sizes (lines, then columns): it begins "
                    "with \"%s\"\n",
                    st.mask.descriptor_path.c_str(), shown(head).c_str()));
  }
  return true;
}

void load_mask(RunState& st, std::ostream& notes) {
  if (st.job.mask.layout == MaskLayout::raw) {
    load_raw_mask(st, notes);
  } else if (st.job.mask.layout == MaskLayout::gdal) {
    load_gdal_mask(st, notes);
  } else {
    load_bitmap_mask(st);
  }
}

int zone_code(const RunState& st) {
  if (st.job.mask.layout == MaskLayout::gdal) return 1;
  const long long code = st.job.zone.code;
  return code >= 0 && code <= 255 ? static_cast<int>(code) : -1;  // beyond a byte: no cell
}

void code_warning(const RunState& st, std::ostream& notes) {
  const long long code = st.job.zone.code;
  if (st.job.mask.layout == MaskLayout::gdal) {
    if (!st.zone_measured || st.zone.zone_cells > 0) return;
    const std::vector<long long> codes = gdal_mask_codes(st);
    std::string held;
    constexpr std::size_t kShown = 20;
    for (std::size_t k = 0; k < codes.size() && k < kShown; ++k) held += (k == 0 ? "" : ", ") + std::to_string(codes[k]);
    if (codes.size() > kShown) held += " and " + std::to_string(codes.size() - kShown) + " more";
    note(notes, "\n\tWarning: the code %lld selects no cell: the mask %s holds the codes %s\n", code,
         st.job.mask.path.c_str(), held.empty() ? "none (no data only)" : held.c_str());
    return;
  }
  // A raw mask is read until the code is met; all of it, for the codes it
  // holds, only when the code is not there. A bitmap's codes are known.
  std::array<bool, 256> codes = st.mask.codes;
  const bool raw = st.job.mask.layout == MaskLayout::raw;
  if (code >= 0 && code <= 255 &&
      (raw ? scan_raw_mask(st, codes, static_cast<int>(code)) : codes[static_cast<std::size_t>(code)])) {
    return;
  }
  if (raw) scan_raw_mask(st, codes, -1);
  note(notes, "\n\tWarning: the code %lld selects no cell: the mask %s holds the codes %s\n", code,
       st.job.mask.path.c_str(), codes_text(codes).c_str());
}

std::string codes_text(const std::array<bool, 256>& codes) {
  std::string out;
  for (int code = 0; code < 256;) {
    if (!codes[static_cast<std::size_t>(code)]) {
      ++code;
      continue;
    }
    int last = code;
    while (last + 1 < 256 && codes[static_cast<std::size_t>(last + 1)]) ++last;
    out += (out.empty() ? "" : ", ") + std::to_string(code);
    if (last > code) out += (last == code + 1 ? ", " : " to ") + std::to_string(last);
    code = last + 1;
  }
  return out;
}
