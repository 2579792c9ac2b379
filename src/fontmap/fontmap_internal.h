// What the parser and the lookup of the font map share and nothing else sees:
// the map itself, the allocation of its entries and character tables, and
// the lookup's reset.
#pragma once

#include <cstdint>
#include <memory>
#include <new>

#include "fontmap/fontmap.h"
#include "tools/hash.h"

namespace vantrove::fontmap {

constexpr int kCodePoints = 256;

// Style bits of an output font.
constexpr std::uint8_t kStyleBold = 1;
constexpr std::uint8_t kStyleItalic = 2;
constexpr std::uint8_t kStyleUnderline = 4;
constexpr std::uint8_t kStyleStrike = 8;

inline const char* textOf(const char* family) {
  return family != nullptr ? family : "";
}

inline bool hasTable(const AmFontEntry* entry) {
  return entry->codeMap != nullptr && entry->fontMap != nullptr;
}

// Every font entry, keyed by font identity (made by the parser's first load).
HashTable& fontTable();

// A new zeroed entry, which the font map keeps until AmReset; null when
// memory ran out.
AmFontEntry* newEntry();

// A character table under construction: for each source code point an output
// code and an output font.
struct CharTable {
  std::unique_ptr<std::uint8_t[]> codes;
  std::unique_ptr<AmFontEntry*[]> fonts;

  // False when memory ran out.
  bool allocate() {
    codes.reset(new (std::nothrow) std::uint8_t[kCodePoints]);
    fonts.reset(new (std::nothrow) AmFontEntry*[kCodePoints]);
    return codes != nullptr && fonts != nullptr;
  }
  // The entry keeps both halves until AmReset.
  void giveTo(AmFontEntry* entry) {
    entry->codeMap = codes.release();
    entry->fontMap = fonts.release();
  }
};

// Forgets the lookup cache and the lookup's spare entry (part of AmReset).
void lookupReset();

}  // namespace vantrove::fontmap
