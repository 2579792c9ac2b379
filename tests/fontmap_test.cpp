// The font map: the parser's lexical rules and error texts, number and family
// tokens, the lookup cache, copied fonts with their substitution rules and
// their lazy resolution, and maps large or colliding enough to have exhausted
// the machine.
#include "fontmap/fontmap.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <utility>

namespace vantrove {
namespace {

const std::string kTopList = "expected CopyFont, CorlaChar, PostChar, PreChar, SrcChar.";
const std::string kFontList =
    "expected Code, FBold, FFamily, FItalic, FPlain, FSize, FStrike, FUnderline, GFID.";

// Parses `text` as one more font map stream into the map.
int parse(const std::string& text) {
  std::FILE* stream = std::tmpfile();
  std::fwrite(text.data(), 1, text.size(), stream);
  std::rewind(stream);
  const int result = AmFontOpen(stream);
  std::fclose(stream);
  return result;
}

// The error text of `text` parsed into an empty map, or "ok".
std::string errorOf(const std::string& text) {
  AmReset();
  return parse(text) == 0 ? "ok" : AmErrorText();
}

AmFontEntry* ibm(std::uint32_t gfid) {
  return AmFontRead(nullptr, gfid, 0, 0);
}

// Code point c of a font as "code family size style", or "<none>" without a table.
std::string mapping(const AmFontEntry* font, int c) {
  if (font == nullptr || font->codeMap == nullptr) return "<none>";
  const AmFontEntry* out = font->fontMap[c];
  return std::to_string(font->codeMap[c]) + " " + out->family + " " + std::to_string(out->size) +
         " " + std::to_string(out->style);
}

class FontMapTest : public ::testing::Test {
 protected:
  void SetUp() override { AmReset(); }
  void TearDown() override { AmReset(); }
};

TEST_F(FontMapTest, ErrorTexts) {
  const std::pair<const char*, std::string> cases[] = {
      {"", "ok"},
      {" \n\t\n", "ok"},
      {"<Comment a <b <c>> d>\n", "ok"},
      {"<Comment never closed <", "ok"},
      {"<SrcChar>", "Expected < on line 1."},
      {"SrcChar", "Expected < on line 1."},
      {"<SrcChar <FFamily Times Roman>>", "Expected > on line 1."},
      {"<SrcChar <GFID 2>", "Expected > on line 1."},
      {"<SrcChar <GFID", "Expected > on line 1."},
      {"\n\n<GFID 2>", "On line 3 " + kTopList},
      {"<SrcChar <SrcChar 1>>", "On line 1 " + kFontList},
      {"<>", "On line 1 " + kTopList},
      {"<SrcChar<GFID 2>>", "On line 1 " + kTopList},     // one keyword
      {"<PostChar <FSize 1>>", "On line 1 " + kTopList},  // no rule open
      // Newlines that end a keyword or a value, or stand in a comment, are
      // not counted; those skipped between tokens are.
      {"<SrcChar\n<GFID 2>\n<Bogus 1>>", "On line 2 " + kFontList},
      {"<SrcChar <GFID 2\n>\n<Bogus 1>>", "On line 2 " + kFontList},
      {"<Comment \n\n>\n<GFID 2>", "On line 2 " + kTopList},
      // Code-only mappings, a pair to a line or a statement to a line.
      {"<SrcChar <Code 1>> <CorlaChar <Code 2>>\n<SrcChar <Code 1>>\n<CorlaChar <Code 2>>\n<Bogus>",
       "On line 4 " + kTopList},
  };
  for (const auto& [text, error] : cases) EXPECT_EQ(errorOf(text), error) << text;
  // Each stream starts at line 1; what was entered before an error stays.
  AmReset();
  ASSERT_EQ(parse("\n\n<SrcChar <GFID 1>> <CorlaChar <FFamily T> <Code 1>>\n"), 0);
  ASSERT_NE(parse("<Bogus>"), 0);
  EXPECT_EQ(std::string(AmErrorText()), "On line 1 " + kTopList);
  EXPECT_NE(ibm(1), nullptr);
}

TEST_F(FontMapTest, NumberAndFamilyTokens) {
  const std::pair<const char*, int> numbers[] = {
      {"010", 8},     {"0x41", 65},   {"0x4A", 74}, {"'A'", 65}, {"'\\n'", 10}, {"'\\t'", 9},
      {"'\\\\'", 92}, {"'\\q'", 'q'}, {"'>'", 62},  {"0", 0},    {"+7", 7},     {"-1", 255},
      {"300", 44},    {"0X41", 0},    {"09", 0},    {"0x", 0},   {"12ab", 0},   {"abc", 0},
  };
  // Each in a mapping that names its fonts and in one that names codes only.
  for (const auto& [token, value] : numbers) {
    ASSERT_EQ(errorOf(std::string("<SrcChar <GFID 9> <Code 200>> <CorlaChar <FFamily T> <Code ") +
                      token + ">>\n<SrcChar <Code 201>> <CorlaChar <Code " + token + ">>"),
              "ok")
        << token;
    EXPECT_EQ(ibm(9)->codeMap[200], value) << token;
    EXPECT_EQ(ibm(9)->codeMap[201], value) << token;
  }
  // GFID keeps all 32 bits, and a character literal is a signed byte.
  ASSERT_EQ(errorOf("<SrcChar <GFID 0x11F>> <CorlaChar <FFamily T> <Code 1>>"
                    "<SrcChar <GFID '\xE9'>> <CorlaChar <Code 1>>"),
            "ok");
  EXPECT_NE(ibm(287), nullptr);
  EXPECT_NE(ibm(0xFFFFFFE9u), nullptr);
  EXPECT_EQ(ibm(0xE9), nullptr);

  // Families keep their quotes and backslashes; "\\" escapes nothing.
  const std::pair<const char*, std::string> families[] = {{"'Times Roman'", "'Times Roman'"},
                                                          {"'x>y'", "'x>y'"},
                                                          {"it\\'s", "it\\'s"},
                                                          {"'a\\' b'", "'a\\' b'"},
                                                          {"'a\\\\' b'", "Expected > on line 1."}};
  for (const auto& [token, family] : families) {
    const std::string error =
        errorOf(std::string("<SrcChar <GFID 1>> <CorlaChar <FFamily ") + token + "> <Code 1>>");
    EXPECT_EQ(error == "ok" ? ibm(1)->fontMap[0]->family : error, family) << token;
  }
}

TEST_F(FontMapTest, LookupCacheAnswersByGfidOrFamilyTextAndOutlivesFailedLookups) {
  // The family Times and GFID 5 are two sources; GFIDs 6 and 7 copy the family.
  ASSERT_EQ(parse("<SrcChar <GFID 0> <FFamily Times>> <CorlaChar <FFamily A> <Code 1>>"
                  "<SrcChar <GFID 5>> <CorlaChar <FFamily B> <Code 2>>"
                  "<SrcChar <GFID 6>> <CopyFont <GFID 0> <FFamily Times>>"
                  "<SrcChar <GFID 7>> <CopyFont <GFID 0> <FFamily Times>>"),
            0);
  EXPECT_EQ(mapping(AmFontRead("Times", 0, 0, 0), 0), "1 A 0 0");
  EXPECT_EQ(mapping(AmFontRead("Times", 5, 0, 0), 0), "2 B 0 0");  // by GFID
  // The remembered family text answers a family lookup without a search...
  EXPECT_EQ(mapping(AmFontRead("Times", 0, 0, 0), 0), "2 B 0 0");
  // ...unless the size or style differ; failed lookups keep the last result.
  EXPECT_EQ(AmFontRead("Times", 0, 10, 0), nullptr);
  EXPECT_EQ(AmFontRead(nullptr, 5, 0, 1), nullptr);
  EXPECT_EQ(ibm(99), nullptr);
  EXPECT_EQ(mapping(AmFontRead("Times", 0, 0, 0), 0), "2 B 0 0");
  // A copy looks up the font it copies through the cache as well.
  EXPECT_EQ(mapping(ibm(6), 0), "2 B 0 0");
  EXPECT_EQ(mapping(AmFontRead("Times", 0, 0, 0), 0), "1 A 0 0");  // GFID 6 has no family
  EXPECT_EQ(mapping(ibm(7), 0), "1 A 0 0");
}

TEST_F(FontMapTest, CopiesApplyTheirRulesAndResolveLazily) {
  // GFID 1 sets every code point in Courier 12, with 0xC1 sent to 65.
  const std::string courier =
      "<SrcChar <GFID 1> <Code 0xC1>> <CorlaChar <FFamily Courier> <FSize 12> <Code 65>>";
  const std::string codes = courier +
                            "<PreChar <Code 65>> <PostChar <Code 66>>"
                            "<PreChar <Code 66>> <PostChar <Code 67>>"
                            "<PreChar <Code 65>> <PostChar <Code 70>> <SrcChar <GFID 5>> "
                            "<CopyFont <GFID 1>>";
  // GFID 3 (italic) copies GFID 2 (size 10), declared later, which copies GFID 1.
  const std::string twoLevels =
      courier +
      "<PreChar <FFamily Courier> <FSize 10>> <PostChar <FFamily Courier> <FSize 10> <FItalic yes>>"
      "<SrcChar <GFID 3>> <CopyFont <GFID 2>>"
      "<PreChar <FFamily Courier> <FSize 12>> <PostChar <FFamily Courier> <FSize 10>>"
      "<SrcChar <GFID 2>> <CopyFont <GFID 1>>";
  // A copy declared before its font; one with a table of its own; cycles and
  // a missing font.
  const std::string lazy =
      "<SrcChar <GFID 5>> <CopyFont <GFID 6>> <SrcChar <GFID 6>> <CorlaChar <FFamily A> <Code 9>>"
      "<SrcChar <GFID 7>> <CorlaChar <FFamily B> <Code 7>> <SrcChar <GFID 7>> <CopyFont <GFID 6>>"
      "<SrcChar <GFID 1>> <CopyFont <GFID 2>> <SrcChar <GFID 2>> <CopyFont <GFID 1>>"
      "<SrcChar <GFID 3>> <CopyFont <GFID 3>> <SrcChar <GFID 4>> <CopyFont <GFID 9>>"
      "<SrcChar <GFID 8>> <CopyFont <GFID 1>>";
  const struct {
    std::string map;
    std::uint32_t gfid;
    int c;
    std::string expected;
  } cases[] = {
      // Rules test the copied values and take the fields they do not name as
      // zero: no size in the pre matches size 0 only, so 12 stays...
      {courier + "<PreChar <FFamily Courier>> <PostChar <FFamily Helvetica> <FSize 10>>"
                 "<SrcChar <GFID 2>> <CopyFont <GFID 1>>",
       2, 0x30, "48 Helvetica 12 0"},
      // ...size 12 matches and the post names no size: 0; plain matches: bold.
      {courier +
           "<PreChar <FSize 12>> <PostChar <FBold yes>> <SrcChar <GFID 3>> <CopyFont <GFID 1>>",
       3, 0x30, "48 Courier 0 1"},
      // A rule without a substitute family leaves the family alone.
      {courier + "<PreChar <FFamily Courier>> <PostChar <FSize 9>> <SrcChar <GFID 4>> "
                 "<CopyFont <GFID 1>>",
       4, 0x30, "48 Courier 12 0"},
      // Code rules see only the copied codes, and the first written wins.
      {codes, 5, 0xC1, "66 Courier 12 0"},
      {codes, 5, 65, "66 Courier 12 0"},
      {codes, 5, 66, "67 Courier 12 0"},
      // A copy of a copy resolves both levels on the first lookup.
      {twoLevels, 3, 0x30, "48 Courier 10 2"},
      {twoLevels, 3, 0xC1, "65 Courier 10 2"},
      {twoLevels, 2, 0x30, "48 Courier 10 0"},
      {lazy, 5, 0, "9 A 0 0"},
      {lazy, 7, 0, "7 B 0 0"},
  };
  for (const auto& [map, gfid, c, expected] : cases) {
    AmReset();
    ASSERT_EQ(parse(map), 0) << map;
    EXPECT_EQ(mapping(ibm(gfid), c), expected) << map;
  }
  for (std::uint32_t gfid : {1u, 2u, 3u, 4u, 8u, 9u}) EXPECT_EQ(ibm(gfid), nullptr) << gfid;
}

TEST_F(FontMapTest, LargeAndCollidingMapsLoadInLittleMemory) {
  // 100,000 copies of a source font (every code point in Times, 65 sent to
  // 97): 50,000 by GFID (2 to 50001), 50,000 by family (F1 to F50000); then
  // 5040 families made of the same seven letters.
  std::string map = "<SrcChar <GFID 1> <Code 65>> <CorlaChar <FFamily Times> <Code 97>>\n";
  for (std::uint32_t i = 1; i <= 50000; ++i) {
    map += "<SrcChar <GFID " + std::to_string(i + 1) + ">> <CopyFont <GFID 1>>\n";
    map += "<SrcChar <GFID 0> <FFamily F" + std::to_string(i) + ">> <CopyFont <GFID 1>>\n";
  }
  std::string letters = "abcdefg";
  do map += "<SrcChar <GFID 0> <FFamily " + letters + ">> <CopyFont <GFID 1>>\n";
  while (std::next_permutation(letters.begin(), letters.end()));
  const std::pair<const char*, std::uint32_t> probes[] = {
      {nullptr, 2},   {nullptr, 50001}, {"F1", 0},        {"F50000", 0}, {"abcdefg", 0},
      {"gfedcba", 0}, {"dcbaefg", 0},   {nullptr, 50002}, {"F0", 0},     {"abcdegg", 0}};
  // In a child that may map at most 1 GB beyond what it starts with, so that
  // a map that would exhaust the machine fails the test instead.
  std::FILE* results = std::tmpfile();
  std::fflush(nullptr);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::size_t pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    const rlim_t bytes = pages * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + (rlim_t{1} << 30);
    const rlimit limit{bytes, bytes};
    setrlimit(RLIMIT_AS, &limit);
    std::fprintf(results, "%d\n", parse(map));
    for (const auto& [family, gfid] : probes)
      std::fprintf(results, "%s\n", mapping(AmFontRead(family, gfid, 0, 0), 65).c_str());
    std::fflush(results);
    _exit(0);
  }
  int status = 0;
  rusage usage{};
  ASSERT_EQ(wait4(child, &status, 0, &usage), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  std::string out(256, '\0');
  std::rewind(results);
  out.resize(std::fread(out.data(), 1, out.size(), results));
  std::fclose(results);
  std::string hits = "0\n";
  for (int i = 0; i < 7; ++i) hits += "97 Times 0 0\n";
  EXPECT_EQ(out, hits + "<none>\n<none>\n<none>\n");
  EXPECT_LT(usage.ru_maxrss, 256 * 1024);  // peak resident size, KB
}

}  // namespace
}  // namespace vantrove
