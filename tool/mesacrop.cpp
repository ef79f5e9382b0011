// mesacrop: extracts a zone from a Digital Elevation Model through a mask,
// computes its volume and saves the result. Every answer comes from the
// console; the command line only asks for help or the version.
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
  const char* chosen = std::getenv("MESACROP_IMAGES");
  if (chosen == nullptr || *chosen == '\0') return default_images_directory();
  std::string dir = chosen;
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

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) {
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
      usage(std::cout);
      return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
      std::cout << "mesacrop " << kVersion << "\n";
      return 0;
    }
    usage(std::cerr);
    return 2;
  }
  clean_up_on_interrupts();
  Console con{std::cin, std::cout, true};
  return run_mesacrop(con, images_directory());
}
