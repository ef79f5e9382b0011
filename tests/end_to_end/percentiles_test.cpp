// The percentiles of each zone's altitudes and its hypsometric integral:
// the small grid worked out by hand, the demo's zone against numpy's
// inverted_cdf for each kind of key (a grid's doubles, a raw DEM's stored
// values, a GeoTIFF's Float32 values), the usage errors.
#include <gtest/gtest.h>

#include "run_tool.h"
#include "small_grid.h"

TEST(Percentiles, SmallGridWorkedByHand) {
  const SmallGrid grid;
  const CliRun run = run_cli(grid.dir, "--table - --percentiles 0,2.5,21,50,100 dem.asc zone.raw");
  ASSERT_EQ(run.status, 0) << run.errors;
  // Code 0 holds 15, 21, 24, 25, 26, 27, every cell on its edge: a mean of
  // 23 over 15 to 27. Code 3 holds 12, 13, 18, 19, 20 (and a cell without
  // data): a mean of 16.4. Code 7 lies on the frame (18 cells: P21 is the
  // 4th, P50 the 9th): no volume, no area.
  struct Row {
    const char* percentiles;
    double integral;
  };
  const Row expected[] = {{"15 15 21 24 27", 8.0 / 12.0}, {"12 12 13 18 20", 4.4 / 8.0}, {"5 5 8 17 34", -1}};
  const auto rows = csv_rows(run.out);
  ASSERT_EQ(rows.size(), 3u) << run.out;
  for (std::size_t k = 0; k < rows.size(); ++k) {
    const auto& r = rows[k];
    EXPECT_EQ(r.at("p0_m") + " " + r.at("p2.5_m") + " " + r.at("p21_m") + " " + r.at("p50_m") + " " + r.at("p100_m"),
              expected[k].percentiles)
        << r.at("code");
    if (expected[k].integral < 0) {
      EXPECT_EQ(r.at("hypsometric_integral"), "") << r.at("code");
    } else {
      EXPECT_NEAR(std::stod(r.at("hypsometric_integral")), expected[k].integral, 1e-15) << r.at("code");
    }
  }
  // The one-zone report: the same names at its top level.
  const CliRun one = run_cli(grid.dir, "-c 3 --percentiles 50 --report - dem.asc zone.raw r.asc");
  ASSERT_EQ(one.status, 0) << one.errors;
  EXPECT_NE(one.out.find("\"p50_m\": 18,"), std::string::npos) << one.out;
  EXPECT_NE(one.out.find("\"hypsometric_integral\": 0.54999999999"), std::string::npos) << one.out;
  // Without --percentiles, neither; percentiles that are not are usage errors.
  EXPECT_EQ(run_cli(grid.dir, "--table - dem.asc zone.raw").out.find("hypsometric"), std::string::npos);
  for (const char* wrong : {"101", "5,5", "5,", "-5", "1e1"}) {
    const CliRun usage = run_cli(grid.dir, std::string("--table - dem.asc zone.raw --percentiles ") + wrong);
    EXPECT_EQ(usage.status, 2) << wrong;
    EXPECT_NE(usage.errors.find("--percentiles"), std::string::npos) << wrong << "\n" << usage.errors;
  }
}

TEST(Percentiles, EveryKindOfKeyGivesWhatNumpyGives) {
  NEED_GDAL_TOOLS();
  // numpy.percentile(v, [0, 5, 50, 95, 100], method="inverted_cdf") of the
  // demo's zone 1 (875 cells).
  const double numpy[] = {920, 924.4, 969.6, 1034.9, 1074};
  TempDir base;
  const std::string dir = base / "demo";
  demo_for_gdal(dir);
  shell("cd " + dir + " && gdal_translate -q -ot Float32 jacksboro.asc dem32.tif");
  for (const char* flags : {"jacksboro.asc zone.raw", "--dem-unit dm jacksboro_m2.raw zone.raw", "dem32.tif zone.raw"}) {
    const bool float32 = std::string(flags).find("dem32") != std::string::npos;
    const CliRun run = run_cli(dir, std::string("--table - --codes 1 --percentiles 0,5,50,95,100 ") + flags);
    ASSERT_EQ(run.status, 0) << flags << "\n" << run.errors;
    const auto rows = csv_rows(run.out);
    ASSERT_EQ(rows.size(), 1u) << run.out;
    int k = 0;
    for (const char* column : {"p0_m", "p5_m", "p50_m", "p95_m", "p100_m"}) {
      const double expected = float32 ? static_cast<float>(numpy[k]) : numpy[k];
      EXPECT_EQ(std::stod(rows[0].at(column)), expected) << flags << " " << column;
      ++k;
    }
  }
}

