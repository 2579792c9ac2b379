// End-to-end cases: every file tests/cases/*.case is one run of the program,
// with its input written in the DCA builder's notation and the results the run
// must give. tests/cases/README.md describes the format; each case is a test
// of its own, "Cases.<file name>" (names use underscores: a hyphen would
// start the negative part of a test filter).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/dca_builder.h"
#include "support/process.h"
#include "support/wellformed.h"

namespace {

namespace fs = std::filesystem;
using dca::Bytes;
using dca::operator+;

// ---------------------------------------------------------------- input notation

// The arguments of one of the builder's functions, as its signature asks.
struct Args {
  std::vector<unsigned> numbers;  // numbers and codes, in order
  std::vector<Bytes> groups;
  std::string word;  // a name or a text
  std::map<std::string, unsigned> options;
  mutable std::vector<std::string> read;  // the options asked for

  unsigned n(std::size_t i) const { return numbers.at(i); }
  const Bytes& g(std::size_t i) const { return groups.at(i); }
  unsigned opt(const std::string& key, unsigned otherwise) const {
    read.push_back(key);
    return options.contains(key) ? options.at(key) : otherwise;
  }
};

dca::Line line(const Args& a) {
  const dca::Line d;
  return {.gfid = std::uint16_t(a.opt("gfid", d.gfid)),
          .charWidth = std::uint16_t(a.opt("charWidth", d.charWidth)),
          .cgcsid = std::uint16_t(a.opt("cgcsid", d.cgcsid)),
          .cpid = std::uint16_t(a.opt("cpid", d.cpid)),
          .left = std::uint16_t(a.opt("left", d.left)),
          .right = std::uint16_t(a.opt("right", d.right)),
          .align = std::uint8_t(a.opt("align", d.align)),
          .autoNum = std::uint8_t(a.opt("autoNum", d.autoNum))};
}

// The builder's functions (support/dca_builder.h) by name. A signature lists
// the arguments: n a number, c a code, w a name, t a quoted text, g a group,
// G a group that may be left out, o name=number options.
struct Word {
  std::string_view name, signature;
  Bytes (*make)(const Args&);
};
using A = const Args&;
constexpr Word kWords[] = {
    {"be16", "n", [](A a) { return dca::be16(a.n(0)); }},
    {"repeat", "ng",
     [](A a) {
       Bytes all;
       for (unsigned i = 0; i < a.n(0); ++i) all.insert(all.end(), a.g(0).begin(), a.g(0).end());
       return all;
     }},
    {"field", "cccG", [](A a) { return dca::field(a.n(0), a.n(1), a.g(0), a.n(2)); }},
    {"sip", "ng", [](A a) { return dca::sip(a.n(0), a.g(0)); }},
    {"mbc", "ccG", [](A a) { return dca::mbc(a.n(0), a.n(1), a.g(0)); }},
    {"beginEmphasis", "", [](A) { return dca::beginEmphasis(); }},
    {"endEmphasis", "", [](A) { return dca::endEmphasis(); }},
    {"setGfid", "n", [](A a) { return dca::setGfid(a.n(0)); }},
    {"escapedGraphic", "c", [](A a) { return dca::escapedGraphic(a.n(0)); }},
    {"beginUnderscore", "", [](A) { return dca::beginUnderscore(); }},
    {"endUnderscore", "", [](A) { return dca::endUnderscore(); }},
    {"returnToMasterFont", "", [](A) { return dca::returnToMasterFont(); }},
    {"printTextUnitName", "", [](A) { return dca::printTextUnitName(); }},
    {"displayPrompt", "g", [](A a) { return dca::displayPrompt(a.g(0)); }},
    {"setTabs", "ng", [](A a) { return dca::setTabs(dca::tabData(a.n(0), a.g(0))); }},
    {"returnToMasterLine", "", [](A) { return dca::returnToMasterLine(); }},
    {"alignTextLine", "n", [](A a) { return dca::alignTextLine(a.n(0)); }},
    {"alignTextField", "no",
     [](A a) {
       const unsigned column = a.opt("column", 0);
       return column ? dca::alignTextField(a.n(0), column) : dca::alignTextField(a.n(0));
     }},
    {"noteReference", "w", [](A a) { return dca::noteReference(a.word); }},
    {"noteEcho", "n", [](A a) { return dca::noteEcho(a.n(0)); }},
    {"pageNumber", "", [](A) { return dca::pageNumber(); }},
    {"formatUnitPrefix", "", [](A) { return dca::formatUnitPrefix(); }},
    {"documentParams", "o",
     [](A a) {
       return dca::documentParams(a.opt("cgcsid", 697), a.opt("cpid", 37), a.opt("length", 27));
     }},
    {"pageImageParams", "nnnn",
     [](A a) { return dca::pageImageParams(a.n(0), a.n(1), a.n(2), a.n(3)); }},
    {"lineData", "o", [](A a) { return dca::lineData(line(a)); }},
    {"lineParams", "o", [](A a) { return dca::lineParams(line(a)); }},
    {"tab", "nn", [](A a) { return dca::tab(a.n(0), a.n(1)); }},
    {"tabData", "ng", [](A a) { return dca::tabData(a.n(0), a.g(0)); }},
    {"tabParams", "ng", [](A a) { return dca::tabParams(a.n(0), a.g(0)); }},
    {"operatorMessage", "t", [](A a) { return dca::operatorMessage(a.word); }},
    {"noteFormatParams", "g", [](A a) { return dca::noteFormatParams(a.g(0)); }},
    {"masterFormat", "ng", [](A a) { return dca::masterFormat(a.n(0), a.g(0)); }},
    {"marginTextDecl", "nno",
     [](A a) { return dca::marginTextDecl(a.n(0), a.n(1), a.opt("firstPage", 0)); }},
    {"marginTextField", "ng", [](A a) { return dca::marginTextField(a.n(0), a.g(0)); }},
    {"textUnitName", "w", [](A a) { return dca::textUnitName(a.word); }},
    {"establishMaster", "n", [](A a) { return dca::establishMaster(a.n(0)); }},
    {"returnToMaster", "", [](A) { return dca::returnToMaster(); }},
    {"formatChange", "g", [](A a) { return dca::formatChange(a.g(0)); }},
    {"bodyText", "g", [](A a) { return dca::bodyText(a.g(0)); }},
    {"endUnit", "", [](A) { return dca::endUnit(); }},
    {"formatUnit1", "", [](A) { return dca::formatUnit1(); }},
    {"formatUnit2", "gG", [](A a) { return dca::formatUnit2(a.g(0), a.g(1)); }},
    {"standardMembers", "", [](A) { return dca::standardMembers(); }},
    {"standardFormat", "", [](A) { return dca::standardFormat(); }},
    {"textUnit", "wg", [](A a) { return dca::textUnit(a.word, a.g(0)); }},
    {"document", "g", [](A a) { return dca::document(a.g(0)); }},
};

struct Control {
  std::string_view name;
  std::uint8_t code;
};
namespace ctl = dca::ctl;
constexpr Control kControls[] = {
    {"NUL", ctl::NUL},   {"HT", ctl::HT},   {"RCR", ctl::RCR}, {"SPS", ctl::SPS}, {"PE", ctl::PE},
    {"ZICR", ctl::ZICR}, {"CRE", ctl::CRE}, {"BS", ctl::BS},   {"UBS", ctl::UBS}, {"WUS", ctl::WUS},
    {"INX", ctl::INX},   {"IRT", ctl::IRT}, {"NBS", ctl::NBS}, {"SBS", ctl::SBS}, {"IT", ctl::IT},
    {"RPE", ctl::RPE},   {"SUB", ctl::SUB}, {"SP", ctl::SP},   {"RSP", ctl::RSP}, {"RHY", ctl::RHY},
    {"SHY", ctl::SHY},   {"NSP", ctl::NSP},
};

// Turns the notation into bytes: a sequence of items, each a quoted text (in
// EBCDIC; \" \\ and \xHH inside stand for a quote, a backslash and a Latin-1
// code), bytes in hexadecimal between angle brackets (<2B D4 02 63>), the
// name of a single-byte control (CRE, RCR, ...) or one of the words above
// with its arguments. # starts a comment.
class Notation {
 public:
  explicit Notation(std::string_view text) : text_(text) {}

  Bytes all() {
    Bytes bytes = items();
    if (!next().empty()) fail("\"}\" without its \"{\"");
    return bytes;
  }

 private:
  Bytes items() {
    Bytes bytes;
    for (std::string word = peek(); !word.empty() && word != "}"; word = peek()) {
      next();
      const auto control = std::find_if(std::begin(kControls), std::end(kControls),
                                        [&](const Control& c) { return c.name == word; });
      const auto function = std::find_if(std::begin(kWords), std::end(kWords),
                                         [&](const Word& w) { return w.name == word; });
      if (word.front() == '"') {
        bytes = bytes + dca::ebc(unquote(word));
      } else if (word.front() == '<') {
        std::istringstream digits(word.substr(1, word.size() - 2));
        for (std::string hex; digits >> hex;) bytes.push_back(code(hex));
      } else if (control != std::end(kControls)) {
        bytes.push_back(control->code);
      } else if (function != std::end(kWords)) {
        bytes = bytes + call(*function);
      } else {
        fail("unknown word " + word);
      }
    }
    return bytes;
  }

  Bytes call(const Word& function) {
    Args a;
    for (const char kind : function.signature) {
      if (kind == 'g' || (kind == 'G' && peek() == "{")) {
        if (next() != "{") fail(std::string(function.name) + ": expected {");
        a.groups.push_back(items());
        if (next() != "}") fail(std::string(function.name) + ": expected }");
      } else if (kind == 'G') {
        a.groups.emplace_back();
      } else if (kind == 'o') {
        for (std::string word = peek(); word.find('=') != std::string::npos; word = peek()) {
          next();
          a.options[word.substr(0, word.find('='))] = number(word.substr(word.find('=') + 1));
        }
      } else {
        const std::string word = next();
        if (word.empty() || word == "{" || word == "}")
          fail(std::string(function.name) + ": an argument is missing");
        if (kind == 'n') a.numbers.push_back(number(word));
        if (kind == 'c') a.numbers.push_back(code(word));
        if (kind == 'w') a.word = word;
        if (kind == 't') a.word = word.front() == '"' ? unquote(word) : fail("not a text: " + word);
      }
    }
    Bytes bytes = function.make(a);
    for (const auto& [key, value] : a.options)
      if (std::find(a.read.begin(), a.read.end(), key) == a.read.end())
        fail(std::string(function.name) + ": unknown option " + key);
    return bytes;
  }

  // The next token ("" at the end): a brace, a quoted text or bytes in angle
  // brackets with their delimiters, or a word.
  std::string next() {
    for (;;) {
      while (at_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[at_]))) ++at_;
      if (at_ == text_.size() || text_[at_] != '#') break;
      while (at_ < text_.size() && text_[at_] != '\n') ++at_;
    }
    const std::size_t start = at_;
    if (at_ == text_.size()) return "";
    const char first = text_[at_++];
    if (first == '"') {
      while (at_ < text_.size() && text_[at_] != '"') at_ += text_[at_] == '\\' ? 2 : 1;
      if (at_++ >= text_.size()) fail("quoted text not closed");
    } else if (first == '<') {
      at_ = text_.find('>', at_);
      if (at_++ == std::string_view::npos) fail("bytes not closed by >");
    } else if (first != '{' && first != '}') {
      while (at_ < text_.size() && !std::isspace(static_cast<unsigned char>(text_[at_])) &&
             text_[at_] != '{' && text_[at_] != '}')
        ++at_;
    }
    return std::string(text_.substr(start, at_ - start));
  }

  std::string peek() {
    const std::size_t start = at_;
    std::string word = next();
    at_ = start;
    return word;
  }

  unsigned number(const std::string& word) const {
    std::size_t used = 0;
    unsigned long value = 0;
    try {
      value = std::stoul(word, &used, word.starts_with("0x") ? 16 : 10);
    } catch (const std::exception&) {
    }
    if (used == 0 || used != word.size() || value > 0xFFFFFFFF) fail("not a number: " + word);
    return static_cast<unsigned>(value);
  }

  std::uint8_t code(const std::string& word) const {
    if (word.size() != 2 || !std::isxdigit(word[0]) || !std::isxdigit(word[1]))
      fail("not a code of two hexadecimal digits: " + word);
    return static_cast<std::uint8_t>(std::stoul(word, nullptr, 16));
  }

  std::string unquote(const std::string& quoted) const {
    std::string text;
    for (std::size_t i = 1; i + 1 < quoted.size(); ++i) {
      if (quoted[i] == '\\' && quoted[i + 1] == 'x') {
        text += static_cast<char>(code(quoted.substr(i + 2, 2)));
        i += 3;
      } else {
        text += quoted[i += quoted[i] == '\\'];
      }
    }
    return text;
  }

  [[noreturn]] std::string fail(const std::string& what) const {
    const long line = 1 + std::count(text_.begin(), text_.begin() + at_, '\n');
    throw std::runtime_error("input line " + std::to_string(line) + ": " + what);
  }

  std::string_view text_;
  std::size_t at_ = 0;
};

// ---------------------------------------------------------------- case files

struct Expectation {
  std::string slice;  // stderr, output, body, notes, catalog, layout or "pgf TAG"
  bool part;          // the slice need only contain the text
  std::string text;
};

struct Case {
  bool tyx2html = false;
  int status = 0;
  std::vector<std::string> args;
  std::map<std::string, std::string> env;
  std::string program;
  long inputRead = -1;
  std::string input;
  std::optional<std::string> fontMap;
  std::vector<Expectation> expectations;
};

Case readCase(const fs::path& path) {
  std::ifstream in(path);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  Case c;
  std::string* section = nullptr;
  for (std::string line; std::getline(in, line);) {
    if (line.starts_with("--- ")) {
      std::string name = line.substr(4);
      if (name == "input") {
        section = &c.input;
      } else if (name == "fontmap") {
        section = &c.fontMap.emplace();
      } else {
        const bool part = name.starts_with("part of ");
        c.expectations.push_back({part ? name.substr(8) : name, part, ""});
        section = &c.expectations.back().text;
      }
    } else if (section != nullptr) {
      *section += line + "\n";
    } else {
      std::istringstream words(line);
      std::string key, word;
      words >> key;
      if (key.empty() || key.front() == '#') continue;
      if (key == "runs") {
        words >> word;
        c.tyx2html = word == "tyx2html";
      } else if (key == "status") {
        words >> c.status;
      } else if (key == "args") {
        while (words >> word) c.args.push_back(word);
      } else if (key == "env" && words >> word && word.find('=') != std::string::npos) {
        c.env[word.substr(0, word.find('='))] = word.substr(word.find('=') + 1);
      } else if (key == "program") {
        words >> c.program;
      } else if (key == "input-read") {
        words >> c.inputRead;
      } else {
        throw std::runtime_error(path.string() + ": unknown line: " + line);
      }
    }
  }
  return c;
}

// The text between `open` and `close`, each kept as asked.
std::string between(const std::string& text, const std::string& open, const std::string& close,
                    bool keepOpen, bool keepClose) {
  const std::size_t start = text.find(open);
  if (start == std::string::npos) return "<missing " + open + ">";
  const std::size_t end = text.find(close, start + open.size());
  if (end == std::string::npos) return "<missing " + close + ">";
  const std::size_t from = keepOpen ? start : start + open.size();
  return text.substr(from, (keepClose ? end + close.size() : end) - from);
}

// The part of the output document (or of the standard error) a section names.
std::string slice(const std::string& name, const std::string& err, const std::string& out) {
  if (name == "stderr") return err;
  if (name == "output") return out;
  // The text between the notes and the end of the second text flow.
  if (name == "body") return between(out, "\t> # End Notes\n", "> # End TextFlow\n", false, false);
  if (name == "notes") return between(out, "\t<Notes\n", "\t> # End Notes\n", false, false);
  if (name == "catalog") return between(out, "<ParaCatalog\n", "> # End ParaCatalog\n", true, true);
  // The document and page statements.
  if (name == "layout") return between(out, "<Document\n", "<TextFlow\n", true, false);
  // What stands inside the page box of tyx2html's page.
  if (name == "page")
    return between(out, "<div class=\"page\">\n", "</div>\n</body>", false, false);
  // One format of the catalog.
  if (name.starts_with("pgf ")) {
    const std::string open = "<Pgf\n\t<PgfTag `" + name.substr(4) + "'>\n";
    return between(slice("catalog", err, out), open, "\n>\n", true, true);
  }
  throw std::runtime_error("unknown section " + name);
}

void runCase(const fs::path& path) {
  const Case c = readCase(path);
  // tyx2html reads the section's text, without its last line end.
  const Bytes input = c.tyx2html ? Bytes(c.input.begin(), c.input.end() - !c.input.empty())
                                 : Notation(c.input).all();
  const fs::path scratch = fs::path(vtest::tmpDir()).parent_path() / "case";
  fs::remove_all(scratch);
  fs::create_directories(scratch / "kz/kzinit/filters");
  std::map<std::string, std::string> env = c.env;
  if (c.fontMap) {
    std::ofstream(scratch / "kz/kzinit/filters/dca.am") << *c.fontMap;
    env["KZHOME"] = scratch / "kz";
  }
  std::string program = c.tyx2html ? TYX2HTML_BIN : VANTROVE_BIN;
  if (!c.program.empty()) {
    fs::create_symlink(program, scratch / c.program);
    program = scratch / c.program;
  }
  // $IN: the input as a file named on the command line; $OUT: the output
  // file; $SOURCE: the source tree.
  std::vector<std::string> args = c.args;
  bool inputFile = false, outputFile = false;
  for (std::string& arg : args) {
    if (arg.starts_with("$SOURCE/")) arg.replace(0, 7, VANTROVE_SOURCE_DIR);
    if (arg == "$IN") {
      arg = scratch / "in.dca";
      std::ofstream(arg, std::ios::binary)
          .write(reinterpret_cast<const char*>(input.data()), static_cast<long>(input.size()));
      inputFile = true;
    } else if (arg == "$OUT") {
      arg = scratch / "out.tyx";
      outputFile = true;
    }
  }
  const vtest::RunResult r = vtest::runProgram(program, args, inputFile ? Bytes{} : input, env);
  std::string document = r.out;
  if (outputFile) {
    EXPECT_EQ(r.out, "") << "standard output";
    document = vtest::readFile(scratch / "out.tyx");
  }
  EXPECT_EQ(r.status, c.status) << "exit status";
  bool errChecked = false;
  for (const Expectation& e : c.expectations) {
    const std::string actual = slice(e.slice, r.err, document);
    if (e.part) {
      // A part is a piece of text: its last line end is not part of it.
      const std::string part = e.text.substr(0, e.text.size() - e.text.ends_with('\n'));
      EXPECT_THAT(actual, testing::HasSubstr(part)) << "part of " << e.slice;
    } else {
      EXPECT_EQ(actual, e.text) << e.slice;
    }
    errChecked = errChecked || e.slice == "stderr";
  }
  if (!errChecked) {
    EXPECT_EQ(r.err, "") << "stderr";
  }
  if (c.inputRead >= 0) {
    EXPECT_EQ(r.stdinRead, c.inputRead) << "bytes read from standard input";
  }
  if (!c.tyx2html) {
    EXPECT_EQ(vtest::tyxFault(document), "") << "the output is not well formed";
  }
  EXPECT_EQ(vtest::tmpFiles(), std::vector<std::string>{}) << "temporary files left behind";
}

class CaseTest : public testing::Test {
 public:
  explicit CaseTest(fs::path path) : path_(std::move(path)) {}
  void TestBody() override {
    SCOPED_TRACE(path_.string());
    runCase(path_);
  }

 private:
  fs::path path_;
};

const bool registered = [] {
  static std::vector<std::string> files;
  for (const auto& entry : fs::directory_iterator(VANTROVE_SOURCE_DIR "/tests/cases"))
    if (entry.path().extension() == ".case") files.push_back(entry.path().string());
  std::sort(files.begin(), files.end());
  for (const std::string& file : files) {
    testing::RegisterTest("Cases", fs::path(file).stem().c_str(), nullptr, nullptr, file.c_str(), 1,
                          [file]() -> testing::Test* { return new CaseTest(file); });
  }
  return true;
}();

}  // namespace
