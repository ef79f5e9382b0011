// mesacrop: extracts a zone from a Digital Elevation Model through a mask,
// computes its volume and saves the result. With no argument every choice
// comes from the dialog on the console; with arguments, from the command line.
#include <cerrno>
#include <cstring>
#include <iostream>

#include "command_line/command_line.h"
#include "dialog/program.h"
#include "platform.h"
#include "version.h"

namespace {

// The directory under which the dialog's folders lie, ending in a separator:
// MESACROP_IMAGES when it is set, the system's default otherwise.
std::string images_directory() {
  std::string dir = environment_value("MESACROP_IMAGES");
  if (dir.empty()) return default_images_directory();
  if (dir.back() != kPathSeparator) dir += kPathSeparator;
  return dir;
}

// A run whose output could not be written (a full disk, a closed output)
// did not tell the user what it did: it fails.
int checked_output(int status) {
  std::cout.flush();
  if (std::cout) return status;
  const int error = errno;
  std::cerr << "mesacrop: cannot write to standard output (" << std::strerror(error) << ")\n";
  return status == 0 ? 1 : status;
}

}  // namespace

int main(int argc, char** argv) {
  // The console's own buffer lets a key wait see answers typed ahead.
  std::ios::sync_with_stdio(false);
  clean_up_on_interrupts();
  if (argc > 1) {
    CommandLine command;
    try {
      command = parse_command_line(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const UsageError& error) {
      std::cerr << "mesacrop: " << error.message << "\n";
      short_usage(std::cerr);
      return 2;
    }
    if (command.help) {
      usage(std::cout, images_directory());
      return checked_output(0);
    }
    if (command.version) {
      std::cout << "mesacrop " << kVersion << "\n";
      return checked_output(0);
    }
    return checked_output(run_command_line(command, std::cout, std::cerr));
  }
  prepare_console();
  Console con{std::cin, std::cout, true};
  return checked_output(run_mesacrop(con, images_directory()));
}
