// Inputs read safely: files that are not regular, cannot be opened, lie in
// their headers or change during the run; the grid's copy never reopened.
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

TEST(Inputs, TheGridsSpillFileIsNeverReopenedThroughAPlantedLink) {
  TempDir base, outside;
  std::filesystem::create_directory(base / "t");
  std::string grid = "ncols 1500\nnrows 1500\nxllcorner 0\nyllcorner 0\ncellsize 10\n";
  for (int k = 0; k < 1500 * 1500; ++k) grid += k % 3 == 0 ? "12.5 " : "7 ";
  write_file(base / "t/dem.asc", grid);
  write_bytes(base / "t/zone.raw", Bytes(1500 * 1500, 1));
  write_file(base / "t/zone.txt", "1500 1500\n");
  write_file(outside / "precious", "precious");
  LiveRun run(base.path(), "t\ndem\n0\n");
  ASSERT_TRUE(LiveRun::wait_until([&] { return !temporaries_in(base / "t").empty(); }));
  const std::string spill = base / ("t/" + temporaries_in(base / "t").front());
  std::filesystem::create_symlink(outside / "precious", spill + ".link");
  std::filesystem::rename(spill + ".link", spill);
  run.send("zone\n1\n1\n0\n0\nres\n1\n1\n0\n");
  EXPECT_EQ(WEXITSTATUS(run.wait()), 0) << run.transcript();
  EXPECT_EQ(read_file(outside / "precious"), "precious");
  // The cells came back from the file the run made, not from the link.
  EXPECT_EQ(read_file(base / "t/res_m4.raw").substr(0, 8), as_text(le32({12, 7})));
  EXPECT_TRUE(temporaries_in(base / "t").empty());
}

TEST(Inputs, InputsThatCannotBeOpenedStopTheRunWithTheReasonAndNothingIsReplaced) {
  struct Case {
    const char* file;
    const char* answers;
  };
  const Case cases[] = {{"mnt_m2.raw", "alps mnt 1 0"},      {"mnt_m2.txt", "alps mnt 1 0"},
                        {"mnt.asc", "alps mnt 0"},           {"zone.raw", "alps mnt 0 zone 1"},
                        {"zone.txt", "alps mnt 0 zone 1"},   {"mnt.prj", "alps mnt 0"}};
  for (const Case& c : cases) {
    TempDir base;
    Alps alps(base);
    write_file(alps.dir + "/mnt.prj", kUtm);
    std::filesystem::permissions(base.path(), std::filesystem::perms(0755));
    const std::string path = alps.dir + "/" + c.file;
    std::filesystem::permissions(path, std::filesystem::perms::none);
    const auto before = snapshot(alps.dir);
    const ToolRun run = run_tool(base.path(), words(c.answers) + "1\n1\n1\n1\n1\n", 20000, /*as_nobody=*/true);
    EXPECT_EQ(run.status, 1) << c.file << run.transcript;
    EXPECT_NE(run.transcript.find("\n File " + path + " cannot be opened (Permission denied)\n"), std::string::npos)
        << c.file << run.transcript;
    EXPECT_EQ(run.transcript.find("No File"), std::string::npos) << c.file;
    EXPECT_EQ(snapshot(alps.dir), before) << c.file;
  }
}

TEST(Inputs, AnInputChangedDuringTheRunStopsIt) {
  for (const char* file : {"mnt_m2.raw", "zone.raw", "mnt.asc"}) {
    TempDir base;
    Alps alps(base);
    const bool grid = std::string(file) == "mnt.asc";
    LiveRun run(base.path(), grid ? "alps\nmnt\n0\nzone\n1\n1\n0\n0\n" : kRawRun);
    ASSERT_TRUE(run.wait_for_text("Name of the resulting DEM")) << run.transcript();
    std::string content = read_file(alps.dir + "/" + file);
    content[content.size() - (grid ? 2 : 1)] ^= 1;  // same length, other cells
    write_file(alps.dir + "/" + file, content);
    run.send(grid ? "res\n1\n1\n2\n" : "res\n1\n0\n");
    run.close_input();
    EXPECT_EQ(WEXITSTATUS(run.wait()), 1) << file;
    EXPECT_NE(run.transcript().find("The file " + alps.dir + "/" + file + " changed during the run"),
              std::string::npos)
        << file << run.transcript();
    EXPECT_TRUE(files_of(alps.dir, "res").empty()) << file;
  }
}

TEST(Inputs, InputsThatAreNotRegularFilesStopTheRunWithoutWaiting) {
  struct Case {
    const char* file;
    const char* answers;
  };
  const Case cases[] = {{"mnt_m2.raw", "alps mnt 1 0"}, {"mnt_m2.txt", "alps mnt 1 0"}, {"mnt.asc", "alps mnt 0"},
                        {"zone.raw", "alps mnt 0 zone 1"},  {"zone.txt", "alps mnt 0 zone 1"},
                        {"zone.bmp", "alps mnt 0 zone 0"}};
  for (const Case& c : cases) {
    TempDir base;
    Alps alps(base);
    const std::string path = alps.dir + "/" + c.file;
    std::filesystem::remove(path);
    ASSERT_EQ(mkfifo(path.c_str(), 0644), 0);
    std::string answers = c.answers;
    std::replace(answers.begin(), answers.end(), ' ', '\n');
    const ToolRun run = run_tool(base.path(), answers + "\n", 10000);
    EXPECT_FALSE(run.timed_out) << c.file;
    EXPECT_EQ(run.status, 1) << c.file;
    EXPECT_NE(run.transcript.find("\n File " + path + " is not a regular file\n"), std::string::npos) << c.file;
  }
}

TEST(Inputs, LyingHeadersStopBeforeAllocating) {
  struct Case {
    const char* name;
    const char* file;
    const char* content;
    const char* answers;
    const char* message;
  };
  const Case cases[] = {
      {"DEM descriptor", "mnt_m2.txt", "100000\n100000\n2\n0\n0\n1\n", "alps mnt 1 0",
       "need 20000000000 bytes, it holds 24"},
      {"grid header", "mnt.asc", "ncols 100000\nnrows 100000\nxllcorner 0\nyllcorner 0\ncellsize 1\n1 2 3\n",
       "alps mnt 0", "announces 100000 lines x 100000 columns"},
      {"mask descriptor", "zone.txt", "100000 100000", "alps mnt 0 zone 1", "The mask size is not the size"},
      {"negative pixel size", "mnt_m2.txt", "3\n4\n2\n0\n0\n-5\n", "alps mnt 1 0", "gives the pixel size -5.000000"},
      {"grid cell size that is no number", "mnt.asc", "ncols 4\nnrows 3\nxllcorner 0\nyllcorner 0\ncellsize nan\n1",
       "alps mnt 0", "mnt.asc gives the pixel size nan"},
      {"grid corner that is not finite", "mnt.asc", "ncols 4\nnrows 3\nxllcorner inf\nyllcorner 0\ncellsize 1\n1",
       "alps mnt 0", "has no valid number for the keyword \"xllcorner\" (found \"inf\")"},
  };
  for (const Case& c : cases) {
    TempDir base;
    Alps alps(base);
    write_file(alps.dir + "/" + c.file, c.content);
    const ToolRun run = run_tool(base.path(), join(split_answers(c.answers)), 10000);
    EXPECT_EQ(run.status, 1) << c.name;
    EXPECT_NE(run.transcript.find(c.message), std::string::npos) << c.name << run.transcript;
    EXPECT_EQ(run.transcript.find("Not enough memory"), std::string::npos) << c.name;
  }
  // A bitmap claiming 32767 x 32767 pixels in a few bytes.
  TempDir base;
  Alps alps(base);
  Bytes bmp = bitmap_bytes(4, 3, 8, Bytes(12, 1));
  for (int at : {18, 22}) bmp[at] = 0xFF, bmp[at + 1] = 0x7F;
  write_bytes(alps.dir + "/zone.bmp", bmp);
  const ToolRun run = run_tool(base.path(), "alps\nmnt\n0\nzone\n0\n", 10000);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.transcript.find("zone.bmp is cut short"), std::string::npos) << run.transcript;
}
