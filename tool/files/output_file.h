// Result files, written so that nothing is ever left half-written.
//
// An OutputFile writes under a short hidden temporary name in the folder of
// its final path, kept among the files an interrupt removes. close()
// completes the temporary file; publish() puts it in place under the final
// name. A file that is dropped before it is in place is removed, so a failed
// or interrupted run leaves no partial result and an existing file of the
// final name intact. Every failure to create, write or close is a fatal stop
// naming the final path. A result of several files is put in place by a
// ResultSet (result_set.h), all of them or none.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <utility>

class OutputFile {
 public:
  OutputFile() = default;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile();

  void create(const std::string& final_path);
  // For a library that writes the file by its name itself (GDAL): a private
  // folder of the final path's folder, which only this user may enter, is
  // made to hold it, and library_path() is the name to write.
  void create_for_library(const std::string& final_path);
  const std::string& library_path() const { return temp_path_; }
  void write(const void* data, std::size_t bytes);
  void write(const std::string& text) { write(text.data(), text.size()); }
  // Completes the temporary file; with `to_disk`, also writes it to the disk
  // (it is about to replace an older file).
  void close(bool to_disk = false);
  // Closes the file and renames it onto its final name.
  void publish();

  const std::string& final_path() const { return final_path_; }
  const std::string& temporary_path() const { return temp_path_; }
  // The temporary file was moved away by its owner: nothing is left to remove.
  void moved_into_place();

 private:
  [[noreturn]] void fail(const char* action);
  void discard();

  std::FILE* file_ = nullptr;
  std::string final_path_;
  std::string temp_path_;
  int slot_ = -1;  // the interrupt clean-up's slot of the temporary file
  std::string private_folder_;  // the library's file lies in it
  int folder_slot_ = -1;
  bool closed_ = false;
};

// The folder part of a path, ending in its separator ("" when there is none).
std::string folder_of(const std::string& path);

// Creates a file of a new short hidden name ending in `extension` in `folder`
// (ending in a separator), open for writing, and sets `path` to its path.
// Null with errno when none can be made; EEXIST then means that every name
// tried was taken. New results are written under ".tmp" names, old files set
// aside under ".old" names, so neither can ever take the other's name.
std::FILE* create_temporary_file(const std::string& folder, const char* extension, std::string& path);

// The fatal stop for a file that could not be made in place of `final_path`.
[[noreturn]] void cannot_create(const std::string& final_path, int error);
