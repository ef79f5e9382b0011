// The command line: the same files as the dialog for the same choices, a
// usage error or a failure told on its first line with its status, nothing
// written then, progress only on a terminal, standard input never read.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include "files/library_raster.h"
#include "run_tool.h"

namespace {

// The result files of a folder (names starting with "res"), taken away.
std::map<std::string, std::string> take_results(const std::string& dir) {
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("res", 0) != 0) continue;
    files[name] = read_file(entry.path().string());
    std::filesystem::remove(entry.path());
  }
  return files;
}

}  // namespace

TEST(CommandLine, WritesTheSameFilesAsTheDialogForTheSameChoices) {
  struct Case {
    const char* dialog;
    const char* flags;
  };
  const Case cases[] = {
      {"demo jacksboro 1 0 1 zone 1 1 0 0 res 1 0", "-c 1 --dem-unit dm jacksboro_m2.raw zone.raw res_m2.raw"},
      {"demo jacksboro 1 0 1 zone 0 2 250 1 res 0 739890 4037760",
       "-c 2 -a 250 --no-volume --dem-unit dm --corner 739890,4037760 jacksboro_m2.raw zone.bmp res.asc"},
      {"demo jacksboro 0 zone 1 1 -1.5 0 res 1 1 1", "--code=1 --outside=-1.5 --unit dm jacksboro.asc zone.raw res_m4.raw"},
      {"demo jacksboro 0 zone 0 0 0 0 res 0", "-c 0 jacksboro.asc zone.bmp res.asc"},
      {"demo jacksboro 1 0 0 zone 1 2 0 1 res 1 1", "-c 2 --no-volume --dem-unit m jacksboro_m2.raw zone.raw res_m4.raw"},
      {"demo jacksboro 0 zone 0 1 0 1 res 1 0 0", "-q -c 1 --no-volume --unit m jacksboro.asc zone.bmp res_m2.raw"},
  };
  DemoCopy demo;
  for (const Case& c : cases) {
    std::string answers = c.dialog;
    std::replace(answers.begin(), answers.end(), ' ', '\n');
    ASSERT_EQ(run_tool(demo.base.path(), answers + "\n").status, 0) << c.dialog;
    const auto from_dialog = take_results(demo.dir);
    const CliRun run = run_cli(demo.dir, c.flags);
    EXPECT_EQ(run.status, 0) << c.flags << run.errors;
    EXPECT_EQ(run.out + run.errors, "") << c.flags << ": nothing said on a pipe";
    const auto from_flags = take_results(demo.dir);
    EXPECT_GE(from_dialog.size(), 3u) << c.dialog;
    EXPECT_EQ(from_flags, from_dialog) << c.flags;
  }
  EXPECT_TRUE(temporaries_in(demo.dir).empty());
}

TEST(CommandLine, UsageErrorsAndFailedRunsSayTheCauseFirstAndWriteNothing) {
  struct Case {
    const char* flags;
    int status;
    const char* first_line;
  };
  const Case cases[] = {
      {"--bogus -c 1 jacksboro.asc zone.raw res.asc", 2, "mesacrop: unknown option \"--bogus\""},
      {"jacksboro.asc zone.raw res.asc -c", 2, "mesacrop: -c needs a value"},
      {"-c one jacksboro.asc zone.raw res.asc", 2, "mesacrop: -c/--code takes a whole number"},
      {"-c 99999999999 jacksboro.asc zone.raw res.asc", 2, "mesacrop: -c/--code takes a whole number"},
      {"jacksboro.asc zone.raw res.asc", 2, "mesacrop: -c/--code is required"},
      {"-c 1 jacksboro_m2.raw zone.raw res.asc", 2, "mesacrop: --dem-unit m|dm|cm|mm is required for the raw DEM"},
      {"-c 1 --dem-unit furlong jacksboro_m2.raw zone.raw res.asc", 2, "mesacrop: --dem-unit takes m, dm, cm or mm"},
      // Through GDAL, when the tool has it; else names of no accepted form.
      gdal_available() ? Case{"-c 1 dem.tif zone.raw res.asc", 1, "mesacrop: the DEM %/dem.tif does not exist"}
                       : Case{"-c 1 dem.tif zone.raw res.asc", 2, "mesacrop: the DEM \"dem.tif\" is named in none"},
      gdal_available() ? Case{"-c 1 jacksboro.asc zone.png res.asc", 1, "mesacrop: the mask %/zone.png does not exist"}
                       : Case{"-c 1 jacksboro.asc zone.png res.asc", 2, "mesacrop: the mask \"zone.png\" is named in none"},
      {"-c 1 jacksboro.asc zone.raw res.txt", 2, "mesacrop: the result \"res.txt\" is named in none"},
      {"-c 1 -a nodata --unit m jacksboro.asc zone.raw res_m2.raw", 2, "mesacrop: --outside nodata is for grid results"},
      {"-c 1 --unit m --dem-unit dm jacksboro_m2.raw zone.raw res_m2.raw", 2, "mesacrop: --unit is for a raw result made"},
      {"-c 1 --corner 5 --dem-unit dm jacksboro_m2.raw zone.raw res.asc", 2, "mesacrop: --corner takes X,Y"},
      {"-c 1 --pixel-size -1 jacksboro.asc zone.raw res.asc", 2, "mesacrop: --pixel-size takes a number of metres"},
      {"-c 1 jacksboro.asc zone.raw res.asc more.asc", 2, "mesacrop: too many files: \"more.asc\""},
      {"-c 1 --dem-unit dm jacksboro_m2.raw zone.raw res.asc", 2,
       "mesacrop: a grid or GeoTIFF result needs the map coordinates of its lower-left corner"},
      {"-c 1 nope.asc zone.raw res.asc", 1, "mesacrop: the DEM %/nope.asc does not exist"},
      {"-c 1 --unit cm jacksboro.asc zone.raw res_m2.raw", 1,
       "mesacrop: The stored values of the result go from 0 to 107400, but a 16-bit raster holds 0 to 65535 only"},
      {"-c 1 jacksboro.asc zone.raw jacksboro.asc", 1, "mesacrop: The result %/jacksboro.asc would replace the input"},
      {"-c 1 jacksboro.asc zone.raw nosuch/res.asc", 1, "mesacrop: There is no folder %/nosuch/ for the result"},
  };
  for (const Case& c : cases) {
    DemoCopy demo;
    const auto before = snapshot(demo.dir);
    const CliRun run = run_cli(demo.dir, c.flags);
    std::string first_line = c.first_line;
    if (const std::size_t at = first_line.find('%'); at != std::string::npos) first_line.replace(at, 1, demo.dir);
    EXPECT_EQ(run.status, c.status) << c.flags << run.errors;
    EXPECT_EQ(run.errors.rfind(first_line, 0), 0u) << c.flags << "\n" << run.errors;
    EXPECT_EQ(run.errors.find("mesacrop --help tells every flag") != std::string::npos, c.status == 2) << c.flags;
    EXPECT_EQ(run.out, "") << c.flags;
    EXPECT_EQ(snapshot(demo.dir), before) << c.flags;
  }
}

TEST(CommandLine, ProgressAndTheClosingLineOnATerminalOnly) {
  DemoCopy demo;
  const std::string flags = "-c 1 --report - jacksboro.asc zone.raw res.asc";
  const CliRun on_terminal = run_cli(demo.dir, flags, true);
  EXPECT_EQ(on_terminal.status, 0) << on_terminal.errors;
  for (const char* pass : {"reading the grid", "measuring the zone", "writing the grid"}) {
    EXPECT_NE(on_terminal.errors.find(std::string(pass) + ": 0...10...20...30...40...50...60...70...80...90...100 - done."),
              std::string::npos)
        << on_terminal.errors;
  }
  EXPECT_NE(on_terminal.errors.find("mesacrop: written in " + demo.dir + "/: res.asc, res.prj, res.json; volume "
                                    "5.953239 km3 (5953239180.000 m3)"),
            std::string::npos)
      << on_terminal.errors;
  EXPECT_EQ(on_terminal.out, read_file(demo.dir + "/res.json"));  // the report, and nothing else

  const CliRun quiet = run_cli(demo.dir, "-q " + flags, true);
  EXPECT_EQ(quiet.errors.find("done."), std::string::npos) << quiet.errors;
  const CliRun on_pipe = run_cli(demo.dir, flags);
  EXPECT_EQ(on_pipe.errors, "");
  EXPECT_EQ(on_pipe.out, on_terminal.out);
}

TEST(CommandLine, RunsAtOnceInOneFolderWithDifferentResults) {
  DemoCopy demo;
  const std::string flags = "--dem-unit dm jacksboro_m2.raw zone.raw";
  std::vector<std::string> alone;
  for (int code = 0; code < 4; ++code) {
    ASSERT_EQ(run_cli(demo.dir, "-c " + std::to_string(code) + " " + flags + " r" + std::to_string(code) + "_m2.raw").status, 0);
    alone.push_back(read_file(demo.dir + "/r" + std::to_string(code) + "_m2.raw"));
  }
  std::vector<std::thread> runs;
  std::vector<int> statuses(4, -1);
  for (int code = 0; code < 4; ++code) {
    runs.emplace_back([&, code] {
      statuses[static_cast<std::size_t>(code)] =
          run_cli(demo.dir, "-c " + std::to_string(code) + " " + flags + " s" + std::to_string(code) + "_m2.raw").status;
    });
  }
  for (std::thread& run : runs) run.join();
  for (int code = 0; code < 4; ++code) {
    EXPECT_EQ(statuses[static_cast<std::size_t>(code)], 0);
    EXPECT_EQ(read_file(demo.dir + "/s" + std::to_string(code) + "_m2.raw"), alone[static_cast<std::size_t>(code)]);
  }
  EXPECT_TRUE(temporaries_in(demo.dir).empty());
}

TEST(CommandLine, WhatTheFlagsDoNotChangeIsSaidAndNamesAreForgiving) {
  struct Case {
    const char* flags;
    int status;
    const char* said;  // on standard error
  };
  const Case cases[] = {
      {"--dem-units dm -c 1 jacksboro_m2.raw zone.raw r_m2.raw", 2, "did you mean --dem-unit?"},
      {"--size 10,10 -c 1 --dem-unit dm jacksboro_m2.raw zone.raw r_m2.raw", 0,
       "Warning: --size 10,10 is not used for the DEM: its descriptor %/jacksboro_m2.txt gives 200 lines and 222"},
      {"--size 10,10 -c 1 --dem-unit dm jacksboro_m2.raw zone.raw r_m2.raw", 0,
       "Warning: --size 10,10 is not used for the mask: its descriptor %/zone.txt gives 200 lines"},
      {"--pixel-size 5 -c 1 --dem-unit dm jacksboro_m2.raw zone.raw r_m2.raw", 0,
       "Warning: --pixel-size 5 is not used: its descriptor %/jacksboro_m2.txt gives 90"},
      {"-c 1 jacksboro.asc nope.raw r.asc", 1, "mesacrop: the mask %/nope.raw does not exist"},
      {"--edge whole -c 1 jacksboro.asc zone.raw r.asc", 2, "--edge takes half or full"},
      {"--mask-band 2 -c 1 jacksboro.asc zone.raw r.asc", 2, "--mask-band is for a mask read through GDAL"},
  };
  for (const Case& c : cases) {
    DemoCopy demo;
    const CliRun run = run_cli(demo.dir, c.flags);
    EXPECT_EQ(run.status, c.status) << c.flags << run.errors;
    EXPECT_NE(run.errors.find(in_folder(c.said, demo.dir)), std::string::npos) << c.flags << "\n" << run.errors;
  }
  if (!gdal_available()) return;
  DemoCopy demo;
  const CliRun upper = run_cli(demo.dir, "-c 1 jacksboro.asc zone.raw RES.TIF");
  EXPECT_EQ(upper.status, 0) << upper.errors;
  EXPECT_TRUE(file_exists(demo.dir + "/RES.TIF"));
  EXPECT_NE(read_file(demo.dir + "/RES.json").find("\"files\": [\"RES.TIF\", \"RES.json\"]"), std::string::npos);
}

TEST(CommandLine, FullEdgesGiveThePlainZonalSumAndTheTableAClosingLine) {
  DemoCopy demo;
  // The plain sum: every cell of code 2 (frame and edges whole), from the grid's own text.
  const std::string grid = read_file(demo.dir + "/jacksboro.asc"), mask = read_file(demo.dir + "/zone.raw");
  std::istringstream cells(grid.substr(grid.find("-9999.9999\n") + 11));
  double sum = 0;
  std::size_t k = 0;
  for (double altitude; cells >> altitude; ++k) sum += mask[k] == 2 ? altitude * 8100.0 : 0.0;
  const CliRun run = run_cli(demo.dir, "--edge full --table t.json --report - -c 2 jacksboro.asc zone.raw r.asc", true);
  EXPECT_EQ(run.status, 0) << run.errors;
  EXPECT_NEAR(std::strtod(run.out.c_str() + run.out.find("\"volume_m3\": ") + 13, nullptr), sum, 1e-6 * sum);
  EXPECT_NE(run.out.find("\"zone_cells\": {\"all\": 2817, \"full\": 2817, \"half\": 0, \"frame\": 0"), std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("\"edge\": \"full\""), std::string::npos);
  EXPECT_NE(read_file(demo.dir + "/t.json").find("\"edge\": \"full\""), std::string::npos);
  EXPECT_NE(run.errors.find("mesacrop: table of 3 zones written in " + demo.dir + "/t.json"), std::string::npos)
      << run.errors;
}

TEST(CommandLine, EachInputFileIsOpenedOncePerRun) {
  if (std::system("command -v strace >/dev/null") != 0) GTEST_SKIP() << "strace is missing (.ci/run installs it)";
  DemoCopy demo;
  struct Case {
    const char* flags;
    std::vector<const char*> inputs;
  };
  std::vector<Case> cases = {
      {"-c 1 --dem-unit dm --table t.csv jacksboro_m2.raw zone.raw r_m2.raw", {"jacksboro_m2.raw", "zone.raw"}},
      {"-c 1 jacksboro.asc zone.bmp r.asc", {"jacksboro.asc", "zone.bmp"}},
      {"-c 2 --unit dm jacksboro.asc zone.raw r_m4.raw", {"jacksboro.asc", "zone.raw"}},
  };
  if (have_gdal_tools()) {
    shell("cd " + demo.dir + " && gdal_translate -q jacksboro.asc dem.tif && gdal_translate -q -of GTiff "
          "-a_ullr 739890 4055760 759870 4037760 -a_srs EPSG:26916 zone.bmp zone.tif");
    cases.push_back({"-c 1 --table t.json dem.tif zone.tif r.tif", {"dem.tif", "zone.tif"}});
    cases.push_back({"-c 7 dem.tif zone.tif r.tif", {"dem.tif", "zone.tif"}});  // selects none: the codes are listed
  }
  for (const Case& c : cases) {
    const std::string trace = demo.base / "opens";
    // LeakSanitizer cannot run under ptrace: off for the traced run.
    const int status = std::system(("cd " + demo.dir + " && ASAN_OPTIONS=detect_leaks=0 strace -f -qq -e trace=openat,open -o " +
                                    trace + " " + MESACROP_BINARY + " -q " + c.flags + " 2>/dev/null")
                                       .c_str());
    EXPECT_EQ(WEXITSTATUS(status), 0) << c.flags;
    const std::string opens = read_file(trace);
    for (const char* input : c.inputs) {
      std::string opened = "/";
      opened += input;
      opened += '"';
      EXPECT_EQ(occurrences(opens, opened), 1) << c.flags << ": " << input;
    }
  }
}
