// Exact percentiles of each zone's altitudes without holding them. No files,
// no console.
//
// Each altitude has a key: a whole number that orders as the altitudes do
// and from which the altitude comes back exactly (a raw DEM's stored value,
// the bits of a Float32 value, or of a double). A zone's keys are counted in
// bins of their top bits (the first pass, that of the zone's figures); the
// bin that holds each wanted rank is then cut into bins of the next bits,
// counting only the keys in it (one more pass over the cells each), until
// every bit of the key is found: the key of that rank, which some cell
// holds. The bins of a pass are as many as the memory allows (at most 16
// bits a pass, about 32 MiB of counts in all): a 16-bit raw DEM needs the
// first pass alone for up to 64 zones, a Float32 one a second; more zones,
// or keys of 64 bits, need more passes.
#pragma once

#include <bit>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// How a DEM's altitudes (in metres) are made keys.
struct AltitudeKeys {
  enum class Kind { stored, float32, float64 };
  Kind kind = Kind::float64;
  int bits = 64;             // of the key
  double per_metre = 1.0;    // stored: stored value = altitude x per_metre
  double lowest = 0.0;       // stored: the least stored value (key 0)

  // Called for every cell of a zone: inline, and without llround, which
  // costs a library call. A stored value over its factor, times the factor,
  // is within a few units in the last place of the whole stored value
  // (|value| < 2^32), so adding a half and truncating rounds it as llround
  // does.
  std::uint64_t key(double altitude) const {
    switch (kind) {
      case Kind::stored: {
        const double scaled = altitude * per_metre;
        const auto stored = static_cast<long long>(scaled + (scaled < 0.0 ? -0.5 : 0.5));
        return static_cast<std::uint64_t>(stored - static_cast<long long>(lowest));
      }
      case Kind::float32: {
        // The sign bit set: every bit turned (the larger the magnitude, the
        // smaller); else the sign bit set, above every negative.
        const auto bits = std::bit_cast<std::uint32_t>(static_cast<float>(altitude));
        return (bits >> 31) != 0 ? ~bits : bits | 0x80000000u;
      }
      case Kind::float64:
        break;
    }
    const auto bits = std::bit_cast<std::uint64_t>(altitude);
    return (bits >> 63) != 0 ? ~bits : bits | (std::uint64_t{1} << 63);
  }
  // The altitude of a key, as the DEM's cells hold it.
  double altitude(std::uint64_t key) const;
};

// A percentile as given ("2.5"): numerator / denominator of a hundred.
struct Percentile {
  std::string text;
  long long numerator = 0, denominator = 1;
};
// The percentile a text gives (digits, at most one '.', from 0 to 100, at
// most 9 decimals), or none.
std::optional<Percentile> percentile_of(const std::string& text);
// The rank (from 1) of the percentile among n values: the ceiling of
// n x P / 100, at least 1; 0 when n is 0. Exact (integer arithmetic).
long long percentile_rank(const Percentile& p, long long n);

// One zone's search for its ranks.
struct RankSearch {
  std::vector<long long> ranks;          // wanted (from 1), one per percentile; 0: none
  std::vector<std::uint64_t> prefix;     // of each rank: the key's bits found so far
  std::vector<long long> below;          // of each rank: the zone's keys below its prefix
  std::vector<long long> in_bin;         // of each rank: the zone's keys of its prefix
  // This pass's bins: one histogram per distinct prefix (the first pass:
  // one, of prefix 0); or, in the last pass, the keys of each prefix.
  std::vector<std::uint64_t> prefixes;
  std::vector<std::vector<std::uint32_t>> counts;
  std::vector<std::vector<std::uint64_t>> kept;
};

// The zones' searches, pass after pass: every rank of every zone finds the
// same bits in a pass. Zones are numbered by the caller (a mask's code, an
// index).
class KeySelection {
 public:
  // Keys of `key_bits` bits, the ranks of `percentiles`; at most
  // `budget_bins` bins counted at once.
  KeySelection(int key_bits, std::vector<Percentile> percentiles, std::size_t budget_bins = 5u << 20);

  bool done() const { return found_ >= key_bits_; }
  bool first_pass() const { return found_ == 0; }

  // The first pass: zone `zone`'s bins, made when the zone is first met;
  // a key goes to bins()[key >> shift()]. Made when the bins would go over
  // the budget, every zone's bins are merged two by two (shift() grows).
  std::uint32_t* first_bins(std::size_t zone);
  int shift() const { return key_bits_ - found_ - digit_; }

  // A later pass: a key of zone `zone` (keys outside every wanted bin are
  // not counted). Once the keys of the wanted bins fit in the budget, the
  // pass keeps them, and is the last.
  void count(std::size_t zone, std::uint64_t key) {
    RankSearch& s = searches_[zone];
    const int high = shift() + digit_;
    const std::uint64_t top = high >= 64 ? 0 : key >> high;
    for (std::size_t k = 0; k < s.prefixes.size(); ++k) {
      if (s.prefixes[k] != top) continue;
      if (keep_) {
        s.kept[k].push_back(key);
      } else {
        ++s.counts[k][(key >> shift()) & mask_];
      }
    }
  }
  // Whether zone `zone` has bins in this pass.
  bool wanted(std::size_t zone) const { return zone < searches_.size() && !searches_[zone].prefixes.empty(); }
  std::size_t zones() const { return searches_.size(); }

  // After a pass whose counts are complete: each rank's bin found (after
  // the first pass, each zone's ranks from its count of keys); then the
  // next pass's bins, unless done.
  void end_pass();

  // Once done: the key of each percentile of zone `zone` (none for a zone
  // without keys).
  std::vector<std::optional<std::uint64_t>> keys(std::size_t zone) const;
  // How many passes after the first it took.
  int later_passes() const { return passes_; }

 private:
  int digit_for(std::size_t histograms) const;

  std::vector<Percentile> percentiles_;
  std::size_t budget_;
  std::vector<RankSearch> searches_;
  int key_bits_;
  int found_ = 0;    // bits of every key found
  int digit_ = 0;    // bits found by this pass
  std::uint64_t mask_ = 0;
  bool keep_ = false;  // this pass keeps the keys of the wanted bins
  int passes_ = 0;
};
