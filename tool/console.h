// The console of a run: every prompt, answer, message and progress line.
//
// Steps never touch std::cin or std::cout themselves; they go through a
// Console, which real runs bind to the process's standard streams and tests
// bind to scripted answers and a captured transcript.
//
// Answers are read one token at a time, as scanf's "%s", "%d" and "%lf" read
// them: blanks and line ends separate answers. When a number is expected and
// the token is not one, the rest of that input line is dropped and the whole
// question is shown again. When the answers run out, the run ends with a fatal
// stop.
#pragma once

#include <istream>
#include <ostream>
#include <string>

#include "text.h"

struct Console {
  std::istream& in;
  std::ostream& out;
  bool wait_keys;  // false in tests: key waits return at once
};

// Writes printf-style text to the console.
void say(Console& con, const char* format, ...) __attribute__((format(printf, 2, 3)));

std::string ask_word(Console& con, const std::string& question);
int ask_int(Console& con, const std::string& question);
double ask_real(Console& con, const std::string& question);

// A multiple-choice question: shown again, whole, while the answer is above
// `highest` or below 0.
int ask_choice(Console& con, const std::string& question, int highest);

// Waits for one key press without echo (only when the console is a terminal).
void wait_key(Console& con);

// The progress line of long loops over lines: a tab, "line", the line number,
// `blanks` blanks and a carriage return, for every positive multiple of 100.
void show_progress(Console& con, int line, int blanks);
