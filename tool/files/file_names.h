// Every file name the tool makes from a name typed by the user: `base` is the
// folder path and that name.
//
//   NAME_m2.raw / NAME_m4.raw   raw DEM raster (16 / 32 bits)
//   NAME_m2.txt / NAME_m4.txt   its descriptor
//   NAME_m2.hdr / NAME_m4.hdr   its header for GIS tools (results)
//   NAME.asc                    ASCII grid
//   NAME.raw, NAME.txt          raw mask and its descriptor
//   NAME.bmp                    bitmap mask
//   NAME_m2.prj, NAME.prj       coordinate system beside a raster or grid
//   NAME_m2.json, NAME.json     report of a result for scripts
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

// A file named like `raster` but for its extension: `beside("a/dem_m2.raw",
// ".prj")` is "a/dem_m2.prj".
inline std::string beside(const std::string& raster, const char* extension) {
  return raster.substr(0, raster.rfind('.')) + extension;
}

// A table or curves file written as JSON: a name ending in .json, in any
// case (any other, and "-", is CSV).
inline bool json_path(const std::string& path) {
  if (path.size() <= 5) return false;
  std::string suffix = path.substr(path.size() - 5);
  for (char& c : suffix) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  return suffix == ".json";
}

// The files of a result: a raw raster with its descriptor and header, or a
// grid (`raster` then, descriptor and header empty); each with its
// coordinate system and its report.
struct ResultFiles {
  std::string raster, descriptor, header, prj, json;
};

inline ResultFiles result_files(const std::string& base, bool raw, const RawType& type) {
  const std::string raster = raw ? raw_raster_file(base, type) : grid_file(base);
  ResultFiles files{raster, {}, {}, beside(raster, ".prj"), beside(raster, ".json")};
  if (raw) {
    files.descriptor = raw_descriptor_file(base, type);
    files.header = beside(raster, ".hdr");
  }
  return files;
}

// The longest of the extensions above that a result's file can have.
constexpr std::size_t kLongestResultSuffix = 8;
