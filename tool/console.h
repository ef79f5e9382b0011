// The console of a run: every prompt, answer, message and progress line.
//
// Steps never touch std::cin or std::cout themselves; they go through a
// Console, which real runs bind to the process's standard streams and tests
// bind to scripted answers and a captured transcript.
//
// Answers are read one token at a time, as scanf's "%s", "%d" and "%lf" read
// them: blanks and line ends separate answers. An answer that is not what the
// question needs (not a number, a whole number beyond 32 bits, a real that is
// not finite, a name holding a control character) is refused: the rest of
// that input line is dropped, the reason is said and the whole question is
// shown again. When the answers run out, the run ends with a fatal stop.
#pragma once

#include <istream>
#include <ostream>
#include <string>

#include "platform.h"
#include "text.h"

struct Console {
  std::istream& in;
  std::ostream& out;
  bool wait_keys;  // false in tests: key waits return at once
  bool answered = false;  // an answer was read (the first may start with a byte-order mark)
};

// Writes printf-style text to the console.
void say(Console& con, const char* format, ...) PRINTF_LIKE(2, 3);

// A name: one word without control characters (bytes below 0x20 and 0x7F),
// so that no path built from it can be cut short or mislead.
std::string ask_name(Console& con, const std::string& question);
int ask_int(Console& con, const std::string& question);
double ask_real(Console& con, const std::string& question);

// A multiple-choice question: shown again, whole, while the answer is above
// `highest` or below 0.
int ask_choice(Console& con, const std::string& question, int highest);

// Waits for one key press without echo (only when the console is a terminal,
// and not when answers typed ahead are already waiting: they are answers).
void wait_key(Console& con);

// The progress line of long loops over lines: a tab, "line", the line number,
// `blanks` blanks and a carriage return, for every positive multiple of 100.
void show_progress(Console& con, int line, int blanks);
