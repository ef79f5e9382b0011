#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "fatal.h"
#include "files/formats.h"
#include "files/input_file.h"
#include "files/output_file.h"
#include "matrix.h"
#include "nrutil.h"
#include "test_files.h"

namespace {

struct Loaded {
  RasterGeometry header;
  std::vector<double> cells;
  std::vector<int> progress;
};

// Reads a grid written out as text, in bands of `band` lines; fatal stops
// come back as their message.
Loaded load(const std::string& content, int band = 2) {
  TempDir dir;
  write_file(dir / "g.asc", content);
  InputFile f = open_input(dir / "g.asc");
  GridReader reader(f.get(), dir / "g.asc");
  Loaded out;
  out.header = reader.read_header();
  const int lines = out.header.nb_lig, cols = out.header.nb_col;
  Matrix<double> m(dmatrice(cols, band), band, frdmatrice);
  for (int first = 0; first < lines; first += band) {
    const int count = std::min(band, lines - first);
    reader.read_lines(m.get(), first, count, 0, cols, [&](int line) { out.progress.push_back(line); });
    for (int k = 0; k < count; ++k) out.cells.insert(out.cells.end(), m[k], m[k] + cols);
  }
  return out;
}

// Writes lines x cols cells as the tool writes a grid, in bands of `band` lines.
std::string write_grid(const std::vector<double>& cells, int lines, int cols, int band = 3, double x = 739890.0,
                       double y = 4037760.0, double cell = 90.0) {
  TempDir dir;
  OutputFile out;
  out.create(dir / "r.asc");
  RasterGeometry g;
  g.nb_lig = lines, g.nb_col = cols, g.X_min = x, g.Y_min = y, g.dpix_size = cell;
  GridWriter writer(out, g);
  std::vector<const double*> rows;
  for (int i = 0; i < lines; ++i) rows.push_back(cells.data() + static_cast<std::size_t>(i) * cols);
  for (int first = 0; first < lines; first += band) writer.write_lines(rows.data() + first, std::min(band, lines - first), cols);
  out.publish();
  return read_file(dir / "r.asc");
}

std::string stop_message(const std::string& content) {
  try {
    load(content);
  } catch (const FatalStop& stop) {
    return stop.message;
  }
  return "(no stop)";
}

const std::string kToolGrid =
    "ncols 3\nnrows 2\nxllcorner 739890.000000\nyllcorner 4037760.000000\ncellsize 90.000000\n"
    "nodata_value -9999.9999\n1.500000\t-2.000000\t3.250000\t4.000000\t5.000000\t-9999.000000\t";

}  // namespace

TEST(AsciiGrid, ReadsTheLayoutsThatToolsWrite) {
  const std::vector<double> cells = {1.5, -2.0, 3.25, 4.0, 5.0, -9999.0};
  struct Case {
    const char* name;
    std::string content;
  };
  const Case cases[] = {
      {"as the tool writes it", kToolGrid},
      {"capitals", "NCOLS 3\nNROWS 2\nXLLCORNER 739890\nYLLCORNER 4037760\nCELLSIZE 90\nNODATA_VALUE -9999.9999\n"
                   "1.5 -2 3.25 4 5 -9999\n"},
      {"tabs and padding, one text line per raster line, leading blanks",
       "ncols\t3\nnrows        2\nxllcorner    739890.0\nyllcorner    4037760.0\ncellsize     90\n"
       "NODATA_value  -9999.9999\n 1.5 -2 3.25\n 4 5 -9999\n"},
      {"CR LF", "ncols 3\r\nnrows 2\r\nxllcorner 739890\r\nyllcorner 4037760\r\ncellsize 90\r\n"
                "nodata_value -9999.9999\r\n1.5 -2 3.25\r\n4 5 -9999\r\n"},
      {"nrows before ncols", "nrows 2\nncols 3\nyllcorner 4037760\nxllcorner 739890\ncellsize 90\n"
                             "nodata_value -1\n1.5 -2 3.25 4 5 -9999"},
      {"no nodata_value line", "ncols 3\nnrows 2\nxllcorner 739890\nyllcorner 4037760\ncellsize 90\n"
                               "1.5 -2 3.25 4 5 -9999"},
      {"corner given by the centre of the corner cell",
       "ncols 3\nnrows 2\nxllcenter 739935\nyllcenter 4037805\ncellsize 90\n1.5 -2 3.25 4 5 -9999"},
      {"values after the last cell are ignored", kToolGrid + "77 88\n"},
  };
  for (const Case& c : cases) {
    const Loaded g = load(c.content);
    EXPECT_EQ(g.header.nb_col, 3) << c.name;
    EXPECT_EQ(g.header.nb_lig, 2) << c.name;
    EXPECT_EQ(g.header.X_min, 739890.0) << c.name;
    EXPECT_EQ(g.header.Y_min, 4037760.0) << c.name;
    EXPECT_EQ(g.header.dpix_size, 90.0) << c.name;
    EXPECT_EQ(g.cells, cells) << c.name;
  }
}

TEST(AsciiGrid, RefusesGridsItCannotReadWhole) {
  const std::string header = "ncols 3\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 1\n";
  struct Case {
    const char* name;
    std::string content;
    std::vector<std::string> message_has;
  };
  const Case cases[] = {
      {"too few cells", header + "1 2 3 4 5", {"g.asc", "line 1, column 2"}},
      {"a word among the cells", header + "1 2 3 4 x5 6", {"g.asc", "\"x5\"", "line 1, column 1"}},
      {"unknown keyword", "ncols 3\nnrows 2\nxllcorner 0\nyllcorner 0\nmycellsize 1\n1 2 3 4 5 6",
       {"g.asc", "\"mycellsize\""}},
      {"non-square cells", "ncols 3\nnrows 2\nxllcorner 0\nyllcorner 0\ndx 1\ndy 2\n1 2 3 4 5 6", {"g.asc", "dx"}},
      {"missing cellsize", "ncols 3\nnrows 2\nxllcorner 0\nyllcorner 0\n1 2 3 4 5 6", {"g.asc", "cellsize"}},
      {"keyword twice", "ncols 3\nncols 3\nnrows 2\n", {"g.asc", "ncols twice"}},
      {"a count that is not whole", "ncols 3.5\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 1\n1 2 3 4 5 6",
       {"g.asc", "ncols"}},
      {"a value that is no number", "ncols 3\nnrows 2\nxllcorner east\n", {"g.asc", "xllcorner", "\"east\""}},
  };
  for (const Case& c : cases) {
    const std::string message = stop_message(c.content);
    for (const std::string& part : c.message_has) {
      EXPECT_NE(message.find(part), std::string::npos) << c.name << ": " << message;
    }
  }
}

TEST(AsciiGrid, ProgressBeforeEveryHundredthLine) {
  for (auto [lines, expected] : {std::pair{100, std::vector<int>{}}, {101, {100}}, {250, {100, 200}}}) {
    std::string content = "ncols 1\nnrows " + std::to_string(lines) + "\nxllcorner 0\nyllcorner 0\ncellsize 1\n";
    for (int i = 0; i < lines; ++i) content += "1\n";
    std::vector<int> at_hundreds;
    for (int line : load(content).progress) {
      if (line > 0 && line % 100 == 0) at_hundreds.push_back(line);
    }
    EXPECT_EQ(at_hundreds, expected) << lines;
  }
}

TEST(AsciiGrid, WritesTheExactLayout) {
  EXPECT_EQ(write_grid({1.5, -2.0, 3.25, 1074.0, -0.0, 0.0000005}, 2, 3, 1),
            "ncols 3\nnrows 2\nxllcorner 739890.000000\nyllcorner 4037760.000000\ncellsize 90.000000\n"
            "nodata_value -9999.9999\n"
            "1.500000\t-2.000000\t3.250000\t1074.000000\t-0.000000\t0.000000\t");
}

TEST(AsciiGrid, AHeaderInDegreesKeepsItsCornerAndCellSizeExactly) {
  // 3 arc-seconds: "%lf" would write 0.000833, 0.1 cell off after 250 cells.
  const double cell = 3.0 / 3600.0, x = 10.0 + cell / 3.0, y = 59.5;
  const std::string text = write_grid({1, 2}, 1, 2, 1, x, y, cell);
  EXPECT_EQ(text.substr(0, text.find("nodata_value")),
            "ncols 2\nnrows 1\nxllcorner 10.000277777777777\nyllcorner 59.500000\ncellsize 0.0008333333333333334\n");
  const Loaded g = load(text);
  EXPECT_EQ(g.header.map_cell(), cell);
  EXPECT_EQ(g.header.X_min, x);
}

TEST(AsciiGrid, WrittenGridsReadBackToTheSameCellsWhateverTheBands) {
  const int lines = 150, cols = 7000;  // more than one chunk of text, and text parsed on every core
  std::vector<double> cells(static_cast<std::size_t>(lines) * cols);
  for (std::size_t k = 0; k < cells.size(); ++k) cells[k] = static_cast<double>(k * 104729 % 1000003) / 97.0 - 5000.0;
  const std::string text = write_grid(cells, lines, cols, 7);
  EXPECT_EQ(write_grid(cells, lines, cols, 150), text);
  for (int band : {1, 64, 150}) {
    const Loaded g = load(text, band);
    ASSERT_EQ(g.cells.size(), cells.size());
    for (std::size_t k = 0; k < cells.size(); ++k) {
      // "%lf" keeps six decimals: reading gives the value of those decimals.
      ASSERT_EQ(g.cells[k], std::strtod(std::to_string(cells[k]).c_str(), nullptr)) << k;
    }
  }
}

TEST(AsciiGrid, TextLinesThatDoNotMatchRasterLines) {
  // One value a text line, and all values on one text line, read in bands of 1 and 2 lines.
  const std::string header = "ncols 3\nnrows 3\nxllcorner 0\nyllcorner 0\ncellsize 1\n";
  for (const std::string& body : {std::string("1\n2\n3\n4\n5\n6\n7\n8\n9\n"), std::string("1 2 3 4 5 6 7 8 9")}) {
    for (int band : {1, 2}) {
      EXPECT_EQ(load(header + body, band).cells, (std::vector<double>{1, 2, 3, 4, 5, 6, 7, 8, 9})) << band;
    }
  }
}
