#include "number_text.h"

#include <charconv>
#include <cmath>
#include <cstdint>
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

// "00" "01" ... "99"
constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                   1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// Plain decimals as grids hold them ("-1234.500000"): at most 15 digits, no
// exponent. Their digits make an integer below 2^53 and their scale a power of
// ten up to 1e22, both exact doubles, so one correctly rounded division gives
// exactly what strtod gives. False for anything else, left to the full parser.
bool parse_plain_decimal(const char* p, const char* last, double& value) {
  const bool negative = *p == '-';
  if (negative || *p == '+') ++p;
  std::uint64_t digits = 0;
  int count = 0, decimals = 0;
  bool point = false;
  for (; p != last; ++p) {
    const char c = *p;
    if (c >= '0' && c <= '9') {
      digits = digits * 10 + static_cast<unsigned>(c - '0');
      ++count;
      decimals += point ? 1 : 0;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      return false;
    }
  }
  if (count == 0 || count > 15) return false;
  const double magnitude = static_cast<double>(digits) / kPowersOfTen[decimals];
  value = negative ? -magnitude : magnitude;
  return true;
}

}  // namespace

const char* scan_real(const char* first, const char* last, double& value, bool& ok) {
  // The plain decimals of grids are read as they are scanned.
  const char* p = first;
  const bool negative = *p == '-';
  if (negative || *p == '+') ++p;
  std::uint64_t digits = 0;
  int count = 0, decimals = -1;
  for (; p != last; ++p) {
    const char c = *p;
    if (c >= '0' && c <= '9') {
      digits = digits * 10 + static_cast<unsigned>(c - '0');
      ++count;
    } else if (c == '.' && decimals < 0) {
      decimals = count;
    } else {
      break;
    }
  }
  if ((p == last || is_blank(*p)) && count > 0 && count <= 15) {
    const double magnitude = static_cast<double>(digits) / kPowersOfTen[decimals < 0 ? 0 : count - decimals];
    value = negative ? -magnitude : magnitude;
    ok = true;
    return p;
  }
  while (p != last && !is_blank(*p)) ++p;
  ok = parse_real(first, p, value);
  return p;
}

bool parse_real(const char* first, const char* last, double& value) {
  if (first == last) return false;
  if (parse_plain_decimal(first, last, value)) return true;
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
  // The value in millionths, correctly rounded, is within half a unit of its
  // last place (below 2^-13 under 2^40) of the exact product. When that
  // product is clearly nearer one whole number than any other, that number's
  // digits are exactly what printf writes; ties and huge or odd values go to
  // the exact general formatter.
  const double millionths = value * 1e6;
  if (std::fabs(millionths) < 1099511627776.0) {
    const double nearest = std::nearbyint(millionths);
    if (std::fabs(millionths - nearest) < 0.4990234375) {
      const auto all = static_cast<std::uint64_t>(std::fabs(nearest));
      if (std::signbit(value)) *out++ = '-';
      out = std::to_chars(out, out + 24, all / 1000000).ptr;
      *out++ = '.';
      auto fraction = static_cast<unsigned>(all % 1000000);
      for (int pair = 2; pair >= 0; --pair, fraction /= 100) std::memcpy(out + 2 * pair, kDigitPairs + 2 * (fraction % 100), 2);
      return out + 6;
    }
  }
  return std::to_chars(out, out + kMaxFixedChars, value, std::chars_format::fixed, 6).ptr;
}

std::string shortest_text(double value) {
  char buffer[64];
  return std::string(buffer, std::to_chars(buffer, buffer + sizeof buffer, value).ptr);
}
