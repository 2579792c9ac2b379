// The style block of the page: the page box and its print settings, the
// classes of fonts, tabs, decorations and footnotes, one class for each
// paragraph format of the catalog, the leaders of tab stops, and where the
// header and footer stand.
#include "tyx2html/style.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <vector>

namespace tyx2html {
namespace {

struct StackRule {
  std::string_view word;  // looked for in the lower-case family name
  int stack;
};
constexpr std::string_view kStacks[] = {
    "'Courier New',Courier,'Liberation Mono','DejaVu Sans Mono',monospace",
    "Helvetica,Arial,'Liberation Sans','DejaVu Sans',sans-serif",
    "'Times New Roman',Times,'Liberation Serif','DejaVu Serif',serif",
};
constexpr int kMono = 0, kSans = 1, kSerif = 2;
constexpr StackRule kStackRules[] = {
    {"courier", kMono},   {"mono", kMono},      {"typewriter", kMono},    {"prestige", kMono},
    {"pica", kMono},      {"elite", kMono},     {"letter gothic", kMono}, {"lettergothic", kMono},
    {"ocr", kMono},       {"orator", kMono},    {"fixed", kMono},         {"sans", kSans},
    {"helvetica", kSans}, {"arial", kSans},     {"univers", kSans},       {"swiss", kSans},
    {"gothic", kSans},    {"futura", kSans},    {"optima", kSans},        {"verdana", kSans},
    {"gill", kSans},      {"times", kSerif},    {"roman", kSerif},        {"serif", kSerif},
    {"century", kSerif},  {"garamond", kSerif}, {"bodoni", kSerif},       {"palatino", kSerif},
    {"georgia", kSerif},  {"book", kSerif},     {"baskerville", kSerif},
};

std::string lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// The class of a paragraph format: its font, indents, alignment and spacing.
void formatClass(std::string& o, const Format& format, const std::string& name) {
  o += "." + name + "{";
  if (format.font.hasFamily) o += "font-family:" + fontStack(format.font.family).css + ";";
  if (format.font.hasSize) o += "font-size:" + pt(format.font.size) + ";";
  if (format.font.on & flagBit(FontFlag::Bold)) o += "font-weight:bold;";
  if (format.font.on & flagBit(FontFlag::Italic)) o += "font-style:italic;";
  if (format.leftIndent != 0) o += "padding-left:" + pt(format.leftIndent) + ";";
  if (format.rightIndent != 0) o += "padding-right:" + pt(format.rightIndent) + ";";
  if (format.firstIndent != format.leftIndent) {
    o += "text-indent:" + pt(format.firstIndent - format.leftIndent) + ";";
  }
  constexpr std::string_view kAlign[] = {"left", "center", "right", "justify"};
  if (format.align != Align::Left) {
    o += "text-align:";
    o += kAlign[static_cast<int>(format.align)];
    o += ";";
  }
  if (format.spaceBefore > 0) o += "margin-top:" + pt(format.spaceBefore) + ";";
  if (format.spaceAfter > 0) o += "margin-bottom:" + pt(format.spaceAfter) + ";";
  if (format.hasLeading) o += "line-height:calc(1em + " + pt(format.leading) + ");";
  if (o.back() == ';') o.pop_back();
  o += "}\n";
}

struct HeaderPlace {
  double offset;  // from the page edge
  double left;
  double right;
};

// Where the header (top) or the footer stands on the screen.
HeaderPlace headerPlace(const Reader& reader, bool top) {
  const Document& doc = reader.document();
  const PageSetup& pages = reader.pages();
  if (pages.hasHfMargins) {
    return {pages.hfMargins[top ? kTop : kBottom], pages.hfMargins[kLeft], pages.hfMargins[kRight]};
  }
  const double margin = doc.margins[top ? kTop : kBottom];
  return {std::max(0.0, margin / 2 - 6), doc.margins[kLeft], doc.margins[kRight]};
}

}  // namespace

std::string pt(double value) {
  if (!std::isfinite(value) || std::fabs(value) > 1e9) value = 0;
  char text[48];
  const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 2);
  std::string out(text, result.ptr);
  while (out.back() == '0') out.pop_back();
  if (out.back() == '.') out.pop_back();
  if (out == "-0") out = "0";
  return out + "pt";
}

FontStack fontStack(std::string_view family) {
  const std::string name = lower(family);
  int stack = -1;
  for (const StackRule& rule : kStackRules) {
    if (name.find(rule.word) != std::string::npos) {
      stack = rule.stack;
      break;
    }
  }
  if (stack >= 0) return {std::string(kStacks[stack]), stack == kMono};
  // An unknown face: its own name first, then a serif face.
  std::string clean;
  for (char c : family) {
    if (std::isalnum(static_cast<unsigned char>(c)) || c == ' ' || c == '-' || c == '_' ||
        c == '.') {
      clean += c;
    }
  }
  if (clean.empty()) return {std::string(kStacks[kSerif]), false};
  return {"'" + clean + "'," + std::string(kStacks[kSerif]), false};
}

void writeHead(std::string& o, const Reader& reader, Charset charset, std::string_view title) {
  const Document& doc = reader.document();
  const auto& m = doc.margins;
  o += "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n"
       "<meta name=\"generator\" content=\"tyx2html\">\n<title>";
  for (char c : title) {
    if (c == '<')
      o += "&lt;";
    else if (c == '&')
      o += "&amp;";
    else
      o += c;
  }
  o += "</title>\n<style>\n";
  o += "html{background:#d6d6d6}\n"
       "body{margin:0;padding:24px 0}\n"
       ".page{position:relative;box-sizing:border-box;margin:0 auto;background:#fff;"
       "color:#000;box-shadow:0 1px 6px rgba(0,0,0,.35);font-family:";
  o += kStacks[kSerif];
  o += ";font-size:12pt;line-height:1.2;width:" + pt(doc.width) + ";min-height:" + pt(doc.height) +
       ";padding:" + pt(m[kTop]) + " " + pt(m[kRight]) + " " + pt(m[kBottom]) + " " + pt(m[kLeft]) +
       "}\n";
  o += "p{margin:0;white-space:pre-wrap;overflow-wrap:break-word}\n"
       "p:empty::before{content:\"\\a0\"}\n"
       ".tb{display:inline-block;white-space:pre;tab-size:0;text-indent:0}\n"
       ".tl{display:inline-flex}.tl>span:first-child{white-space:pre}\n"
       ".ld{flex:1;overflow:hidden;white-space:pre}\n"
       ".tg{white-space:pre;tab-size:1}\n"
       ".ar,.ac,.al{display:inline-flex;width:0;white-space:pre;text-indent:0}\n"
       ".ar{justify-content:flex-end}.ac{justify-content:center}"
       ".al{justify-content:flex-start}\n"
       ".b{font-weight:bold}.nb{font-weight:normal}.i{font-style:italic}"
       ".ni{font-style:normal}\n"
       ".sup{vertical-align:super;font-size:70%}.sub{vertical-align:sub;font-size:70%}\n"
       ".cb{background:#fff0a0}\n";
  for (int bits = 1; bits < 16; ++bits) {
    o += ".d" + std::to_string(bits) + "{text-decoration-line:";
    if (bits & 3) o += "underline ";
    if (bits & 4) o += "line-through ";
    if (bits & 8) o += "overline ";
    o.back() = ';';
    if (bits & 2) o += "text-decoration-style:double;";
    o.back() = '}';
    o += '\n';
  }
  o += ".ct{margin-top:18pt;border-top:1px dashed #bbb;padding-top:6pt}\n"
       ".fn{line-height:0}.fn a{text-decoration:none}\n"
       ".notes{margin-top:24pt;padding-top:6pt;border-top:1px solid #888}\n"
       ".notes ol{margin:0;padding-left:2em}.back{text-decoration:none}\n"
       ".hf{position:absolute;display:flex;font-size:10pt;color:#333}"
       ".hf>span{flex:1;white-space:pre-wrap}.hf>.c{text-align:center}"
       ".hf>.r{text-align:right}\n";
  // Leaders of the catalog's left tab stops.
  std::vector<int> leaders;
  for (const Format& format : reader.catalog()) {
    for (const TabStop& stop : format.tabs) {
      if (stop.leader != ' ' &&
          std::find(leaders.begin(), leaders.end(), stop.leader) == leaders.end()) {
        leaders.push_back(stop.leader);
      }
    }
  }
  for (int leader : leaders) {
    char escape[16];
    std::snprintf(escape, sizeof escape, "\\%x ",
                  static_cast<unsigned>(codePoint(charset, static_cast<std::uint8_t>(leader))));
    o += ".l" + std::to_string(leader) + "::after{content:\"";
    for (int i = 0; i < 160; ++i) o += escape;
    o += "\"}\n";
  }
  formatClass(o, Format{}, "g");
  for (const Format& format : reader.catalog()) {
    formatClass(o, format, "g" + std::to_string(format.index));
  }
  o += "@page{size:" + pt(doc.width) + " " + pt(doc.height) + ";margin:" + pt(m[kTop]) + " " +
       pt(m[kRight]) + " " + pt(m[kBottom]) + " " + pt(m[kLeft]) + "}\n";
  // Header and footer, placed from the page edges on the screen. In print
  // the page box is the text area of the printed pages: the header stands at
  // the top of the first page, the footer after the end of the text.
  const HeaderPlace top = headerPlace(reader, true), bottom = headerPlace(reader, false);
  o += ".hd{top:" + pt(top.offset) + ";left:" + pt(top.left) + ";right:" + pt(top.right) +
       "}.ft{bottom:" + pt(bottom.offset) + ";left:" + pt(bottom.left) +
       ";right:" + pt(bottom.right) + "}\n";
  o += "@media print{html{background:none}body{padding:0}"
       ".page{width:auto;min-height:0;margin:0;box-shadow:none;padding:";
  o += reader.pages().hasHeaderFooter ? "24pt 0}" : "0}";
  o += ".ct{break-before:page;margin-top:0;border:0;padding-top:0}"
       ".hd{top:0;left:0;right:0}.ft{bottom:0;left:0;right:0}}\n";
  o += "</style>\n</head>\n<body>\n<div class=\"page\">\n";
}

}  // namespace tyx2html
