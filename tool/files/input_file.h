// Input files: opened by path, closed when their handle goes.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

struct CloseFile {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using InputFile = std::unique_ptr<std::FILE, CloseFile>;

// Opens `path` for reading; null when nothing can be opened there. Anything
// that stands there and is not a regular file (a folder, a FIFO, a device) is
// a fatal stop naming it: reading it could wait for ever or mislead.
InputFile open_input(const std::string& path);

// Opens `path` as open_input does; nothing there is a fatal stop with
// `unknown` (a format taking the path).
InputFile open_required(const std::string& path, const char* unknown = "\n File %s unknown\n");
