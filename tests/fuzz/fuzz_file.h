// The fuzz input as a file: the readers under test take paths and FILE*s.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include <unistd.h>

// Writes the bytes to a file of this process (in memory-backed /dev/shm when
// there is one) and returns its path.
inline std::string fuzz_file(const std::uint8_t* data, std::size_t size, const char* suffix) {
  static const std::string folder = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  const std::string path = folder + "/mesacrop-fuzz-" + std::to_string(getpid()) + suffix;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f != nullptr) {
    if (size > 0) std::fwrite(data, 1, size, f);
    std::fclose(f);
  }
  return path;
}
