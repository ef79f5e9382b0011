// Loading an ASCII grid from any bytes.
#include <sstream>

#include "fatal.h"
#include "formats/registry.h"
#include "fuzz_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  DemChoice dem;
  dem.layout = DemLayout::ascii_grid;
  dem.path = fuzz_file(data, size, ".asc");
  std::ostream out(nullptr);
  try {
    open_dem(dem)->load(dem, out, [](const char*, int, int) {});
  } catch (const FatalStop&) {
  }
  return 0;
}
