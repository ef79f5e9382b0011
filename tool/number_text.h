// Reals as text, exactly as strtod reads them and printf("%lf") writes them,
// without the per-value cost of the C library's formatted I/O.
#pragma once

#include <string>

// The blanks that separate tokens, as scanf has them: space, tab, line feed,
// vertical tab, form feed and carriage return.
inline bool is_blank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Parses a whole token exactly as strtod does; false when it is not a number.
bool parse_real(const char* first, const char* last, double& value);

// Reads the token that starts at `first` (not a blank) and ends at the next
// blank or at `last`, as parse_real would; returns the token's end. `ok`
// tells whether it was a number.
const char* scan_real(const char* first, const char* last, double& value, bool& ok);

// Writes `value` as printf("%lf") does; returns the end of the text. `out`
// must have room for kMaxFixedChars characters.
constexpr int kMaxFixedChars = 330;
char* format_fixed6(double value, char* out);

// The shortest text that reads back as the same double ("90", "0.1",
// "-9999.9999", "1e+300").
std::string shortest_text(double value);
