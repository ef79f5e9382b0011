// Input files: opened by path, closed when their handle goes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

struct CloseFile {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using InputFile = std::unique_ptr<std::FILE, CloseFile>;

// Opens `path` with the fopen mode `mode`; null when it cannot be opened.
InputFile open_input(const std::string& path, const char* mode);

// Length of an open file in bytes; the read position is left where it was.
std::uint64_t file_length(std::FILE* f);
