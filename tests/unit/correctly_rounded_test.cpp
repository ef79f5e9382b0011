// The sines and logarithms the cell areas use: the doubles nearest the true
// values (worked with 300-bit arithmetic, mpmath), on every system alike.
// The first of each table are arguments that glibc 2.36 rounds the other
// way.
#include <gtest/gtest.h>

#include "zone/correctly_rounded.h"

namespace {

struct Case {
  double argument, expected;
};

}  // namespace

TEST(CorrectlyRounded, SinesAreTheNearestDoubles) {
  const Case cases[] = {
      {0x1.53b83eefecc7cp-2, 0x1.4d85ab9dda69fp-2},  {-0x1.61709ef5dbb55p-1, -0x1.4607c5e439a71p-1},
      {0x1.76a65c992fec7p-2, 0x1.6e58e01fe133bp-2},  {0x1.d8a2a349d1d27p-2, 0x1.c8082317db543p-2},
      {0x1.921fb54442d18p+0, 0x1.0000000000000p+0},  {-0x1.3333333333333p+0, -0x1.dd343a21a55c4p-1},
      {0x1.0000000000000p+2, -0x1.837b9dddc1eaep-1}, {0x1.56e1fc2f8f359p-997, 0x1.56e1fc2f8f359p-997},
      {-0x1.0000000000000p-1, -0x1.eaee8744b05f0p-2}, {0.0, 0.0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(rounded_sin(c.argument), c.expected) << std::hexfloat << c.argument;
    EXPECT_EQ(rounded_sin(-c.argument), -c.expected) << std::hexfloat << -c.argument;
  }
}

TEST(CorrectlyRounded, LogarithmsAreTheNearestDoubles) {
  const Case cases[] = {
      {0x1.1c17eee3d2afcp+0, 0x1.aa7ff26350180p-4},  {0x1.c1609996a7406p-1, -0x1.0b2f7e77a8d91p-3},
      {0x1.2bfb8d35ed251p+0, 0x1.44b45870713a5p-3},  {0x1.1978371311d9ap+0, 0x1.847e41af673fbp-4},
      {0x1.56e1fc2f8f359p-997, -0x1.5963447f87fb5p+9}, {0x1.7e43c8800759cp+996, 0x1.5963447f87fb5p+9},
      {0x1.0000000000000p+1, 0x1.62e42fefa39efp-1},  {0x1.6a09e667f3bcdp-1, -0x1.62e42fefa39eep-2},
      {0x1.0000000000001p+0, 0x1.fffffffffffffp-53}, {1.0, 0.0},
  };
  for (const Case& c : cases) EXPECT_EQ(rounded_log(c.argument), c.expected) << std::hexfloat << c.argument;
}
