// Where the folders of the runs lie.
#include <cstdlib>

#include "steps.h"

#if defined(_WIN32)
const char* const kSeparator = "\\";
#else
const char* const kSeparator = "/";
#endif

std::string images_directory() {
  const char* chosen = std::getenv("MESACROP_IMAGES");
  if (chosen != nullptr && *chosen != '\0') {
    std::string dir = chosen;
    if (dir.back() != kSeparator[0]) dir += kSeparator;
    return dir;
  }
#if defined(_WIN32)
  return "c:\\images\\";
#else
  const char* home = std::getenv("HOME");
  if (home != nullptr && *home != '\0') return std::string(home) + "/images/";
  return "./images/";
#endif
}
