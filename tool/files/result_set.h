// The files of one result, put in place together.
//
// A raw result is a raster, its descriptor, its header, its report and its
// coordinate system; each is written under a temporary name first
// (OutputFile). publish() then takes the folder's lock, so that two runs
// writing the same result take turns, checks that every final name can take
// its file, keeps a second name (a hard link, or a copy) for each old file,
// writes a journal of the set, and renames each new file straight over its
// final name: at every moment each final name holds a whole file, old or new.
// Then the journal goes, and the second names. A new file that replaces an
// old one is on the disk (fsync) before the rename, and the folder after it.
// On any failure every old file is put back as it was and the run stops
// naming the path at fault. A run killed meanwhile (SIGKILL, a power loss)
// leaves its journal; the next run in that folder finds it and puts the old
// set back whole (recover_interrupted_results). Interrupts wait until the
// set is in place.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "output_file.h"

class ResultSet {
 public:
  // A new file of the set, open for writing.
  OutputFile& add(const std::string& final_path);
  // A new file of the set that a library writes by its name (library_path()).
  OutputFile& add_for_library(const std::string& final_path);
  // A file an older result of this name may have left and this one does not
  // have: it goes when the set is put in place.
  void drop(const std::string& final_path);
  // Returns what was found and put right in the folder first (see below), or "".
  std::string publish();

 private:
  std::vector<std::unique_ptr<OutputFile>> files_;
  std::vector<std::string> dropped_;
};

// Puts right what runs that were killed left in `folder` (ending in a
// separator): a result set half in place goes back to the old set, and
// their temporary files go. Files of runs still going are left alone. The
// caller holds the folder's lock. Returns what was done, for the user, or "".
std::string recover_interrupted_results(const std::string& folder);
