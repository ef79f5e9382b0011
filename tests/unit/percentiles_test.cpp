// Percentiles without holding the values: keys that order as altitudes do,
// ranks as numpy's inverted_cdf gives them, and the search pass after pass
// against a sort, whatever the keys and the bins the memory allows.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "zone/percentiles.h"

namespace {

// The percentiles of each zone's values, through KeySelection as passes
// would count them.
std::vector<std::vector<double>> select(const AltitudeKeys& keys, const std::vector<std::vector<double>>& zones,
                                        const std::vector<Percentile>& percentiles, std::size_t budget, int& passes) {
  KeySelection selection(keys.bits, percentiles, budget);
  for (std::size_t z = 0; z < zones.size(); ++z) {
    for (const double v : zones[z]) ++selection.first_bins(z)[keys.key(v) >> selection.shift()];
  }
  selection.end_pass();
  while (!selection.done()) {
    for (std::size_t z = 0; z < zones.size(); ++z) {
      if (!selection.wanted(z)) continue;
      for (const double v : zones[z]) selection.count(z, keys.key(v));
    }
    selection.end_pass();
  }
  passes = selection.later_passes();
  std::vector<std::vector<double>> out;
  for (std::size_t z = 0; z < zones.size(); ++z) {
    std::vector<double> values;
    for (const auto& key : selection.keys(z)) values.push_back(key ? keys.altitude(*key) : NAN);
    out.push_back(values);
  }
  return out;
}

// numpy's percentile(values, P, method="inverted_cdf"): the ceil(n P / 100)-th
// smallest, the smallest for 0.
double inverted_cdf(std::vector<double> values, double p) {
  if (values.empty()) return NAN;
  std::sort(values.begin(), values.end());
  const auto n = static_cast<double>(values.size());
  const auto rank = static_cast<std::size_t>(std::max(1.0, std::ceil(n * p / 100.0 - 1e-12)));
  return values[std::min(rank, values.size()) - 1];
}

}  // namespace

TEST(Percentiles, KeysOrderAsAltitudesAndGiveThemBack) {
  const AltitudeKeys stored{AltitudeKeys::Kind::stored, 16, 10.0, 0.0};
  const AltitudeKeys stored32{AltitudeKeys::Kind::stored, 32, 100.0, -2147483648.0};
  const AltitudeKeys float32{AltitudeKeys::Kind::float32, 32};
  const AltitudeKeys float64{AltitudeKeys::Kind::float64, 64};
  const std::vector<std::pair<AltitudeKeys, std::vector<double>>> cases = {
      {stored, {0.0, 0.1, 0.3, 412.7, 6553.5}},
      {stored32, {-21474836.48, -0.01, 0.0, 0.07, 21474836.47}},
      {float32, {-1e30f, -412.5, -1.0f / 3, -0.0, 0.0, 1e-40f, 1.0f / 3, std::nextafter(1.0f / 3, 1.0f), 3.4e38f}},
      {float64, {-1e300, -412.5, -1.0 / 3, -0.0, 0.0, 5e-324, 1.0 / 3, std::nextafter(1.0 / 3, 1.0), 1e300}},
  };
  for (const auto& [keys, values] : cases) {
    for (std::size_t k = 0; k < values.size(); ++k) {
      const double v = keys.kind == AltitudeKeys::Kind::stored ? std::round(values[k] * keys.per_metre) / keys.per_metre
                                                               : values[k];
      EXPECT_EQ(std::bit_cast<std::uint64_t>(keys.altitude(keys.key(v))), std::bit_cast<std::uint64_t>(v)) << v;
      if (k > 0) {
        EXPECT_LT(keys.key(values[k - 1]), keys.key(values[k])) << values[k - 1] << " < " << values[k];
      }
      EXPECT_LT(keys.key(v), keys.bits == 64 ? ~std::uint64_t{0} : std::uint64_t{1} << keys.bits);
    }
  }
}

// A raw DEM's altitude is its stored value over its unit's factor; the key
// must give that stored value back, rounded and not truncated, over the
// whole range of 32-bit cells, negatives included.
TEST(Percentiles, RawKeysAreTheStoredValuesForEveryUnit) {
  std::mt19937_64 random(7);
  std::vector<long long> stored = {-2147483648LL, -2147483647LL, -1, 0, 1, 65535, 2147483647LL, 4294967295LL};
  for (int k = 0; k < 20000; ++k) stored.push_back(static_cast<long long>(random() % 6442450943ULL) - 2147483648LL);
  for (const double factor : {1.0, 10.0, 100.0, 1000.0}) {
    const AltitudeKeys keys{AltitudeKeys::Kind::stored, 33, factor, -2147483648.0};
    for (const long long s : stored) {
      ASSERT_EQ(keys.key(static_cast<double>(s) / factor), static_cast<std::uint64_t>(s + 2147483648LL))
          << s << " / " << factor;
    }
  }
}

TEST(Percentiles, TextsAndRanks) {
  for (const char* wrong : {"", ".", "-1", "100.5", "1e2", "5,", "1.0000000001", "101"}) {
    EXPECT_FALSE(percentile_of(wrong)) << wrong;
  }
  struct Case {
    const char* text;
    long long n, rank;
  };
  for (const Case& c : {Case{"0", 7, 1}, Case{"100", 7, 7}, Case{"50", 7, 4}, Case{"50", 8, 4}, Case{"2.5", 40, 1},
                        Case{"2.5", 41, 2}, Case{"95", 20, 19}, Case{"0.1", 1000, 1}, Case{"33.3", 1000, 333},
                        Case{"5", 0, 0}, Case{"100.000", 1, 1}}) {
    const auto p = percentile_of(c.text);
    ASSERT_TRUE(p) << c.text;
    EXPECT_EQ(percentile_rank(*p, c.n), c.rank) << c.text << " of " << c.n;
  }
}

TEST(Percentiles, TheSearchFindsWhatASortFinds) {
  std::mt19937_64 random(7);
  std::vector<Percentile> percentiles;
  for (const char* p : {"0", "2.5", "5", "50", "95", "100"}) percentiles.push_back(*percentile_of(p));
  // Zones (of Float32 values, which both keys hold): ties, one cell, every
  // cell equal, negatives, values a bit apart, none; and many values.
  const float third = 1.0f / 3;
  std::vector<std::vector<double>> zones = {
      {3, 1, 2, 2, 2, 5, 1},
      {412.3f},
      {7.5, 7.5, 7.5, 7.5},
      {-3.5, -0.2f, 0, 12.1f, -1000},
      {third, std::nextafter(third, 1.0f), std::nextafter(third, 0.0f), third, 0.25f},
      {},
  };
  std::vector<double> many(5000);
  for (double& v : many) v = static_cast<float>(std::round(std::uniform_real_distribution<>(-50.0, 4000.0)(random) * 10) / 10);
  zones.push_back(many);
  const AltitudeKeys float32{AltitudeKeys::Kind::float32, 32};
  const AltitudeKeys float64{AltitudeKeys::Kind::float64, 64};
  struct Case {
    AltitudeKeys keys;
    std::size_t budget;
    int passes;  // after the first: one keeps the bins' keys with room, more with less
  };
  // Budgets: room for 16-bit bins; so little that the first bins merge and
  // each pass finds a few bits.
  for (const Case& c : {Case{float32, 5u << 20, 1}, Case{float32, 64, 1}, Case{float64, 5u << 20, 1},
                        Case{float64, 300, 1}}) {
    int passes = 0;
    const auto found = select(c.keys, zones, percentiles, c.budget, passes);
    EXPECT_TRUE(c.budget > 1000 ? passes == c.passes : passes > c.passes) << passes << " passes, budget " << c.budget;
    for (std::size_t z = 0; z < zones.size(); ++z) {
      for (std::size_t k = 0; k < percentiles.size(); ++k) {
        const double expected = inverted_cdf(zones[z], std::stod(percentiles[k].text));
        EXPECT_EQ(std::bit_cast<std::uint64_t>(found[z][k]), std::bit_cast<std::uint64_t>(expected))
            << "zone " << z << ", P" << percentiles[k].text << ", budget " << c.budget;
      }
    }
  }
}
