// The Tyx writer.
//
// Records that are printed field by field are "masked records": the first word
// is `setMask`, bit i of which says that field i of the record's keyword table
// holds a value to write. The order of the rows of a keyword table fixes both
// the mask bits (the *Field enumerations below) and the order of the fields in
// the record. Every writer operation takes the output stream as an argument and
// returns 1 when everything was written, 0 as soon as a write failed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace vantrove {

// Results of the writer operations.
constexpr int TyxWriteFailed = 0;
constexpr int TyxWriteOk = 1;

enum class TyxUnit : std::uint32_t {
  Inch = 0,
  Centimetre = 1,
  Millimetre = 2,
  Pica = 3,
  Point = 4,
  Didot = 5,
  Cicero = 6,
};

struct TyxDimension {
  float value;
  std::uint32_t unit;  // a TyxUnit code; codes above 6 write nothing
};

constexpr std::uint32_t TyxUnitCode(TyxUnit unit) {
  return static_cast<std::uint32_t>(unit);
}
constexpr TyxDimension TyxInches(float value) {
  return {value, TyxUnitCode(TyxUnit::Inch)};
}
constexpr TyxDimension TyxPoints(float value) {
  return {value, TyxUnitCode(TyxUnit::Point)};
}

// Mask bit of a field enumeration value.
template <typename Field>
constexpr std::uint32_t TyxBit(Field field) {
  return std::uint32_t{1} << static_cast<std::uint32_t>(field);
}

enum class TyxFieldType : std::uint8_t {
  String = 0,
  Int = 1,
  Bool = 2,
  Dimension = 3,
  Dimension2 = 4,
  Point = 5,
  Indents = 6,
  Enum = 7,
  Count = 8,
  Nested = 9,
  Rect = 10,
};

// One row of a keyword table; a row with a null keyword ends the table.
struct TyxFieldDesc {
  const char* keyword;
  TyxFieldType type;
  const char* const* enumNames;
  std::uint8_t nestedSize;
  std::size_t offset;  // byte offset of the field inside its record
};

// ---------------------------------------------------------------- fonts, tabs, paragraph formats

enum class TyxFontField : std::uint32_t {
  FTag,
  FFamily,
  FVar,
  FWeight,
  FAngle,
  FSize,
  FDX,
  FDY,
  FDW,
  FPlain,
  FBold,
  FItalic,
  FUnderline,
  FStrike,
  FSupScript,
  FSubScript,
  FSmallCaps,
  FChangeBar,
  FOutline,
  FShadow,
  FPairKern,
  FLocked,
  FSeparation,
  FOverline,
};

struct TyxFont {
  std::uint32_t setMask;
  const char* fTag;
  const char* fFamily;
  const char* fVar;
  const char* fWeight;
  const char* fAngle;
  TyxDimension fSize;
  TyxDimension fDX;
  TyxDimension fDY;
  TyxDimension fDW;
  std::int32_t fPlain;
  std::int32_t fBold;
  std::int32_t fItalic;
  std::int32_t fUnderline;
  std::int32_t fStrike;
  std::int32_t fSupScript;
  std::int32_t fSubScript;
  std::int32_t fSmallCaps;
  std::int32_t fChangeBar;
  std::int32_t fOutline;
  std::int32_t fShadow;
  std::int32_t fPairKern;
  std::int32_t fLocked;
  std::int32_t fSeparation;
  std::int32_t fOverline;
};

enum class TyxTabStopField : std::uint32_t { TSX, TSType, TSLeader, TSDecimalChar };
enum class TyxTabType : std::uint32_t { Left = 0, Center = 1, Right = 2, Decimal = 3 };

struct TyxTabStop {
  std::uint32_t setMask;
  TyxDimension tsX;
  std::uint32_t tsType;  // TyxTabType code
  std::int32_t tsLeader;
  std::int32_t tsDecimalChar;
};

enum class TyxPgfField : std::uint32_t {
  PgfTag,
  PgfUseNextTag,
  PgfNextTag,
  PgfLIndent,
  PgfFIndent,
  PgfRIndent,
  PgfAlignment,
  PgfTopSeparator,
  PgfBotSeparator,
  PgfPlacement,
  PgfSpBefore,
  PgfSpAfter,
  PgfWithNext,
  PgfBlockSize,
  PgfAutoNum,
  PgfNumFormat,
  PgfNumString,
  PgfLineSpacing,
  PgfLeading,
  PgfNumTabs,
  PgfHyphenate,
  HyphenMaxLines,
  PgfFont,
  TabStop,
};
enum class TyxAlignment : std::uint32_t { Left = 0, Center = 1, Right = 2, LeftRight = 3 };
enum class TyxPlacement : std::uint32_t {
  Anywhere = 0,
  ColumnTop = 1,
  PageTop = 2,
  LPageTop = 3,
  RPageTop = 4,
};

struct TyxPgf {
  std::uint32_t setMask;
  const char* pgfTag;
  std::int32_t pgfUseNextTag;
  const char* pgfNextTag;
  TyxDimension pgfLIndent;
  TyxDimension pgfFIndent;
  TyxDimension pgfRIndent;
  std::uint32_t pgfAlignment;  // TyxAlignment code
  const char* pgfTopSeparator;
  const char* pgfBotSeparator;
  std::uint32_t pgfPlacement;  // TyxPlacement code
  TyxDimension pgfSpBefore;
  TyxDimension pgfSpAfter;
  std::int32_t pgfWithNext;
  std::int32_t pgfBlockSize;
  std::int32_t pgfAutoNum;
  const char* pgfNumFormat;
  const char* pgfNumString;
  std::uint32_t pgfLineSpacing;
  TyxDimension pgfLeading;
  std::int32_t pgfNumTabs;
  std::int32_t pgfHyphenate;
  std::int32_t hyphenMaxLines;
  TyxFont pgfFont;
  TyxTabStop* tabStop;  // array of pgfNumTabs tab stops
};

// ---------------------------------------------------------------- document, page, markers

enum class TyxDocumentField : std::uint32_t {
  DMargins,
  DColumns,
  DColumnGap,
  DPageSize,
  DStartPage,
  DTwoSides,
  DParity,
  DPageNumStyle,
  DFNotePgfTag,
  DFNoteFontTag,
  DFNoteSeparator,
  DFNoteMaxH,
  DFNoteNumStyle,
  DFNoteLabels,
  DFNoteRestart,
  DEvenPageCount,
  DDelEmptyPages,
  DLinebreakChars,
  DAutoChBars,
  DChBarPosition,
  DRelativeTabs,
  DFNoteTag,
  DFNoteAnchorPrefix,
  DFNoteAnchorSuffix,
  DFNoteNumberPrefix,
  DFNoteNumberSuffix,
  DHeadOnFirst,
  DFootOnFirst,
  DFNoteAnchorPos,
  DFNoteNumberPos,
};
enum class TyxNoteNumStyle : std::uint32_t {
  Arabic = 0,
  Alphabetic = 1,
  Custom = 2,
  LCAlpha = 3,
  UCAlpha = 4,
};
enum class TyxNoteRestart : std::uint32_t { PerPage = 0, PerFlow = 1 };
enum class TyxNotePos : std::uint32_t { FNSuperscript = 0, FNBaseline = 1, FNSubscript = 2 };

// Indices of the four dimensions of an indents or rectangle value in the
// margin fields (DMargins, HFMargins).
enum TyxMarginIndex : int { TyxLeft = 0, TyxTop = 1, TyxRight = 2, TyxBottom = 3 };

struct TyxDocument {
  std::uint32_t setMask;
  TyxDimension dMargins[4];  // left, top, right, bottom
  std::int32_t dColumns;
  TyxDimension dColumnGap;
  TyxDimension dPageSize[2];  // width, height
  std::int32_t dStartPage;
  std::int32_t dTwoSides;
  std::uint32_t dParity;
  std::uint32_t dPageNumStyle;
  const char* dFNotePgfTag;
  const char* dFNoteFontTag;
  const char* dFNoteSeparator;
  TyxDimension dFNoteMaxH;
  std::uint32_t dFNoteNumStyle;
  const char* dFNoteLabels;
  std::uint32_t dFNoteRestart;
  std::int32_t dEvenPageCount;
  std::int32_t dDelEmptyPages;
  const char* dLinebreakChars;
  const char* dAutoChBars;
  std::uint32_t dChBarPosition;
  std::int32_t dRelativeTabs;
  const char* dFNoteTag;
  const char* dFNoteAnchorPrefix;
  const char* dFNoteAnchorSuffix;
  const char* dFNoteNumberPrefix;
  const char* dFNoteNumberSuffix;
  std::int32_t dHeadOnFirst;
  std::int32_t dFootOnFirst;
  std::uint32_t dFNoteAnchorPos;
  std::uint32_t dFNoteNumberPos;
};

enum class TyxObjectDataField : std::uint32_t {
  ID,
  Pen,
  PenWidth,
  Fill,
  Inverted,
  GroupID,
  Separation,
  HeadCap,
  TailCap,
};

struct TyxObjectData {
  std::uint32_t setMask;
  std::int32_t id;
  std::int32_t pen;
  TyxDimension penWidth;
  std::int32_t fill;
  std::int32_t inverted;
  std::int32_t groupID;
  std::int32_t separation;
  std::uint32_t headCap;
  std::uint32_t tailCap;
};

enum class TyxTextRectField : std::uint32_t { GenericObjectData, BRect, TRNext, TRFeather };

struct TyxTextRect {
  TyxTextRect* next;
  // The masked record proper starts here.
  std::uint32_t setMask;
  TyxObjectData genericObjectData;
  TyxDimension bRect[4];  // left, top, width, height
  std::int32_t trNext;
  std::int32_t trFeather;
};

enum class TyxPageField : std::uint32_t {
  PageNum,
  PageType,
  PageOrientation,
  PageBackground,
  PageTag,
  HeaderL,
  HeaderC,
  HeaderR,
  FooterL,
  FooterC,
  FooterR,
  HFMargins,
  TextRect,
};
enum class TyxPageType : std::uint32_t {
  MasterPage = 0,
  BodyPage = 1,
  ReferencePage = 2,
  LeftMasterPage = 3,
  RightMasterPage = 4,
  OtherMasterPage = 5,
};

struct TyxPage {
  std::uint32_t setMask;
  std::int32_t pageNum;
  std::uint32_t pageType;  // TyxPageType code
  std::uint32_t pageOrientation;
  const char* pageBackground;
  const char* pageTag;
  const char* headerL;
  const char* headerC;
  const char* headerR;
  const char* footerL;
  const char* footerC;
  const char* footerR;
  TyxDimension hfMargins[4];  // left, top, right, bottom
  TyxTextRect* textRect[2];   // both set to the list head; the writer reads the second
};

enum class TyxMarkerField : std::uint32_t {
  MType,
  MText,
  MStyle,
  FPlain,
  FBold,
  FItalic,
  MCurrPage
};

struct TyxMarker {
  std::uint32_t setMask;
  std::int32_t mType;
  const char* mText;
  std::uint32_t mStyle;
  std::int32_t fPlain;
  std::int32_t fBold;
  std::int32_t fItalic;
  std::int32_t mCurrPage;
};

enum class TyxTextFlowField : std::uint32_t {
  TFTag,
  TextRectID,
  TFAutoConnect,
  TFPostScript,
  TFSynchronized,
  TFLineSpacing,
};

struct TyxTextFlow {
  std::uint32_t setMask;
  const char* tfTag;
  std::int32_t textRectID;
  std::int32_t tfAutoConnect;
  std::int32_t tfPostScript;
  std::int32_t tfSynchronized;
  std::int32_t tfLineSpacing;
};

// Keyword tables, terminated by a row with a null keyword.
extern const TyxFieldDesc TyxFontFields[];
extern const TyxFieldDesc TyxTabStopFields[];
extern const TyxFieldDesc TyxPgfFields[];
extern const TyxFieldDesc TyxDocumentFields[];
extern const TyxFieldDesc TyxObjectDataFields[];
extern const TyxFieldDesc TyxTextRectFields[];  // offsets relative to &TyxTextRect::setMask
extern const TyxFieldDesc TyxPageFields[];
extern const TyxFieldDesc TyxMarkerFields[];
extern const TyxFieldDesc TyxTextFlowFields[];

// ---------------------------------------------------------------- writer character codes

namespace TyxChar {
constexpr int DiscHyphen = 4;
constexpr int NoHyphen = 5;
constexpr int Tab = 8;
constexpr int HardReturn = 9;
constexpr int LineEnd = 10;
constexpr int NumberSpace = 16;
constexpr int HardSpace = 17;
}  // namespace TyxChar

// Whether a character goes into a string statement as it is: the printable
// characters of the POSIX locale but the four that are escaped there.
constexpr bool TyxCharIsPlain(int code) {
  return code >= 0x20 && code <= 0x7E && code != '`' && code != '\'' && code != '>' && code != '\\';
}

// ---------------------------------------------------------------- statement primitives

int TyxPreludeOut(std::FILE* stream, const char* generatorName);
int TyxDimensionOut(const TyxDimension& dimension, std::FILE* stream);
int TyxDimension2Out(const TyxDimension* pair, std::FILE* stream);
int TyxIndentsOut(const TyxDimension* four, std::FILE* stream);
int TyxRectOut(const TyxDimension* four, std::FILE* stream);
int TyxStmtDimensionOut(const TyxDimension& dimension, std::FILE* stream, int level,
                        const char* keyword);
int TyxStmtDimension2Out(const TyxDimension* pair, std::FILE* stream, int level,
                         const char* keyword);
int TyxStmtIndentsOut(const TyxDimension* four, std::FILE* stream, int level, const char* keyword);
int TyxStmtRectOut(const TyxDimension* four, std::FILE* stream, int level, const char* keyword);
// `record` points at the record's setMask word.
int TyxFieldsOut(const void* record, std::FILE* stream, int level, const TyxFieldDesc* table);
int TyxFieldsDiff(const void* oldRecord, const void* newRecord, void* out,
                  const TyxFieldDesc* table);
void TyxMarginMinimum(TyxDimension* dimension);

// ---------------------------------------------------------------- paragraph formats and catalog

// `out->tabStop` must point at a buffer big enough for newRecord's tab stops.
void TyxPgfDiff(int ignoreTag, const TyxPgf* oldRecord, const TyxPgf* newRecord, TyxPgf* out);
int TyxPgfOut(const TyxPgf* format, std::FILE* stream);
// The new entry's tag, or null when memory ran out.
const char* TyxParaCatalogAdd(const TyxPgf* format, int keepTag);
const char* TyxParaCatalogNew(const TyxPgf* format);
// The tag of the catalog entry a paragraph with this format uses (marked used).
const char* TyxParaCatalogLookup(const TyxPgf* format);
int TyxParaCatalogOut(std::FILE* stream);

// ---------------------------------------------------------------- document, page, in-text
// statements

int TyxDocumentOut(TyxDocument* document, std::FILE* stream);
int TyxPageOut(TyxPage* page, std::FILE* stream);
int TyxTextRectOut(const TyxTextRect* head, std::FILE* stream);
int TyxMarkerOut(const TyxMarker* marker, std::FILE* stream);
int TyxFNoteRefOut(int footnoteNumber, std::FILE* stream);
int TyxAFrameOut(int frameId, std::FILE* stream);
int TyxVariableOut(const char* variableName, std::FILE* stream);

// ---------------------------------------------------------------- text flows, paragraphs,
// characters

int TyxTextFlowOpen(const TyxTextFlow* flow, std::FILE* stream);
int TyxTextFlowClose(std::FILE* stream);
int TyxNotesOpen(std::FILE* stream);
int TyxNotesClose(std::FILE* stream);
int TyxFNoteTextOpen(int footnoteId, std::FILE* stream);
int TyxFNoteTextClose(std::FILE* stream);
int TyxParaOpen(const TyxPgf* format, std::FILE* stream, int closeFlag);
int TyxParaClose(std::FILE* stream, int closeFlag);
int TyxCharOut(int code, std::FILE* stream);
// Writes `count` characters, every one of them plain (TyxCharIsPlain), as that
// many TyxCharOut calls would, and returns how many of them were written
// before a write failed (`count` when none did).
std::size_t TyxPlainCharsOut(const std::uint8_t* codes, std::size_t count, std::FILE* stream);
int TyxTextOpen(std::FILE* stream);
int TyxTextClose(std::FILE* stream);

// ---------------------------------------------------------------- font changes and the state stack

int TyxFontOut(const TyxFont* font, std::FILE* stream);
int TyxPushState();
int TyxPopState();
// A number that changes whenever the font attributes in force may have
// changed. A TyxFontOut call repeating the previous call's record while the
// stamp has not moved since would write nothing, so the caller may skip it.
std::uint32_t TyxFontStamp();

// Returns the writer and the catalog to their state at program start (tests and
// fuzzing only).
void TyxReset();

}  // namespace vantrove
