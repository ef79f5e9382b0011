// The files of one result, put in place together.
//
// A raw result is a raster, its descriptor and its header; each is written
// under a temporary name first (OutputFile). publish() then takes the
// folder's lock, so that two runs writing the same result take turns, checks
// that every final name can take its file, moves the old files aside, moves
// the new ones in and only then removes the old ones. On any failure every
// old file is put back as it was and the run stops naming the path at fault:
// the whole new set replaces the whole old set, or nothing changes.
// Interrupts wait until the set is in place.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "output_file.h"

class ResultSet {
 public:
  // A new file of the set, open for writing.
  OutputFile& add(const std::string& final_path);
  // A file an older result of this name may have left and this one does not
  // have: it goes when the set is put in place.
  void drop(const std::string& final_path);
  void publish();

 private:
  std::vector<std::unique_ptr<OutputFile>> files_;
  std::vector<std::string> dropped_;
};
