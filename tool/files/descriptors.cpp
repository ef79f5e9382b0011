// DEM descriptors (NAME_m2.txt, NAME_m4.txt) and mask descriptors (NAME.txt).
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "formats.h"
#include "text.h"

namespace {

// Descriptors are a few numbers and a short report: their head is all that is
// ever read.
constexpr std::size_t kHeadBytes = 64 * 1024;

std::string read_head(std::FILE* f) {
  std::string head(kHeadBytes, '\0');
  head.resize(std::fread(head.data(), 1, head.size(), f));
  return head;
}

// Reads numbers from the head of a text the way scanf's "%d" and "%lf" do:
// blanks and line ends are skipped, a number ends at the first character that
// cannot continue it.
class Scanner {
 public:
  explicit Scanner(std::string text) : text_(std::move(text)) {}

  bool next_int(int& value) {
    skip_blanks();
    const char* start = text_.c_str() + pos_;
    const char* digits = start + ((*start == '+' || *start == '-') ? 1 : 0);
    if (!std::isdigit(static_cast<unsigned char>(*digits))) return false;
    char* end = nullptr;
    errno = 0;
    const long long wide = std::strtoll(start, &end, 10);
    if (errno == ERANGE || wide < std::numeric_limits<int>::min() || wide > std::numeric_limits<int>::max()) {
      return false;
    }
    value = static_cast<int>(wide);
    pos_ += static_cast<std::size_t>(end - start);
    return true;
  }

  bool next_real(double& value) {
    skip_blanks();
    const char* start = text_.c_str() + pos_;
    char* end = nullptr;
    const double parsed = std::strtod(start, &end);
    if (end == start) return false;
    value = parsed;
    pos_ += static_cast<std::size_t>(end - start);
    return true;
  }

 private:
  void skip_blanks() {
    while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_]))) ++pos_;
  }

  std::string text_;
  std::size_t pos_ = 0;
};

}  // namespace

int read_dem_descriptor(std::FILE* f, int& nb_lig, int& nb_col, int& val, int& mind, int& maxd,
                        double& dpix_size) {
  Scanner scan(read_head(f));
  int* const integers[] = {&nb_lig, &nb_col, &val, &mind, &maxd};
  int items = 0;
  for (int* item : integers) {
    if (!scan.next_int(*item)) return items;
    ++items;
  }
  if (scan.next_real(dpix_size)) ++items;
  return items;
}

std::string pixel_size_text(double dpix_size) {
  const std::string fixed = text("%lf", dpix_size);
  double back = 0.0;
  if (parse_real(fixed.data(), fixed.data() + fixed.size(), back) && back == dpix_size) return fixed;
  return shortest_text(dpix_size);
}

std::string dem_descriptor_text(int nb_lig, int nb_col, int val, int mind, int maxd, double dpix_size) {
  return text("%d\n%d\n%d\n%d\n%d\n", nb_lig, nb_col, val, mind, maxd) + pixel_size_text(dpix_size) + "\n";
}

int read_mask_descriptor(std::FILE* f, int& num_lines, int& num_columns) {
  Scanner scan(read_head(f));
  if (!scan.next_int(num_lines)) return 0;
  return scan.next_int(num_columns) ? 2 : 1;
}

std::string result_descriptor_text(const ResultReport& r, const std::vector<std::string>& notes) {
  std::string out = text("%d\n%d\n%d\n", r.nb_lig, r.nb_col, r.val);
  out += text("%lld\n%lld\n", r.stored_min, r.stored_max);
  // A whole number of metres as a whole number, as always; a fractional size
  // as the DEM descriptor writes it, so that no reader gets it wrong by a
  // fraction: integer readers still read its whole part.
  const bool whole = r.dpix_size == std::trunc(r.dpix_size);
  out += whole ? text("%d\n", static_cast<int>(r.dpix_size)) : pixel_size_text(r.dpix_size) + "\n";
  out += "\n\n\tMesacrop Treatment";
  out += text("\n\n\tapplied to %s ", r.dem_path.c_str());
  out += text("\n\tand using the mask %s ", r.mask_path.c_str());
  out += text("\n\t\tcode %lld corresponding altitude %lf ", r.code, r.val_alti);
  if (r.voltreat != 0) {  // 1, or any negative answer: no volume
    out += "\n\n\tno volume calculation ";
  } else {
    out += "\n\n\tVolume calculation : ";
    out += text("\n\t\tresult = %lf km3 ", r.vol_tot * 1e-9);
  }
  for (const std::string& note : notes) out += "\n\t\t" + note + " ";
  return out;
}
