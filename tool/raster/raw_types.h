// The two kinds of raw DEM raster, in one table: every place that names a
// raster's files, sizes its cells or checks its values takes them from here.
#pragma once

struct RawType {
  const char* suffix;  // after the name: NAME_m2.raw, NAME_m2.txt, NAME_m2.hdr
  int cell_bytes;      // little-endian cells
  int bits;
  bool is_signed;
  double lowest, highest;  // the stored values a cell holds
};

constexpr RawType kRawTypes[2] = {
    {"_m2", 2, 16, false, 0.0, 65535.0},
    {"_m4", 4, 32, true, -2147483648.0, 2147483647.0},
};

// The raster type chosen by the answer to a type question: 0 for 16 bits,
// anything else for 32 bits.
inline const RawType& raw_type(int itype) { return kRawTypes[itype == 0 ? 0 : 1]; }
