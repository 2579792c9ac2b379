// Tests of the Tyx writer: exact statement text for each kind of statement.
#include "tyxout/tyxout.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <random>
#include <string>
#include <vector>

namespace vantrove {
namespace {

// An in-memory output stream.
struct MemOut {
  char* buffer = nullptr;
  std::size_t size = 0;
  std::FILE* file = open_memstream(&buffer, &size);
  ~MemOut() {
    std::fclose(file);
    std::free(buffer);
  }
  std::FILE* get() const { return file; }
  std::string text() { return std::fflush(file) == 0 ? std::string(buffer, size) : "<error>"; }
};

class TyxTest : public ::testing::Test {
 protected:
  void SetUp() override { TyxReset(); }
  void TearDown() override { TyxReset(); }
  MemOut out;
};

TyxPgf taggedFormat(const char* tag) {
  TyxPgf format{};
  format.setMask = TyxBit(TyxPgfField::PgfTag);
  format.pgfTag = tag;
  return format;
}

void setLIndent(TyxPgf& format, float inches) {
  format.setMask |= TyxBit(TyxPgfField::PgfLIndent);
  format.pgfLIndent = TyxInches(inches);
}

const std::string kParaStart = "<Para <PgfTag `Body'>\n\t<ParaLine # Begin Para's ParaLines.\n";
const std::string kParaEnd = "\t> # End Paraline.\n> # End Para.\n";

// ---------------------------------------------------------------- dimensions and fields

TEST_F(TyxTest, DimensionsCarryThreeDecimalsAndTheirUnit) {
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
}

TEST_F(TyxTest, MarginMinimumRaisesMarginsBelow035InchToAQuarterInch) {
  const std::pair<TyxDimension, float> cases[] = {
      {TyxInches(0.3f), 0.25f}, {TyxInches(0.35f), 0.25f},  // the float lies below 0.35
      {TyxInches(0.4f), 0.4f},  {{0.5f, 1}, 0.635f},       {{2, 3}, 1.5f},
      {TyxPoints(20), 18},      {TyxPoints(26), 26},       {{5, 5}, 5}};
  for (auto [dimension, expected] : cases) {
    TyxMarginMinimum(&dimension);
    EXPECT_FLOAT_EQ(dimension.value, expected);
  }
}

// ---------------------------------------------------------------- paragraph formats

TEST_F(TyxTest, FormatStatementShowsTwoBlanksAfterSpaceBeforeAndZeroTabStopsTwice) {
  // Formats with fonts and tab stops are checked through the catalogs of the
  // converted documents.
  TyxPgf format = taggedFormat("Body");
  format.setMask |= TyxBit(TyxPgfField::PgfSpBefore) | TyxBit(TyxPgfField::PgfNumTabs);
  format.pgfSpBefore = TyxPoints(6);
  EXPECT_EQ(TyxPgfOut(&format, out.get()), 1);
  EXPECT_EQ(out.text(),
            "<Pgf\n\t<PgfTag `Body'>\n\t<PgfSpBefore  6.000pt>\n\t<PgfNumTabs 0>\n"
            "\t<PgfNumTabs 0>\n>\n");
}

// ---------------------------------------------------------------- paragraph catalog

TEST_F(TyxTest, CatalogReusesAnEntryThatCoversTheFormat) {
  TyxPgf header = taggedFormat("Header");
  setLIndent(header, 1);
  header.setMask |= TyxBit(TyxPgfField::PgfAlignment);
  header.pgfAlignment = 1;
  EXPECT_STREQ(TyxParaCatalogLookup(&header), "Header");
  EXPECT_STREQ(TyxParaCatalogLookup(&header), "Header");  // equal format, same entry

  TyxPgf head = taggedFormat("Head");  // a prefix of Header, adds nothing
  setLIndent(head, 1);
  EXPECT_STREQ(TyxParaCatalogLookup(&head), "Header");

  TyxPgf body = taggedFormat("Body");  // covered by Header but not a prefix
  setLIndent(body, 1);
  EXPECT_STREQ(TyxParaCatalogLookup(&body), "Body");

  EXPECT_EQ(TyxParaCatalogOut(out.get()), 1);
  EXPECT_EQ(out.text(),
            "<ParaCatalog\n"
            "<Pgf\n\t<PgfTag `Body'>\n\t<PgfLIndent 1.000\">\n>\n"
            "<Pgf\n\t<PgfTag `Header'>\n\t<PgfLIndent 1.000\">\n\t<PgfAlignment Center>\n>\n"
            "> # End ParaCatalog\n");
}

TEST_F(TyxTest, CatalogNumbersVariantsFromOneSharedCounter) {
  TyxPgf body = taggedFormat("Body");
  TyxPgf head = taggedFormat("Head");
  setLIndent(body, 1);
  setLIndent(head, 1);
  EXPECT_STREQ(TyxParaCatalogLookup(&body), "Body");
  EXPECT_STREQ(TyxParaCatalogLookup(&head), "Head");
  setLIndent(head, 2);
  EXPECT_STREQ(TyxParaCatalogLookup(&head), "Head1");
  setLIndent(body, 2);
  EXPECT_STREQ(TyxParaCatalogLookup(&body), "Body2");
  setLIndent(body, 3);
  EXPECT_STREQ(TyxParaCatalogLookup(&body), "Body3");
  // The walk passes the newer Head1 and finds the older Head.
  setLIndent(head, 1);
  EXPECT_STREQ(TyxParaCatalogLookup(&head), "Head");
}

TEST_F(TyxTest, CatalogChoosesTheNewestServingEntryAmongManyFormats) {
  struct ModelEntry {
    std::string tag;
    TyxPgf format;
    bool used;
  };
  std::vector<ModelEntry> model;  // oldest first
  int tagNumber = 0;
  const auto modelAdd = [&](const TyxPgf& format, bool keepTag) -> const std::string& {
    std::string tag = format.pgfTag;
    bool taken = false;
    for (const ModelEntry& entry : model) taken = taken || entry.tag == tag;
    const bool numbered = !keepTag && taken;
    if (numbered) tag += std::to_string(++tagNumber);
    model.push_back({tag, format, numbered});
    return model.back().tag;
  };
  const auto modelLookup = [&](const TyxPgf& format) -> std::string {
    for (auto entry = model.rbegin(); entry != model.rend(); ++entry) {
      TyxPgf scratch{};
      scratch.tabStop = format.tabStop;
      TyxPgfDiff(1, &entry->format, &format, &scratch);
      if (scratch.setMask == 0 && entry->tag.starts_with(format.pgfTag)) {
        entry->used = true;
        return entry->tag;
      }
    }
    const std::string tag = modelAdd(format, false);
    model.back().used = true;
    return tag;
  };

  // Texts live as long as the catalog, which keeps pointers to them.
  static const char* const kTags[] = {"A", "AB", "B", "ABC"};
  static const std::string kTexts[] = {"x", "y", "x", "y"};
  static const std::string kFamilies[] = {"Times", "Courier", "Times"};
  std::deque<std::vector<TyxTabStop>> tabArrays;
  std::mt19937 random(20240611);
  const auto pick = [&](int n) { return static_cast<int>(random() % n); };
  const auto maybe = [&](TyxPgf& format, TyxPgfField field) {
    const bool set = pick(3) != 0;
    if (set) format.setMask |= TyxBit(field);
    return set;
  };

  for (int round = 0; round < 2500; ++round) {
    TyxPgf format{};
    format.setMask = TyxBit(TyxPgfField::PgfTag);
    format.pgfTag = kTags[pick(4)];
    if (maybe(format, TyxPgfField::PgfLIndent)) format.pgfLIndent = TyxInches(pick(2));
    if (maybe(format, TyxPgfField::PgfAlignment)) format.pgfAlignment = pick(2);
    if (maybe(format, TyxPgfField::PgfSpBefore)) {
      format.pgfSpBefore = pick(2) ? TyxPoints(6) : TyxInches(6);
    }
    if (maybe(format, TyxPgfField::PgfNumFormat)) format.pgfNumFormat = kTexts[pick(4)].c_str();
    if (maybe(format, TyxPgfField::PgfFont)) {
      TyxFont& font = format.pgfFont;
      font.setMask =
          (TyxBit(TyxFontField::FFamily) * pick(2)) | (TyxBit(TyxFontField::FSize) * pick(2));
      font.fFamily = kFamilies[pick(3)].c_str();
      font.fSize = TyxPoints(10 + 2 * pick(2));
    }
    if (maybe(format, TyxPgfField::PgfNumTabs)) {
      format.pgfNumTabs = pick(3);
      std::vector<TyxTabStop>& tabs = tabArrays.emplace_back(format.pgfNumTabs);
      for (TyxTabStop& tab : tabs) {
        tab.setMask = TyxBit(TyxTabStopField::TSX) | TyxBit(TyxTabStopField::TSType) * pick(2);
        tab.tsX = TyxInches(1 + pick(2));
        tab.tsType = 3 * pick(2);
      }
      format.tabStop = pick(20) != 0 ? tabs.data() : nullptr;  // rarely counted but missing
    }
    if (pick(10) == 0) {
      EXPECT_EQ(TyxParaCatalogNew(&format), modelAdd(format, true));
    } else {
      ASSERT_EQ(TyxParaCatalogLookup(&format), modelLookup(format)) << "round " << round;
    }
  }

  MemOut expected;
  std::fputs("<ParaCatalog\n", expected.get());
  for (auto entry = model.rbegin(); entry != model.rend(); ++entry) {
    entry->format.pgfTag = entry->tag.c_str();
    if (entry->used) TyxPgfOut(&entry->format, expected.get());
  }
  std::fputs("> # End ParaCatalog\n", expected.get());
  EXPECT_EQ(TyxParaCatalogOut(out.get()), 1);
  EXPECT_EQ(out.text(), expected.text());
}

// ---------------------------------------------------------------- document and page

TEST_F(TyxTest, DocumentAndPageStatementsRaiseTheirMargins) {
  TyxDocument document{};
  document.setMask = TyxBit(TyxDocumentField::DMargins) | TyxBit(TyxDocumentField::DRelativeTabs) |
                     TyxBit(TyxDocumentField::DFNoteAnchorPos);
  for (TyxDimension& margin : document.dMargins) margin = TyxInches(0.1f);
  document.dMargins[TyxTop] = {0.5f, TyxUnitCode(TyxUnit::Centimetre)};
  document.dRelativeTabs = 1;
  document.dFNoteAnchorPos = 1;
  EXPECT_EQ(TyxDocumentOut(&document, out.get()), 1);
  EXPECT_EQ(document.setMask & TyxBit(TyxDocumentField::DRelativeTabs), 0u);  // never shown
  TyxTextRect rect{};
  rect.setMask = TyxBit(TyxTextRectField::TRNext);
  rect.trNext = 2;
  TyxPage page{};
  page.setMask = TyxBit(TyxPageField::HFMargins) | TyxBit(TyxPageField::TextRect);
  for (TyxDimension& margin : page.hfMargins) margin = TyxPoints(20);
  page.textRect[1] = &rect;  // the writer reads the second pointer
  EXPECT_EQ(TyxPageOut(&page, out.get()), 1);
  EXPECT_EQ(out.text(),
            "<Document\n <DBordersOn Yes>\n\t<DMargins 0.250\" 0.635cm 0.250\" 0.250\">\n"
            "\t<DFNoteAnchorPos FNBaseline>\n>\n"
            "<Page\n\t<HFMargins 18.000pt 18.000pt 18.000pt 18.000pt>\n"
            "\t<TextRect\n\t\t<TRNext 2>\n\t>\n>\n");
}

// ---------------------------------------------------------------- text

// The codes written into a fresh paragraph (or, without one, in plain-text
// mode) and closed: one call per code, or, with a split, as two runs.
std::string written(bool paragraph, const std::string& codes,
                    std::size_t split = std::string::npos) {
  TyxReset();
  MemOut mem;
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
  void SetUp() override {
    TyxTest::SetUp();
    format = taggedFormat("Body");
  }
  void open() { ASSERT_EQ(TyxParaOpen(&format, out.get(), 1), 1); }
  void chars(const std::string& text) {
    for (unsigned char c : text) ASSERT_EQ(TyxCharOut(c, out.get()), 1);
  }
  TyxPgf format;
};

TEST_F(TyxTextTest, InTextStatementsCloseTheString) {
  open();
  chars("ab");
  TyxMarker marker{};
  marker.setMask = TyxBit(TyxMarkerField::MType) | TyxBit(TyxMarkerField::MText);
  marker.mType = 2;
  marker.mText = "x";
  EXPECT_EQ(TyxMarkerOut(&marker, out.get()), 1);
  EXPECT_EQ(TyxFNoteRefOut(3, out.get()), 1);
  chars("c");
  EXPECT_EQ(TyxAFrameOut(4, out.get()), 1);
  EXPECT_EQ(out.text(), kParaStart +
                            "\t<String `ab'>\n\t<Marker\n\t\t<MType 2>\n\t\t<MText `x'>\n\t>"
                            "\t<FNote 3>\n\t<String `c'>\n\t<AFrame 4>");
}

// ---------------------------------------------------------------- font changes

TEST_F(TyxTextTest, FontChangeWritesWhatDiffersInItsOrder) {
  open();
  chars("a");
  TyxFont font{};
  EXPECT_EQ(TyxFontOut(&font, out.get()), 1);  // empty mask: nothing
  font.setMask = 0xFFFFFFu;
  font.fFamily = "F";
  font.fSize = TyxPoints(9);
  font.fBold = font.fItalic = font.fUnderline = font.fStrike = 1;
  font.fOverline = font.fSupScript = font.fSubScript = font.fChangeBar = 1;
  font.fDY = TyxPoints(-3);
  font.fSmallCaps = font.fShadow = 1;  // never written
  EXPECT_EQ(TyxFontOut(&font, out.get()), 1);
  chars("b");
  EXPECT_EQ(TyxFontOut(&font, out.get()), 1);  // all in force: nothing
  // Sizes are compared by value only.
  font.setMask = TyxBit(TyxFontField::FSize);
  font.fSize = {9, TyxUnitCode(TyxUnit::Centimetre)};
  EXPECT_EQ(TyxFontOut(&font, out.get()), 1);
  font.fSize = TyxInches(1.0f / 6);
  EXPECT_EQ(TyxFontOut(&font, out.get()), 1);
  EXPECT_EQ(out.text(), kParaStart +
                            "\t<String `a'>\n\t<Font <FFamily `F'> <FSize 9.000pt> <FPlain No>"
                            " <FBold Yes> <FItalic Yes> <FUnderline Yes> <FStrike Yes>"
                            " <FOverline Yes> <FSupScript Yes> <FSubScript Yes>"
                            " <FChangeBar Yes> <FDY -3.000pt>>\n\t<String `b'>\n"
                            "\t<Font <FSize 0.167\">>\n");
}

TEST_F(TyxTextTest, PlainAndEmphasisInteract) {
  open();
  TyxFont font{};
  font.setMask = TyxBit(TyxFontField::FBold);
  font.fBold = 1;
  EXPECT_EQ(TyxFontOut(&font, out.get()), 1);  // " <FBold Yes>"
  EXPECT_EQ(TyxFontOut(&font, out.get()), 1);  // bold already 1: nothing
  font.setMask = TyxBit(TyxFontField::FPlain) | TyxBit(TyxFontField::FBold);
  font.fPlain = 1;
  font.fBold = 0;
  EXPECT_EQ(TyxFontOut(&font, out.get()), 1);  // plain clears bold first
  font.setMask = TyxBit(TyxFontField::FBold);
  font.fBold = 1;
  EXPECT_EQ(TyxFontOut(&font, out.get()), 1);  // ends plain
  font.setMask = TyxBit(TyxFontField::FPlain);
  EXPECT_EQ(TyxFontOut(&font, out.get()), 1);  // plain is 0 again, so written
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

// ---------------------------------------------------------------- write failures

TEST_F(TyxTest, FailedWritesReturnZero) {
  std::FILE* full = std::fopen("/dev/full", "w");
  ASSERT_NE(full, nullptr);
  std::setvbuf(full, nullptr, _IONBF, 0);
  EXPECT_EQ(TyxPreludeOut(full, "vantrove"), 0);
  EXPECT_EQ(TyxDimensionOut(TyxPoints(1), full), 0);
  EXPECT_EQ(TyxParaCatalogOut(full), 0);
  TyxPgf format = taggedFormat("Body");
  EXPECT_EQ(TyxParaOpen(&format, full, 1), 0);
  EXPECT_EQ(TyxCharOut('a', full), 0);
  std::fclose(full);
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
