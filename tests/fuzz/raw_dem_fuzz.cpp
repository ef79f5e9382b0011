// Loading a raw DEM whose dimensions, cell type, unit answers and descriptor
// state come from the first bytes of the input and whose file is the rest:
// short files, long files and huge claimed sizes.
#include <sstream>

#include "fatal.h"
#include "fuzz_file.h"
#include "run_state.h"
#include "work/work.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 6) return 0;
  RunState st;
  RasterGeometry& g = st.dem.geometry;
  g.nb_lig = static_cast<std::int16_t>(data[0] | data[1] << 8);  // negative and zero included
  g.nb_col = static_cast<std::int16_t>(data[2] | data[3] << 8) * (data[4] & 0x80 ? 40000 : 1);
  st.job.dem.layout = DemLayout::raw;
  st.job.dem.itype = data[4] & 1;
  st.job.dem.write_descriptor = (data[4] & 2) != 0;
  st.job.dem.unit = data[5] % 4;
  g.dpix_size = data[4] >> 2;
  st.job.dem.path = fuzz_file(data + 6, size - 6, "_m2.raw");
  st.dem.descriptor_path = st.job.dem.path + ".txt";
  std::ostream out(nullptr);
  try {
    check_dimensions(g.nb_lig, g.nb_col, "The fuzz input");
    raw_dem_loaded(st, raw_dem_range(st, out), out);
  } catch (const FatalStop&) {
  }
  std::remove(st.dem.descriptor_path.c_str());
  return 0;
}
