// No file lost under any name, no silently wrong figure: planted links,
// unreadable inputs, kills at every rename, inputs changed during a run,
// answers typed ahead, signals and full disks, driven for real.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>

#include <fcntl.h>
#include <pty.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include "run_tool.h"

namespace {

const std::string kRawRun = "alps\nmnt\n1\n0\n2\nzone\n1\n1\n0\n0\n";  // up to the result name
const std::string kUtm = "PROJCS[\"WGS 84 / UTM zone 31N\",GEOGCS[\"WGS 84\"],UNIT[\"metre\",1]]";

std::string words(std::string answers) {
  std::replace(answers.begin(), answers.end(), ' ', '\n');
  return answers + "\n";
}

// The files of a folder whose names start with `prefix`.
std::map<std::string, std::string> files_of(const std::string& dir, const std::string& prefix) {
  std::map<std::string, std::string> files;
  for (const auto& [name, content] : snapshot(dir)) {
    if (name.rfind(prefix, 0) == 0) files[name] = content;
  }
  return files;
}

bool have(const char* program) {
  return std::system((std::string("command -v ") + program + " >/dev/null 2>&1").c_str()) == 0;
}

// Runs the tool under strace (`trace` its options); the trace goes to `log`.
void run_traced(const std::string& base, const std::string& answers, const std::string& trace, const std::string& log) {
  TempDir io;
  write_file(io / "answers", answers);
  const std::string command = "MESACROP_IMAGES=" + base + " strace -f -o " + log + " " + trace + " " MESACROP_BINARY +
                              " < " + io / "answers" + " > /dev/null 2>&1";
  std::system(command.c_str());
}

}  // namespace

TEST(Safety, TheGridsSpillFileIsNeverReopenedThroughAPlantedLink) {
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

TEST(Safety, InputsThatCannotBeOpenedStopTheRunWithTheReasonAndNothingIsReplaced) {
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

TEST(Safety, AKillAtEveryRenameLeavesWholeFilesAndTheNextRunPutsTheOldSetBack) {
  if (!have("strace")) GTEST_SKIP() << "strace is not installed (.ci/run installs it)";
  TempDir base, io;
  Alps alps(base);
  write_file(alps.dir + "/mnt_m2.prj", kUtm);  // five files: raster, descriptor, header, .prj, report
  const std::string fsyncs = io / "fsync.log";
  run_traced(base.path(), kRawRun + "res\n1\n0\n", "-e trace=fsync", fsyncs);
  EXPECT_EQ(occurrences(read_file(fsyncs), "fsync("), 0) << "a result that replaces nothing is not flushed";
  const auto old_set = files_of(alps.dir, "res");
  ASSERT_EQ(old_set.size(), 5u);
  const std::string new_run = std::string(kRawRun).replace(kRawRun.find("1\n0\n0\n"), 6, "1\n7\n0\n") + "res\n1\n0\n";
  run_traced(base.path(), new_run, "-e trace=fsync", fsyncs);
  EXPECT_GE(occurrences(read_file(fsyncs), "fsync("), 6) << "each new file and the folder";
  const auto new_set = files_of(alps.dir, "res");
  ASSERT_NE(new_set, old_set);

  for (int kill_at = 1; kill_at <= 5; ++kill_at) {
    for (const auto& [name, content] : old_set) write_file(alps.dir + "/" + name, content);
    run_traced(base.path(), new_run,
               "-e trace=rename,renameat,renameat2 -e inject=rename,renameat,renameat2:signal=SIGKILL:when=" +
                   std::to_string(kill_at),
               io / "kill.log");
    for (const auto& [name, content] : files_of(alps.dir, "res")) {
      EXPECT_TRUE(content == old_set.at(name) || content == new_set.at(name)) << name << " at rename " << kill_at;
    }
    EXPECT_FALSE(temporaries_in(alps.dir).empty()) << "the kill left the set half in place, at rename " << kill_at;
    const ToolRun next = run_binary(base.path(), "alps\n", 20000, false);
    EXPECT_NE(next.transcript.find("the files it replaced are back as they were"), std::string::npos)
        << next.transcript;
    EXPECT_EQ(files_of(alps.dir, "res"), old_set) << "at rename " << kill_at;
    EXPECT_TRUE(temporaries_in(alps.dir).empty()) << "at rename " << kill_at;
  }
}

TEST(Safety, ResultNamesThatWouldReplaceAnInputOrLeaveTheFolderAreAskedAgain) {
  for (const char* bad : {"zone", "../other/x", "nosuch/x"}) {
    TempDir base;
    Alps alps(base);
    std::filesystem::create_directory(base / "other");
    write_file(alps.dir + "/zone.prj", kUtm);  // the mask's, while the DEM has none
    const ToolRun run = run_tool(base.path(), "alps\nmnt\n0\nzone\n1\n1\n0\n1\n" + std::string(bad) + "\n0\nres\n0\n");
    EXPECT_EQ(run.status, 0) << bad << run.transcript;
    EXPECT_EQ(occurrences(run.transcript, "Name of the resulting DEM"), 2) << bad << run.transcript;
    EXPECT_EQ(read_file(alps.dir + "/zone.prj"), kUtm) << bad;
    EXPECT_TRUE(std::filesystem::is_empty(base / "other")) << bad;
  }
  // A .prj of the result's name that no earlier result wrote stays.
  TempDir base;
  Alps alps(base);
  write_file(alps.dir + "/res.prj", kUtm);
  ASSERT_EQ(run_tool(base.path(), "alps\nmnt\n0\nzone\n1\n1\n0\n1\nres\n0\n").status, 0);
  EXPECT_EQ(read_file(alps.dir + "/res.prj"), kUtm);
}

TEST(Safety, AnInputChangedDuringTheRunStopsIt) {
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

TEST(Safety, AKeyWaitNeverTakesAnswersTypedAhead) {
  TempDir base;
  Alps alps(base);
  int terminal = -1;
  const pid_t child = start_on_terminal(base.path(), terminal);
  ASSERT_GE(child, 0);
  // Pasted at once: the volume's key wait comes before the corner.
  const std::string answers = kRawRun + "res\n0\n739890\n4037760\n";
  ASSERT_EQ(write(terminal, answers.data(), answers.size()), static_cast<ssize_t>(answers.size()));
  int status = 0;
  const bool ended = LiveRun::wait_until([&] {
    char chunk[4096];
    fcntl(terminal, F_SETFL, O_NONBLOCK);
    while (read(terminal, chunk, sizeof chunk) > 0) {
    }
    return waitpid(child, &status, WNOHANG) == child;
  });
  if (!ended) kill(child, SIGKILL), waitpid(child, &status, 0);
  close(terminal);
  ASSERT_TRUE(ended) << "the run waited for a key";
  EXPECT_EQ(read_file(alps.dir + "/res.asc").substr(0, 65),
            "ncols 4\nnrows 3\nxllcorner 739890.000000\nyllcorner 4037760.000000\n");
}

TEST(Safety, EverySignalThatEndsTheProcessRemovesItsTemporaryFiles) {
  for (const int signal_number : {SIGQUIT, SIGXCPU, SIGALRM, SIGUSR1, SIGUSR2, SIGVTALRM, SIGPROF}) {
    TempDir base;
    Alps alps(base);
    LiveRun run(base.path(), "alps\nmnt\n0\n");
    ASSERT_TRUE(run.wait_for_text("Name of the mask"));
    ASSERT_EQ(temporaries_in(alps.dir).size(), 1u);
    run.signal(signal_number);
    const int status = run.wait();
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal_number) << strsignal(signal_number);
    EXPECT_TRUE(temporaries_in(alps.dir).empty()) << strsignal(signal_number);
  }
}

TEST(Safety, AFileSizeLimitIsAFailureToWriteNotAKill) {
  TempDir base;
  Alps alps(base);
  TempDir io;
  write_file(io / "answers", "alps\nmnt\n0\nzone\n1\n1\n0\n0\nres\n0\n");
  // Writes to a pipe know no file-size limit: the transcript goes through one.
  const std::string command = "ulimit -f 0; MESACROP_IMAGES=" + base.path() + " exec " MESACROP_BINARY " < " +
                              io / "answers";
  const int status = std::system(("bash -c \"set -o pipefail; bash -c '" + command + "' 2>&1 | cat > " + io / "out" + "\"").c_str());
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status << read_file(io / "out");
  EXPECT_NE(read_file(io / "out").find("(File too large)"), std::string::npos) << read_file(io / "out");
  EXPECT_TRUE(temporaries_in(alps.dir).empty());
  EXPECT_FALSE(file_exists(alps.dir + "/res.asc"));
}

TEST(Safety, OnAFullDiskTheGridsCopyMakesRoomForTheResult) {
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
