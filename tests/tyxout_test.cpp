// Tests of the Tyx writer: every operation with its text and its stop at a
// failed write, the catalog against a plain list, characters and font changes.
#include "tyxout/tyxout.h"

#include <gtest/gtest.h>
#include <sys/types.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <random>
#include <string>
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

TyxPgf taggedFormat(const char* tag) {
  return {.setMask = bits(P::PgfTag), .pgfTag = tag};
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

// The catalog written plainly: a list searched from its newest entry.
struct ModelEntry {
  std::string tag;
  TyxPgf format;
  std::vector<TyxTabStop> tabs;  // the entry's own copy
  bool used;
};

// Whether the entry holds every field the paragraph's format holds (its tag
// aside) with the same value, its font's and its tab stops' included.
bool addsNothing(const TyxPgf& e, const TyxPgf& p) {
  const auto in = [](std::uint32_t outer, std::uint32_t inner, auto field, bool same) {
    return (inner & TyxBit(field)) == 0 || ((outer & TyxBit(field)) != 0 && same);
  };
  const auto dim = [](TyxDimension a, TyxDimension b) {
    return a.value == b.value && a.unit == b.unit;
  };
  const TyxFont &ef = e.pgfFont, &pf = p.pgfFont;
  const bool font = in(ef.setMask, pf.setMask, F::FSize, dim(ef.fSize, pf.fSize)) &&
                    in(ef.setMask, pf.setMask, F::FBold, ef.fBold == pf.fBold) &&
                    in(ef.setMask, pf.setMask, F::FFamily, std::string(ef.fFamily) == pf.fFamily);
  bool tabs = e.pgfNumTabs == p.pgfNumTabs;
  for (int i = 0; tabs && i < p.pgfNumTabs; ++i) {
    const TyxTabStop &et = e.tabStop[i], &pt = p.tabStop[i];
    using T = TyxTabStopField;
    tabs = in(et.setMask, pt.setMask, T::TSX, dim(et.tsX, pt.tsX)) &&
           in(et.setMask, pt.setMask, T::TSType, et.tsType == pt.tsType);
  }
  const std::uint32_t m = e.setMask, n = p.setMask;
  return in(m, n, P::PgfLIndent, dim(e.pgfLIndent, p.pgfLIndent)) &&
         in(m, n, P::PgfNumFormat, std::string(e.pgfNumFormat) == p.pgfNumFormat) &&
         in(m, n, P::PgfWithNext, e.pgfWithNext == p.pgfWithNext) && in(m, n, P::TabStop, true) &&
         in(m, n, P::PgfFont, font) && in(m, n, P::PgfNumTabs, tabs);
}

TEST_F(TyxTest, CatalogAgreesWithAPlainListOnRandomFormats) {
  static const char kOtherA[] = "A";  // texts compare by their characters
  const char* const tags[] = {"Body", "Body1", "Bo", "Head"};
  const char* const texts[] = {"A", kOtherA, "B"};
  const char* const families[] = {"Times", "Courier"};
  const TyxDimension dims[] = {TyxInches(1), TyxInches(2), {1, 1}};
  for (unsigned seed = 1; seed <= 4; ++seed) {
    TyxReset();
    std::mt19937 random(seed);
    const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    const auto some = [&](std::uint32_t mask) {
      return static_cast<std::uint32_t>(random()) & mask;
    };
    std::vector<ModelEntry> model;
    int tagNumber = 0;
    TyxPgf p{};
    std::array<TyxTabStop, 3> tabs{};  // the paragraphs' tab stops, changed for each new format
    for (int i = 0; i < 1500; ++i) {
      if (i > 0 && pick(3) == 0) {  // the last format again, or with one field changed
        if (pick(2)) p.setMask ^= TyxBit(std::array{P::PgfLIndent, P::PgfWithNext}[pick(2)]);
      } else {
        for (TyxTabStop& tab : tabs) {
          tab = {some(bits(TyxTabStopField::TSX, TyxTabStopField::TSType)), dims[pick(2)],
                 static_cast<std::uint32_t>(3 * pick(2))};
        }
        p = {.setMask = some(bits(P::PgfLIndent, P::PgfNumFormat, P::PgfWithNext, P::PgfFont,
                                  P::TabStop, P::PgfNumTabs)),
             .pgfLIndent = dims[pick(3)],
             .pgfWithNext = pick(2),
             .pgfNumFormat = texts[pick(3)],
             .pgfNumTabs = pick(4),
             .pgfFont = {.setMask = some(bits(F::FFamily, F::FSize, F::FBold)),
                         .fFamily = families[pick(2)],
                         .fSize = dims[pick(3)],
                         .fBold = pick(2)}};
      }
      p.setMask |= bits(P::PgfTag);
      p.pgfTag = tags[pick(4)];
      p.tabStop = tabs.data();
      // The newest entry the format adds nothing to and whose tag begins with
      // the paragraph's; else a new entry, numbered when its tag is taken.
      // Entries only added, not looked up, keep their tag and stay unused.
      const bool addOnly = pick(10) == 0;
      auto entry = std::find_if(model.rbegin(), model.rend(), [&](const ModelEntry& e) {
        return e.tag.starts_with(p.pgfTag) && addsNothing(e.format, p);
      });
      if (addOnly || entry == model.rend()) {
        const bool taken = std::any_of(model.begin(), model.end(),
                                       [&](const ModelEntry& e) { return e.tag == p.pgfTag; });
        const std::string number = !addOnly && taken ? std::to_string(++tagNumber) : "";
        model.push_back({p.pgfTag + number, p, {tabs.begin(), tabs.end()}, false});
        model.back().format.tabStop = model.back().tabs.data();
        entry = model.rbegin();
      }
      entry->used |= !addOnly;
      const char* tag = addOnly ? TyxParaCatalogNew(&p) : TyxParaCatalogLookup(&p);
      ASSERT_EQ(tag, entry->tag) << "seed " << seed << ", paragraph " << i;
    }
    // The used entries, newest first, each with its own copy of the format.
    TestStream expected, written;
    std::fputs("<ParaCatalog\n", expected.get());
    for (auto e = model.rbegin(); e != model.rend(); ++e) {
      e->format.pgfTag = e->tag.c_str();
      if (e->used) TyxPgfOut(&e->format, expected.get());
    }
    std::fputs("> # End ParaCatalog\n", expected.get());
    ASSERT_EQ(TyxParaCatalogOut(written.get()), 1);
    EXPECT_EQ(written.text(), expected.text());
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

// ---------------------------------------------------------------- every operation

TEST_F(TyxTest, EveryOperationWritesItsTextAndStopsAtAFailedWrite) {
  // Each case: what puts the writer into its state (written elsewhere), the
  // operations, and the text they write.
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
  static const TyxDimension four[] = {TyxInches(1), {2, 1}, TyxPoints(3), {4, 7}};
  using D = TyxDocumentField;
  const Case cases[] = {
      {"prelude", nullptr, [](std::FILE* s) { return TyxPreludeOut(s, "vantrove 4"); },
       "<TYXFile 2.00> # Generated by vantrove 4\ninclude(tyx_read.m4)\n"},
      // Unit code 7 writes nothing; levels above 4 indent as 4 does.
      {"dimension statements", nullptr,
       [](std::FILE* s) -> int {
         return TyxStmtDimensionOut(four[0], s, 0, "A") && TyxStmtDimension2Out(four, s, 1, "B") &&
                TyxStmtIndentsOut(four, s, 2, "C") && TyxStmtRectOut(four, s, 9, "D") &&
                TyxDimension2Out(four + 1, s) && TyxIndentsOut(four, s) && TyxRectOut(four, s);
       },
       "<A 1.000\">\n\t<B 1.000\" 2.000cm>\n\t\t<C 1.000\" 2.000cm 3.000pt >\n"
       "\t\t\t\t<D 1.000\" 2.000cm 3.000pt >\n2.000cm 3.000pt1.000\" 2.000cm 3.000pt "
       "1.000\" 2.000cm 3.000pt "},
      // Fields in table order, a clear bit still taking its room; texts as they are.
      {"fields", nullptr,
       [](std::FILE* s) {
         TyxDocument document{
             .setMask = bits(D::DColumns, D::DPageSize, D::DTwoSides, D::DParity, D::DFNoteLabels),
             .dColumns = -2};
         document.dPageSize[1] = TyxPoints(5);
         document.dParity = 1;
         document.dFNoteLabels = "`x'";
         return TyxFieldsOut(&document, s, 7, TyxDocumentFields);
       },
       "\t\t\t\t<DColumns -2>\n\t\t\t\t<DPageSize 0.000\" 5.000pt>\n\t\t\t\t<DTwoSides No>\n"
       "\t\t\t\t<DParity FirstRight>\n\t\t\t\t<DFNoteLabels ``x''>\n"},
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
      // Two paragraphs of one format share an entry; an entry only added is not written.
      {"catalog",
       [](std::FILE*) {
         TyxParaCatalogLookup(&body);
         TyxParaCatalogLookup(&body);
         const TyxPgf head = taggedFormat("Head");
         TyxParaCatalogNew(&head);
       },
       &TyxParaCatalogOut, "<ParaCatalog\n<Pgf\n\t<PgfTag `Body'>\n>\n> # End ParaCatalog\n"},
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
      // The page's text rectangles, the second pointer's list, each with its
      // object data first.
      {"page", nullptr,
       [](std::FILE* s) {
         static TyxTextRect second{.setMask = bits(TyxTextRectField::TRNext), .trNext = 2};
         static TyxTextRect first{
             .next = &second,
             .setMask = bits(TyxTextRectField::GenericObjectData, TyxTextRectField::BRect),
             .genericObjectData = {bits(TyxObjectDataField::ID), 1},
             .bRect = {TyxInches(1), TyxInches(1), TyxInches(6), TyxInches(9)}};
         TyxPage page{.setMask = bits(TyxPageField::PageType, TyxPageField::HFMargins,
                                      TyxPageField::TextRect),
                      .pageType = 1,
                      .textRect = {nullptr, &first}};
         for (TyxDimension& margin : page.hfMargins) margin = TyxPoints(20);
         return TyxPageOut(&page, s);
       },
       "<Page\n\t<PageType BodyPage>\n\t<HFMargins 18.000pt 18.000pt 18.000pt 18.000pt>\n"
       "\t<TextRect\n\t\t<ID 1>\n\t\t<BRect 1.000\" 1.000\" 6.000\" 9.000\">\n\t>\n"
       "\t<TextRect\n\t\t<TRNext 2>\n\t>\n>\n"},
      // The marker's end is followed by the next statement on its line.
      {"marker", openString,
       [](std::FILE* s) {
         const TyxMarker marker{bits(TyxMarkerField::MType, TyxMarkerField::MText), 2, "x"};
         return TyxMarkerOut(&marker, s);
       },
       "'>\n\t<Marker\n\t\t<MType 2>\n\t\t<MText `x'>\n\t>"},
      {"references", openString,
       [](std::FILE* s) -> int {
         return TyxFNoteRefOut(3, s) && TyxCharOut('b', s) && TyxAFrameOut(7, s) &&
                TyxVariableOut("v", s);
       },
       "'>\n\t<FNote 3>\n\t<String `b'>\n\t<AFrame 7>\t<VarRef <Variable `v'>>\n"},
      {"containers", nullptr,
       [](std::FILE* s) -> int {
         const TyxTextFlow flow{bits(TyxTextFlowField::TFTag, TyxTextFlowField::TFAutoConnect), "A",
                                0, 1};
         return TyxTextFlowOpen(&flow, s) && TyxNotesOpen(s) && TyxFNoteTextOpen(7, s);
       },
       "<TextFlow\n\t<TFTag `A'>\n\t<TFAutoConnect Yes>\n\t<Notes\n\t\t<FNote\n<ID 7>\n"},
      // A container's close ends the paragraph still open, and only that.
      {"container closes", openPara,
       [](std::FILE* s) -> int {
         return TyxFNoteTextClose(s) && TyxNotesClose(s) && TyxTextFlowClose(s);
       },
       kParaEnd + "\t\t> # End FNote\n\t> # End Notes\n> # End TextFlow\n"},
      // Opening a paragraph ends the one open; closing twice ends it once.
      {"paragraphs", openString,
       [](std::FILE* s) -> int {
         const TyxPgf head = taggedFormat("Head");
         return TyxParaOpen(&head, s, 1) && TyxParaClose(s, 1) && TyxParaClose(s, 1);
       },
       "'>\n" + kParaEnd + "<Para <PgfTag `Head'>\n\t<ParaLine # Begin Para's ParaLines.\n" +
           kParaEnd},
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
      {"character runs", openPara,
       [](std::FILE* s) {
         const std::uint8_t codes[] = {'a', 'b', 0x11, 'c', '>'};
         return TyxCharsOut(codes, 5, s) == 5 ? 1 : 0;
       },
       "\t<String `ab'>\n\t<Char HardSpace>\n\t<String `c\\>"},
      {"font change", openString,
       [](std::FILE* s) {
         TyxFont font{.setMask = bits(F::FFamily, F::FSize, F::FBold, F::FDY), .fFamily = "F"};
         font.fSize = TyxPoints(12);
         font.fDY = TyxPoints(-3);
         font.fBold = 1;
         return TyxFontOut(&font, s);
       },
       "'>\n\t<Font <FFamily `F'> <FSize 12.000pt> <FBold Yes> <FDY -3.000pt>>\n"},
      {"plain text", nullptr,
       [](std::FILE* s) -> int {
         return TyxTextOpen(s) && TyxCharOut('a', s) && TyxCharOut(TyxChar::HardReturn, s) &&
                TyxCharOut(TyxChar::LineEnd, s) && TyxTextClose(s);
       },
       "\t<String `a'>\n\t<Char HardReturn>\n\n"},
      // Five states can be saved; the open string is saved with its state.
      {"state stack", openString,
       [](std::FILE* s) {
         int pushes = 0, pops = 0;
         while (TyxPushState() == 1) ++pushes;
         TyxCharOut('b', s);  // no current state: dropped
         while (TyxPopState() == 1) ++pops;
         return pushes == 5 && pops == 5 ? TyxCharOut('c', s) : -1;
       },
       "c"},
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