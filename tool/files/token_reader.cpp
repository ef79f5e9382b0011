#include "token_reader.h"

#include <algorithm>
#include <cstring>

#include "fatal.h"
#include "input_file.h"
#include "number_text.h"
#include "platform.h"
#include "text.h"

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
    fatal_stop(text("\n\n\tThe file %s holds a word of more than %llu characters\n", path_.c_str(),
                    static_cast<unsigned long long>(buffer_.size())));
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
  // The view points into the chunk in hand, which has not moved since.
  pos_ = static_cast<std::size_t>(token.data() - buffer_.data());
}

std::string_view TokenReader::next_tokens() {
  for (;;) {
    if (pos_ == end_ && (eof_ || !refill())) return {};
    std::size_t last_blank = end_;
    while (last_blank > pos_ && !is_blank(buffer_[last_blank - 1])) --last_blank;
    const std::size_t stop = eof_ ? end_ : last_blank;
    if (stop > pos_) {
      std::string_view tokens(buffer_.data() + pos_, stop - pos_);
      pos_ = stop;
      return tokens;
    }
    refill();  // one token fills what is in hand: read on
  }
}

std::uint64_t TokenReader::bytes_left() const {
  const std::uint64_t length = file_length(file_);
  const std::uint64_t read_total = consumed_ - (end_ - pos_);
  const std::uint64_t left = length > read_total ? length - read_total : 0;
  return left;
}
