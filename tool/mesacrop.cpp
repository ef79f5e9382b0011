// mesacrop: extracts a zone from a Digital Elevation Model through a mask,
// computes its volume and saves the result. Every answer comes from the
// console; the command line only asks for help or the version.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "platform.h"
#include "program.h"
#include "version.h"

namespace {

// The directory under which the folders of the runs lie, ending in a
// separator: MESACROP_IMAGES when it is set, the system's default otherwise.
std::string images_directory() {
  std::string dir = environment_value("MESACROP_IMAGES");
  if (dir.empty()) return default_images_directory();
  if (dir.back() != kPathSeparator) dir += kPathSeparator;
  return dir;
}

void usage(std::ostream& out) {
  out << "mesacrop " << kVersion << ": extracts a zone from a Digital Elevation Model (DEM) through a mask,\n"
      << "computes the zone's volume and writes the result as a new DEM with a report.\n\n"
      << "usage: mesacrop             the whole job comes from the dialog on the console\n"
      << "       mesacrop --help      this text\n"
      << "       mesacrop --version   the version\n\n"
      << "The answers can be piped from a file, one word or number each: mesacrop < answers.txt\n"
      << "Files are looked for in a folder under " << images_directory() << "\n"
      << "(the environment variable MESACROP_IMAGES names another directory).\n"
      << "README.md, beside the tool's sources, describes the files, the volume and the reports.\n";
}

// A run whose console output could not be written (a full disk, a closed
// output) did not tell the user what it did: it fails.
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
  if (argc > 1) {
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
      usage(std::cout);
      return checked_output(0);
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
      std::cout << "mesacrop " << kVersion << "\n";
      return checked_output(0);
    }
    usage(std::cerr);
    return 2;
  }
  clean_up_on_interrupts();
  prepare_console();
  Console con{std::cin, std::cout, true};
  return checked_output(run_mesacrop(con, images_directory()));
}
