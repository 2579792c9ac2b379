// Tests of the Tyx writer: exact statement text for each kind of statement.
#include "tyxout/tyxout.h"

#include <gtest/gtest.h>
#include <sys/types.h>

#include <cstdio>
#include <string>
#include <tuple>
#include <vector>

// Records are built with designated initializers, the fields left out being
// zero; GCC 12 warns about every field left out all the same.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace vantrove {
namespace {

using F = TyxFontField;
using P = TyxPgfField;

template <typename... Field>
constexpr std::uint32_t bits(Field... fields) {
  return (TyxBit(fields) | ... | 0u);
}

// An unbuffered output stream that keeps what it takes. It refuses the one
// write call covering byte `refused` of what it is offered, if any, and takes
// every other write.
class TestStream {
 public:
  explicit TestStream(std::size_t refused = std::string::npos) : refused_(refused) {
    file_ = fopencookie(this, "w", {nullptr, &TestStream::write, nullptr, nullptr});
    std::setvbuf(file_, nullptr, _IONBF, 0);
  }
  ~TestStream() { std::fclose(file_); }
  std::FILE* get() const { return file_; }
  const std::string& text() const { return text_; }

 private:
  static ssize_t write(void* cookie, const char* data, std::size_t size) {
    auto* self = static_cast<TestStream*>(cookie);
    const std::size_t start = self->offered_;
    self->offered_ += size;
    if (self->refused_ >= start && self->refused_ < start + size) return 0;
    self->text_.append(data, size);
    return static_cast<ssize_t>(size);
  }
  std::size_t refused_;
  std::size_t offered_ = 0;
  std::string text_;
  std::FILE* file_;
};

class TyxTest : public ::testing::Test {
 protected:
  void SetUp() override { TyxReset(); }
  void TearDown() override { TyxReset(); }
  TestStream out;
};

TyxPgf taggedFormat(const char* tag, float lIndent = -1) {
  TyxPgf format{.setMask = bits(P::PgfTag), .pgfTag = tag};
  if (lIndent >= 0) {
    format.setMask |= bits(P::PgfLIndent);
    format.pgfLIndent = TyxInches(lIndent);
  }
  return format;
}

const std::string kParaStart = "<Para <PgfTag `Body'>\n\t<ParaLine # Begin Para's ParaLines.\n";
const std::string kParaEnd = "\t> # End Paraline.\n> # End Para.\n";

// ---------------------------------------------------------------- dimensions and fields

TEST_F(TyxTest, DimensionsCarryThreeDecimalsAndTheirUnitAndMarginsAMinimum) {
  // Unit codes: 0 inch, 1 cm, 2 mm, 3 pica, 4 point, 5 didot, 6 cicero; 7 is none.
  const TyxDimension dimensions[] = {TyxPoints(12),    TyxInches(1),     {-0.5f, 1},
                                     {2, 2},           {3, 3},           {5, 5},
                                     {1, 6},           {4, 7},           TyxInches(1.0f / 6),
                                     TyxPoints(10.5f), TyxPoints(-0.0f), TyxPoints(8388607.5f),
                                     TyxPoints(1e9f),  TyxPoints(-1.75f)};
  for (const TyxDimension& dimension : dimensions) {
    EXPECT_EQ(TyxDimensionOut(dimension, out.get()), 1);
    std::fputc('|', out.get());
  }
  EXPECT_EQ(out.text(),
            "12.000pt|1.000\"|-0.500cm|2.000mm|3.000pica|5.000dd|1.000cc||0.167\"|10.500pt|"
            "-0.000pt|8388607.500pt|1000000000.000pt|-1.750pt|");

  // Margins below 0.35 inch are raised to a quarter inch.
  const std::pair<TyxDimension, float> margins[] = {
      {TyxInches(0.3f), 0.25f}, {TyxInches(0.35f), 0.25f},  // the float lies below 0.35
      {TyxInches(0.4f), 0.4f},  {{0.5f, 1}, 0.635f},       {{2, 3}, 1.5f},
      {TyxPoints(20), 18},      {TyxPoints(26), 26},       {{5, 5}, 5}};
  for (auto [dimension, expected] : margins) {
    TyxMarginMinimum(&dimension);
    EXPECT_FLOAT_EQ(dimension.value, expected);
  }
}

// ---------------------------------------------------------------- paragraph catalog

TEST_F(TyxTest, CatalogReusesAnEntryThatCoversTheFormat) {
  TyxPgf header = taggedFormat("Header", 1);
  header.setMask |= bits(P::PgfAlignment);
  header.pgfAlignment = 1;
  EXPECT_STREQ(TyxParaCatalogLookup(&header), "Header");
  EXPECT_STREQ(TyxParaCatalogLookup(&header), "Header");  // equal format, same entry
  const TyxPgf head = taggedFormat("Head", 1);            // a prefix of Header, adds nothing
  EXPECT_STREQ(TyxParaCatalogLookup(&head), "Header");
  const TyxPgf body = taggedFormat("Body", 1);  // covered by Header but not a prefix
  EXPECT_STREQ(TyxParaCatalogLookup(&body), "Body");
  EXPECT_EQ(TyxParaCatalogOut(out.get()), 1);
  EXPECT_EQ(out.text(),
            "<ParaCatalog\n"
            "<Pgf\n\t<PgfTag `Body'>\n\t<PgfLIndent 1.000\">\n>\n"
            "<Pgf\n\t<PgfTag `Header'>\n\t<PgfLIndent 1.000\">\n\t<PgfAlignment Center>\n>\n"
            "> # End ParaCatalog\n");
}

TEST_F(TyxTest, CatalogNumbersVariantsFromOneSharedCounter) {
  // The last lookup passes the newer Head1 and finds the older Head.
  const std::tuple<const char*, float, const char*> lookups[] = {
      {"Body", 1, "Body"},  {"Head", 1, "Head"},  {"Head", 2, "Head1"},
      {"Body", 2, "Body2"}, {"Body", 3, "Body3"}, {"Head", 1, "Head"}};
  for (const auto& [tag, lIndent, expected] : lookups) {
    const TyxPgf format = taggedFormat(tag, lIndent);
    EXPECT_STREQ(TyxParaCatalogLookup(&format), expected);
  }
}

// ---------------------------------------------------------------- text

// The codes written into a fresh paragraph (or, without one, in plain-text
// mode) and closed: one call per code, or, with a split, as two runs.
std::string written(bool paragraph, const std::string& codes,
                    std::size_t split = std::string::npos) {
  TyxReset();
  TestStream mem;
  const TyxPgf format = taggedFormat("Body");
  EXPECT_EQ(paragraph ? TyxParaOpen(&format, mem.get(), 1) : TyxTextOpen(mem.get()), 1);
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(codes.data());
  if (split == std::string::npos) {
    for (unsigned char c : codes) EXPECT_EQ(TyxCharOut(c, mem.get()), 1);
  } else {
    EXPECT_EQ(TyxCharsOut(bytes, split, mem.get()), split);
    EXPECT_EQ(TyxCharsOut(bytes + split, codes.size() - split, mem.get()), codes.size() - split);
  }
  EXPECT_EQ(paragraph ? TyxParaClose(mem.get(), 1) : TyxTextClose(mem.get()), 1);
  return mem.text();
}

TEST_F(TyxTest, StringsLineEndsAndNamedCharactersAlikeInSingleCallsAndRuns) {
  // Code 8 is a tab, 9 a hard return, 10 a line end.
  const std::pair<std::string, std::string> paragraphs[] = {
      // Five characters are escaped; the double quote and "<" are not.
      {"it's`>\\\b\"< ", "\t<String `it\\xD5 s\\xD4 \\>\\\\\\t\"< '>\n"},
      // A first line end ends the first line; those after a hard return are absorbed.
      {"\na\t\n\n\nb\n\t",
       "><ParaLine\n\t<String `a'>\n\t<Char HardReturn>\n><ParaLine\n"
       "\t<String `b'>\n\t><ParaLine\n\t<Char HardReturn>\n><ParaLine\n"},
      {"\x04\x05\x10\x11\xE9x\xE9y\x11",
       "\t<Char DiscHyphen>\n\t<Char NoHyphen>\n\t<Char NumberSpace>\n\t<Char HardSpace>\n"
       "\t<Char 233> # 0xe9\n\t<String `x'>\n\t<Char 233> # 0xe9\n\t<String `y'>\n"
       "\t<Char HardSpace>\n"},
  };
  for (const auto& [codes, lines] : paragraphs) {
    for (std::size_t split = 0; split <= codes.size(); ++split) {
      EXPECT_EQ(written(true, codes, split), kParaStart + lines + kParaEnd) << split;
    }
    EXPECT_EQ(written(true, codes), kParaStart + lines + kParaEnd);
  }
  // Plain-text mode: no paragraph lines, a bare line end after a hard return.
  const std::string plain = "\t<String `ab'>\n\t<Char HardReturn>\n\n\t<String `c'>\n";
  EXPECT_EQ(written(false, "ab\t\n\nc"), plain);
  EXPECT_EQ(written(false, "ab\t\n\nc", 3), plain);
}

class TyxTextTest : public TyxTest {
 protected:
  void open() { ASSERT_EQ(TyxParaOpen(&format, out.get(), 1), 1); }
  void chars(const std::string& text) {
    for (unsigned char c : text) ASSERT_EQ(TyxCharOut(c, out.get()), 1);
  }
  void fonts(std::initializer_list<TyxFont> changes) {
    for (const TyxFont& font : changes) EXPECT_EQ(TyxFontOut(&font, out.get()), 1);
  }
  TyxPgf format = taggedFormat("Body");
};

// ---------------------------------------------------------------- font changes

TEST_F(TyxTextTest, FontChangeWritesWhatDiffersInItsOrder) {
  open();
  chars("a");
  // The fields all set; small capitals and shadow are never written.
  TyxFont font{.setMask = 0xFFFFFFu, .fFamily = "F", .fSize = TyxPoints(9), .fDY = TyxPoints(-3)};
  font.fBold = font.fItalic = font.fUnderline = font.fStrike = font.fSmallCaps = 1;
  font.fOverline = font.fSupScript = font.fSubScript = font.fChangeBar = font.fShadow = 1;
  // Nothing for an empty mask and nothing for what is in force; sizes are
  // compared by value only.
  fonts({TyxFont{}, font});
  chars("b");
  fonts({font,
         {.setMask = bits(F::FSize), .fSize = {9, TyxUnitCode(TyxUnit::Centimetre)}},
         {.setMask = bits(F::FSize), .fSize = TyxInches(1.0f / 6)}});
  EXPECT_EQ(out.text(), kParaStart +
                            "\t<String `a'>\n\t<Font <FFamily `F'> <FSize 9.000pt> <FPlain No>"
                            " <FBold Yes> <FItalic Yes> <FUnderline Yes> <FStrike Yes>"
                            " <FOverline Yes> <FSupScript Yes> <FSubScript Yes>"
                            " <FChangeBar Yes> <FDY -3.000pt>>\n\t<String `b'>\n"
                            "\t<Font <FSize 0.167\">>\n");
}

TEST_F(TyxTextTest, PlainAndEmphasisInteract) {
  open();
  const TyxFont bold{.setMask = bits(F::FBold), .fBold = 1};
  // Bold in force is not repeated; plain clears bold first; bold ends plain,
  // after which plain is written again.
  fonts({bold,
         bold,
         {.setMask = bits(F::FPlain, F::FBold), .fPlain = 1},
         bold,
         {.setMask = bits(F::FPlain), .fPlain = 1}});
  EXPECT_EQ(out.text(), kParaStart +
                            "\t<Font <FBold Yes>>\n\t<Font <FPlain Yes>>\n"
                            "\t<Font <FBold Yes>>\n\t<Font <FPlain Yes>>\n");
}

TEST_F(TyxTextTest, StateStackHoldsFiveStates) {
  EXPECT_EQ(TyxPopState(), 0);
  for (int i = 0; i < 4; ++i) ASSERT_EQ(TyxPushState(), 1);
  open();
  chars("a");
  EXPECT_EQ(TyxPushState(), 1);  // fifth: saves the open string
  EXPECT_EQ(TyxPushState(), 0);
  chars("b");  // no current state after a push: dropped
  EXPECT_EQ(TyxPopState(), 1);
  chars("c");
  for (int i = 0; i < 4; ++i) EXPECT_EQ(TyxPopState(), 1);
  EXPECT_EQ(TyxPopState(), 0);
  EXPECT_EQ(out.text(), kParaStart + "\t<String `ac");
}

// ---------------------------------------------------------------- statements and write failures

TEST_F(TyxTest, EveryOperationWritesItsTextAndStopsAtAFailedWrite) {
  // Each case: what puts the writer into its state (written elsewhere), the
  // operation, and the text it writes.
  struct Case {
    const char* name;
    void (*setup)(std::FILE*);
    int (*operation)(std::FILE*);
    std::string text;
  };
  static const TyxPgf body = taggedFormat("Body");
  static const auto openPara = [](std::FILE* s) { TyxParaOpen(&body, s, 1); };
  static const auto openString = [](std::FILE* s) {
    TyxParaOpen(&body, s, 1);
    TyxCharOut('a', s);
  };
  using D = TyxDocumentField;
  const Case cases[] = {
      {"prelude", nullptr, [](std::FILE* s) { return TyxPreludeOut(s, "vantrove 4"); },
       "<TYXFile 2.00> # Generated by vantrove 4\ninclude(tyx_read.m4)\n"},
      // Two blanks after PgfSpBefore; formats with fonts and tab stops are
      // also checked through the catalogs of the converted documents.
      {"format", nullptr,
       [](std::FILE* s) {
         static TyxTabStop tabs[2] = {
             {bits(TyxTabStopField::TSX), TyxInches(1)},
             {bits(TyxTabStopField::TSX, TyxTabStopField::TSType), TyxInches(2), 3}};  // decimal
         TyxPgf format = taggedFormat("Body");
         format.setMask |= bits(P::PgfSpBefore, P::PgfNumTabs, P::PgfFont);
         format.pgfSpBefore = TyxPoints(6);
         format.pgfNumTabs = 2;
         format.pgfFont = {.setMask = bits(F::FSize), .fSize = TyxPoints(12)};
         format.tabStop = tabs;
         return TyxPgfOut(&format, s);
       },
       "<Pgf\n\t<PgfTag `Body'>\n\t<PgfSpBefore  6.000pt>\n\t<PgfNumTabs 2>\n"
       "\t<PgfFont\n\t\t<FSize 12.000pt>\n\t>\n\t<TabStop\n\t\t<TSX 1.000\">\n\t>\n"
       "\t<TabStop\n\t\t<TSX 2.000\">\n\t\t<TSType Decimal>\n\t>\n>\n"},
      {"format without tab stops: the count twice", nullptr,
       [](std::FILE* s) {
         const TyxPgf format{.setMask = bits(P::PgfTag, P::PgfNumTabs), .pgfTag = "Body"};
         return TyxPgfOut(&format, s);
       },
       "<Pgf\n\t<PgfTag `Body'>\n\t<PgfNumTabs 0>\n\t<PgfNumTabs 0>\n>\n"},
      // Margins are raised to their minimum; relative tabs are never shown.
      {"document", nullptr,
       [](std::FILE* s) {
         TyxDocument document{.setMask = bits(D::DMargins, D::DRelativeTabs, D::DFNoteAnchorPos)};
         for (TyxDimension& margin : document.dMargins) margin = TyxInches(0.1f);
         document.dMargins[TyxTop] = {0.5f, TyxUnitCode(TyxUnit::Centimetre)};
         document.dRelativeTabs = document.dFNoteAnchorPos = 1;
         return TyxDocumentOut(&document, s);
       },
       "<Document\n <DBordersOn Yes>\n\t<DMargins 0.250\" 0.635cm 0.250\" 0.250\">\n"
       "\t<DFNoteAnchorPos FNBaseline>\n>\n"},
      {"marker", openString,
       [](std::FILE* s) {
         const TyxMarker marker{bits(TyxMarkerField::MType, TyxMarkerField::MText), 2, "x"};
         return TyxMarkerOut(&marker, s);
       },
       "'>\n\t<Marker\n\t\t<MType 2>\n\t\t<MText `x'>\n\t>"},
      {"footnote reference", openString, [](std::FILE* s) { return TyxFNoteRefOut(3, s); },
       "'>\n\t<FNote 3>\n"},
      {"footnote close", openPara, &TyxFNoteTextClose, kParaEnd + "\t\t> # End FNote\n"},
      {"characters", openPara,
       [](std::FILE* s) {
         for (unsigned char c : std::string("a`\x04\t\nb\n\xE9"
                                            "c\n")) {
           if (TyxCharOut(c, s) == 0) return 0;
         }
         return 1;
       },
       "\t<String `a\\xD4 '>\n\t<Char DiscHyphen>\n\t<Char HardReturn>\n><ParaLine\n"
       "\t<String `b'>\n\t><ParaLine\n\t<Char 233> # 0xe9\n\t<String `c'>\n\t><ParaLine\n"},
      {"font change", openString,
       [](std::FILE* s) {
         TyxFont font{.setMask = bits(F::FFamily, F::FSize, F::FBold, F::FDY), .fFamily = "F"};
         font.fSize = TyxPoints(12);
         font.fDY = TyxPoints(-3);
         font.fBold = 1;
         return TyxFontOut(&font, s);
       },
       "'>\n\t<Font <FFamily `F'> <FSize 12.000pt> <FBold Yes> <FDY -3.000pt>>\n"},
      {"plain text close",
       [](std::FILE* s) {
         TyxTextOpen(s);
         TyxCharOut('a', s);
       },
       &TyxTextClose, "'>\n"},
  };
  for (const Case& c : cases) {
    for (std::size_t refused = 0; refused <= c.text.size(); ++refused) {
      TyxReset();
      TestStream before;
      if (c.setup != nullptr) c.setup(before.get());
      TestStream stream(refused);
      const int result = c.operation(stream.get());
      std::fflush(stream.get());
      if (refused == c.text.size()) {
        EXPECT_EQ(result, 1) << c.name;
        EXPECT_EQ(stream.text(), c.text) << c.name;
      } else {
        // Nothing more is written once a write has failed.
        EXPECT_EQ(result, 0) << c.name << ", byte " << refused;
        EXPECT_LE(stream.text().size(), refused) << c.name << ", byte " << refused;
        EXPECT_TRUE(c.text.starts_with(stream.text())) << c.name << ", byte " << refused;
      }
    }
  }
}

}  // namespace
}  // namespace vantrove