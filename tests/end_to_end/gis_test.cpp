// What a GIS user needs of the results: cells without data left out and
// marked, coordinate systems carried over, a warning for DEMs in degrees, a
// report that scripts read, and the usual command-line conventions.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include <sys/wait.h>

#include "run_tool.h"

namespace {

// A 4 x 5 grid with 10 m cells whose marker -9999 stands at an inner cell
// (1, 2) and a frame cell (3, 4); the zone (mask code 1) is every cell but
// (1, 1).
//
//   9  9  9  9  9           1 1 1 1 1
//   9  1  -9999 3  9         1 0 1 1 1
//   9  4  5  6  9           1 1 1 1 1
//   9  9  9  9  -9999       1 1 1 1 1
const std::string kHeader = "ncols 5\nnrows 4\nxllcorner 1000\nyllcorner 2000\ncellsize 10\n";
const std::string kCells = "9 9 9 9 9\n9 1 -9999 3 9\n9 4 5 6 9\n9 9 9 9 -9999\n";
const std::string kUtm = "PROJCS[\"WGS 84 / UTM zone 31N\",GEOGCS[\"WGS 84\",DATUM[\"WGS_1984\"]],UNIT[\"metre\",1]]";

struct GridFolder {
  explicit GridFolder(const std::string& grid) {
    std::filesystem::create_directory(dir);
    write_file(dir + "/dem.asc", grid);
    Bytes zone(20, 1);
    zone[6] = 0;
    write_bytes(dir + "/zone.raw", zone);
    write_file(dir + "/zone.txt", "4 5\n");
  }
  ToolRun run(const std::string& result_answers) {
    return run_tool(base.path(), "t\ndem\n0\nzone\n1\n1\n-5\n0\nres\n" + result_answers);
  }
  std::string file(const std::string& name) const { return read_file(dir + "/" + name); }
  TempDir base;
  std::string dir = base / "t";
};

std::string shell_output(const std::string& command, int& status) {
  std::string output;
  std::FILE* pipe = popen(command.c_str(), "r");
  char chunk[4096];
  for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) output.append(chunk, got);
  status = WEXITSTATUS(pclose(pipe));
  return output;
}

}  // namespace

TEST(Gis, CellsWithoutDataAreLeftOutOfTheVolumeAndMarkedInResults) {
  GridFolder g(kHeader + "NODATA_value -9999\n" + kCells);
  // Inner cells of the zone with data: (2, 1) 4 on the zone's edge, 3, 5 and
  // 6 in full (the edge rule looks at the mask only): (2 + 3 + 5 + 6) x
  // 100 m3 = 1600 m3.
  const std::string note = "2 cells of the zone have no data (value -9999): left out of the volume";
  ToolRun run = g.run("0\n");
  ASSERT_EQ(run.status, 0) << run.transcript;
  EXPECT_NE(run.transcript.find("\n\n\t" + note + "\n\n\tName of the resulting DEM"), std::string::npos);
  EXPECT_NE(run.transcript.find("The calculated volume is equal to 0.000002 km3"), std::string::npos);
  EXPECT_EQ(g.file("res.asc"), "ncols 5\nnrows 4\nxllcorner 1000.000000\nyllcorner 2000.000000\ncellsize 10.000000\n"
                               "nodata_value -9999.9999\n"
                               "9.000000\t9.000000\t9.000000\t9.000000\t9.000000\t9.000000\t-5.000000\t-9999.999900\t"
                               "3.000000\t9.000000\t9.000000\t4.000000\t5.000000\t6.000000\t9.000000\t9.000000\t"
                               "9.000000\t9.000000\t9.000000\t-9999.999900\t");

  run = g.run("1\n1\n0\n");  // a raw result in metres: the marker stored like any altitude, and declared
  ASSERT_EQ(run.status, 0) << run.transcript;
  EXPECT_EQ(g.file("res_m4.raw"), as_text(le32({9, 9, 9, 9, 9, 9, -5, -9999, 3, 9, 9, 4, 5, 6, 9, 9, 9, 9, 9, -9999})));
  const std::string hdr = g.file("res_m4.hdr");
  EXPECT_EQ(hdr.substr(hdr.size() - 14), "\nNODATA -9999\n");
  const std::string descriptor = g.file("res_m4.txt");
  EXPECT_EQ(descriptor.substr(descriptor.find("result = ")), "result = 0.000002 km3 \n\t\t" + note + " ");

  // Without a NODATA_value line the marker is an altitude as before: (1, 2),
  // beside the hole, adds half of -9999 x 100 m3.
  GridFolder plain(kHeader + kCells);
  run = plain.run("1\n1\n0\n");
  ASSERT_EQ(run.status, 0);
  EXPECT_EQ(run.transcript.find("no data"), std::string::npos);
  EXPECT_EQ(plain.file("res_m4.hdr").find("NODATA"), std::string::npos);
  EXPECT_EQ(plain.file("res_m4.txt").substr(plain.file("res_m4.txt").find("result = ")), "result = -0.000498 km3 ");
}

TEST(Gis, TheReportGivesTheFiguresWorkedOutByHand) {
  GridFolder g(kHeader + "NODATA_value -9999\n" + kCells);
  write_file(g.dir + "/dem.prj", kUtm);
  ASSERT_EQ(g.run("1\n1\n0\n").status, 0);
  // 20 cells: 19 in the zone, 2 of them without data; on the frame with data
  // 13; inner 1 on the edge and 3 in full; area (3 + 0.5) x 100 m2; the
  // altitudes with data: 13 nines, 3, 4, 5 and 6, 135 m in all.
  EXPECT_EQ(g.file("res_m4.json"),
            "{\n  \"tool\": \"mesacrop\",\n  \"version\": \"1.0\",\n  \"dem\": \"" + g.dir + "/dem.asc\",\n"
            "  \"mask\": \"" + g.dir + "/zone.raw\",\n  \"code\": 1,\n  \"hypsometric_value_m\": -5,\n"
            "  \"lines\": 4,\n  \"columns\": 5,\n  \"cell_size_m\": 10,\n"
            "  \"lower_left_corner\": {\"x\": 1000, \"y\": 2000},\n"
            "  \"result\": {\"format\": \"raw 32-bit\", \"files\": [\"res_m4.raw\", \"res_m4.txt\", \"res_m4.hdr\", "
            "\"res_m4.prj\", \"res_m4.json\"]},\n"
            "  \"zone_cells\": {\"all\": 19, \"full\": 3, \"half\": 1, \"frame\": 13, \"no_data\": 2},\n"
            "  \"zone_area_m2\": 350,\n  \"volume_m3\": 1600,\n  \"volume_km3\": 1.6000000000000001e-06,\n"
            "  \"altitude_m\": {\"min\": 3, \"max\": 9, \"mean\": 7.9411764705882355}\n}\n");
  ASSERT_EQ(g.run("0\n").status, 0);  // no volume asked: null
  EXPECT_NE(g.file("res.json").find("\"volume_m3\": 1600,"), std::string::npos);
  const ToolRun without = run_tool(g.base.path(), "t\ndem\n0\nzone\n1\n1\n-5\n1\nres\n0\n");
  ASSERT_EQ(without.status, 0);
  EXPECT_NE(g.file("res.json").find("\"volume_m3\": null,\n  \"volume_km3\": null,"), std::string::npos);
}

TEST(Gis, CoordinateSystemsTravelWithTheResults) {
  GridFolder g(kHeader + kCells);
  write_file(g.dir + "/dem.prj", kUtm);
  ASSERT_EQ(g.run("0\n").status, 0);
  EXPECT_EQ(g.file("res.prj"), kUtm);
  ASSERT_EQ(g.run("1\n1\n0\n").status, 0);
  EXPECT_EQ(g.file("res_m4.prj"), kUtm);

  // A DEM without one: no .prj, and the one an earlier result left goes with it.
  std::filesystem::remove(g.dir + "/dem.prj");
  ASSERT_EQ(g.run("0\n").status, 0);
  EXPECT_FALSE(file_exists(g.dir + "/res.prj"));
  EXPECT_TRUE(file_exists(g.dir + "/res_m4.prj"));  // another result's

  // A raw DEM's: mnt_m2.prj beside mnt_m2.raw.
  TempDir base;
  Alps alps(base);
  write_file(alps.dir + "/mnt_m2.prj", kUtm);
  ASSERT_EQ(run_tool(base.path(), "alps\nmnt\n1\n0\n2\nzone\n1\n1\n0\n0\nres\n1\n0\n").status, 0);
  EXPECT_EQ(read_file(alps.dir + "/res_m2.prj"), kUtm);
}

TEST(Gis, DemsInDegreesAreWarnedAbout) {
  const std::string warning = "look like degrees";
  struct Case {
    const char* name;
    std::string header, prj;
    bool warned;
  };
  const std::string degrees_header = "ncols 5\nnrows 4\nxllcorner -3.5\nyllcorner 44.25\ncellsize 0.0003\n";
  const Case cases[] = {
      {"geographic .prj", kHeader, "GEOGCS[\"WGS 84\",DATUM[\"WGS_1984\"],UNIT[\"degree\",0.0174532925199433]]", true},
      {"degree-like grid without .prj", degrees_header, "", true},
      {"degree-like grid with a projected .prj", degrees_header, kUtm, false},
      {"projected grid", kHeader, "", false},
  };
  for (const Case& c : cases) {
    GridFolder g(c.header + kCells);
    if (!c.prj.empty()) write_file(g.dir + "/dem.prj", c.prj);
    const ToolRun run = g.run("0\n");
    EXPECT_EQ(run.status, 0) << c.name;
    const std::size_t at = run.transcript.find(warning);
    EXPECT_EQ(at != std::string::npos, c.warned) << c.name << run.transcript;
    if (c.warned) {
      EXPECT_LT(at, run.transcript.find("THE DIGITAL ELEVATION MODEL HAS")) << c.name;
    }
  }
}

TEST(Gis, CommandLineConventions) {
  struct Case {
    const char* arguments;
    int status;
    const char* said;  // on standard output
  };
  const Case cases[] = {{"--help", 0, "usage: mesacrop "}, {"--version", 0, "mesacrop 1.0\n"}, {"--bogus", 2, ""},
                        {"--help more", 2, ""}};
  for (const Case& c : cases) {
    int status = -1;
    const std::string out =
        shell_output(std::string(MESACROP_BINARY) + " " + c.arguments + " </dev/null 2>/dev/null", status);
    EXPECT_EQ(status, c.status) << c.arguments;
    if (*c.said != '\0') {
      EXPECT_NE(out.find(c.said), std::string::npos) << c.arguments << out;
    } else {
      EXPECT_EQ(out, "") << c.arguments;  // the error went to standard error
    }
  }
  int status = -1;
  const std::string errors = shell_output(std::string(MESACROP_BINARY) + " --dem-units m 2>&1 >/dev/null", status);
  EXPECT_EQ(errors, "mesacrop: unknown option \"--dem-units\": did you mean --dem-unit?\n"
                    "mesacrop: mesacrop --help tells every flag and file form\n");
}
