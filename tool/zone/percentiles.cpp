#include "percentiles.h"

#include <algorithm>
#include <bit>
#include <cmath>

double AltitudeKeys::altitude(std::uint64_t key) const {
  switch (kind) {
    case Kind::stored:
      // As a raw DEM's cells are read: the stored value over its factor.
      return static_cast<double>(static_cast<long long>(key) + static_cast<long long>(lowest)) / per_metre;
    case Kind::float32: {
      const auto k = static_cast<std::uint32_t>(key);
      return std::bit_cast<float>((k >> 31) != 0 ? k & 0x7FFFFFFFu : ~k);
    }
    case Kind::float64:
      break;
  }
  return std::bit_cast<double>((key >> 63) != 0 ? key & ~(std::uint64_t{1} << 63) : ~key);
}

std::optional<Percentile> percentile_of(const std::string& text) {
  Percentile p{text, 0, 1};
  bool point = false, digits = false;
  for (const char c : text) {
    if (c == '.' && !point) {
      point = true;
    } else if (c >= '0' && c <= '9') {
      if (p.numerator > 100000000000LL) return std::nullopt;
      p.numerator = p.numerator * 10 + (c - '0');
      if (point) p.denominator *= 10;
      digits = true;
      if (p.denominator > 1000000000LL) return std::nullopt;
    } else {
      return std::nullopt;
    }
  }
  if (!digits || p.numerator > 100 * p.denominator) return std::nullopt;
  return p;
}

// Integers of 128 bits (GCC's and Clang's), for n x numerator.
__extension__ using Wide = __int128;

long long percentile_rank(const Percentile& p, long long n) {
  if (n <= 0) return 0;
  // ceil(n x numerator / (100 x denominator)), in integers.
  const Wide whole = Wide{100} * p.denominator;
  const Wide rank = (Wide{n} * p.numerator + whole - 1) / whole;
  return static_cast<long long>(std::clamp<Wide>(rank, 1, n));
}

KeySelection::KeySelection(int key_bits, std::vector<Percentile> percentiles, std::size_t budget_bins)
    : percentiles_(std::move(percentiles)), budget_(budget_bins), key_bits_(key_bits), digit_(std::min(16, key_bits)) {}

std::uint32_t* KeySelection::first_bins(std::size_t zone) {
  if (zone >= searches_.size()) searches_.resize(zone + 1);
  RankSearch& s = searches_[zone];
  if (s.counts.empty()) {
    const auto zones = static_cast<std::size_t>(
        std::count_if(searches_.begin(), searches_.end(), [](const RankSearch& r) { return !r.counts.empty(); }));
    // Over the budget: every zone's bins merged two by two (a coarser
    // first pass, the same counts).
    while (digit_ > 1 && ((zones + 1) << digit_) > budget_) {
      for (RankSearch& r : searches_) {
        if (r.counts.empty()) continue;
        std::vector<std::uint32_t>& bins = r.counts[0];
        for (std::size_t b = 0; b < bins.size() / 2; ++b) bins[b] = bins[2 * b] + bins[2 * b + 1];
        bins.resize(bins.size() / 2);
        bins.shrink_to_fit();
      }
      --digit_;
    }
    s.prefixes = {0};
    s.counts.assign(1, std::vector<std::uint32_t>(std::size_t{1} << digit_, 0));
  }
  return s.counts[0].data();
}

int KeySelection::digit_for(std::size_t histograms) const {
  int digit = std::min(16, key_bits_ - found_);
  while (digit > 1 && (histograms << digit) > budget_) --digit;
  return digit;
}

void KeySelection::end_pass() {
  if (first_pass()) {
    for (RankSearch& s : searches_) {
      long long n = 0;
      if (!s.counts.empty()) {
        for (const std::uint32_t c : s.counts[0]) n += static_cast<long long>(c);
      }
      for (const Percentile& p : percentiles_) s.ranks.push_back(percentile_rank(p, n));
      s.prefix.assign(s.ranks.size(), 0);
      s.below.assign(s.ranks.size(), 0);
      s.in_bin.assign(s.ranks.size(), n);
    }
  } else {
    ++passes_;
  }
  // Each rank's bin: where the keys below it, counted in order, reach it;
  // or its key among those kept.
  std::size_t histograms = 0;
  long long kept_keys = 0;
  for (RankSearch& s : searches_) {
    for (std::size_t k = 0; k < s.ranks.size(); ++k) {
      if (s.ranks[k] == 0) continue;
      const auto h = static_cast<std::size_t>(std::find(s.prefixes.begin(), s.prefixes.end(), s.prefix[k]) -
                                              s.prefixes.begin());
      if (keep_) {
        std::vector<std::uint64_t>& keys = s.kept[h];
        const auto at = keys.begin() + (s.ranks[k] - s.below[k] - 1);
        std::nth_element(keys.begin(), at, keys.end());
        s.prefix[k] = *at;
        continue;
      }
      const std::vector<std::uint32_t>& bins = s.counts[h];
      long long below = s.below[k];
      std::size_t b = 0;
      while (b + 1 < bins.size() && below + static_cast<long long>(bins[b]) < s.ranks[k]) below += static_cast<long long>(bins[b++]);
      s.prefix[k] = (s.prefix[k] << digit_) | b;
      s.below[k] = below;
      s.in_bin[k] = bins[b];
    }
    s.prefixes.clear();
    s.counts.clear();
    s.kept.clear();
    for (std::size_t k = 0; k < s.ranks.size(); ++k) {
      if (s.ranks[k] != 0 && std::find(s.prefixes.begin(), s.prefixes.end(), s.prefix[k]) == s.prefixes.end()) {
        s.prefixes.push_back(s.prefix[k]);
        kept_keys += s.in_bin[k];
      }
    }
    histograms += s.prefixes.size();
  }
  found_ = keep_ ? key_bits_ : found_ + digit_;
  if (done()) {
    for (RankSearch& s : searches_) s.prefixes.clear();
    return;
  }
  // The keys of the wanted bins kept when they fit (8 bytes a key against
  // 4 a bin), else finer bins.
  keep_ = static_cast<std::size_t>(kept_keys) * 2 <= budget_;
  digit_ = keep_ ? key_bits_ - found_ : digit_for(histograms);
  mask_ = digit_ >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << digit_) - 1;
  for (RankSearch& s : searches_) {
    if (keep_) {
      s.kept.assign(s.prefixes.size(), {});
    } else {
      s.counts.assign(s.prefixes.size(), std::vector<std::uint32_t>(std::size_t{1} << digit_, 0));
    }
  }
}

std::vector<std::optional<std::uint64_t>> KeySelection::keys(std::size_t zone) const {
  std::vector<std::optional<std::uint64_t>> out(percentiles_.size());
  if (zone >= searches_.size()) return out;
  const RankSearch& s = searches_[zone];
  for (std::size_t k = 0; k < s.ranks.size(); ++k) {
    if (s.ranks[k] != 0) out[k] = s.prefix[k];
  }
  return out;
}
