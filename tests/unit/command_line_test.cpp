// The flags as the job's choices; the headers beside raw rasters; JSON
// strings of any bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "command_line/command_line.h"
#include "files/formats.h"
#include "platform.h"

namespace {

CommandLine parsed(const std::string& words) {
  std::istringstream in(words);
  std::vector<std::string> arguments;
  for (std::string w; in >> w;) arguments.push_back(w);
  return parse_command_line(arguments);
}

}  // namespace

TEST(CommandLineFlags, EachFlagSetsItsChoice) {
  const Job raw = parsed("-c 3 -a -2.5 --no-volume --dem-unit cm --corner 10,20 --size 4,5 --pixel-size 2 "
                         "--base 100 d/dem_m4.raw zone.raw out/res.asc").job;
  EXPECT_EQ(raw.zone.code, 3);
  EXPECT_EQ(raw.zone.outside_m, -2.5);
  EXPECT_FALSE(raw.zone.volume());
  EXPECT_EQ(raw.dem.layout, DemLayout::raw);
  EXPECT_EQ(raw.dem.itype, 1);
  EXPECT_EQ(raw.dem.unit, kCentimetre);
  EXPECT_EQ(raw.result.layout, ResultLayout::ascii_grid);
  EXPECT_EQ(raw.result.corner->x, 10);
  EXPECT_EQ(raw.result.corner->y, 20);
  EXPECT_EQ(*raw.dem.lines * 10 + *raw.dem.columns, 45);
  EXPECT_EQ(*raw.mask.lines, 4);
  EXPECT_EQ(raw.zone.base_m, 100);
  // From the root (whatever the system's separator).
  auto slashed = [](std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
  };
  EXPECT_EQ(slashed(raw.dem.path).substr(raw.dem.path.size() - 13), "/d/dem_m4.raw");
  EXPECT_EQ(slashed(raw.result.base).substr(raw.result.base.size() - 8), "/out/res");
  EXPECT_EQ(raw.dem.path, absolute_path("d/dem_m4.raw"));

  const CommandLine grid = parsed("--code=7 --outside=nodata --report - dem.asc zone.bmp res.asc --quiet");
  EXPECT_TRUE(grid.job.zone.outside_no_data);
  EXPECT_TRUE(grid.quiet);
  EXPECT_EQ(grid.job.mask.layout, MaskLayout::bitmap);
  EXPECT_EQ(grid.job.result.report_copy, "-");
  const Job to_raw = parsed("-c 1 --unit mm dem.asc zone.raw res_m2.raw").job;
  EXPECT_EQ(to_raw.result.itype, 0);
  EXPECT_EQ(to_raw.result.unit, kMillimetre);

  const Job table = parsed("--codes 9,1,70000 --table - dem.asc zone.raw").job;
  EXPECT_FALSE(table.result_wanted);
  EXPECT_EQ(*table.table->codes, (std::vector<long long>{9, 1, 70000}));
  EXPECT_TRUE(parsed("--version").version);
}

TEST(RasterHeaders, TheNoDataAndCornerOfEsriAndEnviHeaders) {
  struct Case {
    const char* name;
    std::string text;
    std::optional<double> nodata;
    bool placed;
    double west, north;
  };
  const Case cases[] = {
      {"ESRI BIL", "BYTEORDER I\nNROWS 3\nnodata -9999\nULXMAP 105\nULYMAP 395\nXDIM 10\nYDIM 10\n", -9999.0, true, 100,
       400},
      {"ENVI", "ENVI\nsamples = 4\ndata ignore value = 65535\nmap info = {UTM, 1, 1, 100, 400, 10, 10, 31, North}\n",
       65535.0, true, 100, 400},
      {"ENVI, reference pixel 2, 3", "ENVI\nmap info = {UTM, 2, 3, 110, 380, 10, 10}\n", std::nullopt, true, 100, 400},
      {"neither", "NROWS 3\nNCOLS 4\n", std::nullopt, false, 0, 0},
  };
  for (const Case& c : cases) {
    const RasterHeader h = read_raster_header(c.text);
    EXPECT_EQ(h.nodata, c.nodata) << c.name;
    EXPECT_EQ(h.placed, c.placed) << c.name;
    EXPECT_EQ(h.west, c.west) << c.name;
    EXPECT_EQ(h.north, c.north) << c.name;
  }
}

TEST(JsonStrings, BytesThatAreNotUtf8AreEscapedOneByOne) {
  EXPECT_EQ(json_string("d\xc3\xa9mo/\"a\\b\"\t"), "\"d\xc3\xa9mo/\\\"a\\\\b\\\"\\u0009\"");
  EXPECT_EQ(json_string("d\xe9mo"), "\"d\\u00e9mo\"");                  // Latin-1
  EXPECT_EQ(json_string("\xed\xa0\x80x"), "\"\\u00ed\\u00a0\\u0080x\"");  // a surrogate
  EXPECT_EQ(json_string("\xf0\x9f\x8c\x8d!"), "\"\xf0\x9f\x8c\x8d!\"");  // a four-byte sequence
}

TEST(Units, TheNamesBandsFlagsAndCoordinateSystemsGive) {
  struct Case {
    const char* name;
    std::optional<int> unit;
  };
  const Case cases[] = {{"m", kMetre},           {"Metre", kMetre},       {" meters ", kMetre},
                        {"dm", kDecimetre},      {"cm", kCentimetre},     {"centimetres", kCentimetre},
                        {"MM", kMillimetre},     {"ft", kFoot},           {"International Foot", kFoot},
                        {"US survey foot", kUsFoot}, {"Foot_US", kUsFoot}, {"ftUS", kUsFoot},
                        {"us-ft", kUsFoot},      {"furlong", std::nullopt}, {"", std::nullopt},
                        {"meter|", std::nullopt}, {"m|metre", std::nullopt}};
  for (const Case& c : cases) EXPECT_EQ(unit_of_name(c.name), c.unit) << c.name;
  EXPECT_EQ(unit_names(), "m, dm, cm, mm, ft or us-ft");
  EXPECT_EQ(to_metres(1074.0 * 10, kDecimetre), 1074.0);
  EXPECT_EQ(to_metres(1.0, kUsFoot), 1200.0 / 3937.0);
}
