// Records shared by the converter's modules: the IBM font selection, the
// format record, the translation state and the structured field expectation.
#pragma once

#include <cstdint>
#include <cstdio>

#include "fontmap/fontmap.h"
#include "tyxout/tyxout.h"

namespace vantrove {

// Results of the structured field and parameter readers.
constexpr int KRReadEnd = 0;      // the input is at its end
constexpr int KRReadOther = 1;    // the next field is something else (pushed back)
constexpr int KRReadMatched = 2;  // the field was read

// Results of the writer operations.
constexpr int TyxWriteFailed = 0;
constexpr int TyxWriteOk = 1;

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

// What KRSfRead expects, and on a match the introducer it read.
struct KRSfIntro {
  std::uint8_t introBytes[5];  // length (2, big-endian), class, type, format
  std::uint32_t minLength;
  std::uint32_t maxLength;  // 0x40000000 for no limit
  std::uint8_t types[12];
  std::uint32_t typeCount;
};

constexpr std::uint32_t KRSfNoLimit = 0x40000000;

// Process-wide state (defined in main.cpp and sfield.cpp).
extern KRGlobalRecord KRGlobal;
extern KRFormat KRPrimaryFormat;
extern KRFormat KRAlternateFormat;
extern KRFormat KRCurrentFormat;
extern std::FILE* KRFootnoteStream;
extern const char* KRArgv0;
extern int footnoteNum;

}  // namespace vantrove
