// Blank-separated tokens of a text file, read in large chunks.
//
// Blanks are those of scanf: space, tab, line feed, carriage return, vertical
// tab and form feed. Line ends carry no meaning. The file is never held whole
// in memory: one chunk at a time.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

class TokenReader {
 public:
  TokenReader(std::FILE* f, std::string path, std::size_t chunk_bytes = 2u << 20);

  // The next token, or an empty view at the end of the file. The view stays
  // valid until the next call.
  std::string_view next();
  // Gives back the token just read: the next call returns it again.
  void unread(std::string_view token);
  // The text after the tokens read so far, up to the last blank of the chunk
  // in hand (so no token is cut), or to the end of the file; empty at the
  // end. The view stays valid until the next call.
  std::string_view next_tokens();
  // How many bytes of the file have not been read yet.
  std::uint64_t bytes_left() const;
  // The most that next_tokens() returns at once.
  std::size_t chunk_bytes() const { return buffer_.size(); }

 private:
  bool refill();

  std::FILE* file_;
  std::string path_;
  std::vector<char> buffer_;
  std::size_t pos_ = 0, end_ = 0;
  bool eof_ = false;
  std::uint64_t consumed_ = 0;  // bytes taken from the file so far
};
