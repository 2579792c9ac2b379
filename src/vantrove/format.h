// The format records and the translation state.
//
// A master format is kept as one record already in the shape of the output:
// the paragraph format, document and page records of the writer, plus the IBM
// font in force and the margin texts. The primary and alternate master formats
// are filled by the format units; the current format is a copy of the master in
// force that the text changes. KRGlobal holds what the reading of the format
// units and of the text share: the body stream, the document default font, the
// master in force and the pending margin texts and alignments.
//
// Strings and tab stop arrays that a record points to live as long as the
// records (until KRFormatReset): records are copied by assignment, and a copy
// shares them with the record it was copied from.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string_view>

#include "fontmap/fontmap.h"
#include "tyxout/tyxout.h"

namespace vantrove {

// IBM font style bits.
constexpr std::uint8_t IbmStyleEmphasis = 0x01;
constexpr std::uint8_t IbmStyleUnderscore = 0x04;
constexpr std::uint8_t IbmStyleOverstrike = 0x08;

// An IBM font selection.
struct IbmFont {
  std::uint32_t gfid;       // global font identifier; 0 is not valid
  std::uint8_t style;       // IbmStyle* bits
  std::uint32_t cgcsid;     // graphic character set identifier
  std::uint32_t cpid;       // code page identifier
  std::uint32_t charWidth;  // whole points per character column
  AmFontEntry* entry;       // font map entry bound by ibmFontSetGfid
};

// A master format, already in the shape of the output.
struct KRFormat {
  TyxPgf pgf;
  IbmFont masterFont;
  TyxDocument document;
  TyxPage page;
  IbmFont currentFont;
  const char* marginText[2];  // 0 top, 1 bottom; converted text or null
};

// The translation state.
struct KRGlobalRecord {
  std::FILE* bodyStream;
  IbmFont documentFont;
  KRFormat* masterFormat;
  KRFormat* returnFormat;
  std::uint8_t unitName[9];
  std::uint8_t marginTextPending[2];
  std::uint8_t alignField;
  std::uint32_t alignColumn;
  std::uint32_t alignTabType;
  std::uint32_t alignDecimalChar;
  std::uint8_t alignLine;
  std::uint32_t lineAlignment;
};

extern KRGlobalRecord KRGlobal;
extern KRFormat KRPrimaryFormat;
extern KRFormat KRAlternateFormat;
extern KRFormat KRCurrentFormat;

// A copy of `text` that lives as long as the format records.
const char* KRKeepString(std::string_view text);
// `count` zeroed tab stops that live as long as the format records.
TyxTabStop* KRNewTabStops(std::size_t count);

// Zeroes KRGlobal and the three format records and frees what they point to
// (tests, fuzzing). The caller has closed the body stream.
void KRFormatReset();

}  // namespace vantrove
