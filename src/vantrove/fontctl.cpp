#include "vantrove/fontctl.h"

#include <cstdio>

#include "fontmap/fontmap.h"
#include "vantrove/io.h"

namespace vantrove {

namespace {

void warn(const char* format, std::uint32_t first, std::uint32_t second = 0) {
  char message[128];
  std::snprintf(message, sizeof message, format, static_cast<int>(first), static_cast<int>(second));
  KRNonFatal(message);
}

// Reads the parameters of a control that uses `size` of them. Parameter bytes
// beyond `size` are skipped; parameters the count byte does not announce are
// taken as zero, and nothing beyond the control is consumed.
void readParameters(std::uint32_t params, std::uint8_t* buffer, std::uint32_t size,
                    const char* message) {
  if (params > 0) KRStdinRead(1, message, buffer, size, params);
}

// The document default font's code table, or null before the font map is bound.
const std::uint8_t* documentCodeMap() {
  const AmFontEntry* entry = KRGlobal.documentFont.entry;
  return entry != nullptr ? entry->codeMap : nullptr;
}

}  // namespace

void ibmFontSetGfid(IbmFont* font, const IbmFont* fallback) {
  if (font->gfid == 0) {
    warn("GFID 0 is not allowed--using current GFID %d.", fallback->gfid);
    *font = IbmFont(*fallback);
    return;
  }
  font->entry = AmFontRead(nullptr, font->gfid, 0, 0);
  if (font->entry == nullptr) {
    warn("Can't find IBM font in dca.am whose GFID is %d--using current GFID %d.", font->gfid,
         fallback->gfid);
    *font = IbmFont(*fallback);
  }
}

void KRFontControl(const std::uint8_t* intro) {
  const std::uint8_t cls = intro[0];
  const std::uint32_t params = intro[1] > 2 ? intro[1] - 2u : 0;
  const std::uint8_t type = intro[2];
  IbmFont& current = KRCurrentFormat.currentFont;

  if (cls == 0xD1 && type == 0x05) {  // Set CFID thru GFID
    std::uint8_t data[5] = {};
    readParameters(params, data, 5, "Expected set CFID thru GFID contents.");
    const IbmFont saved = current;
    current.gfid = KRBe16(data);
    ibmFontSetGfid(&current, &saved);
    return;
  }
  if (cls == 0xD1 && type == 0x01) {  // Set GCGID thru GCID
    std::uint8_t data[4] = {};
    readParameters(params, data, 4, "Expected set GCGID thru GCID contents.");
    const IbmFont saved = current;
    current.cgcsid = KRBe16(data);
    current.cpid = KRBe16(data + 2);
    ibmFontSetGfid(&current, &saved);
    return;
  }
  if (cls == 0xD1 && type == 0x15) {  // Insert Escaped Graphic
    std::uint8_t data[3] = {};
    readParameters(params, data, 3, "Expected escaped graphic contents.");
    // The character becomes the very next byte of text, read in the current font.
    // A control too short to carry the character inserts nothing.
    if (params >= 3) KRStdinUnread(data + 2, 1);
    return;
  }

  if (params > 0) KRStdinDrop(params, "Expected rest of multi-byte font control.");
  if (cls == 0xD1) {
    if (type == 0x8A) current.style |= IbmStyleEmphasis;
    if (type == 0x8E) current.style &= static_cast<std::uint8_t>(~IbmStyleEmphasis);
  } else if (cls == 0xD4) {
    switch (type) {
      case 0x0A:
        current.style |= IbmStyleUnderscore;
        break;
      case 0x0E:
        current.style &= static_cast<std::uint8_t>(~IbmStyleUnderscore);
        break;
      case 0x72:
        current.style |= IbmStyleOverstrike;
        break;
      case 0x76:
        current.style &= static_cast<std::uint8_t>(~IbmStyleOverstrike);
        break;
      case 0x13:  // Return to Master Font: the whole font, style included
        if (KRGlobal.masterFormat != nullptr) current = KRGlobal.masterFormat->masterFont;
        break;
      default:
        break;
    }
  }
}

void KREbcdic2Ascii(const std::uint8_t* source, std::uint8_t* target) {
  const std::uint8_t* table = documentCodeMap();
  for (;; ++source, ++target) {
    const std::uint8_t byte = *source;
    if (byte == 0) {
      *target = 0;
      return;
    }
    *target = table != nullptr ? table[byte] : byte;
  }
}

std::uint8_t KREbcdicChar(std::uint8_t byte) {
  const std::uint8_t* table = documentCodeMap();
  return table != nullptr ? table[byte] : byte;
}

}  // namespace vantrove
