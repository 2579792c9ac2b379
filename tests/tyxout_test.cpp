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
class MemOut {
 public:
  MemOut() : file_(open_memstream(&buffer_, &size_)) {}
  ~MemOut() {
    std::fclose(file_);
    std::free(buffer_);
  }
  MemOut(const MemOut&) = delete;
  MemOut& operator=(const MemOut&) = delete;
  std::FILE* get() const { return file_; }
  std::string text() {
    std::fflush(file_);
    return std::string(buffer_, size_);
  }

 private:
  char* buffer_ = nullptr;
  std::size_t size_ = 0;
  std::FILE* file_;
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
  EXPECT_EQ(TyxDimensionOut(TyxPoints(12.0f), out.get()), 1);
  EXPECT_EQ(TyxDimensionOut(TyxInches(1.0f), out.get()), 1);
  EXPECT_EQ(TyxDimensionOut({-0.5f, TyxUnitCode(TyxUnit::Centimetre)}, out.get()), 1);
  EXPECT_EQ(TyxDimensionOut({2.0f, TyxUnitCode(TyxUnit::Millimetre)}, out.get()), 1);
  EXPECT_EQ(TyxDimensionOut({3.0f, TyxUnitCode(TyxUnit::Pica)}, out.get()), 1);
  EXPECT_EQ(TyxDimensionOut({5.0f, TyxUnitCode(TyxUnit::Didot)}, out.get()), 1);
  EXPECT_EQ(TyxDimensionOut({1.0f, TyxUnitCode(TyxUnit::Cicero)}, out.get()), 1);
  EXPECT_EQ(TyxDimensionOut(TyxInches(1.0f / 6), out.get()), 1);
  EXPECT_EQ(TyxDimensionOut({4.0f, 7}, out.get()), 1);  // unknown unit: nothing
  EXPECT_EQ(out.text(), "12.000pt1.000\"-0.500cm2.000mm3.000pica5.000dd1.000cc0.167\"");
}

TEST_F(TyxTest, WholeAndHalfDimensionsAndTheOthers) {
  for (float value : {10.5f, -0.5f, -0.0f, 0.0f, 8388607.5f, 1e9f, 1.75f, -2.0f}) {
    EXPECT_EQ(TyxDimensionOut(TyxPoints(value), out.get()), 1);
  }
  EXPECT_EQ(out.text(),
            "10.500pt-0.500pt-0.000pt0.000pt8388607.500pt1000000000.000pt1.750pt-2.000pt");
}

TEST_F(TyxTest, DimensionStatementsIndentByLevel) {
  const TyxDimension pair[2] = {TyxInches(8.5f), TyxInches(11.0f)};
  const TyxDimension four[4] = {TyxPoints(1), TyxPoints(2), TyxPoints(3), TyxPoints(4)};
  EXPECT_EQ(TyxStmtDimension2Out(pair, out.get(), 1, "DPageSize"), 1);
  EXPECT_EQ(TyxStmtRectOut(four, out.get(), 7, "BRect"), 1);
  EXPECT_EQ(out.text(),
            "\t<DPageSize 8.500\" 11.000\">\n\t\t\t\t<BRect 1.000pt 2.000pt 3.000pt 4.000pt>\n");
}

TEST_F(TyxTest, MarginMinimumRaisesSmallMarginsToAQuarterInch) {
  auto adjusted = [](TyxDimension d) {
    TyxMarginMinimum(&d);
    return d;
  };
  EXPECT_EQ(adjusted(TyxInches(0.3f)).value, 0.25f);
  // The float nearest 0.35 lies below 0.35 computed in double.
  EXPECT_EQ(adjusted(TyxInches(0.35f)).value, 0.25f);
  EXPECT_EQ(adjusted(TyxInches(0.4f)).value, 0.4f);
  EXPECT_FLOAT_EQ(adjusted({0.5f, TyxUnitCode(TyxUnit::Centimetre)}).value, 0.635f);
  EXPECT_EQ(adjusted({2.0f, TyxUnitCode(TyxUnit::Pica)}).value, 1.5f);
  EXPECT_EQ(adjusted(TyxPoints(20.0f)).value, 18.0f);
  EXPECT_EQ(adjusted(TyxPoints(26.0f)).value, 26.0f);
  EXPECT_EQ(adjusted({5.0f, TyxUnitCode(TyxUnit::Didot)}).value, 5.0f);
}

TEST_F(TyxTest, FieldWriterSkipsClearFieldsButKeepsTheirPlace) {
  TyxTabStop stop{};
  EXPECT_EQ(TyxFieldsOut(&stop, out.get(), 2, TyxTabStopFields), 1);
  EXPECT_EQ(out.text(), "");

  stop.setMask = TyxBit(TyxTabStopField::TSType) | TyxBit(TyxTabStopField::TSDecimalChar);
  stop.tsX = TyxInches(9);
  stop.tsType = static_cast<std::uint32_t>(TyxTabType::Decimal);
  stop.tsLeader = 99;
  stop.tsDecimalChar = 46;
  EXPECT_EQ(TyxFieldsOut(&stop, out.get(), 2, TyxTabStopFields), 1);
  EXPECT_EQ(out.text(), "\t\t<TSType Decimal>\n\t\t<TSDecimalChar 46>\n");
}

TEST_F(TyxTest, FieldWriterWritesTextsUnchangedAndBooleansAsWords) {
  TyxTextFlow flow{};
  flow.setMask = TyxBit(TyxTextFlowField::TFTag) | TyxBit(TyxTextFlowField::TFAutoConnect) |
                 TyxBit(TyxTextFlowField::TFPostScript) | TyxBit(TyxTextFlowField::TextRectID);
  flow.tfTag = "a`b'c>";
  flow.textRectID = -4;
  flow.tfAutoConnect = 1;
  flow.tfPostScript = 0;
  EXPECT_EQ(TyxTextFlowOpen(&flow, out.get()), 1);
  EXPECT_EQ(out.text(),
            "<TextFlow\n\t<TFTag `a`b'c>'>\n\t<TextRectID -4>\n\t<TFAutoConnect Yes>\n"
            "\t<TFPostScript No>\n");
}

// ---------------------------------------------------------------- paragraph formats

TEST_F(TyxTest, FormatStatementWithFontAndThreeTabStops) {
  TyxTabStop stops[3] = {};
  const char* types[3] = {"Left", "Center", "Right"};
  for (int i = 0; i < 3; ++i) {
    stops[i].setMask = TyxBit(TyxTabStopField::TSX) | TyxBit(TyxTabStopField::TSType);
    stops[i].tsX = TyxInches(static_cast<float>(i + 1));
    stops[i].tsType = static_cast<std::uint32_t>(i);
  }
  TyxPgf format = taggedFormat("Body");
  format.setMask |= TyxBit(TyxPgfField::PgfAlignment) | TyxBit(TyxPgfField::PgfSpBefore) |
                    TyxBit(TyxPgfField::PgfNumTabs) | TyxBit(TyxPgfField::PgfFont) |
                    TyxBit(TyxPgfField::TabStop);
  format.pgfAlignment = 3;
  format.pgfSpBefore = TyxPoints(6);
  format.pgfNumTabs = 3;
  format.tabStop = stops;
  format.pgfFont.setMask = TyxBit(TyxFontField::FFamily) | TyxBit(TyxFontField::FSize);
  format.pgfFont.fFamily = "Times";
  format.pgfFont.fSize = TyxPoints(10);
  EXPECT_EQ(TyxPgfOut(&format, out.get()), 1);
  std::string expected =
      "<Pgf\n\t<PgfTag `Body'>\n\t<PgfAlignment LeftRight>\n\t<PgfSpBefore  6.000pt>\n"
      "\t<PgfNumTabs 3>\n\t<PgfFont\n\t\t<FFamily `Times'>\n\t\t<FSize 10.000pt>\n\t>\n";
  for (int i = 0; i < 3; ++i) {
    expected += "\t<TabStop\n\t\t<TSX " + std::to_string(i + 1) + ".000\">\n\t\t<TSType " +
                types[i] + ">\n\t>\n";
  }
  EXPECT_EQ(out.text(), expected + ">\n");
}

TEST_F(TyxTest, FormatWithoutTabStopsCountsThemTwice) {
  TyxPgf format = taggedFormat("Plain");
  format.setMask |= TyxBit(TyxPgfField::PgfNumTabs);
  EXPECT_EQ(TyxPgfOut(&format, out.get()), 1);
  EXPECT_EQ(out.text(), "<Pgf\n\t<PgfTag `Plain'>\n\t<PgfNumTabs 0>\n\t<PgfNumTabs 0>\n>\n");
}

TEST_F(TyxTest, FormatDifferenceComparesFontAndTabStops) {
  TyxTabStop oldStops[2] = {{1, TyxInches(1), 0, 0, 0}, {1, TyxInches(2), 0, 0, 0}};
  TyxTabStop newStops[2] = {{1, TyxInches(1), 0, 0, 0}, {1, TyxInches(2), 0, 0, 0}};
  TyxPgf before = taggedFormat("A");
  before.setMask |= TyxBit(TyxPgfField::PgfNumTabs) | TyxBit(TyxPgfField::PgfFont);
  before.pgfNumTabs = 2;
  before.tabStop = oldStops;
  before.pgfFont.setMask = TyxBit(TyxFontField::FSize);
  before.pgfFont.fSize = TyxPoints(10);
  TyxPgf after = before;
  after.pgfTag = "B";
  after.tabStop = newStops;

  TyxTabStop buffer[2] = {};
  TyxPgf diff{};
  diff.tabStop = buffer;
  TyxPgfDiff(1, &before, &after, &diff);
  EXPECT_EQ(diff.setMask, 0u);  // tags ignored, all else alike

  newStops[1].tsX = TyxInches(3);
  after.pgfFont.fSize = TyxPoints(12);
  TyxPgfDiff(1, &before, &after, &diff);
  EXPECT_EQ(diff.setMask, TyxBit(TyxPgfField::PgfNumTabs) | TyxBit(TyxPgfField::PgfFont));
  EXPECT_EQ(diff.pgfNumTabs, 2);
  EXPECT_EQ(buffer[1].tsX.value, 3.0f);
  EXPECT_EQ(diff.pgfFont.setMask, TyxBit(TyxFontField::FSize));
  EXPECT_EQ(diff.tabStop, buffer);
}

// ---------------------------------------------------------------- paragraph catalog

TEST_F(TyxTest, CatalogWritesOnlyUsedEntries) {
  TyxPgf spare = taggedFormat("Spare");
  EXPECT_STREQ(TyxParaCatalogNew(&spare), "Spare");
  EXPECT_STREQ(TyxParaCatalogNew(&spare), "Spare");  // kept tag, no number
  EXPECT_EQ(TyxParaCatalogOut(out.get()), 1);
  EXPECT_EQ(out.text(), "<ParaCatalog\n> # End ParaCatalog\n");
}

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

  EXPECT_EQ(TyxParaCatalogOut(out.get()), 1);
  const std::string text = out.text();
  const auto pos = [&](const char* tag) {
    return text.find(std::string("<PgfTag `") + tag + "'>");
  };
  EXPECT_LT(pos("Body3"), pos("Body2"));  // newest first
  EXPECT_LT(pos("Body2"), pos("Head1"));
  EXPECT_LT(pos("Head1"), pos("Head"));
  EXPECT_LT(pos("Head"), pos("Body"));
  EXPECT_NE(pos("Body"), std::string::npos);
}

TEST_F(TyxTest, CatalogFallsBackToMemoryFull) {
  TyxPgf body = taggedFormat("Body");
  setLIndent(body, 1);
  TyxParaCatalogNew(&body);  // unused until the fallback marks it
  setLIndent(body, 2);
  TyxSetAllocationLimit(0);
  EXPECT_STREQ(TyxParaCatalogLookup(&body), "memory full");
  TyxSetAllocationLimit(-1);
  EXPECT_EQ(TyxParaCatalogOut(out.get()), 1);
  EXPECT_EQ(out.text(),
            "<ParaCatalog\n<Pgf\n\t<PgfTag `Body'>\n\t<PgfLIndent 1.000\">\n>\n"
            "> # End ParaCatalog\n");
  // The failed variant had already taken number 1.
  EXPECT_STREQ(TyxParaCatalogLookup(&body), "Body2");
}

// The catalog against a plain model of it: a newest-first list walked entry by
// entry, where an entry serves a format when the format adds nothing to it and
// the entry's tag begins with the format's. Many random formats, with tags that
// are prefixes of one another, fields that one format has and another lacks,
// equal texts at different addresses and tab stops of differing masks.
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

TEST_F(TyxTest, DocumentStatement) {
  TyxDocument document{};
  EXPECT_EQ(TyxDocumentOut(&document, out.get()), 1);
  EXPECT_EQ(out.text(), "<Document\n <DBordersOn Yes>\n>\n");

  document.setMask = TyxBit(TyxDocumentField::DMargins) | TyxBit(TyxDocumentField::DPageSize) |
                     TyxBit(TyxDocumentField::DRelativeTabs) |
                     TyxBit(TyxDocumentField::DFNoteAnchorPos);
  for (TyxDimension& margin : document.dMargins) margin = TyxInches(0.1f);
  document.dMargins[TyxTop] = {0.5f, TyxUnitCode(TyxUnit::Centimetre)};
  document.dMargins[TyxBottom] = TyxInches(1);
  document.dPageSize[0] = TyxInches(8.5f);
  document.dPageSize[1] = TyxInches(11);
  document.dRelativeTabs = 1;
  document.dFNoteAnchorPos = 1;
  EXPECT_EQ(TyxDocumentOut(&document, out.get()), 1);
  EXPECT_EQ(out.text(),
            "<Document\n <DBordersOn Yes>\n>\n"
            "<Document\n <DBordersOn Yes>\n\t<DMargins 0.250\" 0.635cm 0.250\" 1.000\">\n"
            "\t<DPageSize 8.500\" 11.000\">\n\t<DFNoteAnchorPos FNBaseline>\n>\n");
  EXPECT_EQ(document.setMask & TyxBit(TyxDocumentField::DRelativeTabs), 0u);
  EXPECT_EQ(document.dMargins[TyxLeft].value, 0.25f);
}

TEST_F(TyxTest, PageStatementWithTextRectangles) {
  TyxTextRect second{};
  second.genericObjectData.setMask = TyxBit(TyxObjectDataField::ID);
  second.genericObjectData.id = 6;
  second.setMask = TyxBit(TyxTextRectField::TRNext);
  second.trNext = 2;
  TyxTextRect first{};
  first.next = &second;
  first.genericObjectData.setMask = TyxBit(TyxObjectDataField::ID);
  first.genericObjectData.id = 5;
  first.setMask = TyxBit(TyxTextRectField::BRect) | TyxBit(TyxTextRectField::GenericObjectData);
  first.bRect[0] = TyxInches(1);
  first.bRect[1] = TyxInches(1);
  first.bRect[2] = TyxInches(6.5f);
  first.bRect[3] = TyxInches(9);

  TyxPage page{};
  page.setMask = TyxBit(TyxPageField::PageType) | TyxBit(TyxPageField::HFMargins) |
                 TyxBit(TyxPageField::TextRect);
  page.pageType = 1;
  for (TyxDimension& margin : page.hfMargins) margin = TyxPoints(20);
  page.textRect[0] = nullptr;
  page.textRect[1] = &first;  // the writer reads the second pointer
  EXPECT_EQ(TyxPageOut(&page, out.get()), 1);
  page.textRect[1] = nullptr;
  page.setMask = TyxBit(TyxPageField::TextRect);
  EXPECT_EQ(TyxPageOut(&page, out.get()), 1);
  EXPECT_EQ(out.text(),
            "<Page\n\t<PageType BodyPage>\n"
            "\t<HFMargins 18.000pt 18.000pt 18.000pt 18.000pt>\n"
            "\t<TextRect\n\t\t<ID 5>\n\t\t<BRect 1.000\" 1.000\" 6.500\" 9.000\">\n\t>\n"
            "\t<TextRect\n\t\t<ID 6>\n\t\t<TRNext 2>\n\t>\n"
            ">\n"
            "<Page\n>\n");
}

// ---------------------------------------------------------------- text

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

TEST_F(TyxTextTest, StringsEscapeFiveCharacters) {
  open();
  chars("it's");
  chars("`>\\\b\"< ");
  EXPECT_EQ(TyxParaClose(out.get(), 1), 1);
  EXPECT_EQ(out.text(), kParaStart + "\t<String `it\\xD5 s\\xD4 \\>\\\\\\t\"< '>\n" + kParaEnd);
}

TEST_F(TyxTextTest, LineEndsAndHardReturns) {
  open();
  chars("\n");  // first character: ends the first line
  chars("a\t\n\n\nb\n");
  chars("\t");
  EXPECT_EQ(TyxParaClose(out.get(), 1), 1);
  EXPECT_EQ(out.text(), kParaStart +
                            "><ParaLine\n"
                            "\t<String `a'>\n\t<Char HardReturn>\n><ParaLine\n"
                            "\t<String `b'>\n\t><ParaLine\n"
                            "\t<Char HardReturn>\n><ParaLine\n" +
                            kParaEnd);
}

TEST_F(TyxTextTest, NamedAndNumberedCharacters) {
  open();
  for (int code : {4, 5, 16, 17, 233}) ASSERT_EQ(TyxCharOut(code, out.get()), 1);
  chars("x");
  ASSERT_EQ(TyxCharOut(0xE9, out.get()), 1);
  chars("y");
  ASSERT_EQ(TyxCharOut(17, out.get()), 1);
  EXPECT_EQ(out.text(), kParaStart +
                            "\t<Char DiscHyphen>\n\t<Char NoHyphen>\n\t<Char NumberSpace>\n"
                            "\t<Char HardSpace>\n\t<Char 233> # 0xe9\n"
                            "\t<String `x'>\n\t<Char 233> # 0xe9\n"
                            "\t<String `y'>\n\t<Char HardSpace>\n");
}

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
  chars("d");
  EXPECT_EQ(TyxVariableOut("Date", out.get()), 1);
  EXPECT_EQ(out.text(), kParaStart +
                            "\t<String `ab'>\n\t<Marker\n\t\t<MType 2>\n\t\t<MText `x'>\n\t>"
                            "\t<FNote 3>\n\t<String `c'>\n\t<AFrame 4>"
                            "\t<String `d'>\n\t<VarRef <Variable `Date'>>\n");
}

TEST_F(TyxTextTest, ContainersAndParagraphSequence) {
  EXPECT_EQ(TyxTextFlowClose(out.get()), 1);  // nothing open
  EXPECT_EQ(TyxNotesOpen(out.get()), 1);
  EXPECT_EQ(TyxFNoteTextOpen(7, out.get()), 1);
  open();
  chars("a");
  open();  // ends the first paragraph
  EXPECT_EQ(TyxFNoteTextClose(out.get()), 1);
  EXPECT_EQ(TyxNotesClose(out.get()), 1);
  EXPECT_EQ(out.text(), "> # End TextFlow\n\t<Notes\n\t\t<FNote\n<ID 7>\n" + kParaStart +
                            "\t<String `a'>\n" + kParaEnd + kParaStart + kParaEnd +
                            "\t\t> # End FNote\n\t> # End Notes\n");
}

TEST_F(TyxTextTest, CharacterRunsWriteWhatSingleCharactersWould) {
  open();
  const std::uint8_t first[] = {'a', 'b', 0xE9, 'c', '`', 'd', 9, 10, 10, 'x', '>', 'y', 4, 'z', 8};
  EXPECT_EQ(TyxCharsOut(first, sizeof first, out.get()), sizeof first);
  // The last character of a run counts as the last one written: a hard
  // return absorbs the line end after it, a letter does not.
  const std::uint8_t hard[] = {'e', 9};
  EXPECT_EQ(TyxCharsOut(hard, sizeof hard, out.get()), sizeof hard);
  chars("\n");
  const std::uint8_t letters[] = {'f', 'g'};
  EXPECT_EQ(TyxCharsOut(letters, sizeof letters, out.get()), sizeof letters);
  chars("\n");
  EXPECT_EQ(TyxParaClose(out.get(), 1), 1);
  EXPECT_EQ(out.text(), kParaStart +
                            "\t<String `ab'>\n\t<Char 233> # 0xe9\n"
                            "\t<String `c\\xD4 d'>\n\t<Char HardReturn>\n><ParaLine\n"
                            "\t<String `x\\>y'>\n\t<Char DiscHyphen>\n"
                            "\t<String `z\\te'>\n\t<Char HardReturn>\n><ParaLine\n"
                            "\t<String `fg'>\n\t><ParaLine\n" +
                            kParaEnd);
}

TEST_F(TyxTextTest, PlainTextModeWritesNoParagraphLines) {
  EXPECT_EQ(TyxTextOpen(out.get()), 1);
  chars("ab\t\n\nc");
  EXPECT_EQ(TyxTextClose(out.get()), 1);
  EXPECT_EQ(out.text(), "\t<String `ab'>\n\t<Char HardReturn>\n\n\t<String `c'>\n");
}

TEST_F(TyxTextTest, CharactersAndFontsWithoutATextStateAreDropped) {
  EXPECT_EQ(TyxCharOut('a', out.get()), 1);
  TyxFont font{};
  font.setMask = TyxBit(TyxFontField::FBold);
  font.fBold = 1;
  EXPECT_EQ(TyxFontOut(&font, out.get()), 1);
  EXPECT_EQ(out.text(), "");
}

// ---------------------------------------------------------------- font changes

TEST_F(TyxTextTest, FontChangeWritesAttributesInOrder) {
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
  EXPECT_EQ(out.text(), kParaStart +
                            "\t<String `a'>\n\t<Font <FFamily `F'> <FSize 9.000pt> <FPlain No>"
                            " <FBold Yes> <FItalic Yes> <FUnderline Yes> <FStrike Yes>"
                            " <FOverline Yes> <FSupScript Yes> <FSubScript Yes>"
                            " <FChangeBar Yes> <FDY -3.000pt>>\n\t<String `b");
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

TEST_F(TyxTextTest, SizeIsComparedByValueOnly) {
  open();
  chars("a");
  TyxFont font{};
  font.setMask = TyxBit(TyxFontField::FSize);
  font.fSize = TyxPoints(12);
  EXPECT_EQ(TyxFontOut(&font, out.get()), 1);
  chars("b");
  font.fSize = {12, TyxUnitCode(TyxUnit::Centimetre)};
  EXPECT_EQ(TyxFontOut(&font, out.get()), 1);
  font.fSize = TyxInches(1.0f / 6);
  EXPECT_EQ(TyxFontOut(&font, out.get()), 1);
  EXPECT_EQ(out.text(), kParaStart +
                            "\t<String `a'>\n\t<Font <FSize 12.000pt>>\n"
                            "\t<String `b'>\n\t<Font <FSize 0.167\">>\n");
}

TEST_F(TyxTextTest, ParagraphFontSetsTheStateAndSomeAttributesCarryOver) {
  format.setMask |= TyxBit(TyxPgfField::PgfFont);
  format.pgfFont.setMask = TyxBit(TyxFontField::FFamily) | TyxBit(TyxFontField::FPlain);
  format.pgfFont.fFamily = "Times";
  format.pgfFont.fPlain = 1;
  open();
  TyxFont font{};
  font.setMask = TyxBit(TyxFontField::FFamily) | TyxBit(TyxFontField::FPlain) |
                 TyxBit(TyxFontField::FSupScript) | TyxBit(TyxFontField::FItalic);
  font.fFamily = "Times";
  font.fPlain = 1;
  font.fSupScript = 1;
  font.fItalic = 0;  // the paragraph start left italic unknown (2)
  EXPECT_EQ(TyxFontOut(&font, out.get()), 1);
  format.setMask &= ~TyxBit(TyxPgfField::PgfFont);
  open();
  EXPECT_EQ(TyxFontOut(&font, out.get()), 1);  // superscript carried over
  EXPECT_EQ(out.text(), kParaStart + "\t<Font <FItalic No> <FSupScript Yes>>\n" + kParaEnd +
                            kParaStart + "\t<Font <FFamily `Times'> <FPlain Yes>>\n");
}

// ---------------------------------------------------------------- state stack

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

  // A small buffer accepts a few characters, then fails when it flushes.
  full = std::fopen("/dev/full", "w");
  ASSERT_NE(full, nullptr);
  char buffer[16];
  std::setvbuf(full, buffer, _IOFBF, sizeof buffer);
  int failures = 0;
  for (int i = 0; i < 100; ++i) failures += TyxCharOut('x', full) == 0;
  EXPECT_GT(failures, 0);
  std::fclose(full);
}

TEST_F(TyxTest, CharacterRunStopsAtTheCharacterWhoseWriteFails) {
  // On a full device, a run fails at the same character as the same
  // characters written one call at a time, wherever the buffer fills up.
  std::string text;
  for (int i = 0; i < 8; ++i) text += "A line of text with 'quotes', `ticks` and > signs. ";
  std::vector<char> buffer;
  const auto firstFailure = [&text, &buffer](bool asRun) {
    TyxReset();
    std::FILE* full = std::fopen("/dev/full", "w");
    std::setvbuf(full, buffer.data(), _IOFBF, buffer.size());
    EXPECT_EQ(TyxTextOpen(full), 1);
    std::size_t written = text.size();
    if (asRun) {
      written = TyxCharsOut(reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), full);
    } else {
      for (std::size_t i = 0; i < text.size(); ++i) {
        if (TyxCharOut(static_cast<unsigned char>(text[i]), full) == 0) {
          written = i;
          break;
        }
      }
    }
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

TEST_F(TyxTest, Prelude) {
  EXPECT_EQ(TyxPreludeOut(out.get(), "vantrove"), 1);
  EXPECT_EQ(out.text(), "<TYXFile 2.00> # Generated by vantrove\ninclude(tyx_read.m4)\n");
}

}  // namespace
}  // namespace vantrove
