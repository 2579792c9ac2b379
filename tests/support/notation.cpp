#include "support/notation.h"

#include <algorithm>
#include <cctype>
#include <iterator>
#include <map>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace dca {
namespace {

// The arguments of one of the builder's functions, as its signature asks.
struct Args {
  std::vector<unsigned> n;  // numbers and codes, in order
  std::vector<Bytes> g;     // groups
  std::string word;         // a name or a text
  std::map<std::string, unsigned> options;
  mutable std::vector<std::string> asked;  // the options looked at

  unsigned opt(const std::string& key, unsigned otherwise) const {
    asked.push_back(key);
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

// The builder's functions by name. A signature lists the arguments: n a
// number, c a code, w a name, t a quoted text, g a group, G a group that may
// be left out, o name=number options.
struct Word {
  std::string_view name, signature;
  Bytes (*make)(const Args&);
};
using A = const Args&;
constexpr Word kWords[] = {
    {"be16", "n", [](A a) { return be16(a.n[0]); }},
    {"repeat", "ng",
     [](A a) {
       Bytes all;
       for (unsigned i = 0; i < a.n[0]; ++i) all.insert(all.end(), a.g[0].begin(), a.g[0].end());
       return all;
     }},
    {"field", "cccG", [](A a) { return field(a.n[0], a.n[1], a.g[0], a.n[2]); }},
    {"sip", "ng", [](A a) { return sip(a.n[0], a.g[0]); }},
    {"mbc", "ccG", [](A a) { return mbc(a.n[0], a.n[1], a.g[0]); }},
    {"beginEmphasis", "", [](A) { return beginEmphasis(); }},
    {"endEmphasis", "", [](A) { return endEmphasis(); }},
    {"beginUnderscore", "", [](A) { return beginUnderscore(); }},
    {"endUnderscore", "", [](A) { return endUnderscore(); }},
    {"setGfid", "n", [](A a) { return setGfid(a.n[0]); }},
    {"escapedGraphic", "c", [](A a) { return escapedGraphic(a.n[0]); }},
    {"returnToMasterFont", "", [](A) { return returnToMasterFont(); }},
    {"printTextUnitName", "", [](A) { return printTextUnitName(); }},
    {"displayPrompt", "g", [](A a) { return displayPrompt(a.g[0]); }},
    {"setTabs", "ng", [](A a) { return setTabs(tabData(a.n[0], a.g[0])); }},
    {"alignTextLine", "n", [](A a) { return alignTextLine(a.n[0]); }},
    {"alignTextField", "no",
     [](A a) {
       const unsigned column = a.opt("column", 0);
       return column ? alignTextField(a.n[0], column) : alignTextField(a.n[0]);
     }},
    {"noteReference", "w", [](A a) { return noteReference(a.word); }},
    {"noteEcho", "n", [](A a) { return noteEcho(a.n[0]); }},
    {"pageNumber", "", [](A) { return pageNumber(); }},
    {"formatUnitPrefix", "", [](A) { return formatUnitPrefix(); }},
    {"documentParams", "o",
     [](A a) {
       return documentParams(a.opt("cgcsid", 697), a.opt("cpid", 37), a.opt("length", 27));
     }},
    {"pageImageParams", "nnnn",
     [](A a) { return pageImageParams(a.n[0], a.n[1], a.n[2], a.n[3]); }},
    {"lineParams", "o", [](A a) { return lineParams(line(a)); }},
    {"tab", "nn", [](A a) { return tab(a.n[0], a.n[1]); }},
    {"tabParams", "ng", [](A a) { return tabParams(a.n[0], a.g[0]); }},
    {"operatorMessage", "t", [](A a) { return operatorMessage(a.word); }},
    {"noteFormatParams", "g", [](A a) { return noteFormatParams(a.g[0]); }},
    {"masterFormat", "ng", [](A a) { return masterFormat(a.n[0], a.g[0]); }},
    {"marginTextDecl", "nno",
     [](A a) { return marginTextDecl(a.n[0], a.n[1], a.opt("firstPage", 0)); }},
    {"marginTextField", "ng", [](A a) { return marginTextField(a.n[0], a.g[0]); }},
    {"textUnitName", "w", [](A a) { return textUnitName(a.word); }},
    {"establishMaster", "n", [](A a) { return establishMaster(a.n[0]); }},
    {"formatChange", "g", [](A a) { return formatChange(a.g[0]); }},
    {"bodyText", "g", [](A a) { return bodyText(a.g[0]); }},
    {"endUnit", "", [](A) { return endUnit(); }},
    {"formatUnit1", "", [](A) { return formatUnit1(); }},
    {"formatUnit2", "gG", [](A a) { return formatUnit2(a.g[0], a.g[1]); }},
    {"standardMembers", "", [](A) { return standardMembers(); }},
    {"standardFormat", "", [](A) { return standardFormat(); }},
    {"textUnit", "wg", [](A a) { return textUnit(a.word, a.g[0]); }},
    {"document", "g", [](A a) { return document(a.g[0]); }},
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

struct Token {
  std::string text;
  long line;
};

class Notation {
 public:
  // Tokens: white space and comments (dropped), quoted texts and bytes in
  // angle brackets with their delimiters, braces, and words.
  explicit Notation(std::string_view text) {
    static const std::regex kToken(R"re(\s+|#[^\n]*|"(\\.|[^"\\])*"|<[^>]*>|[{}]|[^\s{}"<#]+)re");
    std::match_results<std::string_view::const_iterator> m;
    for (auto at = text.begin(); at != text.end(); at += m.length()) {
      if (!std::regex_search(at, text.end(), m, kToken, std::regex_constants::match_continuous))
        throw std::runtime_error("input line " + std::to_string(line_) + ": unclosed " + *at);
      if (!std::isspace(static_cast<unsigned char>(*at)) && *at != '#')
        tokens_.push_back({m.str(), line_});
      line_ += std::count(m[0].first, m[0].second, '\n');
    }
  }

  Bytes all() {
    Bytes bytes = items();
    if (!peek().empty()) fail("\"}\" without its \"{\"");
    return bytes;
  }

 private:
  Bytes items() {
    Bytes bytes;
    for (std::string word = peek(); !word.empty() && word != "}"; word = peek()) {
      ++at_;
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
      const std::string word = peek();
      if (kind == 'o') {
        for (; peek().find('=') != std::string::npos; ++at_) {
          const std::string& option = tokens_[at_].text;
          a.options[option.substr(0, option.find('='))] =
              number(option.substr(option.find('=') + 1));
        }
      } else if (kind == 'g' || (kind == 'G' && word == "{")) {
        if (word != "{") fail(std::string(function.name) + ": expected {");
        ++at_;
        a.g.push_back(items());
        if (peek() != "}") fail(std::string(function.name) + ": expected }");
        ++at_;
      } else if (kind == 'G') {
        a.g.emplace_back();
      } else {
        if (word.empty() || word == "{" || word == "}")
          fail(std::string(function.name) + ": an argument is missing");
        ++at_;
        if (kind == 'n' || kind == 'c') a.n.push_back(kind == 'n' ? number(word) : code(word));
        if (kind == 'w') a.word = word;
        if (kind == 't') a.word = word.front() == '"' ? unquote(word) : fail("not a text: " + word);
      }
    }
    Bytes bytes = function.make(a);
    for (const auto& [key, value] : a.options)
      if (std::find(a.asked.begin(), a.asked.end(), key) == a.asked.end())
        fail(std::string(function.name) + ": unknown option " + key);
    return bytes;
  }

  std::string peek() const { return at_ < tokens_.size() ? tokens_[at_].text : ""; }

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

  // A quoted text's characters; \xHH is a Latin-1 code, a backslash before
  // any other character stands for that character.
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
    const long line = tokens_.empty() ? 1 : tokens_[std::min(at_, tokens_.size() - 1)].line;
    throw std::runtime_error("input line " + std::to_string(line) + ": " + what);
  }

  std::vector<Token> tokens_;
  std::size_t at_ = 0;
  long line_ = 1;
};

}  // namespace

Bytes fromText(std::string_view text) {
  return Notation(text).all();
}

}  // namespace dca
