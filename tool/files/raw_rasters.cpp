// Raw rasters: DEMs of unsigned 16-bit or signed 32-bit little-endian cells
// (NAME_m2.raw, NAME_m4.raw) and masks of one byte per cell (NAME.raw). No
// header; line 0 first, one whole line per transfer.
#include <cstring>
#include <vector>

#include "fatal.h"
#include "formats.h"
#include "input_file.h"
#include "platform.h"
#include "output_file.h"
#include "text.h"

namespace {

void read_line(std::FILE* f, const std::string& path, unsigned char* bytes, std::size_t count, int line) {
  if (std::fread(bytes, 1, count, f) != count) {
    fatal_stop(text("\n\n\tThe file %s could not be read at line %d\n", path.c_str(), line));
  }
}

std::size_t line_bytes(int nb_col, int cell_bytes) {
  return static_cast<std::size_t>(nb_col) * static_cast<std::size_t>(cell_bytes);
}

}  // namespace

std::uint64_t raster_surplus(std::FILE* f, const std::string& path, int nb_lig, int nb_col, int cell_bytes) {
  const std::uint64_t expected = static_cast<std::uint64_t>(nb_lig) * line_bytes(nb_col, cell_bytes);
  const std::uint64_t found = file_length(f);
  if (found < expected) {
    fatal_stop(text("\n\n\tThe file %s is too short: %d lines x %d columns x %d bytes need %llu bytes, "
                    "it holds %llu\n",
                    path.c_str(), nb_lig, nb_col, cell_bytes, static_cast<unsigned long long>(expected),
                    static_cast<unsigned long long>(found)));
  }
  return found - expected;
}

void read_raw_dem(std::FILE* f, const std::string& path, double** dtab, int nb_lig, int nb_col, int cell_bytes) {
  std::vector<unsigned char> bytes(line_bytes(nb_col, cell_bytes));
  const std::size_t cols = static_cast<std::size_t>(nb_col);
  for (int i = 0; i < nb_lig; ++i) {
    read_line(f, path, bytes.data(), bytes.size(), i);
    double* row = dtab[i];
    const unsigned char* b = bytes.data();
    if (cell_bytes == 2) {
      for (std::size_t j = 0; j < cols; ++j, b += 2) row[j] = static_cast<unsigned>(b[0] | (b[1] << 8));
    } else {
      for (std::size_t j = 0; j < cols; ++j, b += 4) {
        const std::uint32_t word = b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
        row[j] = static_cast<std::int32_t>(word);
      }
    }
  }
}

void write_raw_dem(OutputFile& out, int nb_lig, int nb_col, int cell_bytes, const StoredLine& stored_line) {
  std::vector<std::int32_t> stored(static_cast<std::size_t>(nb_col));
  std::vector<unsigned char> bytes(line_bytes(nb_col, cell_bytes));
  for (int i = 0; i < nb_lig; ++i) {
    stored_line(i, stored.data());
    unsigned char* b = bytes.data();
    if (cell_bytes == 2) {
      for (std::int32_t value : stored) {
        *b++ = static_cast<unsigned char>(value & 0xFF);
        *b++ = static_cast<unsigned char>((value >> 8) & 0xFF);
      }
    } else {
      for (std::int32_t value : stored) {
        const auto word = static_cast<std::uint32_t>(value);
        *b++ = static_cast<unsigned char>(word & 0xFF);
        *b++ = static_cast<unsigned char>((word >> 8) & 0xFF);
        *b++ = static_cast<unsigned char>((word >> 16) & 0xFF);
        *b++ = static_cast<unsigned char>(word >> 24);
      }
    }
    out.write(bytes.data(), bytes.size());
  }
}

void read_raw_mask(std::FILE* f, const std::string& path, unsigned char** tab, int nb_lig, int nb_col) {
  for (int i = 0; i < nb_lig; ++i) read_line(f, path, tab[i], static_cast<std::size_t>(nb_col), i);
}
