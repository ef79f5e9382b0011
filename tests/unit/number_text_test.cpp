#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "files/formats.h"

namespace {

std::string printf_lf(double v) {
  char buffer[400];
  std::snprintf(buffer, sizeof buffer, "%lf", v);
  return buffer;
}

std::string fast_lf(double v) {
  char buffer[kMaxFixedChars];
  return std::string(buffer, format_fixed6(v, buffer));
}

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

std::vector<double> awkward_values() {
  std::vector<double> values = {0.0, -0.0, 0.0000005, -0.0000005, 0.0000015, 0.0000025, 1.0 / 128, 3.0 / 128,
                                0.5e-6, 1e-7, 4.9999995e-7, 0.29, 29.0 / 100, 1074.0, 580.9, -9999.9999,
                                1e300, -1e300, 1.7976931348623157e308, 4.9e-324, 123456789.1234565,
                                2.5e15, 9007199254740993.0, HUGE_VAL, -HUGE_VAL};
  std::mt19937_64 random(20261208);
  std::uniform_real_distribution<double> altitude(-12000.0, 9000.0);
  std::uniform_int_distribution<std::uint64_t> bits;
  for (int k = 0; k < 200000; ++k) values.push_back(altitude(random));
  for (int k = 0; k < 200000; ++k) {
    const std::uint64_t b = bits(random);
    double v;
    std::memcpy(&v, &b, sizeof v);
    if (!std::isnan(v)) values.push_back(v);
  }
  for (int k = 0; k < 20000; ++k) values.push_back(std::round(altitude(random) * 1e6) / 1e6 + 5e-7);
  return values;
}

}  // namespace

TEST(NumberText, FormattingMatchesPrintfByteForByte) {
  for (double v : awkward_values()) ASSERT_EQ(fast_lf(v), printf_lf(v)) << std::hexfloat << v;
  EXPECT_EQ(fast_lf(std::nan("")), printf_lf(std::nan("")));
}

TEST(NumberText, ParsingMatchesStrtodBitForBit) {
  // Every formatted value, and its shortest and longest forms, read back as strtod reads them.
  for (double v : awkward_values()) {
    char shortest[64];
    std::snprintf(shortest, sizeof shortest, "%.17g", v);
    for (const std::string& textual : {printf_lf(v), std::string(shortest)}) {
      double parsed = 0.0;
      ASSERT_TRUE(parse_real(textual.data(), textual.data() + textual.size(), parsed)) << textual;
      ASSERT_TRUE(same_bits(parsed, std::strtod(textual.c_str(), nullptr))) << textual;
    }
  }
}

TEST(NumberText, PlainDecimalsOfEveryShapeParseAsStrtodDoes) {
  std::mt19937_64 random(8122026);
  std::uniform_int_distribution<int> digit(0, 9), length(1, 17), sign(0, 2);
  for (int k = 0; k < 300000; ++k) {
    std::string token = sign(random) == 0 ? "-" : sign(random) == 0 ? "+" : "";
    const int digits = length(random);
    const int point = std::uniform_int_distribution<int>(0, digits)(random);
    for (int d = 0; d < digits; ++d) {
      if (d == point) token += '.';
      token += static_cast<char>('0' + digit(random));
    }
    double parsed = 0.0;
    ASSERT_TRUE(parse_real(token.data(), token.data() + token.size(), parsed)) << token;
    ASSERT_TRUE(same_bits(parsed, std::strtod(token.c_str(), nullptr))) << token;
  }
}

TEST(NumberText, AcceptsWhatScanfAcceptsAndNothingElse) {
  struct Case {
    const char* token;
    bool accepted;
  };
  const Case cases[] = {{"+12.5", true},   {"-0", true},     {"1e3", true},      {"1E-3", true},
                        {"inf", true},     {"-Infinity", true}, {"nan", true},  {"0x1p4", true},
                        {"1e400", true},   {"1e-400", true},   {".5", true},      {"5.", true},
                        {"", false},       {"+-1", false},     {"--1", false},    {"1,5", false},
                        {"12abc", false},  {"abc", false},     {"1e", false},     {"+", false},
                        {".", false},      {"-.", false},      {"1.2.3", false},  {"1-2", false}};
  for (const Case& c : cases) {
    const std::string token = c.token;
    double parsed = -1.0;
    EXPECT_EQ(parse_real(token.data(), token.data() + token.size(), parsed), c.accepted) << token;
    if (c.accepted && !std::isnan(parsed)) {
      EXPECT_TRUE(same_bits(parsed, std::strtod(token.c_str(), nullptr))) << token;
    }
  }
}
