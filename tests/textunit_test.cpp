// Body text through the whole program: paragraph kinds chosen from the first
// line, single-byte controls in both passes, script shifts, scans that run
// across body text fields, and a master format without line parameters.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/body_text.h"

namespace {

using dca::Bytes;
using dca::operator+;
using vtest::kPlainFont;
using vtest::para;
namespace ctl = dca::ctl;

// Text in EBCDIC where '|' is a carrier return, '~' a required carrier
// return, '^' an indent tab and '\t' a horizontal tab.
Bytes text(const std::string& latin1) {
  Bytes bytes = dca::ebc(latin1);
  const std::string marks = "|~^\t";
  const Bytes codes = {ctl::CRE, ctl::RCR, ctl::IT, ctl::HT};
  for (std::size_t i = 0; i < latin1.size(); ++i)
    if (const auto at = marks.find(latin1[i]); at != std::string::npos) bytes[i] = codes[at];
  return bytes;
}

struct Case {
  Bytes input;
  std::string body;
  // Tags with a part of their catalog entry.
  std::vector<std::pair<std::string, std::string>> formats = {};
  std::string err = "";
};

TEST(BodyText, ParagraphKindsLineEndsScriptsAndScans) {
  // A string statement, one that ends its line, a paragraph whose first
  // character is in the master font, and a document of one unit.
  const auto str = [](const std::string& t) { return "\t<String `" + t + "'>\n"; };
  const auto ended = [](const std::string& t) { return "\t<String `" + t + "'>\n\t><ParaLine\n"; };
  const auto plain = [](auto tag, auto lines) { return para(tag, kPlainFont + lines); };
  const auto unit = [](const Bytes& body) { return dca::document(dca::textUnit("000001", body)); };
  const std::string anywhere = "\t<PgfPlacement Anywhere>\n";
  const std::string hard = "\t<Char HardReturn>\n><ParaLine\n", x99(99, 'x'), y98(98, 'y');
  const Bytes silent = {ctl::PE, ctl::NUL, ctl::BS, ctl::UBS, ctl::WUS, ctl::NBS, ctl::ZICR};
  const Case cases[] = {
      // Line ends: a carrier return adds a blank unless it follows one or a
      // syllable hyphen.
      {unit(text("AB|CD") + Bytes{ctl::SHY} + text("|EF |GH~")),
       plain("block pgf", ended("AB ") + str("CD") + "\t<Char DiscHyphen>\n><ParaLine\n" +
                              ended("EF ") + str("GH"))},
      // A leading carrier return writes no blank; index writes a hard return
      // and is no line end, so the next carrier return still adds a blank;
      // after a blank the hard return absorbs the carrier returns that follow.
      {unit(text("|AB") + Bytes{ctl::INX} + text("|CD ") + Bytes{ctl::IRT} + text("||EF~")),
       para("block pgf", "><ParaLine\n" + kPlainFont + str("AB") + hard + ended(" ") + str("CD ") +
                             hard + str("EF"))},
      // Page end inside a field, null, backspaces and word underscore write
      // nothing; substitute writes three number signs; unknown codes warn. The
      // page end does not end the first line: the required carrier return does.
      {unit(text("A") + silent + Bytes{0x35, ctl::SUB, 0x01} + text("B~")),
       plain("row", str("A###B")),
       {},
       vtest::diagnostic(vtest::firstBodyByte() + 8, "Unknown single-byte control 0x35.") +
           vtest::diagnostic(vtest::firstBodyByte() + 10, "Unknown single-byte control 0x1.")},
      // A required page end places only the paragraph after it at a column top.
      {unit(text("AB") + Bytes{ctl::RPE} + text("CD~EF|")),
       plain("row", str("AB")) + plain("row1", str("CD")) + plain("block pgf", ended("EF ")),
       {{"row", anywhere}, {"row1", "\t<PgfPlacement ColumnTop>\n"}, {"block pgf", anywhere}}},
      // 100 bytes with the ending one make a line long, no row; a multi-byte
      // control counts as nothing.
      {unit(text(x99 + "~" + y98) + dca::mbc(0xD4, 0x62, dca::raw({0, 0})) + text("~")),
       plain("block pgf", str(x99)) + plain("row", str(y98))},
      // charWidth 7 points: two dropped blanks give 14 points; a leading tab
      // moves to the first stop (2 inches) and a blank adds 7/72 inch.
      {unit(text("  A B| C~\t X|")),
       plain("pgf", ended("A B ") + str(" C")) + plain("pgf1", ended("X ")),
       {{"pgf", "\t<PgfLIndent 0.000\">\n\t<PgfFIndent 14.000pt>\n"},
        {"pgf1", "\t<PgfLIndent 0.000\">\n\t<PgfFIndent 2.097\">\n"}}},
      // Indent tabs at the stops of the standard format (2, 3, ... 7 inches);
      // a row writes every indent tab.
      {unit(text("^^^AB|CD~1.^Text|^more~^a^b|~^a^b~")),
       plain("indented pgf", ended("AB ") + str("CD")) +
           plain("hanging pgf", ended("1.\\tText ") + str("more")) +
           plain("hanging pgf1", ended("a\\tb ")) +
           para("row", str("\\t") + kPlainFont + str("a\\tb")),
       {{"indented pgf", "\t<PgfLIndent 4.000\">\n\t<PgfFIndent 4.000\">\n"},
        {"hanging pgf", "\t<PgfLIndent 2.000\">\n\t<PgfFIndent 0.000\">\n"},
        {"hanging pgf", "\t<PgfNumTabs 1>\n"},
        {"hanging pgf", "\t<TabStop\n\t\t<TSX 2.000\">\n\t\t<TSType Left>\n\t>\n>\n"},
        {"hanging pgf1", "\t<PgfLIndent 3.000\">\n\t<PgfFIndent 2.000\">\n"}}},
      // Courier 12 points: half the size up, then back, then half down.
      {unit(Bytes{ctl::SPS} + text("A") + Bytes{ctl::SBS} + text("B") + Bytes{ctl::SBS} +
            text("C~")),
       para("row", "\t<Font <FPlain Yes> <FDY -6.000pt>>\n" + str("A") +
                       "\t<Font <FDY 0.000pt>>\n" + str("B") + "\t<Font <FDY 6.000pt>>\n" +
                       str("C"))},
      // A field ending inside a scan: its line is written with the next one.
      // A page end that is the last byte of a field ends the line.
      {dca::document(dca::textUnit("000001", text("AB")) + dca::textUnit("000002", text("CD|")) +
                     dca::textUnit("000003", text("EF") + Bytes{ctl::PE})),
       plain("block pgf", ended("ABCD ")) + plain("block pgf", str("EF"))},
      // Without line parameters the master font is never bound: the text takes
      // the default font's tables, leading blanks have no width (a block
      // paragraph) and the first character names the font whole.
      {dca::formatUnit1() +
           dca::formatUnit2(dca::pageImageParams(12240, 15840, 1440, 14400) +
                            dca::tabParams(1, {{0, 2880}})) +
           dca::textUnit("000001", text("  Hi|") + dca::returnToMasterFont() + text("!")) +
           dca::endUnit(),
       para("block pgf", "\t<Font <FFamily `Courier'> <FSize 12.000pt> <FPlain Yes>>\n" +
                             ended("  Hi ") + str("!"))},
  };
  for (const Case& c : cases) {
    const auto r = vtest::convert(c.input);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(vtest::body(r.out), c.body);
    for (const auto& [tag, part] : c.formats)
      EXPECT_THAT(vtest::pgfEntry(r.out, tag), testing::HasSubstr(part));
  }
}

}  // namespace
