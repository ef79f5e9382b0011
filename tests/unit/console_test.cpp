#include <gtest/gtest.h>

#include <sstream>

#include "console.h"
#include "fatal.h"
#include "run.h"
#include "dialog/dialog.h"
#include "alps_folder.h"
#include "test_files.h"

namespace {

struct Scripted {
  explicit Scripted(const std::string& answers) : in(answers) {}
  std::istringstream in;
  std::ostringstream out;
  Console con{in, out, false};
};

const char* const kVolumeQuestion = "\n\n\tVolume calculation : \n\t\t0 ====> yes\n\t\t1 ====> no\n\t\t";

}  // namespace

TEST(Console, VolumeQuestionKeepsAskingAboveOneAndAcceptsNegatives) {
  struct Case {
    const char* answers;
    int shown;
    int voltreat;
  };
  for (const Case& c : {Case{"5 1.5 2 7 1", 3, 1}, Case{"5 1.5 -1", 1, -1}, Case{"5 1.5 0", 1, 0}}) {
    TempDir base;
    Alps alps(base);
    Scripted s(std::string("alps mnt 0 zone 1 ") + c.answers);
    ::Run run;
    opening(run, s.con, base.path() + "/");
    parameters(run, s.con);
    EXPECT_EQ(occurrences(s.out.str(), kVolumeQuestion), c.shown) << c.answers;
    EXPECT_EQ(run.job.zone.voltreat, c.voltreat) << c.answers;
    EXPECT_EQ(run.job.zone.code, 5);
    EXPECT_EQ(run.job.zone.outside_m, 1.5);
  }
}

TEST(Console, AnswersAreTokensWhateverTheLineBreaks) {
  Scripted s("  12\n\n  -3.25e1   word\tnext\n");
  EXPECT_EQ(ask_int(s.con, "Q1"), 12);
  EXPECT_EQ(ask_real(s.con, "Q2"), -32.5);
  EXPECT_EQ(ask_name(s.con, "Q3"), "word");
  EXPECT_EQ(ask_name(s.con, "Q4"), "next");
  EXPECT_EQ(s.out.str(), "Q1Q2Q3Q4");
}

TEST(Console, NotANumberDropsTheLineAndAsksTheWholeQuestionAgain) {
  struct Case {
    const char* answers;
    int expected;
    const char* said;
  };
  // "12abc" and "3.5" are not integers; "99999999999" is beyond 32 bits; the
  // rest of the faulty line is dropped, so "7" on it is never taken.
  const char* const kNotANumber = "is not a number";
  for (const Case& c : {Case{"abc 7\n4\n", 4, kNotANumber}, Case{"12abc\n-8\n", -8, kNotANumber},
                        Case{"3.5\n+6\n", 6, kNotANumber},
                        Case{"99999999999 7\n2147483647\n", 2147483647,
                             "\"99999999999\" is out of range: a whole number from -2147483648 to 2147483647"}}) {
    Scripted s(c.answers);
    EXPECT_EQ(ask_int(s.con, "\n\tCount ? "), c.expected) << c.answers;
    EXPECT_EQ(occurrences(s.out.str(), "\n\tCount ? "), 2) << c.answers;
    EXPECT_NE(s.out.str().find(c.said), std::string::npos) << s.out.str();
  }
  Scripted real("1,5 9\n0x10\n");
  EXPECT_EQ(ask_real(real.con, "R? "), 16.0);  // what "%lf" accepts is taken, hexadecimal included
  EXPECT_EQ(occurrences(real.out.str(), "R? "), 2);
}

TEST(Console, EndOfAnswersIsAFatalStop) {
  for (const char* answers : {"", "   \n", "abc\n"}) {
    Scripted s(answers);
    try {
      ask_int(s.con, "Q");
      ADD_FAILURE() << "no stop for \"" << answers << "\"";
    } catch (const FatalStop& stop) {
      EXPECT_NE(stop.message.find("answers ended"), std::string::npos);
    }
  }
}

TEST(Console, ChoiceQuestionsRefuseNegativeAndTooHighAnswers) {
  struct Case {
    const char* answers;
    int shown;
  };
  for (const Case& c : {Case{"-1 0", 2}, Case{"2 -7 1", 3}, Case{"1", 1}}) {
    Scripted s(c.answers);
    EXPECT_EQ(ask_choice(s.con, "<choice>", 1), c.answers[std::string(c.answers).size() - 1] - '0');
    EXPECT_EQ(occurrences(s.out.str(), "<choice>"), c.shown) << c.answers;
  }
  Scripted top("3");
  EXPECT_EQ(ask_choice(top.con, "<choice>", 3), 3);
}

TEST(Console, ProgressLinesOnlyAtPositiveMultiplesOfHundred) {
  Scripted s("");
  for (int line = 0; line < 250; ++line) show_progress(s.con, line, 15);
  EXPECT_EQ(s.out.str(), "\tline 100               \r\tline 200               \r");
}
