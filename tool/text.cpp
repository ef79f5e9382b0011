#include "text.h"

#include <cstdio>
#include <vector>

std::string vtext(const char* format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  const int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (length <= 0) return {};
  std::vector<char> buffer(static_cast<std::size_t>(length) + 1);
  std::vsnprintf(buffer.data(), buffer.size(), format, args);
  return std::string(buffer.data(), static_cast<std::size_t>(length));
}

std::string text(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string result = vtext(format, args);
  va_end(args);
  return result;
}

std::string shown(std::string_view word) {
  std::string out;
  for (const char c : word) {
    const auto byte = static_cast<unsigned char>(c);
    out += byte < 0x20 || byte == 0x7F ? text("\\x%02X", byte) : std::string(1, c);
  }
  return out;
}
