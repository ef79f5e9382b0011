#include "result_set.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "fatal.h"
#include "input_file.h"
#include "platform.h"
#include "text.h"

namespace {

// A final name of the set, and the second name under which its old file is
// kept until the new one is in place ("" when nothing stood there).
struct Target {
  std::string final_path, kept_path;
  bool existed = false;
};

[[noreturn]] void cannot_place(const std::string& path, int error) {
  fatal_stop(text("\n\n\tCannot put the file %s in place (%s): the earlier result is kept as it was\n",
                  path.c_str(), std::strerror(error)));
}

// A copy of `path` under a new ".old" name, where the file system has no
// links. Its path, or "" with errno.
std::string copy_aside(const std::string& folder, const std::string& path) {
  std::string copy_path;
  std::FILE* copy = create_temporary_file(folder, ".old", copy_path);
  if (copy == nullptr) return "";
  FileKind kind = FileKind::missing;
  InputFile original(open_regular_file(path, kind));
  bool copied = original != nullptr;
  char chunk[1 << 16];
  for (std::size_t got; copied && (got = std::fread(chunk, 1, sizeof chunk, original.get())) > 0;) {
    copied = std::fwrite(chunk, 1, got, copy) == got;
  }
  copied = copied && !std::ferror(original.get());
  const int error = errno;
  copied = std::fclose(copy) == 0 && copied;
  if (!copied) {
    remove_file(copy_path);
    errno = error;
    return "";
  }
  return copy_path;
}

// A second name for the old file at `path`: a hard link, or a copy where
// the file system has none. "" with errno when neither can be made.
std::string keep_aside(const std::string& folder, const std::string& path) {
  constexpr int kNamesTried = 1000;
  for (int attempt = 0; attempt < kNamesTried; ++attempt) {
    const std::string aside = text("%s.mesacrop-%ld-%d.old", folder.c_str(), process_number(), attempt);
    if (link_file(path, aside)) return aside;
    if (errno != EEXIST) return copy_aside(folder, path);
  }
  errno = EEXIST;
  return "";
}

// The journal of a set being put in place: every final name and the second
// name of its old file. A run that finds the journal of a run that was
// killed meanwhile puts the old set back whole (names are written with their
// length, so that any byte may stand in them).
std::string journal_text(const std::vector<Target>& targets, const std::string& folder) {
  std::string out;
  for (const Target& t : targets) {
    const std::string final_name = t.final_path.substr(folder.size());
    const std::string kept_name = t.kept_path.empty() ? "" : t.kept_path.substr(folder.size());
    out += std::to_string(final_name.size()) + ":" + final_name + " " + std::to_string(kept_name.size()) + ":" +
           kept_name + "\n";
  }
  return out;
}

// Reads a journal back; false when it is not one.
bool parse_journal(const std::string& content, const std::string& folder, std::vector<Target>& targets) {
  std::size_t at = 0;
  auto name = [&](std::string& out) {
    char* end = nullptr;
    const unsigned long long length = std::strtoull(content.c_str() + at, &end, 10);
    const std::size_t start = static_cast<std::size_t>(end - content.c_str()) + 1;
    if (end == content.c_str() + at || *end != ':' || length > content.size() - start) return false;
    out = content.substr(start, length);
    at = start + length + 1;  // and its blank or line end
    return true;
  };
  while (at < content.size()) {
    Target t;
    std::string final_name, kept_name;
    if (!name(final_name) || !name(kept_name) || final_name.empty() ||
        final_name.find_first_of("/\\") != std::string::npos || kept_name.find_first_of("/\\") != std::string::npos) {
      return false;
    }
    t.final_path = folder + final_name;
    if (!kept_name.empty()) t.kept_path = folder + kept_name;
    targets.push_back(t);
  }
  return true;
}

// Puts the old set back: each final name that had a file gets it back, each
// that had none loses what the set put there.
void roll_back(const std::vector<Target>& targets) {
  for (auto it = targets.rbegin(); it != targets.rend(); ++it) {
    if (!it->kept_path.empty()) {
      replace_file(it->kept_path, it->final_path);
    } else {
      remove_file(it->final_path);
    }
  }
}

void remove_kept(const std::vector<Target>& targets) {
  for (const Target& t : targets) {
    if (!t.kept_path.empty()) remove_file(t.kept_path);
  }
}

std::string read_small_file(const std::string& path) {
  FileKind kind = FileKind::missing;
  InputFile f(open_regular_file(path, kind));
  if (!f) return "";
  std::string content;
  char chunk[4096];
  for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, f.get())) > 0;) content.append(chunk, got);
  return content;
}

// The process number and extension of a file of the tool's own
// (".mesacrop-PID-N.tmp", ".old" or ".set"); false for any other name.
bool tool_file(const std::string& name, long& process, std::string& extension) {
  const std::string prefix = ".mesacrop-";
  if (name.rfind(prefix, 0) != 0) return false;
  char* end = nullptr;
  process = std::strtol(name.c_str() + prefix.size(), &end, 10);
  if (end == name.c_str() + prefix.size() || *end != '-') return false;
  const char* digits = end + 1;
  std::strtol(digits, &end, 10);
  if (end == digits) return false;
  extension = end;
  return extension == ".tmp" || extension == ".old" || extension == ".set" || extension == ".dir";
}

}  // namespace

OutputFile& ResultSet::add(const std::string& final_path) {
  files_.push_back(std::make_unique<OutputFile>());
  files_.back()->create(final_path);
  return *files_.back();
}

OutputFile& ResultSet::add_for_library(const std::string& final_path) {
  files_.push_back(std::make_unique<OutputFile>());
  files_.back()->create_for_library(final_path);
  return *files_.back();
}

void ResultSet::drop(const std::string& final_path) { dropped_.push_back(final_path); }

std::string ResultSet::publish() {
  if (files_.empty()) return "";
  const std::string folder = folder_of(files_.front()->final_path());
  FolderLock lock(folder);
  InterruptsDeferred deferred;
  const std::string notes = recover_interrupted_results(folder);

  std::vector<Target> targets;
  for (auto& file : files_) targets.push_back({file->final_path(), "", false});
  for (const std::string& path : dropped_) targets.push_back({path, "", false});
  bool replaces = false;
  for (Target& t : targets) {
    const FileKind kind = file_kind(t.final_path);
    if (kind == FileKind::other) {
      fatal_stop(text("\n\n\tCannot put the file %s in place: something that is not a regular file stands there; "
                      "the earlier result is kept as it was\n",
                      t.final_path.c_str()));
    }
    t.existed = kind != FileKind::missing;
    replaces = replaces || t.existed;
  }
  // A new file that replaces an old one is on the disk before its name
  // moves, so that a power loss leaves the old file or the new one, never an
  // empty one. A set that replaces nothing loses nothing: it is not flushed.
  for (std::size_t k = 0; k < files_.size(); ++k) files_[k]->close(targets[k].existed);

  // Each old file keeps a second name until the new set is in place: every
  // final name always holds a whole file, and a failure puts the old ones back.
  for (Target& t : targets) {
    if (!t.existed) continue;
    t.kept_path = keep_aside(folder, t.final_path);
    if (t.kept_path.empty()) {
      const int error = errno;
      remove_kept(targets);
      cannot_place(t.final_path, error);
    }
  }
  std::string journal_path;
  std::FILE* journal = create_temporary_file(folder, ".set", journal_path);
  const std::string journal_content = journal_text(targets, folder);
  const bool journaled = journal != nullptr &&
                         std::fwrite(journal_content.data(), 1, journal_content.size(), journal) == journal_content.size() &&
                         (!replaces || (flush_to_disk(journal) && flush_folder(folder)));
  const int journal_error = errno;
  if (journal != nullptr) std::fclose(journal);
  if (!journaled) {
    if (journal != nullptr) remove_file(journal_path);
    remove_kept(targets);
    cannot_place(targets.front().final_path, journal_error);
  }

  for (std::size_t k = 0; k < files_.size(); ++k) {
    OutputFile& file = *files_[k];
    if (!replace_file(file.temporary_path(), file.final_path())) {
      const int error = errno;
      roll_back(std::vector<Target>(targets.begin(), targets.begin() + static_cast<std::ptrdiff_t>(k)));
      remove_file(journal_path);
      remove_kept(targets);
      cannot_place(file.final_path(), error);
    }
    file.moved_into_place();
  }
  for (std::size_t k = files_.size(); k < targets.size(); ++k) {
    if (targets[k].existed) remove_file(targets[k].final_path);
  }
  if (replaces) flush_folder(folder);
  remove_file(journal_path);  // from here on, the new set is the result
  remove_kept(targets);
  return notes;
}

std::string recover_interrupted_results(const std::string& folder) {
  std::vector<std::string> journals, leftovers;
  for (const std::string& name : folder_entries(folder)) {
    long process = 0;
    std::string extension;
    if (!tool_file(name, process, extension) || process_is_running(process)) continue;
    (extension == ".set" ? journals : leftovers).push_back(name);
  }
  std::string notes;
  // Only what this user's runs can have left is taken: a link or another
  // user's entry under one of the tool's names stays, and is said.
  std::vector<std::string> refused;
  for (const std::string& name : journals) {
    if (leftover_kind(folder + name) != LeftoverKind::own_file) {
      refused.push_back(name);
      continue;
    }
    std::vector<Target> targets;
    if (parse_journal(read_small_file(folder + name), folder, targets)) {
      roll_back(targets);
      notes += text("\n\tA run was stopped while it put its result in place in %s: the files it replaced are "
                    "back as they were (%s)",
                    folder.c_str(), targets.front().final_path.substr(folder.size()).c_str());
    }
    remove_file(folder + name);
  }
  int removed = 0;
  for (const std::string& name : leftovers) {
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".dir") == 0) {
      // A library's private folder, and the files it was writing.
      std::string left;
      if (leftover_kind(folder + name) != LeftoverKind::own_folder) {
        refused.push_back(name);
      } else if (remove_leftover_folder(folder + name, left)) {
        ++removed;
      } else if (!left.empty()) {
        refused.push_back(name + kPathSeparator + left);
      }
    } else {
      removed += remove_file(folder + name) ? 1 : 0;
    }
  }
  if (removed > 0) {
    notes += text("\n\tRemoved %d temporary file%s left in %s by a run that was stopped", removed,
                  removed == 1 ? "" : "s", folder.c_str());
  }
  for (const std::string& name : refused) {
    notes += text("\n\tWarning: %s%s is named like a file the tool leaves, but it is a link, another user's or not "
                  "a regular file: it is left as it is",
                  folder.c_str(), name.c_str());
  }
  return notes.empty() ? notes : notes + "\n";
}
