// Whole runs of the real binary on the small folder "alps" (see run_tool.h).
#include <gtest/gtest.h>

#include <filesystem>

#include "run_tool.h"
#include "scripts.h"

namespace {

std::string grid_header(const char* x, const char* y) {
  return std::string("ncols 4\nnrows 3\nxllcorner ") + x + "\nyllcorner " + y +
         "\ncellsize 1000.000000\nnodata_value -9999.9999\n";
}

std::string report(const std::string& dir, const char* dem, const char* mask, const char* altitude,
                   const char* volume) {
  std::string out = "\n\n\tMesacrop Treatment\n\n\tapplied to " + dir + "/" + dem + " \n\tand using the mask " + dir +
                    "/" + mask + " \n\t\tcode 1 corresponding altitude " + altitude + " ";
  out += volume == nullptr ? std::string("\n\n\tno volume calculation ")
                           : std::string("\n\n\tVolume calculation : \n\t\tresult = ") + volume + " km3 ";
  return out;
}

// Runs the tool on a fresh alps folder and checks that only `results` were
// added to it and that no input changed.
struct AlpsRun {
  AlpsRun(const std::string& answers, const std::vector<std::string>& remove = {}) : alps(base) {
    for (const std::string& name : remove) std::filesystem::remove(alps.dir + "/" + name);
    // A grid whose last value is a word: its cells are read, and kept aside, before it stops the run.
    const std::string grid = read_file(alps.dir + "/mnt.asc");
    write_file(alps.dir + "/bad.asc", grid.substr(0, grid.rfind("105.5")) + "x\t");
    before = snapshot(alps.dir);
    run = run_tool(base.path(), answers);
    after = snapshot(alps.dir);
  }
  std::string file(const std::string& name) const { return after.count(name) ? after.at(name) : "(missing)"; }
  std::vector<std::string> added() const {
    std::vector<std::string> names;
    for (const auto& [name, content] : after) {
      if (!before.count(name)) names.push_back(name);
      else EXPECT_EQ(content, before.at(name)) << "input " << name << " changed";
    }
    return names;
  }
  TempDir base;
  Alps alps;
  std::map<std::string, std::string> before, after;
  ToolRun run;
};

}  // namespace

TEST(Runs, TypicalRunRaw16CentimetresToRaw16WithVolume) {
  AlpsRun r("alps\nmnt\n1\n0\n2\nzone\n1\n1\n0\n0\nres\n1\n0\n");
  ASSERT_EQ(r.run.status, 0) << r.run.transcript;
  EXPECT_EQ(r.added(), (std::vector<std::string>{"res_m2.hdr", "res_m2.json", "res_m2.raw", "res_m2.txt"}));
  EXPECT_EQ(r.file("res_m2.txt"),
            "3\n4\n2\n0\n10450\n1000\n" + report(r.alps.dir, "mnt_m2.raw", "zone.raw", "0.000000", "0.151790"));
  // No corner is known for a raw input: the header gives the layout only.
  EXPECT_EQ(r.file("res_m2.hdr"),
            "BYTEORDER I\nLAYOUT BIL\nNROWS 3\nNCOLS 4\nNBANDS 1\nNBITS 16\nPIXELTYPE UNSIGNEDINT\n");
  // 10029 cm loads as 100.29 m, a hair below 100.29 x 100 when multiplied back,
  // and is still stored as 10029.
  EXPECT_EQ(r.file("res_m2.raw"), as_text(le16({0, 10050, 10100, 0, 10200, 10029, 10300, 0, 0, 10450, 0, 0})));
  EXPECT_NE(r.run.transcript.find("Min = 10000\n\t\tMax = 10550 "), std::string::npos);
  EXPECT_NE(r.run.transcript.find("\n\t            3 LINES\n\t        AND 4 COLUMNS\n"), std::string::npos);
}

TEST(Runs, Raw32ToRaw32WithoutVolume) {
  AlpsRun r("alps\nmnt\n1\n1\n2\nzone\n1\n1\n-2.5\n1\nres\n1\n1\n");
  ASSERT_EQ(r.run.status, 0) << r.run.transcript;
  EXPECT_EQ(r.added(), (std::vector<std::string>{"res_m4.hdr", "res_m4.json", "res_m4.raw", "res_m4.txt"}));
  EXPECT_EQ(r.file("res_m4.txt"),
            "3\n4\n4\n-250\n10450\n1000\n" + report(r.alps.dir, "mnt_m4.raw", "zone.raw", "-2.500000", nullptr));
  EXPECT_EQ(r.file("res_m4.raw"),
            as_text(le32({-250, 10050, 10100, -250, 10200, 10029, 10300, -250, -250, 10450, -250, -250})));
}

TEST(Runs, GridAndBitmapToGridRepeatsTheCornerAndShowsTheVolume) {
  AlpsRun r("alps\nmnt\n0\nzone\n0\n1\n0\n0\nres\n0\n");
  ASSERT_EQ(r.run.status, 0) << r.run.transcript;
  EXPECT_EQ(r.added(), (std::vector<std::string>{"res.asc", "res.json"}));
  EXPECT_EQ(r.file("res.asc"), grid_header("500000.000000", "4000000.000000") +
                                   "0.000000\t100.500000\t101.000000\t0.000000\t102.000000\t100.290000\t"
                                   "103.000000\t0.000000\t0.000000\t104.500000\t0.000000\t0.000000\t");
  EXPECT_NE(r.run.transcript.find("The calculated volume is equal to 0.151790 km3"), std::string::npos);
  EXPECT_EQ(r.run.transcript.find("X_min"), std::string::npos);
  EXPECT_EQ(r.run.transcript.find("Are these values"), std::string::npos);  // no unit question for a grid
}

TEST(Runs, RawToGridAsksTheCorner) {
  AlpsRun r("alps\nmnt\n1\n0\n2\nzone\n0\n1\n-5\n1\nres\n0\n250000\n1000000.5\n");
  ASSERT_EQ(r.run.status, 0) << r.run.transcript;
  EXPECT_EQ(r.file("res.asc"), grid_header("250000.000000", "1000000.500000") +
                                   "-5.000000\t100.500000\t101.000000\t-5.000000\t102.000000\t100.290000\t"
                                   "103.000000\t-5.000000\t-5.000000\t104.500000\t-5.000000\t-5.000000\t");
  EXPECT_NE(r.run.transcript.find("you must enter the UTM coordinates \n\t\tX_min ? \t\tY_min ? "), std::string::npos);
  EXPECT_EQ(r.run.transcript.find("The calculated volume"), std::string::npos);
}

TEST(Runs, GridToRasterStoresInTheChosenScale) {
  struct Case {
    const char* answers;  // type, then scale
    const char* name;
    std::string descriptor_head;
    Bytes raster;
  };
  const Case cases[] = {
      {"0\n0\n", "res_m2", "3\n4\n2\n0\n104\n1000\n", le16({0, 100, 101, 0, 102, 100, 103, 0, 0, 104, 0, 0})},
      {"0\n1\n", "res_m2", "3\n4\n2\n0\n1045\n1000\n", le16({0, 1005, 1010, 0, 1020, 1002, 1030, 0, 0, 1045, 0, 0})},
      {"0\n2\n", "res_m2", "3\n4\n2\n0\n10450\n1000\n",
       le16({0, 10050, 10100, 0, 10200, 10029, 10300, 0, 0, 10450, 0, 0})},
      {"1\n3\n", "res_m4", "3\n4\n4\n0\n104500\n1000\n",
       le32({0, 100500, 101000, 0, 102000, 100290, 103000, 0, 0, 104500, 0, 0})},
  };
  for (const Case& c : cases) {
    AlpsRun r(std::string("alps\nmnt\n0\nzone\n1\n1\n0\n1\nres\n1\n") + c.answers);
    ASSERT_EQ(r.run.status, 0) << r.run.transcript;
    const std::string name = c.name;
    EXPECT_EQ(r.file(name + ".txt"),
              c.descriptor_head + report(r.alps.dir, "mnt.asc", "zone.raw", "0.000000", nullptr))
        << c.answers;
    EXPECT_EQ(r.file(name + ".raw"), as_text(c.raster)) << c.answers;
    // The grid's corner (500000, 4000000) and 1000 m cells: the centre of the
    // upper-left cell is at (500500, 4002500).
    EXPECT_EQ(r.file(name + ".hdr"), std::string("BYTEORDER I\nLAYOUT BIL\nNROWS 3\nNCOLS 4\nNBANDS 1\n") +
                                         (name == "res_m2" ? "NBITS 16\nPIXELTYPE UNSIGNEDINT\n"
                                                           : "NBITS 32\nPIXELTYPE SIGNEDINT\n") +
                                         "ULXMAP 500500\nULYMAP 4002500\nXDIM 1000\nYDIM 1000\n");
  }
}

TEST(Runs, MissingDescriptorsAreAskedForAndTheDemDescriptorIsCreated) {
  // Pixel size 0 brings the second pixel size question.
  AlpsRun r("alps\nmnt\n1\n0\n3\n4\n0\n1000\n2\nzone\n1\n3\n4\n1\n0\n0\nres\n1\n0\n", {"mnt_m2.txt", "zone.txt"});
  ASSERT_EQ(r.run.status, 0) << r.run.transcript;
  EXPECT_EQ(r.added(), (std::vector<std::string>{"mnt_m2.txt", "res_m2.hdr", "res_m2.json", "res_m2.raw", "res_m2.txt"}));
  EXPECT_EQ(r.file("mnt_m2.txt"), "3\n4\n2\n10000\n10550\n1000.000000\n");
  const std::string& t = r.run.transcript;
  EXPECT_NE(t.find("\n No File " + r.alps.dir + "/mnt_m2.txt \n\n\n\tNumber of lines   ? \n\tNumber of columns ? "
                   "\n\tPixel size ? \n\n\tPixel Size (decimal value in meters) ? "),
            std::string::npos)
      << t;
  EXPECT_NE(t.find("\n\n\tNo descriptive file " + r.alps.dir + "/zone.txt unknown\n\n\n\tPlease introduce : "
                   "\n\t\tthe number of lines : \t\tthe number of columns : "),
            std::string::npos)
      << t;
  EXPECT_EQ(r.file("res_m2.txt").rfind("3\n4\n2\n0\n10450\n1000\n\n\n\tMesacrop", 0), 0u);
}

TEST(Runs, FatalStopsEndWithStatusOneAndWriteNothing) {
  struct Case {
    const char* name;
    const char* answers;
    std::vector<std::string> remove;
    std::string message;  // after the folder path
  };
  const Case cases[] = {
      {"raw DEM missing", "alps\nnope\n1\n0\n", {}, "\n File %/nope_m2.raw unknown\n"},
      {"grid missing", "alps\nnope\n0\n", {}, "\n File %/nope.asc unknown\n"},
      {"raw mask missing", "alps\nmnt\n0\nnope\n1\n", {}, "\n\n\tFile %/nope.raw unknown\n"},
      {"bitmap mask missing", "alps\nmnt\n0\nnope\n0\n", {}, "\n File %/nope.bmp unknown\n"},
      {"mask of another size", "alps\nmnt\n0\nzone\n1\n4\n3\n", {"zone.txt"},
       "\n\n\tThe mask size is not the size of the DEM "},
      {"answers end", "alps\nmnt\n1\n0\n", {}, "answers ended"},
      {"grid ending in a word", "alps\nbad\n0\n", {}, "bad.asc holds \"x\" at line 2, column 3"},
  };
  for (const Case& c : cases) {
    AlpsRun r(c.answers, c.remove);
    EXPECT_EQ(r.run.status, 1) << c.name << r.run.transcript;
    std::string message = c.message;
    if (const auto at = message.find('%'); at != std::string::npos) message.replace(at, 1, r.alps.dir);
    EXPECT_NE(r.run.transcript.find(message), std::string::npos) << c.name << r.run.transcript;
    EXPECT_TRUE(r.added().empty()) << c.name;
  }
}

TEST(Runs, ProgressLinesWhileReadingAndWritingLongGrids) {
  TempDir base;
  std::filesystem::create_directory(base / "tall");
  std::string grid = "ncols 1\nnrows 250\nxllcorner 0\nyllcorner 0\ncellsize 5\n";
  for (int i = 0; i < 250; ++i) grid += "1.5\n";
  write_file(base / "tall/dem.asc", grid);
  write_bytes(base / "tall/zone.raw", Bytes(250, 1));
  write_file(base / "tall/zone.txt", "250 1\n");
  const ToolRun run = run_tool(base.path(), "tall\ndem\n0\nzone\n1\n1\n0\n1\nres\n0\n");
  ASSERT_EQ(run.status, 0) << run.transcript;
  const std::string read_blanks(19, ' '), write_blanks(15, ' ');
  const std::string reading = "\tline 100" + read_blanks + "\r\tline 200" + read_blanks + "\r";
  const std::string writing = "\n\n\tline 100" + write_blanks + "\r\tline 200" + write_blanks + "\r";
  EXPECT_NE(run.transcript.find(reading), std::string::npos) << run.transcript;
  EXPECT_NE(run.transcript.find(writing), std::string::npos) << run.transcript;
  EXPECT_EQ(run.transcript.find("line 0"), std::string::npos);
  EXPECT_EQ(run.transcript.find("line 300"), std::string::npos);
}

TEST(Runs, AFractionalPixelSizeReadsBackExactly) {
  struct Case {
    const char* pixel;
    const char* line;  // sixth line of the result descriptor
  };
  for (const Case& c : {Case{"1000", "\n1000\n"}, Case{"2.5", "\n2.500000\n"}, Case{"12.5", "\n12.500000\n"}}) {
    TempDir base;
    Alps alps(base);
    write_file(alps.dir + "/mnt_m2.txt", std::string("3\n4\n2\n10000\n10550\n") + c.pixel + "\n");
    ASSERT_EQ(run_tool(base.path(), kRawRun + "res\n1\n0\n").status, 0);
    const std::string first = read_file(alps.dir + "/res_m2.txt");
    EXPECT_EQ(first.find(std::string("10450") + c.line), 8u) << first;
    // The result as the DEM of the next run: the same volume.
    ASSERT_EQ(run_tool(base.path(), replaced(kRawRun, "mnt", "res") + "again\n1\n0\n").status, 0);
    const std::string second = read_file(alps.dir + "/again_m2.txt");
    EXPECT_EQ(first.substr(first.find("Volume")), second.substr(second.find("Volume"))) << c.pixel;
  }
}

TEST(Runs, ValuesThatDoNotFitSixteenBitsAreRefusedThenSavedAsThirtyTwo) {
  TempDir base;
  Alps alps(base);
  // -9999 m at centimetres is -999900: no 16-bit cell holds it.
  const ToolRun run = run_tool(base.path(), "alps\nmnt\n1\n0\n2\nzone\n1\n1\n-9999\n1\nres\n1\n0\n1\n1\n");
  ASSERT_EQ(run.status, 0) << run.transcript;
  EXPECT_NE(run.transcript.find("go from -999900 to 10450, but a 16-bit raster holds 0 to 65535 only"),
            std::string::npos)
      << run.transcript;
  EXPECT_EQ(occurrences(run.transcript, "\n\n\tFormat Type :"), 3);  // DEM, then the result twice
  EXPECT_FALSE(file_exists(alps.dir + "/res_m2.raw"));
  EXPECT_EQ(read_file(alps.dir + "/res_m4.raw"),
            as_text(le32({-999900, 10050, 10100, -999900, 10200, 10029, 10300, -999900, -999900, 10450, -999900,
                        -999900})));
  EXPECT_EQ(read_file(alps.dir + "/res_m4.txt").rfind("3\n4\n4\n-999900\n10450\n1000\n\n\n\tMesacrop", 0), 0u);
}
