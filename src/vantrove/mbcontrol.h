// Multi-byte controls: the dispatcher, its table, and the handlers that are
// neither font controls nor part of the paragraph logic; note references.
#pragma once

#include <cstdint>

#include "tyxout/tyxout.h"

namespace vantrove {

using KRCtrlHandler = void (*)(const std::uint8_t* intro);

struct KRCtrlEntry {
  const char* name;
  KRCtrlHandler handler;
  std::uint8_t scanPass;  // 1 acts in the first-line scan, 0 in the output pass
};

// Reads the rest of a control after its 0x2B and dispatches it: `scan` 1 in
// the first-line scan, 0 in the output pass. Returns 2.
int KRMultiByteCtrl(std::uint32_t scan);

void KRPrintTextUnitName(const std::uint8_t* intro);
void KRDisplayPrompt(const std::uint8_t* intro);
void KRSetTabs(const std::uint8_t* intro);
void KRSetLineParams(const std::uint8_t* intro);
void KRReturnMasterLine(const std::uint8_t* intro);
void KRAlignTextLine(const std::uint8_t* intro);
void KRAlignTextField(const std::uint8_t* intro);

// Fills and returns the paragraph format of a footnote's first paragraph.
const TyxPgf* setFootnoteParaFormat();

void KRNoteReference(const std::uint8_t* intro);
// 1 when the k + 13 bytes are the echo of the footnote number `digits`.
int noteMatch(const std::uint8_t* bytes, const char* digits, int k);
// Counts a footnote text unit in the running footnote count, which the echo
// after the next note reference carries.
void KRCountFootnote();
// The footnote number of a text unit named by six EBCDIC bytes, as a footnote
// unit and a note reference to it both take it: the leading decimal digits of
// the converted name, mod 65536.
int KRFootnoteNumber(const std::uint8_t* name);

// Returns the footnote count, the footnote paragraph format and the end of the
// last printed unit name to program start (tests and fuzzing).
void KRMultiByteReset();

}  // namespace vantrove
