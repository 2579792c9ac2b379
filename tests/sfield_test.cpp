#include "vantrove/sfield.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <tuple>

#include "fontmap/fontmap.h"
#include "support/dca_builder.h"
#include "vantrove/driver.h"
#include "vantrove/fontctl.h"
#include "vantrove/io.h"

namespace vantrove {
namespace {

using dca::Bytes;
using dca::operator+;
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
    EXPECT_EQ(KRStdinOffset(), 0u);
    const dca::Outcome fatal = dca::capture([] { KRFormatUnitPrefix(1, "Expected prefix."); });
    EXPECT_EQ(fatal.status, 0);
    EXPECT_THAT(fatal.err, StartsWith("vantrove: Byte 00: Expected prefix.\n" + failure + "\n"));
  }
  dca::openInput(dca::raw({0, 9, 0xE1, 0x03, 0, 7}));
  EXPECT_EQ(KRFormatUnitPrefix(0, "m"), 1);
  EXPECT_EQ(next(6), dca::raw({0, 9, 0xE1, 0x03, 0, 7}));
  EXPECT_EQ(KRFormatUnitPrefix(0, "m"), 0);
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

TEST_F(SfieldTest, TabStopKindsPullBackAndTheLimitOf48) {
  std::vector<dca::Tab> fifty(50, dca::Tab{3, 1440});
  openWithFont(dca::tabData(1, {{2, 2880}, {5, 10080}, {1, 0}}) + dca::tabData(0, fifty) +
               dca::tabData(0, {{4, 11}, {0, 0}}) + dca::field(0xE6, 0x02, {0}) +
               dca::field(0xE6, 0x02, {}) + dca::ebc("z"));
  KRFormat record{};
  record.document.dPageSize[0] = TyxInches(8.5f);
  record.document.dMargins[TyxLeft] = record.document.dMargins[TyxRight] = TyxInches(1.0f);
  record.pgf.pgfLIndent = TyxInches(1.0f);
  KRTpTail(&record, 10);  // 8 in is pulled back to 6.5 in
  EXPECT_EQ(tabs(record.pgf), "3in T3 L32 D, Mf, 6.5in T3 L32 D: Mf, 1in T3 L32 D. Mf");
  KRTpTail(&record, 151);
  EXPECT_EQ(record.pgf.pgfNumTabs, 48);
  EXPECT_EQ(record.pgf.tabStop[47].tsType, 1u);  // Center
  // Columns of 7 pt from column 1, plus the 72 pt indent; column 0 wraps
  // around in unsigned arithmetic and is pulled back to the 468 pt width.
  record.masterFont.charWidth = 7;
  KRTpTail(&record, 7);
  EXPECT_EQ(tabs(record.pgf), "142pt T2 L32 D- M7, 468pt T0 L32 D- M7");
  // Tab parameters with one data byte, then with none.
  for (int i = 0; i < 2; ++i) {
    record.pgf.pgfNumTabs = 5;
    EXPECT_EQ(KRTabParams(1, "m", &record), 2);
    EXPECT_EQ(record.pgf.pgfNumTabs, 0);
  }
  EXPECT_NE(record.pgf.setMask & bit(TyxPgfField::PgfNumTabs), 0u);
  KRTpTail(&record, 0);  // a Set Tabs control without parameters reads nothing
  EXPECT_EQ(next(1), dca::ebc("z"));
}

TEST_F(SfieldTest, FloatArithmeticIsDoneAsCDoesIt) {
  // Operations between floats (and integers) are done in float; only a double
  // such as position / 1440.0 widens a step. Each result is stored as a float.
  openWithFont(dca::lineData({.left = 1440, .right = 1445}) + dca::tabData(1, {{0, 14400}}) +
               dca::tabData(0, {{0, 2}}));
  KRFormat record{};
  // 12245 / 1440 as a float lies just above the true width, so the right
  // indent, 7.5 inches plus that error, is stored as exactly 7.5: not above it.
  record.document.dPageSize[0] = TyxInches(static_cast<float>(12245 / 1440.0));
  KRLpTail(&record, 25);
  EXPECT_EQ(record.pgf.pgfRIndent.value, 7.5f);

  // The width between margins of 1441 and 9955 on an 8.5 inch page, taken in
  // float: 5.9125004, where double gives 5.9124999 (written 5.913 and 5.912).
  record.document.dPageSize[0] = TyxInches(8.5f);
  record.document.dMargins[TyxLeft] = TyxInches(static_cast<float>(1441 / 1440.0));
  record.document.dMargins[TyxRight] = TyxInches(static_cast<float>(8.5f - 9955 / 1440.0));
  record.pgf.pgfLIndent = TyxInches(0.0f);
  KRTpTail(&record, 4);  // 10 inches, pulled back to the width
  EXPECT_EQ(record.pgf.tabStop[0].tsX.value, 5.9125004f);

  // Column 2 of 7 points plus an indent of 48/1440 inch times the integer 72,
  // in float: 9.3999996, where double gives 9.4000006.
  record.pgf.pgfLIndent = TyxInches(static_cast<float>(48 / 1440.0));
  record.masterFont.charWidth = 7;
  KRTpTail(&record, 4);
  EXPECT_EQ(record.pgf.tabStop[0].tsX.value, 9.3999996f);
}

TEST_F(SfieldTest, FontControlsRebindThroughTheFontMap) {
  // Set GCGID thru GCID keeps the GFID and rebinds it; Set CFID thru GFID
  // keeps everything but the GFID and its entry; with a current GFID of 0,
  // Set GCGID warns and drops the new identifiers with the rest.
  openWithFont(dca::be16(500) + dca::be16(285) + dca::be16(85) + Bytes(3, 0) + dca::be16(1) +
               dca::be16(2) + dca::ebc("z"));
  IbmFont& current = KRCurrentFormat.currentFont;
  current = IbmFont{11, IbmStyleUnderscore, 697, 37, 7, nullptr};
  ibmFontSetGfid(&current, &KRGlobal.documentFont);
  auto font = [&] {
    return std::make_tuple(current.gfid, current.style, current.cgcsid, current.cpid,
                           current.charWidth, current.entry);
  };
  const std::uint8_t setGcgid[] = {0xD1, 6, 0x01}, setGfid[] = {0xD1, 7, 0x05};
  KRFontControl(setGcgid);
  EXPECT_EQ(font(), std::make_tuple(11u, IbmStyleUnderscore, 500u, 285u, 7u,
                                    AmFontRead(nullptr, 11, 0, 0)));
  KRFontControl(setGfid);
  EXPECT_EQ(font(), std::make_tuple(85u, IbmStyleUnderscore, 500u, 285u, 7u,
                                    AmFontRead(nullptr, 85, 0, 0)));
  current.gfid = 0;
  const auto before = font();
  const dca::Outcome warned = dca::capture([&] { KRFontControl(setGcgid); });
  EXPECT_EQ(warned.err, "vantrove: Byte 011: GFID 0 is not allowed--using current GFID 0.\n");
  EXPECT_EQ(font(), before);
  EXPECT_EQ(next(1), dca::ebc("z"));
}

}  // namespace
}  // namespace vantrove
