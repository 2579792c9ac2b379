// Records, fields and dimensions: the keyword tables of the masked records,
// the generic field writer and field difference, dimensions with their unit
// suffixes, the page-margin minimum, and the prelude, document and page
// statements, which are written field by field.
#include <array>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <string_view>

#include "tyxout/tyxout.h"
#include "tyxout/tyxout_internal.h"

namespace vantrove {

using namespace tyxout;

namespace {

// ---------------------------------------------------------------- enumeration value names

// Each list ends in a null pointer so that a value outside the list is caught.
constexpr const char* kAlignmentNames[] = {"Left", "Center", "Right", "LeftRight", nullptr};
constexpr const char* kPlacementNames[] = {"Anywhere", "ColumnTop", "PageTop",
                                           "LPageTop", "RPageTop",  nullptr};
constexpr const char* kLineSpacingNames[] = {"Fixed", "Proportional", "Floating", nullptr};
constexpr const char* kTabTypeNames[] = {"Left", "Center", "Right", "Decimal", nullptr};
constexpr const char* kParityNames[] = {"FirstLeft", "FirstRight", nullptr};
constexpr const char* kPageNumStyleNames[] = {"Arabic",  "UCRoman", "LCRoman",
                                              "UCAlpha", "LCAlpha", nullptr};
constexpr const char* kNoteNumStyleNames[] = {"Arabic",  "Alphabetic", "Custom",
                                              "LCAlpha", "UCAlpha",    nullptr};
constexpr const char* kNoteRestartNames[] = {"PerPage", "PerFlow", nullptr};
constexpr const char* kChBarPositionNames[] = {"LeftOfCol", "RightOfCol", "NearestEdge",
                                               "FurthestEdge", nullptr};
constexpr const char* kNotePosNames[] = {"FNSuperscript", "FNBaseline", "FNSubscript", nullptr};
constexpr const char* kPageTypeNames[] = {"MasterPage",     "BodyPage",        "ReferencePage",
                                          "LeftMasterPage", "RightMasterPage", "OtherMasterPage",
                                          nullptr};
constexpr const char* kOrientationNames[] = {"Portrait", "Landscape", nullptr};
constexpr const char* kCapNames[] = {"Arrow", "Butt", "Round", "Square", nullptr};
constexpr const char* kMarkerStyleNames[] = {"Plain", "Start", "End", "None", nullptr};

using T = TyxFieldType;

constexpr TyxFieldDesc row(const char* keyword, TyxFieldType type, std::size_t offset,
                           const char* const* enumNames = nullptr, std::uint8_t nestedSize = 0) {
  return TyxFieldDesc{keyword, type, enumNames, nestedSize, offset};
}
constexpr TyxFieldDesc kEnd{nullptr, T::Int, nullptr, 0, 0};

static_assert(sizeof(TyxDimension) == 8);
static_assert(sizeof(TyxFont) <= 255 && sizeof(TyxObjectData) <= 255);

}  // namespace

// ---------------------------------------------------------------- keyword tables

const TyxFieldDesc TyxFontFields[] = {
    row("FTag", T::String, offsetof(TyxFont, fTag)),
    row("FFamily", T::String, offsetof(TyxFont, fFamily)),
    row("FVar", T::String, offsetof(TyxFont, fVar)),
    row("FWeight", T::String, offsetof(TyxFont, fWeight)),
    row("FAngle", T::String, offsetof(TyxFont, fAngle)),
    row("FSize", T::Dimension, offsetof(TyxFont, fSize)),
    row("FDX", T::Dimension, offsetof(TyxFont, fDX)),
    row("FDY", T::Dimension, offsetof(TyxFont, fDY)),
    row("FDW", T::Dimension, offsetof(TyxFont, fDW)),
    row("FPlain", T::Bool, offsetof(TyxFont, fPlain)),
    row("FBold", T::Bool, offsetof(TyxFont, fBold)),
    row("FItalic", T::Bool, offsetof(TyxFont, fItalic)),
    row("FUnderline", T::Bool, offsetof(TyxFont, fUnderline)),
    row("FStrike", T::Bool, offsetof(TyxFont, fStrike)),
    row("FSupScript", T::Bool, offsetof(TyxFont, fSupScript)),
    row("FSubScript", T::Bool, offsetof(TyxFont, fSubScript)),
    row("FSmallCaps", T::Bool, offsetof(TyxFont, fSmallCaps)),
    row("FChangeBar", T::Bool, offsetof(TyxFont, fChangeBar)),
    row("FOutline", T::Bool, offsetof(TyxFont, fOutline)),
    row("FShadow", T::Bool, offsetof(TyxFont, fShadow)),
    row("FPairKern", T::Bool, offsetof(TyxFont, fPairKern)),
    row("FLocked", T::Bool, offsetof(TyxFont, fLocked)),
    row("FSeparation", T::Int, offsetof(TyxFont, fSeparation)),
    row("FOverline", T::Bool, offsetof(TyxFont, fOverline)),
    kEnd,
};

const TyxFieldDesc TyxTabStopFields[] = {
    row("TSX", T::Dimension, offsetof(TyxTabStop, tsX)),
    row("TSType", T::Enum, offsetof(TyxTabStop, tsType), kTabTypeNames),
    row("TSLeader", T::Int, offsetof(TyxTabStop, tsLeader)),
    row("TSDecimalChar", T::Int, offsetof(TyxTabStop, tsDecimalChar)),
    kEnd,
};

const TyxFieldDesc TyxPgfFields[] = {
    row("PgfTag", T::String, offsetof(TyxPgf, pgfTag)),
    row("PgfUseNextTag", T::Bool, offsetof(TyxPgf, pgfUseNextTag)),
    row("PgfNextTag", T::String, offsetof(TyxPgf, pgfNextTag)),
    row("PgfLIndent", T::Dimension, offsetof(TyxPgf, pgfLIndent)),
    row("PgfFIndent", T::Dimension, offsetof(TyxPgf, pgfFIndent)),
    row("PgfRIndent", T::Dimension, offsetof(TyxPgf, pgfRIndent)),
    row("PgfAlignment", T::Enum, offsetof(TyxPgf, pgfAlignment), kAlignmentNames),
    row("PgfTopSeparator", T::String, offsetof(TyxPgf, pgfTopSeparator)),
    row("PgfBotSeparator", T::String, offsetof(TyxPgf, pgfBotSeparator)),
    row("PgfPlacement", T::Enum, offsetof(TyxPgf, pgfPlacement), kPlacementNames),
    // The keyword really ends in a blank: the statement shows two before the value.
    row("PgfSpBefore ", T::Dimension, offsetof(TyxPgf, pgfSpBefore)),
    row("PgfSpAfter", T::Dimension, offsetof(TyxPgf, pgfSpAfter)),
    row("PgfWithNext", T::Bool, offsetof(TyxPgf, pgfWithNext)),
    row("PgfBlockSize", T::Int, offsetof(TyxPgf, pgfBlockSize)),
    row("PgfAutoNum", T::Bool, offsetof(TyxPgf, pgfAutoNum)),
    row("PgfNumFormat", T::String, offsetof(TyxPgf, pgfNumFormat)),
    row("PgfNumString", T::String, offsetof(TyxPgf, pgfNumString)),
    row("PgfLineSpacing", T::Enum, offsetof(TyxPgf, pgfLineSpacing), kLineSpacingNames),
    row("PgfLeading", T::Dimension, offsetof(TyxPgf, pgfLeading)),
    row("PgfNumTabs", T::Int, offsetof(TyxPgf, pgfNumTabs)),
    row("PgfHyphenate", T::Bool, offsetof(TyxPgf, pgfHyphenate)),
    row("HyphenMaxLines", T::Int, offsetof(TyxPgf, hyphenMaxLines)),
    row("PgfFont", T::Nested, offsetof(TyxPgf, pgfFont), nullptr, sizeof(TyxFont)),
    row("TabStop", T::Nested, offsetof(TyxPgf, tabStop), nullptr, sizeof(TyxTabStop*)),
    kEnd,
};

const TyxFieldDesc TyxDocumentFields[] = {
    row("DMargins", T::Indents, offsetof(TyxDocument, dMargins)),
    row("DColumns", T::Int, offsetof(TyxDocument, dColumns)),
    row("DColumnGap", T::Dimension, offsetof(TyxDocument, dColumnGap)),
    row("DPageSize", T::Dimension2, offsetof(TyxDocument, dPageSize)),
    row("DStartPage", T::Int, offsetof(TyxDocument, dStartPage)),
    row("DTwoSides", T::Bool, offsetof(TyxDocument, dTwoSides)),
    row("DParity", T::Enum, offsetof(TyxDocument, dParity), kParityNames),
    row("DPageNumStyle", T::Enum, offsetof(TyxDocument, dPageNumStyle), kPageNumStyleNames),
    row("DFNotePgfTag", T::String, offsetof(TyxDocument, dFNotePgfTag)),
    row("DFNoteFontTag", T::String, offsetof(TyxDocument, dFNoteFontTag)),
    row("DFNoteSeparator", T::String, offsetof(TyxDocument, dFNoteSeparator)),
    row("DFNoteMaxH", T::Dimension, offsetof(TyxDocument, dFNoteMaxH)),
    row("DFNoteNumStyle", T::Enum, offsetof(TyxDocument, dFNoteNumStyle), kNoteNumStyleNames),
    row("DFNoteLabels", T::String, offsetof(TyxDocument, dFNoteLabels)),
    row("DFNoteRestart", T::Enum, offsetof(TyxDocument, dFNoteRestart), kNoteRestartNames),
    row("DEvenPageCount", T::Bool, offsetof(TyxDocument, dEvenPageCount)),
    row("DDelEmptyPages", T::Bool, offsetof(TyxDocument, dDelEmptyPages)),
    row("DLinebreakChars", T::String, offsetof(TyxDocument, dLinebreakChars)),
    row("DAutoChBars", T::String, offsetof(TyxDocument, dAutoChBars)),
    row("DChBarPosition", T::Enum, offsetof(TyxDocument, dChBarPosition), kChBarPositionNames),
    row("DRelativeTabs", T::Bool, offsetof(TyxDocument, dRelativeTabs)),
    row("DFNoteTag", T::String, offsetof(TyxDocument, dFNoteTag)),
    row("DFNoteAnchorPrefix", T::String, offsetof(TyxDocument, dFNoteAnchorPrefix)),
    row("DFNoteAnchorSuffix", T::String, offsetof(TyxDocument, dFNoteAnchorSuffix)),
    row("DFNoteNumberPrefix", T::String, offsetof(TyxDocument, dFNoteNumberPrefix)),
    row("DFNoteNumberSuffix", T::String, offsetof(TyxDocument, dFNoteNumberSuffix)),
    row("DHeadOnFirst", T::Bool, offsetof(TyxDocument, dHeadOnFirst)),
    row("DFootOnFirst", T::Bool, offsetof(TyxDocument, dFootOnFirst)),
    row("DFNoteAnchorPos", T::Enum, offsetof(TyxDocument, dFNoteAnchorPos), kNotePosNames),
    row("DFNoteNumberPos", T::Enum, offsetof(TyxDocument, dFNoteNumberPos), kNotePosNames),
    kEnd,
};

const TyxFieldDesc TyxObjectDataFields[] = {
    row("ID", T::Int, offsetof(TyxObjectData, id)),
    row("Pen", T::Int, offsetof(TyxObjectData, pen)),
    row("PenWidth", T::Dimension, offsetof(TyxObjectData, penWidth)),
    row("Fill", T::Int, offsetof(TyxObjectData, fill)),
    row("Inverted", T::Bool, offsetof(TyxObjectData, inverted)),
    row("GroupID", T::Int, offsetof(TyxObjectData, groupID)),
    row("Separation", T::Int, offsetof(TyxObjectData, separation)),
    row("HeadCap", T::Enum, offsetof(TyxObjectData, headCap), kCapNames),
    row("TailCap", T::Enum, offsetof(TyxObjectData, tailCap), kCapNames),
    kEnd,
};

namespace {
// The masked part of a text rectangle starts at its setMask, behind the link.
constexpr std::size_t textRectOffset(std::size_t memberOffset) {
  return memberOffset - offsetof(TyxTextRect, setMask);
}
}  // namespace

const TyxFieldDesc TyxTextRectFields[] = {
    row("GenericObjectData", T::Nested, textRectOffset(offsetof(TyxTextRect, genericObjectData)),
        nullptr, sizeof(TyxObjectData)),
    row("BRect", T::Rect, textRectOffset(offsetof(TyxTextRect, bRect))),
    row("TRNext", T::Int, textRectOffset(offsetof(TyxTextRect, trNext))),
    row("TRFeather", T::Bool, textRectOffset(offsetof(TyxTextRect, trFeather))),
    kEnd,
};

const TyxFieldDesc TyxPageFields[] = {
    row("PageNum", T::Int, offsetof(TyxPage, pageNum)),
    row("PageType", T::Enum, offsetof(TyxPage, pageType), kPageTypeNames),
    row("PageOrientation", T::Enum, offsetof(TyxPage, pageOrientation), kOrientationNames),
    row("PageBackground", T::String, offsetof(TyxPage, pageBackground)),
    row("PageTag", T::String, offsetof(TyxPage, pageTag)),
    row("HeaderL", T::String, offsetof(TyxPage, headerL)),
    row("HeaderC", T::String, offsetof(TyxPage, headerC)),
    row("HeaderR", T::String, offsetof(TyxPage, headerR)),
    row("FooterL", T::String, offsetof(TyxPage, footerL)),
    row("FooterC", T::String, offsetof(TyxPage, footerC)),
    row("FooterR", T::String, offsetof(TyxPage, footerR)),
    row("HFMargins", T::Indents, offsetof(TyxPage, hfMargins)),
    row("TextRect", T::Nested, offsetof(TyxPage, textRect), nullptr, sizeof(TyxPage::textRect)),
    kEnd,
};

const TyxFieldDesc TyxMarkerFields[] = {
    row("MType", T::Int, offsetof(TyxMarker, mType)),
    row("MText", T::String, offsetof(TyxMarker, mText)),
    row("MStyle", T::Enum, offsetof(TyxMarker, mStyle), kMarkerStyleNames),
    row("FPlain", T::Bool, offsetof(TyxMarker, fPlain)),
    row("FBold", T::Bool, offsetof(TyxMarker, fBold)),
    row("FItalic", T::Bool, offsetof(TyxMarker, fItalic)),
    row("MCurrPage", T::Int, offsetof(TyxMarker, mCurrPage)),
    kEnd,
};

const TyxFieldDesc TyxTextFlowFields[] = {
    row("TFTag", T::String, offsetof(TyxTextFlow, tfTag)),
    row("TextRectID", T::Int, offsetof(TyxTextFlow, textRectID)),
    row("TFAutoConnect", T::Bool, offsetof(TyxTextFlow, tfAutoConnect)),
    row("TFPostScript", T::Bool, offsetof(TyxTextFlow, tfPostScript)),
    row("TFSynchronized", T::Bool, offsetof(TyxTextFlow, tfSynchronized)),
    row("TFLineSpacing", T::Bool, offsetof(TyxTextFlow, tfLineSpacing)),
    kEnd,
};

namespace {

constexpr const char* kIndent[] = {"", "\t", "\t\t", "\t\t\t", "\t\t\t\t"};

// Levels 4 and above all indent by four tabs.
const char* indentOf(int level) {
  if (level <= 0) return kIndent[0];
  return kIndent[level >= 4 ? 4 : level];
}

// The name of an enumeration value, or null when the value is outside the list.
const char* enumName(const char* const* names, std::uint32_t value) {
  if (names == nullptr) return nullptr;
  for (std::uint32_t i = 0; names[i] != nullptr; ++i) {
    if (i == value) return names[i];
  }
  return nullptr;
}

std::uint32_t loadMask(const void* record) {
  return loadField<std::uint32_t>(static_cast<const unsigned char*>(record));
}

int dimensionsOut(const TyxDimension* dims, int count, std::FILE* stream) {
  for (int i = 0; i < count; ++i) {
    if (i > 0 && std::putc(' ', stream) == EOF) return 0;
    if (!TyxDimensionOut(dims[i], stream)) return 0;
  }
  return 1;
}

// The start of a field statement: indent, "<" and keyword, then a blank.
bool stmtOpen(std::FILE* stream, const char* indent, const char* keyword) {
  return put(stream, indent) && putText(stream, "<") && put(stream, keyword) &&
         putText(stream, " ");
}

// A field statement whose value is a word or a number: "<Keyword value>".
int stmtOut(std::FILE* stream, const char* indent, const char* keyword, std::string_view value) {
  return stmtOpen(stream, indent, keyword) && putText(stream, value) && putText(stream, ">\n");
}

template <typename Number>
int stmtNumberOut(std::FILE* stream, const char* indent, const char* keyword, Number value) {
  char digits[16];
  const char* end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  return stmtOut(stream, indent, keyword, std::string_view(digits, end - digits));
}

int stmtDimensionsOut(const TyxDimension* dims, int count, std::FILE* stream, const char* indent,
                      const char* keyword) {
  if (!stmtOpen(stream, indent, keyword)) return 0;
  if (!dimensionsOut(dims, count, stream)) return 0;
  return put(stream, ">\n") ? 1 : 0;
}

// One field statement of the generic field writer.
int fieldOut(const unsigned char* at, std::FILE* stream, const char* indent,
             const TyxFieldDesc& desc) {
  const char* keyword = desc.keyword;
  switch (desc.type) {
    case T::String:
      return stmtOpen(stream, indent, keyword) && putText(stream, "`") &&
             put(stream, textOrEmpty(loadField<const char*>(at))) && putText(stream, "'>\n");
    case T::Int:
    case T::Count:
      return stmtNumberOut(stream, indent, keyword, loadField<std::int32_t>(at));
    case T::Bool:
      return stmtOut(stream, indent, keyword, yesNo(loadField<std::int32_t>(at)));
    case T::Enum: {
      const auto value = loadField<std::uint32_t>(at);
      if (const char* name = enumName(desc.enumNames, value)) {
        return stmtOut(stream, indent, keyword, name);
      }
      // A value without a name is written as its number rather than read out of bounds.
      return stmtNumberOut(stream, indent, keyword, value);
    }
    case T::Dimension:
    case T::Dimension2:
    case T::Point:
    case T::Indents:
    case T::Rect: {
      std::array<TyxDimension, 4> dims{};
      const int count = static_cast<int>(fieldWidth(desc) / sizeof(TyxDimension));
      std::memcpy(dims.data(), at, fieldWidth(desc));
      return stmtDimensionsOut(dims.data(), count, stream, indent, keyword);
    }
    case T::Nested:
      return 1;  // the record's owner writes nested records itself
  }
  return 1;
}

bool sameValue(const unsigned char* oldAt, const unsigned char* newAt, const TyxFieldDesc& desc) {
  if (desc.type == T::String) {
    return std::strcmp(textOrEmpty(loadField<const char*>(oldAt)),
                       textOrEmpty(loadField<const char*>(newAt))) == 0;
  }
  return std::memcmp(oldAt, newAt, fieldWidth(desc)) == 0;
}

}  // namespace

void tyxout::fieldsDiff(const void* oldRecord, std::uint32_t oldMask, const void* newRecord,
                        std::uint32_t newMask, void* out, const TyxFieldDesc* table) {
  const auto* oldBase = static_cast<const unsigned char*>(oldRecord);
  const auto* newBase = static_cast<const unsigned char*>(newRecord);
  auto* outBase = static_cast<unsigned char*>(out);
  std::uint32_t outMask = 0;
  for (std::uint32_t i = 0; table[i].keyword != nullptr; ++i) {
    const std::uint32_t bit = std::uint32_t{1} << i;
    if ((newMask & bit) == 0) continue;
    const TyxFieldDesc& desc = table[i];
    // Nested records are never compared: only their presence counts.
    const bool different =
        (oldMask & bit) == 0 ||
        (desc.type != T::Nested && !sameValue(oldBase + desc.offset, newBase + desc.offset, desc));
    if (different) {
      outMask |= bit;
      std::memmove(outBase + desc.offset, newBase + desc.offset, fieldWidth(desc));
    }
  }
  std::memcpy(outBase, &outMask, sizeof outMask);
}

// ---------------------------------------------------------------- statement primitives

int TyxPreludeOut(std::FILE* stream, const char* generatorName) {
  if (!printed(
          std::fprintf(stream, "<TYXFile 2.00> # Generated by %s\n", textOrEmpty(generatorName)))) {
    return 0;
  }
  return put(stream, "include(tyx_read.m4)\n") ? 1 : 0;
}

int TyxDimensionOut(const TyxDimension& dimension, std::FILE* stream) {
  static constexpr const char* kSuffix[] = {"\"", "cm", "mm", "pica", "pt", "dd", "cc"};
  if (dimension.unit > TyxUnitCode(TyxUnit::Cicero)) return 1;
  // A float widened to double needs at most 39 integral digits, a sign, a
  // point and three decimals: the buffer always suffices.
  char text[64];
  char* end;
  const double value = dimension.value;
  const double halves = 2.0 * value;
  if (halves == std::trunc(halves) && std::fabs(value) < 1e9) {
    // Whole and half units (font sizes, their offsets) need no general
    // conversion: the three decimals are .000 or .500.
    end = text;
    if (std::signbit(value)) *end++ = '-';
    const auto count = static_cast<std::uint64_t>(std::fabs(halves));
    end = std::to_chars(end, text + sizeof text, count / 2).ptr;
    std::memcpy(end, count % 2 != 0 ? ".500" : ".000", 4);
    end += 4;
  } else {
    // snprintf rather than the equivalent std::to_chars, whose library code
    // would bring the maths library into every start of the program.
    end = text + std::snprintf(text, sizeof text, "%.3f", value);
  }
  if (!putText(stream, std::string_view(text, static_cast<std::size_t>(end - text)))) return 0;
  return putText(stream, kSuffix[dimension.unit]) ? 1 : 0;
}

int TyxDimension2Out(const TyxDimension* pair, std::FILE* stream) {
  return dimensionsOut(pair, 2, stream);
}

int TyxIndentsOut(const TyxDimension* four, std::FILE* stream) {
  return dimensionsOut(four, 4, stream);
}

int TyxRectOut(const TyxDimension* four, std::FILE* stream) {
  return dimensionsOut(four, 4, stream);
}

int TyxStmtDimensionOut(const TyxDimension& dimension, std::FILE* stream, int level,
                        const char* keyword) {
  return stmtDimensionsOut(&dimension, 1, stream, indentOf(level), keyword);
}

int TyxStmtDimension2Out(const TyxDimension* pair, std::FILE* stream, int level,
                         const char* keyword) {
  return stmtDimensionsOut(pair, 2, stream, indentOf(level), keyword);
}

int TyxStmtIndentsOut(const TyxDimension* four, std::FILE* stream, int level, const char* keyword) {
  return stmtDimensionsOut(four, 4, stream, indentOf(level), keyword);
}

int TyxStmtRectOut(const TyxDimension* four, std::FILE* stream, int level, const char* keyword) {
  return stmtDimensionsOut(four, 4, stream, indentOf(level), keyword);
}

int TyxFieldsOut(const void* record, std::FILE* stream, int level, const TyxFieldDesc* table) {
  const auto* base = static_cast<const unsigned char*>(record);
  const std::uint32_t mask = loadMask(record);
  const char* indent = indentOf(level);
  for (std::uint32_t i = 0; table[i].keyword != nullptr; ++i) {
    if ((mask & (std::uint32_t{1} << i)) == 0) continue;
    if (!fieldOut(base + table[i].offset, stream, indent, table[i])) return 0;
  }
  return 1;
}

int TyxFieldsDiff(const void* oldRecord, const void* newRecord, void* out,
                  const TyxFieldDesc* table) {
  fieldsDiff(oldRecord, loadMask(oldRecord), newRecord, loadMask(newRecord), out, table);
  return 1;
}

void TyxMarginMinimum(TyxDimension* dimension) {
  double factor = 0.0;
  switch (static_cast<TyxUnit>(dimension->unit)) {
    case TyxUnit::Inch:
      factor = 1.0;
      break;
    case TyxUnit::Centimetre:
      factor = 2.54;
      break;
    case TyxUnit::Millimetre:
      factor = 25.4;
      break;
    case TyxUnit::Pica:
      factor = 6.0;
      break;
    case TyxUnit::Point:
      factor = 72.0;
      break;
    default:
      return;  // didot, cicero and unknown units are left alone
  }
  // The threshold is computed in double precision, so the float nearest 0.35
  // inch (just below it) is raised as well.
  if (static_cast<double>(dimension->value) < (0.25 + 0.1) * factor) {
    dimension->value = static_cast<float>(0.25 * factor);
  }
}

// ---------------------------------------------------------------- document and page statements

int TyxDocumentOut(TyxDocument* document, std::FILE* stream) {
  if (!put(stream, "<Document\n")) return 0;
  if (!put(stream, " <DBordersOn Yes>\n")) return 0;
  for (TyxDimension& margin : document->dMargins) TyxMarginMinimum(&margin);
  document->setMask &= ~TyxBit(TyxDocumentField::DRelativeTabs);
  if (!TyxFieldsOut(document, stream, 1, TyxDocumentFields)) return 0;
  return put(stream, ">\n") ? 1 : 0;
}

int TyxPageOut(TyxPage* page, std::FILE* stream) {
  if (!put(stream, "<Page\n")) return 0;
  for (TyxDimension& margin : page->hfMargins) TyxMarginMinimum(&margin);
  if (!TyxFieldsOut(page, stream, 1, TyxPageFields)) return 0;
  if ((page->setMask & TyxBit(TyxPageField::TextRect)) != 0 &&
      !TyxTextRectOut(page->textRect[1], stream)) {
    return 0;
  }
  return put(stream, ">\n") ? 1 : 0;
}

int TyxTextRectOut(const TyxTextRect* head, std::FILE* stream) {
  for (const TyxTextRect* node = head; node != nullptr; node = node->next) {
    if (!put(stream, "\t<TextRect\n")) return 0;
    if (!TyxFieldsOut(&node->genericObjectData, stream, 2, TyxObjectDataFields)) return 0;
    if (!TyxFieldsOut(&node->setMask, stream, 2, TyxTextRectFields)) return 0;
    if (!put(stream, "\t>\n")) return 0;
  }
  return 1;
}

}  // namespace vantrove
