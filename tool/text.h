// printf-style formatting into a std::string.
#pragma once

#include <cstdarg>
#include <string>

#include "platform.h"

std::string text(const char* format, ...) PRINTF_LIKE(1, 2);
std::string vtext(const char* format, va_list args);
