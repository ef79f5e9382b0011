// A whole run with the input bytes as the answers, on a fresh copy of a small
// folder of valid inputs for every run.
#include <cstring>
#include <filesystem>
#include <sstream>

#include "alps_folder.h"
#include "dialog/program.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string answers(reinterpret_cast<const char*>(data), size);
  if (answers.find("..") != std::string::npos) return 0;  // stay inside the run's folder
  TempDir base;
  Alps alps(base);
  std::istringstream in(answers);
  std::ostream out(nullptr);
  Console con{in, out, false};
  run_mesacrop(con, base.path() + "/");
  return 0;
}
