// The table of every zone: each row exactly the figures of a one-zone run of
// its code, volumes above and below a base worked out by hand, CSV and JSON
// that parse back, and the usage errors of its flags.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "files/library_raster.h"
#include "run_tool.h"
#include "small_grid.h"

namespace {

// The figures of a JSON report or table row, in its order, as text.
std::vector<std::string> figures(const std::string& json, const std::vector<std::string>& keys) {
  std::vector<std::string> out;
  for (const std::string& key : keys) {
    const std::size_t at = json.find("\"" + key + "\": ");
    if (at == std::string::npos) {
      out.push_back("(none)");
      continue;
    }
    const std::size_t start = at + key.size() + 4;
    out.push_back(json.substr(start, json.find_first_of(",}\n", start) - start));
  }
  return out;
}

}  // namespace

TEST(ZoneTable, EveryRowIsTheOneZoneRunOfItsCode) {
  const SmallGrid folder;
  const std::string& dir = folder.dir;
  const CliRun table = run_cli(dir, "--base 20 --codes 7,0,3,9 --table t.json dem.asc zone.raw");
  ASSERT_EQ(table.status, 0) << table.errors;
  const std::string json = read_file(dir + "/t.json");
  std::vector<std::string> rows;
  for (std::size_t at = json.find("{\"code\""); at != std::string::npos; at = json.find("{\"code\"", at + 1)) {
    rows.push_back(json.substr(at, json.find('}', at) - at + 1));
  }
  ASSERT_EQ(rows.size(), 4u) << json;  // in increasing order, 9 absent from the mask
  const std::vector<std::string> counts = {"full", "half", "frame", "no_data"};
  const std::vector<std::string> reals = {"volume_m3", "above_base_m3", "below_base_m3"};
  const int codes[] = {0, 3, 7, 9};
  for (std::size_t k = 0; k < rows.size(); ++k) {
    EXPECT_EQ(figures(rows[k], {"code"})[0], std::to_string(codes[k]));
    const CliRun one = run_cli(dir, "-q --base 20 --report - -c " + std::to_string(codes[k]) + " dem.asc zone.raw r.asc");
    ASSERT_EQ(one.status, 0) << one.errors;
    // The same cells, area and volumes, bit for bit; the same altitudes.
    EXPECT_EQ(figures(rows[k], counts), figures(one.out.substr(one.out.find("zone_cells")), counts)) << rows[k];
    EXPECT_EQ(figures(rows[k], {"cells"})[0], figures(one.out, {"all"})[0]);
    EXPECT_EQ(figures(rows[k], {"area_m2"})[0], figures(one.out, {"zone_area_m2"})[0]);
    EXPECT_EQ(figures(rows[k], reals), figures(one.out, reals)) << rows[k];
    const std::string altitudes = one.out.substr(one.out.find("altitude_m"));
    EXPECT_EQ(figures(rows[k], {"min_m", "max_m", "mean_m"}), figures(altitudes, {"min", "max", "mean"})) << rows[k];
  }
  // Code 3 by hand: its inner cells 12, 13 (line 1) and 18, 19, 20 (line 2)
  // are all on its edge, 14 (-1) has no data; cell area 100 m2, each counts
  // half: above 20, (0 + 0 + 0 + 0 + 0) / 2; below, (8 + 7 + 2 + 1 + 0) x 50.
  EXPECT_EQ(figures(rows[1], {"half", "no_data", "above_base_m3", "below_base_m3"}),
            (std::vector<std::string>{"5", "1", "0", "900"}));
  EXPECT_EQ(figures(rows[3], {"cells", "volume_m3", "min_m"}), (std::vector<std::string>{"0", "0", "null"}));
  if (std::system("command -v python3 >/dev/null") == 0) {
    EXPECT_EQ(std::system(("python3 -c 'import json,sys; t=json.load(open(sys.argv[1])); "
                           "assert [r[\"code\"] for r in t[\"rows\"]] == [0, 3, 7, 9] and t[\"base_m\"] == 20' " +
                           dir + "/t.json").c_str()),
              0);
  }

  // CSV on standard output: a header and a line per code present, every
  // line of as many fields.
  const CliRun csv = run_cli(dir, "--table - dem.asc zone.raw");
  ASSERT_EQ(csv.status, 0) << csv.errors;
  std::istringstream lines(csv.out);
  std::vector<std::string> read;
  for (std::string line; std::getline(lines, line);) read.push_back(line);
  ASSERT_EQ(read.size(), 4u) << csv.out;
  EXPECT_EQ(read[0], "code,cells,full,half,frame,no_data,area_m2,volume_m3,min_m,max_m,mean_m");
  for (const std::string& line : read) EXPECT_EQ(std::count(line.begin(), line.end(), ','), 10) << line;
  EXPECT_EQ(read[1].substr(0, 2), "0,");
}

TEST(ZoneTable, CodesAboveByteRangeOfGdalMasksAndUsageErrors) {
  const SmallGrid folder;
  const std::string& dir = folder.dir;
  for (const char* flags : {"--table t.txt dem.asc zone.raw", "--codes 1,,2 --table - dem.asc zone.raw",
                            "--codes 1,99999999999 --table - dem.asc zone.raw", "--codes 1 dem.asc zone.raw r.asc",
                            "--table - dem.asc zone.raw r.asc"}) {
    const CliRun run = run_cli(dir, flags);
    EXPECT_EQ(run.status, 2) << flags << run.errors;
    EXPECT_EQ(run.out, "") << flags;
  }
  if (!gdal_available() || std::system("command -v gdal_calc.py >/dev/null") != 0) {
    GTEST_SKIP() << "GDAL is missing: the table of a mask of codes above 255 is not tried";
  }
  write_file(dir + "/zone.hdr", "NROWS 5\nNCOLS 6\nNBITS 8\nLAYOUT BIL\nULXMAP 5\nULYMAP 45\nXDIM 10\nYDIM 10\n");
  shell("cd " + dir + " && gdal_calc.py --quiet -A zone.raw --calc='A*100000' --type=Int32 --outfile=wide.tif");
  const CliRun bytes = run_cli(dir, "--table - dem.asc zone.raw");
  const CliRun wide = run_cli(dir, "--table - dem.asc wide.tif");
  ASSERT_EQ(wide.status, 0) << wide.errors;
  std::string expected = bytes.out;
  for (const auto& [code, wide_code] : {std::pair<std::string, std::string>{"\n3,", "\n300000,"}, {"\n7,", "\n700000,"}}) {
    expected.replace(expected.find(code), code.size(), wide_code);
  }
  EXPECT_EQ(wide.out, expected);
}
