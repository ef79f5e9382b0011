#include "output_file.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

#include "fatal.h"
#include "text.h"

OutputFile::~OutputFile() { discard(); }

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
  if (this != &other) {
    discard();
    file_ = std::exchange(other.file_, nullptr);
    final_path_ = std::move(other.final_path_);
    temp_path_ = std::exchange(other.temp_path_, std::string());
    closed_ = other.closed_;
  }
  return *this;
}

void OutputFile::discard() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  if (!temp_path_.empty()) std::remove(temp_path_.c_str());
  temp_path_.clear();
}

void OutputFile::fail(const char* action) {
  const int error = errno;
  discard();
  fatal_stop(text("\n\n\tCannot %s the file %s (%s)\n", action, final_path_.c_str(), std::strerror(error)));
}

void OutputFile::create(const std::string& final_path) {
  discard();
  final_path_ = final_path;
  closed_ = false;
  // O_EXCL on a name of our own: never write through someone else's file.
  for (int attempt = 0; attempt < 1000; ++attempt) {
    const std::string candidate = text("%s.part%ld-%d", final_path.c_str(), static_cast<long>(getpid()), attempt);
    const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
    if (fd >= 0) {
      temp_path_ = candidate;
      file_ = fdopen(fd, "wb");
      if (file_ == nullptr) {
        ::close(fd);
        fail("create");
      }
      return;
    }
    if (errno != EEXIST) fail("create");
  }
  fail("create");
}

void OutputFile::write(const void* data, std::size_t bytes) {
  if (bytes == 0) return;
  if (std::fwrite(data, 1, bytes, file_) != bytes) fail("write");
}

void OutputFile::close() {
  if (closed_) return;
  std::FILE* f = file_;
  file_ = nullptr;
  const bool flushed = std::fflush(f) == 0;
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
  if (std::rename(temp_path_.c_str(), final_path_.c_str()) != 0) fail("replace");
  temp_path_.clear();
}
