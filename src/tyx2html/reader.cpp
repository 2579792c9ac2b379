#include "tyx2html/reader.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>
#include <utility>

namespace tyx2html {

// ---------------------------------------------------------------- tokens

namespace {

constexpr std::size_t kInputBuffer = 1 << 16;

bool isSpace(int c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

bool isKeywordChar(int c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

int hexValue(int c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

Lexer::Lexer(std::FILE* in) : in_(in), buffer_(kInputBuffer) {}

bool Lexer::refill() {
  if (eof_) return false;
  pos_ = 0;
  end_ = std::fread(buffer_.data(), 1, buffer_.size(), in_);
  if (end_ == 0) {
    eof_ = true;
    if (std::ferror(in_)) readFailed_ = true;
    return false;
  }
  return true;
}

int Lexer::get() {
  if (pos_ == end_ && !refill()) return EOF;
  const int c = static_cast<unsigned char>(buffer_[pos_++]);
  if (c == '\n') ++line_;
  return c;
}

int Lexer::peek() {
  if (pos_ == end_ && !refill()) return EOF;
  return static_cast<unsigned char>(buffer_[pos_]);
}

Token Lexer::next() {
  if (stringCut_) {
    stringCut_ = false;
    return {TokenKind::Error, "the input ends inside a string begun on this line", false,
            stringLine_};
  }
  if (inString_) return string(stringLine_);
  for (;;) {
    // White space, straight from the buffer.
    while (pos_ < end_) {
      const char ch = buffer_[pos_];
      if (ch == '\n') {
        ++line_;
      } else if (!isSpace(static_cast<unsigned char>(ch))) {
        break;
      }
      ++pos_;
    }
    int c = get();
    if (c == EOF) return {TokenKind::End, {}, false, line_};
    if (isSpace(c)) continue;
    const long line = line_;
    if (c == '#') {
      // To the end of the line; the line end itself is white space.
      for (;;) {
        const void* found = std::memchr(buffer_.data() + pos_, '\n', end_ - pos_);
        if (found != nullptr) {
          pos_ = static_cast<std::size_t>(static_cast<const char*>(found) - buffer_.data());
          break;
        }
        pos_ = end_;
        if (!refill()) break;
      }
      continue;
    }
    if (c == '<') {
      text_.clear();
      for (;;) {
        const std::size_t start = pos_;
        while (pos_ < end_ && isKeywordChar(static_cast<unsigned char>(buffer_[pos_]))) ++pos_;
        text_.append(buffer_.data() + start, pos_ - start);
        if (pos_ < end_ || !refill() || text_.size() >= kPiece) break;
      }
      return {TokenKind::Open, text_, false, line};
    }
    if (c == '>') return {TokenKind::Close, {}, false, line};
    if (c == '`') {
      text_.clear();
      return string(line);
    }
    return word(c, line);
  }
}

Token Lexer::word(int first, long line) {
  text_.clear();
  text_.push_back(static_cast<char>(first));
  for (;;) {
    const int c = peek();
    if (c == EOF || isSpace(c) || c == '<' || c == '>' || c == '`' || c == '#') break;
    text_.push_back(static_cast<char>(c));
    ++pos_;
    if (text_.size() >= kPiece) break;
  }
  return {TokenKind::Word, text_, false, line};
}

// Reads string bytes into text_ until the closing quote or a full piece.
Token Lexer::string(long line) {
  if (inString_) text_.clear();
  inString_ = false;
  for (;;) {
    if (text_.size() >= kPiece) {
      inString_ = true;
      stringLine_ = line;
      return {TokenKind::Text, text_, true, line};
    }
    // Plain bytes up to the next quote or backslash, taken from the buffer at once.
    if (pos_ < end_) {
      const char* start = buffer_.data() + pos_;
      const std::size_t room = std::min(end_ - pos_, kPiece - text_.size());
      std::size_t n = 0;
      while (n < room && start[n] != '\'' && start[n] != '\\') {
        if (start[n] == '\n') ++line_;
        ++n;
      }
      text_.append(start, n);
      pos_ += n;
      if (n == room) continue;
    }
    const int c = get();
    if (c == EOF) {
      // The bytes read so far are handed over; the error follows as the next token.
      stringCut_ = true;
      stringLine_ = line;
      return {TokenKind::Text, text_, false, line};
    }
    if (c == '\'') {
      // A quote closes the string when only white space stands between it and ">".
      text_.push_back('\'');
      const std::size_t quote = text_.size();
      int d;
      while (isSpace(d = peek())) text_.push_back(static_cast<char>(get()));
      if (d == '>') {
        text_.resize(quote - 1);
        return {TokenKind::Text, text_, false, line};
      }
      continue;
    }
    if (c != '\\') {
      // The bulk copy above stopped at the end of the buffer.
      text_.push_back(static_cast<char>(c));
      continue;
    }
    const int d = peek();
    if (d == 't') {
      ++pos_;
      text_.push_back('\t');
    } else if (d == '>' || d == '\\') {
      ++pos_;
      text_.push_back(static_cast<char>(d));
    } else if (d == 'x' || d == 'X') {
      ++pos_;
      int value = hexValue(peek());
      if (value < 0) {
        text_.push_back('\\');
        text_.push_back(static_cast<char>(d));
        continue;
      }
      ++pos_;
      const int low = hexValue(peek());
      if (low >= 0) {
        ++pos_;
        value = value * 16 + low;
      }
      if (peek() == ' ') ++pos_;
      if (value == 0xD4) value = '`';
      if (value == 0xD5) value = '\'';
      text_.push_back(static_cast<char>(value));
    } else {
      text_.push_back('\\');
    }
  }
}

// ---------------------------------------------------------------- dimensions

bool parseDimension(std::string_view text, double* points) {
  double value = 0;
  const char* first = text.data();
  const char* last = first + text.size();
  if (first != last && *first == '+') ++first;
  const auto [rest, ec] = std::from_chars(first, last, value);
  if (ec != std::errc() || !(value > -1e7 && value < 1e7)) return false;
  struct Unit {
    std::string_view suffix;
    double factor;
  };
  static constexpr Unit kUnits[] = {
      {"", 1},           {"pt", 1},    {"\"", 72}, {"in", 72},     {"cm", 72 / 2.54},
      {"mm", 72 / 25.4}, {"pica", 12}, {"pc", 12}, {"dd", 1.0657}, {"cc", 12 * 1.0657},
  };
  const std::string_view suffix(rest, static_cast<std::size_t>(last - rest));
  for (const Unit& unit : kUnits) {
    if (suffix == unit.suffix) {
      *points = value * unit.factor;
      return true;
    }
  }
  return false;
}

// ---------------------------------------------------------------- keywords

namespace {

template <typename K>
struct Keyword {
  std::string_view name;
  K key;
};

template <typename K, std::size_t N>
constexpr bool sortedByName(const Keyword<K> (&table)[N]) {
  for (std::size_t i = 1; i < N; ++i) {
    if (!(table[i - 1].name < table[i].name)) return false;
  }
  return true;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

bool parseLong(std::string_view text, long* out) {
  const auto [rest, ec] = std::from_chars(text.data(), text.data() + text.size(), *out);
  return ec == std::errc() && rest == text.data() + text.size();
}

// A value name among `names`; its index, or -1.
template <std::size_t N>
int nameIndex(std::string_view text, const std::string_view (&names)[N]) {
  for (std::size_t i = 0; i < N; ++i) {
    if (text == names[i]) return static_cast<int>(i);
  }
  for (std::size_t i = 0; i < N; ++i) {
    if (equalsIgnoringCase(text, names[i])) return static_cast<int>(i);
  }
  return -1;
}

constexpr std::string_view kYesNo[] = {"No", "Yes"};
constexpr std::string_view kAlignNames[] = {"Left", "Center", "Right", "LeftRight"};
constexpr std::string_view kPlacementNames[] = {"Anywhere", "ColumnTop", "PageTop", "LPageTop",
                                                "RPageTop"};
constexpr std::string_view kTabTypeNames[] = {"Left", "Center", "Right", "Decimal"};
constexpr std::string_view kPageTypeNames[] = {"MasterPage",      "BodyPage",
                                               "ReferencePage",   "LeftMasterPage",
                                               "RightMasterPage", "OtherMasterPage"};

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

Reader::Key Reader::lookup(std::string_view keyword) {
  using K = Key;
  static constexpr Keyword<K> kKeys[] = {
      {"AFrame", K::AFrame},
      {"Char", K::Char},
      {"DAutoChBars", K::DOther},
      {"DBordersOn", K::DOther},
      {"DChBarPosition", K::DOther},
      {"DColumnGap", K::DOther},
      {"DColumns", K::DOther},
      {"DDelEmptyPages", K::DOther},
      {"DEvenPageCount", K::DOther},
      {"DFNoteAnchorPos", K::DOther},
      {"DFNoteAnchorPrefix", K::DOther},
      {"DFNoteAnchorSuffix", K::DOther},
      {"DFNoteFontTag", K::DOther},
      {"DFNoteLabels", K::DOther},
      {"DFNoteMaxH", K::DOther},
      {"DFNoteNumStyle", K::DOther},
      {"DFNoteNumberPos", K::DOther},
      {"DFNoteNumberPrefix", K::DOther},
      {"DFNoteNumberSuffix", K::DOther},
      {"DFNotePgfTag", K::DOther},
      {"DFNoteRestart", K::DOther},
      {"DFNoteSeparator", K::DOther},
      {"DFNoteTag", K::DOther},
      {"DFootOnFirst", K::DOther},
      {"DHeadOnFirst", K::DOther},
      {"DLinebreakChars", K::DOther},
      {"DMargins", K::DMargins},
      {"DPageNumStyle", K::DOther},
      {"DPageSize", K::DPageSize},
      {"DParity", K::DOther},
      {"DRelativeTabs", K::DOther},
      {"DStartPage", K::DOther},
      {"DTwoSides", K::DOther},
      {"Document", K::Document},
      {"FAngle", K::FOther},
      {"FBold", K::FBold},
      {"FChangeBar", K::FChangeBar},
      {"FDW", K::FOther},
      {"FDX", K::FOther},
      {"FDY", K::FDY},
      {"FDoubleUnderline", K::FDoubleUnderline},
      {"FFamily", K::FFamily},
      {"FItalic", K::FItalic},
      {"FLocked", K::FOther},
      {"FNote", K::FNote},
      {"FOutline", K::FOther},
      {"FOverline", K::FOverline},
      {"FPairKern", K::FOther},
      {"FPlain", K::FPlain},
      {"FSeparation", K::FOther},
      {"FShadow", K::FOther},
      {"FSize", K::FSize},
      {"FSmallCaps", K::FOther},
      {"FStrike", K::FStrike},
      {"FSubScript", K::FSubScript},
      {"FSupScript", K::FSupScript},
      {"FTag", K::FOther},
      {"FUnderline", K::FUnderline},
      {"FVar", K::FOther},
      {"FWeight", K::FOther},
      {"Font", K::Font},
      {"FooterC", K::FooterC},
      {"FooterL", K::FooterL},
      {"FooterR", K::FooterR},
      {"HFMargins", K::HFMargins},
      {"HeaderC", K::HeaderC},
      {"HeaderL", K::HeaderL},
      {"HeaderR", K::HeaderR},
      {"HyphenMaxLines", K::PgfOther},
      {"ID", K::ID},
      {"MCurrPage", K::MOther},
      {"MStyle", K::MOther},
      {"MText", K::MText},
      {"MType", K::MType},
      {"Marker", K::Marker},
      {"Notes", K::Notes},
      {"Page", K::Page},
      {"PageBackground", K::PageOther},
      {"PageNum", K::PageOther},
      {"PageOrientation", K::PageOther},
      {"PageTag", K::PageOther},
      {"PageType", K::PageType},
      {"Para", K::Para},
      {"ParaCatalog", K::ParaCatalog},
      {"ParaLine", K::ParaLine},
      {"Pgf", K::Pgf},
      {"PgfAlignment", K::PgfAlignment},
      {"PgfAutoNum", K::PgfOther},
      {"PgfBlockSize", K::PgfOther},
      {"PgfBotSeparator", K::PgfOther},
      {"PgfFIndent", K::PgfFIndent},
      {"PgfFont", K::PgfFont},
      {"PgfHyphenate", K::PgfOther},
      {"PgfLIndent", K::PgfLIndent},
      {"PgfLeading", K::PgfLeading},
      {"PgfLineSpacing", K::PgfOther},
      {"PgfNextTag", K::PgfOther},
      {"PgfNumFormat", K::PgfOther},
      {"PgfNumString", K::PgfOther},
      {"PgfNumTabs", K::PgfNumTabs},
      {"PgfPlacement", K::PgfPlacement},
      {"PgfRIndent", K::PgfRIndent},
      {"PgfSpAfter", K::PgfSpAfter},
      {"PgfSpBefore", K::PgfSpBefore},
      {"PgfTag", K::PgfTag},
      {"PgfTopSeparator", K::PgfOther},
      {"PgfUseNextTag", K::PgfOther},
      {"PgfWithNext", K::PgfOther},
      {"String", K::String},
      {"TFAutoConnect", K::TFOther},
      {"TFLineSpacing", K::TFOther},
      {"TFPostScript", K::TFOther},
      {"TFSynchronized", K::TFOther},
      {"TFTag", K::TFOther},
      {"TSDecimalChar", K::TSDecimalChar},
      {"TSLeader", K::TSLeader},
      {"TSType", K::TSType},
      {"TSX", K::TSX},
      {"TYXFile", K::TYXFile},
      {"TabStop", K::TabStop},
      {"TextFlow", K::TextFlow},
      {"TextRect", K::TextRect},
      {"TextRectID", K::TFOther},
      {"VarRef", K::VarRef},
  };
  static_assert(sortedByName(kKeys));
  // The body repeats a few keywords: a small cache in front of the search.
  static std::array<const Keyword<K>*, 64> cache{};
  if (keyword.empty()) return K::None;
  const std::size_t slot = (static_cast<unsigned char>(keyword[0]) * 7u + keyword.size() * 13u +
                            static_cast<unsigned char>(keyword.back())) %
                           cache.size();
  if (const Keyword<K>* hit = cache[slot];
      hit != nullptr && hit->name.size() == keyword.size() &&
      std::equal(keyword.begin(), keyword.end(), hit->name.begin())) {
    return hit->key;
  }
  const auto* found = std::lower_bound(
      std::begin(kKeys), std::end(kKeys), keyword,
      [](const Keyword<K>& entry, std::string_view name) { return entry.name < name; });
  if (found == std::end(kKeys) || found->name != keyword) return K::None;
  cache[slot] = found;
  return found->key;
}

// ---------------------------------------------------------------- reader

namespace {
constexpr int kMaxWarnings = 100;
constexpr std::size_t kMaxValue = 1 << 16;
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

void Reader::applyFontField(Font& font, Key key, long line) {
  const std::string_view first = valueCount_ > 0 ? std::string_view(values_[0]) : "";
  auto flag = [&](FontFlag which) {
    const int value = nameIndex(first, kYesNo);
    if (value < 0) {
      warn(line, "not Yes or No: " + std::string(first.substr(0, 40)));
      return;
    }
    font.named |= flagBit(which);
    if (value)
      font.on |= flagBit(which);
    else
      font.on &= static_cast<std::uint16_t>(~flagBit(which));
  };
  switch (key) {
    case Key::FFamily:
      font.hasFamily = true;
      font.family.assign(first.substr(0, 200));
      break;
    case Key::FSize:
      if (double size = 0; parseDimension(first, &size) && size > 0) {
        font.hasSize = true;
        font.size = std::min(size, 1000.0);
      } else {
        warn(line, "not a font size: " + std::string(first.substr(0, 40)));
      }
      break;
    case Key::FDY:
      if (double offset = 0; parseDimension(first, &offset)) {
        font.hasOffset = true;
        font.offset = std::clamp(offset, -1000.0, 1000.0);
      } else {
        warn(line, "not a dimension: " + std::string(first.substr(0, 40)));
      }
      break;
    case Key::FUnderline:
      if (equalsIgnoringCase(first, "Double")) {
        font.named |= flagBit(FontFlag::Underline) | flagBit(FontFlag::DoubleUnderline);
        font.on |= flagBit(FontFlag::DoubleUnderline);
        font.on &= static_cast<std::uint16_t>(~flagBit(FontFlag::Underline));
      } else {
        flag(FontFlag::Underline);
      }
      break;
    case Key::FPlain:
      flag(FontFlag::Plain);
      break;
    case Key::FBold:
      flag(FontFlag::Bold);
      break;
    case Key::FItalic:
      flag(FontFlag::Italic);
      break;
    case Key::FDoubleUnderline:
      flag(FontFlag::DoubleUnderline);
      break;
    case Key::FStrike:
      flag(FontFlag::Strike);
      break;
    case Key::FOverline:
      flag(FontFlag::Overline);
      break;
    case Key::FSupScript:
      flag(FontFlag::SupScript);
      break;
    case Key::FSubScript:
      flag(FontFlag::SubScript);
      break;
    case Key::FChangeBar:
      flag(FontFlag::ChangeBar);
      break;
    default:
      break;
  }
}

void Reader::applyField(Ctx owner, Key key, long line) {
  const std::string_view first = valueCount_ > 0 ? std::string_view(values_[0]) : "";
  auto dimensions = [&](double* out, std::size_t count) {
    if (valueCount_ < count) {
      warn(line, "too few values");
      return false;
    }
    double parsed[4] = {};
    for (std::size_t i = 0; i < count; ++i) {
      if (!parseDimension(values_[i], &parsed[i])) {
        warn(line, "not a dimension: " + values_[i].substr(0, 40));
        return false;
      }
    }
    std::copy(parsed, parsed + count, out);
    return true;
  };
  auto enumeration = [&](const auto& names) {
    const int value = nameIndex(first, names);
    if (value < 0) warn(line, "unknown value: " + std::string(first.substr(0, 40)));
    return value;
  };
  switch (owner) {
    case Ctx::Top:
      if (key == Key::TYXFile && first != "2.00") {
        warn(line, "Tyx version " + std::string(first.substr(0, 20)) + ", not 2.00");
      }
      break;
    case Ctx::Pgf:
      switch (key) {
        case Key::PgfTag:
          pgf_.tag.assign(first.substr(0, 200));
          break;
        case Key::PgfLIndent:
          dimensions(&pgf_.leftIndent, 1);
          break;
        case Key::PgfFIndent:
          dimensions(&pgf_.firstIndent, 1);
          break;
        case Key::PgfRIndent:
          dimensions(&pgf_.rightIndent, 1);
          break;
        case Key::PgfSpBefore:
          dimensions(&pgf_.spaceBefore, 1);
          break;
        case Key::PgfSpAfter:
          dimensions(&pgf_.spaceAfter, 1);
          break;
        case Key::PgfLeading:
          pgf_.hasLeading = dimensions(&pgf_.leading, 1);
          break;
        case Key::PgfAlignment:
          if (int value = enumeration(kAlignNames); value >= 0) {
            pgf_.align = static_cast<Align>(value);
          }
          break;
        case Key::PgfPlacement:
          if (int value = enumeration(kPlacementNames); value >= 0) pgf_.pageBreak = value > 0;
          break;
        default:
          break;
      }
      break;
    case Ctx::PgfFont:
    case Ctx::Font:
      applyFontField(font_, key, line);
      break;
    case Ctx::TabStop:
      switch (key) {
        case Key::TSX:
          dimensions(&tab_.x, 1);
          break;
        case Key::TSType:
          if (int value = enumeration(kTabTypeNames); value >= 0) {
            tab_.type = static_cast<TabType>(value);
          }
          break;
        case Key::TSLeader:
        case Key::TSDecimalChar:
          if (long code = 0; parseLong(first, &code) && code > 0 && code < 256) {
            (key == Key::TSLeader ? tab_.leader : tab_.decimalChar) = static_cast<int>(code);
          } else {
            warn(line, "not a character code: " + std::string(first.substr(0, 40)));
          }
          break;
        default:
          break;
      }
      break;
    case Ctx::Document:
      if (key == Key::DMargins) {
        dimensions(document_.margins.data(), 4);
      } else if (key == Key::DPageSize) {
        double size[2];
        if (dimensions(size, 2) && size[0] > 0 && size[1] > 0) {
          document_.width = std::min(size[0], 14400.0);
          document_.height = std::min(size[1], 14400.0);
        }
      }
      break;
    case Ctx::Page:
      switch (key) {
        case Key::PageType:
          enumeration(kPageTypeNames);
          break;
        case Key::HeaderL:
        case Key::HeaderC:
        case Key::HeaderR:
          page_.header[static_cast<std::size_t>(key) - static_cast<std::size_t>(Key::HeaderL)] =
              first.substr(0, 1000);
          page_.hasHeaderFooter = true;
          break;
        case Key::FooterL:
        case Key::FooterC:
        case Key::FooterR:
          page_.footer[static_cast<std::size_t>(key) - static_cast<std::size_t>(Key::FooterL)] =
              first.substr(0, 1000);
          page_.hasHeaderFooter = true;
          break;
        case Key::HFMargins:
          page_.hasHfMargins = dimensions(page_.hfMargins.data(), 4);
          break;
        default:
          break;
      }
      break;
    case Ctx::Note:
      if (long id = 0; key == Key::ID && !noteBegun_ && parseLong(first, &id)) {
        noteId_ = id;
        noteBegun_ = true;
        push(EventKind::NoteBegin, line);
        events_[(tail_ - 1) % events_.size()].number = id;
      } else {
        warn(line, "<ID> is not a footnote number or comes late");
      }
      break;
    case Ctx::Para:
      paraFormat_ = formatFor(first, line);
      break;
    case Ctx::Marker:
      if (key == Key::MType) {
        long type = 0;
        if (parseLong(first, &type))
          markerType_ = type;
        else
          warn(line, "not a marker type: " + std::string(first.substr(0, 40)));
      } else if (key == Key::MText) {
        markerText_.assign(first);
      }
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
