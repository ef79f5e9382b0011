// Every file name the tool makes from a name typed by the user: `base` is the
// folder path and that name.
//
//   NAME_m2.raw / NAME_m4.raw   raw DEM raster (16 / 32 bits)
//   NAME_m2.txt / NAME_m4.txt   its descriptor
//   NAME_m2.hdr / NAME_m4.hdr   its header for GIS tools (results)
//   NAME.asc                    ASCII grid
//   NAME.raw, NAME.txt          raw mask and its descriptor
//   NAME.bmp                    bitmap mask
#pragma once

#include <cstddef>
#include <string>

#include "raster/raw_types.h"

inline std::string raw_raster_file(const std::string& base, const RawType& type) {
  return base + type.suffix + ".raw";
}
inline std::string raw_descriptor_file(const std::string& base, const RawType& type) {
  return base + type.suffix + ".txt";
}
inline std::string grid_file(const std::string& base) { return base + ".asc"; }

// The files of a result: a raw raster with its descriptor and header, or a
// grid (`raster` then, the other two empty).
struct ResultFiles {
  std::string raster, descriptor, header;
};

inline ResultFiles result_files(const std::string& base, int format_out, const RawType& type) {
  if (format_out == 0) return {grid_file(base), {}, {}};
  return {raw_raster_file(base, type), raw_descriptor_file(base, type), base + type.suffix + ".hdr"};
}

// The longest of the extensions above that a result's file can have.
constexpr std::size_t kLongestResultSuffix = 7;
