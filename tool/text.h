// printf-style formatting into a std::string.
#pragma once

#include <cstdarg>
#include <string>
#include <string_view>

#include "platform.h"

std::string text(const char* format, ...) PRINTF_LIKE(1, 2);
std::string vtext(const char* format, va_list args);

// Words of files and answers as messages show them: control characters
// (bytes below 0x20, escape sequences included, and 0x7F) escaped as \x1B,
// so that no message is cut short at a NUL byte or changes the terminal.
std::string shown(std::string_view word);
