// ESRI BIL headers (NAME_m2.hdr, NAME_m4.hdr), written beside raw results:
//
//   BYTEORDER I
//   LAYOUT BIL
//   NROWS 200
//   NCOLS 222
//   NBANDS 1
//   NBITS 16
//   PIXELTYPE UNSIGNEDINT
//   ULXMAP 739935            (only when the corner is known)
//   ULYMAP 4055715
//   XDIM 90
//   YDIM 90
#include <charconv>

#include "formats.h"
#include "text.h"

namespace {

// The shortest text that reads back as the same double.
std::string exact(double value) {
  char buffer[64];
  return std::string(buffer, std::to_chars(buffer, buffer + sizeof buffer, value).ptr);
}

}  // namespace

std::string ehdr_text(int nb_lig, int nb_col, int bits, bool georeferenced, double X_min, double Y_min,
                      double dpix_size) {
  std::string out = "BYTEORDER I\nLAYOUT BIL\n";
  out += text("NROWS %d\nNCOLS %d\nNBANDS 1\nNBITS %d\n", nb_lig, nb_col, bits);
  out += bits == 16 ? "PIXELTYPE UNSIGNEDINT\n" : "PIXELTYPE SIGNEDINT\n";
  if (georeferenced) {
    out += "ULXMAP " + exact(X_min + 0.5 * dpix_size) + "\n";
    out += "ULYMAP " + exact(Y_min + (nb_lig - 0.5) * dpix_size) + "\n";
    out += "XDIM " + exact(dpix_size) + "\n";
    out += "YDIM " + exact(dpix_size) + "\n";
  }
  return out;
}
