// Body text through the whole program: paragraph kinds chosen from the first
// line, single-byte controls in both passes, script shifts, scans that run
// across body text fields, and master formats changed by a unit or lacking
// line parameters.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "support/body_text.h"
#include "support/dca_builder.h"
#include "support/process.h"

namespace {

using dca::Bytes;
using dca::ebc;
using dca::operator+;
using vtest::kPlainFont;
using vtest::para;
namespace ctl = dca::ctl;

const std::string kLineEnd = "'>\n\t><ParaLine\n";

// A format's left and first-line indents, in inches.
std::string indented(const std::string& left, const std::string& first) {
  return "\t<PgfLIndent " + left + "\">\n\t<PgfFIndent " + first + "\">\n";
}

Bytes unit(const Bytes& body) {
  return dca::document(dca::textUnit("000001", body));
}

struct Case {
  Bytes input;
  std::string body;
  // Tags with a part of their catalog entry.
  std::vector<std::pair<std::string, std::string>> formats = {};
  std::string err = "";
};

TEST(BodyText, ParagraphKindsLineEndsScriptsAndScans) {
  const std::size_t first = vtest::firstBodyByte();
  const std::string anywhere = "\t<PgfPlacement Anywhere>\n";
  dca::Line centred;
  centred.align = 3;
  const std::string a(150, 'A'), b(10, 'B'), e(600, 'E');
  const Case cases[] = {
      // Line ends: a carrier return adds a blank unless it follows one or a
      // syllable hyphen.
      {unit(ebc("AB") + Bytes{ctl::CRE} + ebc("CD") + Bytes{ctl::SHY, ctl::CRE} + ebc("EF ") +
            Bytes{ctl::CRE} + ebc("GH") + Bytes{ctl::RCR}),
       para("block pgf", kPlainFont + "\t<String `AB " + kLineEnd +
                             "\t<String `CD'>\n\t<Char DiscHyphen>\n><ParaLine\n\t<String `EF " +
                             kLineEnd + "\t<String `GH'>\n")},
      // A leading carrier return writes no blank; index writes a hard return
      // and is no line end, so the next carrier return still adds a blank;
      // after a blank the hard return absorbs the carrier returns that follow.
      {unit(Bytes{ctl::CRE} + ebc("AB") + Bytes{ctl::INX, ctl::CRE} + ebc("CD ") +
            Bytes{ctl::IRT, ctl::CRE, ctl::CRE} + ebc("EF") + Bytes{ctl::RCR}),
       para("block pgf", "><ParaLine\n" + kPlainFont +
                             "\t<String `AB'>\n\t<Char HardReturn>\n><ParaLine\n\t<String ` " +
                             kLineEnd + "\t<String `CD '>\n\t<Char HardReturn>\n><ParaLine\n" +
                             "\t<String `EF'>\n")},
      // Page end inside a field, null, backspaces and word underscore write
      // nothing; substitute writes three number signs; unknown codes warn. The
      // page end does not end the first line: the required carrier return does.
      {unit(ebc("A") +
            Bytes{ctl::PE, ctl::NUL, ctl::BS, ctl::UBS, ctl::WUS, ctl::NBS, ctl::ZICR, 0x35,
                  ctl::SUB, 0x01} +
            ebc("B") + Bytes{ctl::RCR}),
       para("row", kPlainFont + "\t<String `A###B'>\n"),
       {},
       vtest::diagnostic(first + 8, "Unknown single-byte control 0x35.") +
           vtest::diagnostic(first + 10, "Unknown single-byte control 0x1.")},
      // A required page end places only the paragraph after it at a column top.
      {unit(ebc("AB") + Bytes{ctl::RPE} + ebc("CD") + Bytes{ctl::RCR} + ebc("EF") +
            Bytes{ctl::CRE}),
       para("row", kPlainFont + "\t<String `AB'>\n") +
           para("row1", kPlainFont + "\t<String `CD'>\n") +
           para("block pgf", kPlainFont + "\t<String `EF " + kLineEnd),
       {{"row", anywhere}, {"row1", "\t<PgfPlacement ColumnTop>\n"}, {"block pgf", anywhere}}},
      // 100 bytes with the ending one make a line long, no row; a multi-byte
      // control counts as nothing.
      {unit(ebc(std::string(99, 'x')) + Bytes{ctl::RCR} + ebc(std::string(98, 'y')) +
            dca::mbc(0xD4, 0x62, dca::raw({0, 0})) + Bytes{ctl::RCR}),
       para("block pgf", kPlainFont + "\t<String `" + std::string(99, 'x') + "'>\n") +
           para("row", kPlainFont + "\t<String `" + std::string(98, 'y') + "'>\n")},
      // charWidth 7 points: two dropped blanks give 14 points; a leading tab
      // moves to the first stop (2 inches) and a blank adds 7/72 inch.
      {unit(ebc("  A B") + Bytes{ctl::CRE} + ebc(" C") + Bytes{ctl::RCR} + Bytes{ctl::HT} +
            ebc(" X") + Bytes{ctl::CRE}),
       para("pgf", kPlainFont + "\t<String `A B " + kLineEnd + "\t<String ` C'>\n") +
           para("pgf1", kPlainFont + "\t<String `X " + kLineEnd),
       {{"pgf", "\t<PgfLIndent 0.000\">\n\t<PgfFIndent 14.000pt>\n"},
        {"pgf1", indented("0.000", "2.097")}}},
      // Indent tabs at the stops of the standard format (2, 3, ... 7 inches);
      // a row writes every indent tab.
      {unit(Bytes{ctl::IT, ctl::IT, ctl::IT} + ebc("AB") + Bytes{ctl::CRE} + ebc("CD") +
            Bytes{ctl::RCR} + ebc("1.") + Bytes{ctl::IT} + ebc("Text") + Bytes{ctl::CRE, ctl::IT} +
            ebc("more") + Bytes{ctl::RCR, ctl::IT} + ebc("a") + Bytes{ctl::IT} + ebc("b") +
            Bytes{ctl::CRE, ctl::RCR} + Bytes{ctl::IT} + ebc("a") + Bytes{ctl::IT} + ebc("b") +
            Bytes{ctl::RCR}),
       para("indented pgf", kPlainFont + "\t<String `AB " + kLineEnd + "\t<String `CD'>\n") +
           para("hanging pgf",
                kPlainFont + "\t<String `1.\\tText " + kLineEnd + "\t<String `more'>\n") +
           para("hanging pgf1", kPlainFont + "\t<String `a\\tb " + kLineEnd) +
           para("row", "\t<String `\\t'>\n" + kPlainFont + "\t<String `a\\tb'>\n"),
       {{"indented pgf", indented("4.000", "4.000")},
        {"hanging pgf", indented("2.000", "0.000")},
        {"hanging pgf", "\t<PgfNumTabs 1>\n"},
        {"hanging pgf", "\t<TabStop\n\t\t<TSX 2.000\">\n\t\t<TSType Left>\n\t>\n>\n"},
        {"hanging pgf1", indented("3.000", "2.000")}}},
      // Courier 12 points: half the size up, then back, then half down.
      {unit(Bytes{ctl::SPS} + ebc("A") + Bytes{ctl::SBS} + ebc("B") + Bytes{ctl::SBS} + ebc("C") +
            Bytes{ctl::RCR}),
       para("row",
            "\t<Font <FPlain Yes> <FDY -6.000pt>>\n\t<String `A'>\n"
            "\t<Font <FDY 0.000pt>>\n\t<String `B'>\n"
            "\t<Font <FDY 6.000pt>>\n\t<String `C'>\n")},
      // The alternate master centres its lines. Of two establish fields the
      // second wins and the first becomes the one to return to; a return takes
      // the master in force just before the unit's last establish field.
      {dca::standardFormat() + dca::formatUnitPrefix() +
           dca::masterFormat(2, dca::lineParams(centred)) +
           dca::textUnit("000001", ebc("A") + Bytes{ctl::RCR},
                         dca::establishMaster(2) + dca::establishMaster(1)) +
           dca::textUnit("000002", ebc("B") + Bytes{ctl::RCR}, dca::returnToMaster()) +
           dca::textUnit("000003", ebc("C") + Bytes{ctl::RCR},
                         dca::establishMaster(1) + dca::returnToMaster()) +
           dca::endUnit(),
       para("row", kPlainFont + "\t<String `A'>\n") +
           para("row1", kPlainFont + "\t<String `B'>\n") +
           para("row1", kPlainFont + "\t<String `C'>\n"),
       {{"row", "\t<PgfAlignment Left>\n"}, {"row1", "\t<PgfAlignment Center>\n"}}},
      // A field ending inside a scan: its line is written with the next one.
      // A page end that is the last byte of a field ends the line.
      {dca::document(dca::textUnit("000001", ebc("AB")) +
                     dca::textUnit("000002", ebc("CD") + Bytes{ctl::CRE}) +
                     dca::textUnit("000003", ebc("EF") + Bytes{ctl::PE})),
       para("block pgf", kPlainFont + "\t<String `ABCD " + kLineEnd) +
           para("block pgf", kPlainFont + "\t<String `EF'>\n")},
      // A first line of 314 characters over two fields with an emphasis inside,
      // then a line of 600 characters ending in three escaped ones.
      {dca::document(dca::textUnitName("000001") + dca::bodyText(ebc(a + "it's" + a)) +
                     dca::bodyText(ebc(b) + dca::beginEmphasis() + ebc("C") + Bytes{ctl::CRE} +
                                   ebc("D" + e + ">\\`") + Bytes{ctl::RCR})),
       para("block pgf", kPlainFont + "\t<String `" + a + "it\\xD5 s" + a + b +
                             "'>\n\t<Font <FBold Yes>>\n\t<String `C " + kLineEnd + "\t<String `D" +
                             e + "\\>\\\\\\xD4 '>\n")},
      // Without line parameters the master font is never bound: the text takes
      // the default font's tables, leading blanks have no width (a block
      // paragraph) and the first character names the font whole.
      {dca::formatUnit1() +
           dca::formatUnit2(dca::pageImageParams(12240, 15840, 1440, 14400) +
                            dca::tabParams(1, {{0, 2880}})) +
           dca::textUnit("000001",
                         ebc("  Hi") + Bytes{ctl::CRE} + dca::returnToMasterFont() + ebc("!")) +
           dca::endUnit(),
       para("block pgf",
            "\t<Font <FFamily `Courier'> <FSize 12.000pt> <FPlain Yes>>\n"
            "\t<String `  Hi " +
                kLineEnd + "\t<String `!'>\n")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.body.substr(0, 60));
    const auto r = vtest::convert(c.input);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(vtest::body(r.out), c.body);
    for (const auto& [tag, part] : c.formats)
      EXPECT_THAT(vtest::pgfEntry(r.out, tag), testing::HasSubstr(part));
  }
}

}  // namespace
