// Multi-byte controls: the dispatcher with its control table, the handlers of
// line, tab and alignment changes, prompts and unit names, the footnote
// paragraph format, and note references.
#include "vantrove/mbcontrol.h"

#include <array>
#include <cstdint>
#include <cstdio>

#include "tyxout/tyxout.h"
#include "vantrove/fontctl.h"
#include "vantrove/format.h"
#include "vantrove/io.h"
#include "vantrove/sfield.h"

namespace vantrove {
namespace {

struct CtrlRow {
  std::uint8_t cls;
  std::uint8_t type;
  KRCtrlEntry entry;
};

constexpr std::uint8_t kOutput = 0;
constexpr std::uint8_t kScan = 1;

// The module's state: one for the whole run.
struct ControlState {
  // Input offset just past the unit name most recently put into the text.
  std::uint64_t printedNameEnd = 0;
  // The running footnote count: note references and footnote text units.
  int footnoteNum = 0;
  // The format of every footnote's first paragraph.
  TyxPgf footnotePgf{};
  TyxTabStop footnoteTab{};
};
ControlState controls;

// Every control the text may carry. Line, tab and alignment changes shape the
// paragraph format and act while its first line is scanned; everything else
// acts when the text is written. A null handler skips the parameters.
constexpr CtrlRow kCtrlTable[] = {
    {0xD1, 0x8A, {"Begin Emphasis", KRFontControl, kOutput}},
    {0xD1, 0x8E, {"End Emphasis", KRFontControl, kOutput}},
    {0xD1, 0x05, {"Set CFID thru GFID", KRFontControl, kOutput}},
    {0xD1, 0x01, {"Set GCGID thru GCID", KRFontControl, kOutput}},
    {0xD4, 0x13, {"Return to Master Font", KRFontControl, kOutput}},
    {0xD1, 0x15, {"Insert Escaped Graphic", KRFontControl, kOutput}},
    {0xD4, 0x72, {"Begin Overstrike", KRFontControl, kOutput}},
    {0xD4, 0x76, {"End Overstrike", KRFontControl, kOutput}},
    {0xD4, 0x63, {"Print Text Unit Name", KRPrintTextUnitName, kOutput}},
    {0xD4, 0x90, {"Display Prompt & Stop", KRDisplayPrompt, kOutput}},
    {0xD2, 0x01, {"Set Tabs", KRSetTabs, kScan}},
    {0xD4, 0x0A, {"Begin Underscore", KRFontControl, kOutput}},
    {0xD4, 0x0E, {"End Underscore", KRFontControl, kOutput}},
    {0xD4, 0x0B, {"Align Text Field", KRAlignTextField, kScan}},
    {0xD4, 0x0F, {"Align Text Line", KRAlignTextLine, kScan}},
    {0xD4, 0x05, {"Set Line Parameters", KRSetLineParams, kScan}},
    {0xD4, 0x04, {"Return to Master Line Format", KRReturnMasterLine, kScan}},
    {0xD9, 0x85, {"Note Reference", KRNoteReference, kOutput}},
    {0xD2, 0x0B, {"Release Left Margin", nullptr, kOutput}},
    {0xD4, 0x47, {"Print Page Image #", nullptr, kOutput}},
    {0xD4, 0x62, {"Begin Keep", nullptr, kOutput}},
    {0xD4, 0x66, {"End Keep", nullptr, kOutput}},
    {0xD4, 0x7A, {"Begin Linguistic Mark", nullptr, kOutput}},
    {0xD4, 0x73, {"End Linguistic Mark", nullptr, kOutput}},
    {0xD4, 0x02, {"Begin Line Format Change", nullptr, kOutput}},
    {0xD4, 0x06, {"End Line Format Change", nullptr, kOutput}},
    {0xD8, 0x62, {"Begin Column Layout", nullptr, kOutput}},
    {0xD8, 0x66, {"End Column Layout", nullptr, kOutput}},
    {0xD8, 0x82, {"Set Spelling Check Attributes", nullptr, kOutput}},
    {0xD2, 0x35, {"Set Visual Attributes", nullptr, kOutput}},
    {0xD9, 0x81, {"Include Unit", nullptr, kOutput}},
    {0xD9, 0x82, {"Insert", nullptr, kOutput}},
    {0xD9, 0x6A, {"Auto-Outline", nullptr, kOutput}},
    {0xD9, 0x86, {"Note Text Reference", nullptr, kOutput}},
    {0xD8, 0x95, {"Note Partition Delimiter", nullptr, kOutput}},
    {0xD8, 0x96, {"Locate Process Output", nullptr, kOutput}},
    {0xD8, 0x6A, {"Begin Formatted Text", nullptr, kOutput}},
    {0xD8, 0x6E, {"End Formatted Text", nullptr, kOutput}},
    {0xD8, 0x94, {"Conditional Word Break", nullptr, kOutput}},
};

constexpr std::uint8_t kFirstClass = 0xD1;
constexpr std::uint8_t kLastClass = 0xD9;
constexpr std::uint8_t kNoControl = 0xFF;
constexpr std::size_t kCtrlCount = sizeof kCtrlTable / sizeof kCtrlTable[0];
static_assert(kCtrlCount < kNoControl);

using CtrlIndex = std::array<std::array<std::uint8_t, 256>, kLastClass - kFirstClass + 1>;

// Row of the control table for each class (0xD1 to 0xD9) and type.
constexpr CtrlIndex kCtrlIndex = [] {
  CtrlIndex index{};
  for (auto& row : index) row.fill(kNoControl);
  for (std::size_t i = 0; i < kCtrlCount; ++i) {
    index[kCtrlTable[i].cls - kFirstClass][kCtrlTable[i].type] = static_cast<std::uint8_t>(i);
  }
  // Type 0xFF names no control in any class.
  for (auto& row : index) row[0xFF] = kNoControl;
  return index;
}();

constexpr const char* kContentsMessage = "Expected multi-byte ctrl contents.";

std::uint32_t paramLength(const std::uint8_t* intro) {
  return intro[1] - 2u;
}

void skipParams(std::uint32_t count, const char* message) {
  if (count > 0) KRStdinDrop(count, message);
}

// Data bytes of a self-identifying parameter: its length byte counts the two
// head bytes; one below 2 has none.
std::uint32_t sipData(std::uint32_t length) {
  return length > 2 ? length - 2 : 0;
}

// Footnote reference for the unit named by the first six data bytes, the
// number the footnote unit itself gets. A unit reference without name bytes
// reads nothing and refers to unit 0.
void unitReference(std::uint32_t dataLength) {
  std::uint8_t data[13] = {};
  if (dataLength > 0) KRStdinRead(1, "Expected Unit Reference contents.", data, 12, dataLength);
  if (TyxFNoteRefOut(KRFootnoteNumber(data), KRGlobal.bodyStream) == TyxWriteFailed) {
    KRFatalStdio();
  }
}

// The nested parameter list of a note reference's include, `total` bytes by
// the include's length byte. Like the control's own parameters, it is counted
// by the parameters' length bytes, and a head is read while the count is below
// the total, even when fewer than two bytes are left.
void includeList(std::uint32_t total) {
  std::uint32_t used = 0;
  while (used < total) {
    std::uint32_t length = 0;
    std::uint32_t id = 0;
    KRSipReadHead(&length, &id);
    if (id == 4) {
      unitReference(sipData(length));
    } else {
      // 1, 2 and 3 are skipped whole, and so is anything else.
      skipParams(sipData(length), "Expected Primary Include Contents.");
    }
    used += length;
  }
}

}  // namespace

int KRMultiByteCtrl(std::uint32_t scan) {
  std::uint8_t intro[3];
  KRStdinRead(1, "Expected multi-byte ctrl.", intro, 3, 0);
  const std::uint8_t cls = intro[0];
  const std::uint8_t type = intro[2];
  if (intro[1] < 2) KRFatal("Length in multi-byte ctrl less than 2.");
  const std::uint32_t params = paramLength(intro);

  const std::uint8_t row =
      (cls < kFirstClass || cls > kLastClass) ? kNoControl : kCtrlIndex[cls - kFirstClass][type];
  if (row == kNoControl) {
    char message[80];
    std::snprintf(message, sizeof message, "Unknown multi-byte control:  class = 0x%x type = 0x%x.",
                  cls, type);
    KRNonFatal(message);
    skipParams(params, kContentsMessage);
    return 2;
  }
  const KRCtrlEntry& entry = kCtrlTable[row].entry;
  if (entry.scanPass != scan || entry.handler == nullptr) {
    skipParams(params, kContentsMessage);
    return 2;
  }
  entry.handler(intro);
  return 2;
}

// The unit name goes back into the input and is read as text: 1234.5.6.
void KRPrintTextUnitName(const std::uint8_t* /*intro*/) {
  // A unit name is free text, and its first four bytes can be this very
  // control. Met again inside the name it printed, the control prints
  // nothing: printing the name once more would push back more than it reads,
  // forever, and drive the input offset below its start.
  if (KRStdinOffset() < controls.printedNameEnd) return;
  controls.printedNameEnd = KRStdinOffset();
  KRStdinUnread(KRGlobal.unitName, 8);
}

// The prompt appears in the text between two runs of three number signs,
// padded to 16 characters; nothing stops or prompts.
void KRDisplayPrompt(const std::uint8_t* intro) {
  constexpr std::uint32_t kPromptSize = 16;
  const std::uint32_t params = paramLength(intro);
  std::uint8_t text[6 + kPromptSize];
  std::uint8_t* prompt = text + 3;
  std::uint32_t given = 0;
  if (params > 0) {
    KRStdinRead(1, "Expected display prompt.", prompt, kPromptSize, params);
    given = params < kPromptSize ? params : kPromptSize;
  }
  for (std::uint32_t i = given; i < kPromptSize; ++i) prompt[i] = 0x40;
  for (int i = 0; i < 3; ++i) {
    text[i] = 0x7B;
    text[3 + kPromptSize + i] = 0x7B;
  }
  KRStdinUnread(text, sizeof text);
}

void KRSetTabs(const std::uint8_t* intro) {
  KRTpTail(&KRCurrentFormat, paramLength(intro));
}

void KRSetLineParams(const std::uint8_t* intro) {
  // Without parameters there is nothing to apply: the text after the control
  // is text, not line parameters.
  const std::uint32_t params = paramLength(intro);
  if (params > 0) KRLpTail(&KRCurrentFormat, params);
}

void KRReturnMasterLine(const std::uint8_t* /*intro*/) {
  if (KRGlobal.masterFormat != nullptr) KRCurrentFormat = *KRGlobal.masterFormat;
}

void KRAlignTextLine(const std::uint8_t* intro) {
  const std::uint32_t params = paramLength(intro);
  if (params > 0) {
    std::uint8_t how = 0;
    KRStdinRead(1, "Expected align text line contents.", &how, 1, params);
    if (how <= 2) KRGlobal.lineAlignment = how;  // 0 Left, 1 Center, 2 Right
  }
  KRGlobal.alignLine = 1;
}

void KRAlignTextField(const std::uint8_t* intro) {
  const std::uint32_t params = paramLength(intro);
  std::uint8_t data[3] = {};
  if (params > 0) KRStdinRead(1, "Expected align text field contents.", data, 3, params);
  // Without a column the field starts where the leading blanks and tabs end.
  KRGlobal.alignColumn = params <= 1 ? 0 : KRBe16(data + 1);
  // The field's tab stop is of the kinds of the tab parameters; any other kind
  // keeps the one set before.
  const KRTabKind* kind = params > 0 ? KRTabKindOf(data[0]) : nullptr;
  if (kind != nullptr) {
    KRGlobal.alignTabType = kind->type;
    if (kind->decimalChar != 0) {
      KRGlobal.alignDecimalChar = static_cast<std::uint32_t>(kind->decimalChar);
    }
  }
  KRGlobal.alignField = 1;
}

const TyxPgf* setFootnoteParaFormat() {
  TyxTabStop& tab = controls.footnoteTab;
  tab = TyxTabStop{};
  tab.setMask = TyxBit(TyxTabStopField::TSX) | TyxBit(TyxTabStopField::TSType);
  tab.tsX = TyxInches(0.25f);
  tab.tsType = static_cast<std::uint32_t>(TyxTabType::Left);

  TyxPgf& pgf = controls.footnotePgf;
  pgf = TyxPgf{};
  pgf.setMask = TyxBit(TyxPgfField::PgfTag) | TyxBit(TyxPgfField::PgfLIndent) |
                TyxBit(TyxPgfField::PgfFIndent) | TyxBit(TyxPgfField::PgfRIndent) |
                TyxBit(TyxPgfField::PgfNumTabs) | TyxBit(TyxPgfField::PgfFont) |
                TyxBit(TyxPgfField::TabStop);
  pgf.pgfTag = "Footnote";
  pgf.pgfLIndent = TyxInches(0.25f);
  pgf.pgfFIndent = TyxInches(0.0f);
  pgf.pgfRIndent = TyxInches(0.0f);
  pgf.pgfNumTabs = 1;
  pgf.tabStop = &tab;
  pgf.pgfFont.setMask = TyxBit(TyxFontField::FFamily) | TyxBit(TyxFontField::FSize);
  pgf.pgfFont.fFamily = "Times";
  pgf.pgfFont.fSize = TyxPoints(10.0f);
  return &pgf;
}

void KRNoteReference(const std::uint8_t* intro) {
  // The parameters are counted by their length bytes, as the note format
  // parameters are; a head is read while the count is below the parameter
  // length, so a stray last byte starts a head that reads past the control.
  const std::uint32_t total = paramLength(intro);
  std::uint32_t used = 0;
  while (used < total) {
    std::uint32_t length = 0;
    std::uint32_t id = 0;
    KRSipReadHead(&length, &id);
    switch (id) {
      case 8: {
        // An include: four bytes, of which byte 2 is the length of a nested
        // list that follows, whatever the include's own length byte says.
        std::uint8_t head[4];
        KRStdinRead(1, "Expected Note Reference contents.", head, 4, 0);
        includeList(head[2] >= 2 ? head[2] - 2u : 0);
        break;
      }
      case 1:
      case 5:
      case 9:
      case 17:
      case 18:
      case 19:
      case 20:
        skipParams(sipData(length), "Expected Note Reference Contents.");
        break;
      default:
        KRNonFatal("Illegal Parameter type in Note Reference Field, skipping.");
        skipParams(sipData(length), "Expected Note Reference Contents.");
        break;
    }
    used += length;
  }

  // DCA echoes the note number after the reference; the output numbers its
  // footnotes itself, so a matching echo is swallowed. Anything else, also an
  // echo cut short by the end of the input, goes back whole: the k + 13 bytes
  // as the read stored them, bytes it did not deliver as 0.
  ++controls.footnoteNum;
  char digits[16];
  const int k = std::snprintf(digits, sizeof digits, "%d", controls.footnoteNum);
  std::uint8_t echo[16 + 13] = {};
  const std::uint32_t count = static_cast<std::uint32_t>(k) + 13;
  const int result = KRStdinRead(0, "Expected Text after Footnote Reference.", echo, count, 0);
  if (result != KRReadMatched || noteMatch(echo, digits, k) == 0) KRStdinUnread(echo, count);
}

int noteMatch(const std::uint8_t* bytes, const char* digits, int k) {
  static constexpr std::uint8_t kHead[] = {0x2B, 0xD8, 0x04, 0x6A, 0x00, 0x01, 0x09};
  static constexpr std::uint8_t kTail[] = {0x38, 0x2B, 0xD8, 0x03, 0x6E};
  int at = 0;
  for (std::uint8_t b : kHead) {
    if (bytes[at++] != b) return 0;
  }
  for (int i = 0; i < k; ++i) {
    if (bytes[at++] != static_cast<std::uint8_t>(digits[i] + 0xC0)) return 0;
  }
  for (std::uint8_t b : kTail) {
    if (bytes[at++] != b) return 0;
  }
  return 1;  // the last byte, the parameter of the closing control, is not compared
}

void KRCountFootnote() {
  ++controls.footnoteNum;
}

int KRFootnoteNumber(const std::uint8_t* name) {
  std::uint8_t ascii[7] = {};
  for (int i = 0; i < 6; ++i) ascii[i] = name[i];
  KREbcdic2Ascii(ascii, ascii);
  long number = 0;
  for (int i = 0; i < 6 && ascii[i] >= '0' && ascii[i] <= '9'; ++i) {
    number = number * 10 + (ascii[i] - '0');
  }
  return static_cast<int>(number % 65536);
}

void KRMultiByteReset() {
  controls = ControlState{};
}

}  // namespace vantrove
