// printf-style formatting into a std::string.
#pragma once

#include <cstdarg>
#include <string>

std::string text(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string vtext(const char* format, va_list args);
