#include "input_file.h"

#include <sys/stat.h>

InputFile open_input(const std::string& path, const char* mode) {
  InputFile file(std::fopen(path.c_str(), mode));
  if (file) {
    // A folder opens for reading on some systems; it is no input file.
    struct stat info {};
    if (fstat(fileno(file.get()), &info) == 0 && S_ISDIR(info.st_mode)) file.reset();
  }
  return file;
}

std::uint64_t file_length(std::FILE* f) {
  struct stat info {};
  if (fstat(fileno(f), &info) != 0 || info.st_size < 0) return 0;
  return static_cast<std::uint64_t>(info.st_size);
}
