#include "vantrove/fontctl.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "fontmap/fontmap.h"
#include "support/dca_builder.h"
#include "vantrove/io.h"

namespace vantrove {
namespace {

using dca::Bytes;
using dca::operator+;
using testing::StartsWith;

bool operator==(const IbmFont& a, const IbmFont& b) {
  return a.gfid == b.gfid && a.style == b.style && a.cgcsid == b.cgcsid && a.cpid == b.cpid &&
         a.charWidth == b.charWidth && a.entry == b.entry;
}

class FontControlTest : public testing::Test {
 protected:
  void SetUp() override {
    dca::startInProcess();
    KRPrimaryFormat.masterFont = {11, 0, 697, 37, 7, AmFontRead(nullptr, 11, 0, 0)};
    KRGlobal.masterFormat = &KRPrimaryFormat;
    KRCurrentFormat.currentFont = KRPrimaryFormat.masterFont;
  }
  void TearDown() override { dca::stopInProcess(); }

  IbmFont& current() { return KRCurrentFormat.currentFont; }

  // Feeds the controls, followed by the letter z, through the handler as the
  // dispatcher would; returns the first byte after the last control.
  static std::uint8_t run(const Bytes& controls) {
    if (KRStdin.file != nullptr) KRStdinClose();
    dca::openInput(controls + dca::ebc("z"));
    std::uint8_t byte;
    while (KRStdinRead(1, "m", &byte, 1, 0) == 2 && byte == 0x2B) {
      std::uint8_t intro[3];
      KRStdinRead(1, "m", intro, 3, 0);
      KRFontControl(intro);
    }
    return byte;
  }
};

TEST_F(FontControlTest, AttributesDoNotNestAndReturnToMasterFontRestoresAll) {
  EXPECT_EQ(run(dca::beginEmphasis() + dca::beginEmphasis() + dca::endEmphasis()), 0xA9);
  EXPECT_EQ(current().style, 0);
  run(dca::beginUnderscore() + dca::beginOverstrike() + dca::beginEmphasis());
  EXPECT_EQ(current().style, 0x0D);
  run(dca::endOverstrike());
  EXPECT_EQ(current().style, 0x05);
  run(dca::setGfid(85));  // a new face keeps the style
  EXPECT_EQ(current().gfid, 85u);
  EXPECT_EQ(current().entry, AmFontRead(nullptr, 85, 0, 0));
  EXPECT_EQ(current().style, 0x05);
  run(dca::returnToMasterFont());
  EXPECT_TRUE(current() == KRPrimaryFormat.masterFont);
}

TEST_F(FontControlTest, SetGcgidChangesIdentifiersOnlyWithAUsableGfid) {
  run(dca::setGcgid(1003, 500));
  EXPECT_EQ(current().cgcsid, 1003u);
  EXPECT_EQ(current().cpid, 500u);
  EXPECT_EQ(current().gfid, 11u);

  current() = IbmFont{};
  testing::internal::CaptureStderr();
  run(dca::setGcgid(1003, 500));
  EXPECT_THAT(testing::internal::GetCapturedStderr(),
              testing::HasSubstr("GFID 0 is not allowed--using current GFID 0.\n"));
  EXPECT_EQ(current().cgcsid, 0u);
}

TEST_F(FontControlTest, ParameterBytesAreEachConsumedOnce) {
  // The escaped graphic is the very next text byte.
  EXPECT_EQ(run(dca::escapedGraphic(0xC1)), 0xC1);
  std::uint8_t byte;
  KRStdinRead(1, "m", &byte, 1, 0);
  EXPECT_EQ(byte, 0xA9);

  // More parameters than the control uses: the surplus is skipped.
  EXPECT_EQ(
      run(dca::mbc(0xD1, 0x05, dca::be16(85) + Bytes(5, 0xC1)) +
          dca::mbc(0xD1, 0x8A, {0xC1, 0xC1}) + dca::mbc(0xD1, 0x15, dca::raw({0, 37, 0xC2, 0xC1}))),
      0xC2);
  EXPECT_EQ(current().gfid, 85u);
  EXPECT_EQ(current().style, 0x01);

  // Fewer: missing parameters count as zero and the text after is left alone.
  EXPECT_EQ(run(dca::mbc(0xD1, 0x05, dca::be16(11)) + dca::mbc(0xD1, 0x15, dca::raw({0, 37}))),
            0xA9);
  EXPECT_EQ(current().gfid, 11u);
  EXPECT_EQ(current().entry, AmFontRead(nullptr, 11, 0, 0));

  // Any other control reaching the handler only has its parameters skipped.
  const IbmFont before = current();
  EXPECT_EQ(run(dca::mbc(0xD4, 0x47, {0xC1})), 0xA9);
  EXPECT_TRUE(current() == before);
}

TEST_F(FontControlTest, InputEndingInsideTheParametersIsFatal) {
  const dca::Outcome outcome = dca::capture([] { run(dca::raw({0x2B, 0xD1, 0x07, 0x05, 0x00})); });
  EXPECT_EQ(outcome.status, 0);
  EXPECT_THAT(outcome.err, StartsWith("vantrove: Byte 04: Expected set CFID thru GFID contents.\n"
                                      "Premature end of file.\n"));
}

}  // namespace
}  // namespace vantrove
