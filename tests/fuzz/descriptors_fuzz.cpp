// The DEM and mask descriptor readers on any bytes.
#include "files/formats.h"
#include "files/input_file.h"
#include "fuzz_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path = fuzz_file(data, size, ".txt");
  int nb_lig = 0, nb_col = 0, val = 0, mind = 0, maxd = 0, lines = 0, columns = 0;
  double dpix_size = 0.0;
  if (InputFile f = open_input(path)) read_dem_descriptor(f.get(), nb_lig, nb_col, val, mind, maxd, dpix_size);
  if (InputFile f = open_input(path)) read_mask_descriptor(f.get(), lines, columns);
  return 0;
}
