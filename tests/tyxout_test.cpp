// Tests of the Tyx writer: the catalog against a plain list, and every
// operation with its text and its stop at a failed write.
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
// write call covering byte `refused` of what it is offered, if any.
struct TestStream {
  explicit TestStream(std::size_t refused = std::string::npos) : refused(refused) {
    file = fopencookie(this, "w", {nullptr, &write, nullptr, nullptr});
    std::setvbuf(file, nullptr, _IONBF, 0);
  }
  ~TestStream() { std::fclose(file); }
  static ssize_t write(void* cookie, const char* data, std::size_t size) {
    auto* self = static_cast<TestStream*>(cookie);
    self->offered += size;
    if (self->refused < self->offered && self->refused + size >= self->offered) return 0;
    self->text.append(data, size);
    return static_cast<ssize_t>(size);
  }
  std::size_t refused, offered = 0;
  std::string text;
  std::FILE* file;
};

TyxPgf taggedFormat(const char* tag) {
  return {.setMask = bits(P::PgfTag), .pgfTag = tag};
}

const std::string kParaEnd = "\t> # End Paraline.\n> # End Para.\n";

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

TEST(Tyx, CatalogAgreesWithAPlainListOnRandomFormats) {
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
      if (i > 0 && pick(3) == 0) {
        // The last format again, or with one field or, in place, one tab stop changed.
        const int change = pick(3);
        if (change == 0) p.setMask ^= TyxBit(std::array{P::PgfLIndent, P::PgfWithNext}[pick(2)]);
        if (change == 1) tabs[pick(3)].tsX = dims[pick(3)];
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
    std::fputs("<ParaCatalog\n", expected.file);
    for (auto e = model.rbegin(); e != model.rend(); ++e) {
      e->format.pgfTag = e->tag.c_str();
      if (e->used) TyxPgfOut(&e->format, expected.file);
    }
    std::fputs("> # End ParaCatalog\n", expected.file);
    ASSERT_EQ(TyxParaCatalogOut(written.file), 1);
    EXPECT_EQ(written.text, expected.text);
  }
}

// ---------------------------------------------------------------- every operation

// Codes 4, 5, 16 and 17 are named characters, 8 a tab, 9 a hard return, 10 a
// line end; five characters are escaped, the double quote and "<" are not.
const std::string kCodes = "\nit's`>\\\b\"<\x04\x05\x10\x11\xE9x\xE9y\t\n\n\nb\n\t";

int fontsOut(std::FILE* s, std::initializer_list<TyxFont> fonts) {
  for (const TyxFont& font : fonts)
    if (TyxFontOut(&font, s) == 0) return 0;
  return 1;
}

TEST(Tyx, EveryOperationWritesItsTextAndStopsAtAFailedWrite) {
  // Each case: what was open before (nothing, a paragraph, or a string in
  // one), the operations, and the text they write.
  enum Open { kNothing, kPara, kString };
  struct Case {
    const char* name;
    Open open;
    int (*operation)(std::FILE*);
    std::string text;
  };
  static const TyxDimension four[] = {TyxInches(1), {2, 1}, TyxPoints(3), {4, 7}};
  using D = TyxDocumentField;
  const std::string chars =
      "><ParaLine\n\t<String `it\\xD5 s\\xD4 \\>\\\\\\t\"<'>\n\t<Char DiscHyphen>\n"
      "\t<Char NoHyphen>\n\t<Char NumberSpace>\n\t<Char HardSpace>\n\t<Char 233> # 0xe9\n"
      "\t<String `x'>\n\t<Char 233> # 0xe9\n\t<String `y'>\n\t<Char HardReturn>\n><ParaLine\n"
      "\t<String `b'>\n\t><ParaLine\n\t<Char HardReturn>\n><ParaLine\n";
  const Case cases[] = {
      {"prelude", kNothing, [](std::FILE* s) { return TyxPreludeOut(s, "vantrove 4"); },
       "<TYXFile 2.00> # Generated by vantrove 4\ninclude(tyx_read.m4)\n"},
      // Three decimals and the unit; unit code 7 writes nothing; levels above
      // 4 indent as 4 does.
      {"dimensions", kNothing,
       [](std::FILE* s) -> int {
         const TyxDimension dims[] = {{-0.5f, 1},
                                      {2, 2},
                                      {3, 3},
                                      {5, 5},
                                      {1, 6},
                                      {4, 7},
                                      TyxInches(1.0f / 6),
                                      TyxPoints(-0.0f),
                                      TyxPoints(8388607.5f),
                                      TyxPoints(1e9f)};
         for (const TyxDimension& dim : dims)
           if (TyxDimensionOut(dim, s) == 0) return 0;
         return TyxStmtDimensionOut(four[0], s, 0, "A") && TyxStmtDimension2Out(four, s, 1, "B") &&
                TyxStmtIndentsOut(four, s, 2, "C") && TyxStmtRectOut(four, s, 9, "D") &&
                TyxDimension2Out(four + 1, s) && TyxIndentsOut(four, s) && TyxRectOut(four, s);
       },
       "-0.500cm2.000mm3.000pica5.000dd1.000cc0.167\"-0.000pt8388607.500pt1000000000.000pt"
       "<A 1.000\">\n\t<B 1.000\" 2.000cm>\n\t\t<C 1.000\" 2.000cm 3.000pt >\n"
       "\t\t\t\t<D 1.000\" 2.000cm 3.000pt >\n2.000cm 3.000pt1.000\" 2.000cm 3.000pt "
       "1.000\" 2.000cm 3.000pt "},
      // Fields in table order, a clear bit still taking its room; texts as they are.
      {"fields", kNothing,
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
      // Two blanks after PgfSpBefore.
      {"format", kNothing,
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
      // Two paragraphs of one format share an entry; an entry only added is not written.
      {"catalog", kNothing,
       [](std::FILE* s) {
         const TyxPgf body = taggedFormat("Body"), head = taggedFormat("Head");
         TyxParaCatalogLookup(&body);
         TyxParaCatalogLookup(&body);
         TyxParaCatalogNew(&head);
         return TyxParaCatalogOut(s);
       },
       "<ParaCatalog\n<Pgf\n\t<PgfTag `Body'>\n>\n> # End ParaCatalog\n"},
      // Margins below 0.35 inch (the float 0.35f among them) are raised to a
      // quarter inch; relative tabs are never shown.
      {"document", kNothing,
       [](std::FILE* s) {
         TyxDocument document{.setMask = bits(D::DMargins, D::DRelativeTabs, D::DFNoteAnchorPos),
                              .dMargins = {TyxInches(0.35f), {0.5f, 1}, TyxInches(0.4f), {2, 3}}};
         document.dRelativeTabs = document.dFNoteAnchorPos = 1;
         return TyxDocumentOut(&document, s);
       },
       "<Document\n <DBordersOn Yes>\n\t<DMargins 0.250\" 0.635cm 0.400\" 1.500pica>\n"
       "\t<DFNoteAnchorPos FNBaseline>\n>\n"},
      // The page's text rectangles, the second pointer's list, each with its
      // object data first.
      {"page", kNothing,
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
                      .hfMargins = {TyxPoints(20), TyxPoints(26), TyxPoints(20), TyxPoints(20)},
                      .textRect = {nullptr, &first}};
         return TyxPageOut(&page, s);
       },
       "<Page\n\t<PageType BodyPage>\n\t<HFMargins 18.000pt 26.000pt 18.000pt 18.000pt>\n"
       "\t<TextRect\n\t\t<ID 1>\n\t\t<BRect 1.000\" 1.000\" 6.000\" 9.000\">\n\t>\n"
       "\t<TextRect\n\t\t<TRNext 2>\n\t>\n>\n"},
      // The marker's end is followed by the next statement on its line.
      {"marker", kString,
       [](std::FILE* s) {
         const TyxMarker marker{bits(TyxMarkerField::MType, TyxMarkerField::MText), 2, "x"};
         return TyxMarkerOut(&marker, s);
       },
       "'>\n\t<Marker\n\t\t<MType 2>\n\t\t<MText `x'>\n\t>"},
      {"references", kString,
       [](std::FILE* s) -> int {
         return TyxFNoteRefOut(3, s) && TyxCharOut('b', s) && TyxAFrameOut(7, s) &&
                TyxVariableOut("v", s);
       },
       "'>\n\t<FNote 3>\n\t<String `b'>\n\t<AFrame 7>\t<VarRef <Variable `v'>>\n"},
      // A container's close ends the paragraph still open, and only that.
      {"containers", kNothing,
       [](std::FILE* s) -> int {
         const TyxTextFlow flow{bits(TyxTextFlowField::TFTag, TyxTextFlowField::TFAutoConnect), "A",
                                0, 1};
         const TyxPgf body = taggedFormat("Body");
         return TyxTextFlowOpen(&flow, s) && TyxNotesOpen(s) && TyxFNoteTextOpen(7, s) &&
                TyxParaOpen(&body, s, 1) && TyxFNoteTextClose(s) && TyxNotesClose(s) &&
                TyxTextFlowClose(s);
       },
       "<TextFlow\n\t<TFTag `A'>\n\t<TFAutoConnect Yes>\n\t<Notes\n\t\t<FNote\n<ID 7>\n"
       "<Para <PgfTag `Body'>\n\t<ParaLine # Begin Para's ParaLines.\n" +
           kParaEnd + "\t\t> # End FNote\n\t> # End Notes\n> # End TextFlow\n"},
      // Opening a paragraph ends the one open; closing twice ends it once.
      {"paragraphs", kString,
       [](std::FILE* s) -> int {
         const TyxPgf head = taggedFormat("Head");
         return TyxParaOpen(&head, s, 1) && TyxParaClose(s, 1) && TyxParaClose(s, 1);
       },
       "'>\n" + kParaEnd + "<Para <PgfTag `Head'>\n\t<ParaLine # Begin Para's ParaLines.\n" +
           kParaEnd},
      // A first line end ends the first line; those after a hard return are absorbed.
      {"characters", kPara,
       [](std::FILE* s) {
         int ok = 1;
         for (unsigned char c : kCodes) ok = ok && TyxCharOut(c, s);
         return ok;
       },
       chars},
      // The same codes, the plain ones in runs of up to five.
      {"character runs", kPara,
       [](std::FILE* s) {
         const auto* codes = reinterpret_cast<const std::uint8_t*>(kCodes.data());
         for (std::size_t at = 0, n; at < kCodes.size(); at += n) {
           n = 0;
           while (n < 5 && at + n < kCodes.size() && TyxCharIsPlain(codes[at + n])) ++n;
           if (n == 0 ? !TyxCharOut(codes[at], s) : TyxPlainCharsOut(codes + at, n, s) != n) {
             return 0;
           }
           n = std::max<std::size_t>(n, 1);
         }
         return 1;
       },
       chars},
      // Only what differs from the font in force, in table order (small
      // capitals and shadow never); sizes compare by value only; plain clears
      // the emphasis first, and any emphasis ends plain.
      {"font changes", kString,
       [](std::FILE* s) {
         TyxFont all{.setMask = 0xFFFFFFu, .fFamily = "F", .fSize = TyxPoints(9)};
         all.fDY = TyxPoints(-3);
         all.fBold = all.fItalic = all.fUnderline = all.fStrike = all.fSmallCaps = 1;
         all.fOverline = all.fSupScript = all.fSubScript = all.fChangeBar = all.fShadow = 1;
         const TyxFont bold{.setMask = bits(F::FBold), .fBold = 1};
         const TyxFont plain{.setMask = bits(F::FPlain), .fPlain = 1};
         return fontsOut(s, {TyxFont{},
                             all,
                             all,
                             {.setMask = bits(F::FSize), .fSize = {9, 1}},
                             {.setMask = bits(F::FSize), .fSize = TyxInches(1.0f / 6)},
                             bold,
                             {.setMask = bits(F::FPlain, F::FBold), .fPlain = 1},
                             bold,
                             plain});
       },
       "'>\n\t<Font <FFamily `F'> <FSize 9.000pt> <FPlain No> <FBold Yes> <FItalic Yes>"
       " <FUnderline Yes> <FStrike Yes> <FOverline Yes> <FSupScript Yes> <FSubScript Yes>"
       " <FChangeBar Yes> <FDY -3.000pt>>\n\t<Font <FSize 0.167\">>\n"
       "\t<Font <FPlain Yes>>\n\t<Font <FBold Yes>>\n\t<Font <FPlain Yes>>\n"},
      // Plain-text mode: no paragraph lines, a bare line end after a hard return.
      {"plain text", kNothing,
       [](std::FILE* s) -> int {
         int ok = TyxTextOpen(s);
         for (unsigned char c : std::string("ab\t\n\nc")) ok = ok && TyxCharOut(c, s);
         return ok && TyxTextClose(s);
       },
       "\t<String `ab'>\n\t<Char HardReturn>\n\n\t<String `c'>\n"},
      // Five states can be saved; the open string is saved with its state.
      {"state stack", kString,
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
      SCOPED_TRACE(std::string(c.name) + ", byte " + std::to_string(refused));
      TyxReset();
      TestStream before, stream(refused);
      const TyxPgf body = taggedFormat("Body");
      if (c.open != kNothing) TyxParaOpen(&body, before.file, 1);
      if (c.open == kString) TyxCharOut('a', before.file);
      const int result = c.operation(stream.file);
      if (refused == c.text.size()) {
        EXPECT_EQ(result, 1);
        EXPECT_EQ(stream.text, c.text);
      } else {  // nothing more is written once a write has failed
        EXPECT_EQ(result, 0);
        EXPECT_LE(stream.text.size(), refused);
        EXPECT_TRUE(c.text.starts_with(stream.text));
      }
    }
  }
}

}  // namespace
}  // namespace vantrove
