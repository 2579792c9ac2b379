// The Tyx writer: keyword tables, the generic field writer, dimensions,
// paragraph formats and their catalog, document and page statements, text
// flows, paragraphs, characters, font changes and the writer state stack.
#include "tyxout/tyxout.h"

#include <stdio.h>  // putc_unlocked

#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace vantrove {

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

// Bytes a field of this row occupies in its record.
constexpr std::size_t fieldWidth(const TyxFieldDesc& desc) {
  switch (desc.type) {
    case T::String:
      return sizeof(const char*);
    case T::Int:
    case T::Bool:
    case T::Enum:
    case T::Count:
      return 4;
    case T::Dimension:
      return sizeof(TyxDimension);
    case T::Dimension2:
    case T::Point:
      return 2 * sizeof(TyxDimension);
    case T::Indents:
    case T::Rect:
      return 4 * sizeof(TyxDimension);
    case T::Nested:
      return desc.nestedSize;
  }
  return 0;
}

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

// ---------------------------------------------------------------- output helpers

// Texts go out a character at a time with putc_unlocked: fputs and fwrite
// take the stream's lock on every call, which costs more than copying the few
// bytes of a statement. A failed write is still noticed, at the byte whose
// flush failed.
bool putText(std::FILE* stream, std::string_view text) {
  for (const char c : text) {
    if (putc_unlocked(static_cast<unsigned char>(c), stream) == EOF) return false;
  }
  return true;
}
bool put(std::FILE* stream, const char* text) {
  return putText(stream, text);
}
bool printed(int result) {
  return result >= 0;
}

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
  Statement& hex(unsigned value) {
    length_ = static_cast<std::size_t>(
        std::to_chars(buffer_ + length_, buffer_ + sizeof buffer_, value, 16).ptr - buffer_);
    return *this;
  }
  bool writeTo(std::FILE* stream) const { return putText(stream, text()); }
  std::string_view text() const { return std::string_view(buffer_, length_); }

 private:
  char buffer_[128];
  std::size_t length_ = 0;
};

constexpr const char* kIndent[] = {"", "\t", "\t\t", "\t\t\t", "\t\t\t\t"};

// Levels 4 and above all indent by four tabs.
const char* indentOf(int level) {
  if (level <= 0) return kIndent[0];
  return kIndent[level >= 4 ? 4 : level];
}

const char* yesNo(std::int32_t value) {
  return value == 0 ? "No" : "Yes";
}

const char* textOrEmpty(const char* text) {
  return text != nullptr ? text : "";
}

// The name of an enumeration value, or null when the value is outside the list.
const char* enumName(const char* const* names, std::uint32_t value) {
  if (names == nullptr) return nullptr;
  for (std::uint32_t i = 0; names[i] != nullptr; ++i) {
    if (i == value) return names[i];
  }
  return nullptr;
}

template <typename V>
V loadField(const unsigned char* at) {
  V value;
  std::memcpy(&value, at, sizeof value);
  return value;
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

int stmtDimensionsOut(const TyxDimension* dims, int count, std::FILE* stream, const char* indent,
                      const char* keyword) {
  if (!printed(std::fprintf(stream, "%s<%s ", indent, keyword))) return 0;
  if (!dimensionsOut(dims, count, stream)) return 0;
  return put(stream, ">\n") ? 1 : 0;
}

// One field statement of the generic field writer.
int fieldOut(const unsigned char* at, std::FILE* stream, const char* indent,
             const TyxFieldDesc& desc) {
  const char* keyword = desc.keyword;
  switch (desc.type) {
    case T::String:
      return printed(std::fprintf(stream, "%s<%s `%s'>\n", indent, keyword,
                                  textOrEmpty(loadField<const char*>(at))));
    case T::Int:
    case T::Count:
      return printed(
          std::fprintf(stream, "%s<%s %d>\n", indent, keyword, loadField<std::int32_t>(at)));
    case T::Bool:
      return printed(
          std::fprintf(stream, "%s<%s %s>\n", indent, keyword, yesNo(loadField<std::int32_t>(at))));
    case T::Enum: {
      const auto value = loadField<std::uint32_t>(at);
      if (const char* name = enumName(desc.enumNames, value)) {
        return printed(std::fprintf(stream, "%s<%s %s>\n", indent, keyword, name));
      }
      // A value without a name is written as its number rather than read out of bounds.
      return printed(std::fprintf(stream, "%s<%s %u>\n", indent, keyword, value));
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

// The field difference with explicit masks, so that a caller can leave a field
// out of the comparison without touching the records.
void fieldsDiff(const void* oldRecord, std::uint32_t oldMask, const void* newRecord,
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

// ---------------------------------------------------------------- allocation

// Allocations that may fail without ending the run (catalog entries, family
// copies) go through malloc: a failure is answered by the caller's fallback.
struct FreeDeleter {
  void operator()(void* p) const noexcept { std::free(p); }
};
template <typename V>
using MallocPtr = std::unique_ptr<V, FreeDeleter>;

int allocationsLeft = -1;  // negative: no limit

void* tryAlloc(std::size_t size) {
  if (allocationsLeft == 0) return nullptr;
  if (allocationsLeft > 0) --allocationsLeft;
  return std::malloc(size);
}

MallocPtr<char> copyText(const char* text) {
  const std::size_t length = std::strlen(text);
  MallocPtr<char> copy(static_cast<char*>(tryAlloc(length + 1)));
  if (copy) std::memcpy(copy.get(), text, length + 1);
  return copy;
}

// ---------------------------------------------------------------- paragraph catalog

constexpr std::uint32_t kTagBit = TyxBit(TyxPgfField::PgfTag);
constexpr std::uint32_t kNumTabsBit = TyxBit(TyxPgfField::PgfNumTabs);
constexpr std::uint32_t kFontBit = TyxBit(TyxPgfField::PgfFont);

const char* formatTag(const TyxPgf* format) {
  return (format->setMask & kTagBit) != 0 ? textOrEmpty(format->pgfTag) : "";
}

std::size_t tabCount(const TyxPgf* format) {
  return format->pgfNumTabs > 0 ? static_cast<std::size_t>(format->pgfNumTabs) : 0;
}

// Copies newRecord's tab stops into out's buffer and marks out as having them.
void copyTabStops(const TyxPgf* newRecord, TyxPgf* out) {
  const std::size_t count = tabCount(newRecord);
  if (count > 0 && out->tabStop != nullptr && newRecord->tabStop != nullptr &&
      out->tabStop != newRecord->tabStop) {
    std::memmove(out->tabStop, newRecord->tabStop, count * sizeof(TyxTabStop));
  }
  out->pgfNumTabs = newRecord->pgfNumTabs;
  out->setMask |= kNumTabsBit;
}

bool tabStopsAlike(const TyxPgf* oldRecord, const TyxPgf* newRecord) {
  const std::size_t count = tabCount(newRecord);
  if (count == 0) return true;
  if (oldRecord->tabStop == nullptr || newRecord->tabStop == nullptr) return false;
  for (std::size_t i = 0; i < count; ++i) {
    TyxTabStop scratch{};
    TyxFieldsDiff(&oldRecord->tabStop[i], &newRecord->tabStop[i], &scratch, TyxTabStopFields);
    if (scratch.setMask != 0) return false;
  }
  return true;
}

struct CatalogEntry {
  CatalogEntry* next;  // the next older entry
  TyxPgf format;       // pgfTag points at `tag`
  char* tag;           // owned
  TyxTabStop* tabs;    // owned copy of the tab stops, or null when none was made
  int used;
  std::uint64_t age;  // creation number: a newer entry has a larger one
};

void destroyEntry(CatalogEntry* entry) {
  std::free(entry->tag);
  std::free(entry->tabs);
  std::free(entry);
}

// Whether entry E serves a paragraph of format P: P adds nothing to E (every
// field P holds is in E with the same value, font and tab stops included) and
// E's tag begins with P's tag.
bool entryServes(const CatalogEntry* entry, const TyxPgf* format, const char* tag,
                 std::size_t tagLength) {
  // A field the paragraph has and the entry lacks always counts as added.
  if ((format->setMask & ~kTagBit & ~entry->format.setMask) != 0) return false;
  if (std::strncmp(entry->tag, tag, tagLength) != 0) return false;
  TyxPgf scratch{};
  scratch.tabStop = format->tabStop;
  TyxPgfDiff(1, &entry->format, format, &scratch);
  return scratch.setMask == 0;
}

// Which fields a paragraph format holds: its own (the tag aside), its font's
// and each tab stop's. An entry can serve a format only when it holds every
// field the format holds, so entries are grouped by shape and a lookup visits
// only the groups whose shape covers the format's.
struct FormatShape {
  std::uint32_t pgfMask = 0;   // without the tag bit
  std::uint32_t fontMask = 0;  // when the format has a paragraph font
  // Tab stops are counted but there is no array to compare: such a format
  // can never be served, and such an entry never serves a format with tabs.
  bool tabsMissing = false;
  std::vector<std::uint32_t> tabMasks;  // when the format has tab stops

  bool operator==(const FormatShape&) const = default;
};

// FNV-1a over the bytes given.
class ByteHash {
 public:
  void add(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < size; ++i) value_ = (value_ ^ bytes[i]) * 0x100000001B3u;
  }
  std::uint64_t value() const { return value_; }

 private:
  std::uint64_t value_ = 0xCBF29CE484222325u;
};

struct FormatShapeHash {
  std::size_t operator()(const FormatShape& shape) const noexcept {
    ByteHash hash;
    hash.add(&shape.pgfMask, sizeof shape.pgfMask);
    hash.add(&shape.fontMask, sizeof shape.fontMask);
    hash.add(&shape.tabsMissing, sizeof shape.tabsMissing);
    hash.add(shape.tabMasks.data(), shape.tabMasks.size() * sizeof(std::uint32_t));
    return static_cast<std::size_t>(hash.value());
  }
};

FormatShape shapeOf(const TyxPgf* format) {
  FormatShape shape;
  shape.pgfMask = format->setMask & ~kTagBit;
  if ((shape.pgfMask & kFontBit) != 0) shape.fontMask = format->pgfFont.setMask;
  if ((shape.pgfMask & kNumTabsBit) != 0) {
    const std::size_t count = tabCount(format);
    if (count > 0 && format->tabStop == nullptr) {
      shape.tabsMissing = true;
    } else {
      shape.tabMasks.reserve(count);
      for (std::size_t i = 0; i < count; ++i) shape.tabMasks.push_back(format->tabStop[i].setMask);
    }
  }
  return shape;
}

// Whether an entry of shape `outer` holds every field a format of shape
// `inner` holds, which it must to serve that format.
bool covers(const FormatShape& outer, const FormatShape& inner) {
  if ((inner.pgfMask & ~outer.pgfMask) != 0) return false;
  if ((inner.pgfMask & kFontBit) != 0 && (inner.fontMask & ~outer.fontMask) != 0) return false;
  if ((inner.pgfMask & kNumTabsBit) == 0) return true;
  if (inner.tabsMissing || outer.tabsMissing) return false;
  if (inner.tabMasks.size() != outer.tabMasks.size()) return false;
  for (std::size_t i = 0; i < inner.tabMasks.size(); ++i) {
    if ((inner.tabMasks[i] & ~outer.tabMasks[i]) != 0) return false;
  }
  return true;
}

// Hashes the values of the fields of `record` that `mask` names, as the field
// difference compares them: texts by their characters, everything else by its
// bytes; nested records not at all.
void hashFields(ByteHash& hash, const void* record, std::uint32_t mask, const TyxFieldDesc* table) {
  const auto* base = static_cast<const unsigned char*>(record);
  for (std::uint32_t i = 0; table[i].keyword != nullptr; ++i) {
    if ((mask & (std::uint32_t{1} << i)) == 0) continue;
    const TyxFieldDesc& desc = table[i];
    const unsigned char* at = base + desc.offset;
    if (desc.type == T::String) {
      const char* text = textOrEmpty(loadField<const char*>(at));
      hash.add(text, std::strlen(text) + 1);
    } else if (desc.type != T::Nested) {
      hash.add(at, fieldWidth(desc));
    }
  }
}

// Hash of the values of the fields a format of shape `shape` holds, read from
// `format`, whose own shape must cover `shape`. A format and an entry that
// serves it hash alike under the format's shape.
std::uint64_t valuesHash(const FormatShape& shape, const TyxPgf* format) {
  ByteHash hash;
  hashFields(hash, format, shape.pgfMask, TyxPgfFields);
  if ((shape.pgfMask & kFontBit) != 0) {
    hashFields(hash, &format->pgfFont, shape.fontMask, TyxFontFields);
  }
  if ((shape.pgfMask & kNumTabsBit) != 0) {
    for (std::size_t i = 0; i < shape.tabMasks.size(); ++i) {
      hashFields(hash, &format->tabStop[i], shape.tabMasks[i], TyxTabStopFields);
    }
  }
  return hash.value();
}

// Newest entry first; entries live until the program ends or the writer is
// reset. Besides the list, the catalog keeps the set of tags in use and its
// entries grouped by shape. Each group hashes its entries, for up to a few
// format shapes that it covers, by the values of that shape's fields, so that
// a lookup probes one bucket per group instead of comparing every entry.
class Catalog {
 public:
  Catalog() = default;
  Catalog(const Catalog&) = delete;
  Catalog& operator=(const Catalog&) = delete;
  ~Catalog() { clear(); }

  CatalogEntry* head() const { return head_; }
  void push(CatalogEntry* entry) {
    entry->next = head_;
    head_ = entry;
    entry->age = ++age_;
    tags_.insert(entry->tag);
    FormatShape shape = shapeOf(&entry->format);
    auto found = groupOf_.find(shape);
    if (found == groupOf_.end()) {
      groups_.push_back(std::make_unique<Group>());
      groups_.back()->shape = shape;
      found = groupOf_.emplace(std::move(shape), groups_.back().get()).first;
    }
    Group& group = *found->second;
    group.entries.push_back(entry);
    for (auto& [formatShape, index] : group.indexes) {
      index[valuesHash(formatShape, &entry->format)].push_back(entry);
    }
  }
  bool hasTag(const char* tag) const { return tags_.contains(tag); }
  int nextTagNumber() { return ++tagNumber_; }

  // The newest entry that serves the format, or null.
  CatalogEntry* find(const TyxPgf* format) {
    const char* tag = formatTag(format);
    const std::size_t tagLength = std::strlen(tag);
    const FormatShape shape = shapeOf(format);
    std::uint64_t hash = 0;
    bool hashed = false;
    CatalogEntry* best = nullptr;
    // Walks entries newest first up to the first that serves the format; none
    // older than the best found so far can win.
    auto newestServing = [&](auto first, auto last) {
      for (; first != last && (best == nullptr || (*first)->age > best->age); ++first) {
        if (entryServes(*first, format, tag, tagLength)) {
          best = *first;
          return;
        }
      }
    };
    for (const auto& group : groups_) {
      if (best != nullptr && group->entries.back()->age < best->age) continue;
      if (!covers(group->shape, shape)) continue;
      const Index* index = indexOf(*group, shape);
      if (index == nullptr) {
        newestServing(group->entries.rbegin(), group->entries.rend());
        continue;
      }
      if (!hashed) {
        hash = valuesHash(shape, format);
        hashed = true;
      }
      if (auto bucket = index->find(hash); bucket != index->end()) {
        newestServing(bucket->second.rbegin(), bucket->second.rend());
      }
    }
    return best;
  }

  void clear() {
    while (head_ != nullptr) {
      CatalogEntry* next = head_->next;
      destroyEntry(head_);
      head_ = next;
    }
    tagNumber_ = 0;
    age_ = 0;
    tags_.clear();
    groupOf_.clear();
    groups_.clear();
  }

 private:
  // Entries of one group by the hash of the values of one format shape's
  // fields; each bucket oldest first.
  using Index = std::unordered_map<std::uint64_t, std::vector<CatalogEntry*>>;
  struct Group {
    FormatShape shape;
    std::vector<CatalogEntry*> entries;  // oldest first
    std::unordered_map<FormatShape, Index, FormatShapeHash> indexes;
  };
  // A group asked about ever more format shapes is walked instead of indexed
  // once more, so that the indexes stay within a few pointers per entry.
  static constexpr std::size_t kIndexesPerGroup = 4;

  const Index* indexOf(Group& group, const FormatShape& shape) {
    if (auto found = group.indexes.find(shape); found != group.indexes.end()) {
      return &found->second;
    }
    if (group.indexes.size() == kIndexesPerGroup) return nullptr;
    Index& index = group.indexes[shape];
    for (CatalogEntry* entry : group.entries) {
      index[valuesHash(shape, &entry->format)].push_back(entry);
    }
    return &index;
  }

  CatalogEntry* head_ = nullptr;
  int tagNumber_ = 0;  // shared by the numbered variants of all tags
  std::uint64_t age_ = 0;
  std::unordered_set<std::string_view> tags_;  // views of the entries' own tags
  std::vector<std::unique_ptr<Group>> groups_;
  std::unordered_map<FormatShape, Group*, FormatShapeHash> groupOf_;
};

Catalog catalog;

// ---------------------------------------------------------------- writer state

struct TextState {
  MallocPtr<char> family;  // null when no family is in force
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
  for (int c = 0x20; c <= 0x7E; ++c) table[c] = CharClass::Plain;
  for (int c : {int{'`'}, int{'\''}, int{'>'}, int{'\\'}, TyxChar::Tab})
    table[c] = CharClass::Escaped;
  return table;
}();

// The statement of every numbered character, made once: one is written for
// each character outside the printable range.
struct NumberedChar {
  char text[24];
  std::uint8_t length;
  std::string_view view() const { return std::string_view(text, length); }
};
const std::array<NumberedChar, 256> kNumberedChars = [] {
  std::array<NumberedChar, 256> table{};
  for (int c = 0; c < 256; ++c) {
    Statement statement;
    statement.add("\t<Char ").decimal(c).add("> # 0x").hex(static_cast<unsigned>(c)).add("\n");
    const std::string_view text = statement.text();
    std::memcpy(table[c].text, text.data(), text.size());
    table[c].length = static_cast<std::uint8_t>(text.size());
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
    default:
      if (state->stringOpen) {
        state->stringOpen = false;
        if (!putText(stream, "'>\n")) return 0;
      }
      if (!putText(stream, kNumberedChars[c].view())) return 0;
      break;
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
  if (has(F::FFamily)) state->family = copyText(textOrEmpty(font.fFamily));
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
    end = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 3).ptr;
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

// ---------------------------------------------------------------- paragraph formats and catalog

void TyxPgfDiff(int ignoreTag, const TyxPgf* oldRecord, const TyxPgf* newRecord, TyxPgf* out) {
  const bool newHasTabs = (newRecord->setMask & kNumTabsBit) != 0;
  if (ignoreTag == 0 && (newRecord->setMask & kTagBit) != 0) {
    TyxTabStop* buffer = out->tabStop;
    *out = *newRecord;
    out->tabStop = buffer;
    if (newHasTabs) copyTabStops(newRecord, out);
    return;
  }
  std::uint32_t oldMask = oldRecord->setMask;
  std::uint32_t newMask = newRecord->setMask;
  if (ignoreTag != 0) {
    oldMask &= ~kTagBit;
    newMask &= ~kTagBit;
  }
  fieldsDiff(oldRecord, oldMask, newRecord, newMask, out, TyxPgfFields);

  if ((newMask & kFontBit) != 0) {
    if ((oldMask & kFontBit) != 0) {
      TyxFieldsDiff(&oldRecord->pgfFont, &newRecord->pgfFont, &out->pgfFont, TyxFontFields);
      if (out->pgfFont.setMask != 0) out->setMask |= kFontBit;
    } else {
      out->pgfFont = newRecord->pgfFont;
    }
  }

  if (!newHasTabs) return;
  if ((oldMask & kNumTabsBit) != 0 && oldRecord->pgfNumTabs == newRecord->pgfNumTabs &&
      tabStopsAlike(oldRecord, newRecord)) {
    return;
  }
  copyTabStops(newRecord, out);
}

int TyxPgfOut(const TyxPgf* format, std::FILE* stream) {
  if (!put(stream, "<Pgf\n")) return 0;
  if (!TyxFieldsOut(format, stream, 1, TyxPgfFields)) return 0;
  if ((format->setMask & kFontBit) != 0) {
    if (!put(stream, "\t<PgfFont\n")) return 0;
    if (!TyxFieldsOut(&format->pgfFont, stream, 2, TyxFontFields)) return 0;
    if (!put(stream, "\t>\n")) return 0;
  }
  if ((format->setMask & kNumTabsBit) != 0) {
    if (format->pgfNumTabs == 0) {
      // Written on top of the field statement above: such a format carries
      // the count twice.
      if (!put(stream, "\t<PgfNumTabs 0>\n")) return 0;
    } else if (format->tabStop != nullptr) {
      for (std::size_t i = 0; i < tabCount(format); ++i) {
        if (!put(stream, "\t<TabStop\n")) return 0;
        if (!TyxFieldsOut(&format->tabStop[i], stream, 2, TyxTabStopFields)) return 0;
        if (!put(stream, "\t>\n")) return 0;
      }
    }
  }
  return put(stream, ">\n") ? 1 : 0;
}

const char* TyxParaCatalogAdd(const TyxPgf* format, int keepTag) {
  const char* tag = formatTag(format);
  const bool tagTaken = catalog.hasTag(tag);

  char suffix[16] = "";
  int used = 0;
  if (keepTag == 0 && tagTaken) {
    std::snprintf(suffix, sizeof suffix, "%d", catalog.nextTagNumber());
    used = 1;
  }

  MallocPtr<CatalogEntry> entry(static_cast<CatalogEntry*>(tryAlloc(sizeof(CatalogEntry))));
  if (!entry) return nullptr;
  const std::size_t tagLength = std::strlen(tag);
  const std::size_t suffixLength = std::strlen(suffix);
  MallocPtr<char> ownTag(static_cast<char*>(tryAlloc(tagLength + suffixLength + 1)));
  if (!ownTag) return nullptr;
  std::memcpy(ownTag.get(), tag, tagLength);
  std::memcpy(ownTag.get() + tagLength, suffix, suffixLength + 1);

  MallocPtr<TyxTabStop> ownTabs;
  const std::size_t tabs = tabCount(format);
  if ((format->setMask & kNumTabsBit) != 0 && tabs > 0 && format->tabStop != nullptr) {
    ownTabs.reset(static_cast<TyxTabStop*>(tryAlloc(tabs * sizeof(TyxTabStop))));
    if (!ownTabs) return nullptr;
    std::memcpy(ownTabs.get(), format->tabStop, tabs * sizeof(TyxTabStop));
  }

  CatalogEntry* made = entry.release();
  made->next = nullptr;
  made->format = *format;
  made->tag = ownTag.release();
  made->format.pgfTag = made->tag;
  made->tabs = ownTabs.release();
  if (made->tabs != nullptr) made->format.tabStop = made->tabs;
  made->used = used;
  catalog.push(made);
  return made->tag;
}

const char* TyxParaCatalogNew(const TyxPgf* format) {
  return TyxParaCatalogAdd(format, 1);
}

const char* TyxParaCatalogLookup(const TyxPgf* format) {
  // The first entry, newest first, that serves the format.
  if (CatalogEntry* entry = catalog.find(format)) {
    entry->used = 1;
    return entry->tag;
  }
  const char* made = TyxParaCatalogAdd(format, 0);
  if (catalog.head() != nullptr) catalog.head()->used = 1;
  return made != nullptr ? made : "memory full";
}

int TyxParaCatalogOut(std::FILE* stream) {
  if (!put(stream, "<ParaCatalog\n")) return 0;
  for (const CatalogEntry* entry = catalog.head(); entry != nullptr; entry = entry->next) {
    if (entry->used != 0 && !TyxPgfOut(&entry->format, stream)) return 0;
  }
  return put(stream, "> # End ParaCatalog\n") ? 1 : 0;
}

// ---------------------------------------------------------------- document, page, in-text
// statements

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
    writer.paraOpen = true;
    writer.current = Current::Para;
  }
  return paraBegin(format, stream, closeFlag);
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

std::size_t TyxCharsOut(const std::uint8_t* codes, std::size_t count, std::FILE* stream) {
  TextState* state = currentState();
  if (state == nullptr) return count;  // dropped, as by TyxCharOut
  std::size_t i = 0;
  while (i < count) {
    const unsigned char c = codes[i];
    const CharClass kind = kCharClass[c];
    if (kind != CharClass::Plain) {
      if (!charOutSlow(state, c, kind, stream)) return i;
      ++i;
      continue;
    }
    if (!state->stringOpen && !openString(state, stream)) return i;
    // The printable characters from here on go into the open string as they are.
    const std::size_t start = i;
    do {
      if (putc_unlocked(codes[i], stream) == EOF) {
        if (i > start) state->lastChar = codes[i - 1];
        return i;
      }
      ++i;
    } while (i < count && kCharClass[codes[i]] == CharClass::Plain);
    state->lastChar = codes[i - 1];
  }
  return count;
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
    if (!state->family || std::strcmp(state->family.get(), family) != 0) {
      if (!open()) return 0;
      state->family = copyText(family);  // stays null when the copy fails
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

void TyxSetAllocationLimit(int count) {
  allocationsLeft = count;
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
  catalog.clear();
  allocationsLeft = -1;
}

}  // namespace vantrove
