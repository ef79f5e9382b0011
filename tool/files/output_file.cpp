#include "output_file.h"

#include <cerrno>
#include <cstring>

#include "fatal.h"
#include "platform.h"
#include "text.h"

std::string folder_of(const std::string& path) {
  // Windows takes '/' as a separator too.
  const std::size_t end = path.find_last_of(kPathSeparator == '/' ? "/" : "\\/");
  return end == std::string::npos ? std::string() : path.substr(0, end + 1);
}

namespace {
constexpr int kTemporaryNamesTried = 1000;
}  // namespace

std::FILE* create_temporary_file(const std::string& folder, const char* extension, std::string& path) {
  for (int attempt = 0; attempt < kTemporaryNamesTried; ++attempt) {
    path = text("%s.mesacrop-%ld-%d%s", folder.c_str(), process_number(), attempt, extension);
    std::FILE* f = create_new_file(path);
    if (f != nullptr || errno != EEXIST) return f;
  }
  return nullptr;
}

void cannot_create(const std::string& final_path, int error) {
  if (error == EEXIST) {
    fatal_stop(text("\n\n\tCannot create a temporary file for %s in its folder: the %d names tried are all "
                    "taken\n",
                    final_path.c_str(), kTemporaryNamesTried));
  }
  fatal_stop(text("\n\n\tCannot create the file %s (%s)\n", final_path.c_str(), std::strerror(error)), error);
}

OutputFile::~OutputFile() { discard(); }

void OutputFile::discard() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  if (!temp_path_.empty()) remove_file(temp_path_);
  moved_into_place();
}

void OutputFile::moved_into_place() {
  temp_path_.clear();
  forget_temporary(slot_);
  slot_ = -1;
  if (!private_folder_.empty()) remove_folder(private_folder_);
  private_folder_.clear();
  forget_temporary(folder_slot_);
  folder_slot_ = -1;
}

void OutputFile::create_for_library(const std::string& final_path) {
  discard();
  final_path_ = final_path;
  closed_ = false;
  const std::string folder = folder_of(final_path);
  for (int attempt = 0; private_folder_.empty(); ++attempt) {
    const std::string candidate = text("%s.mesacrop-%ld-%d.dir", folder.c_str(), process_number(), attempt);
    if (create_private_folder(candidate)) {
      private_folder_ = candidate;
    } else if (errno != EEXIST || attempt >= kTemporaryNamesTried) {
      cannot_create(final_path, errno);
    }
  }
  temp_path_ = private_folder_ + kPathSeparator + final_path.substr(folder.size());
  slot_ = keep_temporary(temp_path_);  // the file goes first, then its folder
  folder_slot_ = keep_temporary(private_folder_);
}

void OutputFile::fail(const char* action) {
  const int error = errno;
  discard();
  fatal_stop(text("\n\n\tCannot %s the file %s (%s)\n", action, final_path_.c_str(), std::strerror(error)), error);
}

void OutputFile::create(const std::string& final_path) {
  discard();
  final_path_ = final_path;
  closed_ = false;
  std::string temp_path;
  file_ = create_temporary_file(folder_of(final_path), ".tmp", temp_path);
  if (file_ == nullptr) cannot_create(final_path, errno);
  temp_path_ = temp_path;
  slot_ = keep_temporary(temp_path_);
}

void OutputFile::write(const void* data, std::size_t bytes) {
  if (bytes == 0) return;
  if (std::fwrite(data, 1, bytes, file_) != bytes) fail("write");
}

void OutputFile::close(bool to_disk) {
  if (closed_) return;
  if (!private_folder_.empty()) {
    // The library has written and closed it: on the disk, when asked.
    closed_ = true;
    if (!to_disk) return;
    FileKind kind = FileKind::missing;
    std::FILE* written = open_regular_file(temp_path_, kind);
    if (written == nullptr) fail("write");
    const bool flushed = flush_to_disk(written);
    std::fclose(written);
    if (!flushed) fail("write");
    return;
  }
  std::FILE* f = file_;
  file_ = nullptr;
  const bool flushed = to_disk ? flush_to_disk(f) : std::fflush(f) == 0;
  const int flush_error = errno;
  const bool closed = std::fclose(f) == 0;
  if (!flushed || !closed) {
    if (!flushed) errno = flush_error;
    fail("write");
  }
  closed_ = true;
}

void OutputFile::publish() {
  close();
  if (!replace_file(temp_path_, final_path_)) fail("replace");
  moved_into_place();
}
