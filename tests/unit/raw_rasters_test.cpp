#include <gtest/gtest.h>

#include "fatal.h"
#include "files/formats.h"
#include "files/input_file.h"
#include "files/output_file.h"
#include "matrix.h"
#include "nrutil.h"
#include "test_files.h"

namespace {

Matrix<int> read32(const std::string& path, int lines, int cols) {
  InputFile f = open_input(path, "rb");
  Matrix<int> m(imatrice(cols, lines), lines, frimatrice);
  read_raw_dem_32(f.get(), path, m.get(), lines, cols);
  return m;
}

Matrix<unsigned short> read16(const std::string& path, int lines, int cols) {
  InputFile f = open_input(path, "rb");
  Matrix<unsigned short> m(usmatrice(cols, lines), lines, frusmatrice);
  read_raw_dem_16(f.get(), path, m.get(), lines, cols);
  return m;
}

}  // namespace

TEST(RawRasters, CellsAreLittleEndian) {
  TempDir dir;
  write_bytes(dir / "a_m2.raw", {0xFF, 0xFF, 0x34, 0x12, 0x00, 0x80});
  const auto j = read16(dir / "a_m2.raw", 1, 3);
  EXPECT_EQ(j[0][0], 65535);
  EXPECT_EQ(j[0][1], 4660);
  EXPECT_EQ(j[0][2], 32768);

  write_bytes(dir / "a_m4.raw", {0xFF, 0xFF, 0xFF, 0xFF, 0x78, 0x56, 0x34, 0x12, 0x00, 0x00, 0x00, 0x80, 1, 0, 0, 0});
  const auto i = read32(dir / "a_m4.raw", 2, 2);
  EXPECT_EQ(i[0][0], -1);
  EXPECT_EQ(i[0][1], 0x12345678);
  EXPECT_EQ(i[1][0], -2147483647 - 1);
  EXPECT_EQ(i[1][1], 1);  // line 1 follows line 0 in the file
}

TEST(RawRasters, WrittenCellsReadBackAndAreLittleEndian) {
  TempDir dir;
  Matrix<unsigned short> j(usmatrice(2, 2), 2, frusmatrice);
  j[0][0] = 65535, j[0][1] = 4660, j[1][0] = 1, j[1][1] = 256;
  OutputFile out16;
  out16.create(dir / "r_m2.raw");
  write_raw_dem_16(out16, j.get(), 2, 2);
  out16.publish();
  EXPECT_EQ(read_file(dir / "r_m2.raw"), std::string("\xFF\xFF\x34\x12\x01\x00\x00\x01", 8));

  Matrix<int> i(imatrice(2, 1), 1, frimatrice);
  i[0][0] = -129, i[0][1] = 0x01020304;
  OutputFile out32;
  out32.create(dir / "r_m4.raw");
  write_raw_dem_32(out32, i.get(), 1, 2);
  out32.publish();
  EXPECT_EQ(read_file(dir / "r_m4.raw"), std::string("\x7F\xFF\xFF\xFF\x04\x03\x02\x01", 8));
  EXPECT_EQ(list_folder(dir.path()), (std::vector<std::string>{"r_m2.raw", "r_m4.raw"}));  // no temporary left
}

TEST(RawRasters, ShortFilesStopNamingTheSizesLongFilesReportTheSurplus) {
  TempDir dir;
  write_bytes(dir / "dem_m4.raw", Bytes(23, 7));
  InputFile f = open_input(dir / "dem_m4.raw", "rb");
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
  InputFile f = open_input(dir / "zone.raw", "rb");
  Matrix<unsigned char> m(ucmatrice(3, 2), 2, frucmatrice);
  read_raw_mask(f.get(), dir / "zone.raw", m.get(), 2, 3);
  for (int k = 0; k < 6; ++k) EXPECT_EQ(m[k / 3][k % 3], k);
}
