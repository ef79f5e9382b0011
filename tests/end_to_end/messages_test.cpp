// Every fault said where it is met, in plain words and its true reason;
// cells without data told the same whatever declares them; reports that stay
// valid JSON.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <pty.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <utmp.h>

#include "files/library_raster.h"
#include "run_tool.h"
#include "scripts.h"

TEST(Messages, EachFaultIsSaidWhereItIsMet) {
  struct Case {
    const char* name;
    std::function<void(const std::string& dir)> prepare;
    std::string answers;
    int status;
    std::string said;            // in the transcript
    const char* file = nullptr;  // and, when given, in this file of the folder
    std::string file_has = "";
  };
  const auto grid_with = [](const std::string& cells) {
    return [cells](const std::string& dir) { write_file(dir + "/mnt.asc", kGridHeader + cells); };
  };
  const Case cases[] = {
      {"pixel size with many decimals", [](const std::string& dir) { std::filesystem::remove(dir + "/mnt_m2.txt"); },
       words("alps mnt 1 0 3 4 0.3048006096 2 zone 1 1 0 0 res 1 0"), 0, "No File", "res_m2.txt",
       "\n10450\n0.3048006096\n"},
      {"a cell beyond the doubles", grid_with("1 2 3 4 5 1e400 7 8 9 10 11 12"), words("alps mnt 0"), 1,
       "holds inf at line 1, column 1, which is not a finite number (and not its NODATA_value)"},
      {"nan without a no-data line", grid_with("1 2 3 4 5 6 7 nan 9 10 11 12"), words("alps mnt 0"), 1,
       "holds nan at line 1, column 3, which is not a finite number"},
      {"a grid word with an escape sequence", grid_with("1 2 \x1b[2J 4 5 6 7 8 9 10 11 12"), words("alps mnt 0"), 1,
       "holds \"\\x1B[2J\" at line 0, column 2, which is not a number"},
      {"more grid values than its header says", grid_with("1 2 3 4 5 6 7 8 9 10 11 12 13"),
       words("alps mnt 0 zone 1 1 0 1 res 0"), 0, "mnt.asc holds more values than its 3 lines x 4 columns"},
      {"a mask of 32-bit cells",
       [](const std::string& dir) { write_bytes(dir + "/zone.raw", le32({0, 1, 1, 0, 1, 1, 1, 0, 0, 1, 0, 0})); },
       words("alps mnt 0 zone 1"), 1,
       "zone.raw holds exactly 4 times the 12 bytes of 3 lines x 4 columns x 1 byte: its cells look like 32-bit "
       "values, but it is read as 8-bit cells"},
      {"a code that selects no cell", [](const std::string&) {}, words("alps mnt 0 zone 1 300 0 1 res 0"), 0,
       "Warning: the code 300 selects no cell: the mask %/zone.raw holds the codes 0, 1\n"},
      {"a negative volume answer", [](const std::string&) {}, words("alps mnt 1 0 2 zone 1 1 0 -1 res 1 0"), 0,
       "", "res_m2.txt", "\n\n\tno volume calculation "},
      {"a mask descriptor without two sizes",
       [](const std::string& dir) { write_file(dir + "/zone.txt", "lines: 3\n"); }, words("alps mnt 0 zone 1"), 1,
       "The mask descriptor %/zone.txt does not hold two sizes (lines, then columns): it begins with \"lines: "
       "3\\x0A\""},
      {"a mask of another size", [](const std::string& dir) { write_file(dir + "/zone.txt", "4 3\n"); },
       words("alps mnt 0 zone 1"), 1,
       "The mask size is not the size of the DEM \n\t(the DEM %/mnt.asc has 3 lines x 4 columns, the mask "
       "%/zone.raw 4 lines x 3 columns)\n"},
      {"the closing line of a raster result, with its volume", [](const std::string&) {},
       words("alps mnt 1 0 2 zone 1 1 0 0 res 1 0"), 0, "Written in %/: res_m2.raw, res_m2.txt, res_m2.hdr, "
       "res_m2.json; volume 0.151790 km3\n"},
      {"answers starting with a byte-order mark", [](const std::string&) {},
       "\xEF\xBB\xBF" + words("alps mnt 0 zone 1 1 0 1 res 0"), 0, "Written in %/: res.asc, res.json\n"},
      {"a geographic .prj starting with a byte-order mark",
       [](const std::string& dir) { write_file(dir + "/mnt.prj", "\xEF\xBB\xBFGEOGCS[\"WGS 84\"]"); },
       words("alps mnt 0 zone 1 1 0 1 res 0"), 0, "its .prj file describes a geographic coordinate system"},
      {"a folder that is not there", [](const std::string&) {}, words("alpz alps mnt 0 zone 1 1 0 1 res 0"), 0,
       "/alpz/: please name a folder of "},
  };
  for (const Case& c : cases) {
    TempDir base;
    Alps alps(base);
    c.prepare(alps.dir);
    const ToolRun run = run_tool(base.path(), c.answers);
    std::string said = c.said;
    for (std::size_t at; (at = said.find('%')) != std::string::npos;) said.replace(at, 1, alps.dir);
    EXPECT_EQ(run.status, c.status) << c.name << run.transcript;
    EXPECT_NE(run.transcript.find(said), std::string::npos) << c.name << run.transcript;
    if (c.file != nullptr) {
      EXPECT_NE(read_file(alps.dir + "/" + c.file).find(c.file_has), std::string::npos) << c.name;
    }
  }
}

TEST(Messages, CellsWithoutDataAreTheSameWhereverTheirMarkerIsDeclared) {
  // A 3 x 4 DEM of 5 m (50 dm) with a void at (1, 1), the whole raster the zone.
  const std::vector<std::int32_t> decimetres = {50, 50, 50, 50, 50, -9999, 50, 50, 50, 50, 50, 50};
  struct Case {
    const char* name;
    const char* file;
    std::string content;
    const char* answers;
  };
  // The grid in metres, saved in decimetres: its marker -999.9 is stored -9999.
  std::string grid = kGridHeader + "NODATA_value -999.9\n";
  for (const std::int32_t v : decimetres) grid += v == -9999 ? "-999.9 " : "5 ";
  const Case cases[] = {
      {"grid NODATA_value", "dem.asc", grid, "t dem 0 zone 1 1 0 0 res 1 1 1"},
      {"ESRI BIL header", "dem_m4.hdr", "BYTEORDER I\nLAYOUT BIL\nNROWS 3\nNCOLS 4\nNBITS 32\nNODATA -9999\n",
       "t dem 1 1 1 zone 1 1 0 0 res 1 1"},
      {"ENVI header", "dem_m4.hdr", "ENVI\nsamples = 4\nlines = 3\ndata type = 3\ndata ignore value = -9999\n",
       "t dem 1 1 1 zone 1 1 0 0 res 1 1"},
  };
  std::string first_report;
  for (const Case& c : cases) {
    TempDir base;
    const std::string dir = base / "t";
    std::filesystem::create_directory(dir);
    write_bytes(dir + "/dem_m4.raw", le32(decimetres));
    write_file(dir + "/dem_m4.txt", "3\n4\n4\n50\n50\n10\n");
    write_bytes(dir + "/zone.raw", Bytes(12, 1));
    write_file(dir + "/zone.txt", "3 4\n");
    write_file(dir + "/" + c.file, c.content);
    const ToolRun run = run_tool(base.path(), words(c.answers));
    ASSERT_EQ(run.status, 0) << c.name << run.transcript;
    EXPECT_NE(run.transcript.find("1 cell of the zone has no data"), std::string::npos) << c.name << run.transcript;
    EXPECT_EQ(read_file(dir + "/res_m4.raw"), read_file(dir + "/dem_m4.raw")) << c.name;
    EXPECT_NE(read_file(dir + "/res_m4.hdr").find("\nNODATA -9999\n"), std::string::npos) << c.name;
    std::string report = read_file(dir + "/res_m4.json");
    report = report.substr(report.find("\"zone_cells\""));
    EXPECT_NE(report.find("\"no_data\": 1}"), std::string::npos) << c.name << report;
    // The inner cells (1, 1), without data, and (1, 2), in full: 5 m x 100 m2.
    EXPECT_NE(report.find("\"volume_m3\": 500,"), std::string::npos) << c.name << report;
    if (first_report.empty()) first_report = report;
    EXPECT_EQ(report, first_report) << c.name;
  }
}

TEST(Messages, ReportsStayValidJsonAndOutputThatCannotBeWrittenIsAFailure) {
  TempDir base;
  const std::string folder = "d\xe9mo";  // Latin-1, not UTF-8
  std::filesystem::create_directory(base / folder);
  Alps alps(base);
  for (const char* name : {"mnt.asc", "zone.raw", "zone.txt"}) {
    std::filesystem::copy(alps.dir + "/" + name, base / (folder + "/" + name));
  }
  ASSERT_EQ(run_tool(base.path(), folder + "\nmnt\n0\nzone\n1\n1\n0\n0\nres\n0\n").status, 0);
  const std::string report = read_file(base / (folder + "/res.json"));
  EXPECT_NE(report.find("/d\\u00e9mo/mnt.asc\""), std::string::npos) << report;
  if (std::system("command -v python3 >/dev/null") == 0) {
    EXPECT_EQ(std::system(("python3 -c 'import json,sys; json.load(open(sys.argv[1], encoding=\"utf-8\"))' " +
                           base / (folder + "/res.json"))
                              .c_str()),
              0);
  }

  // Standard output on a full device: the help, and a whole run, fail.
  TempDir io;
  write_file(io / "answers", "alps\nmnt\n0\nzone\n1\n1\n0\n1\nagain\n0\n");
  for (const std::string& command :
       {std::string(MESACROP_BINARY " --help"),
        "MESACROP_IMAGES=" + base.path() + " " MESACROP_BINARY " < " + io / "answers"}) {
    const int status = std::system((command + " > /dev/full 2>/dev/null").c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << command;
  }
  EXPECT_TRUE(file_exists(alps.dir + "/again.asc"));
}

TEST(Messages, MessagesSayTheTrueReason) {
  struct Case {
    const char* name;
    std::function<void(const std::string& dir)> prepare;
    const char* answers;
    const char* message;
  };
  const auto bitmap_with = [](int at, std::uint32_t value) {
    return [at, value](const std::string& dir) {
      Bytes bmp = bitmap_bytes(4, 3, 8, Bytes(12, 1));
      for (int k = 0; k < 4; ++k) bmp[at + k] = static_cast<unsigned char>(value >> (8 * k));
      write_bytes(dir + "/zone.bmp", bmp);
    };
  };
  const Case cases[] = {
      {"top-down bitmap", bitmap_with(22, static_cast<std::uint32_t>(-3)), "alps mnt 0 zone 0",
       "is a top-down bitmap (its height is negative), which is not read: turn it over first, for example with "
       "gdal_translate -of BMP"},
      {"bitmap too wide", bitmap_with(18, 40000), "alps mnt 0 zone 0", "32767 pixels at most each way"},
      {"integer beyond 32 bits", [](const std::string&) {}, "alps mnt 0 zone 1 99999999999 1 0 1 res 0",
       "\"99999999999\" is out of range: a whole number from -2147483648 to 2147483647 is expected"},
      {"descriptor pixel size beyond the limit",
       [](const std::string& dir) { write_file(dir + "/mnt_m2.txt", "3\n4\n2\n0\n0\n3e9\n"); }, "alps mnt 1 0",
       "gives the pixel size 3000000000.000000: it must be a number of metres below 2147483648"},
      {"32 bits already chosen", [](const std::string&) {}, "alps mnt 1 0 2 zone 1 1 30000000 1 res 1 1 0",
       "but a 32-bit raster holds -2147483648 to 2147483647 only:\n\tplease choose an ASCII grid\n"},
      {"16 bits from a raw DEM", [](const std::string&) {}, "alps mnt 1 0 2 zone 1 1 -1 1 res 1 0 0",
       "please choose 32 bits or an ASCII grid\n"},
  };
  for (const Case& c : cases) {
    TempDir base;
    Alps alps(base);
    c.prepare(alps.dir);
    std::string answers = c.answers;
    std::replace(answers.begin(), answers.end(), ' ', '\n');
    const ToolRun run = run_tool(base.path(), answers + "\n");
    EXPECT_NE(run.transcript.find(c.message), std::string::npos) << c.name << run.transcript;
  }
}
