// The sample data of examples/demo: a real DEM of 200 x 222 cells in
// decimetres (and the same in metres as a grid) with a three-code mask (raw and
// bitmap). Its README gives the volume of each zone.
#include <gtest/gtest.h>

#include <filesystem>

#include "run_tool.h"

namespace {

struct Demo {
  Demo() { std::filesystem::copy(MESACROP_EXAMPLES "/demo", base / "demo"); }
  std::string run(const std::string& answers, const std::string& result) {
    const ToolRun r = run_tool(base.path(), answers);
    EXPECT_EQ(r.status, 0) << r.transcript;
    const std::string content = read_file(base / ("demo/" + result));
    std::filesystem::remove(base / ("demo/" + result));
    return content;
  }
  TempDir base;
};

}  // namespace

TEST(Demo, VolumesOfEachZoneFromEveryInputForm) {
  Demo demo;
  struct Case {
    const char* code;
    const char* volume;
  };
  for (const Case& c : {Case{"1", "5.953239"}, Case{"2", "5.229108"}, Case{"0", "169.449827"}, Case{"3", "0.000000"}}) {
    const std::string zone = std::string(c.code) + "\n0\n0\nres\n1\n0\n";
    // Raw DEM in decimetres with the raw mask; the grid in metres with the
    // bitmap mask, saved in decimetres: the same rasters, the same volume.
    const std::string raw_raster = demo.run("demo\njacksboro\n1\n0\n1\nzone\n1\n" + zone, "res_m2.raw");
    const std::string raw_descriptor = read_file(demo.base / "demo/res_m2.txt");
    const std::string grid_raster = demo.run("demo\njacksboro\n0\nzone\n0\n" + zone + "1\n", "res_m2.raw");
    const std::string grid_descriptor = read_file(demo.base / "demo/res_m2.txt");
    EXPECT_EQ(raw_raster.size(), 88800u);
    EXPECT_EQ(raw_raster, grid_raster) << "code " << c.code;
    const std::string volume_line = std::string("\n\t\tresult = ") + c.volume + " km3 ";
    EXPECT_NE(raw_descriptor.find(volume_line), std::string::npos) << raw_descriptor;
    EXPECT_NE(grid_descriptor.find(volume_line), std::string::npos) << grid_descriptor;
  }
}

TEST(Demo, CodeOneKeepsTheSummitCellsExactly) {
  Demo demo;
  const std::string dem = read_file(demo.base / "demo/jacksboro_m2.raw");
  const std::string mask = read_file(demo.base / "demo/zone.raw");
  const std::string result = demo.run("demo\njacksboro\n1\n0\n1\nzone\n1\n1\n250\n1\nres\n1\n0\n", "res_m2.raw");
  ASSERT_EQ(result.size(), dem.size());
  for (std::size_t k = 0; k < mask.size(); ++k) {
    const std::string cell = result.substr(2 * k, 2);
    if (mask[k] == 1) {
      ASSERT_EQ(cell, dem.substr(2 * k, 2)) << "cell " << k;
    } else {
      ASSERT_EQ(cell, std::string("\xC4\x09", 2)) << "cell " << k;  // 250 m in decimetres: 2500
    }
  }
  EXPECT_EQ(read_file(demo.base / "demo/res_m2.txt").rfind("200\n222\n2\n2500\n10740\n90\n", 0), 0u);
}

TEST(Demo, CentimetresDoNotFitSixteenBits) {
  Demo demo;
  const ToolRun r = run_tool(demo.base.path(), "demo\njacksboro\n0\nzone\n0\n1\n0\n1\nres\n1\n0\n2\n0\n");
  EXPECT_EQ(r.status, 0) << r.transcript;
  EXPECT_NE(r.transcript.find("go from 0 to 107400, but a 16-bit raster holds 0 to 65535 only"), std::string::npos);
  const std::string grid = read_file(demo.base / "demo/res.asc");
  EXPECT_EQ(grid.rfind("ncols 222\nnrows 200\nxllcorner 739890.000000\nyllcorner 4037760.000000\n"
                       "cellsize 90.000000\nnodata_value -9999.9999\n",
                       0),
            0u);
  // Line 160, column 90 holds the highest cell of the zone.
  std::size_t at = grid.find("-9999.9999\n") + 11;
  for (int k = 0; k < 160 * 222 + 90; ++k) at = grid.find('\t', at) + 1;
  EXPECT_EQ(grid.substr(at, 12), "1074.000000\t");
}
