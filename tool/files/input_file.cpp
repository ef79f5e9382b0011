#include "input_file.h"

#include "fatal.h"
#include "platform.h"
#include "text.h"

InputFile open_input(const std::string& path) {
  FileKind kind = FileKind::missing;
  InputFile file(open_regular_file(path, kind));
  if (kind == FileKind::other) fatal_stop(text("\n File %s is not a regular file\n", path.c_str()));
  return file;
}

InputFile open_required(const std::string& path, const char* unknown) {
  InputFile file = open_input(path);
  if (!file) fatal_stop(text(unknown, path.c_str()));
  return file;
}
