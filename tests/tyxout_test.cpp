// Tests of the Tyx writer: exact statement text for each kind of statement.
#include "tyxout/tyxout.h"

#include <gtest/gtest.h>
#include <sys/types.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <deque>
#include <random>
#include <ranges>
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

TEST_F(TyxTest, FieldDifferenceReportsWhatTheNewRecordAdds) {
  TyxFont oldFont{.setMask = bits(F::FFamily, F::FSize, F::FDX, F::FDY, F::FBold, F::FItalic)};
  oldFont.fFamily = "Times";
  oldFont.fSize = TyxPoints(12);
  oldFont.fDX = TyxPoints(0.0f);
  oldFont.fDY = TyxInches(1);
  oldFont.fBold = oldFont.fItalic = 1;
  // The new record drops italic (not reported) and adds underline, which the
  // old record lacks; its family is the same text through another pointer;
  // dimensions compare byte for byte.
  char family[] = "Times";
  TyxFont newFont = oldFont;
  newFont.setMask ^= bits(F::FItalic, F::FUnderline);
  newFont.fFamily = family;
  newFont.fDX = TyxPoints(-0.0f);
  newFont.fDY.unit = TyxUnitCode(TyxUnit::Centimetre);
  TyxFont diff{.setMask = 0xFFFFFFu};
  EXPECT_EQ(TyxFieldsDiff(&oldFont, &newFont, &diff, TyxFontFields), 1);
  EXPECT_EQ(diff.setMask, bits(F::FDX, F::FDY, F::FUnderline));
  EXPECT_TRUE(std::signbit(diff.fDX.value));
  EXPECT_EQ(diff.fDY.unit, TyxUnitCode(TyxUnit::Centimetre));

  // A nested record counts only by its presence.
  TyxPgf oldPgf{};
  const TyxPgf newPgf{.setMask = bits(P::PgfFont), .pgfFont = newFont};
  TyxPgf pgfDiff{};
  TyxFieldsDiff(&oldPgf, &newPgf, &pgfDiff, TyxPgfFields);
  EXPECT_EQ(pgfDiff.setMask, bits(P::PgfFont));
  EXPECT_EQ(pgfDiff.pgfFont.setMask, newFont.setMask);
  oldPgf = {.setMask = bits(P::PgfFont), .pgfFont = oldFont};
  TyxFieldsDiff(&oldPgf, &newPgf, &pgfDiff, TyxPgfFields);
  EXPECT_EQ(pgfDiff.setMask, 0u);
}

// ---------------------------------------------------------------- paragraph formats

TEST_F(TyxTest, FormatDifferenceRulesForTagFontAndTabStops) {
  const std::uint32_t tabBits = bits(TyxTabStopField::TSX, TyxTabStopField::TSType);
  TyxTabStop oldTabs[2] = {{tabBits, TyxInches(1)}, {tabBits, TyxInches(2)}};
  TyxPgf old = taggedFormat("Old", 1);
  old.setMask |= bits(P::PgfSpAfter, P::PgfNumTabs, P::PgfFont);
  old.pgfSpAfter = TyxPoints(3);
  old.pgfNumTabs = 2;
  old.pgfFont = {.setMask = bits(F::FSize), .fSize = TyxPoints(12)};
  old.tabStop = oldTabs;
  // The new format: another tag, the same indent, no space after, equal
  // tab stops in another array (the second without its type).
  TyxTabStop newTabs[2] = {oldTabs[0], {bits(TyxTabStopField::TSX), TyxInches(2), 3}};
  TyxPgf now = old;
  now.pgfTag = "New";
  now.setMask &= ~bits(P::PgfSpAfter);
  now.tabStop = newTabs;
  TyxTabStop buffer[2] = {};
  const auto diff = [&](int ignoreTag) {
    TyxPgf out{.tabStop = buffer};
    TyxPgfDiff(ignoreTag, &old, &now, &out);
    return out;
  };
  EXPECT_EQ(diff(1).setMask, 0u);

  // Without ignoreTag a tagged format is copied whole, its tab stops into the buffer.
  TyxPgf out = diff(0);
  EXPECT_EQ(out.setMask, now.setMask);
  EXPECT_STREQ(out.pgfTag, "New");
  EXPECT_EQ(out.tabStop, buffer);
  EXPECT_EQ(buffer[1].setMask, newTabs[1].setMask);

  // The font: only its changed fields; a font the old format lacks comes whole.
  now.pgfFont.setMask |= bits(F::FBold);
  now.pgfFont.fBold = 1;
  EXPECT_EQ(diff(1).setMask, bits(P::PgfFont));
  EXPECT_EQ(diff(1).pgfFont.setMask, bits(F::FBold));
  old.setMask &= ~bits(P::PgfFont);
  EXPECT_EQ(diff(1).setMask, bits(P::PgfFont));
  EXPECT_EQ(diff(1).pgfFont.setMask, now.pgfFont.setMask);
  now.pgfFont = old.pgfFont;
  old.setMask |= bits(P::PgfFont);

  // Tab stops: one that differs, a different count or none in the old
  // format brings all of the new format's.
  const auto tabsOnly = [&] {
    buffer[0] = buffer[1] = TyxTabStop{};
    const TyxPgf result = diff(1);
    EXPECT_EQ(result.setMask, bits(P::PgfNumTabs));
    EXPECT_EQ(result.pgfNumTabs, now.pgfNumTabs);
    EXPECT_FLOAT_EQ(buffer[0].tsX.value, newTabs[0].tsX.value);
  };
  newTabs[1].tsX = TyxInches(3);
  tabsOnly();
  EXPECT_FLOAT_EQ(buffer[1].tsX.value, 3);
  newTabs[1].tsX = TyxInches(2);
  now.pgfNumTabs = 1;
  tabsOnly();
  EXPECT_EQ(buffer[1].setMask, 0u);  // only the one tab stop copied
  now.pgfNumTabs = 2;
  old.setMask &= ~bits(P::PgfNumTabs);
  tabsOnly();
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

TEST_F(TyxTest, CatalogChoosesTheNewestServingEntryAmongManyFormats) {
  // A model of the catalog: entries oldest first; the newest entry the format
  // adds nothing to and whose tag begins with the format's serves it.
  std::vector<std::tuple<std::string, TyxPgf, bool>> model;  // tag, format, used
  int tagNumber = 0;
  const auto modelAdd = [&](const TyxPgf& format, bool keepTag) {
    std::string tag = format.pgfTag;
    if (!keepTag && std::ranges::count(model | std::views::elements<0>, tag) > 0) {
      tag += std::to_string(++tagNumber);
    }
    return std::get<0>(model.emplace_back(tag, format, !keepTag));
  };
  const auto modelLookup = [&](const TyxPgf& format) {
    for (auto& [tag, entry, used] : model | std::views::reverse) {
      TyxPgf scratch{.tabStop = format.tabStop};
      TyxPgfDiff(1, &entry, &format, &scratch);
      if (scratch.setMask == 0 && tag.starts_with(format.pgfTag)) {
        used = true;
        return tag;
      }
    }
    return modelAdd(format, false);
  };

  // Texts live as long as the catalog, which keeps pointers to them.
  static const char* const kTags[] = {"A", "AB", "B", "ABC"};
  static const std::string kTexts[] = {"x", "y", "x", "y"};
  static const std::string kFamilies[] = {"Times", "Courier", "Times"};
  std::deque<std::vector<TyxTabStop>> tabArrays;
  std::mt19937 random(20240611);
  const auto pick = [&](int n) { return static_cast<int>(random() % n); };
  for (int round = 0; round < 2500; ++round) {
    TyxPgf format = taggedFormat(kTags[pick(4)]);
    const auto maybe = [&](P field) { return pick(3) != 0 && (format.setMask |= TyxBit(field)); };
    if (maybe(P::PgfLIndent)) format.pgfLIndent = TyxInches(pick(2));
    if (maybe(P::PgfAlignment)) format.pgfAlignment = pick(2);
    if (maybe(P::PgfSpBefore)) format.pgfSpBefore = pick(2) ? TyxPoints(6) : TyxInches(6);
    if (maybe(P::PgfNumFormat)) format.pgfNumFormat = kTexts[pick(4)].c_str();
    if (maybe(P::PgfFont)) {
      format.pgfFont = {.setMask = bits(F::FFamily) * pick(2) | bits(F::FSize) * pick(2),
                        .fFamily = kFamilies[pick(3)].c_str(),
                        .fSize = TyxPoints(10 + 2 * pick(2))};
    }
    if (maybe(P::PgfNumTabs)) {
      format.pgfNumTabs = pick(3);
      std::vector<TyxTabStop>& tabs = tabArrays.emplace_back(format.pgfNumTabs);
      for (TyxTabStop& tab : tabs) {
        tab = {bits(TyxTabStopField::TSX) | bits(TyxTabStopField::TSType) * pick(2),
               TyxInches(1 + pick(2)), 3u * pick(2)};
      }
      format.tabStop = pick(20) != 0 ? tabs.data() : nullptr;  // rarely counted but missing
    }
    if (pick(10) == 0) {
      EXPECT_EQ(TyxParaCatalogNew(&format), modelAdd(format, true));
    } else {
      ASSERT_EQ(TyxParaCatalogLookup(&format), modelLookup(format)) << "round " << round;
    }
  }

  TestStream expected;
  std::fputs("<ParaCatalog\n", expected.get());
  for (auto& [tag, format, used] : model | std::views::reverse) {
    format.pgfTag = tag.c_str();
    if (used) TyxPgfOut(&format, expected.get());
  }
  std::fputs("> # End ParaCatalog\n", expected.get());
  EXPECT_EQ(TyxParaCatalogOut(out.get()), 1);
  EXPECT_EQ(out.text(), expected.text());
}

TEST_F(TyxTest, CatalogWithoutMemoryUsesMemoryFull) {
  TyxPgf body = taggedFormat("Body");
  TyxSetAllocationLimit(0);
  EXPECT_STREQ(TyxParaCatalogLookup(&body), "memory full");  // nothing to mark
  TyxSetAllocationLimit(-1);
  EXPECT_STREQ(TyxParaCatalogLookup(&body), "Body");
  const TyxPgf head = taggedFormat("Head");
  EXPECT_STREQ(TyxParaCatalogNew(&head), "Head");  // not used yet
  body = taggedFormat("Body", 2);
  TyxSetAllocationLimit(1);                                  // the entry, not its tag
  EXPECT_STREQ(TyxParaCatalogLookup(&body), "memory full");  // the newest entry, Head, is used
  TyxTabStop tab{};
  body.setMask |= bits(P::PgfNumTabs);
  body.pgfNumTabs = 1;
  body.tabStop = &tab;
  TyxSetAllocationLimit(2);  // the entry and its tag, not its tab stops
  EXPECT_STREQ(TyxParaCatalogLookup(&body), "memory full");
  TyxSetAllocationLimit(-1);
  // Both failed variants took a number.
  body.setMask &= ~bits(P::PgfNumTabs);
  EXPECT_STREQ(TyxParaCatalogLookup(&body), "Body3");
  EXPECT_EQ(TyxParaCatalogOut(out.get()), 1);
  EXPECT_EQ(out.text(),
            "<ParaCatalog\n<Pgf\n\t<PgfTag `Body3'>\n\t<PgfLIndent 2.000\">\n>\n"
            "<Pgf\n\t<PgfTag `Head'>\n>\n<Pgf\n\t<PgfTag `Body'>\n>\n> # End ParaCatalog\n");

  // A family that cannot be copied is written, and counts as new each time.
  TestStream text;
  ASSERT_EQ(TyxParaOpen(&head, text.get(), 1), 1);
  const TyxFont font{.setMask = bits(F::FFamily), .fFamily = "F"};
  TyxSetAllocationLimit(0);
  EXPECT_EQ(TyxFontOut(&font, text.get()), 1);
  EXPECT_EQ(TyxFontOut(&font, text.get()), 1);
  EXPECT_EQ(text.text(),
            "<Para <PgfTag `Head'>\n\t<ParaLine # Begin Para's ParaLines.\n"
            "\t<Font <FFamily `F'>>\n\t<Font <FFamily `F'>>\n");
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

TEST_F(TyxTextTest, ParagraphFontIsInForceExceptItsOffset) {
  format.setMask |= bits(P::PgfFont);
  TyxFont change{.setMask = bits(F::FFamily, F::FSize, F::FBold, F::FDY), .fFamily = "T"};
  change.fSize = TyxPoints(12);
  change.fDY = TyxPoints(4);
  change.fBold = 1;
  format.pgfFont = change;
  format.pgfFont.fSize.unit = TyxUnitCode(TyxUnit::Centimetre);
  open();
  fonts({change});  // only the offset is new
  open();
  fonts({change});  // the offset carries over
  EXPECT_EQ(out.text(), kParaStart + "\t<Font <FDY 4.000pt>>\n" + kParaEnd + kParaStart);
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
      // Level 7 indents like level 4; a field whose bit is clear (the column
      // gap) is skipped and the fields behind it come out with their own
      // values; texts are written as stored; a unit beyond 6 writes no value.
      {"fields", nullptr,
       [](std::FILE* s) -> int {
         TyxDocument document{.setMask = bits(D::DColumns, D::DPageSize, D::DTwoSides),
                              .dColumns = -2,
                              .dColumnGap = TyxInches(9)};
         document.setMask |= bits(D::DPageNumStyle, D::DFNoteLabels, D::DFNoteNumberPos);
         document.dPageSize[0] = TyxInches(8.5f);
         document.dPageSize[1] = {27.94f, TyxUnitCode(TyxUnit::Centimetre)};
         document.dTwoSides = 1;
         document.dPageNumStyle = 3;
         document.dFNoteLabels = "`a'";
         document.dFNoteNumberPos = 2;
         const TyxDimension four[] = {TyxInches(1), {2, 1}, {3, 2}, {4, 3}};
         return TyxFieldsOut(&document, s, 7, TyxDocumentFields) &&
                TyxStmtDimensionOut({5, 9}, s, 3, "None") && TyxStmtRectOut(four, s, 7, "BRect");
       },
       "\t\t\t\t<DColumns -2>\n\t\t\t\t<DPageSize 8.500\" 27.940cm>\n\t\t\t\t<DTwoSides Yes>\n"
       "\t\t\t\t<DPageNumStyle UCAlpha>\n\t\t\t\t<DFNoteLabels ``a''>\n"
       "\t\t\t\t<DFNoteNumberPos FNSubscript>\n\t\t\t<None >\n"
       "\t\t\t\t<BRect 1.000\" 2.000cm 3.000mm 4.000pica>\n"},
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
      {"catalog", [](std::FILE*) { TyxParaCatalogLookup(&body); }, &TyxParaCatalogOut,
       "<ParaCatalog\n<Pgf\n\t<PgfTag `Body'>\n>\n> # End ParaCatalog\n"},
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
      // The writer reads the second text-rectangle pointer.
      {"page", nullptr,
       [](std::FILE* s) {
         using R = TyxTextRectField;
         TyxTextRect second{.setMask = bits(R::GenericObjectData, R::TRFeather)};
         second.genericObjectData = {bits(TyxObjectDataField::ID), 2};
         TyxTextRect first{.next = &second, .setMask = bits(R::GenericObjectData, R::BRect)};
         first.genericObjectData = {bits(TyxObjectDataField::ID, TyxObjectDataField::Pen), 1, 15};
         first.bRect[0] = first.bRect[1] = TyxInches(1);
         first.bRect[2] = TyxInches(6.5f);
         first.bRect[3] = TyxInches(9);
         TyxPage page{.setMask = bits(TyxPageField::PageType, TyxPageField::HFMargins),
                      .pageType = 1,
                      .textRect = {nullptr, &first}};
         page.setMask |= bits(TyxPageField::TextRect);
         for (TyxDimension& margin : page.hfMargins) margin = TyxPoints(20);
         return TyxPageOut(&page, s);
       },
       "<Page\n\t<PageType BodyPage>\n\t<HFMargins 18.000pt 18.000pt 18.000pt 18.000pt>\n"
       "\t<TextRect\n\t\t<ID 1>\n\t\t<Pen 15>\n\t\t<BRect 1.000\" 1.000\" 6.500\" 9.000\">\n\t>\n"
       "\t<TextRect\n\t\t<ID 2>\n\t\t<TRFeather No>\n\t>\n>\n"},
      {"marker", openString,
       [](std::FILE* s) {
         const TyxMarker marker{bits(TyxMarkerField::MType, TyxMarkerField::MText), 2, "x"};
         return TyxMarkerOut(&marker, s);
       },
       "'>\n\t<Marker\n\t\t<MType 2>\n\t\t<MText `x'>\n\t>"},
      {"footnote reference", openString, [](std::FILE* s) { return TyxFNoteRefOut(3, s); },
       "'>\n\t<FNote 3>\n"},
      {"frame", openPara, [](std::FILE* s) { return TyxAFrameOut(4, s); }, "\t<AFrame 4>"},
      {"variable", openString, [](std::FILE* s) { return TyxVariableOut("v", s); },
       "'>\n\t<VarRef <Variable `v'>>\n"},
      {"text flow", nullptr,
       [](std::FILE* s) {
         using T = TyxTextFlowField;
         const TyxTextFlow flow{bits(T::TFTag, T::TextRectID, T::TFAutoConnect), "A", 2, 1};
         return TyxTextFlowOpen(&flow, s);
       },
       "<TextFlow\n\t<TFTag `A'>\n\t<TextRectID 2>\n\t<TFAutoConnect Yes>\n"},
      {"text flow close", openString, &TyxTextFlowClose, "'>\n" + kParaEnd + "> # End TextFlow\n"},
      {"notes", nullptr, &TyxNotesOpen, "\t<Notes\n"},
      {"notes close", nullptr, &TyxNotesClose, "\t> # End Notes\n"},
      {"footnote", nullptr, [](std::FILE* s) { return TyxFNoteTextOpen(7, s); },
       "\t\t<FNote\n<ID 7>\n"},
      {"footnote close", openPara, &TyxFNoteTextClose, kParaEnd + "\t\t> # End FNote\n"},
      {"paragraph after another", openString, [](std::FILE* s) { return TyxParaOpen(&body, s, 1); },
       "'>\n" + kParaEnd + kParaStart},
      {"paragraph close", openString, [](std::FILE* s) { return TyxParaClose(s, 1); },
       "'>\n" + kParaEnd},
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

TEST_F(TyxTest, CharacterRunStopsAtTheCharacterWhoseWriteFails) {
  // Through a small buffer on a full device, a run fails at the same character
  // as single calls do, wherever the buffer fills up.
  std::string text;
  for (int i = 0; i < 8; ++i) text += "A line of text with 'quotes', `ticks` and > signs. ";
  std::vector<char> buffer;
  const auto firstFailure = [&text, &buffer](bool asRun) {
    TyxReset();
    std::FILE* full = std::fopen("/dev/full", "w");
    std::setvbuf(full, buffer.data(), _IOFBF, buffer.size());
    EXPECT_EQ(TyxTextOpen(full), 1);
    const auto* codes = reinterpret_cast<const std::uint8_t*>(text.data());
    std::size_t written = asRun ? TyxCharsOut(codes, text.size(), full) : 0;
    while (!asRun && written < text.size() && TyxCharOut(codes[written], full) == 1) ++written;
    std::fclose(full);
    return written;
  };
  for (std::size_t size = 128; size < 400; size += 9) {
    buffer.resize(size);
    const std::size_t single = firstFailure(false);
    EXPECT_LT(single, text.size());
    EXPECT_EQ(firstFailure(true), single) << "buffer of " << size;
  }
}

}  // namespace
}  // namespace vantrove
