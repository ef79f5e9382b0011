// The dialog's answers: names and numbers refused and asked again, cut-short
// and garbled scripts, answers typed ahead of a key wait, result names that
// would replace an input.
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

TEST(Answers, NamesHoldingControlBytesAreRefusedAndAskedAgain) {
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

TEST(Answers, NonFiniteRealAnswersAreAskedAgain) {
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

TEST(Answers, ALongResultNameWorksAndATooLongOneIsAskedAgain) {
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

TEST(Answers, AKeyWaitNeverTakesAnswersTypedAhead) {
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

TEST(Answers, ResultNamesThatWouldReplaceAnInputOrLeaveTheFolderAreAskedAgain) {
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

TEST(Answers, AResultNamedLikeAnInputIsRefusedAndTheNameAskedAgain) {
  TempDir base;
  Alps alps(base);
  const auto before = snapshot(alps.dir);
  // The result "mnt" as a 16-bit raster would be the input DEM; "res" is taken.
  const ToolRun run = run_tool(base.path(), "alps\nmnt\n1\n0\n2\nzone\n1\n1\n0\n1\nmnt\n1\n0\nres\n1\n0\n");
  ASSERT_EQ(run.status, 0) << run.transcript;
  EXPECT_NE(run.transcript.find("The result " + alps.dir + "/mnt_m2.raw would replace the input file " + alps.dir +
                                "/mnt_m2.raw"),
            std::string::npos)
      << run.transcript;
  EXPECT_EQ(occurrences(run.transcript, "Name of the resulting DEM"), 2);
  auto after = snapshot(alps.dir);
  for (const auto& [name, content] : before) EXPECT_EQ(after[name], content) << name;
  EXPECT_TRUE(after.count("res_m2.raw"));
}

TEST(Answers, AGridResultNamedLikeTheInputGridIsRefused) {
  TempDir base;
  Alps alps(base);
  const std::string grid = read_file(alps.dir + "/mnt.asc");
  const ToolRun run = run_tool(base.path(), "alps\nmnt\n0\nzone\n1\n1\n0\n1\nmnt\n0\nother\n0\n");
  ASSERT_EQ(run.status, 0) << run.transcript;
  EXPECT_NE(run.transcript.find("would replace the input file"), std::string::npos);
  EXPECT_EQ(read_file(alps.dir + "/mnt.asc"), grid);
  EXPECT_TRUE(file_exists(alps.dir + "/other.asc"));
}

TEST(Answers, EveryCutShortScriptEndsWithTheEndOfAnswersStop) {
  for (const std::string& script : kScripts) {
    const std::vector<std::string> answers = split_answers(script);
    for (std::size_t kept = 0; kept < answers.size(); ++kept) {
      TempDir base;
      Alps alps(base);
      const auto before = snapshot(alps.dir);
      const std::vector<std::string> prefix(answers.begin(), answers.begin() + static_cast<std::ptrdiff_t>(kept));
      const ToolRun run = run_in_process(base.path(), join(prefix));
      const std::string what = std::string(script) + " cut after " + std::to_string(kept);
      EXPECT_EQ(run.status, 1) << what << run.transcript;
      EXPECT_NE(run.transcript.find("answers ended"), std::string::npos) << what;
      EXPECT_EQ(snapshot(alps.dir), before) << what;
    }
  }
}

TEST(Answers, AnyAnswerReplacedByGarbageIsAskedAgainOrEndsCleanly) {
  const char* const garbage[] = {"banana", "99999999999999999999", "-2147483649", "-1", "2147483647", "", "nan",
                                 "1e308", "0"};
  for (const std::string& script : kScripts) {
    const std::vector<std::string> answers = split_answers(script);
    for (std::size_t k = 0; k < answers.size(); ++k) {
      for (const char* bad : garbage) {
        std::vector<std::string> changed = answers;
        changed[k] = bad;
        TempDir base;
        Alps alps(base);
        const auto before = snapshot(alps.dir);
        // The original answers follow, so a question asked again gets one.
        const ToolRun run = run_in_process(base.path(), join(changed) + join(answers));
        expect_clean_outcome(before, snapshot(alps.dir), run,
                             std::string(script) + " with answer " + std::to_string(k) + " = \"" + bad + "\"");
      }
    }
  }
}
