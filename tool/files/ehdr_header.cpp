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
//   NODATA -9999             (only when the result has cells without data)
#include "formats.h"
#include "text.h"

std::string ehdr_text(const RasterGeometry& g, const RawType& type, std::optional<long long> nodata) {
  std::string out = "BYTEORDER I\nLAYOUT BIL\n";
  out += text("NROWS %d\nNCOLS %d\nNBANDS 1\nNBITS %d\n", g.nb_lig, g.nb_col, type.bits);
  out += type.is_signed ? "PIXELTYPE SIGNEDINT\n" : "PIXELTYPE UNSIGNEDINT\n";
  if (g.placed) {
    out += "ULXMAP " + shortest_text(g.X_min + 0.5 * g.dpix_size) + "\n";
    out += "ULYMAP " + shortest_text(g.Y_min + (g.nb_lig - 0.5) * g.dpix_size) + "\n";
    out += "XDIM " + shortest_text(g.dpix_size) + "\n";
    out += "YDIM " + shortest_text(g.dpix_size) + "\n";
  }
  if (nodata) out += "NODATA " + std::to_string(*nodata) + "\n";
  return out;
}
