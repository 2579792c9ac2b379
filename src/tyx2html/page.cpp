#include "tyx2html/page.h"

#include <algorithm>
#include <array>
#include <deque>
#include <unordered_map>
#include <vector>

namespace tyx2html {
namespace {

constexpr std::size_t kFlushAt = 1 << 18;
// A line segment waiting for its tab is written unboxed beyond this size.
constexpr std::size_t kSegmentLimit = 1 << 16;
// Estimated advance of a character, in ems: tab stops are chosen by it.
constexpr double kMonoAdvance = 0.6;
constexpr double kPropAdvance = 0.5;
constexpr double kScriptScale = 0.7;
constexpr double kDefaultSize = 12;

// The resolved font of a run of text.
struct Style {
  std::string family;  // empty: the page's default
  double size = 0;     // 0: the page's default
  double offset = 0;
  std::uint16_t on = 0;
  bool operator==(const Style&) const = default;
};

constexpr std::uint16_t kDecorations = flagBit(FontFlag::Underline) |
                                       flagBit(FontFlag::DoubleUnderline) |
                                       flagBit(FontFlag::Strike) | flagBit(FontFlag::Overline);

// Codes written into the page as they are: printable ASCII but the markup
// characters.
constexpr std::array<bool, 256> kVerbatim = [] {
  std::array<bool, 256> table{};
  for (int c = 0x20; c < 0x7F; ++c) table[static_cast<std::size_t>(c)] = true;
  table['<'] = table['>'] = table['&'] = false;
  return table;
}();

enum class SegKind { Flow, Right, Center, Decimal };

// The text of a line from its start or a tab up to the next tab or line end,
// held until it is known where it stands.
struct Segment {
  SegKind kind = SegKind::Flow;
  double start = 0;  // where it begins (flow) or its tab stop (the others)
  double width = 0;  // estimated
  double widthAfter = 0;
  std::size_t split = std::string::npos;  // a decimal tab's alignment point in the text
  int decimal = '.';
  bool spilled = false;  // written out before its end
};

struct Note {
  long id = 0;
  std::string html;
  int number = 0;  // 0 until referenced
  int refs = 0;
  bool defined = false;
};

class PageWriter {
 public:
  PageWriter(Reader& reader, std::FILE* out, const PageOptions& options, const Report& report)
      : reader_(reader), file_(out), options_(options), report_(report) {
    const auto& table = utf8Table(options.charset);
    for (std::size_t code = 0; code < 256; ++code) glyphs_[code] = table[code].view();
    glyphs_['<'] = "&lt;";
    glyphs_['>'] = "&gt;";
    glyphs_['&'] = "&amp;";
    sink_ = &out_;
  }

  bool run() {
    for (;;) {
      const Event& event = reader_.next();
      switch (event.kind) {
        case EventKind::Prologue:
          head();
          break;
        case EventKind::FlowBegin:
        case EventKind::FlowEnd:
        case EventKind::NotesBegin:
        case EventKind::NotesEnd:
          break;
        case EventKind::NoteBegin:
          noteBegin(event.number, event.line);
          break;
        case EventKind::NoteEnd:
          sink_ = &out_;
          break;
        case EventKind::ParaBegin:
          paraBegin(*event.format);
          break;
        case EventKind::ParaEnd:
          paraEnd();
          break;
        case EventKind::LineBreak:
          lineBreak();
          break;
        case EventKind::Text:
          text(event.text);
          break;
        case EventKind::Char:
          if (event.hardReturn)
            hardReturn();
          else if (event.tab)
            tab();
          else if (event.point != 0)
            point(event.point);
          break;
        case EventKind::Code:
          if (event.code == '\t')
            tab();
          else if (event.code > 255)
            point(0xFFFD);
          else
            text(std::string_view(&glyphCodes_[event.code], 1));
          break;
        case EventKind::FontChange:
          fontChange(*event.font);
          break;
        case EventKind::Marker:
          marker(event.number, event.text);
          break;
        case EventKind::NoteRef:
          noteRef(event.number);
          break;
        case EventKind::End:
          tail();
          flush(true);
          return !failed_;
      }
    }
  }

 private:
  // ------------------------------------------------------------ output

  void flush(bool all) {
    if (out_.empty() || (!all && out_.size() < kFlushAt)) return;
    if (!failed_ && std::fwrite(out_.data(), 1, out_.size(), file_) != out_.size()) {
      failed_ = true;
    }
    out_.clear();
  }

  void escapeAttribute(std::string& out, std::string_view bytes) {
    for (char c : bytes) {
      if (c == '"')
        out += "&quot;";
      else
        out += glyphs_[static_cast<unsigned char>(c)];
    }
  }

  // ------------------------------------------------------------ page frame

  void head() {
    writeHead(out_, reader_, options_.charset, options_.title);
    flush(false);
  }

  // "$n" in a header or footer text stands for the first margin text marker of type n - 1.
  std::string headerText(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '$' && i + 1 < text.size() && text[i + 1] >= '1' && text[i + 1] <= '9') {
        const int type = text[i + 1] - '1';
        if (type < 2) {
          std::string shown;
          for (char c : marginText_[static_cast<std::size_t>(type)]) {
            shown += glyphs_[static_cast<unsigned char>(c)];
          }
          out += shown;
        }
        ++i;
      } else {
        out += glyphs_[static_cast<unsigned char>(text[i])];
      }
    }
    return out;
  }

  void headerFooter(bool top) {
    const PageSetup& pages = reader_.pages();
    std::array<std::string, 3> parts;
    const auto& texts = top ? pages.header : pages.footer;
    bool any = false;
    for (std::size_t i = 0; i < 3; ++i) {
      std::string text = texts[i];
      if (!pages.hasHeaderFooter && i == 0) text = top ? "$1" : "$2";
      parts[i] = headerText(text);
      any = any || !parts[i].empty();
    }
    if (!any) return;
    out_ += top ? "<div class=\"hf hd\">" : "<div class=\"hf ft\">";
    constexpr std::string_view kSides[] = {"l", "c", "r"};
    for (std::size_t i = 0; i < 3; ++i) {
      out_ += "<span class=\"";
      out_ += kSides[i];
      out_ += "\">" + parts[i] + "</span>";
    }
    out_ += "</div>\n";
  }

  void tail() {
    sink_ = &out_;
    // Footnotes in the order of their numbers; notes that no reference named
    // come last.
    std::vector<Note*> order;
    for (Note& note : notes_) {
      if (note.number == 0 && note.defined) note.number = ++noteNumbers_;
      if (note.number != 0) order.push_back(&note);
    }
    std::sort(order.begin(), order.end(),
              [](const Note* a, const Note* b) { return a->number < b->number; });
    if (!order.empty()) {
      out_ += "<section class=\"notes\">\n<ol>\n";
      for (const Note* note : order) {
        const std::string n = std::to_string(note->number);
        if (!note->defined) {
          report_(Severity::Warning, 0,
                  "footnote " + std::to_string(note->id) + " is referred to but has no text");
        }
        out_ += "<li id=\"fn-" + n + "\" value=\"" + n + "\" data-id=\"" +
                std::to_string(note->id) + "\">";
        std::string back;
        if (note->refs > 0) {
          back = "<a class=\"back\" href=\"#fnref-" + n + "\"> \u21a9</a>";
        }
        const std::string_view html = note->html;
        constexpr std::string_view kEnd = "</p>\n";
        if (!back.empty() && html.size() >= kEnd.size() &&
            html.substr(html.size() - kEnd.size()) == kEnd) {
          out_.append(html.substr(0, html.size() - kEnd.size()));
          out_ += back + "</p>";
        } else {
          out_.append(html);
          out_ += back;
        }
        out_ += "</li>\n";
        flush(false);
      }
      out_ += "</ol>\n</section>\n";
    }
    headerFooter(true);
    headerFooter(false);
    out_ += "</div>\n</body>\n</html>\n";
  }

  // ------------------------------------------------------------ paragraphs

  static Style styleOf(const Font& font) {
    Style style;
    if (font.hasFamily) style.family = font.family;
    if (font.hasSize) style.size = font.size;
    style.on = font.on & font.named & static_cast<std::uint16_t>(~flagBit(FontFlag::Plain));
    return style;
  }

  void paraBegin(const Format& format) {
    format_ = &format;
    *sink_ += "<p class=\"g";
    if (format.index >= 0) *sink_ += std::to_string(format.index);
    if (format.pageBreak) *sink_ += " ct";
    *sink_ += "\">";
    base_ = styleOf(format.font);
    base_.on &= flagBit(FontFlag::Bold) | flagBit(FontFlag::Italic);
    style_ = styleOf(format.font);
    styleChanged();
    spanOpen_ = false;
    seg_.clear();
    segment_ = Segment{SegKind::Flow, format.firstIndent};
    softLine_ = false;
    lineDirty_ = false;
  }

  void paraEnd() {
    endSegment();
    *sink_ += "</p>\n";
    format_ = &fallback_;
    flush(false);
  }

  void lineBreak() {
    endSegment();
    if (lineDirty_) softLine_ = true;
    segment_ = Segment{SegKind::Flow, format_->leftIndent};
  }

  void hardReturn() {
    endSegment();
    *sink_ += "<br>";
    segment_ = Segment{SegKind::Flow, format_->leftIndent};
    softLine_ = false;
    lineDirty_ = false;
  }

  // ------------------------------------------------------------ characters

  // The estimated advance of one character in the font in force.
  double advance() const { return advance_; }

  void styleChanged() {
    const double size =
        style_.size > 0 ? style_.size : (base_.size > 0 ? base_.size : kDefaultSize);
    const std::string& family = style_.family.empty() ? base_.family : style_.family;
    double em = stack(family).monospace ? kMonoAdvance : kPropAdvance;
    if (style_.on & (flagBit(FontFlag::SupScript) | flagBit(FontFlag::SubScript))) {
      em *= kScriptScale;
    }
    advance_ = size * em;
    makeSpanTag();
  }

  // The font stack of a family, remembered for the last family asked about.
  const FontStack& stack(const std::string& family) {
    if (family != stackFamily_ || stack_.css.empty()) {
      stackFamily_ = family;
      stack_ = fontStack(family);
    }
    return stack_;
  }

  void text(std::string_view bytes) {
    if (bytes.empty()) return;
    lineDirty_ = true;
    const double step = advance();
    std::size_t i = 0;
    while (i < bytes.size()) {
      const unsigned char c = static_cast<unsigned char>(bytes[i]);
      if (c == '\t') {
        tab();
        ++i;
        continue;
      }
      std::size_t end = i + 1;
      if (segment_.kind == SegKind::Decimal && segment_.split == std::string::npos) {
        if (c == segment_.decimal) {
          closeSpan();
          segment_.split = seg_.size();
        }
      } else if (kVerbatim[c]) {
        // A run of characters that stand for themselves goes in at once.
        while (end < bytes.size() && kVerbatim[static_cast<unsigned char>(bytes[end])]) ++end;
      }
      if (!spanOpen_) openSpan();
      if (end == i + 1)
        seg_ += glyphs_[c];
      else
        seg_.append(bytes.data() + i, end - i);
      const double width = step * static_cast<double>(end - i);
      segment_.width += width;
      if (segment_.split != std::string::npos) segment_.widthAfter += width;
      if (seg_.size() > kSegmentLimit) spill();
      i = end;
    }
  }

  void point(char32_t value) {
    char bytes[4];
    const int length = encodeUtf8(value, bytes);
    lineDirty_ = true;
    if (!spanOpen_) openSpan();
    seg_.append(bytes, static_cast<std::size_t>(length));
    if (value != 0xAD) segment_.width += advance();
  }

  void fontChange(const Font& font) {
    Style next = style_;
    if (font.hasFamily) next.family = font.family;
    if (font.hasSize) next.size = font.size;
    const auto named = [&](FontFlag flag) { return (font.named & flagBit(flag)) != 0; };
    if (named(FontFlag::Plain) && (font.on & flagBit(FontFlag::Plain))) {
      next.on &= static_cast<std::uint16_t>(
          ~(flagBit(FontFlag::Bold) | flagBit(FontFlag::Italic) | kDecorations));
    }
    for (int f = static_cast<int>(FontFlag::Bold); f <= static_cast<int>(FontFlag::ChangeBar);
         ++f) {
      const std::uint16_t bit = static_cast<std::uint16_t>(1u << f);
      if (font.named & bit) {
        next.on = static_cast<std::uint16_t>((next.on & ~bit) | (font.on & bit));
      }
    }
    if (font.hasOffset) next.offset = font.offset;
    if (next == style_) return;
    closeSpan();
    style_ = std::move(next);
    styleChanged();
  }

  void openSpan() {
    if (spanTag_.empty()) return;
    seg_ += spanTag_;
    spanOpen_ = true;
  }

  // The opening tag of a span for the font in force, empty when the
  // paragraph's own font is in force.
  void makeSpanTag() {
    spanTag_.clear();
    std::string classes;
    const std::uint16_t on = style_.on;
    const auto has = [&](FontFlag flag) { return (on & flagBit(flag)) != 0; };
    if (has(FontFlag::Bold) != ((base_.on & flagBit(FontFlag::Bold)) != 0)) {
      classes += has(FontFlag::Bold) ? " b" : " nb";
    }
    if (has(FontFlag::Italic) != ((base_.on & flagBit(FontFlag::Italic)) != 0)) {
      classes += has(FontFlag::Italic) ? " i" : " ni";
    }
    const int decoration = (has(FontFlag::Underline) ? 1 : 0) |
                           (has(FontFlag::DoubleUnderline) ? 2 : 0) |
                           (has(FontFlag::Strike) ? 4 : 0) | (has(FontFlag::Overline) ? 8 : 0);
    if (decoration != 0) classes += " d" + std::to_string(decoration);
    if (has(FontFlag::SupScript)) classes += " sup";
    if (has(FontFlag::SubScript)) classes += " sub";
    if (has(FontFlag::ChangeBar)) classes += " cb";
    std::string style;
    if (!style_.family.empty() && style_.family != base_.family) {
      style += "font-family:" + stack(style_.family).css + ";";
    }
    if (style_.size > 0 && style_.size != base_.size) style += "font-size:" + pt(style_.size) + ";";
    if (style_.offset != 0) style += "vertical-align:" + pt(-style_.offset) + ";";
    if (classes.empty() && style.empty()) return;
    spanTag_ = "<span";
    if (!classes.empty()) spanTag_ += " class=\"" + classes.substr(1) + "\"";
    if (!style.empty()) {
      style.pop_back();
      spanTag_ += " style=\"" + style + "\"";
    }
    spanTag_ += ">";
  }

  void closeSpan() {
    if (!spanOpen_) return;
    seg_ += "</span>";
    spanOpen_ = false;
  }

  // ------------------------------------------------------------ tabs

  // A segment too long to wait for its tab is written as plain text.
  void spill() {
    closeSpan();
    if (segment_.kind != SegKind::Flow) {
      segment_.kind = SegKind::Flow;
      segment_.split = std::string::npos;
    }
    *sink_ += seg_;
    seg_.clear();
    segment_.spilled = true;
  }

  void endSegment() {
    closeSpan();
    if (segment_.kind == SegKind::Flow) {
      *sink_ += seg_;
    } else {
      writeAnchored();
    }
    seg_.clear();
  }

  void writeAnchored() {
    if (seg_.empty()) return;
    std::string& o = *sink_;
    if (segment_.kind == SegKind::Decimal && segment_.split != std::string::npos) {
      o += "<span class=\"ar\"><span>";
      o.append(seg_, 0, segment_.split);
      o += "</span></span><span class=\"al\"><span>";
      o.append(seg_, segment_.split);
      o += "</span></span>";
      return;
    }
    o += segment_.kind == SegKind::Center ? "<span class=\"ac\"><span>"
                                          : "<span class=\"ar\"><span>";
    o += seg_;
    o += "</span></span>";
  }

  void tab() {
    lineDirty_ = true;
    closeSpan();
    const std::vector<TabStop>& stops = format_->tabs;
    if (segment_.spilled || stops.empty()) {
      plainTab();
      return;
    }
    if (softLine_) {
      // A line that holds tabs starts where the document started it.
      *sink_ += "<br class=\"lb\">";
      softLine_ = false;
      if (segment_.kind == SegKind::Flow) segment_.start = format_->leftIndent;
    }
    double pen = segment_.start;
    switch (segment_.kind) {
      case SegKind::Flow:
        pen += segment_.width;
        break;
      case SegKind::Center:
        pen += segment_.width / 2;
        break;
      case SegKind::Decimal:
        if (segment_.split != std::string::npos) pen += segment_.widthAfter;
        break;
      case SegKind::Right:
        break;
    }
    const auto found = std::find_if(stops.begin(), stops.end(),
                                    [&](const TabStop& stop) { return stop.x > pen + 0.5; });
    if (found == stops.end()) {
      plainTab();
      return;
    }
    const TabStop& stop = *found;
    const bool leader = stop.leader != ' ' && stop.leader > 0 && stop.type == TabType::Left;
    std::string& o = *sink_;
    if (segment_.kind != SegKind::Flow) {
      writeAnchored();
      seg_.clear();
    }
    o += leader ? "<span class=\"tb tl\" style=\"min-width:"
                : "<span class=\"tb\" style=\"min-width:";
    o += pt(stop.x - segment_.start) + "\">";
    if (leader) {
      o += "<span>" + seg_ + "</span><span class=\"ld l" + std::to_string(stop.leader) +
           "\"></span>";
    } else {
      o += seg_;
    }
    o += "\t</span>";
    seg_.clear();
    segment_ = Segment{};
    segment_.start = stop.x;
    segment_.decimal = stop.decimalChar;
    constexpr SegKind kKinds[] = {SegKind::Flow, SegKind::Center, SegKind::Right, SegKind::Decimal};
    segment_.kind = kKinds[static_cast<int>(stop.type)];
  }

  // A tab with no stop ahead of it: a small gap, and the line goes on as text.
  void plainTab() {
    double pen = segment_.start + segment_.width;
    endSegment();
    *sink_ += "<span class=\"tg\">\t</span>";
    segment_ = Segment{};
    segment_.start = pen + advance();
    segment_.spilled = false;
  }

  // ------------------------------------------------------------ notes and markers

  Note& note(long id) {
    auto found = noteIndex_.find(id);
    if (found != noteIndex_.end()) return notes_[found->second];
    noteIndex_.emplace(id, notes_.size());
    notes_.push_back(Note{});
    notes_.back().id = id;
    return notes_.back();
  }

  void noteBegin(long id, long line) {
    Note& n = note(id);
    if (n.defined) {
      report_(Severity::Warning, line, "a second footnote " + std::to_string(id) + " is not shown");
      spare_.clear();
      sink_ = &spare_;
      return;
    }
    n.defined = true;
    sink_ = &n.html;
  }

  void noteRef(long id) {
    Note& n = note(id);
    if (n.number == 0) n.number = ++noteNumbers_;
    ++n.refs;
    const std::string number = std::to_string(n.number);
    lineDirty_ = true;
    closeSpan();
    seg_ += "<sup class=\"fn\"><a href=\"#fn-" + number + "\" id=\"fnref-" + number;
    if (n.refs > 1) seg_ += "-" + std::to_string(n.refs);
    seg_ += "\">" + number + "</a></sup>";
    segment_.width += advance() * 0.7 * static_cast<double>(number.size());
  }

  void marker(long type, std::string_view text) {
    if ((type == 0 || type == 1) && !haveMarginText_[static_cast<std::size_t>(type)]) {
      haveMarginText_[static_cast<std::size_t>(type)] = true;
      marginText_[static_cast<std::size_t>(type)].assign(text);
    }
    closeSpan();
    seg_ += "<a class=\"mk\" id=\"mk-" + std::to_string(++markers_) + "\" data-type=\"" +
            std::to_string(type) + "\" title=\"";
    escapeAttribute(seg_, text);
    seg_ += "\"></a>";
  }

  Reader& reader_;
  std::FILE* file_;
  const PageOptions& options_;
  const Report& report_;
  bool failed_ = false;

  std::array<std::string_view, 256> glyphs_{};
  std::array<char, 256> glyphCodes_ = [] {
    std::array<char, 256> codes{};
    for (std::size_t i = 0; i < 256; ++i) codes[i] = static_cast<char>(i);
    return codes;
  }();

  std::string out_;    // the page, written out as it grows
  std::string* sink_;  // where block content goes: out_ or a footnote
  std::string seg_;    // the current line segment
  std::string spare_;
  Segment segment_;
  bool softLine_ = false;   // a line of the document began where the browser may not break
  bool lineDirty_ = false;  // something stands on the line since its known start

  Format fallback_;
  const Format* format_ = &fallback_;
  Style base_;   // what the paragraph's class sets
  Style style_;  // the font in force
  bool spanOpen_ = false;
  std::string spanTag_;
  double advance_ = kDefaultSize * kPropAdvance;
  std::string stackFamily_;
  FontStack stack_;

  std::deque<Note> notes_;  // a note's text is written while more notes are added
  std::unordered_map<long, std::size_t> noteIndex_;
  int noteNumbers_ = 0;
  int markers_ = 0;
  std::array<std::string, 2> marginText_;
  std::array<bool, 2> haveMarginText_{};
};

}  // namespace

bool renderPage(Reader& reader, std::FILE* out, const PageOptions& options, const Report& report) {
  PageWriter writer(reader, out, options, report);
  return writer.run();
}

}  // namespace tyx2html
