// What a DEM's dimensions and pixel size must be for the tool to work with it.
#include "fatal.h"
#include "steps.h"

namespace {

// Above this, the whole part of a pixel size no longer fits a descriptor's
// integer.
constexpr double kPixelSizeLimit = 2147483648.0;

const char* pixel_size_rule(double dpix_size) {
  return dpix_size >= kPixelSizeLimit ? "a number of metres below 2147483648" : "a number of metres, 0 or more";
}

}  // namespace

bool valid_pixel_size(double dpix_size) { return dpix_size >= 0.0 && dpix_size < kPixelSizeLimit; }

double ask_pixel_size(Console& con, const std::string& question) {
  for (;;) {
    const double answer = ask_real(con, question);
    if (valid_pixel_size(answer)) return answer;
    say(con, "\n\tA pixel size is %s", pixel_size_rule(answer));
  }
}

void check_pixel_size(double dpix_size, const std::string& source) {
  if (!valid_pixel_size(dpix_size)) {
    fatal_stop(text("\n\n\t%s gives the pixel size %lf: it must be %s\n", source.c_str(), dpix_size,
                    pixel_size_rule(dpix_size)));
  }
}

void check_dimensions(int nb_lig, int nb_col, const std::string& source) {
  if (nb_lig < 1 || nb_col < 1) {
    fatal_stop(text("\n\n\t%s gives %d lines and %d columns: a DEM needs at least one of each\n",
                    source.c_str(), nb_lig, nb_col));
  }
}
