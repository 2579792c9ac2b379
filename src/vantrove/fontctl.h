// Font controls in the text, and binding IBM fonts to font map entries.
#pragma once

#include <cstdint>

#include "vantrove/krtypes.h"

namespace vantrove {

// Binds `font` (its gfid set) to its font map entry; when the gfid is 0 or not
// in the map, warns and copies `fallback` over `font`. Both may be one record.
void ibmFontSetGfid(IbmFont* font, const IbmFont* fallback);
// The ten font controls; `intro` is class, count, type; parameters still unread.
void KRFontControl(const std::uint8_t* intro);

}  // namespace vantrove
