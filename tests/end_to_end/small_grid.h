// The small grid the tests of zones' figures share, and reading the CSV the
// tool writes of it.
#pragma once

#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "run_tool.h"

// A 5 x 6 grid of 10 m cells with a no-data cell, and a mask of codes 0, 3
// and 7: 7 on the frame, 3 touching 0, the no-data cell inside 3. Code 3
// holds the altitudes 12, 13 (line 1) and 18, 19, 20 (line 2), every one on
// the zone's edge (weight 50 m2).
inline const char* const kSmallGridCells =
    "5 6 7 8 9 10\n11 12 13 -1 15 16\n17 18 19 20 21 22\n23 24 25 26 27 28\n29 30 31 32 33 34\n";
inline std::string small_grid(const char* nodata_line, const char* cells) {
  return std::string("ncols 6\nnrows 5\nxllcorner 0\nyllcorner 0\ncellsize 10\n") + nodata_line + cells;
}
inline const std::string kGrid = small_grid("NODATA_value -1\n", kSmallGridCells);
inline const Bytes kCodes = {7, 7, 7, 7, 7, 7, 7, 3, 3, 3, 0, 7, 7, 3, 3, 3, 0, 7, 7, 0, 0, 0, 0, 7, 7, 7, 7, 7, 7, 7};

// The grid (dem.asc) and the mask (zone.raw, zone.txt) in a folder of their own.
struct SmallGrid {
  SmallGrid() {
    std::filesystem::create_directory(dir);
    write_file(dir + "/dem.asc", kGrid);
    write_bytes(dir + "/zone.raw", kCodes);
    write_file(dir + "/zone.txt", "5 6\n");
  }
  TempDir base;
  std::string dir = base / "t";
};

// The fields of each line of a CSV text.
inline std::vector<std::vector<std::string>> csv_lines(const std::string& text) {
  std::vector<std::vector<std::string>> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> fields;
    std::istringstream items(line);
    for (std::string field; std::getline(items, field, ',');) fields.push_back(field);
    lines.push_back(fields);
  }
  return lines;
}

// The rows of a CSV table after its header, each by column name.
inline std::vector<std::map<std::string, std::string>> csv_rows(const std::string& text) {
  const std::vector<std::vector<std::string>> lines = csv_lines(text);
  std::vector<std::map<std::string, std::string>> rows;
  for (std::size_t k = 1; k < lines.size(); ++k) {
    std::map<std::string, std::string> row;
    for (std::size_t n = 0; n < lines[k].size() && n < lines[0].size(); ++n) row[lines[0][n]] = lines[k][n];
    rows.push_back(row);
  }
  return rows;
}
