// Multi-byte controls through the whole program: note references and their
// echo, footnote units, font controls, text pushed back by controls, scan-pass
// controls (alignment, tabs), and unknown or malformed controls.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "support/body_text.h"
#include "support/dca_builder.h"
#include "support/process.h"

namespace {

using dca::Bytes;
using dca::ebc;
using dca::operator+;
using vtest::convertBody;
using vtest::diagnostic;
using vtest::firstBodyByte;
using vtest::kPlainFont;
using vtest::para;
using vtest::pgfEntry;
namespace ctl = dca::ctl;

Bytes bytes(std::initializer_list<int> list) {
  return dca::raw(list);
}

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(NoteReference, FootnoteUnitAndSwallowedEcho) {
  const auto r = vtest::convert(dca::document(
      dca::textUnit("000001", ebc("See") + dca::noteReference("900007") + dca::noteEcho(1) +
                                  ebc(" here") + bytes({ctl::CRE})) +
      dca::textUnit("900007", ebc("Note text") + bytes({ctl::CRE}))));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  // 900007 - 13 * 65536 = 48039, for the reference and the footnote alike.
  EXPECT_EQ(vtest::body(r.out), para("block pgf", kPlainFont + "\t<String `See'>\n"
                                                               "\t<FNote 48039>\n"
                                                               "\t<String ` here '>\n"
                                                               "\t><ParaLine\n"));
  // The footnote paragraph's font is Times 10; the text is in the master font.
  EXPECT_EQ(vtest::notes(r.out),
            "\t\t<FNote\n<ID 48039>\n" +
                para("Footnote",
                     "\t<Font <FFamily `Courier'> <FSize 12.000pt> <FPlain Yes>>\n"
                     "\t<String `Note text '>\n"
                     "\t><ParaLine\n") +
                "\t\t> # End FNote\n");
  EXPECT_EQ(pgfEntry(r.out, "Footnote"),
            "<Pgf\n\t<PgfTag `Footnote'>\n\t<PgfLIndent 0.250\">\n\t<PgfFIndent 0.000\">\n"
            "\t<PgfRIndent 0.000\">\n\t<PgfNumTabs 1>\n"
            "\t<PgfFont\n\t\t<FFamily `Times'>\n\t\t<FSize 10.000pt>\n\t>\n"
            "\t<TabStop\n\t\t<TSX 0.250\">\n\t\t<TSType Left>\n\t>\n>\n");
}

TEST(NoteReference, EchoOfAnotherNumberStaysInTheText) {
  // The echo's controls act as usual: formatted text is skipped, the digit is
  // superscript and the subscript returns to the baseline.
  const auto r =
      convertBody(ebc("See") + dca::noteReference("000012") + dca::noteEcho(2) + bytes({ctl::CRE}));
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(vtest::body(r.out), para("block pgf", kPlainFont + "\t<String `See'>\n"
                                                               "\t<FNote 12>\n"
                                                               "\t<Font <FDY -6.000pt>>\n"
                                                               "\t<String `2 '>\n"
                                                               "\t><ParaLine\n"));
}

TEST(NoteReference, NumbersComeFromLeadingDigitsAndUnknownParametersWarn) {
  // The footnote unit 9ABCDE and a reference to it both get number 9. A
  // reference whose only parameter has identifier 2 warns and writes nothing.
  const std::size_t first = firstBodyByte();
  const auto r = vtest::convert(dca::document(
      dca::textUnit("000001", ebc("x") + dca::mbc(0xD9, 0x85, dca::sip(2, bytes({1, 2}))) +
                                  dca::noteReference("9ABCDE") + ebc("y") + bytes({ctl::CRE})) +
      dca::textUnit("9ABCDE", ebc("N") + bytes({ctl::CRE}))));
  EXPECT_EQ(r.err,
            diagnostic(first + 5, "Illegal Parameter type in Note Reference Field, skipping."));
  EXPECT_EQ(vtest::body(r.out), para("block pgf", kPlainFont + "\t<String `x'>\n"
                                                               "\t<FNote 9>\n"
                                                               "\t<String `y '>\n"
                                                               "\t><ParaLine\n"));
  EXPECT_EQ(vtest::notes(r.out),
            "\t\t<FNote\n<ID 9>\n" +
                para("Footnote",
                     "\t<Font <FFamily `Courier'> <FSize 12.000pt> <FPlain Yes>>\n"
                     "\t<String `N '>\n"
                     "\t><ParaLine\n") +
                "\t\t> # End FNote\n");
}

TEST(NoteReference, TenthNoteHasATwoDigitEcho) {
  // Nine footnote units count first, so the reference is note 10 and its
  // 15-byte echo is swallowed whole.
  Bytes notes;
  for (int i = 1; i <= 9; ++i) notes = notes + dca::textUnit("90000" + std::to_string(i), ebc("n"));
  const auto r = vtest::convert(dca::document(
      notes + dca::textUnit("000001", ebc("x") + dca::noteReference("900001") + dca::noteEcho(10) +
                                          ebc("y") + bytes({ctl::CRE}))));
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(vtest::body(r.out), para("block pgf", kPlainFont + "\t<String `x'>\n"
                                                               "\t<FNote 48033>\n"
                                                               "\t<String `y '>\n"
                                                               "\t><ParaLine\n"));
}

TEST(NoteReference, InputEndingInsideTheEchoPushesNothingBack) {
  // The echo read meets the end of the input at once: nothing was read, so
  // nothing is pushed back, and the input is found at its end where the end
  // unit should be. The read still counted its 14 bytes.
  const Bytes input =
      dca::standardFormat() + dca::textUnit("000001", ebc("x") + bytes({ctl::CRE}) + ebc("y") +
                                                          dca::noteReference("900001"));
  const auto r = vtest::convert(input);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, diagnostic(input.size() + 14 + 5, "Missing end unit."));
  EXPECT_EQ(vtest::body(r.out),
            para("block pgf", kPlainFont + "\t<String `x '>\n"
                                           "\t><ParaLine\n"
                                           "\t<String `y'>\n"
                                           "\t<FNote 48033>\n") +
                para("vantrove",
                     "\t<String `vantrove could not complete. Please see messages in the console "
                     "window. '>\n"));
}

TEST(FontControls, KnownUnknownAndZeroGfids) {
  const std::size_t first = firstBodyByte();
  const auto r = convertBody(ebc("a") + dca::setGfid(87) + ebc("b") + dca::setGfid(9999) +
                             ebc("c") + dca::setGfid(0) + ebc("d") + dca::beginEmphasis() +
                             ebc("e") + dca::endEmphasis() + dca::beginUnderscore() + ebc("f") +
                             dca::returnToMasterFont() + ebc("g") + bytes({ctl::CRE}));
  // GFID 87 is Helvetica 10; the failed controls leave it in force.
  EXPECT_EQ(vtest::body(r.out),
            para("block pgf", kPlainFont + "\t<String `a'>\n"
                                           "\t<Font <FFamily `Helvetica'> "
                                           "<FSize 10.000pt>>\n"
                                           "\t<String `bcd'>\n"
                                           "\t<Font <FBold Yes>>\n"
                                           "\t<String `e'>\n"
                                           "\t<Font <FBold No> <FUnderline Yes>>\n"
                                           "\t<String `f'>\n"
                                           "\t<Font <FFamily `Courier'> "
                                           "<FSize 12.000pt> <FPlain Yes>>\n"
                                           "\t<String `g '>\n"
                                           "\t><ParaLine\n"));
  EXPECT_EQ(r.err, diagnostic(first + 15,
                              "Can't find IBM font in dca.am whose GFID is 9999--using current "
                              "GFID 87.") +
                       diagnostic(first + 25, "GFID 0 is not allowed--using current GFID 87."));
}

TEST(PushedBackText, EscapedGraphicPromptsAndUnitName) {
  const auto r =
      convertBody(ebc("x") + dca::escapedGraphic(0xC1) + dca::displayPrompt(ebc("ENTER")) +
                  dca::displayPrompt(ebc("ABCDEFGHIJKLMNOPQRST")) + dca::printTextUnitName() +
                  bytes({ctl::CRE}));
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(
      vtest::body(r.out),
      para("block pgf", kPlainFont + "\t<String `xA###ENTER           ######ABCDEFGHIJKLMNOP###"
                                     "0000.0.1 '>\n"
                                     "\t><ParaLine\n"));
}

TEST(Dispatcher, UnknownControlsWarnOncePerPassThatReadsThem) {
  // Class 0xD3 has no controls, 0xC0 is outside the classes, type 0xFF is
  // none; their parameters are skipped, never text.
  const std::size_t first = firstBodyByte();
  const auto r =
      convertBody(dca::mbc(0xD3, 0x10) + ebc("A") + bytes({ctl::CRE}) + dca::mbc(0xD3, 0x10) +
                  ebc("B") + dca::mbc(0xC0, 0x01, ebc("pqr")) + ebc("C") + dca::mbc(0xD4, 0xFF) +
                  ebc("D") + dca::mbc(0xD4, 0x62, bytes({0, 0})) + bytes({ctl::RCR}));
  EXPECT_EQ(vtest::body(r.out), para("block pgf", kPlainFont + "\t<String `A '>\n"
                                                               "\t><ParaLine\n"
                                                               "\t<String `BCD'>\n"));
  const std::string unknown = "Unknown multi-byte control:  class = 0x";
  EXPECT_EQ(r.err, diagnostic(first + 1, unknown + "d3 type = 0x10.") +
                       diagnostic(first + 1, unknown + "d3 type = 0x10.") +
                       diagnostic(first + 7, unknown + "d3 type = 0x10.") +
                       diagnostic(first + 12, unknown + "c0 type = 0x1.") +
                       diagnostic(first + 20, unknown + "d4 type = 0xff."));
}

TEST(Dispatcher, LengthBelowTwoIsFatal) {
  const auto r = convertBody(ebc("A") + bytes({0x2B, 0xD4, 0x01, 0x0B}));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, diagnostic(firstBodyByte() + 2, "Length in multi-byte ctrl less than 2."));
  // The scanned "A" is never written; the fatal paragraph is.
  EXPECT_EQ(vtest::body(r.out),
            para("vantrove",
                 "\t<String `vantrove could not complete. Please see messages in the console "
                 "window. '>\n"));
}

TEST(ScanControls, AlignedFieldsAndLines) {
  // In this unit the character width is 6 points and the left indent 1 inch.
  dca::Line line;
  line.charWidth = 120;
  line.left = 2880;
  const auto r = vtest::convert(dca::document(
      dca::textUnit("000001",
                    dca::alignTextField(1, 11) + ebc(" 12.5") + bytes({ctl::CRE, ctl::RCR}) +
                        dca::alignTextLine(1) + ebc("Title") + bytes({ctl::RCR}) +
                        dca::alignTextField(4) + ebc("  x") + bytes({ctl::CRE}),
                    dca::formatChange(dca::lineParams(line)))));
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(vtest::body(r.out), para("align field", "\t<String `\\t'>\n" + kPlainFont +
                                                        "\t<String `12.5 '>\n"
                                                        "\t><ParaLine\n") +
                                    para("align line", kPlainFont + "\t<String `Title'>\n") +
                                    para("align field1", "\t<String `\\t'>\n" + kPlainFont +
                                                             "\t<String `x '>\n"
                                                             "\t><ParaLine\n"));
  // Column 11: 10 columns of 6 points plus the 72-point indent.
  const std::string field = pgfEntry(r.out, "align field");
  EXPECT_EQ(field.rfind("<Pgf\n\t<PgfTag `align field'>\n\t<PgfLIndent 1.000\">\n"
                        "\t<PgfFIndent 1.000\">\n\t<PgfRIndent 0.000\">\n"
                        "\t<PgfAlignment Left>\n\t<PgfPlacement Anywhere>\n",
                        0),
            0u);
  EXPECT_TRUE(contains(field, "\t<PgfNumTabs 1>\n"));
  EXPECT_TRUE(contains(field,
                       "\t<TabStop\n\t\t<TSX 132.000pt>\n\t\t<TSType Decimal>\n"
                       "\t\t<TSDecimalChar 46>\n\t>\n>\n"));
  EXPECT_TRUE(contains(pgfEntry(r.out, "align line"), "\t<PgfAlignment Center>\n"));
  // No column: the field starts where two blanks (12 points) end.
  EXPECT_TRUE(contains(pgfEntry(r.out, "align field1"),
                       "\t<TabStop\n\t\t<TSX 84.000pt>\n\t\t<TSType Right>\n\t>\n>\n"));
}

TEST(ScanControls, AlignedFieldStopTakesTheScanPositionAsPointsAndNeedsTabStops) {
  // A leading tab moves the scan position to the first stop, 2 inches; without
  // a column the stop is put at that number taken as points, plus the left
  // indent (0 here).
  const auto r =
      convertBody(bytes({ctl::HT}) + dca::alignTextField(0) + ebc("x") + bytes({ctl::CRE}));
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(vtest::body(r.out), para("align field", "\t<String `\\t'>\n" + kPlainFont +
                                                        "\t<String `x '>\n"
                                                        "\t><ParaLine\n"));
  const std::string field = pgfEntry(r.out, "align field");
  EXPECT_TRUE(contains(field, "\t<PgfNumTabs 1>\n"));
  EXPECT_TRUE(contains(field, "\t<TabStop\n\t\t<TSX 2.000pt>\n\t\t<TSType Left>\n\t>\n>\n"));

  // The alternate master (no format unit 3) has no tab stops: the stop is
  // built but the format does not carry it.
  const auto bare = vtest::convert(dca::document(dca::textUnit(
      "000001", dca::alignTextField(3) + ebc("y") + bytes({ctl::CRE}), dca::establishMaster(2))));
  EXPECT_EQ(bare.err, "");
  EXPECT_EQ(vtest::body(bare.out),
            para("align field",
                 "\t<String `\\t'>\n"
                 "\t<Font <FFamily `Courier'> <FSize 12.000pt> <FPlain Yes>>\n"
                 "\t<String `y '>\n"
                 "\t><ParaLine\n"));
  EXPECT_EQ(pgfEntry(bare.out, "align field"),
            "<Pgf\n\t<PgfTag `align field'>\n\t<PgfPlacement Anywhere>\n>\n");
}

TEST(ScanControls, TabsAndMasterLineActOnlyInTheFirstLine) {
  const Bytes oneInch = dca::setTabs(dca::tabData(1, {{0, 1440}}));
  const auto r = convertBody(oneInch + bytes({ctl::IT}) + ebc("a") + bytes({ctl::CRE, ctl::RCR}) +
                             dca::returnToMasterLine() + bytes({ctl::IT}) + ebc("b") +
                             bytes({ctl::CRE, ctl::RCR}) + ebc("c") + bytes({ctl::CRE}) + oneInch +
                             bytes({ctl::RCR, ctl::IT}) + ebc("d") + bytes({ctl::CRE}));
  const std::string lines = "'>\n\t><ParaLine\n";
  EXPECT_EQ(vtest::body(r.out), para("indented pgf", kPlainFont + "\t<String `a " + lines) +
                                    para("indented pgf1", kPlainFont + "\t<String `b " + lines) +
                                    para("block pgf", kPlainFont + "\t<String `c " + lines) +
                                    para("indented pgf1", kPlainFont + "\t<String `d " + lines));
  EXPECT_TRUE(contains(pgfEntry(r.out, "indented pgf"),
                       "\t<PgfLIndent 1.000\">\n\t<PgfFIndent 1.000\">\n"));
  EXPECT_TRUE(contains(pgfEntry(r.out, "indented pgf1"),
                       "\t<PgfLIndent 2.000\">\n\t<PgfFIndent 2.000\">\n"));
}

}  // namespace
