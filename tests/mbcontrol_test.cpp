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

const Bytes kCre = {ctl::CRE};
const std::string kLineEnd = " '>\n\t><ParaLine\n";
const std::string kFatalParagraph =
    para("vantrove",
         "\t<String `vantrove could not complete. Please see messages in the console window. '>\n");

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(NoteReference, FootnoteUnitAndSwallowedEcho) {
  const auto r = vtest::convert(
      dca::document(dca::textUnit("000001", ebc("See") + dca::noteReference("900007") +
                                                dca::noteEcho(1) + ebc(" here") + kCre) +
                    dca::textUnit("900007", ebc("Note text") + kCre)));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  // 900007 - 13 * 65536 = 48039, for the reference and the footnote alike.
  EXPECT_EQ(vtest::body(r.out), para("block pgf", kPlainFont +
                                                      "\t<String `See'>\n\t<FNote 48039>\n"
                                                      "\t<String ` here" +
                                                      kLineEnd));
  // The footnote paragraph's font is Times 10; the text is in the master font.
  EXPECT_EQ(vtest::notes(r.out),
            "\t\t<FNote\n<ID 48039>\n" +
                para("Footnote",
                     "\t<Font <FFamily `Courier'> <FSize 12.000pt> <FPlain Yes>>\n"
                     "\t<String `Note text" +
                         kLineEnd) +
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
  const auto r = convertBody(ebc("See") + dca::noteReference("000012") + dca::noteEcho(2) + kCre);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(vtest::body(r.out),
            para("block pgf", kPlainFont +
                                  "\t<String `See'>\n\t<FNote 12>\n\t<Font <FDY -6.000pt>>\n"
                                  "\t<String `2" +
                                  kLineEnd));
}

TEST(NoteReference, ParametersAndNumbersFromLeadingDigits) {
  // Parameters 1 and 20 are skipped, 7 warns; in the include, 2 is skipped and
  // the unit reference carries 14 bytes, of which only the first six name the
  // unit. "9ABCDE" has the number 9, for the reference and the footnote alike.
  const Bytes nested = dca::sip(2, {0}) + dca::sip(4, ebc("9ABCDEzzzzzzzz"));
  const Bytes include = Bytes{static_cast<std::uint8_t>(nested.size() + 6), 8, 0, 0,
                              static_cast<std::uint8_t>(nested.size() + 2), 0} +
                        nested;
  const Bytes reference =
      dca::mbc(0xD9, 0x85, dca::sip(1, {1, 2}) + dca::sip(7, {3}) + include + dca::sip(20, {}));
  const auto r =
      vtest::convert(dca::document(dca::textUnit("000001", ebc("a") + reference + ebc("b") + kCre) +
                                   dca::textUnit("9ABCDE", ebc("n") + kCre)));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, diagnostic(firstBodyByte() + 9,
                              "Illegal Parameter type in Note Reference Field, skipping."));
  EXPECT_EQ(vtest::body(r.out),
            para("block pgf", kPlainFont + "\t<String `a'>\n\t<FNote 9>\n\t<String `b" + kLineEnd));
  EXPECT_EQ(vtest::notes(r.out),
            "\t\t<FNote\n<ID 9>\n" +
                para("Footnote",
                     "\t<Font <FFamily `Courier'> <FSize 12.000pt> <FPlain Yes>>\n\t<String `n" +
                         kLineEnd) +
                "\t\t> # End FNote\n");
}

TEST(NoteReference, IncludeListCountedByLengthBytes) {
  // The include's nested list is 3 bytes by its length byte 5. Its first
  // parameter has length byte 1: it counts 1, though its two head bytes are
  // read, so one more head follows: a unit reference without name bytes, which
  // reads nothing and refers to unit 0.
  const Bytes reference = dca::mbc(0xD9, 0x85, dca::raw({10, 8, 0, 0, 5, 0, 1, 2, 2, 4}));
  const auto r = convertBody(ebc("a") + reference + dca::noteEcho(1) + ebc("b") + kCre);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(vtest::body(r.out),
            para("block pgf", kPlainFont + "\t<String `a'>\n\t<FNote 0>\n\t<String `b" + kLineEnd));
}

TEST(FontControls, KnownUnknownAndZeroGfids) {
  const std::size_t first = firstBodyByte();
  const auto r = convertBody(ebc("a") + dca::setGfid(87) + ebc("b") + dca::setGfid(9999) +
                             ebc("c") + dca::setGfid(0) + ebc("d") + dca::beginEmphasis() +
                             ebc("e") + dca::endEmphasis() + dca::beginUnderscore() + ebc("f") +
                             dca::returnToMasterFont() + ebc("g") + kCre);
  // GFID 87 is Helvetica 10; the failed controls leave it in force.
  EXPECT_EQ(vtest::body(r.out),
            para("block pgf",
                 kPlainFont +
                     "\t<String `a'>\n\t<Font <FFamily `Helvetica'> <FSize 10.000pt>>\n"
                     "\t<String `bcd'>\n\t<Font <FBold Yes>>\n\t<String `e'>\n"
                     "\t<Font <FBold No> <FUnderline Yes>>\n\t<String `f'>\n"
                     "\t<Font <FFamily `Courier'> <FSize 12.000pt> <FPlain Yes>>\n\t<String `g" +
                     kLineEnd));
  EXPECT_EQ(r.err, diagnostic(first + 15,
                              "Can't find IBM font in dca.am whose GFID is 9999--using current "
                              "GFID 87.") +
                       diagnostic(first + 25, "GFID 0 is not allowed--using current GFID 87."));
}

TEST(FontControls, AttributesDoNotNestAndSurplusParameterBytesAreSkipped) {
  // Emphasis begun twice and ended once; overstrike; a set GFID with two
  // surplus parameter bytes, a begin emphasis with two and an escaped graphic
  // with one: no parameter byte reaches the text.
  const auto r = convertBody(dca::beginEmphasis() + dca::beginEmphasis() + dca::endEmphasis() +
                             ebc("a") + dca::mbc(0xD4, 0x72) + ebc("b") +
                             dca::mbc(0xD1, 0x05, dca::be16(87) + Bytes(5, 0xC1)) + ebc("c") +
                             dca::mbc(0xD1, 0x8A, {0xC1, 0xC1}) + ebc("d") +
                             dca::mbc(0xD1, 0x15, dca::raw({0, 37, 0xC2, 0xC1})) + ebc("e") + kCre);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(vtest::body(r.out),
            para("block pgf", kPlainFont +
                                  "\t<String `a'>\n\t<Font <FStrike Yes>>\n\t<String `b'>\n"
                                  "\t<Font <FFamily `Helvetica'> <FSize 10.000pt>>\n"
                                  "\t<String `c'>\n\t<Font <FBold Yes>>\n\t<String `dBe" +
                                  kLineEnd));
}

TEST(PushedBackText, EscapedGraphicPromptsAndUnitName) {
  const auto r = convertBody(
      ebc("x") + dca::escapedGraphic(0xC1) + dca::displayPrompt(ebc("ENTER")) +
      dca::displayPrompt(ebc("ABCDEFGHIJKLMNOPQRST")) + dca::printTextUnitName() + kCre);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(vtest::body(r.out),
            para("block pgf",
                 kPlainFont + "\t<String `xA###ENTER           ######ABCDEFGHIJKLMNOP###0000.0.1" +
                     kLineEnd));
}

TEST(PushedBackText, UnitNameThatPrintsItselfIsPrintedOnce) {
  // The name's first four bytes are the Print Text Unit Name control: read
  // again from the printed name it would print the name forever, each time
  // pushing back more than it read, and drive the input offset below zero.
  const Bytes name = dca::field(0xE1, 0x04, dca::raw({0x2B, 0xD4, 0x02, 0x63, 0xF1, 0xF2}));
  const Bytes body = ebc("x") + dca::printTextUnitName() + ebc("y") + dca::raw({0x01}) + kCre;
  const Bytes units = name + dca::bodyText(body);
  const auto r = vtest::convert(dca::document(units));
  // The offset of the unknown control after the printed name is its own.
  const std::size_t control = dca::standardFormat().size() + name.size() + 5 + 6;
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, vtest::diagnostic(control, "Unknown single-byte control 0x1."));
  EXPECT_TRUE(contains(vtest::body(r.out), "<String `x.1.2y")) << r.out;
}

TEST(Dispatcher, UnknownControlsWarnOncePerPassThatReadsThem) {
  // Class 0xD3 has no controls, 0xC0 is outside the classes, type 0xFF is
  // none; their parameters are skipped, never text.
  const std::size_t first = firstBodyByte();
  const auto r =
      convertBody(dca::mbc(0xD3, 0x10) + ebc("A") + kCre + dca::mbc(0xD3, 0x10) + ebc("B") +
                  dca::mbc(0xC0, 0x01, ebc("pqr")) + ebc("C") + dca::mbc(0xD4, 0xFF) + ebc("D") +
                  dca::mbc(0xD4, 0x62, dca::raw({0, 0})) + Bytes{ctl::RCR});
  EXPECT_EQ(vtest::body(r.out),
            para("block pgf", kPlainFont + "\t<String `A" + kLineEnd + "\t<String `BCD'>\n"));
  const std::string unknown = "Unknown multi-byte control:  class = 0x";
  EXPECT_EQ(r.err, diagnostic(first + 1, unknown + "d3 type = 0x10.") +
                       diagnostic(first + 1, unknown + "d3 type = 0x10.") +
                       diagnostic(first + 7, unknown + "d3 type = 0x10.") +
                       diagnostic(first + 12, unknown + "c0 type = 0x1.") +
                       diagnostic(first + 20, unknown + "d4 type = 0xff."));
}

TEST(Dispatcher, LengthBelowTwoIsFatal) {
  const auto r = convertBody(ebc("A") + dca::raw({0x2B, 0xD4, 0x01, 0x0B}));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, diagnostic(firstBodyByte() + 2, "Length in multi-byte ctrl less than 2."));
  // The scanned "A" is never written; the fatal paragraph is.
  EXPECT_EQ(vtest::body(r.out), kFatalParagraph);
}

TEST(ScanControls, AlignedFieldsAndLines) {
  // In this unit the character width is 6 points and the left indent 1 inch.
  dca::Line line;
  line.charWidth = 120;
  line.left = 2880;
  const auto r = vtest::convert(dca::document(
      dca::textUnit("000001",
                    dca::alignTextField(1, 11) + ebc(" 12.5") + Bytes{ctl::CRE, ctl::RCR} +
                        dca::alignTextLine(1) + ebc("Title") + Bytes{ctl::RCR} +
                        dca::alignTextField(4) + ebc("  x") + kCre,
                    dca::formatChange(dca::lineParams(line)))));
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(
      vtest::body(r.out),
      para("align field", "\t<String `\\t'>\n" + kPlainFont + "\t<String `12.5" + kLineEnd) +
          para("align line", kPlainFont + "\t<String `Title'>\n") +
          para("align field1", "\t<String `\\t'>\n" + kPlainFont + "\t<String `x" + kLineEnd));
  // Column 11: 10 columns of 6 points plus the 72-point indent.
  const std::string field = pgfEntry(r.out, "align field");
  EXPECT_TRUE(contains(field, "\t<PgfLIndent 1.000\">\n\t<PgfFIndent 1.000\">\n"));
  EXPECT_TRUE(contains(field, "\t<PgfNumTabs 1>\n"));
  EXPECT_TRUE(contains(field, "\t<TSX 132.000pt>\n\t\t<TSType Decimal>\n\t\t<TSDecimalChar 46>\n"));
  EXPECT_TRUE(contains(pgfEntry(r.out, "align line"), "\t<PgfAlignment Center>\n"));
  // No column: the field starts where two blanks (12 points) end.
  EXPECT_TRUE(contains(pgfEntry(r.out, "align field1"),
                       "\t<TabStop\n\t\t<TSX 84.000pt>\n\t\t<TSType Right>\n\t>\n>\n"));
}

}  // namespace
