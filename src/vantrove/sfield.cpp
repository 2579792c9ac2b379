#include "vantrove/sfield.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>

#include "vantrove/fontctl.h"

namespace vantrove {
namespace {

constexpr std::int32_t kYes = 1;
constexpr std::int32_t kNo = 0;

// Data bytes of a structured field; an introducer announcing fewer than its own
// five bytes has none.
std::uint32_t dataLength(const KRSfIntro& intro) {
  const std::uint32_t length = KRSfLength(intro);
  return length > 5 ? length - 5 : 0;
}

// Reads `count` data bytes, storing the first `size` of them; reads nothing for a
// count of 0 (a count of 0 would otherwise mean `size`).
void readData(const char* message, std::uint8_t* buffer, std::uint32_t size, std::uint32_t count) {
  if (count > 0) KRStdinRead(1, message, buffer, size, count);
}

void drop(std::uint32_t count, const char* message) {
  if (count > 0) KRStdinDrop(count, message);
}

template <typename Field>
void setBit(std::uint32_t& mask, Field field) {
  mask |= TyxBit(field);
}

// Margin text fields following a declaration: text converted through the
// document font, blanks for single-byte controls, "#" for the page number.
void marginTextFields(const char* message, KRFormat* record) {
  KRSfIntro expect = KRSfExpect(0xE8, 5, KRSfNoLimit, {0x01, 0x02, 0x03, 0x04, 0x05, 0x06});
  while (KRSfRead(0, message, &expect) == KRReadMatched) {
    const std::uint8_t type = expect.introBytes[3];
    record->document.dTwoSides = (type == 0x01 || type == 0x04) ? kNo : kYes;
    setBit(record->document.setMask, TyxDocumentField::DTwoSides);

    const std::uint64_t end = KRStdinOffset() + dataLength(expect);
    std::string text;
    text.reserve(40);
    while (KRStdinOffset() < end) {
      std::uint8_t byte;
      KRStdinRead(1, "Expected single-byte or multi-byte ctrl.", &byte, 1, 0);
      if (byte > 0x40) {
        text.push_back(static_cast<char>(KREbcdicChar(byte)));
      } else if (byte == 0x2B) {
        if (end - KRStdinOffset() < 3) {
          drop(end - KRStdinOffset(), "Expected tail of margin text.");
          break;
        }
        std::uint8_t control[3];  // class, length, type
        KRStdinRead(1, "Expected multi-byte ctrl.", control, 3, 0);
        if (control[1] < 2) KRFatal("Length in multi-byte ctrl less than 2.");
        const std::uint32_t params = control[1] - 2u;
        if (params > end - KRStdinOffset()) {
          drop(end - KRStdinOffset(), "Expected tail of margin text.");
          break;
        }
        drop(params, "Expected multi-byte ctrl contents.");
        if (control[0] == 0xD4 && control[2] == 0x47) text.push_back('#');
      } else {
        text.push_back(' ');
      }
    }
    if (text.empty()) continue;
    const int place = type <= 0x03 ? 0 : 1;
    record->marginText[place] = KRKeepString(text);
    KRGlobal.marginTextPending[place] = 1;
  }
}

constexpr std::uint32_t tabType(TyxTabType type) {
  return static_cast<std::uint32_t>(type);
}

// The tab stop of each DCA tab kind, by kind.
constexpr KRTabKind kTabKinds[] = {
    {tabType(TyxTabType::Left), 0},      {tabType(TyxTabType::Decimal), '.'},
    {tabType(TyxTabType::Decimal), ','}, {tabType(TyxTabType::Center), 0},
    {tabType(TyxTabType::Right), 0},     {tabType(TyxTabType::Decimal), ':'},
};

void noteFormatAttributes(KRFormat* record, std::uint32_t length) {
  if (length != 4 && length != 6 && length != 8) {
    KRNonFatal("Note Format Attributes parameter not expected length, skipping.");
    drop(length > 2 ? length - 2 : 0, "Expected Note Format Parameter contents.");
    return;
  }
  std::uint8_t data[6] = {};
  readData("Expected a Self-Identifying Parameter contents", data, 6, length - 2);
  TyxDocument& document = record->document;
  if (data[0] == 1 || data[0] == 2) {
    document.dFNoteRestart = static_cast<std::uint32_t>(data[0] == 1 ? TyxNoteRestart::PerFlow
                                                                     : TyxNoteRestart::PerPage);
    setBit(document.setMask, TyxDocumentField::DFNoteRestart);
  } else {
    KRNonFatal("Illegal value for Reset Status, skipping");
  }
  // value / 12.0 is a double; the stored float is compared with 0.3.
  document.dFNoteMaxH = TyxInches(static_cast<float>(KRBe16(data + 2) / 12.0));
  if (document.dFNoteMaxH.value < 0.3) document.dFNoteMaxH.value = 8.0f;
  setBit(document.setMask, TyxDocumentField::DFNoteMaxH);
}

void referenceIdType(KRFormat* record, std::uint32_t length) {
  if (length != 3) {
    KRNonFatal("Reference ID Type parameter not expected length, skipping.");
    drop(length > 2 ? length - 2 : 0, "Expected Note Format Parameter contents.");
    return;
  }
  std::uint8_t value = 0;
  readData("Expected a Self-Identifying Parameter contents", &value, 1, 1);
  TyxDocument& document = record->document;
  TyxNoteNumStyle style;
  switch (value) {
    case 1:
      style = TyxNoteNumStyle::Arabic;
      break;
    case 2:
    case 3:  // lower case here as well, not upper case
      style = TyxNoteNumStyle::LCAlpha;
      break;
    case 4:
      style = TyxNoteNumStyle::Custom;
      document.dFNoteLabels = KRKeepString("");
      setBit(document.setMask, TyxDocumentField::DFNoteLabels);
      break;
    case 5:
    case 6:
      style = TyxNoteNumStyle::Custom;
      break;
    default:
      KRNonFatal("Illegal value for Reference ID Type, skipping.");
      return;
  }
  document.dFNoteNumStyle = static_cast<std::uint32_t>(style);
  setBit(document.setMask, TyxDocumentField::DFNoteNumStyle);
}

void userSequenceDefinition(KRFormat* record, std::uint32_t length) {
  if (length > 122) {
    KRNonFatal("User Sequence Definition parameter greater than 122, skipping.");
    drop(length - 2, "Expected Note Format Parameter contents.");
    return;
  }
  std::uint8_t data[121] = {};
  readData("Expected a Self-Identifying Parameter contents", data, 120,
           length > 2 ? length - 2 : 0);
  KREbcdic2Ascii(data, data);
  record->document.dFNoteLabels = KRKeepString(reinterpret_cast<const char*>(data));
  setBit(record->document.setMask, TyxDocumentField::DFNoteLabels);
}

}  // namespace

std::uint32_t KRSfLength(const KRSfIntro& intro) {
  return KRBe16(intro.introBytes);
}

void KRSfSkip(const char* introMessage, const char* dataMessage) {
  std::uint8_t intro[5];
  KRStdinRead(1, introMessage, intro, 5, 0);
  const std::uint32_t length = KRBe16(intro);
  drop(length > 5 ? length - 5 : 0, dataMessage);
}

const KRTabKind* KRTabKindOf(std::uint8_t kind) {
  return kind < std::size(kTabKinds) ? &kTabKinds[kind] : nullptr;
}

KRSfIntro KRSfExpect(std::uint8_t cls, std::uint32_t minLength, std::uint32_t maxLength,
                     std::initializer_list<std::uint8_t> types) {
  KRSfIntro intro{};
  intro.introBytes[2] = cls;
  intro.introBytes[4] = 0;  // every field read here has format byte 0
  intro.minLength = minLength;
  intro.maxLength = maxLength;
  for (std::uint8_t type : types) intro.types[intro.typeCount++] = type;
  return intro;
}

int KRSfRead(int fatal, const char* message, KRSfIntro* expect) {
  // Bytes the input does not deliver stay zero.
  std::uint8_t intro[5] = {};
  const int result = KRStdinRead(fatal, message, intro, 5, 0);
  if (result == KRReadEnd) return KRReadEnd;
  if (result == KRReadOther) {
    KRStdinUnread(intro, 5);
    return KRReadOther;
  }

  const std::uint32_t length = KRBe16(intro);
  const char* failure = nullptr;
  bool typeFailure = false;
  if (length < expect->minLength) {
    failure = "Structured field length too short.";
  } else if (length > expect->maxLength) {
    failure = "Structured field length too long.";
  } else if (intro[4] != expect->introBytes[4]) {
    failure = "Structured field format mismatch.";
  } else if (intro[2] != expect->introBytes[2]) {
    failure = "Structured field class mismatch.";
  } else {
    const std::uint32_t count = std::min<std::uint32_t>(expect->typeCount, 12);
    if (std::find(expect->types, expect->types + count, intro[3]) == expect->types + count) {
      failure = "Structured field type mismatch.";
      typeFailure = true;
    }
  }

  if (failure == nullptr) {
    std::memcpy(expect->introBytes, intro, 5);
    return KRReadMatched;
  }
  if (!fatal) {
    KRStdinUnread(intro, 5);
    return KRReadOther;
  }
  KRFatalFirst(message);
  // Input that is not DCA at all stops at once, without an output document.
  if (!typeFailure && std::strcmp(message, "Not a DCA file.") == 0) KRExit(1);
  KRFatalLast(failure);
}

void KRSipReadHead(std::uint32_t* length, std::uint32_t* identifier) {
  std::uint8_t head[2];
  KRStdinRead(1, "Expected a Self-Identifying Parameter", head, 2, 0);
  *length = head[0];
  *identifier = head[1];
}

void ascii_param(const char* name, const char** text, std::uint32_t textBit,
                 std::uint32_t* position, std::uint32_t positionBit, std::uint32_t* mask,
                 std::uint32_t length) {
  constexpr std::uint32_t kLimit = 62;
  if (length > kLimit) {
    char warning[160];
    std::snprintf(warning, sizeof warning, "%s parameter greater than %d, skipping.", name,
                  static_cast<int>(kLimit));
    KRNonFatal(warning);
    drop(length - 2, "Expected Note Format Parameter contents.");
    return;
  }
  if (length <= 2) return;

  std::uint8_t data[kLimit];
  const std::uint32_t count = length - 2;
  KRStdinRead(1, "Expected a Self-Identifying Parameter contents", data, count, 0);
  std::string result;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint8_t byte = data[i];
    switch (byte) {
      case 0x00:
        break;
      case 0x05:  // a tab, written as an escape in the output string
        result += "\\t";
        break;
      case 0x09:  // superscript
      case 0x38:  // subscript
        if (positionBit != 0) {
          *position = static_cast<std::uint32_t>(byte == 0x09 ? TyxNotePos::FNSuperscript
                                                              : TyxNotePos::FNSubscript);
          *mask |= positionBit;
        }
        break;
      case 0x40:
      case 0x41:
        result += ' ';
        break;
      case 0x60:
        result += '-';
        break;
      default:
        result += static_cast<char>(KREbcdicChar(byte));
        break;
    }
  }
  *text = KRKeepString(result);
  *mask |= textBit;
}

int KRFormatUnitPrefix(int fatal, const char* message) {
  KRSfIntro expect = KRSfExpect(0xE1, 5, 5, {0x03});
  return KRSfRead(fatal, message, &expect);
}

int KRFormatUnit1() {
  KRFormatUnitPrefix(1, "Not a DCA file.");
  KRDocumentParameters(1, "Expected document parameters in first format unit.");
  // Whatever stands between the document parameters and the prefix of format
  // unit 2 is skipped; that prefix ends the loop and is consumed.
  while (KRFormatUnitPrefix(0, "Expected primary master format's format unit prefix.") !=
         KRReadMatched) {
    KRSfSkip(
        "Expected fields following Document Parameters or Primary Master Format's Format Unit "
        "Prefix.",
        "Expected contents of field following Document Parameters.");
  }
  return KRReadMatched;
}

int KRDocumentParameters(int fatal, const char* message) {
  KRSfIntro expect = KRSfExpect(0xE2, 9, 36, {0x05});
  const int result = KRSfRead(fatal, message, &expect);
  if (result != KRReadMatched) return result;
  std::uint8_t data[27] = {};
  readData(message, data, 27, dataLength(expect));

  IbmFont& font = KRGlobal.documentFont;
  font.cgcsid = KRBe16(data);
  font.cpid = KRBe16(data + 2);
  font.style = 0;
  // The default font is always GFID 26, whatever the document's own identifiers.
  font.gfid = 26;
  ibmFontSetGfid(&font, &font);
  if (font.entry == nullptr) KRFatal("GFID 26 isn't defined in dca.am.");
  font.charWidth = 9;
  return KRReadMatched;
}

int KRFormatUnit2() {
  KRMasterFormat(1, "Expected primary master format.", 1);
  KRMarginTextDecl(0, "Expected margin text declaration in primary master format.",
                   &KRPrimaryFormat);
  return KRReadMatched;
}

int KRFormatUnit3() {
  const int result =
      KRFormatUnitPrefix(0, "Expected format unit prefix in alternate master format.");
  if (result != KRReadMatched) return result;
  KRMasterFormat(1, "Expected alternate master format.", 2);
  KRMarginTextDecl(0, "Expected margin text declaration in alternate master format.",
                   &KRAlternateFormat);
  return KRReadMatched;
}

int KRMasterFormat(int fatal, const char* message, int which) {
  KRSfIntro expect = KRSfExpect(0xE2, 54, KRSfNoLimit, {0x01, 0x02});
  const int result = KRSfRead(fatal, message, &expect);
  if (result != KRReadMatched) return result;
  if (expect.introBytes[3] != which) {
    KRFatal(which == 1 ? "Expected primary master format--not alternate."
                       : "Expected alternate master format--not primary.");
  }
  KRFormat* record = which == 1 ? &KRPrimaryFormat : &KRAlternateFormat;
  const std::uint64_t end = KRStdinOffset() + dataLength(expect);
  while (KRStdinOffset() < end) {
    if (KRPageImageParams(0, "Expected PIP in master format.", record) == KRReadMatched) continue;
    if (KRLineParams(0, "Expected LP in master format.", record) == KRReadMatched) continue;
    if (KRTabParams(0, "Expected TP in master format.", record) == KRReadMatched) continue;
    if (KROperatorMessage(0, "Expected OM in master format.") == KRReadMatched) continue;
    // Only the primary master format carries note format parameters; the
    // alternate one skips them as an option.
    if (which == 1 &&
        KRNoteFormatParams(0, "Expected NFP in master format.", record) == KRReadMatched) {
      continue;
    }
    KRSfSkip("Expected master format option.", "Expected master format option contents.");
  }
  return KRReadMatched;
}

int KRMarginTextDecl(int fatal, const char* message, KRFormat* record) {
  for (;;) {
    KRSfIntro expect = KRSfExpect(0xE5, 8, 9, {0x01, 0x04});
    const int result = KRSfRead(fatal, message, &expect);
    if (result != KRReadMatched) return result;
    std::uint8_t data[4] = {};
    readData(message, data, 4, dataLength(expect));

    TyxDocument& document = record->document;
    document.dHeadOnFirst = data[0] == 0 ? kYes : kNo;
    document.dFootOnFirst = document.dHeadOnFirst;  // the value only; its bit stays clear
    setBit(document.setMask, TyxDocumentField::DHeadOnFirst);

    // Positions are measured from the top edge of the page, for the bottom
    // margin text as well.
    const double position = KRBe16(data + 1) / 1440.0;
    TyxPage& page = record->page;
    if (expect.introBytes[3] == 0x01) {
      page.hfMargins[TyxTop] = TyxInches(static_cast<float>(position));
    } else {
      page.hfMargins[TyxBottom] =
          TyxInches(static_cast<float>(document.dPageSize[1].value - position));
    }
    setBit(page.setMask, TyxPageField::HFMargins);

    marginTextFields(message, record);
  }
}

int KRPageImageParams(int fatal, const char* message, KRFormat* record) {
  KRSfIntro expect = KRSfExpect(0xE5, 19, 24, {0x07});
  const int result = KRSfRead(fatal, message, &expect);
  if (result != KRReadMatched) return result;
  std::uint8_t data[19] = {};
  readData(message, data, 19, dataLength(expect));

  const std::uint32_t width = KRBe16(data + 4);
  const std::uint32_t depth = KRBe16(data + 6);
  const std::uint32_t top = KRBe16(data + 10);
  const std::uint32_t bottomLimit = KRBe16(data + 12);
  TyxDocument& document = record->document;
  document.dPageSize[0] = TyxInches(static_cast<float>(width / 1440.0));
  document.dPageSize[1] = TyxInches(static_cast<float>(depth / 1440.0));
  document.dMargins[TyxTop] = TyxInches(static_cast<float>(top / 1440.0));
  // The bottom limit is measured from the top edge.
  document.dMargins[TyxBottom] = TyxInches(static_cast<float>((depth - bottomLimit) / 1440.0));
  setBit(document.setMask, TyxDocumentField::DPageSize);
  setBit(document.setMask, TyxDocumentField::DMargins);
  return KRReadMatched;
}

int KRLineParams(int fatal, const char* message, KRFormat* record) {
  KRSfIntro expect = KRSfExpect(0xE6, 30, 37, {0x01});
  const int result = KRSfRead(fatal, message, &expect);
  if (result != KRReadMatched) return result;
  KRLpTail(record, dataLength(expect));
  return KRReadMatched;
}

void KRLpTail(KRFormat* record, std::uint32_t length) {
  // Line parameters without any data change nothing.
  if (length == 0) return;
  std::uint8_t data[32] = {};
  KRStdinRead(1, "Expected line parameters.", data, 32, length);

  TyxPgf& pgf = record->pgf;
  const TyxDocument& document = record->document;
  const double left = KRBe16(data + 11) / 1440.0;
  const double right = KRBe16(data + 13) / 1440.0;
  const float leftIndent = static_cast<float>(left - document.dMargins[TyxLeft].value);
  pgf.pgfLIndent = TyxInches(leftIndent);
  pgf.pgfFIndent = TyxInches(leftIndent);
  setBit(pgf.setMask, TyxPgfField::PgfLIndent);
  setBit(pgf.setMask, TyxPgfField::PgfFIndent);
  // Computed in double (the page width and margin meet a double), stored as a
  // float; the stored indent is what is compared with 7.5 inches.
  pgf.pgfRIndent = TyxInches(
      static_cast<float>(document.dPageSize[0].value - right - document.dMargins[TyxRight].value));
  if (pgf.pgfRIndent.value > 7.5) pgf.pgfRIndent.value = 0.0f;
  setBit(pgf.setMask, TyxPgfField::PgfRIndent);

  IbmFont& font = record->masterFont;
  font.gfid = KRBe16(data + 2);
  font.cgcsid = KRBe16(data + 7);
  font.cpid = KRBe16(data + 9);
  font.charWidth = (KRBe16(data + 4) * 72) / 1440;  // whole points, rounded down
  ibmFontSetGfid(&font, &KRGlobal.documentFont);

  // The paragraph font is the output font of the letter A of the line's font.
  const AmFontEntry* entry = font.entry;
  const AmFontEntry* output =
      entry != nullptr && entry->fontMap != nullptr ? entry->fontMap[0xC1] : nullptr;
  if (output != nullptr) {
    setBit(pgf.setMask, TyxPgfField::PgfFont);
    pgf.pgfFont.setMask = TyxBit(TyxFontField::FFamily) | TyxBit(TyxFontField::FSize);
    pgf.pgfFont.fFamily = output->family;
    pgf.pgfFont.fSize = TyxPoints(output->size);
  }

  switch (data[23]) {
    case 1:
      pgf.pgfAlignment = static_cast<std::uint32_t>(TyxAlignment::Left);
      break;
    case 2:
      pgf.pgfAlignment = static_cast<std::uint32_t>(TyxAlignment::Right);
      break;
    case 3:
      pgf.pgfAlignment = static_cast<std::uint32_t>(TyxAlignment::Center);
      break;
    case 4:
      pgf.pgfAlignment = static_cast<std::uint32_t>(TyxAlignment::LeftRight);
      break;
    default:
      break;
  }
  setBit(pgf.setMask, TyxPgfField::PgfAlignment);

  if (data[24] == 1 || data[24] == 2) pgf.pgfAutoNum = kYes;
  if (data[24] == 3 || data[24] == 4) pgf.pgfAutoNum = kNo;
  setBit(pgf.setMask, TyxPgfField::PgfAutoNum);
}

int KRTabParams(int fatal, const char* message, KRFormat* record) {
  KRSfIntro expect = KRSfExpect(0xE6, 5, 151, {0x02});
  const int result = KRSfRead(fatal, message, &expect);
  if (result != KRReadMatched) return result;
  const std::uint32_t length = dataLength(expect);
  if (length == 0) {
    record->pgf.pgfNumTabs = 0;
    setBit(record->pgf.setMask, TyxPgfField::PgfNumTabs);
    return KRReadMatched;
  }
  std::uint8_t skipped;
  KRStdinRead(0, "Expected tab parameters.", &skipped, 1, 0);
  KRTpTail(record, length - 1);
  return KRReadMatched;
}

void KRTpTail(KRFormat* record, std::uint32_t length) {
  constexpr std::uint32_t kMaxData = 145;
  std::uint8_t data[kMaxData] = {};
  readData("Expected tab parameters.", data, kMaxData, length);

  TyxPgf& pgf = record->pgf;
  setBit(pgf.setMask, TyxPgfField::PgfNumTabs);
  if (length < 4) {
    pgf.pgfNumTabs = 0;
    return;
  }
  // Arithmetic on the 32-bit float values is done in float, as C does it: only
  // the double literal 1440.0 widens a step to double. Each result is stored
  // as a float.
  const TyxDocument& document = record->document;
  const float limit = document.dPageSize[0].value - document.dMargins[TyxLeft].value -
                      document.dMargins[TyxRight].value;
  const std::uint32_t stored = std::min(length, kMaxData);
  const std::uint32_t count = (stored - 1) / 3;
  TyxTabStop* stops = KRNewTabStops(count);
  pgf.pgfNumTabs = static_cast<std::int32_t>(count);
  pgf.tabStop = stops;

  const bool inches = data[0] != 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint8_t* stop = data + 1 + 3 * i;
    const std::uint32_t position = KRBe16(stop + 1);
    TyxTabStop& tab = stops[i];
    if (inches) {
      // position / 1440.0 is a double, so the sum is too.
      tab.tsX = TyxInches(static_cast<float>(position / 1440.0 + pgf.pgfLIndent.value));
      if (tab.tsX.value > limit) tab.tsX.value = limit;
    } else {
      // Character columns counted from 1; the product wraps like the unsigned
      // arithmetic it is. Added to a float, it becomes a float; the indent and
      // the limit are multiplied by the integer 72, in float.
      const std::uint32_t columns = (position - 1) * record->masterFont.charWidth;
      tab.tsX = TyxPoints(static_cast<float>(columns) + pgf.pgfLIndent.value * 72.0f);
      const float pointLimit = limit * 72.0f;
      if (tab.tsX.value > pointLimit) tab.tsX.value = pointLimit;
    }
    const KRTabKind* kind = KRTabKindOf(stop[0]);
    tab.tsType = kind != nullptr ? kind->type : tabType(TyxTabType::Left);
    tab.tsLeader = ' ';
    tab.setMask = TyxBit(TyxTabStopField::TSX) | TyxBit(TyxTabStopField::TSType) |
                  TyxBit(TyxTabStopField::TSLeader);
    if (kind != nullptr && kind->decimalChar != 0) {
      tab.tsDecimalChar = kind->decimalChar;
      tab.setMask |= TyxBit(TyxTabStopField::TSDecimalChar);
    }
  }
}

int KROperatorMessage(int fatal, const char* message) {
  KRSfIntro expect = KRSfExpect(0xE4, 6, 65, {0x03});
  const int result = KRSfRead(fatal, message, &expect);
  if (result != KRReadMatched) return result;
  std::uint8_t text[61] = {};
  readData(message, text, 60, dataLength(expect));
  KREbcdic2Ascii(text, text);
  KRNonFatal("Operator message is:");
  KRNonFatal(reinterpret_cast<const char*>(text));
  return KRReadMatched;
}

int KRNoteFormatParams(int fatal, const char* message, KRFormat* record) {
  KRSfIntro expect = KRSfExpect(0xE9, 15, 32000, {0x03});
  const int result = KRSfRead(fatal, message, &expect);
  if (result != KRReadMatched) return result;
  KRNfpTail(record, dataLength(expect));
  return KRReadMatched;
}

void KRNfpTail(KRFormat* record, std::uint32_t length) {
  TyxDocument& document = record->document;
  std::uint32_t consumed = 0;
  while (consumed + 2 < length) {
    std::uint32_t sipLength;
    std::uint32_t identifier;
    KRSipReadHead(&sipLength, &identifier);
    // The count grows by the length byte, even one below 2 whose two head
    // bytes were read all the same; such a parameter has no data.
    const std::uint32_t size = sipLength;
    switch (identifier) {
      case 7:
        noteFormatAttributes(record, size);
        break;
      case 16:  // the number's prologue is its suffix
        ascii_param("ID Prologue", &document.dFNoteNumberSuffix,
                    TyxBit(TyxDocumentField::DFNoteNumberSuffix), &document.dFNoteNumberPos,
                    TyxBit(TyxDocumentField::DFNoteNumberPos), &document.setMask, size);
        break;
      case 17:  // and its epilogue the prefix
        ascii_param("ID Epilogue", &document.dFNoteNumberPrefix,
                    TyxBit(TyxDocumentField::DFNoteNumberPrefix), nullptr, 0, &document.setMask,
                    size);
        break;
      case 19:
        ascii_param("Reference ID Prologue", &document.dFNoteAnchorPrefix,
                    TyxBit(TyxDocumentField::DFNoteAnchorPrefix), &document.dFNoteAnchorPos,
                    TyxBit(TyxDocumentField::DFNoteAnchorPos), &document.setMask, size);
        break;
      case 20:
        ascii_param("Reference ID Epilogue", &document.dFNoteAnchorSuffix,
                    TyxBit(TyxDocumentField::DFNoteAnchorSuffix), nullptr, 0, &document.setMask,
                    size);
        break;
      case 22:
        referenceIdType(record, size);
        break;
      case 23:
        userSequenceDefinition(record, size);
        break;
      default:
        // Parameters this program does not use are skipped whole, which keeps
        // the input aligned on the next parameter.
        drop(size > 2 ? size - 2 : 0, "Expected Note Format Parameter contents.");
        break;
    }
    consumed += size;
  }
  // One or two bytes too few for a parameter are dropped, so that the field
  // ends where its length says.
  if (consumed < length) drop(length - consumed, "Expected Note Format Parameter contents.");
}

}  // namespace vantrove
