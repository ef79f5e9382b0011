// Temporary folders and small files for the tests.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

using Bytes = std::vector<unsigned char>;

// A fresh folder under the system's temporary directory, removed with all it
// holds when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const {
    return path_ + static_cast<char>(std::filesystem::path::preferred_separator) + name;
  }

 private:
  std::string path_;
};

void write_file(const std::string& path, const std::string& content);
void write_bytes(const std::string& path, const Bytes& content);
std::string read_file(const std::string& path);
bool file_exists(const std::string& path);
// Names of the entries of a folder, sorted.
std::vector<std::string> list_folder(const std::string& path);
// The tool's temporary files (".mesacrop-...") in a folder.
std::vector<std::string> temporaries_in(const std::string& dir);

// A file of an earlier result of the tool, by its name: what mesacrop
// writes begins so (a report, a descriptor, a header), the rest is "old".
std::string earlier_result_file(const std::string& name);

std::string as_text(const Bytes& bytes);
// How many times `needle` stands in `haystack`.
int occurrences(const std::string& haystack, const std::string& needle);

// Little-endian cells of raw rasters.
Bytes le16(const std::vector<unsigned>& values);
Bytes le32(const std::vector<std::int32_t>& values);

// An uncompressed bitmap written byte by byte: 8 bits with a grey palette
// (bits 8) or 24 bits (bits 24, three bytes per pixel in `pixels`). `pixels`
// holds the rows top row first, without padding.
Bytes bitmap_bytes(int cols, int lines, int bits, const std::vector<unsigned char>& pixels);
