// Body text through the whole program: paragraph kinds chosen from the first
// line, single-byte controls in both passes, script shifts, scans that run
// across body text fields, and a master format without line parameters.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "support/body_text.h"
#include "support/dca_builder.h"
#include "support/process.h"

namespace {

using dca::Bytes;
using dca::ebc;
using dca::operator+;
using testing::HasSubstr;
using vtest::convertBody;
using vtest::kPlainFont;
using vtest::para;
using vtest::pgfEntry;
namespace ctl = dca::ctl;

const std::string kLineEnd = "'>\n\t><ParaLine\n";
// The first character when the paragraph format has no font.
const std::string kDefaultFont = "\t<Font <FFamily `Courier'> <FSize 12.000pt> <FPlain Yes>>\n";

// A format's left and first-line indents, in inches.
std::string indented(const std::string& left, const std::string& first) {
  return "\t<PgfLIndent " + left + "\">\n\t<PgfFIndent " + first + "\">\n";
}

TEST(LineEnds, CarrierReturnBlanksAndSyllableHyphens) {
  const auto r = convertBody(ebc("AB") + Bytes{ctl::CRE} + ebc("CD") + Bytes{ctl::SHY, ctl::CRE} +
                             ebc("EF ") + Bytes{ctl::CRE} + ebc("GH") + Bytes{ctl::RCR});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(vtest::body(r.out),
            para("block pgf", kPlainFont + "\t<String `AB " + kLineEnd +
                                  "\t<String `CD'>\n\t<Char DiscHyphen>\n><ParaLine\n"
                                  "\t<String `EF " +
                                  kLineEnd + "\t<String `GH'>\n"));
}

TEST(LineEnds, HardReturnsSwallowLineEndsButNotTheWordSpace) {
  // A leading carrier return writes no blank; index writes a hard return and is
  // no line end, so the next carrier return still adds a blank; after a blank
  // the hard return absorbs the carrier returns that follow.
  const auto r = convertBody(Bytes{ctl::CRE} + ebc("AB") + Bytes{ctl::INX, ctl::CRE} + ebc("CD ") +
                             Bytes{ctl::IRT, ctl::CRE, ctl::CRE} + ebc("EF") + Bytes{ctl::RCR});
  EXPECT_EQ(vtest::body(r.out),
            para("block pgf", "><ParaLine\n" + kPlainFont +
                                  "\t<String `AB'>\n\t<Char HardReturn>\n><ParaLine\n"
                                  "\t<String ` " +
                                  kLineEnd +
                                  "\t<String `CD '>\n\t<Char HardReturn>\n><ParaLine\n"
                                  "\t<String `EF'>\n"));
}

TEST(LineEnds, ControlsWithoutOutputAndSubstitute) {
  // Page end inside a field, null, backspaces and word underscore write
  // nothing; substitute writes three number signs; unknown codes warn. The
  // page end does not end the first line: the required carrier return does.
  const auto r = convertBody(ebc("A") +
                             Bytes{ctl::PE, ctl::NUL, ctl::BS, ctl::UBS, ctl::WUS, ctl::NBS,
                                   ctl::ZICR, 0x35, ctl::SUB, 0x01} +
                             ebc("B") + Bytes{ctl::RCR});
  EXPECT_EQ(vtest::body(r.out), para("row", kPlainFont + "\t<String `A###B'>\n"));
  const std::size_t first = vtest::firstBodyByte();
  EXPECT_EQ(r.err, vtest::diagnostic(first + 8, "Unknown single-byte control 0x35.") +
                       vtest::diagnostic(first + 10, "Unknown single-byte control 0x1."));
}

TEST(ParagraphKinds, RowAndColumnTopForTheNextParagraphOnly) {
  const auto r = convertBody(ebc("AB") + Bytes{ctl::RPE} + ebc("CD") + Bytes{ctl::RCR} + ebc("EF") +
                             Bytes{ctl::CRE});
  EXPECT_EQ(vtest::body(r.out), para("row", kPlainFont + "\t<String `AB'>\n") +
                                    para("row1", kPlainFont + "\t<String `CD'>\n") +
                                    para("block pgf", kPlainFont + "\t<String `EF " + kLineEnd));
  const std::string anywhere = "\t<PgfPlacement Anywhere>\n";
  EXPECT_NE(pgfEntry(r.out, "row").find(anywhere), std::string::npos);
  EXPECT_NE(pgfEntry(r.out, "row1").find("\t<PgfPlacement ColumnTop>\n"), std::string::npos);
  EXPECT_NE(pgfEntry(r.out, "block pgf").find(anywhere), std::string::npos);
}

TEST(ParagraphKinds, LongLineEndedByRequiredCarrierReturnIsNoRow) {
  // 100 bytes with the ending one make a line long; a multi-byte control
  // counts as nothing.
  const auto r =
      convertBody(ebc(std::string(99, 'x')) + Bytes{ctl::RCR} + ebc(std::string(98, 'y')) +
                  dca::mbc(0xD4, 0x62, dca::raw({0, 0})) + Bytes{ctl::RCR});
  EXPECT_EQ(vtest::body(r.out),
            para("block pgf", kPlainFont + "\t<String `" + std::string(99, 'x') + "'>\n") +
                para("row", kPlainFont + "\t<String `" + std::string(98, 'y') + "'>\n"));
}

TEST(ParagraphKinds, FirstLineIndentDropsLeadingBlanksAndTabs) {
  // charWidth 7 points: two blanks give 14 points; a leading tab moves to the
  // first stop (2 inches) and a blank adds 7/72 inch.
  const auto r = convertBody(ebc("  A B") + Bytes{ctl::CRE} + ebc(" C") + Bytes{ctl::RCR} +
                             Bytes{ctl::HT} + ebc(" X") + Bytes{ctl::CRE});
  EXPECT_EQ(vtest::body(r.out),
            para("pgf", kPlainFont + "\t<String `A B " + kLineEnd + "\t<String ` C'>\n") +
                para("pgf1", kPlainFont + "\t<String `X " + kLineEnd));
  EXPECT_THAT(pgfEntry(r.out, "pgf"),
              HasSubstr("\t<PgfLIndent 0.000\">\n\t<PgfFIndent 14.000pt>\n"));
  EXPECT_THAT(pgfEntry(r.out, "pgf1"), HasSubstr(indented("0.000", "2.097")));
}

TEST(ParagraphKinds, IndentedHangingAndRowParagraphs) {
  const auto r = convertBody(
      Bytes{ctl::IT, ctl::IT, ctl::IT} + ebc("AB") + Bytes{ctl::CRE} + ebc("CD") + Bytes{ctl::RCR} +
      ebc("1.") + Bytes{ctl::IT} + ebc("Text") + Bytes{ctl::CRE, ctl::IT} + ebc("more") +
      Bytes{ctl::RCR, ctl::IT} + ebc("a") + Bytes{ctl::IT} + ebc("b") + Bytes{ctl::CRE, ctl::RCR} +
      Bytes{ctl::IT} + ebc("a") + Bytes{ctl::IT} + ebc("b") + Bytes{ctl::RCR});
  // A row writes every indent tab.
  EXPECT_EQ(vtest::body(r.out),
            para("indented pgf", kPlainFont + "\t<String `AB " + kLineEnd + "\t<String `CD'>\n") +
                para("hanging pgf",
                     kPlainFont + "\t<String `1.\\tText " + kLineEnd + "\t<String `more'>\n") +
                para("hanging pgf1", kPlainFont + "\t<String `a\\tb " + kLineEnd) +
                para("row", "\t<String `\\t'>\n" + kPlainFont + "\t<String `a\\tb'>\n"));
  // Tab stops of the standard format: 2, 3, ... 7 inches.
  EXPECT_THAT(pgfEntry(r.out, "indented pgf"), HasSubstr(indented("4.000", "4.000")));
  const std::string hanging = pgfEntry(r.out, "hanging pgf");
  EXPECT_THAT(hanging, HasSubstr(indented("2.000", "0.000")));
  EXPECT_THAT(hanging, HasSubstr("\t<PgfNumTabs 1>\n"));
  EXPECT_THAT(hanging, HasSubstr("\t<TabStop\n\t\t<TSX 2.000\">\n\t\t<TSType Left>\n\t>\n>\n"));
  EXPECT_THAT(pgfEntry(r.out, "hanging pgf1"), HasSubstr(indented("3.000", "2.000")));
}

TEST(ParagraphKinds, MasterChangesOfAUnit) {
  // The alternate master format centres its lines. Of two establish fields
  // the second wins and the first becomes the one to return to; a return
  // takes the master in force just before the unit's last establish field.
  dca::Line centred;
  centred.align = 3;
  const auto r =
      vtest::convert(dca::standardFormat() + dca::formatUnitPrefix() +
                     dca::masterFormat(2, dca::lineParams(centred)) +
                     dca::textUnit("000001", ebc("A") + Bytes{ctl::RCR},
                                   dca::establishMaster(2) + dca::establishMaster(1)) +
                     dca::textUnit("000002", ebc("B") + Bytes{ctl::RCR}, dca::returnToMaster()) +
                     dca::textUnit("000003", ebc("C") + Bytes{ctl::RCR},
                                   dca::establishMaster(1) + dca::returnToMaster()) +
                     dca::endUnit());
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(vtest::body(r.out), para("row", kPlainFont + "\t<String `A'>\n") +
                                    para("row1", kPlainFont + "\t<String `B'>\n") +
                                    para("row1", kPlainFont + "\t<String `C'>\n"));
  EXPECT_THAT(pgfEntry(r.out, "row"), HasSubstr("\t<PgfAlignment Left>\n"));
  EXPECT_THAT(pgfEntry(r.out, "row1"), HasSubstr("\t<PgfAlignment Center>\n"));
}

TEST(ParagraphKinds, MarginTextOfAUnitMarksTheFirstParagraphOnly) {
  const Bytes leading = dca::marginTextDecl(0x01, 720) + dca::marginTextField(0x01, ebc("Head"));
  const auto r = vtest::convert(dca::document(
      dca::textUnit("000001", ebc("A") + Bytes{ctl::RCR} + ebc("B") + Bytes{ctl::RCR}, leading)));
  EXPECT_EQ(vtest::body(r.out), para("row", "\t<Marker\n\t\t<MType 0>\n\t\t<MText `Head'>\n\t>" +
                                                kPlainFont + "\t<String `A'>\n") +
                                    para("row", kPlainFont + "\t<String `B'>\n"));
}

TEST(Scripts, SuperscriptThenSubscriptReturnsToBaseline) {
  const auto r = convertBody(Bytes{ctl::SPS} + ebc("A") + Bytes{ctl::SBS} + ebc("B") +
                             Bytes{ctl::SBS} + ebc("C") + Bytes{ctl::RCR});
  // Courier 12 points: half the size up, then back, then half down.
  EXPECT_EQ(vtest::body(r.out), para("row",
                                     "\t<Font <FPlain Yes> <FDY -6.000pt>>\n\t<String `A'>\n"
                                     "\t<Font <FDY 0.000pt>>\n\t<String `B'>\n"
                                     "\t<Font <FDY 6.000pt>>\n\t<String `C'>\n"));
}

TEST(Scan, BytesLeftAtTheEndOfAFieldOpenTheNextParagraph) {
  // The first field ends inside a scan: its line is written with the next
  // one. A page end that is the last byte of a field ends the line.
  const auto r = vtest::convert(dca::document(dca::textUnit("000001", ebc("AB")) +
                                              dca::textUnit("000002", ebc("CD") + Bytes{ctl::CRE}) +
                                              dca::textUnit("000003", ebc("EF") + Bytes{ctl::PE})));
  EXPECT_EQ(vtest::body(r.out), para("block pgf", kPlainFont + "\t<String `ABCD " + kLineEnd) +
                                    para("block pgf", kPlainFont + "\t<String `EF'>\n"));
}

TEST(Scan, LongLinesKeepTheirTextAcrossFieldsAndFontChanges) {
  // A first line of 314 characters split over two fields, an emphasis inside
  // it, then a line of 600 characters ending in three escaped ones.
  const std::string a(150, 'A'), b(10, 'B'), e(600, 'E');
  const Bytes unit = dca::textUnitName("000001") + dca::bodyText(ebc(a + "it's" + a)) +
                     dca::bodyText(ebc(b) + dca::beginEmphasis() + ebc("C") + Bytes{ctl::CRE} +
                                   ebc("D" + e + ">\\`") + Bytes{ctl::RCR});
  const auto r = vtest::convert(dca::document(unit));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(vtest::body(r.out),
            para("block pgf", kPlainFont + "\t<String `" + a + "it\\xD5 s" + a + b +
                                  "'>\n\t<Font <FBold Yes>>\n\t<String `C " + kLineEnd +
                                  "\t<String `D" + e + "\\>\\\\\\xD4 '>\n"));
}

TEST(Scan, MasterFormatWithoutLineParametersUsesTheDefaultFont) {
  const Bytes format =
      dca::formatUnit1() + dca::formatUnit2(dca::pageImageParams(12240, 15840, 1440, 14400) +
                                            dca::tabParams(1, {{0, 2880}}));
  const auto r = vtest::convert(format +
                                dca::textUnit("000001", ebc("  Hi") + Bytes{ctl::CRE} +
                                                            dca::returnToMasterFont() + ebc("!")) +
                                dca::endUnit());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  // Leading blanks have no width without a master font: a block paragraph.
  // The paragraph format has no font, so the first character names it whole.
  EXPECT_EQ(vtest::body(r.out),
            para("block pgf", kDefaultFont + "\t<String `  Hi " + kLineEnd + "\t<String `!'>\n"));
}

TEST(Scan, FootnoteFirstAndEmptyAlternateMasterUseTheDefaultFont) {
  // Neither the footnote unit that comes first nor the alternate master
  // format (no format unit 3: all zero) has a font bound yet.
  const auto r = vtest::convert(
      dca::document(dca::textUnit("900001", ebc("Hi") + Bytes{ctl::CRE}) +
                    dca::textUnit("000002", ebc("Yo") + Bytes{ctl::CRE}, dca::establishMaster(2))));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  // 900001 - 13 * 65536 = 48033.
  EXPECT_EQ(vtest::notes(r.out), "\t\t<FNote\n<ID 48033>\n" +
                                     para("Footnote", kDefaultFont + "\t<String `Hi " + kLineEnd) +
                                     "\t\t> # End FNote\n");
  EXPECT_EQ(vtest::body(r.out), para("block pgf", kDefaultFont + "\t<String `Yo " + kLineEnd));
  EXPECT_EQ(pgfEntry(r.out, "block pgf"),
            "<Pgf\n\t<PgfTag `block pgf'>\n\t<PgfPlacement Anywhere>\n>\n");
}

}  // namespace
