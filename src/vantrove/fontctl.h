// Font controls in the text, binding IBM fonts to font map entries, and the
// conversion of EBCDIC names and texts through the document default font.
#pragma once

#include <cstdint>

#include "vantrove/format.h"

namespace vantrove {

// Binds `font` (its gfid set) to its font map entry; when the gfid is 0 or not
// in the map, warns and copies `fallback` over `font`. Both may be one record.
void ibmFontSetGfid(IbmFont* font, const IbmFont* fallback);
// The ten font controls; `intro` is class, count, type; parameters still unread.
void KRFontControl(const std::uint8_t* intro);

// Converts a zero-terminated EBCDIC string through the code table of the
// document default font (KRGlobal.documentFont); source and target may be the
// same buffer.
void KREbcdic2Ascii(const std::uint8_t* source, std::uint8_t* target);
// One byte through the same table (identity while no font map entry is bound).
std::uint8_t KREbcdicChar(std::uint8_t byte);

}  // namespace vantrove
