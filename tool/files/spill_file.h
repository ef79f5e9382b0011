// The cells of a grid as parsed, kept in a hidden temporary file of the run's
// folder (not in /tmp, which is often memory), so that the later passes read
// them back instead of parsing the text again: 8 bytes a cell, native doubles.
// The file goes with the object, on a fatal stop too, and on an interrupt.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

class SpillFile {
 public:
  SpillFile() = default;
  SpillFile(const SpillFile&) = delete;
  SpillFile& operator=(const SpillFile&) = delete;
  ~SpillFile();

  // Starts the file in `folder`. False, and nothing left behind, when it
  // cannot be made: the grid is parsed again instead.
  bool create(const std::string& folder);
  // Appends values; once a write fails (a full disk), the file is given up.
  void write(const double* values, std::size_t count);
  // True when every value written is in the file.
  bool usable() const { return file_ != nullptr; }
  // Reads the next `count` values, from the first one after rewind().
  bool read(double* values, std::size_t count);
  void rewind();
  // Removes the file: the grid is parsed again instead.
  void discard();

 private:
  std::FILE* file_ = nullptr;
  std::string path_;
  int slot_ = -1;
};
