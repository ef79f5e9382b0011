#include "number_text.h"

#include <charconv>
#include <cstdlib>
#include <cstring>


namespace {

// strtod on a copy that ends in a terminator: the slow path for the rare
// tokens that std::from_chars does not take whole (hexadecimal reals, values
// that overflow or underflow).
bool parse_with_strtod(const char* first, const char* last, double& value) {
  const std::size_t length = static_cast<std::size_t>(last - first);
  char small[128];
  char* copy = length < sizeof small ? small : static_cast<char*>(std::malloc(length + 1));
  if (copy == nullptr) return false;
  std::memcpy(copy, first, length);
  copy[length] = '\0';
  char* end = nullptr;
  const double parsed = std::strtod(copy, &end);
  const bool whole = length > 0 && end == copy + length;
  if (copy != small) std::free(copy);
  if (whole) value = parsed;
  return whole;
}

}  // namespace

bool parse_real(const char* first, const char* last, double& value) {
  if (first == last) return false;
  // from_chars takes no leading '+'; strtod does.
  const char* digits = first;
  if (*first == '+') ++digits;
  const bool second_sign = digits != first && digits != last && (*digits == '+' || *digits == '-');
  if (digits != last && !second_sign) {
    double parsed = 0.0;
    const auto [end, error] = std::from_chars(digits, last, parsed, std::chars_format::general);
    if (error == std::errc() && end == last) {
      value = parsed;
      return true;
    }
  }
  return parse_with_strtod(first, last, value);
}

char* format_fixed6(double value, char* out) {
  return std::to_chars(out, out + kMaxFixedChars, value, std::chars_format::fixed, 6).ptr;
}
