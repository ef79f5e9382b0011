// Interrupts, kills and limits: every signal that ends the process removes
// its temporary files and keeps the old results; a kill at any rename leaves
// whole files that the next run puts back; a file-size limit is a failure.
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

TEST(Signals, InterruptsRemoveTemporaryFilesKeepOldResultsAndEndByTheSignal) {
  struct Moment {
    const char* name;
    bool lock_held;  // the run waits to put its result in place
  };
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    for (const char* kind : {"1\n0\n", "0\n5\n5\n"}) {
      for (const Moment moment : {Moment{"at the result name", false}, Moment{"with its files written", true}}) {
        TempDir base;
        Alps alps(base);
        write_old_raw_result(alps.dir);
        const auto before = snapshot(alps.dir);
        const int folder = open(alps.dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ASSERT_EQ(flock(folder, LOCK_EX), 0);
        LiveRun run(base.path(), kRawRun);
        const std::string what = std::string(strsignal(signal_number)) + ", " + moment.name + ", " + kind;
        ASSERT_TRUE(run.wait_for_text("Name of the resulting DEM")) << what << run.transcript();
        if (moment.lock_held) {
          run.send(std::string("res\n") + kind);
          ASSERT_TRUE(LiveRun::wait_until([&] { return !temporaries_in(alps.dir).empty(); })) << what;
          std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        run.signal(signal_number);
        const int status = run.wait();
        close(folder);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal_number) << what << " status " << status;
        EXPECT_EQ(snapshot(alps.dir), before) << what;
      }
    }
  }
}

TEST(Signals, AnInterruptRemovesTheCellsKeptAsideFromAGrid) {
  TempDir base;
  Alps alps(base);
  const auto before = snapshot(alps.dir);
  LiveRun run(base.path(), "alps\nmnt\n0\n");
  ASSERT_TRUE(run.wait_for_text("Name of the mask"));
  EXPECT_EQ(temporaries_in(alps.dir).size(), 1u);  // the grid's cells, kept for the later passes
  run.signal(SIGTERM);
  const int status = run.wait();
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
  EXPECT_EQ(snapshot(alps.dir), before);
}

TEST(Signals, AConsoleReaderThatGoesAwayLeavesNoHalfWrittenResult) {
  TempDir base;
  std::filesystem::create_directory(base / "tall");
  write_bytes(base / "tall/dem_m2.raw", Bytes(40000, 1));
  write_file(base / "tall/dem_m2.txt", "20000\n1\n2\n0\n0\n10\n");
  write_bytes(base / "tall/zone.raw", Bytes(20000, 1));
  write_file(base / "tall/zone.txt", "20000 1\n");
  // The grid's progress lines fill the unread console pipe while it is written.
  LiveRun run(base.path(), "tall\ndem\n1\n0\n0\nzone\n1\n1\n0\n1\nres\n0\n0\n0\n", 4096);
  ASSERT_TRUE(LiveRun::wait_until([&] { return !temporaries_in(base / "tall").empty(); }));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  run.close_output();
  const int status = run.wait();
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGPIPE) << status;
  EXPECT_TRUE(temporaries_in(base / "tall").empty());
  EXPECT_FALSE(file_exists(base / "tall/res.asc"));
}

TEST(Signals, CtrlCAtTheKeyWaitRestoresTheTerminal) {
  TempDir base;
  int master = -1, slave = -1;
  ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  const pid_t child = fork();
  if (child == 0) {
    close(master);
    login_tty(slave);
    setenv("MESACROP_IMAGES", base.path().c_str(), 1);
    execl(MESACROP_BINARY, "mesacrop", static_cast<char*>(nullptr));
    _exit(127);
  }
  std::filesystem::create_directory(base / "alps");
  const std::string answers = "alps\nnope\n0\n";  // a missing grid: the stop waits for a key
  ASSERT_EQ(write(master, answers.data(), answers.size()), static_cast<ssize_t>(answers.size()));
  termios mode{};
  const bool waiting = LiveRun::wait_until([&] {
    char chunk[4096];
    fcntl(master, F_SETFL, O_NONBLOCK);
    while (read(master, chunk, sizeof chunk) > 0) {
    }
    return tcgetattr(slave, &mode) == 0 && (mode.c_lflag & ECHO) == 0;
  });
  EXPECT_TRUE(waiting) << "the key wait never began";
  ASSERT_EQ(write(master, "\x03", 1), 1);  // Ctrl-C
  int status = 0;
  ASSERT_TRUE(LiveRun::wait_until([&] { return waitpid(child, &status, WNOHANG) == child; }));
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << status;
  ASSERT_EQ(tcgetattr(slave, &mode), 0);
  EXPECT_EQ(mode.c_lflag & (ECHO | ICANON), static_cast<tcflag_t>(ECHO | ICANON));
  close(master);
  close(slave);
}

TEST(Signals, EverySignalThatEndsTheProcessRemovesItsTemporaryFiles) {
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

TEST(Signals, AFileSizeLimitIsAFailureToWriteNotAKill) {
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

TEST(Signals, AKillAtEveryRenameLeavesWholeFilesAndTheNextRunPutsTheOldSetBack) {
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
