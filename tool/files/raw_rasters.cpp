// Raw rasters: DEMs of unsigned 16-bit or signed 32-bit little-endian cells
// (NAME_m2.raw, NAME_m4.raw) and masks of one byte per cell (NAME.raw). No
// header; line 0 first.
#include <algorithm>
#include <bit>
#include <cstring>

#include "fatal.h"
#include "formats.h"
#include "platform.h"
#include "text.h"
#include "zone/stored_value.h"
#include "zone/zone.h"

namespace {

// Cell k of little-endian cells of type Cell (std::uint16_t or std::int32_t).
template <class Cell>
Cell cell_at(const unsigned char* bytes, std::size_t k) {
  const unsigned char* b = bytes + k * sizeof(Cell);
  if constexpr (std::endian::native == std::endian::little) {
    Cell value;
    std::memcpy(&value, b, sizeof value);
    return value;
  } else {
    std::uint32_t word = 0;
    for (std::size_t byte = 0; byte < sizeof(Cell); ++byte) word |= static_cast<std::uint32_t>(b[byte]) << (8 * byte);
    return static_cast<Cell>(word);
  }
}

template <class Cell>
void put_cell(unsigned char* bytes, std::size_t k, std::int32_t value) {
  const auto cell = static_cast<Cell>(value);  // its low 16 or 32 bits
  unsigned char* b = bytes + k * sizeof(Cell);
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(b, &cell, sizeof cell);
  } else {
    const auto word = static_cast<std::uint32_t>(cell);
    for (std::size_t byte = 0; byte < sizeof(Cell); ++byte) b[byte] = static_cast<unsigned char>(word >> (8 * byte));
  }
}

// Calls work.template operator()<Cell>() with the cell type of `type`, so that
// loops over cells are compiled for each.
template <class Work>
void with_cell_type(const RawType& type, Work work) {
  if (type.cell_bytes == 2) {
    work.template operator()<std::uint16_t>();
  } else {
    work.template operator()<std::int32_t>();
  }
}

}  // namespace

std::uint64_t raster_surplus(std::FILE* f, const std::string& path, int nb_lig, int nb_col, int cell_bytes) {
  const std::uint64_t expected =
      static_cast<std::uint64_t>(nb_lig) * static_cast<std::uint64_t>(nb_col) * static_cast<std::uint64_t>(cell_bytes);
  const std::uint64_t found = file_length(f);
  for (const std::uint64_t times : {2u, 4u, 8u}) {
    if (expected == 0 || found != expected * times) continue;
    fatal_stop(text("\n\n\tThe file %s holds exactly %llu times the %llu bytes of %d lines x %d columns x %d "
                    "byte%s: its cells look like %llu-bit values, but it is read as %d-bit cells\n",
                    path.c_str(), static_cast<unsigned long long>(times), static_cast<unsigned long long>(expected),
                    nb_lig, nb_col, cell_bytes, cell_bytes == 1 ? "" : "s",
                    static_cast<unsigned long long>(times) * 8u * static_cast<unsigned long long>(cell_bytes),
                    8 * cell_bytes));
  }
  if (found < expected) {
    fatal_stop(text("\n\n\tThe file %s is too short: %d lines x %d columns x %d bytes need %llu bytes, "
                    "it holds %llu\n",
                    path.c_str(), nb_lig, nb_col, cell_bytes, static_cast<unsigned long long>(expected),
                    static_cast<unsigned long long>(found)));
  }
  return found - expected;
}

void read_raw_lines(std::FILE* f, const std::string& path, unsigned char* bytes, std::size_t line_bytes, int first,
                    int count) {
  const std::size_t wanted = line_bytes * static_cast<std::size_t>(count);
  const std::size_t got = std::fread(bytes, 1, wanted, f);
  if (got != wanted) {
    fatal_stop(text("\n\n\tThe file %s could not be read at line %d\n", path.c_str(),
                    first + static_cast<int>(got / line_bytes)));
  }
}

void raw_extremes(const unsigned char* bytes, std::size_t cells, const RawType& type, std::int32_t& low,
                  std::int32_t& high, std::optional<std::int32_t> skipped) {
  with_cell_type(type, [&]<class Cell>() {
    std::int32_t lo = low, hi = high;
    if (skipped) {
      for (std::size_t k = 0; k < cells; ++k) {
        const std::int32_t stored = cell_at<Cell>(bytes, k);
        if (stored == *skipped) continue;
        lo = std::min(lo, stored);
        hi = std::max(hi, stored);
      }
    } else {
      for (std::size_t k = 0; k < cells; ++k) {
        const std::int32_t stored = cell_at<Cell>(bytes, k);
        lo = std::min(lo, stored);
        hi = std::max(hi, stored);
      }
    }
    low = lo;
    high = hi;
  });
}

void raw_to_metres(const unsigned char* bytes, std::size_t cells, const RawType& type, double coef, double* metres) {
  with_cell_type(type, [&]<class Cell>() {
    for (std::size_t k = 0; k < cells; ++k) metres[k] = static_cast<std::int32_t>(cell_at<Cell>(bytes, k)) / coef;
  });
}

void metres_to_raw(const double* metres, std::size_t cells, double coef, const RawType& type, unsigned char* bytes) {
  with_cell_type(type, [&]<class Cell>() {
    for (std::size_t k = 0; k < cells; ++k) {
      put_cell<Cell>(bytes, k, static_cast<std::int32_t>(static_cast<std::int64_t>(stored_value(metres[k] * coef))));
    }
  });
}

void select_raw_cells(const unsigned char* stored, const RawType& type, const unsigned char* mask, int code,
                      std::int32_t outside, std::size_t cells, const RawType& out_type, unsigned char* out) {
  with_cell_type(type, [&]<class In>() {
    with_cell_type(out_type, [&]<class Out>() {
      for (std::size_t k = 0; k < cells; ++k) {
        const std::int32_t kept = cell_at<In>(stored, k);
        put_cell<Out>(out, k, in_zone(mask[k], code) ? kept : outside);
      }
    });
  });
}
