#include "input_file.h"

#include <cerrno>
#include <cstring>

#include "fatal.h"
#include "text.h"

InputFile open_input(const std::string& path) {
  FileKind kind = FileKind::missing;
  InputFile file(open_regular_file(path, kind));
  if (kind == FileKind::other) fatal_stop(text("\n File %s is not a regular file\n", path.c_str()));
  if (kind == FileKind::unreadable) {
    fatal_stop(text("\n File %s cannot be opened (%s)\n", path.c_str(), std::strerror(errno)));
  }
  return file;
}

InputFile open_required(const std::string& path, const char* unknown) {
  InputFile file = open_input(path);
  if (!file) fatal_stop(text(unknown, path.c_str()));
  return file;
}

void require_input(const std::string& path, const char* unknown) {
  const FileKind kind = file_kind(path);
  if (kind == FileKind::missing) fatal_stop(text(unknown, path.c_str()));
  if (kind == FileKind::other) fatal_stop(text("\n File %s is not a regular file\n", path.c_str()));
  if (kind == FileKind::unreadable || !can_read(path)) {
    fatal_stop(text("\n File %s cannot be opened (%s)\n", path.c_str(), std::strerror(errno)));
  }
}

namespace {

void stop_changed(const std::string& path) {
  fatal_stop(text("\n\n\tThe file %s changed during the run: it was read when the run began, and is no longer "
                  "the same; run again on the file as it is now\n",
                  path.c_str()));
}

}  // namespace

void check_unchanged_path(const std::string& path, const FileStamp& loaded) {
  if (path_stamp(path) != loaded) stop_changed(path);
}

void check_unchanged(std::FILE* f, const std::string& path, const FileStamp& loaded) {
  if (file_stamp(f) != loaded) stop_changed(path);
}
