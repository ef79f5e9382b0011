// mesacrop: extracts a zone from a Digital Elevation Model through a mask,
// computes its volume and saves the result. Every answer comes from the
// console; the command line is not used.
#include <cstdlib>
#include <iostream>

#include "platform.h"
#include "program.h"

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

}  // namespace

int main() {
  clean_up_on_interrupts();
  Console con{std::cin, std::cout, true};
  return run_mesacrop(con, images_directory());
}
