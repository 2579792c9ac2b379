// The Tyx tokenizer and reader of tyx2html: escapes, comments, nesting,
// pieces of long strings and dimensions. (The formats it reads, the text it
// hands over, what it skips, broken input and values out of range show in the
// page cases.)
#include "tyx2html/reader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace tyx2html {
namespace {

// A read-only stream over a copy of the text.
struct TextFile {
  explicit TextFile(std::string_view text) : copy(text) {
    file = copy.empty() ? std::fopen("/dev/null", "r") : fmemopen(copy.data(), copy.size(), "r");
  }
  ~TextFile() { std::fclose(file); }
  std::string copy;
  std::FILE* file;
};

// Tokens as text: <kw, >, w:word, s:string (+ when more follows), E:error, $;
// with lines, "@n" after each.
std::string tokens(std::string_view text, bool lines = false) {
  TextFile in(text);
  Lexer lexer(in.file);
  std::string out;
  for (;;) {
    const Token token = lexer.next();
    if (!out.empty()) out += ' ';
    // Marks by kind: Open, Close, Word, Text, Error, End.
    static const char* const kMarks[] = {"<", ">", "w:", "s:", "E", "$"};
    out += kMarks[static_cast<int>(token.kind)];
    if (token.kind != TokenKind::Error) out += token.text;
    if (token.kind == TokenKind::Text && token.more) out += "+";
    if (lines) out += "@" + std::to_string(token.line);
    if (token.kind == TokenKind::End) return out;
  }
}

TEST(TyxLexer, Tokens) {
  const struct {
    std::string_view text, expected;
  } cases[] = {
      {"<A 1.000\" Yes>", "<A w:1.000\" w:Yes > $"},
      {"include(tyx_read.m4)\n", "w:include(tyx_read.m4) $"},
      // The writer's escapes, and a backslash before anything else kept.
      {"<S `a\\xD4 b\\xD5 c\\>d\\\\e\\tf\\qg'>", "<S s:a`b'c>d\\e\tf\\qg > $"},
      {"`\\x41B'> `\\x41  B'> `\\xe9'>", "s:AB > s:A B > s:\xe9 > $"},
      {"`\\xzz'>", "s:\\xzz > $"},
      // A quote ends the string only before ">" (blanks between allowed).
      {"<T `it's'> <T `C:\\'> <T `a'  >", "<T s:it's > <T s:C:\\ > <T s:a > $"},
      // Comments end at the line end, quotes and brackets in them mean nothing.
      {"<A # it's <B> `x\n><C `#1'>", "<A > <C s:#1 > $"},
      {"<><>>", "< > < > > $"},
      {"<A `abc", "<A s:abc E $"},
  };
  for (const auto& c : cases) EXPECT_EQ(tokens(c.text), c.expected) << c.text;
  EXPECT_EQ(tokens("<A\n `x\ny'\n>\n#\n", true), "<A@1 s:x\ny@2 >@4 $@6");
}

TEST(TyxLexer, StringsAcrossTheInputBuffer) {
  // The input is read 64 KiB at a time; strings and their escapes run across.
  for (std::size_t before : {65530u, 65534u, 65535u, 65536u}) {
    const std::string text = "#" + std::string(before - 2, '-') + "\n`ab\\\\c\\xD4 d'>";
    EXPECT_EQ(tokens(text), "s:ab\\c`d > $") << before;
  }
}

TEST(TyxLexer, LongStringsComeInPieces) {
  const std::string text = "<S `" + std::string(2 * Lexer::kPiece + 100, 'x') + "'>";
  const std::string piece(Lexer::kPiece, 'x');
  EXPECT_EQ(tokens(text),
            "<S s:" + piece + "+ s:" + piece + "+ s:" + std::string(100, 'x') + " > $");
}

TEST(TyxReader, Dimensions) {
  const struct {
    std::string_view text;
    double points;
  } cases[] = {{"12.000pt", 12}, {"1.000\"", 72},  {"-0.500cm", -14.173},
               {"3", 3},         {"2pica", 24},    {"25.4mm", 72},
               {"1in", 72},      {"10dd", 10.657}, {"1cc", 12.788}};
  for (const auto& c : cases) {
    double points = 0;
    EXPECT_TRUE(parseDimension(c.text, &points)) << c.text;
    EXPECT_NEAR(points, c.points, 0.001) << c.text;
  }
  double ignored;
  for (std::string_view bad : {"", "pt", "1.0q", "x1", "1e30pt"}) {
    EXPECT_FALSE(parseDimension(bad, &ignored)) << bad;
  }
}

}  // namespace
}  // namespace tyx2html
