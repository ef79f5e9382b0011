// Reals as text, exactly as strtod reads them and printf("%lf") writes them,
// without the per-value cost of the C library's formatted I/O.
#pragma once

// Parses a whole token exactly as strtod does; false when it is not a number.
bool parse_real(const char* first, const char* last, double& value);

// Writes `value` as printf("%lf") does; returns the end of the text. `out`
// must have room for kMaxFixedChars characters.
constexpr int kMaxFixedChars = 330;
char* format_fixed6(double value, char* out);
