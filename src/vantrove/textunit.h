// Text units, single-byte controls and the paragraph state.
#pragma once

#include <cstdint>
#include <cstdio>

namespace vantrove {

// 0 end of input in the leading fields, 1 the next field is not a text unit, 2 translated.
int KRTextUnit(int fatal, const char* message);
int KREndUnit(int fatal, const char* message);

// Closes the open paragraph (if any) and starts the scan of the next one.
void KRParaClose(std::FILE* stream);
// Ends the scan and opens the paragraph.
void KRParaOpen(std::uint8_t terminator, std::FILE* stream);
void KRScriptShift();

// The stream footnote text units write to (the driver opens and closes it).
void KRTextSetFootnoteStream(std::FILE* stream);

// Returns the paragraph state to program start and forgets the footnote
// stream (tests, fuzzing).
void KRTextReset();

}  // namespace vantrove
