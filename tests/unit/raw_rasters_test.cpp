#include <gtest/gtest.h>

#include "fatal.h"
#include "files/formats.h"
#include "files/input_file.h"
#include "files/output_file.h"
#include "matrix.h"
#include "nrutil.h"
#include "test_files.h"

namespace {

// The cells of a raw DEM file as the loader reads them.
std::vector<double> read_dem(const std::string& path, int lines, int cols, int cell_bytes) {
  InputFile f = open_input(path);
  Matrix<double> m(dmatrice(cols, lines), lines, frdmatrice);
  read_raw_dem(f.get(), path, m.get(), lines, cols, cell_bytes);
  std::vector<double> cells;
  for (int i = 0; i < lines; ++i) cells.insert(cells.end(), m[i], m[i] + cols);
  return cells;
}

std::string written(const TempDir& dir, int cell_bytes, const std::vector<std::int32_t>& stored, int cols) {
  OutputFile out;
  out.create(dir / "r.raw");
  const int lines = static_cast<int>(stored.size()) / cols;
  write_raw_dem(out, lines, cols, cell_bytes, [&](int line, std::int32_t* cells) {
    std::copy(stored.begin() + line * cols, stored.begin() + (line + 1) * cols, cells);
  });
  out.publish();
  return read_file(dir / "r.raw");
}

}  // namespace

TEST(RawRasters, CellsAreLittleEndian) {
  TempDir dir;
  write_bytes(dir / "a_m2.raw", {0xFF, 0xFF, 0x34, 0x12, 0x00, 0x80});
  EXPECT_EQ(read_dem(dir / "a_m2.raw", 1, 3, 2), (std::vector<double>{65535, 4660, 32768}));

  write_bytes(dir / "a_m4.raw", {0xFF, 0xFF, 0xFF, 0xFF, 0x78, 0x56, 0x34, 0x12, 0x00, 0x00, 0x00, 0x80, 1, 0, 0, 0});
  // Line 1 follows line 0 in the file.
  EXPECT_EQ(read_dem(dir / "a_m4.raw", 2, 2, 4), (std::vector<double>{-1, 0x12345678, -2147483648.0, 1}));
}

TEST(RawRasters, WrittenCellsAreLittleEndianAndReadBack) {
  TempDir dir;
  EXPECT_EQ(written(dir, 2, {65535, 4660, 1, 256}, 2), std::string("\xFF\xFF\x34\x12\x01\x00\x00\x01", 8));
  EXPECT_EQ(written(dir, 4, {-129, 0x01020304}, 2), std::string("\x7F\xFF\xFF\xFF\x04\x03\x02\x01", 8));
  EXPECT_EQ(read_dem(dir / "r.raw", 1, 2, 4), (std::vector<double>{-129, 0x01020304}));
  EXPECT_EQ(list_folder(dir.path()), (std::vector<std::string>{"r.raw"}));  // no temporary left
}

TEST(RawRasters, ShortFilesStopNamingTheSizesLongFilesReportTheSurplus) {
  TempDir dir;
  write_bytes(dir / "dem_m4.raw", Bytes(23, 7));
  InputFile f = open_input(dir / "dem_m4.raw");
  try {
    raster_surplus(f.get(), dir / "dem_m4.raw", 2, 3, 4);
    ADD_FAILURE() << "a short raster was accepted";
  } catch (const FatalStop& stop) {
    EXPECT_NE(stop.message.find("dem_m4.raw"), std::string::npos) << stop.message;
    EXPECT_NE(stop.message.find("24 bytes"), std::string::npos) << stop.message;
    EXPECT_NE(stop.message.find("holds 23"), std::string::npos) << stop.message;
  }
  EXPECT_EQ(raster_surplus(f.get(), dir / "dem_m4.raw", 1, 3, 4), 11u);
  EXPECT_EQ(raster_surplus(f.get(), dir / "dem_m4.raw", 23, 1, 1), 0u);
}

TEST(RawRasters, MaskBytesFillLinesInFileOrder) {
  TempDir dir;
  write_bytes(dir / "zone.raw", {0, 1, 2, 3, 4, 5, 250});
  InputFile f = open_input(dir / "zone.raw");
  Matrix<unsigned char> m(ucmatrice(3, 2), 2, frucmatrice);
  read_raw_mask(f.get(), dir / "zone.raw", m.get(), 2, 3);
  for (int k = 0; k < 6; ++k) EXPECT_EQ(m[k / 3][k % 3], k);
}
