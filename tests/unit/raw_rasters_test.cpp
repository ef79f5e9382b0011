#include <gtest/gtest.h>

#include "fatal.h"
#include "files/formats.h"
#include "files/input_file.h"
#include "files/output_file.h"
#include "matrix.h"
#include "nrutil.h"
#include "test_files.h"

namespace {

// The cells of a raw DEM file as the passes read them, in metres (unit 1).
std::vector<double> read_dem(const std::string& path, int lines, int cols, int cell_bytes) {
  InputFile f = open_input(path);
  const RawType& type = raw_type(cell_bytes == 2 ? 0 : 1);
  const std::size_t cells = static_cast<std::size_t>(lines) * static_cast<std::size_t>(cols);
  Bytes bytes(cells * static_cast<std::size_t>(cell_bytes));
  read_raw_lines(f.get(), path, bytes.data(), bytes.size() / static_cast<std::size_t>(lines), 0, lines);
  std::vector<double> metres(cells);
  raw_to_metres(bytes.data(), cells, type, 1.0, metres.data());
  return metres;
}

// The bytes of stored values as a result raster holds them, made from
// altitudes and straight from the stored cells of a raw DEM.
std::string written(int cell_bytes, const std::vector<std::int32_t>& stored) {
  const RawType& type = raw_type(cell_bytes == 2 ? 0 : 1);
  Bytes from_metres(stored.size() * static_cast<std::size_t>(cell_bytes));
  metres_to_raw(std::vector<double>(stored.begin(), stored.end()).data(), stored.size(), 1.0, type,
                from_metres.data());
  Bytes from_stored(from_metres.size());
  const Bytes all_in_zone(stored.size(), 1);
  const Bytes source = le32(stored);
  select_raw_cells(source.data(), raw_type(1), all_in_zone.data(), 1, 0, stored.size(), type, from_stored.data());
  EXPECT_EQ(from_stored, from_metres);
  return as_text(from_metres);
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
  EXPECT_EQ(written(2, {65535, 4660, 1, 256}), std::string("\xFF\xFF\x34\x12\x01\x00\x00\x01", 8));
  write_file(dir / "r.raw", written(4, {-129, 0x01020304}));
  EXPECT_EQ(read_file(dir / "r.raw"), std::string("\x7F\xFF\xFF\xFF\x04\x03\x02\x01", 8));
  EXPECT_EQ(read_dem(dir / "r.raw", 1, 2, 4), (std::vector<double>{-129, 0x01020304}));
}

TEST(RawRasters, CellsOutsideTheZoneGetTheHypsometricValue) {
  const Bytes stored = le16({10, 20, 30, 40});
  const Bytes mask = {3, 0, 3, 255};
  Bytes out(16);
  select_raw_cells(stored.data(), raw_type(0), mask.data(), 3, -7, 4, raw_type(1), out.data());
  EXPECT_EQ(out, le32({10, -7, 30, -7}));
  select_raw_cells(stored.data(), raw_type(0), mask.data(), 259, 5, 4, raw_type(0), out.data());  // no zone
  EXPECT_EQ(Bytes(out.begin(), out.begin() + 8), le16({5, 5, 5, 5}));
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

TEST(RawRasters, ReadingPastTheEndStopsNamingTheLine) {
  TempDir dir;
  write_bytes(dir / "zone.raw", {0, 1, 2, 3, 4});
  InputFile f = open_input(dir / "zone.raw");
  Bytes lines(6);
  try {
    read_raw_lines(f.get(), dir / "zone.raw", lines.data(), 3, 0, 2);
    ADD_FAILURE() << "a short read was accepted";
  } catch (const FatalStop& stop) {
    EXPECT_EQ(stop.message, "\n\n\tThe file " + dir / "zone.raw" + " could not be read at line 1\n");
  }
}
