// Loading a raw DEM whose dimensions, cell type, unit answers and descriptor
// state come from the first bytes of the input and whose file is the rest:
// short files, long files and huge claimed sizes.
#include <cstdio>
#include <sstream>

#include "fatal.h"
#include "files/file_names.h"
#include "formats/registry.h"
#include "fuzz_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 6) return 0;
  const int lines = static_cast<std::int16_t>(data[0] | data[1] << 8);  // negative and zero included
  const int columns = static_cast<std::int16_t>(data[2] | data[3] << 8) * (data[4] & 0x80 ? 40000 : 1);
  DemChoice dem;
  dem.layout = DemLayout::raw;
  dem.itype = data[4] & 1;
  dem.unit = data[5] % 4;
  dem.path = fuzz_file(data + 6, size - 6, dem.itype == 0 ? "_m2.raw" : "_m4.raw");
  const std::string descriptor = beside(dem.path, ".txt");
  if ((data[4] & 2) != 0) {
    // No descriptor: its size and pixel size chosen, and a descriptor written.
    dem.lines = lines, dem.columns = columns, dem.pixel_size = data[4] >> 2;
    dem.write_descriptor = true;
  } else if (std::FILE* f = std::fopen(descriptor.c_str(), "w")) {
    std::fprintf(f, "%d\n%d\n2\n0\n0\n%d\n", lines, columns, data[4] >> 2);
    std::fclose(f);
  }
  std::ostream out(nullptr);
  try {
    const std::unique_ptr<DemSource> source = open_dem(dem);
    if ((source->needs() & kNeedsSize) != 0) check_dimensions(lines, columns, "The fuzz input");
    source->stored_range(dem, out);
    source->load(dem, out, [](const char*, int, int) {});
  } catch (const FatalStop&) {
  }
  std::remove(descriptor.c_str());
  return 0;
}
