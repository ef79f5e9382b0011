#include "result_set.h"

#include <cerrno>
#include <cstring>

#include "fatal.h"
#include "platform.h"
#include "text.h"

namespace {

struct SetAside {
  std::string final_path, aside_path;
};

// Puts every set-aside file back under its own name.
void put_back(const std::vector<SetAside>& aside) {
  for (auto it = aside.rbegin(); it != aside.rend(); ++it) replace_file(it->aside_path, it->final_path);
}

[[noreturn]] void cannot_place(const std::string& path, int error) {
  fatal_stop(text("\n\n\tCannot put the file %s in place (%s): the earlier result is kept as it was\n",
                  path.c_str(), std::strerror(error)));
}

}  // namespace

OutputFile& ResultSet::add(const std::string& final_path) {
  files_.push_back(std::make_unique<OutputFile>());
  files_.back()->create(final_path);
  return *files_.back();
}

void ResultSet::drop(const std::string& final_path) { dropped_.push_back(final_path); }

void ResultSet::publish() {
  if (files_.empty()) return;
  for (auto& file : files_) file->close();
  std::vector<std::string> targets = dropped_;
  for (auto& file : files_) targets.push_back(file->final_path());

  const std::string folder = folder_of(files_.front()->final_path());
  FolderLock lock(folder);
  InterruptsDeferred deferred;
  for (const std::string& target : targets) {
    if (file_kind(target) == FileKind::other) {
      fatal_stop(text("\n\n\tCannot put the file %s in place: something that is not a regular file stands there; "
                      "the earlier result is kept as it was\n",
                      target.c_str()));
    }
  }

  // The old files go aside first, under names of their own.
  std::vector<SetAside> aside;
  for (const std::string& target : targets) {
    if (file_kind(target) == FileKind::missing) continue;
    std::string aside_path;
    std::FILE* placeholder = create_temporary_file(folder, ".old", aside_path);
    if (placeholder == nullptr) {
      const int error = errno;
      put_back(aside);
      cannot_create(target, error);
    }
    std::fclose(placeholder);
    if (!replace_file(target, aside_path)) {
      const int error = errno;
      remove_file(aside_path);
      put_back(aside);
      cannot_place(target, error);
    }
    aside.push_back({target, aside_path});
  }

  for (std::size_t k = 0; k < files_.size(); ++k) {
    OutputFile& file = *files_[k];
    if (!replace_file(file.temporary_path(), file.final_path())) {
      const int error = errno;
      for (std::size_t placed = 0; placed < k; ++placed) remove_file(files_[placed]->final_path());
      put_back(aside);
      cannot_place(file.final_path(), error);
    }
    file.moved_into_place();
  }
  for (const SetAside& old : aside) remove_file(old.aside_path);
}
