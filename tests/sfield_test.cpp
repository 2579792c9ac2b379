#include "vantrove/sfield.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <tuple>

#include "fontmap/fontmap.h"
#include "support/dca_builder.h"
#include "vantrove/fontctl.h"
#include "vantrove/io.h"
#include "vantrove/main.h"

namespace vantrove {
namespace {

using dca::Bytes;
using dca::operator+;
using testing::HasSubstr;
using testing::StartsWith;

constexpr std::uint32_t bit(auto field) {
  return TyxBit(field);
}

class SfieldTest : public testing::Test {
 protected:
  void SetUp() override { dca::startInProcess(); }
  void TearDown() override { dca::stopInProcess(); }
};

void openWithFont(const Bytes& bytes) {
  dca::openInput(bytes);
  KRGlobal.documentFont.gfid = 26;
  ibmFontSetGfid(&KRGlobal.documentFont, &KRGlobal.documentFont);
  KRGlobal.documentFont.charWidth = 9;
}

// Tab stops as "position unit, T type, L leader, D decimal character, M mask (hex)".
std::string tabs(const TyxPgf& pgf) {
  std::string out;
  for (int i = 0; i < pgf.pgfNumTabs; ++i) {
    const TyxTabStop& t = pgf.tabStop[i];
    char item[64];
    std::snprintf(item, sizeof item, "%s%g%s T%u L%d D%c M%x", i ? ", " : "", t.tsX.value,
                  t.tsX.unit == 0 ? "in" : "pt", t.tsType, t.tsLeader,
                  t.tsDecimalChar ? static_cast<char>(t.tsDecimalChar) : '-', t.setMask);
    out += item;
  }
  return out;
}

Bytes next(std::uint32_t size) {
  Bytes bytes(size);
  EXPECT_EQ(KRStdinRead(0, "m", bytes.data(), size, 0), 2);
  return bytes;
}

TEST_F(SfieldTest, IntroducerChecksStopAtTheFirstFailure) {
  const std::pair<Bytes, std::string> cases[] = {
      {dca::raw({0, 4, 0xE1, 0x03, 0}), "Structured field length too short."},
      {dca::raw({0, 6, 0xE1, 0x03, 0}), "Structured field length too long."},
      {dca::raw({0, 5, 0xE1, 0x03, 1}), "Structured field format mismatch."},
      {dca::raw({0, 5, 0xE2, 0x03, 0}), "Structured field class mismatch."},
      {dca::raw({0, 5, 0xE1, 0x04, 0}), "Structured field type mismatch."},
      {dca::raw({0, 4, 0xE2, 0x04, 1}), "Structured field length too short."},
      // An introducer cut short is pushed back padded with zero bytes.
      {dca::raw({0, 5, 0xE1}), "Structured field type mismatch."},
  };
  for (const auto& [intro, failure] : cases) {
    dca::startInProcess();
    dca::openInput(intro);
    EXPECT_EQ(KRFormatUnitPrefix(0, "m"), 1);
    EXPECT_EQ(KRStdin.offset, 0u);
    const dca::Outcome fatal = dca::capture([] { KRFormatUnitPrefix(1, "Expected prefix."); });
    EXPECT_EQ(fatal.status, 0);
    EXPECT_THAT(fatal.err, StartsWith("vantrove: Byte 00: Expected prefix.\n" + failure + "\n"));
  }
  dca::openInput(dca::raw({0, 9, 0xE1, 0x03, 0, 7}));
  EXPECT_EQ(KRFormatUnitPrefix(0, "m"), 1);
  EXPECT_EQ(next(6), dca::raw({0, 9, 0xE1, 0x03, 0, 7}));
  EXPECT_EQ(KRFormatUnitPrefix(0, "m"), 0);
}

TEST_F(SfieldTest, InputThatIsNotDcaStopsWithOneLine) {
  const std::tuple<Bytes, int, std::string> cases[] = {
      {dca::field(0xE2, 0x03, {}), 1, "vantrove: Byte 00: Not a DCA file.\n"},
      {dca::field(0xE1, 0x04, {}), 0,
       "vantrove: Byte 00: Not a DCA file.\nStructured field type mismatch.\n"},
      {{}, 0, "vantrove: Byte 00: Not a DCA file.\nPremature end of file.\n"},
  };
  for (const auto& [input, status, lines] : cases) {
    dca::startInProcess();
    dca::openInput(input);
    const dca::Outcome outcome = dca::capture(KRFormatUnit1);
    EXPECT_EQ(outcome.status, status);
    if (status == 1) {
      EXPECT_EQ(outcome.err, lines);
    }
    EXPECT_THAT(outcome.err, StartsWith(lines));
  }
}

TEST_F(SfieldTest, FormatUnitsReadTheDocumentFontAndSkipWhatFollows) {
  for (std::size_t dataLength : {4u, 31u}) {
    dca::startInProcess();
    dca::openInput(dca::formatUnitPrefix() + dca::documentParams(500, 285, dataLength) +
                   dca::field(0xE7, 0x01, dca::raw({1, 2})) + dca::pageImageParams(1, 2, 3, 4) +
                   dca::formatUnitPrefix() + dca::ebc("z"));
    EXPECT_EQ(KRFormatUnit1(), 2);
    const IbmFont& font = KRGlobal.documentFont;
    EXPECT_EQ(std::make_tuple(font.gfid, font.cgcsid, font.cpid, font.charWidth),
              std::make_tuple(26u, 500u, 285u, 9u));
    EXPECT_EQ(font.entry, AmFontRead(nullptr, 26, 0, 0));
    EXPECT_EQ(next(1), dca::ebc("z"));
  }

  dca::startInProcess();
  dca::openInput(dca::textUnitName("000001"));
  EXPECT_EQ(KRFormatUnit3(), 1);
  EXPECT_EQ(KRStdin.offset, 0u);

  dca::startInProcess();
  openWithFont(
      dca::formatUnitPrefix() +
      dca::masterFormat(2, dca::lineParams({}) + dca::noteFormatParams(dca::sip(22, {1}))) +
      dca::marginTextDecl(1, 720) + dca::marginTextField(1, dca::ebc("Alt")));
  EXPECT_EQ(KRFormatUnit3(), 2);
  EXPECT_FLOAT_EQ(KRAlternateFormat.pgf.pgfLIndent.value, 1.0f);
  EXPECT_EQ(KRAlternateFormat.document.setMask & bit(TyxDocumentField::DFNoteNumStyle), 0u);
  EXPECT_STREQ(KRAlternateFormat.marginText[0], "Alt");
  EXPECT_EQ(KRPrimaryFormat.pgf.setMask, 0u);
}

TEST_F(SfieldTest, MissingDefaultFontAndWrongMasterAreFatal) {
  EXPECT_EXIT(
      {
        KRSetExitHook(nullptr);
        AmReset();
        dca::openInput(dca::documentParams());
        KRDocumentParameters(1, "m");
      },
      testing::ExitedWithCode(0),
      "Can't find IBM font in dca.am whose GFID is 26--using current GFID 26.\n.*"
      "GFID 26 isn't defined in dca.am.");

  dca::openInput(dca::masterFormat(2, dca::standardMembers()));
  EXPECT_THAT(dca::capture(KRFormatUnit2).err,
              StartsWith("vantrove: Byte 00: Expected primary master format--not alternate.\n"));
}

TEST_F(SfieldTest, StandardMasterFormatFillsThePrimaryRecord) {
  openWithFont(dca::masterFormat(1, dca::standardMembers()) + dca::ebc("z"));
  EXPECT_EQ(KRMasterFormat(1, "m", 1), 2);
  EXPECT_EQ(next(1), dca::ebc("z"));

  const KRFormat& f = KRPrimaryFormat;
  EXPECT_EQ(f.document.setMask, bit(TyxDocumentField::DMargins) | bit(TyxDocumentField::DPageSize));
  EXPECT_FLOAT_EQ(f.document.dPageSize[0].value, 8.5f);
  EXPECT_FLOAT_EQ(f.document.dPageSize[1].value, 11.0f);
  EXPECT_FLOAT_EQ(f.document.dMargins[TyxTop].value, 1.0f);
  EXPECT_FLOAT_EQ(f.document.dMargins[TyxBottom].value, 1.0f);

  EXPECT_EQ(f.pgf.setMask, bit(TyxPgfField::PgfLIndent) | bit(TyxPgfField::PgfFIndent) |
                               bit(TyxPgfField::PgfRIndent) | bit(TyxPgfField::PgfAlignment) |
                               bit(TyxPgfField::PgfAutoNum) | bit(TyxPgfField::PgfNumTabs) |
                               bit(TyxPgfField::PgfFont));
  EXPECT_FLOAT_EQ(f.pgf.pgfLIndent.value, 1.0f);
  EXPECT_FLOAT_EQ(f.pgf.pgfFIndent.value, 1.0f);
  EXPECT_FLOAT_EQ(f.pgf.pgfRIndent.value, 1.0f);
  EXPECT_EQ(f.pgf.pgfAlignment, 0u);  // Left
  EXPECT_EQ(f.pgf.pgfAutoNum, 0);     // No
  EXPECT_EQ(f.pgf.pgfFont.setMask, bit(TyxFontField::FFamily) | bit(TyxFontField::FSize));
  EXPECT_STREQ(f.pgf.pgfFont.fFamily, "Courier");
  EXPECT_FLOAT_EQ(f.pgf.pgfFont.fSize.value, 10.0f);
  EXPECT_EQ(f.pgf.pgfFont.fSize.unit, 4u);

  EXPECT_EQ(f.masterFont.gfid, 11u);
  EXPECT_EQ(f.masterFont.charWidth, 7u);  // 144 * 72 / 1440 = 7.2
  EXPECT_EQ(f.masterFont.entry, AmFontRead(nullptr, 11, 0, 0));
  // Positions 2..7 in from the left margin, plus its 1 in indent.
  EXPECT_EQ(tabs(f.pgf),
            "3in T0 L32 D- M7, 4in T0 L32 D- M7, 5in T0 L32 D- M7, 6in T0 L32 D- M7, "
            "7in T0 L32 D- M7, 8in T0 L32 D- M7");
}

TEST_F(SfieldTest, LineParametersIndentsAlignmentAndFontFallback) {
  openWithFont(dca::lineData({.left = 2880, .right = 720, .align = 3, .autoNum = 1}) +
               dca::lineData({.gfid = 999, .align = 9, .autoNum = 9}));
  KRFormat record{};
  record.document.dPageSize[0] = TyxInches(8.5f);
  KRLpTail(&record, 25);
  EXPECT_FLOAT_EQ(record.pgf.pgfLIndent.value, 2.0f);
  EXPECT_FLOAT_EQ(record.pgf.pgfRIndent.value, 0.0f);  // 8.0 in is above 7.5 in
  EXPECT_EQ(record.pgf.pgfAlignment, 1u);              // Center
  EXPECT_EQ(record.pgf.pgfAutoNum, 1);

  testing::internal::CaptureStderr();
  KRLpTail(&record, 25);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "vantrove: Byte 031: Can't find IBM font in dca.am whose GFID is 999--using current "
            "GFID 26.\n");
  EXPECT_EQ(record.pgf.pgfAlignment, 1u);  // out-of-range values leave both as they were
  EXPECT_EQ(record.pgf.pgfAutoNum, 1);
  EXPECT_EQ(record.masterFont.gfid, 26u);
  EXPECT_EQ(record.masterFont.charWidth, 9u);
  EXPECT_FLOAT_EQ(record.pgf.pgfFont.fSize.value, 12.0f);
}

TEST_F(SfieldTest, TabStopsInColumnsAndInchesArePulledBackToTheColumnWidth) {
  std::vector<dca::Tab> fifty(50, dca::Tab{3, 1440});
  openWithFont(dca::tabData(0, {{0, 11}, {4, 100}}) +
               dca::tabData(1, {{2, 2880}, {5, 10080}, {1, 0}}) + dca::tabData(0, fifty) +
               dca::field(0xE6, 0x02, {0}) + dca::ebc("z"));
  KRFormat columns{};
  columns.document.dPageSize[0] = TyxInches(8.5f);
  columns.masterFont.charWidth = 7;
  KRTpTail(&columns, 7);
  EXPECT_EQ(tabs(columns.pgf), "70pt T0 L32 D- M7, 612pt T2 L32 D- M7");  // 693 pt pulled back

  KRFormat inches{};
  inches.document.dPageSize[0] = TyxInches(8.5f);
  inches.document.dMargins[TyxLeft] = inches.document.dMargins[TyxRight] = TyxInches(1.0f);
  inches.pgf.pgfLIndent = TyxInches(1.0f);
  KRTpTail(&inches, 10);  // 8 in is pulled back to 6.5 in
  EXPECT_EQ(tabs(inches.pgf), "3in T3 L32 D, Mf, 6.5in T3 L32 D: Mf, 1in T3 L32 D. Mf");

  KRTpTail(&columns, 151);
  EXPECT_EQ(columns.pgf.pgfNumTabs, 48);
  EXPECT_EQ(columns.pgf.tabStop[47].tsType, 1u);  // Center
  EXPECT_EQ(KRTabParams(1, "m", &columns), 2);
  EXPECT_EQ(columns.pgf.pgfNumTabs, 0);
  EXPECT_NE(columns.pgf.setMask & bit(TyxPgfField::PgfNumTabs), 0u);
  KRTpTail(&columns, 0);  // a Set Tabs control without parameters reads nothing
  EXPECT_EQ(next(1), dca::ebc("z"));
}

TEST_F(SfieldTest, MarginTextsAndTheirDeclarations) {
  openWithFont(
      dca::marginTextDecl(1, 720, 0) +
      dca::marginTextField(2, dca::ebc("Page") + dca::raw({0x15}) + dca::pageNumber()) +
      dca::marginTextField(5, dca::ebc("x")) +
      dca::marginTextField(1, dca::raw({0x2B, 0xD1, 0x02, 0x8A})) +
      dca::marginTextDecl(4, 1440, 1) +
      dca::marginTextField(4, dca::ebc("Foot") + dca::raw({0x2B, 0xD4, 0x05, 0x62, 0x00})) +
      dca::bodyText(dca::ebc("z")));
  KRFormat record{};
  record.document.dPageSize[1] = TyxInches(11.0f);
  EXPECT_EQ(KRMarginTextDecl(0, "m", &record), 1);
  EXPECT_EQ(next(6), dca::bodyText(dca::ebc("z")));

  EXPECT_STREQ(record.marginText[0], "Page #");  // the empty text did not replace it
  EXPECT_STREQ(record.marginText[1], "Foot");
  EXPECT_TRUE(KRGlobal.marginTextPending[0] && KRGlobal.marginTextPending[1]);
  EXPECT_FLOAT_EQ(record.page.hfMargins[TyxTop].value, 0.5f);
  EXPECT_FLOAT_EQ(record.page.hfMargins[TyxBottom].value, 10.0f);  // from the top edge
  EXPECT_EQ(record.page.setMask, bit(TyxPageField::HFMargins));
  EXPECT_EQ(record.document.dHeadOnFirst + record.document.dFootOnFirst, 0);
  EXPECT_EQ(record.document.dTwoSides, 0);
  EXPECT_EQ(record.document.setMask,
            bit(TyxDocumentField::DHeadOnFirst) | bit(TyxDocumentField::DTwoSides));

  dca::startInProcess();
  openWithFont(dca::marginTextDecl(4, 0) + dca::marginTextField(5, dca::ebc("y")));
  record = KRFormat{};
  KRMarginTextDecl(0, "m", &record);
  EXPECT_EQ(record.document.dTwoSides, 1);
  EXPECT_EQ(record.document.dHeadOnFirst, 1);
  EXPECT_STREQ(record.marginText[1], "y");

  dca::startInProcess();
  openWithFont(dca::marginTextDecl(1, 0) +
               dca::marginTextField(1, dca::raw({0x2B, 0xD4, 1, 0x47})));
  EXPECT_THAT(dca::capture([&] { KRMarginTextDecl(0, "m", &record); }).err,
              StartsWith("vantrove: Byte 016: Length in multi-byte ctrl less than 2.\n"));
}

TEST_F(SfieldTest, NoteFormatParametersFillTheDocumentSettings) {
  const Bytes first = dca::noteFormatParams(
      dca::sip(7, dca::raw({1, 0, 0, 24})) + dca::sip(22, {4}) + dca::sip(19, {0x09}) +
      dca::sip(16, Bytes(61, 0xC1)) + dca::sip(17, dca::ebc("A") + Bytes{0x05} + dca::ebc("B")) +
      dca::sip(20, dca::raw({0x40, 0x60, 0x41, 0x00})) + dca::sip(1, {9, 9}) + dca::sip(5, {9}) +
      dca::raw({0x02, 0x01}));
  const Bytes second = dca::noteFormatParams(
      dca::sip(7, dca::raw({5, 0, 0, 3})) + dca::sip(7, dca::raw({1, 0, 0})) + dca::sip(22, {3}) +
      dca::sip(22, {7}) + dca::sip(22, {1, 1}) + dca::sip(16, Bytes{0x38} + dca::ebc("x")) +
      dca::sip(23, dca::ebc("abc")) + dca::sip(20, {}));
  openWithFont(first + second + dca::ebc("z"));
  KRFormat a{}, b{};
  testing::internal::CaptureStderr();
  EXPECT_EQ(KRNoteFormatParams(1, "m", &a), 2);
  EXPECT_EQ(KRNoteFormatParams(1, "m", &b), 2);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(next(1), dca::ebc("z"));

  using F = TyxDocumentField;
  const TyxDocument& da = a.document;
  EXPECT_EQ(da.setMask, bit(F::DFNoteRestart) | bit(F::DFNoteMaxH) | bit(F::DFNoteNumStyle) |
                            bit(F::DFNoteLabels) | bit(F::DFNoteAnchorPrefix) |
                            bit(F::DFNoteAnchorPos) | bit(F::DFNoteNumberPrefix) |
                            bit(F::DFNoteAnchorSuffix));
  EXPECT_EQ(da.dFNoteRestart, 1u);  // PerFlow
  EXPECT_FLOAT_EQ(da.dFNoteMaxH.value, 2.0f);
  EXPECT_EQ(da.dFNoteNumStyle, 2u);  // Custom
  EXPECT_STREQ(da.dFNoteLabels, "");
  EXPECT_STREQ(da.dFNoteAnchorPrefix, "");
  EXPECT_EQ(da.dFNoteAnchorPos, 0u);  // FNSuperscript
  EXPECT_STREQ(da.dFNoteNumberPrefix, "A\\tB");
  EXPECT_STREQ(da.dFNoteAnchorSuffix, " - ");
  EXPECT_THAT(err, HasSubstr(": ID Prologue parameter greater than 62, skipping.\n"));

  const TyxDocument& db = b.document;
  EXPECT_EQ(db.setMask, bit(F::DFNoteMaxH) | bit(F::DFNoteNumStyle) | bit(F::DFNoteNumberSuffix) |
                            bit(F::DFNoteNumberPos) | bit(F::DFNoteLabels));
  EXPECT_FLOAT_EQ(db.dFNoteMaxH.value, 8.0f);  // 3 / 12 is below 0.3
  EXPECT_EQ(db.dFNoteNumStyle, 3u);            // LCAlpha
  EXPECT_STREQ(db.dFNoteNumberSuffix, "x");
  EXPECT_EQ(db.dFNoteNumberPos, 2u);  // FNSubscript
  EXPECT_STREQ(db.dFNoteLabels, "abc");
  for (const char* warning : {": Illegal value for Reset Status, skipping\n",
                              ": Note Format Attributes parameter not expected length, skipping.\n",
                              ": Illegal value for Reference ID Type, skipping.\n",
                              ": Reference ID Type parameter not expected length, skipping.\n"}) {
    EXPECT_THAT(err, HasSubstr(warning));
  }
}

TEST_F(SfieldTest, OperatorMessageIsShownAsTwoWarnings) {
  openWithFont(dca::operatorMessage("Insert disk 2"));
  testing::internal::CaptureStderr();
  EXPECT_EQ(KROperatorMessage(1, "m"), 2);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "vantrove: Byte 05: Operator message is:\nvantrove: Byte 05: Insert disk 2\n");
}

}  // namespace
}  // namespace vantrove
