// What a run writes: no output replaces an input, another output or a file
// mesacrop did not write; everything is checked before the first byte and
// put in place together; what a stopped run left is taken only when it is
// its own.
#include <gtest/gtest.h>

#include <filesystem>

#include <sys/wait.h>
#include <unistd.h>

#include "files/library_raster.h"
#include "run_tool.h"

namespace {

}  // namespace

TEST(Outputs, AnOutputThatIsAnInputOrAnotherOutputIsAUsageErrorNamingBoth) {
  struct Case {
    const char* flags;
    int status;
    const char* said;
    bool gdal = false;
  };
  const Case cases[] = {
      {"--table res.json -c 1 jacksboro.asc zone.raw res.asc", 2, "--table %/res.json is a file of the result"},
      {"--report jacksboro.prj -c 1 jacksboro.asc zone.raw res.asc", 2,
       "--report %/jacksboro.prj would replace the input file %/jacksboro.prj"},
      {"--table t.csv --report t.csv -c 1 jacksboro.asc zone.raw res.asc", 2,
       "--table and --report name the same file %/t.csv"},
      {"--table - --report - -c 1 jacksboro.asc zone.raw res.asc", 2, "--table - and --report - would both go to"},
      {"--report nodir/rep.json -c 1 jacksboro.asc zone.raw res.asc", 1, "There is no folder %/nodir/ for the file"},
      {"--table dem.csv dem.csv zone.raw", 2, "--table %/dem.csv would replace the input file", true},
      {"--report res.tif -c 1 dem.tif zone.raw res.tif", 2, "--report %/res.tif is a file of the result", true},
      {"-c 1 mosaic.vrt zone.raw left.tif", 1, "The result %/left.tif would replace the input file %/left.tif", true},
  };
  for (const Case& c : cases) {
    if (c.gdal && !have_gdal_tools()) continue;
    DemoCopy demo;
    if (c.gdal) {
      shell("cd " + demo.dir + " && gdal_translate -q -of XYZ jacksboro.asc dem.csv && gdal_translate -q jacksboro.asc "
            "dem.tif && gdal_translate -q -srcwin 0 0 111 200 dem.tif left.tif && gdal_translate -q -srcwin 111 0 "
            "111 200 dem.tif right.tif && gdalbuildvrt -q mosaic.vrt left.tif right.tif");
    }
    // An earlier result stays as it was.
    ASSERT_EQ(demo.run("-c 2 jacksboro.asc zone.raw res.asc").status, 0);
    const auto before = snapshot(demo.dir);
    const CliRun run = demo.run(c.flags);
    EXPECT_EQ(run.status, c.status) << c.flags << run.errors;
    EXPECT_NE(run.errors.find(in_folder(c.said, demo.dir)), std::string::npos) << c.flags << "\n" << run.errors;
    EXPECT_EQ(snapshot(demo.dir), before) << c.flags;
  }
}

TEST(Outputs, AFileMesacropDidNotWriteIsNotReplacedByAResult) {
  struct Case {
    const char* name;     // beside the result res
    const char* content;  // the user's
    const char* files;  // the DEM, the mask and the result
  };
  const Case cases[] = {
      {"res.json", "{\"type\": \"FeatureCollection\", \"features\": []}", "jacksboro.asc zone.raw res.asc"},
      {"res_m2.hdr", "ENVI\nsamples = 222\n", "--dem-unit dm jacksboro_m2.raw zone.raw res_m2.raw"},
      {"res_m2.txt", "notes of a field trip\n", "--dem-unit dm jacksboro_m2.raw zone.raw res_m2.raw"},
      {"res.prj", "PROJCS[\"another\"]", "jacksboro.asc zone.raw res.asc"},
  };
  for (const Case& c : cases) {
    DemoCopy demo;
    write_file(demo.dir + "/" + c.name, c.content);
    const auto before = snapshot(demo.dir);
    const CliRun run = demo.run(std::string("-c 1 ") + c.files);
    EXPECT_EQ(run.status, 1) << c.name;
    EXPECT_NE(run.errors.find("The file " + demo.dir + "/" + c.name + " is not one mesacrop wrote"), std::string::npos)
        << c.name << run.errors;
    EXPECT_EQ(snapshot(demo.dir), before) << c.name;
    // Its own earlier result is replaced as ever.
    std::filesystem::remove(demo.dir + "/" + c.name);
    ASSERT_EQ(demo.run(std::string("-c 2 ") + c.files).status, 0) << c.name;
    EXPECT_EQ(demo.run(std::string("-c 1 ") + c.files).status, 0) << c.name;
  }
  // The dialog asks the name again.
  DemoCopy demo;
  write_file(demo.dir + "/res.json", "[1, 2]");
  const ToolRun run = run_tool(demo.base.path(), "demo\njacksboro\n0\nzone\n1\n1\n0\n0\nres\n0\nres2\n0\n");
  EXPECT_EQ(run.status, 0) << run.transcript;
  EXPECT_EQ(occurrences(run.transcript, "Name of the resulting DEM"), 2);
  EXPECT_EQ(read_file(demo.dir + "/res.json"), "[1, 2]");
  EXPECT_TRUE(file_exists(demo.dir + "/res2.asc"));
}

TEST(Outputs, ARunWritesEverythingTogetherOrNothing) {
  DemoCopy demo;
  ASSERT_EQ(demo.run("-c 2 jacksboro.asc zone.raw res_m2.raw --unit mm").status, 1);  // does not fit 16 bits
  const auto before = snapshot(demo.dir);
  // The table first, then a result that does not fit: no table either.
  const CliRun refused = demo.run("--table t.csv -c 1 --unit mm jacksboro.asc zone.raw res_m2.raw");
  EXPECT_EQ(refused.status, 1) << refused.errors;
  EXPECT_EQ(snapshot(demo.dir), before);
  // All of them, in two folders.
  std::filesystem::create_directory(demo.dir + "/out");
  const CliRun run = demo.run("--table t.csv --report out/rep.json -c 1 jacksboro.asc zone.raw res.asc");
  EXPECT_EQ(run.status, 0) << run.errors;
  for (const char* name : {"t.csv", "out/rep.json", "res.asc", "res.json"}) {
    EXPECT_TRUE(file_exists(demo.dir + "/" + name)) << name;
  }
  EXPECT_EQ(read_file(demo.dir + "/out/rep.json"), read_file(demo.dir + "/res.json"));
  EXPECT_TRUE(temporaries_in(demo.dir).empty());
}

TEST(Outputs, WhatAStoppedRunLeftIsTakenOnlyWhenItIsItsOwn) {
  // A process that ran and ended: its number is no longer running.
  const pid_t gone = fork();
  if (gone == 0) _exit(0);
  waitpid(gone, nullptr, 0);
  const std::string dead = ".mesacrop-" + std::to_string(gone) + "-";
  DemoCopy demo;
  const std::string victim = demo.base / "victim";
  std::filesystem::create_directory(victim);
  write_file(victim + "/precious.txt", "keep me");
  std::filesystem::create_directory_symlink(victim, demo.dir + "/" + dead + "0.dir");
  std::filesystem::create_symlink(victim + "/precious.txt", demo.dir + "/" + dead + "1.set");
  // A real leftover folder of its own, with a link inside.
  std::filesystem::create_directory(demo.dir + "/" + dead + "2.dir");
  write_file(demo.dir + "/" + dead + "2.dir/res.tif", "half");
  std::filesystem::create_symlink(victim + "/precious.txt", demo.dir + "/" + dead + "2.dir/link");
  std::filesystem::create_directory(demo.dir + "/" + dead + "3.dir");
  write_file(demo.dir + "/" + dead + "3.dir/res.tif", "half");
  for (const char* flags : {"--table t.csv jacksboro.asc zone.raw", "-c 1 jacksboro.asc zone.raw res.asc"}) {
    const CliRun run = demo.run(flags);
    EXPECT_EQ(run.status, 0) << flags << run.errors;
    EXPECT_NE(run.errors.find(demo.dir + "/" + dead + "0.dir is named like a file the tool leaves, but it is a link"),
              std::string::npos)
        << flags << run.errors;
    EXPECT_EQ(list_folder(victim), std::vector<std::string>{"precious.txt"}) << flags;
    EXPECT_EQ(read_file(victim + "/precious.txt"), "keep me") << flags;
  }
  EXPECT_TRUE(std::filesystem::is_symlink(demo.dir + "/" + dead + "2.dir/link"));
  EXPECT_FALSE(std::filesystem::exists(demo.dir + "/" + dead + "3.dir"));
}
