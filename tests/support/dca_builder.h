// Test-side builder for DCA-RFT byte streams: structured fields, self-identifying
// parameters, multi-byte controls and whole documents.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace dca {

using Bytes = std::vector<std::uint8_t>;

// Concatenation.
Bytes operator+(Bytes a, const Bytes& b);
// Two bytes, big-endian.
Bytes be16(unsigned value);
// Latin-1 text encoded in EBCDIC code page 037.
Bytes ebc(std::string_view latin1);
// Bytes given literally.
Bytes raw(std::initializer_list<int> bytes);
// Structured field: 5-byte introducer (length = data.size() + 5, big-endian, class,
// type, format) followed by data.
Bytes field(std::uint8_t cls, std::uint8_t type, const Bytes& data, std::uint8_t format = 0);
// Self-identifying parameter: length byte (data.size() + 2), id, data.
Bytes sip(std::uint8_t id, const Bytes& data);
// Multi-byte control: 0x2B, class, params.size() + 2, type, params.
Bytes mbc(std::uint8_t cls, std::uint8_t type, const Bytes& params = {});

// Single-byte controls.
namespace ctl {
constexpr std::uint8_t NUL = 0x00, HT = 0x05, RCR = 0x06, SPS = 0x09, PE = 0x0C, ZICR = 0x0D,
                       CRE = 0x15, BS = 0x16, UBS = 0x1A, WUS = 0x23, INX = 0x25, MBC = 0x2B,
                       IRT = 0x33, NBS = 0x36, SBS = 0x38, IT = 0x39, RPE = 0x3A, SUB = 0x3F,
                       SP = 0x40, RSP = 0x41, RHY = 0x60, SHY = 0xCA, NSP = 0xE1;
}  // namespace ctl

// Multi-byte controls by name.
Bytes beginEmphasis();
Bytes endEmphasis();
// D1 05 with five parameter bytes: the GFID and three zero bytes.
Bytes setGfid(std::uint16_t gfid);
Bytes escapedGraphic(std::uint8_t code, std::uint16_t cpid = 37);
Bytes beginUnderscore();
Bytes endUnderscore();
Bytes returnToMasterFont();
Bytes printTextUnitName();
Bytes displayPrompt(const Bytes& prompt);
Bytes setTabs(const Bytes& tabData);
Bytes returnToMasterLine();
Bytes alignTextLine(std::uint8_t how);
Bytes alignTextField(std::uint8_t kind);
Bytes alignTextField(std::uint8_t kind, std::uint16_t column);
// D9 85 with an include SIP (id 8) whose nested list holds a unit reference SIP
// (id 4) carrying the six EBCDIC name bytes.
Bytes noteReference(std::string_view unitName6);
// The echo DCA places after a note reference for that note number.
Bytes noteEcho(int number);
// D4 47.
Bytes pageNumber();

// Structured fields.
Bytes formatUnitPrefix();  // E1 03, length 5
Bytes documentParams(std::uint16_t cgcsid = 697, std::uint16_t cpid = 37,
                     std::size_t dataLength = 27);  // E2 05
Bytes pageImageParams(std::uint16_t width, std::uint16_t depth, std::uint16_t top,
                      std::uint16_t bottomLimit);  // E5 07, 14 data bytes

struct Line {
  std::uint16_t gfid = 11;
  std::uint16_t charWidth = 144;
  std::uint16_t cgcsid = 697;
  std::uint16_t cpid = 37;
  std::uint16_t left = 1440;
  std::uint16_t right = 10800;
  std::uint8_t align = 1;
  std::uint8_t autoNum = 3;
};
Bytes lineParams(const Line& line);  // E6 01

// One stop of tab data: its kind, then its position.
Bytes tab(std::uint8_t kind, std::uint16_t position);
// The measure byte followed by stops made with tab().
Bytes tabData(std::uint8_t measure, const Bytes& stops);
// E6 02: one skipped byte, then tabData.
Bytes tabParams(std::uint8_t measure, const Bytes& stops);

Bytes operatorMessage(std::string_view text);  // E4 03
// E9 03, padded to the minimum length 15 with an unused SIP.
Bytes noteFormatParams(const Bytes& sips);
// E2 01 (which == 1, primary) / E2 02 (alternate), padded to the minimum length 54
// with an option field no parameter reader accepts.
Bytes masterFormat(int which, const Bytes& members);
// E5 01 (top) / E5 04 (bottom), 3 data bytes.
Bytes marginTextDecl(std::uint8_t type, std::uint16_t position, std::uint8_t firstPage = 0);
Bytes marginTextField(std::uint8_t type, const Bytes& text);  // E8 01..06
Bytes textUnitName(std::string_view name6);                   // E1 04, six EBCDIC bytes
Bytes establishMaster(int which);                             // E3 01 / E3 02
// E2 04, padded to the minimum length 64 with a skipped field.
Bytes formatChange(const Bytes& members);
Bytes bodyText(const Bytes& text);  // E8 07
Bytes endUnit();                    // E1 06

// Whole documents.
Bytes formatUnit1();  // prefix + document parameters
// prefix + primary master format + margin texts
Bytes formatUnit2(const Bytes& members, const Bytes& marginTexts = {});
// Page image 8.5 x 11 in (12240 x 15840), top 1440, bottom limit 14400; Line{} (GFID 11,
// margins 1 in and 7.5 in); six left tabs in inches (measure 1) with the positions
// 2880, 4320, ..., 10080 (2 to 7 in from the left margin).
Bytes standardMembers();
Bytes standardFormat();  // formatUnit1() + formatUnit2(standardMembers())
// Text unit name + leading fields + one body text field.
Bytes textUnit(std::string_view name6, const Bytes& body, const Bytes& leading = {});
Bytes document(const Bytes& units);  // standardFormat() + units + endUnit()

}  // namespace dca
