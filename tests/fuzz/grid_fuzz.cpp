// Loading an ASCII grid from any bytes.
#include <sstream>

#include "fatal.h"
#include "fuzz_file.h"
#include "run_state.h"
#include "work/work.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  RunState st;
  st.job.dem.path = fuzz_file(data, size, ".asc");
  std::ostream out(nullptr);
  try {
    load_grid(st, out, [](const char*, int, int) {});
  } catch (const FatalStop&) {
  }
  return 0;
}
