// What a run writes and how it is put in place: whole sets or nothing, runs
// taking turns, full disks and missing folders, outputs that name inputs or
// each other, files mesacrop did not write, what a stopped run left.
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

TEST(Publishing, AResultSetIsReplacedWholeOrNotAtAll) {
  TempDir base;
  Alps alps(base);
  write_old_raw_result(alps.dir);
  std::filesystem::remove(alps.dir + "/res_m2.hdr");
  std::filesystem::create_directory(alps.dir + "/res_m2.hdr");
  const auto before = snapshot(alps.dir);
  ToolRun run = run_tool(base.path(), kRawRun + "res\n1\n0\n");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.transcript.find("Cannot put the file " + alps.dir + "/res_m2.hdr in place"), std::string::npos)
      << run.transcript;
  EXPECT_EQ(snapshot(alps.dir), before);
  EXPECT_TRUE(temporaries_in(alps.dir).empty());

  std::filesystem::remove(alps.dir + "/res_m2.hdr");
  run = run_tool(base.path(), kRawRun + "res\n1\n0\n");
  EXPECT_EQ(run.status, 0);
  for (const char* name : {"res_m2.raw", "res_m2.txt", "res_m2.hdr"}) {
    EXPECT_NE(read_file(alps.dir + "/" + name), earlier_result_file(name));
  }
}

TEST(Publishing, RunsPublishingTheSameResultTakeTurns) {
  TempDir base;
  Alps alps(base);
  // While another run holds the folder's lock, a run writes its files but
  // does not put them in place.
  const int folder = open(alps.dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_EQ(flock(folder, LOCK_EX), 0);
  LiveRun held(base.path(), kRawRun + "res\n1\n0\n");
  EXPECT_TRUE(LiveRun::wait_until([&] { return temporaries_in(alps.dir).size() == 4; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_FALSE(file_exists(alps.dir + "/res_m2.raw"));
  close(folder);
  EXPECT_EQ(held.wait(), 0);
  EXPECT_TRUE(file_exists(alps.dir + "/res_m2.hdr"));

  // Two runs writing the same name at once: one run's whole set, never a mix.
  for (int round = 0; round < 5; ++round) {
    LiveRun low(base.path(), replaced(kRawRun, "1\n0\n0\n", "1\n1\n0\n") + "res\n1\n0\n");
    LiveRun high(base.path(), replaced(kRawRun, "1\n0\n0\n", "1\n2\n0\n") + "res\n1\n0\n");
    EXPECT_EQ(low.wait(), 0);
    EXPECT_EQ(high.wait(), 0);
    const bool low_raster = read_file(alps.dir + "/res_m2.raw").substr(0, 2) == as_text(le16({100}));
    const bool low_descriptor = read_file(alps.dir + "/res_m2.txt").find("altitude 1.000000") != std::string::npos;
    EXPECT_EQ(low_raster, low_descriptor) << "round " << round;
  }
}

TEST(Publishing, AResultThatCannotBeWrittenStopsAndLeavesTheOldResultIntact) {
  TempDir base;
  Alps alps(base);
  write_file(alps.dir + "/res_m2.raw", "old raster");
  write_file(alps.dir + "/res_m2.txt", earlier_result_file("res_m2.txt"));
  // As root, permissions do not hold: the run is made as "nobody" then.
  std::filesystem::permissions(base.path(), std::filesystem::perms(0755));
  for (const auto& entry : std::filesystem::directory_iterator(alps.dir)) {
    std::filesystem::permissions(entry.path(), std::filesystem::perms(0644));
  }
  std::filesystem::permissions(alps.dir, std::filesystem::perms(0555));
  const auto before = snapshot(alps.dir);
  const ToolRun run = run_tool(base.path(), "alps\nmnt\n1\n0\n2\nzone\n1\n1\n0\n0\nres\n1\n0\n", 20000,
                               /*as_nobody=*/true);
  EXPECT_EQ(run.status, 1) << run.transcript;
  EXPECT_NE(run.transcript.find("Cannot create the file " + alps.dir + "/res_m2.txt"), std::string::npos)
      << run.transcript;
  EXPECT_EQ(snapshot(alps.dir), before);
}

TEST(Publishing, AFolderRemovedBeforeSavingStopsTheRunNamingThePath) {
  TempDir base;
  Alps alps(base);
  int stage = 0;
  std::string transcript;
  const int status = interactive_run(
      base.path(),
      [&](const std::string& seen) -> std::string {
        if (stage == 0) return ++stage, "alps\nmnt\n1\n0\n2\nzone\n1\n1\n0\n0\n";
        if (stage == 1 && seen.find("Name of the resulting DEM") != std::string::npos) {
          std::filesystem::rename(alps.dir, base / "moved");
          return ++stage, "res\n1\n0\n";
        }
        return "";
      },
      transcript);
  EXPECT_EQ(status, 1) << transcript;
  EXPECT_NE(transcript.find("Cannot create the file " + alps.dir + "/res_m2.txt (No such file or directory)"),
            std::string::npos)
      << transcript;
  EXPECT_FALSE(std::filesystem::exists(alps.dir));
  EXPECT_EQ(list_folder(base / "moved").size(), 8u);  // the eight inputs only
}

TEST(Publishing, AFullDiskStopsTheRunAndKeepsTheOldResult) {
  if (geteuid() != 0) GTEST_SKIP() << "mounting a small file system needs root; not tested here";
  TempDir base;
  const std::string disk = base / "disk";
  std::filesystem::create_directory(disk);
  if (mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=256k") != 0) {
    GTEST_SKIP() << "this machine does not allow mounting a small file system; not tested here";
  }
  struct Unmount {
    std::string at;
    ~Unmount() { umount2(at.c_str(), MNT_DETACH); }
  } unmount{disk};
  std::filesystem::create_directory(disk + "/big");
  // 300 x 200 cells of 16 bits: 120000 bytes of input; its result does not fit.
  write_bytes(disk + "/big/dem_m2.raw", Bytes(120000, 7));
  write_file(disk + "/big/dem_m2.txt", "300\n200\n2\n0\n0\n10\n");
  write_bytes(disk + "/big/zone.raw", Bytes(60000, 1));
  write_file(disk + "/big/zone.txt", "300 200\n");
  write_file(disk + "/big/res_m2.raw", "old raster");
  const auto before = snapshot(disk + "/big");
  const ToolRun run = run_tool(disk, "big\ndem\n1\n0\n0\nzone\n1\n1\n0\n1\nres\n1\n0\n", 10000);
  EXPECT_EQ(run.status, 1) << run.transcript;
  // 120000 bytes of cells cannot fit: the run says so before writing any.
  EXPECT_NE(run.transcript.find("The result " + disk + "/big/res_m2.raw needs at least 120000 bytes, and its folder "
                                "has "),
            std::string::npos)
      << run.transcript;
  EXPECT_EQ(snapshot(disk + "/big"), before);
}

TEST(Publishing, OnAFullDiskTheGridsCopyMakesRoomForTheResult) {
  TempDir base;
  const std::string dir = base / "t";
  std::filesystem::create_directory(dir);
  // 100 KiB of grid text, 25 KiB of mask and 140 KiB of other files; the
  // parsed cells take 200 KiB and the grid result 225 KiB: the disk holds
  // either, not both.
  if (mount("tmpfs", dir.c_str(), "tmpfs", 0, "size=560k") != 0) GTEST_SKIP() << "no tmpfs can be mounted here";
  std::string grid = "ncols 160\nnrows 160\nxllcorner 0\nyllcorner 0\ncellsize 10\n";
  for (int k = 0; k < 160 * 160; ++k) grid += "3.5 ";
  write_file(dir + "/dem.asc", grid);
  write_bytes(dir + "/zone.raw", Bytes(160 * 160, 1));
  write_file(dir + "/zone.txt", "160 160\n");
  write_file(dir + "/filler", std::string(140 * 1024, 'x'));
  const ToolRun run = run_tool(base.path(), "t\ndem\n0\nzone\n1\n1\n0\n1\nres\n0\n");
  const std::string result = read_file(dir + "/res.asc");
  umount(dir.c_str());
  EXPECT_EQ(run.status, 0) << run.transcript;
  EXPECT_NE(run.transcript.find("The disk is full: the run's copy of the grid's cells is removed"), std::string::npos)
      << run.transcript;
  EXPECT_EQ(occurrences(result, "3.500000\t"), 160 * 160);
}

TEST(Publishing, AnOutputThatIsAnInputOrAnotherOutputIsAUsageErrorNamingBoth) {
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

TEST(Publishing, AFileMesacropDidNotWriteIsNotReplacedByAResult) {
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

TEST(Publishing, ARunWritesEverythingTogetherOrNothing) {
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

TEST(Publishing, WhatAStoppedRunLeftIsTakenOnlyWhenItIsItsOwn) {
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
