// Change between two surveys: a DEM pair worked out by hand (a pile grew, a
// pit deepened, a change below the threshold, a reference without data),
// the difference result, grids that differ, and the usage errors.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "run_tool.h"
#include "small_grid.h"

namespace {

// The small grid's code 3 against a reference: 12 was 10 (a pile grew by 2),
// 13 was 13.05 (a change of 0.05), 18 has no data there, 19 was 22 (a pit
// deepened by 3), 20 was 20.
const char* kReferenceCells =
    "5 6 7 8 9 10\n11 10 13.05 30 15 16\n17 -1 22 20 21 22\n23 24 25 26 27 28\n29 30 31 32 33 34\n";

struct Folder : SmallGrid {
  Folder() { write_file(dir + "/ref.asc", small_grid("NODATA_value -1\n", kReferenceCells)); }
};

}  // namespace

TEST(TwoSurfaces, HandWorkedPair) {
  const Folder folder;
  // With a threshold of 0.1 the change of 0.05 is none: fill 2 x 50, cut
  // 3 x 50; 12 and 19 changed, 13 and 20 unchanged, 18 without reference.
  const CliRun run = run_cli(folder.dir, "-c 3 --reference ref.asc --threshold 0.1 --report - dem.asc zone.raw r.asc");
  ASSERT_EQ(run.status, 0) << run.errors;
  for (const char* line : {"\"threshold_m\": 0.1,", "\"fill_m3\": 100,", "\"cut_m3\": 150,", "\"net_m3\": -50,",
                           "\"changed_cells\": 2,", "\"unchanged_cells\": 2,", "\"no_data_reference\": 1,",
                           "\"volume_m3\": 4100,"}) {
    EXPECT_NE(run.out.find(line), std::string::npos) << line << "\n" << run.out;
  }
  // Without it, 13 - 13.05 is cut too, summed in the cells' order; every row
  // splits its counted cells into changed, unchanged and without reference
  // (the frame's cells of code 7 count in none).
  const CliRun table = run_cli(folder.dir, "--table - --reference ref.asc dem.asc zone.raw");
  ASSERT_EQ(table.status, 0) << table.errors;
  const auto rows = csv_rows(table.out);
  ASSERT_EQ(rows.size(), 3u) << table.out;
  const double small_cut = (13.05 - 13.0) * 100.0 * 0.5;
  EXPECT_EQ(std::stod(rows[1].at("cut_m3")), small_cut + 150.0);
  EXPECT_EQ(std::stod(rows[1].at("net_m3")), 100.0 - (small_cut + 150.0));
  EXPECT_EQ(rows[1].at("changed_cells"), "3");
  for (const auto& row : rows) {
    EXPECT_EQ(std::stoll(row.at("changed_cells")) + std::stoll(row.at("unchanged_cells")) +
                  std::stoll(row.at("no_data_reference")),
              std::stoll(row.at("full")) + std::stoll(row.at("half")))
        << row.at("code");
  }
  EXPECT_EQ(rows[2].at("frame"), "18");
  EXPECT_EQ(rows[2].at("changed_cells"), "0");
  // --edge full counts the frame: code 7's cells are the same in both.
  const auto whole = csv_rows(run_cli(folder.dir, "--table - --edge full --reference ref.asc dem.asc zone.raw").out);
  ASSERT_EQ(whole.size(), 3u);
  EXPECT_EQ(whole[2].at("unchanged_cells"), "18");
  EXPECT_EQ(whole[1].at("fill_m3"), "200");
}

TEST(TwoSurfaces, DifferenceResult) {
  const Folder folder;
  const CliRun run = run_cli(folder.dir, "-c 3 -a 7 --reference ref.asc --difference dem.asc zone.raw d.asc");
  ASSERT_EQ(run.status, 0) << run.errors;
  // The zone holds DEM - REF, not thresholded; its cells where either has
  // no data the grid's marker; the report's volume stays the DEM's.
  std::istringstream cells(read_file(folder.dir + "/d.asc"));
  std::vector<double> values;
  std::string token;
  for (int k = 0; k < 12 && cells >> token; ++k) {}  // the six header lines
  while (cells >> token) values.push_back(std::stod(token));
  ASSERT_EQ(values.size(), 30u);
  const std::vector<double> zone = {values[7], values[8], values[9], values[13], values[14], values[15]};
  EXPECT_EQ(zone, (std::vector<double>{2, -0.05, -9999.9999, -9999.9999, -3, 0}));
  EXPECT_EQ(values[0], 7.0);
  EXPECT_NE(read_file(folder.dir + "/d.json").find("\"volume_m3\": 4100,"), std::string::npos);

  struct Refused {
    const char* why;
    const char* dem;
    const char* flags;
    const char* message;
  };
  const Refused refused[] = {
      {"a 16-bit raster holds no negative difference", "dem.asc", "--unit dm", "go from -30 to 20"},
      {"the DEM has no marker for the reference's gaps", "plain.asc", "", "no no-data value to mark them"},
      {"a difference of -1 is the DEM's marker", "low.asc", "", "the result could not tell them"},
  };
  write_file(folder.dir + "/plain.asc", small_grid("", "5 6 7 8 9 10\n11 12 13 14 15 16\n17 18 19 20 21 22\n"
                                                 "23 24 25 26 27 28\n29 30 31 32 33 34\n"));
  write_file(folder.dir + "/low.asc", small_grid("NODATA_value -1\n", "5 6 7 8 9 10\n11 9 13 -1 15 16\n"
                                                               "17 18 19 20 21 22\n23 24 25 26 27 28\n29 30 31 32 33 34\n"));
  for (const Refused& r : refused) {
    const std::string result = std::string("d2") + (*r.flags != '\0' ? "_m2.raw" : ".asc");
    const CliRun failed = run_cli(folder.dir, std::string("-c 3 --reference ref.asc --difference ") + r.flags + " " +
                                                  r.dem + " zone.raw " + result);
    EXPECT_EQ(failed.status, 1) << r.why << "\n" << failed.errors;
    EXPECT_NE(failed.errors.find(r.message), std::string::npos) << r.why << "\n" << failed.errors;
    EXPECT_FALSE(std::filesystem::exists(folder.dir + "/" + result)) << r.why;
  }
}

TEST(TwoSurfaces, ReferenceOnAnotherGridOrUnitless) {
  const Folder folder;
  const std::string& dir = folder.dir;
  write_file(dir + "/short.asc", "ncols 6\nnrows 4\nxllcorner 0\nyllcorner 0\ncellsize 10\n1 1 1 1 1 1\n1 1 1 1 1 1\n"
                                 "1 1 1 1 1 1\n1 1 1 1 1 1\n");
  write_file(dir + "/moved.asc", "ncols 6\nnrows 5\nxllcorner 10\nyllcorner 0\ncellsize 10\n" + std::string(kSmallGridCells));
  for (const char* reference : {"short.asc", "moved.asc"}) {
    const CliRun run = run_cli(dir, std::string("-c 3 --reference ") + reference + " dem.asc zone.raw r.asc");
    EXPECT_EQ(run.status, 1) << run.errors;
    EXPECT_NE(run.errors.find(dir + "/" + reference), std::string::npos) << run.errors;
    EXPECT_NE(run.errors.find(dir + "/dem.asc"), std::string::npos) << run.errors;
  }
  // A raw reference without descriptor lies on the DEM's grid: all zero,
  // every counted cell's altitude is fill.
  write_bytes(dir + "/flat_m2.raw", Bytes(60, 0));
  const CliRun raw = run_cli(dir, "--table - --codes 3 --reference flat_m2.raw --reference-unit m dem.asc zone.raw");
  ASSERT_EQ(raw.status, 0) << raw.errors;
  const auto rows = csv_rows(raw.out);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].at("fill_m3"), rows[0].at("volume_m3"));
  EXPECT_EQ(rows[0].at("cut_m3"), "0");
}

TEST(TwoSurfaces, UsageErrors) {
  const Folder folder;
  write_bytes(folder.dir + "/flat_m2.raw", Bytes(60, 0));
  for (const char* flags : {"-c 3 --threshold 0.1 dem.asc zone.raw r.asc",
                            "-c 3 --reference ref.asc --threshold -1 dem.asc zone.raw r.asc",
                            "-c 3 --reference ref.asc --threshold x dem.asc zone.raw r.asc",
                            "-c 3 --difference dem.asc zone.raw r.asc",
                            "--table - --reference ref.asc --difference dem.asc zone.raw",
                            "-c 3 --reference-unit m dem.asc zone.raw r.asc",
                            "-c 3 --reference flat_m2.raw dem.asc zone.raw r.asc",
                            "-c 3 --reference ref.asc --reference-unit m dem.asc zone.raw r.asc",
                            "-c 3 --reference ref.asc --report ref.asc dem.asc zone.raw r.asc"}) {
    const CliRun run = run_cli(folder.dir, flags);
    EXPECT_EQ(run.status, 2) << flags << "\n" << run.errors;
  }
  EXPECT_FALSE(std::filesystem::exists(folder.dir + "/r.asc"));
}

TEST(TwoSurfaces, GeoTiffReference) {
  NEED_GDAL_TOOLS();
  const Folder folder;
  const std::string& dir = folder.dir;
  shell("cd " + dir + " && gdal_translate -q -a_srs EPSG:32631 dem.asc dem.tif && gdal_translate -q -a_srs "
        "EPSG:32631 ref.asc ref.tif && gdal_translate -q -a_srs EPSG:32632 ref.asc other.tif");
  const CliRun run = run_cli(dir, "--table - --codes 3 --threshold 0.1 --reference ref.tif dem.tif zone.raw");
  ASSERT_EQ(run.status, 0) << run.errors;
  const auto rows = csv_rows(run.out);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].at("fill_m3"), "100");
  EXPECT_EQ(rows[0].at("cut_m3"), "150");
  const CliRun other = run_cli(dir, "-c 3 --reference other.tif dem.tif zone.raw r.tif");
  EXPECT_EQ(other.status, 1) << other.errors;
  EXPECT_NE(other.errors.find("another coordinate system"), std::string::npos) << other.errors;
}
