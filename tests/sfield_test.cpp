#include "vantrove/sfield.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

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

struct Exited {
  int status;
};

constexpr std::uint32_t bit(auto field) {
  return TyxBit(field);
}

class SfieldTest : public testing::Test {
 protected:
  void SetUp() override {
    dca::loadTestFontMap();
    KRResetAll();
    KRSetExitHook([](int status) { throw Exited{status}; });
  }
  void TearDown() override {
    KRSetExitHook(nullptr);
    KRResetAll();
  }

  static void open(const Bytes& bytes) { KRStdinOpen(nullptr, nullptr, dca::openBytes(bytes)); }
  static void openWithFont(const Bytes& bytes) {
    open(bytes);
    KRGlobal.documentFont.gfid = 26;
    ibmFontSetGfid(&KRGlobal.documentFont, &KRGlobal.documentFont);
    KRGlobal.documentFont.charWidth = 9;
  }
  static Bytes next(std::uint32_t size) {
    Bytes bytes(size);
    EXPECT_EQ(KRStdinRead(0, "m", bytes.data(), size, 0), 2);
    return bytes;
  }
  template <typename Body>
  static std::pair<int, std::string> exitOf(Body body) {
    testing::internal::CaptureStderr();
    int status = -1;
    try {
      body();
    } catch (const Exited& exited) {
      status = exited.status;
    }
    return {status, testing::internal::GetCapturedStderr()};
  }
};

TEST_F(SfieldTest, IntroducerChecksStopAtTheFirstFailure) {
  const struct {
    Bytes intro;
    std::string failure;
  } cases[] = {
      {dca::raw({0, 4, 0xE1, 0x03, 0}), "Structured field length too short."},
      {dca::raw({0, 6, 0xE1, 0x03, 0}), "Structured field length too long."},
      {dca::raw({0, 5, 0xE1, 0x03, 1}), "Structured field format mismatch."},
      {dca::raw({0, 5, 0xE2, 0x03, 0}), "Structured field class mismatch."},
      {dca::raw({0, 5, 0xE1, 0x04, 0}), "Structured field type mismatch."},
      {dca::raw({0, 4, 0xE2, 0x04, 1}), "Structured field length too short."},
  };
  for (const auto& c : cases) {
    KRResetAll();
    open(c.intro + dca::raw({9}));
    EXPECT_EQ(KRFormatUnitPrefix(0, "Expected prefix."), 1);
    EXPECT_EQ(KRStdin.offset, 0u);
    EXPECT_EQ(next(6), c.intro + dca::raw({9}));

    KRResetAll();
    open(c.intro);
    auto [status, err] = exitOf([] { KRFormatUnitPrefix(1, "Expected prefix."); });
    EXPECT_EQ(status, 0);
    EXPECT_THAT(err, StartsWith("vantrove: Byte 00: Expected prefix.\n" + c.failure + "\n"));
  }
}

TEST_F(SfieldTest, InputThatIsNotDcaStopsWithOneLine) {
  open(dca::field(0xE2, 0x03, {}));
  EXPECT_EQ(exitOf(KRFormatUnit1),
            std::make_pair(1, std::string("vantrove: Byte 00: Not a DCA file.\n")));

  KRResetAll();
  open(dca::field(0xE1, 0x04, {}));
  auto [status, err] = exitOf(KRFormatUnit1);
  EXPECT_EQ(status, 0);
  EXPECT_THAT(err,
              StartsWith("vantrove: Byte 00: Not a DCA file.\nStructured field type mismatch.\n"));

  KRResetAll();
  open({});
  std::tie(status, err) = exitOf(KRFormatUnit1);
  EXPECT_EQ(status, 0);
  EXPECT_THAT(err, StartsWith("vantrove: Byte 00: Not a DCA file.\nPremature end of file.\n"));
}

TEST_F(SfieldTest, AnIntroducerCutShortIsPushedBackPaddedWithZeros) {
  open(dca::raw({0x00, 0x05, 0xE1}));
  EXPECT_EQ(KRFormatUnitPrefix(0, "m"), 1);
  EXPECT_EQ(KRStdin.offset, 0u);
  auto [status, err] = exitOf([] { KRFormatUnitPrefix(1, "Expected prefix."); });
  EXPECT_THAT(err,
              StartsWith("vantrove: Byte 00: Expected prefix.\nStructured field type mismatch.\n"));

  KRResetAll();
  open({});
  EXPECT_EQ(KRFormatUnitPrefix(0, "m"), 0);
}

TEST_F(SfieldTest, FormatUnitsReadTheDocumentFontAndSkipWhatFollows) {
  for (std::size_t dataLength : {4u, 31u}) {
    KRResetAll();
    open(dca::formatUnitPrefix() + dca::documentParams(500, 285, dataLength) +
         dca::field(0xE7, 0x01, dca::raw({1, 2})) + dca::pageImageParams(1, 2, 3, 4) +
         dca::formatUnitPrefix() + dca::ebc("z"));
    EXPECT_EQ(KRFormatUnit1(), 2);
    const IbmFont& font = KRGlobal.documentFont;
    EXPECT_EQ(font.gfid, 26u);
    EXPECT_EQ(font.cgcsid, 500u);
    EXPECT_EQ(font.cpid, 285u);
    EXPECT_EQ(font.charWidth, 9u);
    EXPECT_EQ(font.entry, AmFontRead(nullptr, 26, 0, 0));
    EXPECT_EQ(next(1), dca::ebc("z"));
  }

  KRResetAll();
  open(dca::textUnitName("000001"));
  EXPECT_EQ(KRFormatUnit3(), 1);
  EXPECT_EQ(KRStdin.offset, 0u);

  KRResetAll();
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
        open(dca::documentParams());
        KRDocumentParameters(1, "m");
      },
      testing::ExitedWithCode(0),
      "Can't find IBM font in dca.am whose GFID is 26--using current GFID 26.\n.*"
      "GFID 26 isn't defined in dca.am.");

  open(dca::masterFormat(2, dca::standardMembers()));
  EXPECT_THAT(exitOf(KRFormatUnit2).second,
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
  EXPECT_EQ(f.pgf.pgfLIndent.unit, 0u);
  EXPECT_EQ(f.pgf.pgfAlignment, 0u);  // Left
  EXPECT_EQ(f.pgf.pgfAutoNum, 0);     // No
  EXPECT_EQ(f.pgf.pgfFont.setMask, bit(TyxFontField::FFamily) | bit(TyxFontField::FSize));
  EXPECT_STREQ(f.pgf.pgfFont.fFamily, "Courier");
  EXPECT_FLOAT_EQ(f.pgf.pgfFont.fSize.value, 10.0f);
  EXPECT_EQ(f.pgf.pgfFont.fSize.unit, 4u);

  EXPECT_EQ(f.masterFont.gfid, 11u);
  EXPECT_EQ(f.masterFont.charWidth, 7u);  // 144 * 72 / 1440 = 7.2
  EXPECT_EQ(f.masterFont.cgcsid, 697u);
  EXPECT_EQ(f.masterFont.cpid, 37u);
  EXPECT_EQ(f.masterFont.entry, AmFontRead(nullptr, 11, 0, 0));

  ASSERT_EQ(f.pgf.pgfNumTabs, 6);
  for (int i = 0; i < 6; ++i) {
    EXPECT_FLOAT_EQ(f.pgf.tabStop[i].tsX.value, 3.0f + i);  // 2..7 in plus the 1 in indent
    EXPECT_EQ(f.pgf.tabStop[i].tsType, 0u);
    EXPECT_EQ(f.pgf.tabStop[i].tsLeader, 32);
    EXPECT_EQ(f.pgf.tabStop[i].setMask, 0b0111u);
  }
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
  ASSERT_EQ(columns.pgf.pgfNumTabs, 2);
  const TyxTabStop* tab = columns.pgf.tabStop;
  EXPECT_FLOAT_EQ(tab[0].tsX.value, 70.0f);
  EXPECT_EQ(tab[0].tsX.unit, 4u);
  EXPECT_EQ(tab[0].tsType, 0u);
  EXPECT_EQ(tab[0].tsLeader, 32);
  EXPECT_FLOAT_EQ(tab[1].tsX.value, 612.0f);  // 693 pt pulled back to 8.5 in
  EXPECT_EQ(tab[1].tsType, 2u);               // Right

  KRFormat inches{};
  inches.document.dPageSize[0] = TyxInches(8.5f);
  inches.document.dMargins[TyxLeft] = inches.document.dMargins[TyxRight] = TyxInches(1.0f);
  inches.pgf.pgfLIndent = TyxInches(1.0f);
  KRTpTail(&inches, 10);
  ASSERT_EQ(inches.pgf.pgfNumTabs, 3);
  tab = inches.pgf.tabStop;
  EXPECT_FLOAT_EQ(tab[0].tsX.value, 3.0f);
  EXPECT_EQ(tab[0].tsX.unit, 0u);
  EXPECT_EQ(tab[0].tsType, 3u);  // Decimal
  EXPECT_EQ(tab[0].tsDecimalChar, ',');
  EXPECT_EQ(tab[0].setMask, 0b1111u);
  EXPECT_FLOAT_EQ(tab[1].tsX.value, 6.5f);  // 8 in pulled back to 6.5 in
  EXPECT_EQ(tab[1].tsDecimalChar, ':');
  EXPECT_FLOAT_EQ(tab[2].tsX.value, 1.0f);
  EXPECT_EQ(tab[2].tsDecimalChar, '.');

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
  EXPECT_EQ(KRGlobal.marginTextPending[0], 1);
  EXPECT_EQ(KRGlobal.marginTextPending[1], 1);
  EXPECT_FLOAT_EQ(record.page.hfMargins[TyxTop].value, 0.5f);
  EXPECT_FLOAT_EQ(record.page.hfMargins[TyxBottom].value, 10.0f);  // from the top edge
  EXPECT_EQ(record.page.setMask, bit(TyxPageField::HFMargins));
  EXPECT_EQ(record.document.dHeadOnFirst, 0);
  EXPECT_EQ(record.document.dFootOnFirst, 0);
  EXPECT_EQ(record.document.dTwoSides, 0);
  EXPECT_EQ(record.document.setMask,
            bit(TyxDocumentField::DHeadOnFirst) | bit(TyxDocumentField::DTwoSides));

  KRResetAll();
  openWithFont(dca::marginTextDecl(4, 0) + dca::marginTextField(5, dca::ebc("y")));
  record = KRFormat{};
  KRMarginTextDecl(0, "m", &record);
  EXPECT_EQ(record.document.dTwoSides, 1);
  EXPECT_EQ(record.document.dHeadOnFirst, 1);
  EXPECT_STREQ(record.marginText[1], "y");

  KRResetAll();
  openWithFont(dca::marginTextDecl(1, 0) +
               dca::marginTextField(1, dca::raw({0x2B, 0xD4, 1, 0x47})));
  EXPECT_THAT(exitOf([&] { KRMarginTextDecl(0, "m", &record); }).second,
              StartsWith("vantrove: Byte 016: Length in multi-byte ctrl less than 2.\n"));
}

TEST_F(SfieldTest, PageBottomLimitBelowTheDepthWrapsAround) {
  openWithFont(dca::pageImageParams(12240, 1440, 0, 2880));
  KRFormat record{};
  KRPageImageParams(1, "m", &record);
  EXPECT_NEAR(record.document.dMargins[TyxBottom].value, 2982615.18, 0.5);  // 2^32 - 1440
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
