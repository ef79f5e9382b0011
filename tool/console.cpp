#include "console.h"

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <limits>

#include "fatal.h"
#include "keypress.h"
#include "number_text.h"
#include "text.h"

namespace {

// Shows the question and reads the next token; the end of the answers is a
// fatal stop.
std::string next_answer(Console& con, const std::string& question) {
  con.out << question;
  con.out.flush();
  std::string token;
  if (!(con.in >> token)) fatal_stop("\n\n\tThe answers ended before the dialog was complete\n");
  return token;
}

void drop_rest_of_line(Console& con, const std::string& token) {
  con.in.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
  con.out << "\n\t\"" << token << "\" is not a number";
}

// A whole token as "%d" reads it: optional sign, digits, within 32 bits.
bool parse_int(const std::string& token, int& value) {
  if (token.empty()) return false;
  const std::size_t first_digit = (token[0] == '+' || token[0] == '-') ? 1 : 0;
  if (first_digit == token.size()) return false;
  for (std::size_t k = first_digit; k < token.size(); ++k) {
    if (token[k] < '0' || token[k] > '9') return false;
  }
  errno = 0;
  const long long wide = std::strtoll(token.c_str(), nullptr, 10);
  if (errno == ERANGE || wide < std::numeric_limits<int>::min() || wide > std::numeric_limits<int>::max()) {
    return false;
  }
  value = static_cast<int>(wide);
  return true;
}

// Asks until the answer is a number; the rest of a faulty line is dropped.
template <class T, class Parse>
T ask_number(Console& con, const std::string& question, Parse parse) {
  for (;;) {
    const std::string token = next_answer(con, question);
    T value{};
    if (parse(token, value)) return value;
    drop_rest_of_line(con, token);
  }
}

}  // namespace

void say(Console& con, const char* format, ...) {
  va_list args;
  va_start(args, format);
  con.out << vtext(format, args);
  va_end(args);
}

std::string ask_word(Console& con, const std::string& question) { return next_answer(con, question); }

int ask_int(Console& con, const std::string& question) { return ask_number<int>(con, question, parse_int); }

double ask_real(Console& con, const std::string& question) {
  return ask_number<double>(con, question, [](const std::string& token, double& value) {
    return parse_real(token.data(), token.data() + token.size(), value);
  });
}

int ask_choice(Console& con, const std::string& question, int highest) {
  int answer = 0;
  do {
    answer = ask_int(con, question);
  } while (answer > highest || answer < 0);
  return answer;
}

void wait_key(Console& con) {
  con.out.flush();
  if (con.wait_keys) wait_for_key();
}

void show_progress(Console& con, int line, int blanks) {
  if (line <= 0 || line % 100 != 0) return;
  con.out << "\tline " << line << std::string(static_cast<std::size_t>(blanks), ' ') << '\r';
  con.out.flush();  // seen while the work goes on
}
