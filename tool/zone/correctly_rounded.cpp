#include "correctly_rounded.h"

#include <cmath>

// Why the results are correctly rounded. Each function sums its series in
// double-double arithmetic: a value is hi + lo with |lo| <= ulp(hi) / 2, and
// the sums and products below are exact transformations (Knuth's two-sum,
// Dekker's product, built on + - * alone, so that no fused multiply-add or
// extended precision of a compiler or processor can change them; the build
// forbids contraction). A double-double carries 106 bits; the series are cut
// where the next term is below 2^-110 of the sum, and the few dozen roundings
// of the sum cost a few units of 2^-104 at most. The result is hi, which is
// hi + lo rounded to the nearest double: the double nearest the true value
// unless the true value lies within a few 2^-104 of the midpoint between two
// doubles, which befalls about one argument in 2^48. Either way the result
// is made of + - * / alone, in the same order, so it is the same on every
// system: that is what the cell areas need.

namespace {

struct Dd {
  double hi, lo;
};

Dd two_sum(double a, double b) {
  const double s = a + b;
  const double v = s - a;
  return {s, (a - (s - v)) + (b - v)};
}

Dd quick_sum(double a, double b) {  // |a| >= |b|
  const double s = a + b;
  return {s, b - (s - a)};
}

// a = hi + lo with hi of 26 bits, so that products of halves are exact.
Dd split(double a) {
  const double t = 134217729.0 * a;  // 2^27 + 1
  const double hi = t - (t - a);
  return {hi, a - hi};
}

Dd two_product(double a, double b) {
  const double p = a * b;
  const Dd x = split(a), y = split(b);
  return {p, ((x.hi * y.hi - p) + x.hi * y.lo + x.lo * y.hi) + x.lo * y.lo};
}

Dd add(Dd a, Dd b) {
  const Dd s = two_sum(a.hi, b.hi);
  const Dd t = two_sum(a.lo, b.lo);
  Dd r = quick_sum(s.hi, s.lo + t.hi);
  return quick_sum(r.hi, r.lo + t.lo);
}

Dd multiply(Dd a, Dd b) {
  const Dd p = two_product(a.hi, b.hi);
  return quick_sum(p.hi, p.lo + (a.hi * b.lo + a.lo * b.hi));
}

Dd divide(Dd a, Dd b) {
  const double q1 = a.hi / b.hi;
  const Dd r = add(a, multiply(b, {-q1, 0.0}));
  const double q2 = r.hi / b.hi;
  const Dd r2 = add(r, multiply(b, {-q2, 0.0}));
  const double q3 = r2.hi / b.hi;
  const Dd q = quick_sum(q1, q2);
  return add(q, {q3, 0.0});
}

// a / d, d a double.
Dd divide(Dd a, double d) {
  const double q1 = a.hi / d;
  const Dd p = two_product(q1, d);
  const double q2 = (((a.hi - p.hi) - p.lo) + a.lo) / d;
  return quick_sum(q1, q2);
}

constexpr double kCut = 0x1p-110;

}  // namespace

// sin x = x - x^3/3! + x^5/5! - ...: for |x| <= 4 the terms fall below
// 2^-110 of the sum within 40 terms, and none exceeds 4^3/6 < 11, so that
// the sum loses at most 4 of its 106 bits to cancellation.
double rounded_sin(double x) {
  if (x == 0.0) return x;
  const Dd x2 = two_product(x, x);
  Dd term{x, 0.0}, sum{x, 0.0};
  for (int n = 2; std::fabs(term.hi) > kCut * std::fabs(sum.hi); n += 2) {
    term = divide(multiply(term, x2), -static_cast<double>(n) * (n + 1));
    sum = add(sum, term);
  }
  return sum.hi;
}

// y = 2^k m with m in [sqrt(1/2), sqrt(2)), and log y = k log 2 +
// 2 atanh(t), t = (m - 1) / (m + 1), |t| < 0.172: 2 (t + t^3/3 + t^5/5 +
// ...), whose terms fall below 2^-110 of the sum within 22 terms; m - 1 is
// exact (Sterbenz).
double rounded_log(double y) {
  int k = 0;
  double m = std::frexp(y, &k);  // in [1/2, 1)
  if (m < 0.70710678118654752) {
    m *= 2.0;
    --k;
  }
  const Dd t = divide({m - 1.0, 0.0}, two_sum(m, 1.0));
  const Dd t2 = multiply(t, t);
  Dd power = t, sum = t;
  for (int n = 3; std::fabs(power.hi) > kCut * std::fabs(sum.hi) && power.hi != 0.0; n += 2) {
    power = multiply(power, t2);
    sum = add(sum, divide(power, static_cast<double>(n)));
  }
  sum = add(sum, sum);
  // log 2 to 107 bits.
  const Dd log2{0x1.62e42fefa39efp-1, 0x1.abc9e3b39803fp-56};
  return add(multiply(log2, {static_cast<double>(k), 0.0}), sum).hi;
}
