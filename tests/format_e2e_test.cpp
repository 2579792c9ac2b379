// Format units through the whole program: page image, line and tab parameters
// turned into the document, page and paragraph format statements; margin
// texts; note format parameters in the document statement; operator
// messages.
#include <gtest/gtest.h>

#include <string>

#include "support/body_text.h"
#include "support/dca_builder.h"
#include "support/process.h"

namespace {

using dca::Bytes;
using dca::ebc;
using dca::operator+;
namespace ctl = dca::ctl;

// Format unit 1, format unit 2 with these members and margin texts, the
// units and the end unit.
Bytes withFormat(const Bytes& members, const Bytes& marginTexts, const Bytes& units = {}) {
  return dca::formatUnit1() + dca::formatUnit2(members, marginTexts) + units + dca::endUnit();
}

// One paragraph "AB" ended by a carrier return: a block paragraph.
Bytes oneParagraph() {
  return dca::textUnit("000001", ebc("AB") + Bytes{ctl::CRE});
}

const Bytes kStandardPage = dca::pageImageParams(12240, 15840, 1440, 14400);

// The output from the document statement up to the text flows.
std::string layout(const std::string& out) {
  const std::size_t from = out.find("<Document\n");
  const std::size_t to = out.find("<TextFlow\n");
  if (from == std::string::npos || to == std::string::npos) return "<missing>";
  return out.substr(from, to - from);
}

// Document statement with these fields, then both page statements; the
// master page carries `hfMargins` (a whole line or nothing) and both pages
// the text rectangle `bRect`.
std::string expectedLayout(const std::string& documentFields, const std::string& hfMargins,
                           const std::string& bRect) {
  auto rect = [&](int id) {
    return "\t<TextRect\n\t\t<ID " + std::to_string(id) + ">\n\t\t<Pen 15>\n\t\t<Fill 15>\n" +
           "\t\t<BRect " + bRect + ">\n\t>\n";
  };
  return "<Document\n <DBordersOn Yes>\n" + documentFields + ">\n" +
         "<Page\n\t<PageType MasterPage>\n\t<HeaderL `$1'>\n\t<FooterL `$2'>\n" + hfMargins +
         rect(1) + ">\n" + "<Page\n\t<PageType BodyPage>\n\t<PageBackground `Right'>\n" + rect(2) +
         ">\n";
}

const std::string kStandardDocument =
    "\t<DMargins 1.000\" 1.000\" 1.000\" 1.000\">\n\t<DPageSize 8.500\" 11.000\">\n";
const std::string kStandardRect = "1.000\" 1.000\" 6.500\" 9.000\"";

// The block paragraph's catalog with the master format of Line{}: indents
// moved into the page margins, Courier 12 (GFID 11 copies GFID 26), and
// these tab stop statements.
std::string blockCatalog(int numTabs, const std::string& tabStops) {
  return "<ParaCatalog\n<Pgf\n\t<PgfTag `block pgf'>\n\t<PgfLIndent 0.000\">\n"
         "\t<PgfFIndent 0.000\">\n\t<PgfRIndent 0.000\">\n\t<PgfAlignment Left>\n"
         "\t<PgfPlacement Anywhere>\n\t<PgfAutoNum No>\n\t<PgfNumTabs " +
         std::to_string(numTabs) +
         ">\n\t<PgfFont\n\t\t<FFamily `Courier'>\n\t\t<FSize 12.000pt>\n\t>\n" + tabStops +
         ">\n> # End ParaCatalog\n";
}

std::string tabStop(const std::string& x, const std::string& type, const std::string& extra = "") {
  return "\t<TabStop\n\t\t<TSX " + x + ">\n\t\t<TSType " + type + ">\n\t\t<TSLeader 32>\n" + extra +
         "\t>\n";
}

TEST(PageLayout, WithoutPageImageParametersTheTextRectangleHasOneInchMargins) {
  // No page size: the right indent is 0 - 7.5 in, which the margin minimum
  // of the document statement raises to 0.25 in. Top and bottom are 1 in,
  // yet no DMargins statement is written.
  const auto r = vtest::convert(withFormat(dca::lineParams(dca::Line{}), {}));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(layout(r.out), expectedLayout("", "", "1.000\" 1.000\" -1.250\" -2.000\""));
}

TEST(PageLayout, LineMarginsBecomePageMarginsTabsFollowTheLeftMarginOperatorMessagesWarn) {
  // Margins at 1 and 7.5 in on an 8.5 in page. Tabs in 1440ths of an inch,
  // plus the 1 in indent: 2, 3 and 11 in, the last pulled back to the page
  // width 8.5 in; then made relative to the 1 in left margin. The operator
  // message between them (the longest, 60 characters) leaves the output alone.
  const std::string message = "CHECK DISK 2" + std::string(48, '.');
  const Bytes before = kStandardPage + dca::lineParams(dca::Line{});
  const Bytes members = before + dca::operatorMessage(message) +
                        dca::tabParams(1, {{0, 1440}, {2, 2880}, {4, 14400}});
  const auto r = vtest::convert(withFormat(members, {}, oneParagraph()));
  EXPECT_EQ(r.status, 0);
  // Both lines name the read of the message text, after its introducer: past
  // format unit 1, format unit 2's prefix, the master format's introducer and
  // the members before it.
  const std::size_t text = dca::formatUnit1().size() + 10 + before.size() + 5;
  EXPECT_EQ(r.err,
            vtest::diagnostic(text, "Operator message is:") + vtest::diagnostic(text, message));
  EXPECT_EQ(layout(r.out), expectedLayout(kStandardDocument, "", kStandardRect));
  EXPECT_EQ(vtest::catalog(r.out),
            blockCatalog(3, tabStop("1.000\"", "Left") +
                                tabStop("2.000\"", "Decimal", "\t\t<TSDecimalChar 44>\n") +
                                tabStop("7.500\"", "Right")));
}

TEST(PageLayout, ColumnTabsAndMarginTexts) {
  // Character width 144/1440 in: 7 points a column. Column 11 is 70 pt plus
  // the 72 pt indent; column 200 (1393 + 72 pt) is pulled back to 612 pt;
  // both lose the 72 pt left margin.
  // The right margin at 7 in leaves 1.5 in, so the left and right page
  // margins differ.
  dca::Line line;
  line.right = 10080;
  const Bytes members =
      kStandardPage + dca::lineParams(line) + dca::tabParams(0, {{0, 11}, {3, 200}});
  // A top margin text at 0.5 in with the page number, and a bottom one at
  // 10 in from the top edge: 1 in above the bottom of an 11 in page.
  const Bytes marginTexts = dca::marginTextDecl(1, 720) +
                            dca::marginTextField(1, ebc("Page ") + dca::pageNumber()) +
                            dca::marginTextDecl(4, 14400) + dca::marginTextField(4, ebc("End"));
  const auto r = vtest::convert(withFormat(members, marginTexts, oneParagraph()));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(layout(r.out), expectedLayout("\t<DMargins 1.000\" 1.000\" 1.500\" 1.000\">\n"
                                          "\t<DPageSize 8.500\" 11.000\">\n\t<DTwoSides No>\n"
                                          "\t<DHeadOnFirst Yes>\n",
                                          "\t<HFMargins 1.000\" 0.500\" 1.500\" 1.000\">\n",
                                          "1.000\" 1.000\" 6.000\" 9.000\""));
  EXPECT_EQ(vtest::catalog(r.out),
            blockCatalog(2, tabStop("70.000pt", "Left") + tabStop("540.000pt", "Center")));
  EXPECT_EQ(vtest::body(r.out),
            vtest::para("block pgf",
                        "\t<Marker\n\t\t<MType 0>\n\t\t<MText `Page #'>\n\t>"
                        "\t<Marker\n\t\t<MType 1>\n\t\t<MText `End'>\n\t>" +
                            vtest::kPlainFont + "\t<String `AB '>\n\t><ParaLine\n"));
}

TEST(NoteFormat, AttributesStringsAndReferenceIdTypesReachTheDocumentStatement) {
  // The parameters' data: after format unit 1, format unit 2's prefix, the
  // master format's introducer, its members and the note format introducer.
  const std::size_t data = dca::formatUnit1().size() + 10 + dca::standardMembers().size() + 5;
  const struct {
    Bytes sips;
    std::string err, fields;
  } cases[] = {
      // Reset status 1, height 24/12 in; type 4 with empty labels; the ID
      // prologue is the number's suffix and the epilogue its prefix; a
      // superscript control places the anchor.
      {dca::sip(7, Bytes{1, 0} + dca::be16(24)) + dca::sip(22, {4}) + dca::sip(16, ebc("a")) +
           dca::sip(17, ebc("b") + Bytes{ctl::HT} + ebc("c")) + dca::sip(19, {ctl::SPS}) +
           dca::sip(20, Bytes{ctl::SP, ctl::RHY} + ebc("x")),
       "",
       "\t<DFNoteMaxH 2.000\">\n\t<DFNoteNumStyle Custom>\n"
       "\t<DFNoteLabels `'>\n\t<DFNoteRestart PerFlow>\n"
       "\t<DFNoteAnchorPrefix `'>\n\t<DFNoteAnchorSuffix ` -x'>\n"
       "\t<DFNoteNumberPrefix `b\\tc'>\n\t<DFNoteNumberSuffix `a'>\n"
       "\t<DFNoteAnchorPos FNSuperscript>\n"},
      // Reset status 3 warns but the height (3/12 in, below 0.3 in: 8 in)
      // still counts; type 3 is lower case; a type of 9 warns and changes
      // nothing; a subscript control places the number.
      {dca::sip(7, Bytes{3, 0} + dca::be16(3)) + dca::sip(22, {3}) + dca::sip(23, ebc("xyz")) +
           dca::sip(22, {9}) + dca::sip(16, Bytes{ctl::SBS} + ebc("n")),
       vtest::diagnostic(data + 2, "Illegal value for Reset Status, skipping") +
           vtest::diagnostic(data + 16, "Illegal value for Reference ID Type, skipping."),
       "\t<DFNoteMaxH 8.000\">\n\t<DFNoteNumStyle LCAlpha>\n"
       "\t<DFNoteLabels `xyz'>\n\t<DFNoteNumberSuffix `n'>\n"
       "\t<DFNoteNumberPos FNSubscript>\n"},
  };
  for (const auto& c : cases) {
    const auto r =
        vtest::convert(withFormat(dca::standardMembers() + dca::noteFormatParams(c.sips), {}));
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(layout(r.out), expectedLayout(kStandardDocument + c.fields, "", kStandardRect));
  }
}

}  // namespace
