#include "support/notation.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace dca {
namespace {

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

Line line(const Args& a) {
  const Line d;
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
    {"be16", "n", [](A a) { return be16(a.n(0)); }},
    {"repeat", "ng",
     [](A a) {
       Bytes all;
       for (unsigned i = 0; i < a.n(0); ++i) all.insert(all.end(), a.g(0).begin(), a.g(0).end());
       return all;
     }},
    {"field", "cccG", [](A a) { return field(a.n(0), a.n(1), a.g(0), a.n(2)); }},
    {"sip", "ng", [](A a) { return sip(a.n(0), a.g(0)); }},
    {"mbc", "ccG", [](A a) { return mbc(a.n(0), a.n(1), a.g(0)); }},
    {"beginEmphasis", "", [](A) { return beginEmphasis(); }},
    {"endEmphasis", "", [](A) { return endEmphasis(); }},
    {"setGfid", "n", [](A a) { return setGfid(a.n(0)); }},
    {"escapedGraphic", "c", [](A a) { return escapedGraphic(a.n(0)); }},
    {"beginUnderscore", "", [](A) { return beginUnderscore(); }},
    {"endUnderscore", "", [](A) { return endUnderscore(); }},
    {"returnToMasterFont", "", [](A) { return returnToMasterFont(); }},
    {"printTextUnitName", "", [](A) { return printTextUnitName(); }},
    {"displayPrompt", "g", [](A a) { return displayPrompt(a.g(0)); }},
    {"setTabs", "ng", [](A a) { return setTabs(tabData(a.n(0), a.g(0))); }},
    {"returnToMasterLine", "", [](A) { return returnToMasterLine(); }},
    {"alignTextLine", "n", [](A a) { return alignTextLine(a.n(0)); }},
    {"alignTextField", "no",
     [](A a) {
       const unsigned column = a.opt("column", 0);
       return column ? alignTextField(a.n(0), column) : alignTextField(a.n(0));
     }},
    {"noteReference", "w", [](A a) { return noteReference(a.word); }},
    {"noteEcho", "n", [](A a) { return noteEcho(a.n(0)); }},
    {"pageNumber", "", [](A) { return pageNumber(); }},
    {"formatUnitPrefix", "", [](A) { return formatUnitPrefix(); }},
    {"documentParams", "o",
     [](A a) {
       return documentParams(a.opt("cgcsid", 697), a.opt("cpid", 37), a.opt("length", 27));
     }},
    {"pageImageParams", "nnnn",
     [](A a) { return pageImageParams(a.n(0), a.n(1), a.n(2), a.n(3)); }},
    {"lineData", "o", [](A a) { return lineData(line(a)); }},
    {"lineParams", "o", [](A a) { return lineParams(line(a)); }},
    {"tab", "nn", [](A a) { return tab(a.n(0), a.n(1)); }},
    {"tabData", "ng", [](A a) { return tabData(a.n(0), a.g(0)); }},
    {"tabParams", "ng", [](A a) { return tabParams(a.n(0), a.g(0)); }},
    {"operatorMessage", "t", [](A a) { return operatorMessage(a.word); }},
    {"noteFormatParams", "g", [](A a) { return noteFormatParams(a.g(0)); }},
    {"masterFormat", "ng", [](A a) { return masterFormat(a.n(0), a.g(0)); }},
    {"marginTextDecl", "nno",
     [](A a) { return marginTextDecl(a.n(0), a.n(1), a.opt("firstPage", 0)); }},
    {"marginTextField", "ng", [](A a) { return marginTextField(a.n(0), a.g(0)); }},
    {"textUnitName", "w", [](A a) { return textUnitName(a.word); }},
    {"establishMaster", "n", [](A a) { return establishMaster(a.n(0)); }},
    {"returnToMaster", "", [](A) { return returnToMaster(); }},
    {"formatChange", "g", [](A a) { return formatChange(a.g(0)); }},
    {"bodyText", "g", [](A a) { return bodyText(a.g(0)); }},
    {"endUnit", "", [](A) { return endUnit(); }},
    {"formatUnit1", "", [](A) { return formatUnit1(); }},
    {"formatUnit2", "gG", [](A a) { return formatUnit2(a.g(0), a.g(1)); }},
    {"standardMembers", "", [](A) { return standardMembers(); }},
    {"standardFormat", "", [](A) { return standardFormat(); }},
    {"textUnit", "wg", [](A a) { return textUnit(a.word, a.g(0)); }},
    {"document", "g", [](A a) { return document(a.g(0)); }},
};

struct Control {
  std::string_view name;
  std::uint8_t code;
};
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
        bytes = bytes + ebc(unquote(word));
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

}  // namespace

Bytes fromText(std::string_view text) {
  return Notation(text).all();
}

}  // namespace dca
