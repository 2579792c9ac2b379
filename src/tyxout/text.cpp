// Text flows, paragraphs, characters and fonts: the containers of the
// running text, paragraphs with their lines, string and character statements,
// the in-text statements (markers, footnote, frame and variable references),
// font changes, and the stack on which the writer state can be saved.
#include <array>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "tyxout/tyxout.h"
#include "tyxout/tyxout_internal.h"

namespace vantrove {

using namespace tyxout;

namespace {

// A short statement assembled in memory and then written: the statements
// written per character, font change or paragraph would otherwise pay for
// fprintf's format parsing. Only bounded pieces go in (keywords,
// character names, numbers), so the buffer always suffices.
class Statement {
 public:
  Statement& add(std::string_view text) {
    std::memcpy(buffer_ + length_, text.data(), text.size());
    length_ += text.size();
    return *this;
  }
  Statement& decimal(std::int32_t value) {
    length_ = static_cast<std::size_t>(
        std::to_chars(buffer_ + length_, buffer_ + sizeof buffer_, value).ptr - buffer_);
    return *this;
  }
  bool writeTo(std::FILE* stream) const { return putText(stream, text()); }
  std::string_view text() const { return std::string_view(buffer_, length_); }

 private:
  char buffer_[128];
  std::size_t length_ = 0;
};

// ---------------------------------------------------------------- writer state

struct TextState {
  std::optional<std::string> family;  // none when no family is in force
  TyxDimension size{};
  TyxDimension dy{};
  std::int32_t plain = 0;
  std::int32_t bold = 0;
  std::int32_t italic = 0;
  std::int32_t underline = 0;
  std::int32_t strike = 0;
  std::int32_t supScript = 0;
  std::int32_t subScript = 0;
  std::int32_t smallCaps = 0;
  std::int32_t changeBar = 0;
  std::int32_t outline = 0;
  std::int32_t shadow = 0;
  std::int32_t pairKern = 0;
  std::int32_t locked = 0;
  std::int32_t separation = 0;
  std::int32_t overline = 0;
  std::uint8_t lastChar = 0;
  bool stringOpen = false;
};

enum class Current : std::uint8_t { None, Text, Para };

struct WriterState {
  bool paraOpen = false;
  TextState textState;  // plain-text mode
  TextState paraState;  // paragraph mode
  Current current = Current::None;
};

constexpr int kStackSlots = 5;

WriterState writer;
std::array<WriterState, kStackSlots> savedStates;
// Moves on whenever the font attributes in force may have changed.
std::uint32_t fontStamp = 1;
bool familyCopyFailed = false;
int stackDepth = 0;

TextState* currentState() {
  switch (writer.current) {
    case Current::Para:
      return &writer.paraState;
    case Current::Text:
      return &writer.textState;
    case Current::None:
      break;
  }
  return nullptr;
}

bool paraMode() {
  return writer.current == Current::Para;
}

// The emphasis attributes that a font change writes after plain, in order.
struct StyleAttribute {
  TyxFontField field;
  std::int32_t TyxFont::*value;
  std::int32_t TextState::*inState;
  std::string_view keyword;  // the statement text before the value
};

constexpr StyleAttribute kStyleAttributes[] = {
    {TyxFontField::FBold, &TyxFont::fBold, &TextState::bold, " <FBold "},
    {TyxFontField::FItalic, &TyxFont::fItalic, &TextState::italic, " <FItalic "},
    {TyxFontField::FUnderline, &TyxFont::fUnderline, &TextState::underline, " <FUnderline "},
    {TyxFontField::FStrike, &TyxFont::fStrike, &TextState::strike, " <FStrike "},
    {TyxFontField::FOverline, &TyxFont::fOverline, &TextState::overline, " <FOverline "},
    {TyxFontField::FSupScript, &TyxFont::fSupScript, &TextState::supScript, " <FSupScript "},
    {TyxFontField::FSubScript, &TyxFont::fSubScript, &TextState::subScript, " <FSubScript "},
    {TyxFontField::FChangeBar, &TyxFont::fChangeBar, &TextState::changeBar, " <FChangeBar "},
};

// The state takes a copy of the family; when no copy can be had it keeps no
// family, and the font statement is written all the same.
void copyFamily(TextState* state, const char* family) {
  try {
    state->family.emplace(family);
  } catch (const std::bad_alloc&) {
    state->family.reset();
  }
}

// Ends an open string statement of the current text state.
int closeString(std::FILE* stream) {
  TextState* state = currentState();
  if (state == nullptr || !state->stringOpen) return 1;
  state->stringOpen = false;
  return putText(stream, "'>\n") ? 1 : 0;
}

// ---------------------------------------------------------------- characters

enum class CharClass : std::uint8_t { Other, Plain, Escaped };

// Printable characters of the POSIX locale (and the tab code 8) go into string
// statements; five of them need an escape there.
constexpr std::array<CharClass, 256> kCharClass = [] {
  std::array<CharClass, 256> table{};
  for (int c = 0x20; c <= 0x7E; ++c)
    table[c] = TyxCharIsPlain(c) ? CharClass::Plain : CharClass::Escaped;
  table[TyxChar::Tab] = CharClass::Escaped;
  return table;
}();

// The statement of every numbered character, made by the compiler: one is
// written for each character outside the printable range
// ("\t<Char 200> # 0xc8\n"), after the end of the open string if there is one,
// which the text starts with.
struct NumberedChar {
  char text[27];
  std::uint8_t length;
  std::string_view view(bool closingString) const {
    const std::string_view all(text, length);
    return closingString ? all : all.substr(3);
  }
};
constexpr std::array<NumberedChar, 256> kNumberedChars = [] {
  std::array<NumberedChar, 256> table{};
  for (unsigned c = 0; c < 256; ++c) {
    NumberedChar& entry = table[c];
    std::uint8_t length = 0;
    const auto add = [&](std::string_view text) {
      for (const char ch : text) entry.text[length++] = ch;
    };
    const auto number = [&](unsigned value, unsigned base) {
      char digits[8] = {};
      int count = 0;
      do {
        digits[count++] = "0123456789abcdef"[value % base];
        value /= base;
      } while (value != 0);
      while (count > 0) entry.text[length++] = digits[--count];
    };
    add("'>\n\t<Char ");
    number(c, 10);
    add("> # 0x");
    number(c, 16);
    add("\n");
    entry.length = length;
  }
  return table;
}();

const char* escapeOf(unsigned char c) {
  switch (c) {
    case '`':
      return "\\xD4 ";
    case '\'':
      return "\\xD5 ";
    case '>':
      return "\\>";
    case '\\':
      return "\\\\";
    default:
      return "\\t";  // code 8
  }
}

int openString(TextState* state, std::FILE* stream) {
  state->stringOpen = true;
  return putText(stream, "\t<String `") ? 1 : 0;
}

// A named character statement.
int charOut(const char* name, std::FILE* stream) {
  TextState* state = currentState();
  Statement statement;
  if (state != nullptr && state->stringOpen) {
    state->stringOpen = false;
    statement.add("'>\n");
  }
  return statement.add("\t<Char ").add(name).add(">\n").writeTo(stream);
}

// Everything but an unescaped printable character.
int charOutSlow(TextState* state, unsigned char c, CharClass kind, std::FILE* stream) {
  if (kind == CharClass::Escaped) {
    if (!state->stringOpen && !openString(state, stream)) return 0;
    if (!putText(stream, escapeOf(c))) return 0;
    state->lastChar = c;
    return 1;
  }
  switch (c) {
    case TyxChar::DiscHyphen:
      if (!charOut("DiscHyphen", stream)) return 0;
      break;
    case TyxChar::NoHyphen:
      if (!charOut("NoHyphen", stream)) return 0;
      break;
    case TyxChar::NumberSpace:
      if (!charOut("NumberSpace", stream)) return 0;
      break;
    case TyxChar::HardSpace:
      if (!charOut("HardSpace", stream)) return 0;
      break;
    case TyxChar::HardReturn:
      if (!charOut("HardReturn", stream)) return 0;
      if (!putText(stream, paraMode() ? "><ParaLine\n" : "\n")) return 0;
      break;
    case TyxChar::LineEnd:
      // A line end right after a hard return is absorbed: the hard return
      // already started the new line.
      if (paraMode()) {
        if (state->lastChar != TyxChar::HardReturn) {
          if (state->stringOpen) {
            state->stringOpen = false;
            if (!putText(stream, "'>\n\t><ParaLine\n")) return 0;
          } else if (!putText(stream, "><ParaLine\n")) {
            return 0;
          }
        } else {
          c = TyxChar::HardReturn;
        }
      }
      break;
    default: {
      const bool closing = state->stringOpen;
      state->stringOpen = false;
      if (!putText(stream, kNumberedChars[c].view(closing))) return 0;
      break;
    }
  }
  state->lastChar = c;
  return 1;
}

// ---------------------------------------------------------------- paragraphs

constexpr std::int32_t kUnsetStyle = 2;  // a value no font record holds

void copyFontIntoState(TextState* state, const TyxFont& font) {
  using F = TyxFontField;
  const std::uint32_t mask = font.setMask;
  auto has = [mask](F field) { return (mask & TyxBit(field)) != 0; };
  if (has(F::FFamily)) copyFamily(state, textOrEmpty(font.fFamily));
  if (has(F::FSize)) state->size = {font.fSize.value, TyxUnitCode(TyxUnit::Point)};
  if (has(F::FPlain)) state->plain = font.fPlain;
  if (has(F::FBold)) state->bold = font.fBold;
  if (has(F::FItalic)) state->italic = font.fItalic;
  if (has(F::FUnderline)) state->underline = font.fUnderline;
  if (has(F::FStrike)) state->strike = font.fStrike;
  if (has(F::FSupScript)) state->supScript = font.fSupScript;
  if (has(F::FSubScript)) state->subScript = font.fSubScript;
  if (has(F::FSmallCaps)) state->smallCaps = font.fSmallCaps;
  if (has(F::FChangeBar)) state->changeBar = font.fChangeBar;
  if (has(F::FOutline)) state->outline = font.fOutline;
  if (has(F::FShadow)) state->shadow = font.fShadow;
  if (has(F::FPairKern)) state->pairKern = font.fPairKern;
  if (has(F::FLocked)) state->locked = font.fLocked;
  if (has(F::FSeparation)) state->separation = font.fSeparation;
  if (has(F::FOverline)) state->overline = font.fOverline;
}

int paraBegin(const TyxPgf* format, std::FILE* stream, int closeFlag) {
  ++fontStamp;
  TextState* state = currentState();
  if (state == nullptr) return 1;
  if (closeFlag != 0) state->stringOpen = false;
  // Forget the font in force so that the paragraph's first font change
  // writes every attribute it holds (superscript, subscript, overline, change
  // bar and the vertical offset carry over).
  state->lastChar = 0;
  state->family.reset();
  state->size = TyxPoints(0.0f);
  state->plain = state->bold = state->italic = state->underline = state->strike = kUnsetStyle;
  if (!paraMode()) return 1;

  static const TyxPgf kNoFormat{};
  if (format == nullptr) format = &kNoFormat;
  const char* tag = TyxParaCatalogLookup(format);
  if (!put(stream, "<Para <PgfTag `") || !put(stream, tag) || !put(stream, "'>\n")) return 0;
  if ((format->setMask & kFontBit) != 0) copyFontIntoState(state, format->pgfFont);
  return put(stream, "\t<ParaLine # Begin Para's ParaLines.\n") ? 1 : 0;
}

int paraEnd(std::FILE* stream, int closeFlag) {
  if (closeFlag != 0 && !closeString(stream)) return 0;
  if (paraMode() && !put(stream, "\t> # End Paraline.\n> # End Para.\n")) return 0;
  return 1;
}

int containerClose(std::FILE* stream, const char* closingLine) {
  if (writer.paraOpen && !TyxParaClose(stream, 1)) return 0;
  writer.current = Current::Para;
  ++fontStamp;
  return put(stream, closingLine) ? 1 : 0;
}

}  // namespace

// ---------------------------------------------------------------- in-text statements

int TyxMarkerOut(const TyxMarker* marker, std::FILE* stream) {
  if (!closeString(stream)) return 0;
  if (!put(stream, "\t<Marker\n")) return 0;
  if (!TyxFieldsOut(marker, stream, 2, TyxMarkerFields)) return 0;
  // No line end: the next statement follows on the same line.
  return put(stream, "\t>") ? 1 : 0;
}

int TyxFNoteRefOut(int footnoteNumber, std::FILE* stream) {
  if (!closeString(stream)) return 0;
  return Statement().add("\t<FNote ").decimal(footnoteNumber).add(">\n").writeTo(stream) ? 1 : 0;
}

int TyxAFrameOut(int frameId, std::FILE* stream) {
  if (!closeString(stream)) return 0;
  return printed(std::fprintf(stream, "\t<AFrame %d>", frameId));
}

int TyxVariableOut(const char* variableName, std::FILE* stream) {
  if (!closeString(stream)) return 0;
  return printed(std::fprintf(stream, "\t<VarRef <Variable `%s'>>\n", textOrEmpty(variableName)));
}

// ---------------------------------------------------------------- text flows, paragraphs,
// characters

int TyxTextFlowOpen(const TyxTextFlow* flow, std::FILE* stream) {
  if (!put(stream, "<TextFlow\n")) return 0;
  return TyxFieldsOut(flow, stream, 1, TyxTextFlowFields);
}

int TyxTextFlowClose(std::FILE* stream) {
  return containerClose(stream, "> # End TextFlow\n");
}

int TyxNotesOpen(std::FILE* stream) {
  return put(stream, "\t<Notes\n") ? 1 : 0;
}

int TyxNotesClose(std::FILE* stream) {
  return containerClose(stream, "\t> # End Notes\n");
}

int TyxFNoteTextOpen(int footnoteId, std::FILE* stream) {
  if (!put(stream, "\t\t<FNote\n")) return 0;
  return Statement().add("<ID ").decimal(footnoteId).add(">\n").writeTo(stream) ? 1 : 0;
}

int TyxFNoteTextClose(std::FILE* stream) {
  return containerClose(stream, "\t\t> # End FNote\n");
}

int TyxParaOpen(const TyxPgf* format, std::FILE* stream, int closeFlag) {
  ++fontStamp;
  if (closeFlag != 0) {
    if (writer.paraOpen && !TyxParaClose(stream, closeFlag)) return 0;
    writer.current = Current::Para;
  }
  const int begun = paraBegin(format, stream, closeFlag);
  // Open only once begun: the fatal-error paragraph, opened when memory runs
  // out in the middle of the catalog lookup, must not close a paragraph whose
  // statement was never written.
  if (closeFlag != 0) writer.paraOpen = true;
  return begun;
}

int TyxParaClose(std::FILE* stream, int closeFlag) {
  if (closeFlag == 0) return paraEnd(stream, 0);
  if (!writer.paraOpen) return 1;
  writer.paraOpen = false;
  return paraEnd(stream, closeFlag);
}

int TyxCharOut(int code, std::FILE* stream) {
  TextState* state = currentState();
  // Without a current text state there is nowhere to put the character: it
  // is dropped.
  if (state == nullptr) return 1;
  const auto c = static_cast<unsigned char>(code);
  const CharClass kind = kCharClass[c];
  if (kind != CharClass::Plain) return charOutSlow(state, c, kind, stream);
  if (!state->stringOpen && !openString(state, stream)) return 0;
  if (putc_unlocked(c, stream) == EOF) return 0;
  state->lastChar = c;
  return 1;
}

std::size_t TyxPlainCharsOut(const std::uint8_t* codes, std::size_t count, std::FILE* stream) {
  TextState* state = currentState();
  if (state == nullptr || count == 0) return count;  // dropped, as by TyxCharOut
  if (!state->stringOpen && !openString(state, stream)) return 0;
  // Fewer written means a flush failed; those before it reached the buffer.
  const std::size_t written = putBytes(stream, codes, count);
  if (written > 0) state->lastChar = codes[written - 1];
  return written;
}

int TyxTextOpen(std::FILE* stream) {
  writer.current = Current::Text;
  ++fontStamp;
  return paraBegin(nullptr, stream, 1);
}

int TyxTextClose(std::FILE* stream) {
  if (!paraEnd(stream, 1)) return 0;
  writer.current = Current::Para;
  ++fontStamp;
  return 1;
}

// ---------------------------------------------------------------- font changes and the state stack

int TyxFontOut(const TyxFont* font, std::FILE* stream) {
  TextState* state = currentState();
  // Without a current text state the change has nothing to apply to: it is dropped.
  if (state == nullptr) return 1;

  using F = TyxFontField;
  const std::uint32_t mask = font->setMask;
  auto has = [mask](F field) { return (mask & TyxBit(field)) != 0; };
  bool opened = false;
  // Opens the statement before the first attribute that changes.
  auto open = [&]() -> bool {
    if (opened) return true;
    opened = true;
    ++fontStamp;
    if (state->stringOpen) {
      state->stringOpen = false;
      if (!putText(stream, "'>\n")) return false;
    }
    return putText(stream, "\t<Font");
  };

  if (has(F::FFamily)) {
    const char* family = textOrEmpty(font->fFamily);
    if (!state->family || *state->family != family) {
      if (!open()) return 0;
      copyFamily(state, family);
      // Without its copy the family counts as changed on every call: repeats
      // must not be skipped then.
      familyCopyFailed = !state->family;
      if (!put(stream, " <FFamily `") || !put(stream, family) || !put(stream, "'>")) return 0;
    }
  }
  // Sizes are compared by number only; the state's unit stays.
  if (has(F::FSize) && font->fSize.value != state->size.value) {
    if (!open()) return 0;
    state->size.value = font->fSize.value;
    if (!putText(stream, " <FSize ") || !TyxDimensionOut(font->fSize, stream) ||
        !putText(stream, ">")) {
      return 0;
    }
  }
  if (has(F::FPlain) && font->fPlain != state->plain) {
    if (!open()) return 0;
    if (font->fPlain != 0) {
      state->bold = state->italic = state->underline = state->strike = 0;
    }
    state->plain = font->fPlain;
    if (!Statement().add(" <FPlain ").add(yesNo(font->fPlain)).add(">").writeTo(stream)) return 0;
  }
  // The emphasis attributes other than plain: any of them ends plain.
  for (const StyleAttribute& attribute : kStyleAttributes) {
    const std::int32_t value = font->*attribute.value;
    std::int32_t& inState = state->*attribute.inState;
    if (!has(attribute.field) || value == inState) continue;
    if (!open()) return 0;
    state->plain = 0;
    inState = value;
    if (!Statement().add(attribute.keyword).add(yesNo(value)).add(">").writeTo(stream)) return 0;
  }
  if (has(F::FDY) && font->fDY.value != state->dy.value) {
    if (!open()) return 0;
    state->dy = TyxPoints(font->fDY.value);
    if (!putText(stream, " <FDY ") || !TyxDimensionOut(font->fDY, stream) ||
        !putText(stream, ">")) {
      return 0;
    }
  }
  if (opened && !putText(stream, ">\n")) return 0;
  return 1;
}

int TyxPushState() {
  if (stackDepth == kStackSlots) return 0;
  savedStates[stackDepth] = std::exchange(writer, WriterState{});
  ++stackDepth;
  ++fontStamp;
  return 1;
}

int TyxPopState() {
  if (stackDepth == 0) return 0;
  --stackDepth;
  // Family copies made since the push are released here rather than lost.
  writer = std::move(savedStates[stackDepth]);
  ++fontStamp;
  return 1;
}

std::uint32_t TyxFontStamp() {
  if (familyCopyFailed) ++fontStamp;
  return fontStamp;
}

void TyxReset() {
  ++fontStamp;
  familyCopyFailed = false;
  writer = WriterState{};
  for (WriterState& saved : savedStates) saved = WriterState{};
  stackDepth = 0;
  catalogReset();
}

}  // namespace vantrove
