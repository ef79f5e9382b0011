// Storage curves: a tiny basin worked out by hand, every level of a curve
// against a --base run at that level, CSV and JSON that parse back, and the
// usage errors of the levels.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "run_tool.h"
#include "small_grid.h"

TEST(StorageCurves, TinyBasinByHand) {
  const SmallGrid folder;
  // Level 10 lies below every cell, 25 above; a cell at 13 counts in
  // neither area. Below 19.5: (7.5 + 6.5 + 1.5 + 0.5) x 50; above: 0.5 x 50.
  const CliRun run = run_cli(folder.dir, "-c 3 --levels 10,13,19.5,25 --curves - dem.asc zone.raw r.asc");
  ASSERT_EQ(run.status, 0) << run.errors;
  EXPECT_EQ(run.out,
            "code,level_m,area_below_m2,volume_below_m3,area_above_m2,volume_above_m3\n"
            "3,10,0,0,250,1600\n"
            "3,13,50,50,150,900\n"
            "3,19.5,200,800,50,25\n"
            "3,25,250,2150,0,0\n");
  // The same levels as LOW:HIGH:STEP, each LOW + k x STEP: 0.1 x 3 is not
  // 0.1 + 0.1 + 0.1, and HIGH is reached within a millionth of STEP.
  const CliRun stepped = run_cli(folder.dir, "-c 3 --levels 0:0.3:0.1 --curves - dem.asc zone.raw r.asc");
  ASSERT_EQ(stepped.status, 0) << stepped.errors;
  const auto lines = csv_lines(stepped.out);
  ASSERT_EQ(lines.size(), 5u) << stepped.out;
  EXPECT_EQ(lines[4][1], "0.30000000000000004");
}

TEST(StorageCurves, EveryLevelAgreesWithBaseRunsAndParsesBack) {
  const SmallGrid folder;
  const std::string& dir = folder.dir;
  const CliRun run = run_cli(dir, "--table t.csv --levels 4:36:2.5 --curves c.csv dem.asc zone.raw");
  ASSERT_EQ(run.status, 0) << run.errors;
  const auto curves = csv_lines(read_file(dir + "/c.csv"));
  ASSERT_EQ(curves.size(), 1u + 3 * 13) << read_file(dir + "/c.csv");  // codes 0, 3, 7 at 13 levels
  for (std::size_t k = 1; k < curves.size(); k += 4) {
    const std::vector<std::string>& c = curves[k];
    const CliRun base = run_cli(dir, "--table - --codes " + c[0] + " --base " + c[1] + " dem.asc zone.raw");
    ASSERT_EQ(base.status, 0) << base.errors;
    const auto row = csv_lines(base.out);
    ASSERT_EQ(row.size(), 2u);
    const double above = std::stod(row[1][11]), below = std::stod(row[1][12]);
    EXPECT_NEAR(std::stod(c[5]), above, 1e-9 * above) << c[0] << " at " << c[1];
    EXPECT_NEAR(std::stod(c[3]), below, 1e-9 * below) << c[0] << " at " << c[1];
    // Every cell counted lies below, at or above the level.
    EXPECT_LE(std::stod(c[2]) + std::stod(c[4]), std::stod(row[1][6])) << c[0] << " at " << c[1];
  }
  ASSERT_EQ(run_cli(dir, "--codes 3,9 --table - --levels 4:36:2.5 --curves c.json dem.asc zone.raw").status, 0);
  if (std::system("command -v python3 >/dev/null") != 0) GTEST_SKIP() << "python3 is missing: the JSON is not parsed";
  // The JSON: the levels, a zone per code (9, absent, all zero), an array
  // per column, the CSV's values.
  EXPECT_EQ(std::system(("python3 -c 'import json,sys,csv; j=json.load(open(sys.argv[1])); "
                         "rows=[r for r in csv.DictReader(open(sys.argv[2])) if r[\"code\"]==\"3\"]; "
                         "z=j[\"zones\"]; assert [x[\"code\"] for x in z]==[3,9] and len(j[\"levels_m\"])==13; "
                         "assert all(float(r[k])==z[0][k][i] for i,r in enumerate(rows) for k in r if k!=\"code\"); "
                         "assert z[1][\"level_m\"]==j[\"levels_m\"] and sum(z[1][\"volume_below_m3\"])==0' " +
                         dir + "/c.json " + dir + "/c.csv")
                            .c_str()),
            0);
}

TEST(StorageCurves, UsageErrors) {
  const SmallGrid folder;
  for (const char* flags : {"-c 3 --levels 1,3,2 --curves - dem.asc zone.raw r.asc",
                            "-c 3 --levels 1,1 --curves - dem.asc zone.raw r.asc",
                            "-c 3 --levels 1:5:0 --curves - dem.asc zone.raw r.asc",
                            "-c 3 --levels 5:1:1 --curves - dem.asc zone.raw r.asc",
                            "-c 3 --levels 0:100000:1 --curves - dem.asc zone.raw r.asc",
                            "-c 3 --levels 1,x --curves - dem.asc zone.raw r.asc",
                            "-c 3 --levels 1,2 dem.asc zone.raw r.asc",
                            "-c 3 --curves c.csv dem.asc zone.raw r.asc",
                            "-c 3 --levels 1 --curves c.txt dem.asc zone.raw r.asc",
                            "-c 3 --levels 1 --curves c.csv --no-volume dem.asc zone.raw r.asc",
                            "--levels 1 --curves - --table - dem.asc zone.raw",
                            "--table t.csv --levels 1 --curves t.csv dem.asc zone.raw",
                            "-c 3 --levels 1 --curves r.json dem.asc zone.raw r.asc"}) {
    const CliRun run = run_cli(folder.dir, flags);
    EXPECT_EQ(run.status, 2) << flags << "\n" << run.errors;
    EXPECT_EQ(run.out, "") << flags;
  }
  EXPECT_FALSE(std::filesystem::exists(folder.dir + "/r.asc"));
}
