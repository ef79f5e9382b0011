#include "console.h"

#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <limits>

#include "fatal.h"
#include "number_text.h"
#include "platform.h"
#include "text.h"

namespace {

// Shows the question and reads the next token; the end of the answers is a
// fatal stop.
std::string next_answer(Console& con, const std::string& question) {
  con.out << question;
  con.out.flush();
  std::string token;
  if (!(con.in >> token)) fatal_stop("\n\n\tThe answers ended before the dialog was complete\n");
  // A file of answers written by a Windows editor may begin with a UTF-8
  // byte-order mark: it is no part of the first answer.
  if (!con.answered && token.rfind("\xEF\xBB\xBF", 0) == 0) {
    token.erase(0, 3);
    if (token.empty()) {
      con.answered = true;
      return next_answer(con, "");
    }
  }
  con.answered = true;
  return token;
}

// A token that is no answer: the rest of its line is dropped and `why` said.
void refuse(Console& con, const std::string& token, const char* why) {
  con.in.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
  con.out << "\n\t\"" << shown(token) << "\" " << why;
}

// A whole token as "%d" reads it: optional sign, digits, within 32 bits.
const char* parse_int(const std::string& token, int& value) {
  const char* const kNotANumber = "is not a number";
  if (token.empty()) return kNotANumber;
  const std::size_t first_digit = (token[0] == '+' || token[0] == '-') ? 1 : 0;
  if (first_digit == token.size()) return kNotANumber;
  for (std::size_t k = first_digit; k < token.size(); ++k) {
    if (token[k] < '0' || token[k] > '9') return kNotANumber;
  }
  errno = 0;
  const long long wide = std::strtoll(token.c_str(), nullptr, 10);
  if (errno == ERANGE || wide < std::numeric_limits<int>::min() || wide > std::numeric_limits<int>::max()) {
    return "is out of range: a whole number from -2147483648 to 2147483647 is expected";
  }
  value = static_cast<int>(wide);
  return nullptr;
}

const char* parse_finite_real(const std::string& token, double& value) {
  if (!parse_real(token.data(), token.data() + token.size(), value)) return "is not a number";
  if (!std::isfinite(value)) return "is not a finite number";
  return nullptr;
}

// Asks until `parse` takes the answer (it returns null then, or why not).
template <class T, class Parse>
T ask_until_taken(Console& con, const std::string& question, Parse parse) {
  for (;;) {
    const std::string token = next_answer(con, question);
    T value{};
    const char* refusal = parse(token, value);
    if (refusal == nullptr) return value;
    refuse(con, token, refusal);
  }
}

const char* parse_name(const std::string& token, std::string& value) {
  for (const char c : token) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) return "holds a control character, which no name may hold";
  }
  value = typed_name(token);
  return nullptr;
}

}  // namespace

void say(Console& con, const char* format, ...) {
  va_list args;
  va_start(args, format);
  con.out << vtext(format, args);
  va_end(args);
}

std::string ask_name(Console& con, const std::string& question) {
  return ask_until_taken<std::string>(con, question, parse_name);
}

int ask_int(Console& con, const std::string& question) { return ask_until_taken<int>(con, question, parse_int); }

double ask_real(Console& con, const std::string& question) {
  return ask_until_taken<double>(con, question, parse_finite_real);
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
  if (!con.wait_keys) return;
  // What the console has already read past the last answer: blanks are
  // dropped, anything else is an answer typed ahead, and no key is awaited.
  std::streambuf& buffered = *con.in.rdbuf();
  while (buffered.in_avail() > 0 && is_blank(static_cast<char>(buffered.sgetc()))) buffered.sbumpc();
  if (buffered.in_avail() > 0) return;
  wait_for_key();
}

void show_progress(Console& con, int line, int blanks) {
  if (line <= 0 || line % 100 != 0) return;
  con.out << "\tline " << line << std::string(static_cast<std::size_t>(blanks), ' ') << '\r';
  con.out.flush();  // seen while the work goes on
}
