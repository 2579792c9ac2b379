// Structured fields, self-identifying parameters, format units and the
// parameters that fill the format records.
#pragma once

#include <cstdint>
#include <initializer_list>

#include "vantrove/format.h"
#include "vantrove/io.h"

namespace vantrove {

// What KRSfRead expects, and on a match the introducer it read. The readers
// return the stream's result codes (KRReadEnd, KRReadOther, KRReadMatched).
struct KRSfIntro {
  std::uint8_t introBytes[5];  // length (2, big-endian), class, type, format
  std::uint32_t minLength;
  std::uint32_t maxLength;  // KRSfNoLimit for no limit
  std::uint8_t types[12];
  std::uint32_t typeCount;
};

constexpr std::uint32_t KRSfNoLimit = 0x40000000;

// Reads and checks one introducer against `expect` (class in introBytes[2],
// format byte in introBytes[4]). 2 matched (introBytes hold it), 1 other field
// (pushed back, fatal 0 only), 0 end of input (fatal 0 only).
int KRSfRead(int fatal, const char* message, KRSfIntro* expect);
// The expectation for a field of class `cls`, format byte 0, a length in
// [minLength, maxLength] and one of `types` (at most 12).
KRSfIntro KRSfExpect(std::uint8_t cls, std::uint32_t minLength, std::uint32_t maxLength,
                     std::initializer_list<std::uint8_t> types);
// Length of a structured field from its introducer bytes.
std::uint32_t KRSfLength(const KRSfIntro& intro);
// Skips one structured field whatever it is: its introducer (fatal with
// `introMessage` when short), then its data (fatal with `dataMessage`).
void KRSfSkip(const char* introMessage, const char* dataMessage);
void KRSipReadHead(std::uint32_t* length, std::uint32_t* identifier);
void ascii_param(const char* name, const char** text, std::uint32_t textBit,
                 std::uint32_t* position, std::uint32_t positionBit, std::uint32_t* mask,
                 std::uint32_t length);

int KRFormatUnit1();
int KRFormatUnit2();
int KRFormatUnit3();
int KRFormatUnitPrefix(int fatal, const char* message);
int KRDocumentParameters(int fatal, const char* message);
int KRMasterFormat(int fatal, const char* message, int which);
int KRMarginTextDecl(int fatal, const char* message, KRFormat* record);

int KRPageImageParams(int fatal, const char* message, KRFormat* record);
int KRLineParams(int fatal, const char* message, KRFormat* record);
void KRLpTail(KRFormat* record, std::uint32_t length);
int KRTabParams(int fatal, const char* message, KRFormat* record);
void KRTpTail(KRFormat* record, std::uint32_t length);

// The tab stop of a DCA tab kind: 0 left, 1 decimal ".", 2 decimal ",",
// 3 center, 4 right, 5 decimal ":". `decimalChar` is 0 for the kinds that are
// not decimal.
struct KRTabKind {
  std::uint32_t type;  // a TyxTabType
  std::int32_t decimalChar;
};
// Null for any other kind (the tab parameters take it as left).
const KRTabKind* KRTabKindOf(std::uint8_t kind);

int KROperatorMessage(int fatal, const char* message);

int KRNoteFormatParams(int fatal, const char* message, KRFormat* record);
void KRNfpTail(KRFormat* record, std::uint32_t length);

}  // namespace vantrove
