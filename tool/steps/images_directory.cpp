// Where the folders of the runs lie.
#include <cstdlib>

#include "platform.h"
#include "steps.h"

std::string images_directory() {
  const char* chosen = std::getenv("MESACROP_IMAGES");
  if (chosen == nullptr || *chosen == '\0') return default_images_directory();
  std::string dir = chosen;
  if (dir.back() != kPathSeparator) dir += kPathSeparator;
  return dir;
}
