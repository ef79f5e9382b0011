#include "token_reader.h"

#include <algorithm>
#include <cstring>

#include "fatal.h"
#include "input_file.h"
#include "platform.h"
#include "text.h"

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

}  // namespace

TokenReader::TokenReader(std::FILE* f, std::string path, std::size_t chunk_bytes)
    : file_(f), path_(std::move(path)) {
  // A small file needs no more than its own length (and a word of it always fits).
  const std::uint64_t whole = file_length(f) + 1;
  buffer_.resize(whole < chunk_bytes ? std::max<std::size_t>(static_cast<std::size_t>(whole), 4096) : chunk_bytes);
}

bool TokenReader::refill() {
  std::memmove(buffer_.data(), buffer_.data() + pos_, end_ - pos_);
  end_ -= pos_;
  pos_ = 0;
  if (end_ == buffer_.size()) {
    fatal_stop(text("\n\n\tThe file %s holds a word of more than %zu characters\n", path_.c_str(),
                    buffer_.size()));
  }
  const std::size_t got = std::fread(buffer_.data() + end_, 1, buffer_.size() - end_, file_);
  if (got == 0) {
    if (std::ferror(file_)) fatal_stop(text("\n\n\tThe file %s could not be read\n", path_.c_str()));
    eof_ = true;
  }
  end_ += got;
  consumed_ += got;
  return got > 0;
}

std::string_view TokenReader::next() {
  if (has_unread_) {
    has_unread_ = false;
    return unread_;
  }
  for (;;) {
    while (pos_ < end_ && is_blank(buffer_[pos_])) ++pos_;
    if (pos_ == end_) {
      if (eof_ || !refill()) return {};
      continue;
    }
    std::size_t stop = pos_;
    while (stop < end_ && !is_blank(buffer_[stop])) ++stop;
    if (stop < end_ || eof_) {
      std::string_view token(buffer_.data() + pos_, stop - pos_);
      pos_ = stop;
      return token;
    }
    refill();  // the token may go on in the next chunk: read on and scan it again
  }
}

void TokenReader::unread(std::string_view token) {
  unread_.assign(token);
  has_unread_ = true;
}

std::uint64_t TokenReader::bytes_left() const {
  const std::uint64_t length = file_length(file_);
  const std::uint64_t read_total = consumed_ - (end_ - pos_);
  const std::uint64_t left = length > read_total ? length - read_total : 0;
  return left + (has_unread_ ? unread_.size() : 0);
}
