// The font map: lexical rules and error texts of the parser, standing
// specifications, character tables, copied fonts with their substitution
// rules, the lookup cache and the printing aids.
#include "fontmap/fontmap.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

namespace vantrove {
namespace {

const char kTopKeywords[] = "expected CopyFont, CorlaChar, PostChar, PreChar, SrcChar.";
const char kFontKeywords[] =
    "expected Code, FBold, FFamily, FItalic, FPlain, FSize, FStrike, FUnderline, GFID.";

class FontMapTest : public ::testing::Test {
 protected:
  void SetUp() override { AmReset(); }
  void TearDown() override { AmReset(); }

  // Parses `text` as one font map stream (on top of what is already loaded).
  static int parse(const std::string& text) {
    std::FILE* stream = std::tmpfile();
    if (stream == nullptr) return -1;
    std::fwrite(text.data(), 1, text.size(), stream);
    std::rewind(stream);
    const int result = AmFontOpen(stream);
    std::fclose(stream);
    return result;
  }

  // The error text of `text` parsed into an empty map, or "ok".
  static std::string errorOf(const std::string& text) {
    AmReset();
    return parse(text) == 0 ? "ok" : AmErrorText();
  }

  static AmFontEntry* ibm(std::uint32_t gfid) { return AmFontRead(nullptr, gfid, 0, 0); }
};

TEST_F(FontMapTest, BlankAndCommentOnlyFilesGiveAnEmptyMap) {
  for (const char* text : {"", " \n\t\n", "<Comment x>\n<Comment <nested <deep>> y>\n"}) {
    AmReset();
    EXPECT_EQ(parse(text), 0) << text;
    EXPECT_EQ(ibm(1), nullptr);
    testing::internal::CaptureStdout();
    AmDump();
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Hash Table Dumper\nbucket 0:  \nbucket 1:  \n\n");
  }
}

TEST_F(FontMapTest, CommentsNestAndMayStandInsideBodies) {
  ASSERT_EQ(parse("<Comment a <b> c> <SrcChar <GFID 2> <Code 65>>"
                  "<CorlaChar <Comment <y>> <FFamily Times> <Code 97>>"),
            0);
  ASSERT_NE(ibm(2), nullptr);
  EXPECT_EQ(ibm(2)->codeMap[65], 97);
  EXPECT_EQ(errorOf("<Comment never closed <"), "ok");
}

TEST_F(FontMapTest, ErrorTextsNameTheProblemAndTheLine) {
  const std::string top = std::string("On line 1 ") + kTopKeywords;
  const std::string font = std::string("On line 1 ") + kFontKeywords;
  EXPECT_EQ(errorOf("<SrcChar>"), "Expected < on line 1.");
  EXPECT_EQ(errorOf("SrcChar"), "Expected < on line 1.");
  EXPECT_EQ(errorOf("<SrcChar <FFamily Times Roman>>"), "Expected > on line 1.");
  EXPECT_EQ(errorOf("<SrcChar <GFID 2>"), "Expected > on line 1.");
  EXPECT_EQ(errorOf("<SrcChar <GFID"), "Expected > on line 1.");
  EXPECT_EQ(errorOf("\n\n<GFID 2>"), std::string("On line 3 ") + kTopKeywords);
  EXPECT_EQ(errorOf("<SrcChar <Bogus 1>>"), font);
  EXPECT_EQ(errorOf("<SrcChar <SrcChar 1>>"), font);
  EXPECT_EQ(errorOf("<>"), top);
  // A keyword ends only at white space or ">".
  EXPECT_EQ(errorOf("<SrcChar<GFID 2>>"), top);
  // A substitution without the rule a "PreChar" opens.
  EXPECT_EQ(errorOf("<PostChar <FSize 1>>"), top);
}

TEST_F(FontMapTest, LineCountOnlySeesNewlinesSkippedBetweenTokens) {
  // The newline that ends the keyword "SrcChar" is part of the token read.
  EXPECT_EQ(errorOf("<SrcChar\n<GFID 2>\n<Bogus 1>>"), std::string("On line 2 ") + kFontKeywords);
  // Every AmFontOpen starts again at line 1.
  AmReset();
  ASSERT_EQ(parse("\n\n<SrcChar <GFID 1>>\n"), 0);
  ASSERT_NE(parse("<Bogus>"), 0);
  EXPECT_EQ(std::string(AmErrorText()), std::string("On line 1 ") + kTopKeywords);
}

TEST_F(FontMapTest, NumberTokens) {
  const std::pair<const char*, int> cases[] = {
      {"010", 8},    {"0x41", 65}, {"0x4a", 74},   {"0x4A", 74},   {"'A'", 65},
      {"'\\n'", 10}, {"'\\t'", 9}, {"'\\\\'", 92}, {"'\\q'", 'q'}, {"'>'", 62},
      {"0", 0},      {"65", 65},   {"+7", 7},      {"-1", 255},    {"300", 44},
      {"0X41", 0},   {"09", 0},    {"0x", 0},      {"12ab", 0},    {"abc", 0},
  };
  for (const auto& [token, value] : cases) {
    AmReset();
    ASSERT_EQ(parse(std::string("<SrcChar <GFID 9> <Code 200>> <CorlaChar <FFamily T> <Code ") +
                    token + ">>"),
              0)
        << token;
    ASSERT_NE(ibm(9), nullptr);
    EXPECT_EQ(ibm(9)->codeMap[200], value) << token;
  }
}

TEST_F(FontMapTest, GfidTakesTheWholeValue) {
  ASSERT_EQ(parse("<SrcChar <GFID 0x11F>> <CorlaChar <FFamily T> <Code 1>>"
                  "<SrcChar <GFID '\xE9'>> <CorlaChar <Code 1>>"),
            0);
  EXPECT_NE(ibm(287), nullptr);
  // A character literal is a signed byte.
  EXPECT_NE(ibm(0xFFFFFFE9u), nullptr);
  EXPECT_EQ(ibm(0xE9), nullptr);
}

TEST_F(FontMapTest, FamilyTokensKeepTheirQuotesAndBackslashes) {
  const auto familyOf = [](const std::string& token) -> std::string {
    AmReset();
    if (parse("<SrcChar <GFID 1>> <CorlaChar <FFamily " + token + "> <Code 1>>") != 0) {
      return AmErrorText();
    }
    return ibm(1)->fontMap[0]->family;
  };
  EXPECT_EQ(familyOf("'Times Roman'"), "'Times Roman'");
  EXPECT_EQ(familyOf("it\\'s"), "it\\'s");
  EXPECT_EQ(familyOf("'a\\' b'"), "'a\\' b'");  // the escaped apostrophe keeps the quote open
  EXPECT_EQ(familyOf("'a\\\\' b'"), "Expected > on line 1.");  // "\\" escapes nothing
  EXPECT_EQ(familyOf("'x>y'"), "'x>y'");
}

TEST_F(FontMapTest, StyleWordsAndStandingSpecifications) {
  ASSERT_EQ(parse("<SrcChar <GFID 4> <FBold Yes> <Code 1>>"
                  "<CorlaChar <FFamily T> <FBold yes> <FItalic y> <Code 1>>"
                  "<SrcChar <Code 2>> <CorlaChar <FBold Yes> <Code 2>>"
                  "<SrcChar <Code 3>> <CorlaChar <FUnderline yes> <FStrike yes> <Code 3>>"
                  "<SrcChar <Code 4>> <CorlaChar <FPlain no> <Code 4>>"
                  "<SrcChar <Code 5>> <CorlaChar <FPlain yes> <Code 5>>"),
            0);
  // "Yes" does not begin with "y": the source font stays plain.
  AmFontEntry* source = ibm(4);
  ASSERT_NE(source, nullptr);
  EXPECT_EQ(source->fontMap[1]->style, 3);
  EXPECT_EQ(source->fontMap[2]->style, 2);   // bold cleared, italic kept
  EXPECT_EQ(source->fontMap[3]->style, 14);  // italic, underline, strike
  EXPECT_EQ(source->fontMap[4]->style, 14);
  EXPECT_EQ(source->fontMap[5]->style, 0);
  for (int c = 1; c <= 5; ++c) {
    EXPECT_STREQ(source->fontMap[c]->family, "T");
    EXPECT_EQ(source->codeMap[c], c);
  }
}

TEST_F(FontMapTest, FirstCharacterMappingSendsEveryCodePointToItsFont) {
  ASSERT_EQ(parse("<SrcChar <GFID 2> <Code 65>> <CorlaChar <FFamily Times> <Code 97>>"), 0);
  AmFontEntry* font = ibm(2);
  ASSERT_NE(font, nullptr);
  EXPECT_EQ(font->gfid, 2u);
  const AmFontEntry* times = font->fontMap[0];
  EXPECT_STREQ(times->family, "Times");
  EXPECT_EQ(times->gfid, 0u);
  EXPECT_EQ(times->size, 0);
  EXPECT_EQ(times->style, 0);
  for (int c = 0; c < 256; ++c) {
    EXPECT_EQ(font->fontMap[c], times) << c;
    EXPECT_EQ(font->codeMap[c], c == 65 ? 97 : c) << c;
  }

  // A later stream adds to the same map, and the source font still stands.
  ASSERT_EQ(parse("<SrcChar <Code 66>> <CorlaChar <FFamily Helvetica> <Code 98>>"), 0);
  EXPECT_EQ(ibm(2), font);
  EXPECT_STREQ(font->fontMap[66]->family, "Helvetica");
  EXPECT_EQ(font->codeMap[66], 98);
  EXPECT_EQ(font->fontMap[67], times);
  EXPECT_EQ(font->codeMap[65], 97);
}

TEST_F(FontMapTest, OnlySourceFontsAreFound) {
  ASSERT_EQ(parse("<SrcChar <GFID 2>> <CorlaChar <GFID 7> <Code 1>>"
                  "<SrcChar <GFID 0> <FFamily Symbol> <FSize 10>> <CorlaChar <GFID 0> "
                  "<FFamily Times> <Code 1>>"),
            0);
  EXPECT_NE(ibm(2), nullptr);
  EXPECT_EQ(ibm(7), nullptr);  // an output font only
  EXPECT_EQ(ibm(8), nullptr);  // never mentioned
  EXPECT_NE(AmFontRead("Symbol", 0, 10, 0), nullptr);
  EXPECT_EQ(AmFontRead("Symbol", 0, 0, 0), nullptr);
  EXPECT_EQ(AmFontRead("Symbol", 0, 10, 1), nullptr);
  EXPECT_EQ(AmFontRead("Symbol", 5, 10, 0), nullptr);
  EXPECT_EQ(AmFontRead("Times", 0, 0, 0), nullptr);
}

TEST_F(FontMapTest, ErrorKeepsWhatWasAlreadyEntered) {
  ASSERT_NE(parse("<SrcChar <GFID 1>> <CorlaChar <FFamily T> <Code 1>> <Bogus>"), 0);
  EXPECT_NE(ibm(1), nullptr);
}

TEST_F(FontMapTest, CopiedFontSubstitutesTheFamilyOnFirstLookup) {
  ASSERT_EQ(parse("<SrcChar <GFID 1>> <CorlaChar <FFamily Times> <Code 65>>"
                  "<PreChar <FFamily Times>> <PostChar <FFamily Helvetica>>"
                  "<SrcChar <GFID 2>> <CopyFont <GFID 1>>"),
            0);
  AmFontEntry* copy = ibm(2);
  ASSERT_NE(copy, nullptr);
  AmFontEntry* original = ibm(1);
  ASSERT_NE(original, nullptr);
  EXPECT_EQ(copy->copyOf, original);
  const AmFontEntry* helvetica = copy->fontMap[0];
  EXPECT_STREQ(helvetica->family, "Helvetica");
  EXPECT_EQ(helvetica->size, 0);
  EXPECT_EQ(helvetica->style, 0);
  for (int c = 0; c < 256; ++c) {
    EXPECT_EQ(copy->fontMap[c], helvetica);
    EXPECT_EQ(copy->codeMap[c], original->codeMap[c]);
    EXPECT_STREQ(original->fontMap[c]->family, "Times");
  }
  EXPECT_EQ(copy->codeMap[0], 65);

  const std::uint8_t* table = copy->codeMap;
  EXPECT_EQ(ibm(2), copy);
  EXPECT_EQ(copy->codeMap, table);  // resolved once
}

class RuleTest : public FontMapTest {
 protected:
  // GFID 1: every code point in Courier 12, with 0xC1 sent to 65.
  void SetUp() override {
    FontMapTest::SetUp();
    ASSERT_EQ(parse("<SrcChar <GFID 1> <Code 0xC1>> "
                    "<CorlaChar <FFamily Courier> <FSize 12> <Code 65>>"),
              0);
  }

  // Declares GFID `gfid` a copy of GFID 1 with `rules` and looks it up.
  static AmFontEntry* copyWith(std::uint32_t gfid, const std::string& rules) {
    if (parse(rules + "<SrcChar <GFID " + std::to_string(gfid) + ">> <CopyFont <GFID 1>>") != 0) {
      return nullptr;
    }
    return ibm(gfid);
  }
};

TEST_F(RuleTest, FieldsAPreCharDoesNotNameAreComparedAsZero) {
  // No size in the pre: it matches size 0 only, so 12 stays.
  AmFontEntry* family = copyWith(2,
                                 "<PreChar <FFamily Courier>> <PostChar <FFamily Helvetica> "
                                 "<FSize 10>>");
  ASSERT_NE(family, nullptr);
  EXPECT_STREQ(family->fontMap[0x30]->family, "Helvetica");
  EXPECT_EQ(family->fontMap[0x30]->size, 12);
  EXPECT_EQ(family->fontMap[0x30]->style, 0);

  // Size 12 matches; the post names no size, so the size becomes 0. The plain
  // style matches the pre's 0 and becomes bold.
  AmFontEntry* bold = copyWith(3, "<PreChar <FSize 12>> <PostChar <FBold yes>>");
  ASSERT_NE(bold, nullptr);
  EXPECT_STREQ(bold->fontMap[0x30]->family, "Courier");
  EXPECT_EQ(bold->fontMap[0x30]->size, 0);
  EXPECT_EQ(bold->fontMap[0x30]->style, 1);

  // A rule without a substitute family leaves the family alone.
  AmFontEntry* keep = copyWith(4, "<PreChar <FFamily Courier>> <PostChar <FSize 9>>");
  ASSERT_NE(keep, nullptr);
  EXPECT_STREQ(keep->fontMap[0x30]->family, "Courier");
  EXPECT_EQ(keep->fontMap[0x30]->size, 12);
}

TEST_F(RuleTest, CodeRulesMatchTheCopiedCodeAndOutputFontsAreShared) {
  AmFontEntry* copy = copyWith(2, "<PreChar <Code 65>> <PostChar <Code 66>>");
  ASSERT_NE(copy, nullptr);
  const AmFontEntry* original = ibm(1);
  EXPECT_EQ(copy->codeMap[0xC1], 66);
  EXPECT_EQ(copy->codeMap[65], 66);
  EXPECT_EQ(copy->codeMap[66], 66);
  EXPECT_EQ(copy->codeMap[0], 0);
  // Size 12 is not the pre's 0, the plain style stays plain: same output font.
  for (int c = 0; c < 256; ++c) EXPECT_EQ(copy->fontMap[c], original->fontMap[c]);
}

TEST_F(RuleTest, RulesSeeOnlyTheCopiedValuesAndTheFirstWrittenWins) {
  AmFontEntry* copy = copyWith(2,
                               "<PreChar <Code 65>> <PostChar <Code 66>>"
                               "<PreChar <Code 66>> <PostChar <Code 67>>"
                               "<PreChar <Code 65>> <PostChar <Code 70>>");
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->codeMap[0xC1], 66);
  EXPECT_EQ(copy->codeMap[65], 66);
  EXPECT_EQ(copy->codeMap[66], 67);
  // Each copy owns only the rules written since the previous copy.
  EXPECT_NE(copy->rules, nullptr);
  AmFontEntry* plain = copyWith(3, "");
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(plain->rules, nullptr);
  EXPECT_EQ(plain->codeMap[65], 65);
}

TEST_F(RuleTest, CopyOfACopyResolvesBothLevelsOnTheFirstLookup) {
  ASSERT_EQ(parse("<PreChar <FFamily Courier> <FSize 10>> "
                  "<PostChar <FFamily Courier> <FSize 10> <FItalic yes>>"
                  "<SrcChar <GFID 3>> <CopyFont <GFID 2>>"
                  "<PreChar <FFamily Courier> <FSize 12>> <PostChar <FFamily Courier> <FSize 10>>"
                  "<SrcChar <GFID 2>> <CopyFont <GFID 1>>"),
            0);
  AmFontEntry* outer = ibm(3);
  ASSERT_NE(outer, nullptr);
  AmFontEntry* inner = outer->copyOf;
  ASSERT_NE(inner, nullptr);
  ASSERT_NE(inner->codeMap, nullptr);
  EXPECT_EQ(inner->rules->next, nullptr);
  EXPECT_EQ(inner->fontMap[0x30]->size, 10);
  EXPECT_EQ(inner->fontMap[0x30]->style, 0);
  EXPECT_EQ(outer->fontMap[0x30]->size, 10);
  EXPECT_EQ(outer->fontMap[0x30]->style, 2);
  EXPECT_STREQ(outer->fontMap[0x30]->family, "Courier");
  EXPECT_EQ(outer->codeMap[0xC1], 65);
  EXPECT_EQ(ibm(2), inner);
}

TEST_F(FontMapTest, CyclesAndDeadEndsOfCopiesAreNotFound) {
  ASSERT_EQ(parse("<SrcChar <GFID 1>> <CopyFont <GFID 2>> <SrcChar <GFID 2>> <CopyFont <GFID 1>>"
                  "<SrcChar <GFID 3>> <CopyFont <GFID 3>>"
                  "<SrcChar <GFID 4>> <CopyFont <GFID 9>>"
                  "<SrcChar <GFID 5>> <CopyFont <GFID 1>>"),
            0);
  for (std::uint32_t gfid : {1u, 2u, 3u, 4u, 5u}) EXPECT_EQ(ibm(gfid), nullptr) << gfid;
}

TEST_F(FontMapTest, OwnTableWinsOverACopyDeclaration) {
  ASSERT_EQ(parse("<SrcChar <GFID 1>> <CorlaChar <FFamily A> <Code 1>>"
                  "<SrcChar <GFID 2>> <CorlaChar <FFamily B> <Code 2>>"
                  "<SrcChar <GFID 2>> <CopyFont <GFID 1>>"),
            0);
  ASSERT_NE(ibm(2), nullptr);
  EXPECT_STREQ(ibm(2)->fontMap[0]->family, "B");
  EXPECT_EQ(ibm(2)->codeMap[0], 2);
}

TEST_F(FontMapTest, CopyMayBeDeclaredBeforeTheFontItCopies) {
  ASSERT_EQ(parse("<SrcChar <GFID 5>> <CopyFont <GFID 6>>"
                  "<SrcChar <GFID 6>> <CorlaChar <FFamily T> <Code 9>>"),
            0);
  ASSERT_NE(ibm(5), nullptr);
  EXPECT_EQ(ibm(5)->codeMap[0], 9);
}

TEST_F(FontMapTest, CacheAnswersARepeatedQueryWithoutSearching) {
  ASSERT_EQ(parse("<SrcChar <GFID 1>> <CorlaChar <FFamily T> <Code 1>>"), 0);
  AmFontEntry* font = AmFontRead("A", 1, 0, 0);  // by GFID: the family is not compared
  ASSERT_NE(font, nullptr);
  // A search for the family "A" would find nothing; the remembered call
  // with the same family text, size and style answers.
  EXPECT_EQ(AmFontRead("A", 0, 0, 0), font);
  EXPECT_EQ(AmFontRead("A", 0, 1, 0), nullptr);
  // A failed lookup leaves the cache alone.
  EXPECT_EQ(ibm(99), nullptr);
  EXPECT_EQ(AmFontRead("A", 0, 0, 0), font);
  AmReset();
  EXPECT_EQ(AmFontRead("A", 0, 0, 0), nullptr);
}

TEST_F(FontMapTest, ManyFontsSurviveTheGrowthOfTheMap) {
  std::ostringstream text;
  for (int gfid = 1; gfid <= 100; ++gfid) {
    text << "<SrcChar <GFID " << gfid << ">> <CorlaChar <FFamily F> <Code " << gfid << ">>\n";
  }
  for (int i = 0; i < 50; ++i) {
    text << "<SrcChar <GFID 0> <FFamily S" << i << "> <FSize 10>> <CorlaChar <Code " << i << ">>\n";
  }
  ASSERT_EQ(parse(text.str()), 0);
  for (int gfid = 1; gfid <= 100; ++gfid) {
    ASSERT_NE(ibm(gfid), nullptr) << gfid;
    EXPECT_EQ(ibm(gfid)->codeMap[0], gfid);
  }
  // The lookup cache remembers the family by pointer, so each query passes a
  // text of its own that outlives the queries after it.
  std::vector<std::string> families(50);
  for (int i = 0; i < 50; ++i) {
    families[i] = "S" + std::to_string(i);
    AmFontEntry* font = AmFontRead(families[i].c_str(), 0, 10, 0);
    ASSERT_NE(font, nullptr) << families[i];
    EXPECT_EQ(font->codeMap[0], i);
  }
}

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST_F(FontMapTest, FontPrintWritesTheEntryAsStatements) {
  ASSERT_EQ(parse("<SrcChar <GFID 2> <Code 0x41>> "
                  "<CorlaChar <FFamily Times> <FSize 10> <FBold yes> <FItalic yes> <Code 0x61>>"
                  "<SrcChar <Code 0xFF>> "
                  "<CorlaChar <FPlain yes> <FUnderline yes> <FStrike yes> <Code 0x80>>"),
            0);
  testing::internal::CaptureStderr();
  AmFontPrint(ibm(2));
  const std::vector<std::string> lines = linesOf(testing::internal::GetCapturedStderr());
  ASSERT_EQ(lines.size(), 258u);
  EXPECT_EQ(lines[0], "<Font <FFamily > <GFID 2> <FSize 0> <FPlain yes>");
  EXPECT_EQ(lines[1],
            "\t<SrcChar <Code 0>> <CorlaChar <Code 0> <FFamily Times> <GFID 0> <FSize 10> "
            "<FBold yes> <FItalic yes>>");
  EXPECT_EQ(lines[1 + 0x41],
            "\t<SrcChar <Code 41>> <CorlaChar <Code 61> <FFamily Times> <GFID 0> <FSize 10> "
            "<FBold yes> <FItalic yes>>");
  EXPECT_EQ(lines[1 + 0xFF],
            "\t<SrcChar <Code ff>> <CorlaChar <Code 80> <FFamily Times> <GFID 0> <FSize 10> "
            "<FUnderline yes> <FStrike yes>>");
  EXPECT_EQ(lines[257], ">");
}

TEST_F(FontMapTest, FontPrintOfACopyListsItsRules) {
  ASSERT_EQ(parse("<SrcChar <GFID 1>> <CorlaChar <FFamily Times> <Code 65>>"
                  "<PreChar <FFamily Times>> <PostChar <FFamily Helvetica>>"
                  "<SrcChar <GFID 2>> <CopyFont <GFID 1>>"),
            0);
  testing::internal::CaptureStderr();
  AmFontPrint(ibm(2));
  const std::string text = testing::internal::GetCapturedStderr();
  const std::vector<std::string> lines = linesOf(text);
  ASSERT_EQ(lines.size(), 263u);
  EXPECT_EQ(lines[1],
            "\t<SrcChar <Code 0>> <CorlaChar <Code 41> <FFamily Helvetica> <GFID 0> <FSize 0> "
            "<FPlain yes>>");
  const std::string tail =
      "\t<Rules\n"
      "\t\t<UseFont <FFamily > <GFID 1> <FSize 0> <FPlain yes>>\n"
      "\t\t<Pre <FFamily Times> <GFID 0> <FSize 0> <FPlain yes>>\n"
      "\t\t<Post <FFamily Helvetica> <GFID 0> <FSize 0> <FPlain yes>>\n"
      "\t>\n"
      ">\n";
  ASSERT_GE(text.size(), tail.size());
  EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
}

TEST_F(FontMapTest, DumpListsEveryEntryInItsBucket) {
  // GFID 2, size 0, plain: 2 + 0 + 3 = 5, bucket 1. Times (84 + 105 + 109 +
  // 101 + 115 = 514), size 10, bold: 514 + 20 + 6 = 540, bucket 0.
  ASSERT_EQ(parse("<SrcChar <GFID 2>> <CorlaChar <FFamily Times> <FSize 10> <FBold yes> "
                  "<Code 1>>"),
            0);
  testing::internal::CaptureStdout();
  AmDump();
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Hash Table Dumper\nbucket 0:  Times 0 10 1\n\nbucket 1:   2 0 0\n\n\n");
}

}  // namespace
}  // namespace vantrove
