// Loading an ASCII grid from any bytes.
#include <sstream>

#include "fatal.h"
#include "fuzz_file.h"
#include "run_state.h"
#include "steps/steps.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  RunState st;
  st.dem.path = fuzz_file(data, size, ".asc");
  std::istringstream in;
  std::ostream out(nullptr);
  Console con{in, out, false};
  try {
    ascii_lecture(st, con);
  } catch (const FatalStop&) {
  }
  return 0;
}
