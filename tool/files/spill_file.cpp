#include "spill_file.h"

#include "output_file.h"
#include "platform.h"

SpillFile::~SpillFile() { discard(); }

void SpillFile::discard() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  if (!path_.empty()) remove_file(path_);
  path_.clear();
  forget_temporary(slot_);
  slot_ = -1;
}

bool SpillFile::create(const std::string& folder) {
  discard();
  // Written and read back through the stream of its exclusive creation only:
  // whatever comes to stand under its name meanwhile is never opened.
  file_ = create_temporary_file(folder, ".tmp", path_);
  if (file_ == nullptr) {
    path_.clear();
    return false;
  }
  slot_ = keep_temporary(path_);
  return true;
}

void SpillFile::write(const double* values, std::size_t count) {
  if (file_ != nullptr && std::fwrite(values, sizeof(double), count, file_) != count) discard();
}

void SpillFile::rewind() {
  if (file_ != nullptr && (std::fflush(file_) != 0 || std::fseek(file_, 0, SEEK_SET) != 0)) discard();
}

bool SpillFile::read(double* values, std::size_t count) {
  return file_ != nullptr && std::fread(values, sizeof(double), count, file_) == count;
}
