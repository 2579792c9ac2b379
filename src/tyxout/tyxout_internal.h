// What the three files of the Tyx writer share and nothing else sees: the
// output helpers, the widths and loading of record fields, the field
// difference with explicit masks, and the catalog's reset.
#pragma once

#include <stdio.h>  // putc_unlocked, fwrite_unlocked

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "tyxout/tyxout.h"

namespace vantrove::tyxout {

// Texts go out without the stream's lock: short ones a character at a time
// with putc_unlocked (a call costs more than copying a few bytes), longer ones
// with one fwrite_unlocked. Either way a failed write is noticed at the byte
// whose flush failed: fwrite_unlocked fills the buffer before it flushes, as
// the character loop would.
inline bool putText(std::FILE* stream, std::string_view text) {
  if (text.size() >= 16) {
    return fwrite_unlocked(text.data(), 1, text.size(), stream) == text.size();
  }
  for (const char c : text) {
    if (putc_unlocked(static_cast<unsigned char>(c), stream) == EOF) return false;
  }
  return true;
}

inline bool put(std::FILE* stream, const char* text) {
  return putText(stream, text);
}

inline bool printed(int result) {
  return result >= 0;
}

inline const char* yesNo(std::int32_t value) {
  return value == 0 ? "No" : "Yes";
}

inline const char* textOrEmpty(const char* text) {
  return text != nullptr ? text : "";
}

// Bytes a field of this row occupies in its record.
constexpr std::size_t fieldWidth(const TyxFieldDesc& desc) {
  switch (desc.type) {
    case TyxFieldType::String:
      return sizeof(const char*);
    case TyxFieldType::Int:
    case TyxFieldType::Bool:
    case TyxFieldType::Enum:
    case TyxFieldType::Count:
      return 4;
    case TyxFieldType::Dimension:
      return sizeof(TyxDimension);
    case TyxFieldType::Dimension2:
    case TyxFieldType::Point:
      return 2 * sizeof(TyxDimension);
    case TyxFieldType::Indents:
    case TyxFieldType::Rect:
      return 4 * sizeof(TyxDimension);
    case TyxFieldType::Nested:
      return desc.nestedSize;
  }
  return 0;
}

template <typename V>
V loadField(const unsigned char* at) {
  V value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

// The field difference of TyxFieldsDiff with the masks given apart from the
// records, so that a caller can leave a field out of the comparison without
// touching them.
void fieldsDiff(const void* oldRecord, std::uint32_t oldMask, const void* newRecord,
                std::uint32_t newMask, void* out, const TyxFieldDesc* table);

// Mask bits of a paragraph format that the catalog and the paragraphs test.
constexpr std::uint32_t kTagBit = TyxBit(TyxPgfField::PgfTag);
constexpr std::uint32_t kNumTabsBit = TyxBit(TyxPgfField::PgfNumTabs);
constexpr std::uint32_t kFontBit = TyxBit(TyxPgfField::PgfFont);

// Empties the paragraph catalog and its tag counter (part of TyxReset).
void catalogReset();

}  // namespace vantrove::tyxout
