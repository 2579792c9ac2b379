// The reader's statement structure: which statement may stand where, the
// stack of open statements, and the events handed to the page writer.
#include "tyx2html/reader.h"

#include <algorithm>
#include <utility>

namespace tyx2html {

namespace {

constexpr int kMaxWarnings = 100;
constexpr std::size_t kMaxValue = 1 << 16;

// Named characters and what they stand for (0: nothing to show).
struct NamedChar {
  std::string_view name;
  char32_t point;
};
constexpr NamedChar kNamedChars[] = {
    {"HardSpace", 0x00A0}, {"DiscHyphen", 0x00AD}, {"NoHyphen", 0},        {"NumberSpace", 0x2007},
    {"Tab", U'\t'},        {"HardReturn", 0},      {"HardHyphen", 0x2011}, {"ThinSpace", 0x2009},
    {"EnSpace", 0x2002},   {"EmSpace", 0x2003},    {"EnDash", 0x2013},     {"EmDash", 0x2014},
    {"Bullet", 0x2022},    {"SoftHyphen", 0x00AD},
};

std::string quoted(std::string_view keyword) {
  std::string text = "<";
  text.append(keyword.substr(0, 40));
  text.push_back('>');
  return text;
}

}  // namespace

Reader::Reader(std::FILE* in, Report report) : lexer_(in), report_(std::move(report)) {
  frames_.reserve(32);
  frames_.push_back({Ctx::Top, Key::None, 0});
}

void Reader::warn(long line, std::string_view message) {
  ++warnings_;
  if (warnings_ < kMaxWarnings) {
    report_(Severity::Warning, line, message);
  } else if (warnings_ == kMaxWarnings) {
    report_(Severity::Warning, line, "further warnings are not shown");
  }
}

void Reader::error(long line, std::string_view message) {
  ++errors_;
  if (errors_ < kMaxWarnings) {
    report_(Severity::Error, line, message);
  } else if (errors_ == kMaxWarnings) {
    report_(Severity::Error, line, "further errors are not shown");
  }
}

void Reader::push(EventKind kind, long line) {
  Event& event = events_[tail_ % events_.size()];
  event = Event{};
  event.kind = kind;
  event.line = line;
  ++tail_;
}

const Event& Reader::next() {
  while (head_ == tail_) {
    if (finished_) {
      current_ = Event{};
      current_.line = lexer_.line();
      return current_;
    }
    head_ = tail_ = 0;
    const Token token = lexer_.next();
    switch (token.kind) {
      case TokenKind::Open:
        open(token);
        break;
      case TokenKind::Close:
        close(token);
        break;
      case TokenKind::Word:
      case TokenKind::Text:
        value(token);
        break;
      case TokenKind::Error:
        error(token.line, token.text);
        break;
      case TokenKind::End:
        finish();
        break;
    }
  }
  return events_[head_++ % events_.size()];
}

void Reader::open(const Token& token) {
  if (skipDepth_ > 0) {
    ++skipDepth_;
    return;
  }
  const Ctx parent = frames_.back().ctx;
  const Key key = lookup(token.text);
  if (!seenHeader_) {
    seenHeader_ = true;
    if (key != Key::TYXFile) warn(token.line, "the file does not begin with <TYXFile 2.00>");
  }
  // What the statement becomes: a context of its own, a field of its parent,
  // a statement passed over quietly, or one passed over with a warning.
  Ctx ctx = Ctx::Skip;
  bool quiet = false;
  bool known = true;
  switch (parent) {
    case Ctx::Top:
      if (key == Key::TYXFile) {
        ctx = Ctx::Field;
      } else if (key == Key::ParaCatalog || key == Key::Document || key == Key::Page) {
        if (prologueDone_) {
          warn(token.line, quoted(token.text) + " after the text is not used");
          quiet = true;
        } else {
          ctx = key == Key::ParaCatalog ? Ctx::Catalog
                : key == Key::Document  ? Ctx::Document
                                        : Ctx::Page;
        }
      } else if (key == Key::TextFlow) {
        ctx = Ctx::Flow;
      } else {
        known = false;
      }
      break;
    case Ctx::Catalog:
      if (key == Key::Pgf)
        ctx = Ctx::Pgf;
      else
        known = false;
      break;
    case Ctx::Pgf:
      if (key == Key::PgfFont) {
        ctx = Ctx::PgfFont;
      } else if (key == Key::TabStop) {
        ctx = Ctx::TabStop;
      } else if (key >= Key::PgfTag && key <= Key::PgfOther) {
        ctx = Ctx::Field;
      } else {
        known = false;
      }
      break;
    case Ctx::PgfFont:
    case Ctx::Font:
      if (key >= Key::FFamily && key <= Key::FOther)
        ctx = Ctx::Field;
      else
        known = false;
      break;
    case Ctx::TabStop:
      if (key >= Key::TSX && key <= Key::TSDecimalChar)
        ctx = Ctx::Field;
      else
        known = false;
      break;
    case Ctx::Document:
      if (key >= Key::DMargins && key <= Key::DOther)
        ctx = Ctx::Field;
      else
        known = false;
      break;
    case Ctx::Page:
      if (key == Key::TextRect)
        quiet = true;
      else if (key >= Key::PageType && key <= Key::PageOther)
        ctx = Ctx::Field;
      else
        known = false;
      break;
    case Ctx::Flow:
      if (key == Key::Notes)
        ctx = Ctx::Notes;
      else if (key == Key::Para)
        ctx = Ctx::Para;
      else if (key == Key::TFOther)
        ctx = Ctx::Field;
      else
        known = false;
      break;
    case Ctx::Notes:
      if (key == Key::FNote)
        ctx = Ctx::Note;
      else
        known = false;
      break;
    case Ctx::Note:
      if (key == Key::ID)
        ctx = Ctx::Field;
      else if (key == Key::Para)
        ctx = Ctx::Para;
      else
        known = false;
      break;
    case Ctx::Para:
      if (key == Key::PgfTag) {
        ctx = paraBegun_ ? Ctx::Skip : Ctx::Field;
        if (paraBegun_) warn(token.line, "<PgfTag> after the paragraph's text is not used");
        quiet = paraBegun_;
      } else if (key == Key::ParaLine) {
        ctx = Ctx::Line;
      } else {
        known = false;
      }
      break;
    case Ctx::Line:
      switch (key) {
        case Key::String:
          ctx = Ctx::String;
          break;
        case Key::Char:
          ctx = Ctx::Char;
          break;
        case Key::Font:
          ctx = Ctx::Font;
          font_ = Font{};
          break;
        case Key::Marker:
          ctx = Ctx::Marker;
          markerType_ = 0;
          markerText_.clear();
          break;
        case Key::FNote:
          ctx = Ctx::Ref;
          break;
        case Key::AFrame:
        case Key::VarRef:
          warn(token.line, quoted(token.text) + " is not shown");
          quiet = true;
          break;
        default:
          known = false;
      }
      break;
    case Ctx::Marker:
      if (key >= Key::MType && key <= Key::MOther)
        ctx = Ctx::Field;
      else
        known = false;
      break;
    case Ctx::Field:
    case Ctx::String:
    case Ctx::Char:
    case Ctx::Ref:
    case Ctx::Skip:
      known = false;
      break;
  }
  if (ctx == Ctx::Skip) {
    if (!known && !quiet) {
      if (key == Key::None) {
        warn(token.line, "unknown statement " + quoted(token.text) + " skipped");
      } else {
        warn(token.line, quoted(token.text) + " is out of place and skipped");
      }
    }
    skipDepth_ = 1;
    frames_.push_back({Ctx::Skip, key, token.line});
    return;
  }
  frames_.push_back({ctx, key, token.line});
  switch (ctx) {
    case Ctx::Field:
      valueCount_ = 0;
      valueOpen_ = false;
      break;
    case Ctx::Pgf:
      pgf_ = Format{};
      break;
    case Ctx::PgfFont:
      font_ = Font{};
      break;
    case Ctx::TabStop:
      tab_ = TabStop{};
      break;
    case Ctx::Page:
      page_ = PageSetup{};
      break;
    case Ctx::Flow:
      if (!prologueDone_) {
        prologueDone_ = true;
        push(EventKind::Prologue, token.line);
      }
      push(EventKind::FlowBegin, token.line);
      break;
    case Ctx::Notes:
      push(EventKind::NotesBegin, token.line);
      break;
    case Ctx::Note:
      noteBegun_ = false;
      noteId_ = 0;
      break;
    case Ctx::Para:
      paraBegun_ = false;
      paraLines_ = 0;
      paraFormat_ = nullptr;
      if (frames_[frames_.size() - 2].ctx == Ctx::Note && !noteBegun_) {
        warn(token.line, "a footnote without <ID>");
        noteBegun_ = true;
        push(EventKind::NoteBegin, token.line);
      }
      break;
    case Ctx::Line:
      if (!paraBegun_) beginPara(token.line);
      if (paraLines_++ > 0) push(EventKind::LineBreak, token.line);
      break;
    default:
      break;
  }
}

void Reader::beginPara(long line) {
  paraBegun_ = true;
  if (paraFormat_ == nullptr) paraFormat_ = formatFor({}, line);
  push(EventKind::ParaBegin, line);
  events_[(tail_ - 1) % events_.size()].format = paraFormat_;
}

const Format* Reader::formatFor(std::string_view tag, long line) {
  if (lastFormat_ != nullptr && lastFormat_->tag == tag) return lastFormat_;
  if (auto found = tags_.find(tag); found != tags_.end()) {
    lastFormat_ = &catalog_[found->second];
    return lastFormat_;
  }
  if (++missingTags_ <= 10) {
    warn(line, "no paragraph format `" + std::string(tag.substr(0, 60)) +
                   "' in the catalog; a plain one is used");
  }
  return &fallback_;
}

void Reader::value(const Token& token) {
  if (skipDepth_ > 0) return;
  Frame& frame = frames_.back();
  const bool text = token.kind == TokenKind::Text;
  switch (frame.ctx) {
    case Ctx::Field:
      if (text && valueOpen_) {
        std::string& last = values_[valueCount_ - 1];
        last.append(token.text.substr(0, kMaxValue - std::min(kMaxValue, last.size())));
      } else if (valueCount_ < values_.size()) {
        values_[valueCount_++].assign(token.text.substr(0, kMaxValue));
      }
      valueOpen_ = text && token.more;
      return;
    case Ctx::String:
      if (text) {
        push(EventKind::Text, token.line);
        events_[(tail_ - 1) % events_.size()].text = token.text;
        return;
      }
      break;
    case Ctx::Char:
      if (!text) {
        long code = 0;
        if (parseLong(token.text, &code)) {
          if (code < 0 || code > 255) {
            warn(token.line, "character code out of range: " + std::string(token.text));
            code = 0xFFFD;
          }
          push(EventKind::Code, token.line);
          events_[(tail_ - 1) % events_.size()].code = static_cast<int>(code);
          return;
        }
        for (const NamedChar& named : kNamedChars) {
          if (named.name == token.text) {
            push(EventKind::Char, token.line);
            Event& event = events_[(tail_ - 1) % events_.size()];
            event.point = named.point;
            event.hardReturn = named.name == "HardReturn";
            event.tab = named.point == U'\t';
            return;
          }
        }
        warn(token.line, "unknown character <Char " + std::string(token.text.substr(0, 40)) +
                             "> shown as U+FFFD");
        push(EventKind::Char, token.line);
        events_[(tail_ - 1) % events_.size()].point = 0xFFFD;
        return;
      }
      break;
    case Ctx::Ref:
      if (long id = 0; !text && parseLong(token.text, &id)) {
        push(EventKind::NoteRef, token.line);
        events_[(tail_ - 1) % events_.size()].number = id;
        return;
      }
      break;
    case Ctx::Note:
      if (long id = 0; !text && !noteBegun_ && parseLong(token.text, &id)) {
        noteId_ = id;
        noteBegun_ = true;
        push(EventKind::NoteBegin, token.line);
        events_[(tail_ - 1) % events_.size()].number = id;
        return;
      }
      break;
    case Ctx::Top:
      if (!text && token.text.substr(0, 8) == "include(") return;
      break;
    default:
      break;
  }
  if (text && token.more) {
    // Report a stray string once, not once per piece.
    return;
  }
  warn(token.line,
       text ? "a string out of place is skipped"
            : "a value out of place is skipped: " + std::string(token.text.substr(0, 40)));
}

void Reader::close(const Token& token) {
  if (skipDepth_ > 0) {
    if (--skipDepth_ == 0) frames_.pop_back();
    return;
  }
  if (frames_.size() == 1) {
    error(token.line, "\">\" closes no statement");
    return;
  }
  const Frame frame = frames_.back();
  frames_.pop_back();
  const Ctx owner = frames_.back().ctx;
  switch (frame.ctx) {
    case Ctx::Field:
      applyField(owner, frame.key, frame.line);
      break;
    case Ctx::Pgf:
      if (tags_.count(pgf_.tag) != 0) {
        warn(frame.line, "a second paragraph format `" + pgf_.tag.substr(0, 60) + "' is not used");
        break;
      }
      std::stable_sort(pgf_.tabs.begin(), pgf_.tabs.end(),
                       [](const TabStop& a, const TabStop& b) { return a.x < b.x; });
      pgf_.index = static_cast<int>(catalog_.size());
      lastFormat_ = nullptr;
      tags_.emplace(pgf_.tag, catalog_.size());
      catalog_.push_back(std::move(pgf_));
      break;
    case Ctx::PgfFont:
      pgf_.font = font_;
      break;
    case Ctx::TabStop:
      if (pgf_.tabs.size() < 1000) pgf_.tabs.push_back(tab_);
      break;
    case Ctx::Page:
      // The master page carries the header and footer; the first one that has
      // any of them (or their margins) is kept.
      if (!havePages_ && (page_.hasHeaderFooter || page_.hasHfMargins)) {
        pages_ = page_;
        havePages_ = true;
      }
      break;
    case Ctx::Flow:
      push(EventKind::FlowEnd, token.line);
      break;
    case Ctx::Notes:
      push(EventKind::NotesEnd, token.line);
      break;
    case Ctx::Note:
      if (!noteBegun_) {
        warn(frame.line, "a footnote without <ID> or text is skipped");
        break;
      }
      push(EventKind::NoteEnd, token.line);
      break;
    case Ctx::Para:
      if (!paraBegun_) beginPara(frame.line);
      push(EventKind::ParaEnd, token.line);
      break;
    case Ctx::Font:
      push(EventKind::FontChange, frame.line);
      events_[(tail_ - 1) % events_.size()].font = &font_;
      break;
    case Ctx::Marker:
      push(EventKind::Marker, frame.line);
      events_[(tail_ - 1) % events_.size()].number = markerType_;
      events_[(tail_ - 1) % events_.size()].text = markerText_;
      break;
    default:
      break;
  }
}

void Reader::finish() {
  finished_ = true;
  if (frames_.size() > 1) {
    // Name the innermost statement that is really open.
    const Frame& inner = frames_.back();
    error(lexer_.line(), "the input ends inside " + std::to_string(frames_.size() - 1) +
                             " open statement(s), the innermost begun on line " +
                             std::to_string(inner.line));
  }
  skipDepth_ = 0;
  while (frames_.size() > 1) {
    const Frame frame = frames_.back();
    frames_.pop_back();
    switch (frame.ctx) {
      case Ctx::Pgf:
      case Ctx::Catalog:
      case Ctx::Page:
        break;
      case Ctx::Flow:
        push(EventKind::FlowEnd, lexer_.line());
        break;
      case Ctx::Notes:
        push(EventKind::NotesEnd, lexer_.line());
        break;
      case Ctx::Note:
        if (noteBegun_) push(EventKind::NoteEnd, lexer_.line());
        break;
      case Ctx::Para:
        if (!paraBegun_) beginPara(frame.line);
        push(EventKind::ParaEnd, lexer_.line());
        break;
      default:
        break;
    }
  }
  if (!prologueDone_) {
    prologueDone_ = true;
    push(EventKind::Prologue, lexer_.line());
  }
  if (lexer_.readFailed()) error(lexer_.line(), "the input could not be read to its end");
  push(EventKind::End, lexer_.line());
}

}  // namespace tyx2html
