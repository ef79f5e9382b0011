// Input files: opened by path, closed when their handle goes.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "platform.h"

struct CloseFile {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using InputFile = std::unique_ptr<std::FILE, CloseFile>;

// Opens `path` for reading; null when nothing stands there. Anything that
// stands there and is not a regular file (a folder, a FIFO, a device) is a
// fatal stop naming it: reading it could wait for ever or mislead; so is a
// file the system will not open (permissions...), with the system's reason:
// it exists, and must not be taken as missing.
InputFile open_input(const std::string& path);

// Opens `path` as open_input does; nothing there is a fatal stop with
// `unknown` (a format taking the path).
InputFile open_required(const std::string& path, const char* unknown = "\n File %s unknown\n");

// The same checks and messages as open_required, without opening the file:
// for a library that opens it itself.
void require_input(const std::string& path, const char* unknown = "\n File %s unknown\n");

// Stops the run, naming `path`, when the open file `f` is no longer the file
// whose stamp was taken when it was loaded: the passes over it would read
// other cells than those its figures came from.
void check_unchanged(std::FILE* f, const std::string& path, const FileStamp& loaded);
// The same for a file a library holds open: by its path.
void check_unchanged_path(const std::string& path, const FileStamp& loaded);
