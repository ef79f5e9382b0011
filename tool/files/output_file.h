// Result files, written so that nothing is ever left half-written.
//
// An OutputFile writes under a temporary name in the folder of its final path.
// close() completes the temporary file; publish() renames it over the final
// name. A file that is dropped before publish() is removed, so a failed run
// leaves no partial result and an existing file of the final name intact.
// Every failure to create, write, close or rename is a fatal stop naming the
// final path.
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
  OutputFile(OutputFile&& other) noexcept { *this = std::move(other); }
  OutputFile& operator=(OutputFile&& other) noexcept;
  ~OutputFile();

  void create(const std::string& final_path);
  void write(const void* data, std::size_t bytes);
  void write(const std::string& text) { write(text.data(), text.size()); }
  void close();
  void publish();
  const std::string& path() const { return final_path_; }

 private:
  [[noreturn]] void fail(const char* action);
  void discard();

  std::FILE* file_ = nullptr;
  std::string final_path_;
  std::string temp_path_;
  bool closed_ = false;
};
