// The font map: which output font and output character each code point of an
// IBM font (named by its GFID) becomes. Loaded once from "dca.am".
#pragma once

#include <cstdint>
#include <cstdio>

namespace vantrove {

struct AmFontEntry;

// Font identity: the leading fields of AmFontSpec and AmFontEntry, and the map key.
struct AmFontKey {
  char* family;        // output family; compared only when gfid is 0
  std::uint32_t gfid;  // 0: identified by family
  std::uint8_t style;  // 1 bold, 2 italic, 4 underline, 8 strike; 0 plain
  std::uint8_t size;   // points
};

struct AmFontSpec {
  char* family;
  std::uint32_t gfid;
  std::uint8_t style;
  std::uint8_t size;
  std::uint8_t code;
};

struct AmRule {
  AmFontSpec pre;
  AmFontSpec post;
  AmRule* next;
};

struct AmFontEntry {
  char* family;
  std::uint32_t gfid;
  std::uint8_t style;
  std::uint8_t size;
  AmRule* rules;          // substitution rules of a copied font
  AmFontEntry* copyOf;    // the font this one copies, or null
  AmFontEntry** fontMap;  // 256 output fonts, or null
  std::uint8_t* codeMap;  // 256 output character codes, or null
  AmFontEntry* next;      // hash chain link
};

// Parses a whole font map stream into the map. 0 on success, nonzero on the
// first error (its text is then AmErrorText()).
int AmFontOpen(std::FILE* stream);
const char* AmErrorText();

// The source font entry for the key, resolving copied fonts on first use; null
// when there is none.
AmFontEntry* AmFontRead(const char* family, std::uint32_t gfid, std::uint8_t size,
                        std::uint8_t style);

void AmFontPrint(const AmFontEntry* entry);
void AmDump();
void AmPrintText(const char* text);
void AmPrintEntry(const void* entry);

// Drops the whole map and parser state (tests and fuzzing only; leaks nothing
// that the sanitizers would report).
void AmReset();

}  // namespace vantrove
