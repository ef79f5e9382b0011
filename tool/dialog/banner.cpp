#include <string>

#include "dialog.h"
#include "version.h"

namespace {

constexpr int kInterior = 60;

std::string box_line(const std::string& inside) { return "\n\t*" + inside + "*"; }

// Right-aligned so that it ends four blanks before the closing star.
std::string right_aligned(const std::string& words) {
  const std::size_t width = kInterior - 4;
  return std::string(width > words.size() ? width - words.size() : 0, ' ') + words + "    ";
}

std::string left_at(std::size_t column, const std::string& words) {
  const std::string start = std::string(column, ' ') + words;
  return start + std::string(kInterior - start.size(), ' ');
}

}  // namespace

void print_banner(Console& con) {
  const std::string stars = "\n\t" + std::string(kInterior + 2, '*');
  const std::string empty = box_line(std::string(kInterior, ' '));
  std::string banner = "\n" + stars + empty + box_line(left_at(20, "MESACROP"));
  for (int k = 0; k < 4; ++k) banner += empty;
  banner += box_line(right_aligned("by the mesacrop developers"));
  banner += box_line(right_aligned(std::string("(version ") + kVersion + ", December 2026)"));
  banner += empty + stars;
  banner += "\n\n\tThis program extracts a zone from a Digital Elevation Model ";
  banner += "\n\tThis zone is defined as a binary mask ";
  banner += "\n\tThe program can further calculate the volume of the extracted area";
  banner += "\n\tThe 3D surface can be calculated using the program tarnwick.exe";
  con.out << banner;
}
