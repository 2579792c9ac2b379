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

// Writes `size` bytes without the stream's lock; fewer when a flush failed,
// counting those that reached the buffer before it, which is where a
// character-at-a-time putc_unlocked loop would have stopped. While the
// stream's buffer has room they are copied straight into it, through the same
// two pointers putc_unlocked works on; else fwrite_unlocked fills the buffer
// and flushes it (or handles a line-buffered or unbuffered stream).
inline std::size_t putBytes(std::FILE* stream, const void* data, std::size_t size) {
  char* const at = stream->_IO_write_ptr;
  if (size == 0) return 0;
  if (static_cast<std::size_t>(stream->_IO_write_end - at) >= size) {
    // Statements are mostly a few to a few dozen bytes: two fixed-size copies
    // that overlap in the middle cost less than a call of memcpy.
    const auto* from = static_cast<const char*>(data);
    if (size >= 16 && size <= 32) {
      std::memcpy(at, from, 16);
      std::memcpy(at + size - 16, from + size - 16, 16);
    } else if (size >= 8 && size < 16) {
      std::memcpy(at, from, 8);
      std::memcpy(at + size - 8, from + size - 8, 8);
    } else if (size >= 4 && size < 8) {
      std::memcpy(at, from, 4);
      std::memcpy(at + size - 4, from + size - 4, 4);
    } else {
      std::memcpy(at, from, size);
    }
    stream->_IO_write_ptr = at + size;
    return size;
  }
  return fwrite_unlocked(data, 1, size, stream);
}

inline bool putText(std::FILE* stream, std::string_view text) {
  return putBytes(stream, text.data(), text.size()) == text.size();
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
