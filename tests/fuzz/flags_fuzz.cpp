// The command line's parsing with the input as arguments (one per line):
// every argument list gives a job or a usage error, never anything else.
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "command_line/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::istringstream lines(std::string(reinterpret_cast<const char*>(data), size));
  std::vector<std::string> arguments;
  for (std::string line; std::getline(lines, line);) arguments.push_back(line);
  try {
    const CommandLine command = parse_command_line(arguments);
    if (command.help) {
      std::ostringstream text;
      usage(text, "/images/");
    }
  } catch (const UsageError&) {
  }
  return 0;
}
