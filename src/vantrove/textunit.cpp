// Text units: their leading fields and body text, the single-byte controls in
// both passes, the path of a graphic character to the writer, and the
// paragraph state that decides each paragraph's format from its first line.
#include "vantrove/textunit.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <initializer_list>

#include "fontmap/fontmap.h"
#include "tyxout/tyxout.h"
#include "vantrove/fontctl.h"
#include "vantrove/format.h"
#include "vantrove/io.h"
#include "vantrove/mbcontrol.h"
#include "vantrove/sfield.h"

namespace vantrove {
namespace {

// The paragraph state.
struct ParaState {
  std::uint8_t scanning;   // the first line of the next paragraph is being scanned
  std::uint8_t lineStart;  // nothing written yet (output) / only leading blanks seen (scan)
  std::uint32_t lineEnds;  // carrier returns written in the open paragraph
  std::uint32_t scanCount;
  std::uint32_t indentTabs;
  std::uint32_t leadingIndentTabs;
  std::uint32_t leadingTabIndex;
  TyxDimension firstLinePos;
  std::uint8_t indentTabsWritten;      // "row": every indent tab becomes a tab
  std::uint8_t dropLeadingBlanks;      // "pgf": leading blanks are in the first-line indent
  std::uint8_t firstIndentTabPending;  // "hanging pgf": the tab after the label
  std::uint8_t columnTopPending;
  float scriptShift;  // 0 baseline, -1 superscript, +1 subscript
  std::uint8_t superscriptSeen;
  std::uint8_t subscriptSeen;
};

// State of one call of KRTextUnit.
struct UnitState {
  std::FILE* stream;
  bool footnote;
  std::uint8_t shyPending;  // the last line ended in a syllable hyphen
  std::uint8_t prevCode;    // writer code of the last character on the character path
  std::uint64_t end;        // input offset just past the body text field
};

constexpr std::uint32_t pgfBit(TyxPgfField field) {
  return TyxBit(field);
}
constexpr std::uint32_t fontBit(TyxFontField field) {
  return TyxBit(field);
}

void charOut(int code, std::FILE* stream) {
  if (TyxCharOut(code, stream) == TyxWriteFailed) KRFatalStdio();
}

// The font map entry whose tables translate the text. A font in force that was
// never bound (a master format without line parameters leaves a zero master
// font) uses the document default font's tables.
const AmFontEntry* textEntry() {
  const AmFontEntry* entry = KRCurrentFormat.currentFont.entry;
  if (entry == nullptr || entry->codeMap == nullptr || entry->fontMap == nullptr) {
    entry = KRGlobal.documentFont.entry;
    if (entry != nullptr && (entry->codeMap == nullptr || entry->fontMap == nullptr)) {
      entry = nullptr;
    }
  }
  return entry;
}

// The font record of the last character sent to the writer is fully decided by
// its output font, the IBM style bits and the script shift; while those and the
// writer's font state stay the same, repeating it would write nothing.
struct LastFont {
  const AmFontEntry* out = nullptr;
  std::uint8_t ibmStyle = 0;
  float scriptShift = 0.0f;
  std::uint32_t stamp = 0;
};

// How the output pass takes each byte once a line has started: kRunStop for
// the controls, kRunGraphic for a graphic character (its writer code comes
// from the font's code table), else the writer code of a space control.
constexpr std::uint8_t kRunStop = 0;
constexpr std::uint8_t kRunGraphic = 1;
constexpr std::array<std::uint8_t, 256> kRunCode = [] {
  std::array<std::uint8_t, 256> table{};
  for (int b = 0x41; b < 256; ++b) table[b] = kRunGraphic;
  table[0x40] = 0x20;
  table[0x41] = TyxChar::HardSpace;
  table[0xCA] = kRunStop;
  table[0xE1] = TyxChar::NumberSpace;
  return table;
}();

// For one font's tables and one output font: how each byte continues a run in
// that output font: the writer code of a plain character; that of a character
// the writer escapes or names, with kRunNamed; or kRunEnds. Each byte's value
// is worked out when the byte is first met (kRunUnknown until then), so that
// a table costs little to start even when fonts change every few characters.
constexpr std::uint16_t kRunEnds = 0x100;
constexpr std::uint16_t kRunUnknown = 0x200;
constexpr std::uint16_t kRunNamed = 0x400;
struct RunTable {
  const std::uint8_t* codeMap = nullptr;
  AmFontEntry* const* fontMap = nullptr;
  const AmFontEntry* font = nullptr;
  std::array<std::uint16_t, 256> codes{};

  std::uint16_t codeOf(std::uint8_t b) {
    std::uint16_t code = kRunCode[b];
    if (code == kRunStop || fontMap[b] != font) {
      code = kRunEnds;
    } else {
      if (code == kRunGraphic) code = codeMap[b];
      if (!TyxCharIsPlain(code)) code |= kRunNamed;
    }
    codes[b] = code;
    return code;
  }
};

// The module's state: one for the whole run.
struct TextState {
  ParaState para{};
  LastFont lastFont;
  // The one tab stop of an "align field" or "hanging pgf" paragraph. The
  // catalog keeps its own copy, so one record serves every paragraph.
  TyxTabStop kindTabStop{};
  // Where footnote text units write; the driver opens it.
  std::FILE* footnoteStream = nullptr;
  // The output pass's tables for the last few fonts it wrote runs in.
  std::array<RunTable, 4> runTables{};
  std::size_t nextRunTable = 0;
};
TextState state;

// Whether a character in output font `out` needs no font statement: the
// previous character had the same one and nothing has changed since.
bool fontRepeats(const AmFontEntry* out) {
  return out != nullptr && out == state.lastFont.out &&
         KRCurrentFormat.currentFont.style == state.lastFont.ibmStyle &&
         state.para.scriptShift == state.lastFont.scriptShift &&
         TyxFontStamp() == state.lastFont.stamp;
}

// Builds the font record of a character in output font `out` and writes what
// differs from the font in force. Out of line: most characters repeat the
// previous character's font, and the record is large.
[[gnu::noinline]] void fontChange(const AmFontEntry* out, std::FILE* stream) {
  TyxFont font{};
  font.setMask = fontBit(TyxFontField::FSize) | fontBit(TyxFontField::FDY);
  if (out->family != nullptr) {
    font.setMask |= fontBit(TyxFontField::FFamily);
    font.fFamily = out->family;
  }
  const float size = static_cast<float>(out->size);
  font.fSize = TyxPoints(size);
  const std::uint8_t outStyle = out->style;
  const std::uint8_t ibmStyle = KRCurrentFormat.currentFont.style;
  if (outStyle == 0 && ibmStyle == 0) {
    font.setMask |= fontBit(TyxFontField::FPlain);
    font.fPlain = 1;
  } else {
    // Emphasis shows as bold, underscore as underline, overstrike as strike.
    const std::uint8_t both = outStyle | ibmStyle;
    font.setMask |= fontBit(TyxFontField::FBold) | fontBit(TyxFontField::FItalic) |
                    fontBit(TyxFontField::FUnderline) | fontBit(TyxFontField::FStrike);
    font.fBold = (both & 0x01) != 0;
    font.fItalic = (outStyle & 0x02) != 0;
    font.fUnderline = (both & 0x04) != 0;
    font.fStrike = (both & 0x08) != 0;
  }
  float dy = 0.0f;
  if (state.para.scriptShift == -1.0f) {
    dy = -0.5f * size;
  } else if (state.para.scriptShift != 0.0f) {
    dy = 0.5f * size;
  }
  font.fDY = TyxPoints(dy);
  if (TyxFontOut(&font, stream) == TyxWriteFailed) KRFatalStdio();
  state.lastFont = {out, ibmStyle, state.para.scriptShift, TyxFontStamp()};
}

// A graphic character (code < 0: its code comes from the font's code table) or
// a space control with its own writer code: the font of code point `b` of the
// font in force, then the character.
void characterPath(UnitState& unit, std::uint8_t b, int code) {
  const AmFontEntry* entry = textEntry();
  if (entry != nullptr) {
    if (code < 0) code = entry->codeMap[b];
    const AmFontEntry* out = entry->fontMap[b];
    if (out != nullptr && !fontRepeats(out)) fontChange(out, unit.stream);
  } else if (code < 0) {
    code = b;  // no code table at all: the byte passes unchanged
  }
  charOut(code, unit.stream);
  state.para.lineStart = 0;
  unit.prevCode = static_cast<std::uint8_t>(code);
}

// The bytes of body text left in the field, at most what is already in memory.
std::size_t peekField(const UnitState& unit, const std::uint8_t** bytes) {
  if (KRStdinOffset() >= unit.end) return 0;
  const std::size_t available = KRStdinPeek(bytes);
  const std::size_t left = unit.end - KRStdinOffset();
  return available < left ? available : left;
}

// The run table of the font in force (`entry`) and the output font `font`.
RunTable& runTableFor(const AmFontEntry* entry, const AmFontEntry* font) {
  for (RunTable& table : state.runTables) {
    if (table.font == font && table.codeMap == entry->codeMap && table.fontMap == entry->fontMap) {
      return table;
    }
  }
  RunTable& table = state.runTables[state.nextRunTable];
  state.nextRunTable = (state.nextRunTable + 1) % state.runTables.size();
  table.codeMap = entry->codeMap;
  table.fontMap = entry->fontMap;
  table.font = font;
  table.codes.fill(kRunUnknown);
  return table;
}

// The output pass over a run of graphic characters and spaces that all take
// the previous character's font, after the line's first character: each one
// would take the character path and write no font statement, so the plain
// ones go to the writer together, the others one by one in their place.
// Stops before any other byte, which the caller then handles on its own.
void outputRun(UnitState& unit) {
  const AmFontEntry* entry = textEntry();
  if (entry == nullptr || !fontRepeats(state.lastFont.out)) return;
  RunTable& table = runTableFor(entry, state.lastFont.out);
  constexpr std::size_t kChunk = 256;
  std::uint8_t codes[kChunk];
  // A failed write ends the run; the failing character's byte is the last one read.
  const auto failed = [](std::size_t read) {
    KRStdinConsume(read);
    KRFatalStdio();
  };
  for (;;) {
    const std::uint8_t* bytes;
    std::size_t available = peekField(unit, &bytes);
    if (available > kChunk) available = kChunk;
    std::size_t n = 0;
    std::size_t plainFrom = 0;  // codes[plainFrom, n) are still to be written
    const auto writePlain = [&] {
      const std::size_t written = TyxPlainCharsOut(codes + plainFrom, n - plainFrom, unit.stream);
      if (written < n - plainFrom) failed(plainFrom + written + 1);
    };
    const std::uint16_t* const known = table.codes.data();
    for (;;) {
      // Plain characters, four to a round, up to the first byte that is not.
      for (; n + 4 <= available; n += 4) {
        const std::uint16_t c0 = known[bytes[n]];
        if (c0 >= kRunEnds) break;
        codes[n] = static_cast<std::uint8_t>(c0);
        const std::uint16_t c1 = known[bytes[n + 1]];
        if (c1 >= kRunEnds) {
          n += 1;
          break;
        }
        codes[n + 1] = static_cast<std::uint8_t>(c1);
        const std::uint16_t c2 = known[bytes[n + 2]];
        if (c2 >= kRunEnds) {
          n += 2;
          break;
        }
        codes[n + 2] = static_cast<std::uint8_t>(c2);
        const std::uint16_t c3 = known[bytes[n + 3]];
        if (c3 >= kRunEnds) {
          n += 3;
          break;
        }
        codes[n + 3] = static_cast<std::uint8_t>(c3);
      }
      if (n == available) break;
      const std::uint8_t b = bytes[n];
      std::uint16_t code = known[b];
      if (code >= kRunEnds) {
        if (code == kRunUnknown) code = table.codeOf(b);
        if (code == kRunEnds) break;
        if (code >= kRunNamed) {
          code &= 0xFF;
          writePlain();
          if (TyxCharOut(code, unit.stream) == TyxWriteFailed) failed(n + 1);
          plainFrom = n + 1;
        }
      }
      codes[n++] = static_cast<std::uint8_t>(code);
    }
    writePlain();
    if (n == 0) return;
    KRStdinConsume(n);
    unit.prevCode = codes[n - 1];
    if (n < available) return;
  }
}

// The bytes that end a run of the first-line scan: line ends, page ends,
// multi-byte controls and indent tabs. Once the line has started, every other
// byte only counts.
constexpr std::array<bool, 256> kScanStop = [] {
  std::array<bool, 256> table{};
  for (int b : {0x06, 0x0C, 0x15, 0x25, 0x2B, 0x33, 0x39, 0x3A}) table[b] = true;
  return table;
}();

// The first-line scan over a run of bytes after the line's first character.
void scanRun(const UnitState& unit) {
  for (;;) {
    const std::uint8_t* bytes;
    const std::size_t available = peekField(unit, &bytes);
    std::size_t n = 0;
    while (n < available && !kScanStop[bytes[n]]) ++n;
    state.para.scanCount += static_cast<std::uint32_t>(n);
    KRStdinConsume(n);
    if (n == 0 || n < available) return;
  }
}

// Tab, space, required space and numeric space write nothing before the first
// character of a "pgf" or "align field" paragraph's first line.
bool dropLeading() {
  return state.para.lineStart == 1 && state.para.lineEnds == 0 &&
         (state.para.dropLeadingBlanks != 0 || KRGlobal.alignField != 0);
}

void lineEnd(UnitState& unit) {
  ++state.para.lineEnds;
  // A carrier return between two words is a word space of the flowing text.
  if (state.para.lineStart == 0 && unit.prevCode != 0x20 && unit.shyPending == 0) {
    charOut(0x20, unit.stream);
  }
  unit.shyPending = 0;
  charOut(TyxChar::LineEnd, unit.stream);
}

void outputByte(UnitState& unit, std::uint8_t b) {
  switch (b) {
    case 0x00:  // NULl
    case 0x0C:  // Page End
    case 0x0D:  // Zero Index Carrier Return
    case 0x16:  // BackSpace
    case 0x1A:  // Unit BackSpace
    case 0x23:  // Word UnderScore
    case 0x36:  // Numeric BackSpace
      break;
    case 0x05:  // Horizontal Tab
      if (!dropLeading()) charOut(TyxChar::Tab, unit.stream);
      break;
    case 0x06:  // Required Carrier Return
      KRParaClose(unit.stream);
      break;
    case 0x09:  // SuPerScript
      state.para.superscriptSeen = 1;
      KRScriptShift();
      break;
    case 0x15:  // Carrier REturn
      lineEnd(unit);
      break;
    case 0x25:  // INdeX
    case 0x33:  // Index ReTurn
      charOut(TyxChar::HardReturn, unit.stream);
      break;
    case 0x2B:  // Multi-Byte Ctrl
      KRMultiByteCtrl(0);
      break;
    case 0x38:  // SuBScript
      state.para.subscriptSeen = 1;
      KRScriptShift();
      break;
    case 0x39:  // Indent Tab
      if (state.para.lineStart == 0 && state.para.lineEnds == 0 &&
          state.para.firstIndentTabPending != 0) {
        state.para.firstIndentTabPending = 0;
        charOut(TyxChar::Tab, unit.stream);
      } else if (state.para.indentTabsWritten != 0) {
        charOut(TyxChar::Tab, unit.stream);
      }
      break;
    case 0x3A:  // Required Page End
      state.para.columnTopPending = 1;
      KRParaClose(unit.stream);
      break;
    case 0x3F:  // SUBstitute
      for (int i = 0; i < 3; ++i) charOut('#', unit.stream);
      break;
    case 0x40:  // SPace
      if (!dropLeading()) characterPath(unit, b, 0x20);
      break;
    case 0x41:  // Required SPace
      if (!dropLeading()) characterPath(unit, b, TyxChar::HardSpace);
      break;
    case 0xCA:  // Syllable HYphen
      charOut(TyxChar::DiscHyphen, unit.stream);
      unit.shyPending = 1;
      break;
    case 0xE1:  // Numeric SPace
      if (!dropLeading()) characterPath(unit, b, TyxChar::NumberSpace);
      break;
    default:
      if (b > 0x40) {
        // A graphic character; 0x60, the required hyphen, is one too. The
        // text of an aligned field starts at the paragraph's one tab stop.
        if (state.para.lineStart == 1 && KRGlobal.alignField != 0)
          charOut(TyxChar::Tab, unit.stream);
        characterPath(unit, b, -1);
      } else {
        char message[64];
        std::snprintf(message, sizeof message, "Unknown single-byte control 0x%x.", b);
        KRNonFatal(message);
      }
      break;
  }
}

// One byte of a paragraph's first line while its kind is not yet decided.
void scanByte(UnitState& unit, std::uint8_t b) {
  if (b != 0x2B) ++state.para.scanCount;
  switch (b) {
    case 0x05: {  // a leading tab moves the first line to the next tab stop
      const TyxPgf& pgf = KRCurrentFormat.pgf;
      if (state.para.lineStart == 1 && pgf.tabStop != nullptr &&
          static_cast<std::int64_t>(pgf.pgfNumTabs) > state.para.leadingTabIndex) {
        state.para.firstLinePos = pgf.tabStop[state.para.leadingTabIndex].tsX;
        ++state.para.leadingTabIndex;
      }
      break;
    }
    case 0x40:
    case 0x41:
    case 0xE1:
      if (state.para.lineStart == 1) {
        double width = KRCurrentFormat.masterFont.charWidth;
        if (state.para.firstLinePos.unit == TyxUnitCode(TyxUnit::Inch)) width /= 72.0;
        state.para.firstLinePos.value = static_cast<float>(state.para.firstLinePos.value + width);
      }
      break;
    case 0x39:
      ++state.para.indentTabs;
      if (state.para.lineStart == 1) ++state.para.leadingIndentTabs;
      break;
    case 0x2B:
      KRMultiByteCtrl(1);
      break;
    case 0x0C:
      // Only a page end that ends the body text field ends the line.
      if (KRStdinOffset() == unit.end) KRParaOpen(0x15, unit.stream);
      break;
    case 0x06:
    case 0x15:
    case 0x25:
    case 0x33:
    case 0x3A:
      // A long line is a paragraph of its own even when a required carrier
      // return ends it.
      KRParaOpen(state.para.scanCount >= 100 ? 0x15 : b, unit.stream);
      break;
    default:
      state.para.lineStart = 0;
      break;
  }
}

// Reads the parameters of a text unit format change into KRCurrentFormat,
// skipping the fields no reader knows.
void formatChange(const KRSfIntro& intro) {
  const std::uint64_t end = KRStdinOffset() + KRSfLength(intro) - 5;
  while (KRStdinOffset() < end) {
    if (KRPageImageParams(0, "Expected PIP in text unit format change.", &KRCurrentFormat) ==
        KRReadMatched) {
      continue;
    }
    if (KRLineParams(0, "Expected LP in text unit format change.", &KRCurrentFormat) ==
        KRReadMatched) {
      continue;
    }
    if (KRTabParams(0, "Expected TP in text unit format change.", &KRCurrentFormat) ==
        KRReadMatched) {
      continue;
    }
    if (KROperatorMessage(0, "Expected OM in text unit format change.") == KRReadMatched) {
      continue;
    }
    KRSfSkip("Expected format option in text unit format change.",
             "Expected contents of format option in text unit format change.");
  }
}

void useMaster(KRFormat* master) {
  KRGlobal.masterFormat = master;
  if (master != nullptr) KRCurrentFormat = *master;
}

}  // namespace

int KRTextUnit(int fatal, const char* message) {
  // The fields of a unit are never part of a scanned line.
  if (state.para.scanning != 0) KRStdinForget();

  KRSfIntro name = KRSfExpect(0xE1, 11, 11, {0x04});
  const int nameResult = KRSfRead(fatal, message, &name);
  if (nameResult != KRReadMatched) return nameResult;

  std::uint8_t raw[6] = {};
  KRStdinRead(1, "Expected text unit name.", raw, 6, KRSfLength(name) - 5);
  // Held as c1 c2 c3 c4 . c5 . c6 (EBCDIC periods), the form the name prints in.
  std::uint8_t* unitName = KRGlobal.unitName;
  unitName[0] = raw[0];
  unitName[1] = raw[1];
  unitName[2] = raw[2];
  unitName[3] = raw[3];
  unitName[4] = 0x4B;
  unitName[5] = raw[4];
  unitName[6] = 0x4B;
  unitName[7] = raw[5];
  unitName[8] = 0;

  // A unit whose name begins with "9" holds a footnote.
  UnitState unit{};
  unit.footnote = raw[0] != 0 && KREbcdicChar(raw[0]) == '9';
  if (unit.footnote) {
    unit.stream = state.footnoteStream;
    KRCountFootnote();
    if (TyxFNoteTextOpen(KRFootnoteNumber(raw), unit.stream) == TyxWriteFailed) {
      KRFatalStdio();
    }
    const TyxPgf* format = setFootnoteParaFormat();
    if (TyxParaOpen(format, unit.stream, 1) == TyxWriteFailed) KRFatalStdio();
    // A footnote's first paragraph is written at once, without a scan.
    state.para.scanning = 0;
  } else {
    unit.stream = KRGlobal.bodyStream;
  }

  for (int i = 0; i < 2; ++i) {
    KRSfIntro establish = KRSfExpect(0xE3, 5, 5, {0x01, 0x02});
    const int result = KRSfRead(0, message, &establish);
    if (result == KRReadEnd) return 0;
    if (result == KRReadMatched) {
      KRGlobal.returnFormat = KRGlobal.masterFormat;
      useMaster(establish.introBytes[3] == 0x01 ? &KRPrimaryFormat : &KRAlternateFormat);
    }
  }

  KRSfIntro back = KRSfExpect(0xE3, 5, 5, {0x03});
  const int backResult = KRSfRead(0, message, &back);
  if (backResult == KRReadEnd) return 0;
  if (backResult == KRReadMatched) useMaster(KRGlobal.returnFormat);

  KRSfIntro change = KRSfExpect(0xE2, 64, 314, {0x04});
  if (KRSfRead(0, message, &change) == KRReadMatched) formatChange(change);

  KRMarginTextDecl(0, "Expected margin text declaration in text unit.", &KRCurrentFormat);

  for (;;) {
    if (state.para.scanning != 0) KRStdinForget();
    KRSfIntro text = KRSfExpect(0xE8, 6, KRSfNoLimit, {0x07});
    if (KRSfRead(0, "Expected body text.", &text) != KRReadMatched) return 2;
    // A scan left unfinished by the previous field goes on in this one.
    if (state.para.scanning != 0) KRStdinRemember();
    unit.end = KRStdinOffset() + KRSfLength(text) - 5;
    while (KRStdinOffset() < unit.end) {
      // Once a line has started, ordinary characters are taken in runs.
      if (state.para.lineStart == 0) {
        if (state.para.scanning != 0 && state.para.lineEnds == 0) {
          scanRun(unit);
        } else {
          outputRun(unit);
        }
        if (KRStdinOffset() >= unit.end) break;
      }
      std::uint8_t b;
      KRStdinReadByte("Expected single-byte or multi-byte ctrl.", &b);
      if (state.para.scanning != 0 && state.para.lineEnds == 0) {
        scanByte(unit, b);
      } else {
        outputByte(unit, b);
      }
    }
    KRParaClose(unit.stream);
    if (unit.footnote && TyxFNoteTextClose(unit.stream) == TyxWriteFailed) KRFatalStdio();
  }
}

int KREndUnit(int fatal, const char* message) {
  KRSfIntro intro = KRSfExpect(0xE1, 5, 5, {0x06});
  return KRSfRead(fatal, message, &intro);
}

void KRParaClose(std::FILE* stream) {
  if (TyxParaClose(stream, 1) == TyxWriteFailed) KRFatalStdio();
  state.para.lineEnds = 0;
  state.para.lineStart = 1;
  state.para.firstLinePos = TyxPoints(0.0f);
  state.para.scanCount = 0;
  state.para.leadingTabIndex = 0;
  state.para.indentTabs = 0;
  state.para.leadingIndentTabs = 0;
  KRGlobal.alignField = 0;
  KRGlobal.alignLine = 0;
  KRStdinRemember();
  state.para.scanning = 1;
  state.para.scriptShift = 0.0f;
  state.para.superscriptSeen = 0;
  state.para.subscriptSeen = 0;
}

void KRParaOpen(std::uint8_t terminator, std::FILE* stream) {
  // The scanned bytes become the next bytes of the input again.
  KRStdinForget();
  KRStdinUnreadMemory();
  state.para.scanning = 0;

  TyxPgf pgf = KRCurrentFormat.pgf;
  pgf.setMask |= pgfBit(TyxPgfField::PgfTag);
  state.para.dropLeadingBlanks = 0;
  state.para.firstIndentTabPending = 0;
  state.para.indentTabsWritten = 0;
  const bool hasTabs = (pgf.setMask & pgfBit(TyxPgfField::PgfNumTabs)) != 0;

  if (KRGlobal.alignLine != 0) {
    pgf.pgfTag = "align line";
    pgf.pgfAlignment = KRGlobal.lineAlignment;
  } else if (KRGlobal.alignField != 0) {
    pgf.pgfTag = "align field";
    state.kindTabStop = TyxTabStop{};
    state.kindTabStop.setMask = TyxBit(TyxTabStopField::TSX) | TyxBit(TyxTabStopField::TSType);
    state.kindTabStop.tsType = KRGlobal.alignTabType;
    if (KRGlobal.alignTabType == static_cast<std::uint32_t>(TyxTabType::Decimal)) {
      state.kindTabStop.setMask |= TyxBit(TyxTabStopField::TSDecimalChar);
      state.kindTabStop.tsDecimalChar = static_cast<std::int32_t>(KRGlobal.alignDecimalChar);
    }
    // The stop's position is a float from the start: the unsigned column
    // product is stored as one. An indent in inches is multiplied by the
    // double 72.0, so that sum is taken in double; one in points is added in
    // float. Each result is stored as a float.
    float x;
    if (KRGlobal.alignColumn != 0) {
      x = static_cast<float>((KRGlobal.alignColumn - 1) * KRCurrentFormat.masterFont.charWidth);
    } else {
      x = state.para.firstLinePos.value;
    }
    if (pgf.pgfLIndent.unit == TyxUnitCode(TyxUnit::Inch)) {
      x = static_cast<float>(x + pgf.pgfLIndent.value * 72.0);
    } else {
      x = x + pgf.pgfLIndent.value;
    }
    state.kindTabStop.tsX = TyxPoints(x);
    // The stop reaches the output only when the current format has tab stops.
    pgf.tabStop = &state.kindTabStop;
    pgf.pgfNumTabs = 1;
  } else if (terminator == 0x06 || terminator == 0x3A) {
    pgf.pgfTag = "row";
    state.para.indentTabsWritten = 1;
  } else if (state.para.indentTabs > 0) {
    const bool hanging = state.para.indentTabs != state.para.leadingIndentTabs;
    pgf.pgfTag = hanging ? "hanging pgf" : "indented pgf";
    if (hanging) state.para.firstIndentTabPending = 1;
    if (hasTabs && pgf.tabStop != nullptr &&
        static_cast<std::int64_t>(pgf.pgfNumTabs) >= state.para.indentTabs) {
      pgf.pgfLIndent = pgf.tabStop[state.para.indentTabs - 1].tsX;
      pgf.setMask |= pgfBit(TyxPgfField::PgfLIndent) | pgfBit(TyxPgfField::PgfFIndent);
      if (!hanging) {
        pgf.pgfFIndent = pgf.pgfLIndent;
      } else {
        pgf.pgfFIndent = state.para.leadingIndentTabs != 0
                             ? pgf.tabStop[state.para.leadingIndentTabs - 1].tsX
                             : KRCurrentFormat.pgf.pgfFIndent;
        state.kindTabStop = TyxTabStop{};
        state.kindTabStop.setMask = TyxBit(TyxTabStopField::TSX) | TyxBit(TyxTabStopField::TSType);
        state.kindTabStop.tsX = pgf.pgfLIndent;
        state.kindTabStop.tsType = static_cast<std::uint32_t>(TyxTabType::Left);
        pgf.tabStop = &state.kindTabStop;
        pgf.pgfNumTabs = 1;
        pgf.setMask |= pgfBit(TyxPgfField::PgfNumTabs);
      }
    }
  } else if (state.para.firstLinePos.value > 0.0f) {
    pgf.pgfTag = "pgf";
    pgf.pgfFIndent = state.para.firstLinePos;
    state.para.dropLeadingBlanks = 1;
  } else {
    pgf.pgfTag = "block pgf";
  }

  pgf.setMask |= pgfBit(TyxPgfField::PgfPlacement);
  if (state.para.columnTopPending != 0) {
    pgf.pgfPlacement = static_cast<std::uint32_t>(TyxPlacement::ColumnTop);
    state.para.columnTopPending = 0;
  }

  if (TyxParaOpen(&pgf, stream, 1) == TyxWriteFailed) KRFatalStdio();

  // A margin text declared in a text unit becomes a marker in the first
  // paragraph opened after it: type 0 top, 1 bottom.
  for (int i = 0; i < 2; ++i) {
    if (KRGlobal.marginTextPending[i] != 0 && KRCurrentFormat.marginText[i] != nullptr) {
      TyxMarker marker{};
      marker.setMask = TyxBit(TyxMarkerField::MType) | TyxBit(TyxMarkerField::MText);
      marker.mType = i;
      marker.mText = KRCurrentFormat.marginText[i];
      if (TyxMarkerOut(&marker, stream) == TyxWriteFailed) KRFatalStdio();
      KRGlobal.marginTextPending[i] = 0;
    }
  }

  // Every paragraph starts in the master font; emphasis, underscore and
  // overstrike carry over.
  const std::uint8_t style = KRCurrentFormat.currentFont.style;
  KRCurrentFormat.currentFont = KRCurrentFormat.masterFont;
  KRCurrentFormat.currentFont.style = style;
  state.para.lineStart = 1;
}

void KRScriptShift() {
  if (state.para.superscriptSeen != 0 && state.para.subscriptSeen != 0) {
    state.para.superscriptSeen = 0;
    state.para.subscriptSeen = 0;
    state.para.scriptShift = 0.0f;
  } else if (state.para.superscriptSeen != 0) {
    state.para.scriptShift = -1.0f;
  } else {
    state.para.scriptShift = 1.0f;
  }
}

void KRTextSetFootnoteStream(std::FILE* stream) {
  state.footnoteStream = stream;
}

void KRTextReset() {
  state = TextState{};
}

}  // namespace vantrove
