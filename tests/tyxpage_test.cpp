// The HTML page of tyx2html: tab stops laid out as boxes, fonts as spans,
// footnotes numbered and linked both ways, characters through the chosen
// character set, the page frame; the golden pages of the examples; the program.
#include "tyx2html/page.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/process.h"

namespace tyx2html {
namespace {

struct Page {
  std::string html;
  std::string body;  // what stands inside the page box
  std::string diagnostics;
};

Page render(const std::string& tyx, Charset charset = Charset::Latin1) {
  std::string input = tyx;
  std::FILE* in = fmemopen(input.data(), input.size(), "r");
  char* buffer = nullptr;
  std::size_t size = 0;
  std::FILE* out = open_memstream(&buffer, &size);
  Page page;
  const Report report = [&](Severity, long line, std::string_view message) {
    page.diagnostics += std::to_string(line) + ":" + std::string(message) + "\n";
  };
  Reader reader(in, report);
  PageOptions options;
  options.charset = charset;
  options.title = "t";
  EXPECT_TRUE(renderPage(reader, out, options, report));
  std::fclose(out);
  std::fclose(in);
  page.html.assign(buffer, size);
  std::free(buffer);
  const std::string open = "<div class=\"page\">\n";
  const std::size_t from = page.html.find(open) + open.size();
  page.body = page.html.substr(from, page.html.rfind("</div>\n</body>") - from);
  return page;
}

// A catalog with one format "t": Courier 12 (7.2 points a character), first
// line at 18 points, tab stops at 72 (left), 216 (right), 288 (center), 360
// (decimal comma) and 432 points (left, dot leader).
const std::string kCatalog = R"(<TYXFile 2.00>
<ParaCatalog
<Pgf <PgfTag `t'> <PgfFIndent 18pt> <PgfFont <FFamily `Courier'> <FSize 12pt>>
 <TabStop <TSX 1"> <TSType Left>> <TabStop <TSX 3"> <TSType Right>>
 <TabStop <TSX 4"> <TSType Center>> <TabStop <TSX 5"> <TSType Decimal> <TSDecimalChar 44>>
 <TabStop <TSX 6"> <TSType Left> <TSLeader 46>>>
<Pgf <PgfTag `b'> <PgfPlacement PageTop> <PgfFont <FBold Yes>>>
>
)";

std::string para(const std::string& lines, const std::string& tag = "t") {
  return "<Para <PgfTag `" + tag + "'> <ParaLine " + lines + ">>\n";
}

std::string body(const std::string& paragraphs) {
  return render(kCatalog + "<TextFlow\n" + paragraphs + ">\n").body;
}

TEST(TyxPage, TabStops) {
  const struct {
    std::string lines, html;
  } cases[] = {
      // A left stop: the text before it in a box that reaches it.
      {"<String `ab\\tcd'>", R"(<span class="tb" style="min-width:54pt">ab	</span>cd)"},
      // Text already past a stop goes on to the next one (16 characters reach
      // 133 points): the right stop at 216, text anchored there.
      {"<String `abcdefghijklmnop\\tx'>",
       R"(<span class="tb" style="min-width:198pt">abcdefghijklmnop	</span>)"
       R"(<span class="ar"><span>x</span></span>)"},
      // Centre and decimal stops; the decimal text split at the comma.
      {"<String `\\t\\t\\tc\\t12,50'>",
       R"(<span class="tb" style="min-width:54pt">	</span>)"
       R"(<span class="tb" style="min-width:144pt">	</span>)"
       R"(<span class="tb" style="min-width:72pt">	</span><span class="ac"><span>c</span></span>)"
       R"(<span class="tb" style="min-width:72pt">	</span><span class="ar"><span>12</span></span>)"
       R"(<span class="al"><span>,50</span></span>)"},
      // Each tab goes on to the next stop; a leader fills the way to its stop;
      // past the last stop a tab is a small gap.
      {"<String `\\t\\t\\t\\t\\tx\\ty'>",
       R"(<span class="tb" style="min-width:54pt">	</span>)"
       R"(<span class="tb" style="min-width:144pt">	</span>)"
       R"(<span class="tb" style="min-width:72pt">	</span>)"
       R"(<span class="tb" style="min-width:72pt">	</span>)"
       R"(<span class="tb tl" style="min-width:72pt"><span></span><span class="ld l46"></span>	</span>x)"
       R"(<span class="tg">	</span>y)"},
      // A later line with a tab starts a line of its own at the left indent; one
      // without a tab runs on.
      {"<String `a '> ><ParaLine <String `b '> ><ParaLine <String `c\\td'>",
       R"(a b <br class="lb"><span class="tb" style="min-width:72pt">c	</span>d)"},
      {"<String `a'> <Char HardReturn> ><ParaLine <String `\\tb'>",
       R"(a<br><span class="tb" style="min-width:72pt">	</span>b)"},
      {"<Char Tab> <Char 9> <String `x'>",
       R"(<span class="tb" style="min-width:54pt">	</span>)"
       R"(<span class="tb" style="min-width:144pt">	</span><span class="ar"><span>x</span></span>)"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(body(para(c.lines)), "<p class=\"g0\">" + c.html + "</p>\n") << c.lines;
  }
}

TEST(TyxPage, FontsAndParagraphs) {
  const struct {
    std::string paragraph, html;
  } cases[] = {
      {para("<String `a'> <Font <FBold Yes>> <String `b'> <Font <FPlain Yes>> <String `c'>"),
       R"(<p class="g0">a<span class="b">b</span>c</p>)"},
      {para("<Font <FFamily `Helvetica'> <FSize 9pt> <FDY 6pt>> <String `x'>"),
       R"(<p class="g0"><span style="font-family:Helvetica,Arial,'Liberation Sans',)"
       R"('DejaVu Sans',sans-serif;font-size:9pt;vertical-align:-6pt">x</span></p>)"},
      {para("<Font <FUnderline Yes> <FStrike Yes> <FSupScript Yes>> <String `u'>"
            " <Font <FUnderline Double> <FStrike No> <FSupScript No> <FChangeBar Yes>>"
            " <String `v'>"),
       R"(<p class="g0"><span class="d5 sup">u</span><span class="d2 cb">v</span></p>)"},
      // A bold paragraph font: plain text is set back to normal weight.
      {para("<String `b'> <Font <FPlain Yes>> <String `p'>", "b"),
       R"(<p class="g1 ct">b<span class="nb">p</span></p>)"},
      {para("", "b"), R"(<p class="g1 ct"></p>)"},
  };
  for (const auto& c : cases) EXPECT_EQ(body(c.paragraph), c.html + "\n") << c.paragraph;
  const std::string html = render(kCatalog).html;
  EXPECT_NE(html.find(".g0{font-family:'Courier New',Courier,'Liberation Mono','DejaVu Sans "
                      "Mono',monospace;font-size:12pt;text-indent:18pt}"),
            std::string::npos);
  EXPECT_NE(html.find(".g1{font-weight:bold}"), std::string::npos);
}

TEST(TyxPage, FontStacks) {
  const struct {
    std::string_view family;
    bool mono;
    std::string_view first;
  } cases[] = {{"Courier", true, "'Courier New'"},   {"Letter Gothic", true, "'Courier New'"},
               {"Times Roman", false, "'Times New"}, {"Helvetica", false, "Helvetica"},
               {"Sans Serif", false, "Helvetica"},   {"Zapf<x>", false, "'Zapfx',"}};
  for (const auto& c : cases) {
    const FontStack stack = fontStack(c.family);
    EXPECT_EQ(stack.monospace, c.mono) << c.family;
    EXPECT_EQ(stack.css.rfind(c.first, 0), 0u) << c.family << ": " << stack.css;
  }
}

TEST(TyxPage, FootnotesAreNumberedAndLinkedBothWays) {
  const std::string tyx = kCatalog +
                          "<TextFlow <Notes"
                          " <FNote <ID 5> <Para <PgfTag `t'> <ParaLine <String `five'>>>>"
                          " <FNote <ID 9> <Para <PgfTag `t'> <ParaLine <String `nine'>>>>"
                          " <FNote <ID 11> <Para <PgfTag `t'> <ParaLine <String `x'>>>>>\n" +
                          para("<FNote 9> <String `a'> <FNote 5> <FNote 9> <FNote 4>") + ">";
  const Page page = render(tyx);
  EXPECT_EQ(page.body,
            R"(<p class="g0"><sup class="fn"><a href="#fn-1" id="fnref-1">1</a></sup>a)"
            R"(<sup class="fn"><a href="#fn-2" id="fnref-2">2</a></sup>)"
            R"(<sup class="fn"><a href="#fn-1" id="fnref-1-2">1</a></sup>)"
            R"(<sup class="fn"><a href="#fn-3" id="fnref-3">3</a></sup></p>)"
            "\n<section class=\"notes\">\n<ol>\n"
            R"(<li id="fn-1" value="1" data-id="9"><p class="g0">nine)"
            R"(<a class="back" href="#fnref-1"> ↩</a></p></li>)"
            "\n"
            R"(<li id="fn-2" value="2" data-id="5"><p class="g0">five)"
            R"(<a class="back" href="#fnref-2"> ↩</a></p></li>)"
            "\n"
            R"(<li id="fn-3" value="3" data-id="4"><a class="back" href="#fnref-3"> ↩</a></li>)"
            "\n"
            R"(<li id="fn-4" value="4" data-id="11"><p class="g0">x</p>)"
            "\n</li>\n</ol>\n</section>\n");
  EXPECT_EQ(page.diagnostics, "0:footnote 4 is referred to but has no text\n");

  // References inside a note to notes not seen yet, many of them, while the
  // note's own text is being written.
  std::string refs;
  for (int id = 2; id < 60; ++id) refs += "<FNote " + std::to_string(id) + ">";
  const Page nested = render(kCatalog + "<TextFlow <Notes <FNote <ID 1> <Para <ParaLine " + refs +
                             "<String `end'>>>>>" + para("<FNote 1>") + ">");
  EXPECT_NE(nested.body.find(R"(<a href="#fn-58" id="fnref-58">58</a></sup>end)"),
            std::string::npos);
  EXPECT_NE(nested.body.find(R"(<li id="fn-59" value="59" data-id="1"><p class="g">)"),
            std::string::npos);
}

TEST(TyxPage, CharactersThroughTheCharacterSet) {
  const std::string chars = para(
      "<String `<&>\"'> <Char 233> <Char 130> <Char 1> <Char 127> <Char HardSpace>"
      " <Char DiscHyphen> <Char NumberSpace> <Char NoHyphen> <Char 60>");
  const std::string tyx = kCatalog + "<TextFlow " + chars + ">";
  const struct {
    Charset set;
    std::string text;
  } cases[] = {
      {Charset::Latin1, "&lt;&amp;&gt;\"é\uFFFD\u2401\u2421\u00A0\u00AD\u2007&lt;"},
      {Charset::Cp437, "&lt;&amp;&gt;\"Θé\u2401\u2421\u00A0\u00AD\u2007&lt;"},
      {Charset::Cp850, "&lt;&amp;&gt;\"Úé\u2401\u2421\u00A0\u00AD\u2007&lt;"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(render(tyx, c.set).body, "<p class=\"g0\">" + c.text + "</p>\n");
  }
  Charset set;
  EXPECT_TRUE(charsetByName("CP850", &set));
  EXPECT_EQ(set, Charset::Cp850);
  EXPECT_TRUE(charsetByName("iso-8859-1", &set));
  EXPECT_FALSE(charsetByName("ebcdic", &set));
}

TEST(TyxPage, PageFrameHeaderAndFooter) {
  const std::string tyx =
      "<TYXFile 2.00>\n<Document <DMargins 1\" 0.5\" 2\" 1\"> <DPageSize 8\" 10\">>\n"
      "<Page <PageType MasterPage> <HeaderR `$1 \\xD4 x'> <FooterC `p. $2'>"
      " <HFMargins 0.25\" 0.3\" 0.5\" 0.4\">>\n<TextFlow <Para <ParaLine"
      " <Marker <MType 1> <MText `#'>> <Marker <MType 0> <MText `A<b'>> <Marker <MType 0>"
      " <MText `later'>>>>>";
  const Page page = render(tyx);
  EXPECT_NE(page.html.find("width:576pt;min-height:720pt;padding:36pt 144pt 72pt 72pt}"),
            std::string::npos);
  EXPECT_NE(page.html.find("@page{size:576pt 720pt;margin:36pt 144pt 72pt 72pt}"),
            std::string::npos);
  EXPECT_NE(page.html.find(".hd{top:21.6pt;left:18pt;right:36pt}"
                           ".ft{bottom:28.8pt;left:18pt;right:36pt}"),
            std::string::npos);
  EXPECT_EQ(page.body, R"(<p class="g"><a class="mk" id="mk-1" data-type="1" title="#"></a>)"
                       R"(<a class="mk" id="mk-2" data-type="0" title="A&lt;b"></a>)"
                       R"(<a class="mk" id="mk-3" data-type="0" title="later"></a></p>)"
                       "\n"
                       R"(<div class="hf hd"><span class="l">)"
                       R"(</span><span class="c"></span><span class="r">A&lt;b `x</span></div>)"
                       "\n"
                       R"(<div class="hf ft"><span class="l">)"
                       R"(</span><span class="c">p. #</span><span class="r"></span></div>)"
                       "\n");
}

TEST(TyxPage, GoldenPagesOfTheExamples) {
  for (const char* name : {"letter", "memo", "report"}) {
    SCOPED_TRACE(name);
    const std::string base = std::string(VANTROVE_SOURCE_DIR) + "/examples/" + name;
    const auto r = vtest::runProgram(TYX2HTML_BIN, {base + ".tyx"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    const std::string golden = vtest::readFile(base + ".html");
    EXPECT_EQ(r.out, golden) << "examples/" << name << ".html is out of date";
  }
}

TEST(TyxPage, Program) {
  const std::string letter = std::string(VANTROVE_SOURCE_DIR) + "/examples/letter.tyx";
  const std::string cut = vtest::readFile(letter).substr(0, 3000);
  const struct {
    std::vector<std::string> args;
    std::string input;
    int status;
    bool page;  // a page is written, even after an error in the document
    std::string err;
  } cases[] = {
      {{"-V"}, "", 0, false, "tyx2html: version 4.0.1\n"},
      {{"-h"}, "", 1, false, "usage:\ttyx2html -V"},
      {{"-x"}, "", 1, false, "usage:"},
      {{"a", "b", "c"}, "", 1, false, "usage:"},
      {{"--charset=ebcdic"}, "", 1, false, "tyx2html: unknown character set \"ebcdic\""},
      {{"/nonexistent/x.tyx"}, "", 1, false, "tyx2html: cannot open /nonexistent/x.tyx: "},
      {{"--charset", "cp437", letter}, "", 0, true, ""},
      {{"-c", "cp850"},
       cut,
       1,
       true,
       "tyx2html: line 199: the input ends inside 4 open statement(s)"},
      {{}, "<TYXFile 2.00><Odd>", 0, true, "tyx2html: line 1: warning: unknown statement <Odd>"},
  };
  for (const auto& c : cases) {
    const auto r = vtest::runProgram(TYX2HTML_BIN, c.args, {c.input.begin(), c.input.end()});
    SCOPED_TRACE(c.args.empty() ? c.input.substr(0, 20) : c.args[0]);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.err.substr(0, c.err.size()), c.err) << r.err;
    EXPECT_EQ(r.out.find("</html>\n") != std::string::npos, c.page);
  }
  // With two operands the page goes to the file named second.
  const std::string out = vtest::tmpDir() + "/letter.html";
  const auto r = vtest::runProgram(TYX2HTML_BIN, {letter, out});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(vtest::readFile(out).find("<title>letter.tyx</title>"), std::string::npos);
}

}  // namespace
}  // namespace tyx2html
