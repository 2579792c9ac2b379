// The tokenizer of a Tyx file: statements, bare values, backquoted strings
// with their escapes, and comments.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace tyx2html {

enum class TokenKind {
  Open,   // "<" and a keyword (text: the keyword, maybe empty)
  Close,  // ">"
  Word,   // a bare value: a number, a dimension, a name
  Text,   // a piece of a backquoted string, escapes resolved
  Error,  // text: what is wrong; reading goes on
  End,
};

struct Token {
  TokenKind kind = TokenKind::End;
  std::string_view text;  // valid until the next token is read
  bool more = false;      // Text: another piece of the same string follows
  long line = 0;          // the line the token began on
};

// Splits a Tyx file into tokens. Comments ("#" to the end of the line outside
// strings) and white space are dropped. A string runs from a backquote to a
// straight quote that is followed, after any white space, by ">"; its escapes are
// \t (tab), \> , \\ and \xHH followed by one optional blank (\xD4 is a
// backquote, \xD5 a straight quote, any other HH that code); a backslash before
// anything else is kept. Long strings come in pieces of at most kPiece bytes.
class Lexer {
 public:
  static constexpr std::size_t kPiece = 16384;

  explicit Lexer(std::FILE* in);
  Token next();
  long line() const { return line_; }
  bool readFailed() const { return readFailed_; }

 private:
  int get();
  int peek();
  bool refill();
  Token word(int first, long line);
  Token string(long line);

  std::FILE* in_;
  std::vector<char> buffer_;
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
  bool eof_ = false;
  bool readFailed_ = false;
  long line_ = 1;
  bool inString_ = false;   // a string piece was returned and the string goes on
  bool stringCut_ = false;  // the input ended inside a string
  long stringLine_ = 0;
  std::string text_;
};

}  // namespace tyx2html
