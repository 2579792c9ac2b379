// Reading a Tyx file as vantrove writes it: a reader on top of the tokenizer
// that keeps the paragraph catalog, the document and page settings, and hands
// the text over as a stream of events, one at a time, so that the body is
// never held whole. The statement structure and the events are in reader.cpp,
// the keyword table and what field statements set in the model in fields.cpp.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "tyx2html/tokenizer.h"

namespace tyx2html {

// ---------------------------------------------------------------- the model

// The attributes a font record names. Sizes and offsets are in points; a
// positive vertical offset moves the text down.
enum class FontFlag : int {
  Plain,
  Bold,
  Italic,
  Underline,
  DoubleUnderline,
  Strike,
  Overline,
  SupScript,
  SubScript,
  ChangeBar,
};
constexpr std::uint16_t flagBit(FontFlag flag) {
  return static_cast<std::uint16_t>(1u << static_cast<int>(flag));
}

struct Font {
  bool hasFamily = false;
  bool hasSize = false;
  bool hasOffset = false;
  std::string family;
  double size = 0;
  double offset = 0;
  std::uint16_t named = 0;  // flags the record names (flagBit)
  std::uint16_t on = 0;     // their values
};

enum class Align { Left, Center, Right, Justify };
enum class TabType { Left, Center, Right, Decimal };

struct TabStop {
  double x = 0;  // points from the left edge of the text column
  TabType type = TabType::Left;
  int leader = ' ';
  int decimalChar = '.';
};

// One format of the paragraph catalog. Indents are in points from the edges
// of the text column; the first-line indent is measured like the left one.
struct Format {
  std::string tag;
  int index = -1;  // place in the catalog; -1 for the fallback format
  double leftIndent = 0;
  double firstIndent = 0;
  double rightIndent = 0;
  double spaceBefore = 0;
  double spaceAfter = 0;
  double leading = 0;
  bool hasLeading = false;
  Align align = Align::Left;
  bool pageBreak = false;  // placed at the top of a column or page
  Font font;
  std::vector<TabStop> tabs;  // in order of position
};

// Lengths in points; margins in the order left, top, right, bottom.
struct Document {
  double width = 612;
  double height = 792;
  std::array<double, 4> margins{72, 72, 72, 72};
};

enum Side : int { kLeft = 0, kTop = 1, kRight = 2, kBottom = 3 };

// The header and footer texts of the master page and their margins.
struct PageSetup {
  std::array<std::string, 3> header;  // left, centre, right
  std::array<std::string, 3> footer;
  bool hasHeaderFooter = false;
  std::array<double, 4> hfMargins{};
  bool hasHfMargins = false;
};

// ---------------------------------------------------------------- events

enum class EventKind {
  Prologue,  // catalog, document and pages are read; the text follows
  FlowBegin,
  FlowEnd,
  NotesBegin,
  NotesEnd,
  NoteBegin,  // id
  NoteEnd,
  ParaBegin,  // format
  ParaEnd,
  LineBreak,   // one line of the paragraph ends and another begins
  Text,        // text: character codes, tab included
  Char,        // a named character: point (0 for none), or hardReturn
  Code,        // a numbered character: code
  FontChange,  // font: the attributes that change
  Marker,      // number (its type) and text
  NoteRef,     // id
  End,
};

struct Event {
  EventKind kind = EventKind::End;
  std::string_view text;
  const Format* format = nullptr;
  const Font* font = nullptr;
  char32_t point = 0;
  bool hardReturn = false;
  bool tab = false;
  int code = 0;
  long number = 0;  // note id, marker type
  long line = 0;
};

enum class Severity { Warning, Error };
using Report = std::function<void(Severity, long line, std::string_view message)>;

// Reads events from a Tyx file. Statements it does not know are skipped whole
// with a warning. An unbalanced ">" is an error and is passed over; at the end
// of the input, statements still open are an error and are closed, so the
// events always balance.
class Reader {
 public:
  Reader(std::FILE* in, Report report);
  // The next event; after End, End again.
  const Event& next();

  const std::vector<Format>& catalog() const { return catalog_; }
  const Document& document() const { return document_; }
  const PageSetup& pages() const { return pages_; }
  int errors() const { return errors_; }
  bool readFailed() const { return lexer_.readFailed(); }

 private:
  // Where a statement stands: the kind of statement that is open.
  enum class Ctx : std::uint8_t {
    Top,
    Catalog,
    Pgf,
    PgfFont,
    TabStop,
    Document,
    Page,
    Flow,
    Notes,
    Note,
    Para,
    Line,
    Font,
    Marker,
    Field,   // a statement of values, applied to its owner when it closes
    String,  // text of a paragraph line
    Char,    // a named or numbered character
    Ref,     // a footnote reference
    Skip,    // a statement passed over with everything inside it
  };
  // The keywords the reader knows; the "Other" keys are known and not shown.
  enum class Key : std::uint8_t {
    None,
    TYXFile,
    ParaCatalog,
    Pgf,
    PgfFont,
    TabStop,
    Document,
    Page,
    TextRect,
    TextFlow,
    Notes,
    FNote,
    ID,
    Para,
    ParaLine,
    String,
    Char,
    Font,
    Marker,
    AFrame,
    VarRef,
    PgfTag,
    PgfLIndent,
    PgfFIndent,
    PgfRIndent,
    PgfAlignment,
    PgfPlacement,
    PgfSpBefore,
    PgfSpAfter,
    PgfLeading,
    PgfNumTabs,
    PgfOther,
    FFamily,
    FSize,
    FDY,
    FPlain,
    FBold,
    FItalic,
    FUnderline,
    FDoubleUnderline,
    FStrike,
    FOverline,
    FSupScript,
    FSubScript,
    FChangeBar,
    FOther,
    TSX,
    TSType,
    TSLeader,
    TSDecimalChar,
    DMargins,
    DPageSize,
    DOther,
    PageType,
    HeaderL,
    HeaderC,
    HeaderR,
    FooterL,
    FooterC,
    FooterR,
    HFMargins,
    PageOther,
    TFOther,
    MType,
    MText,
    MOther,
  };
  static Key lookup(std::string_view keyword);
  struct Frame {
    Ctx ctx;
    Key key;
    long line;
  };

  void warn(long line, std::string_view message);
  void error(long line, std::string_view message);
  void push(EventKind kind, long line);
  void open(const Token& token);
  void close(const Token& token);
  void value(const Token& token);
  void applyField(Ctx owner, Key key, long line);
  void applyFontField(Font& font, Key key, long line);
  void beginPara(long line);
  void finish();
  const Format* formatFor(std::string_view tag, long line);

  Lexer lexer_;
  Report report_;
  int errors_ = 0;
  int warnings_ = 0;

  std::vector<Frame> frames_;
  long skipDepth_ = 0;  // statements open inside a skipped one
  bool seenHeader_ = false;
  bool prologueDone_ = false;
  bool finished_ = false;

  // Values of the field statement being read.
  std::array<std::string, 4> values_;
  std::size_t valueCount_ = 0;
  bool valueOpen_ = false;  // the last value is a string still being read

  // Records being filled.
  Format pgf_;
  TabStop tab_;
  Font font_;
  long markerType_ = 0;
  std::string markerText_;
  const Format* paraFormat_ = nullptr;
  bool paraBegun_ = false;
  int paraLines_ = 0;
  bool noteBegun_ = false;
  long noteId_ = 0;
  PageSetup page_;

  // Tags looked up by string_view without a copy.
  struct TagHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view tag) const {
      return std::hash<std::string_view>{}(tag);
    }
  };
  std::vector<Format> catalog_;
  std::unordered_map<std::string, std::size_t, TagHash, std::equal_to<>> tags_;
  const Format* lastFormat_ = nullptr;
  Format fallback_;
  int missingTags_ = 0;
  Document document_;
  PageSetup pages_;
  bool havePages_ = false;

  // Events waiting to be handed out; the current one is events_[head_ - 1].
  std::array<Event, 16> events_;
  std::size_t head_ = 0;
  std::size_t tail_ = 0;
  Event current_;
};

// Points in a dimension value: a number and its unit (" or in, cm, mm, pica
// or pc, pt, dd, cc; none means points). False when it is no dimension.
bool parseDimension(std::string_view text, double* points);
// A whole number in decimal that is all of `text`.
bool parseLong(std::string_view text, long* out);

}  // namespace tyx2html
