// mesacrop: extracts a zone from a Digital Elevation Model through a mask,
// computes its volume and saves the result. Every answer comes from the
// console; the command line is not used.
#include <iostream>

#include "platform.h"
#include "program.h"
#include "steps/steps.h"

int main() {
  clean_up_on_interrupts();
  Console con{std::cin, std::cout, true};
  return run_mesacrop(con, images_directory());
}
