// Bad luck and bad intent: hostile names, interrupted runs, results replaced
// while another run writes them, inputs that are not files, odd answers.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>

#include <fcntl.h>
#include <pty.h>
#include <utmp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include "run_tool.h"

namespace {

const std::string kRawRun = "alps\nmnt\n1\n0\n2\nzone\n1\n1\n0\n0\n";  // up to the result name

std::string replaced(std::string script, const std::string& from, const std::string& to) {
  return script.replace(script.find(from), from.size(), to);
}

// An old result in the folder, to be kept or replaced whole.
void write_old_raw_result(const std::string& dir) {
  for (const char* name : {"res_m2.raw", "res_m2.txt", "res_m2.hdr", "res.asc"}) {
    write_file(dir + "/" + name, earlier_result_file(name));
  }
}

}  // namespace

TEST(Hardening, NamesHoldingControlBytesAreRefusedAndAskedAgain) {
  struct Case {
    const char* good;
    std::string bad, shown;
  };
  // Every name question; the last is a result name that the C library would
  // cut short at the NUL byte onto the raw mask "zone.raw".
  const Case cases[] = {{"alps\n", std::string("al\x1bps\n"), "al\\x1Bps"},
                        {"mnt\n", std::string("mn\x7ft\n"), "mn\\x7Ft"},
                        {"zone\n", std::string("zo\x01ne\n"), "zo\\x01ne"},
                        {"res\n", std::string("zone.raw\0x\n", 11), "zone.raw\\x00x"}};
  for (const Case& c : cases) {
    TempDir base;
    Alps alps(base);
    const std::string script = "alps\nmnt\n1\n0\n2\nzone\n0\n1\n0\n0\nres\n1\n0\n";
    const ToolRun run = run_tool(base.path(), replaced(script, c.good, c.bad + c.good));
    EXPECT_EQ(run.status, 0) << c.shown << run.transcript;
    EXPECT_NE(run.transcript.find("\"" + c.shown + "\" holds a control character"), std::string::npos) << c.shown;
    EXPECT_TRUE(file_exists(alps.dir + "/res_m2.raw")) << c.shown;
  }
}

TEST(Hardening, AResultSetIsReplacedWholeOrNotAtAll) {
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

TEST(Hardening, RunsPublishingTheSameResultTakeTurns) {
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

TEST(Hardening, InterruptsRemoveTemporaryFilesKeepOldResultsAndEndByTheSignal) {
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

TEST(Hardening, AnInterruptRemovesTheCellsKeptAsideFromAGrid) {
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

TEST(Hardening, AConsoleReaderThatGoesAwayLeavesNoHalfWrittenResult) {
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

TEST(Hardening, CtrlCAtTheKeyWaitRestoresTheTerminal) {
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

TEST(Hardening, AFractionalPixelSizeReadsBackExactly) {
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

TEST(Hardening, NonFiniteRealAnswersAreAskedAgain) {
  const char* const questions[] = {"value ? ", "X_min ? ", "Y_min ? "};
  const std::string script = "alps\nmnt\n1\n0\n2\nzone\n1\n1\n<value ? >7\n1\nres\n0\n<X_min ? >7\n<Y_min ? >7\n";
  for (const char* bad : {"inf", "nan", "1e309", "-inf"}) {
    for (const std::string question : questions) {
      std::string answers = script;
      for (const std::string other : questions) {
        answers = replaced(answers, "<" + other + ">", other == question ? std::string(bad) + "\n" : "");
      }
      TempDir base;
      Alps alps(base);
      const ToolRun run = run_tool(base.path(), answers);
      const std::string what = std::string(bad) + " at " + question;
      EXPECT_EQ(run.status, 0) << what;
      EXPECT_NE(run.transcript.find(std::string("\"") + bad + "\" is not a finite number"), std::string::npos) << what;
      EXPECT_EQ(occurrences(run.transcript, question), 2) << what;
    }
  }
}

TEST(Hardening, ALongResultNameWorksAndATooLongOneIsAskedAgain) {
  TempDir base;
  Alps alps(base);
  const std::string longest(247, 'r');  // its files' names have 255 characters at most
  const std::string too_long(248, 'r');
  const ToolRun run = run_tool(base.path(), kRawRun + too_long + "\n" + longest + "\n1\n0\n");
  EXPECT_EQ(run.status, 0) << run.transcript;
  EXPECT_NE(run.transcript.find("is too long: its files would have names of 256 characters, and this folder takes "
                                "255 at most"),
            std::string::npos);
  EXPECT_TRUE(file_exists(alps.dir + "/" + longest + "_m2.hdr"));
}

TEST(Hardening, InputsThatAreNotRegularFilesStopTheRunWithoutWaiting) {
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

TEST(Hardening, MessagesSayTheTrueReason) {
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
