#include "tyx2html/tokenizer.h"

#include <algorithm>
#include <cstring>

namespace tyx2html {

namespace {

constexpr std::size_t kInputBuffer = 1 << 16;

bool isSpace(int c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

bool isKeywordChar(int c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

int hexValue(int c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

Lexer::Lexer(std::FILE* in) : in_(in), buffer_(kInputBuffer) {}

bool Lexer::refill() {
  if (eof_) return false;
  pos_ = 0;
  end_ = std::fread(buffer_.data(), 1, buffer_.size(), in_);
  if (end_ == 0) {
    eof_ = true;
    if (std::ferror(in_)) readFailed_ = true;
    return false;
  }
  return true;
}

int Lexer::get() {
  if (pos_ == end_ && !refill()) return EOF;
  const int c = static_cast<unsigned char>(buffer_[pos_++]);
  if (c == '\n') ++line_;
  return c;
}

int Lexer::peek() {
  if (pos_ == end_ && !refill()) return EOF;
  return static_cast<unsigned char>(buffer_[pos_]);
}

Token Lexer::next() {
  if (stringCut_) {
    stringCut_ = false;
    return {TokenKind::Error, "the input ends inside a string begun on this line", false,
            stringLine_};
  }
  if (inString_) return string(stringLine_);
  for (;;) {
    // White space, straight from the buffer.
    while (pos_ < end_) {
      const char ch = buffer_[pos_];
      if (ch == '\n') {
        ++line_;
      } else if (!isSpace(static_cast<unsigned char>(ch))) {
        break;
      }
      ++pos_;
    }
    int c = get();
    if (c == EOF) return {TokenKind::End, {}, false, line_};
    if (isSpace(c)) continue;
    const long line = line_;
    if (c == '#') {
      // To the end of the line; the line end itself is white space.
      for (;;) {
        const void* found = std::memchr(buffer_.data() + pos_, '\n', end_ - pos_);
        if (found != nullptr) {
          pos_ = static_cast<std::size_t>(static_cast<const char*>(found) - buffer_.data());
          break;
        }
        pos_ = end_;
        if (!refill()) break;
      }
      continue;
    }
    if (c == '<') {
      text_.clear();
      for (;;) {
        const std::size_t start = pos_;
        while (pos_ < end_ && isKeywordChar(static_cast<unsigned char>(buffer_[pos_]))) ++pos_;
        text_.append(buffer_.data() + start, pos_ - start);
        if (pos_ < end_ || !refill() || text_.size() >= kPiece) break;
      }
      return {TokenKind::Open, text_, false, line};
    }
    if (c == '>') return {TokenKind::Close, {}, false, line};
    if (c == '`') {
      text_.clear();
      return string(line);
    }
    return word(c, line);
  }
}

Token Lexer::word(int first, long line) {
  text_.clear();
  text_.push_back(static_cast<char>(first));
  for (;;) {
    const int c = peek();
    if (c == EOF || isSpace(c) || c == '<' || c == '>' || c == '`' || c == '#') break;
    text_.push_back(static_cast<char>(c));
    ++pos_;
    if (text_.size() >= kPiece) break;
  }
  return {TokenKind::Word, text_, false, line};
}

// Reads string bytes into text_ until the closing quote or a full piece.
Token Lexer::string(long line) {
  if (inString_) text_.clear();
  inString_ = false;
  for (;;) {
    if (text_.size() >= kPiece) {
      inString_ = true;
      stringLine_ = line;
      return {TokenKind::Text, text_, true, line};
    }
    // Plain bytes up to the next quote or backslash, taken from the buffer at once.
    if (pos_ < end_) {
      const char* start = buffer_.data() + pos_;
      const std::size_t room = std::min(end_ - pos_, kPiece - text_.size());
      std::size_t n = 0;
      while (n < room && start[n] != '\'' && start[n] != '\\') {
        if (start[n] == '\n') ++line_;
        ++n;
      }
      text_.append(start, n);
      pos_ += n;
      if (n == room) continue;
    }
    const int c = get();
    if (c == EOF) {
      // The bytes read so far are handed over; the error follows as the next token.
      stringCut_ = true;
      stringLine_ = line;
      return {TokenKind::Text, text_, false, line};
    }
    if (c == '\'') {
      // A quote closes the string when only white space stands between it and ">".
      text_.push_back('\'');
      const std::size_t quote = text_.size();
      int d;
      while (isSpace(d = peek())) text_.push_back(static_cast<char>(get()));
      if (d == '>') {
        text_.resize(quote - 1);
        return {TokenKind::Text, text_, false, line};
      }
      continue;
    }
    if (c != '\\') {
      // The bulk copy above stopped at the end of the buffer.
      text_.push_back(static_cast<char>(c));
      continue;
    }
    const int d = peek();
    if (d == 't') {
      ++pos_;
      text_.push_back('\t');
    } else if (d == '>' || d == '\\') {
      ++pos_;
      text_.push_back(static_cast<char>(d));
    } else if (d == 'x' || d == 'X') {
      ++pos_;
      int value = hexValue(peek());
      if (value < 0) {
        text_.push_back('\\');
        text_.push_back(static_cast<char>(d));
        continue;
      }
      ++pos_;
      const int low = hexValue(peek());
      if (low >= 0) {
        ++pos_;
        value = value * 16 + low;
      }
      if (peek() == ' ') ++pos_;
      if (value == 0xD4) value = '`';
      if (value == 0xD5) value = '\'';
      text_.push_back(static_cast<char>(value));
    } else {
      text_.push_back('\\');
    }
  }
}

}  // namespace tyx2html
