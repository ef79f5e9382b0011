// What a DEM's dimensions and pixel size must be for the tool to work with it.
#include "fatal.h"
#include "steps.h"

bool valid_pixel_size(double dpix_size) { return dpix_size >= 0.0 && dpix_size < 2147483648.0; }

double ask_pixel_size(Console& con, const std::string& question) {
  for (;;) {
    const double answer = ask_real(con, question);
    if (valid_pixel_size(answer)) return answer;
    say(con, "\n\tA pixel size is a number of metres, 0 or more");
  }
}

void check_pixel_size(double dpix_size, const std::string& source) {
  if (!valid_pixel_size(dpix_size)) {
    fatal_stop(text("\n\n\t%s gives the pixel size %lf: it must be a number of metres, 0 or more\n",
                    source.c_str(), dpix_size));
  }
}

void check_dimensions(int nb_lig, int nb_col, const std::string& source) {
  if (nb_lig < 1 || nb_col < 1) {
    fatal_stop(text("\n\n\t%s gives %d lines and %d columns: a DEM needs at least one of each\n",
                    source.c_str(), nb_lig, nb_col));
  }
}
