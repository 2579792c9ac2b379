#include "support/dca_builder.h"

#include <array>
#include <stdexcept>
#include <string>

namespace dca {

namespace {

// Code page 037: the Latin-1 character of each EBCDIC code point (taken from
// iconv's CP037 converter, independently of the font map).
constexpr std::array<std::uint8_t, 256> kEbcdicToLatin1 = {
    0x00, 0x01, 0x02, 0x03, 0x9C, 0x09, 0x86, 0x7F, 0x97, 0x8D, 0x8E, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F,
    0x10, 0x11, 0x12, 0x13, 0x9D, 0x85, 0x08, 0x87, 0x18, 0x19, 0x92, 0x8F, 0x1C, 0x1D, 0x1E, 0x1F,
    0x80, 0x81, 0x82, 0x83, 0x84, 0x0A, 0x17, 0x1B, 0x88, 0x89, 0x8A, 0x8B, 0x8C, 0x05, 0x06, 0x07,
    0x90, 0x91, 0x16, 0x93, 0x94, 0x95, 0x96, 0x04, 0x98, 0x99, 0x9A, 0x9B, 0x14, 0x15, 0x9E, 0x1A,
    0x20, 0xA0, 0xE2, 0xE4, 0xE0, 0xE1, 0xE3, 0xE5, 0xE7, 0xF1, 0xA2, 0x2E, 0x3C, 0x28, 0x2B, 0x7C,
    0x26, 0xE9, 0xEA, 0xEB, 0xE8, 0xED, 0xEE, 0xEF, 0xEC, 0xDF, 0x21, 0x24, 0x2A, 0x29, 0x3B, 0xAC,
    0x2D, 0x2F, 0xC2, 0xC4, 0xC0, 0xC1, 0xC3, 0xC5, 0xC7, 0xD1, 0xA6, 0x2C, 0x25, 0x5F, 0x3E, 0x3F,
    0xF8, 0xC9, 0xCA, 0xCB, 0xC8, 0xCD, 0xCE, 0xCF, 0xCC, 0x60, 0x3A, 0x23, 0x40, 0x27, 0x3D, 0x22,
    0xD8, 0x61, 0x62, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0xAB, 0xBB, 0xF0, 0xFD, 0xFE, 0xB1,
    0xB0, 0x6A, 0x6B, 0x6C, 0x6D, 0x6E, 0x6F, 0x70, 0x71, 0x72, 0xAA, 0xBA, 0xE6, 0xB8, 0xC6, 0xA4,
    0xB5, 0x7E, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7A, 0xA1, 0xBF, 0xD0, 0xDD, 0xDE, 0xAE,
    0x5E, 0xA3, 0xA5, 0xB7, 0xA9, 0xA7, 0xB6, 0xBC, 0xBD, 0xBE, 0x5B, 0x5D, 0xAF, 0xA8, 0xB4, 0xD7,
    0x7B, 0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0xAD, 0xF4, 0xF6, 0xF2, 0xF3, 0xF5,
    0x7D, 0x4A, 0x4B, 0x4C, 0x4D, 0x4E, 0x4F, 0x50, 0x51, 0x52, 0xB9, 0xFB, 0xFC, 0xF9, 0xFA, 0xFF,
    0x5C, 0xF7, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5A, 0xB2, 0xD4, 0xD6, 0xD2, 0xD3, 0xD5,
    0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0xB3, 0xDB, 0xDC, 0xD9, 0xDA, 0x9F,
};

constexpr std::array<std::uint8_t, 256> invert(const std::array<std::uint8_t, 256>& table) {
  std::array<std::uint8_t, 256> inverse{};
  for (int code = 0; code < 256; ++code) inverse[table[code]] = static_cast<std::uint8_t>(code);
  return inverse;
}

constexpr std::array<std::uint8_t, 256> kLatin1ToEbcdic = invert(kEbcdicToLatin1);

Bytes zeros(std::size_t count) {
  return Bytes(count, 0);
}

std::uint8_t byte(std::size_t value) {
  if (value > 0xFF) throw std::length_error("dca builder: length does not fit in one byte");
  return static_cast<std::uint8_t>(value);
}

// A structured field that no parameter reader accepts, `size` bytes in all (at least 5).
Bytes skippedField(std::size_t size) {
  return field(0xE7, 0x01, zeros(size < 5 ? 0 : size - 5));
}

// Appends a skipped field so that the data reaches at least `minData` bytes.
Bytes padWithSkippedField(const Bytes& members, std::size_t minData) {
  if (members.size() >= minData) return members;
  return members + skippedField(minData - members.size());
}

// The 25 data bytes of a set of line parameters.
Bytes lineData(const Line& line) {
  Bytes data = zeros(2) + be16(line.gfid) + be16(line.charWidth) + zeros(1) + be16(line.cgcsid) +
               be16(line.cpid) + be16(line.left) + be16(line.right);
  data.resize(23, 0);
  return data + Bytes{line.align, line.autoNum};
}

}  // namespace

Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

Bytes be16(unsigned value) {
  return {static_cast<std::uint8_t>((value >> 8) & 0xFF), static_cast<std::uint8_t>(value & 0xFF)};
}

Bytes ebc(std::string_view latin1) {
  Bytes out;
  out.reserve(latin1.size());
  for (char c : latin1) out.push_back(kLatin1ToEbcdic[static_cast<unsigned char>(c)]);
  return out;
}

Bytes raw(std::initializer_list<int> bytes) {
  Bytes out;
  out.reserve(bytes.size());
  for (int b : bytes) out.push_back(static_cast<std::uint8_t>(b));
  return out;
}

Bytes field(std::uint8_t cls, std::uint8_t type, const Bytes& data, std::uint8_t format) {
  if (data.size() + 5 > 0xFFFF) throw std::length_error("dca builder: field too long");
  return be16(static_cast<unsigned>(data.size() + 5)) + Bytes{cls, type, format} + data;
}

Bytes sip(std::uint8_t id, const Bytes& data) {
  return Bytes{byte(data.size() + 2), id} + data;
}

Bytes mbc(std::uint8_t cls, std::uint8_t type, const Bytes& params) {
  return Bytes{ctl::MBC, cls, byte(params.size() + 2), type} + params;
}

Bytes beginEmphasis() {
  return mbc(0xD1, 0x8A);
}
Bytes endEmphasis() {
  return mbc(0xD1, 0x8E);
}
Bytes setGfid(std::uint16_t gfid) {
  return mbc(0xD1, 0x05, be16(gfid) + zeros(3));
}
Bytes escapedGraphic(std::uint8_t code, std::uint16_t cpid) {
  return mbc(0xD1, 0x15, be16(cpid) + Bytes{code});
}
Bytes beginUnderscore() {
  return mbc(0xD4, 0x0A);
}
Bytes endUnderscore() {
  return mbc(0xD4, 0x0E);
}
Bytes returnToMasterFont() {
  return mbc(0xD4, 0x13);
}
Bytes printTextUnitName() {
  return mbc(0xD4, 0x63);
}
Bytes displayPrompt(const Bytes& prompt) {
  return mbc(0xD4, 0x90, prompt);
}
Bytes setTabs(const Bytes& tabData) {
  return mbc(0xD2, 0x01, tabData);
}
Bytes returnToMasterLine() {
  return mbc(0xD4, 0x04);
}
Bytes alignTextLine(std::uint8_t how) {
  return mbc(0xD4, 0x0F, Bytes{how});
}
Bytes alignTextField(std::uint8_t kind) {
  return mbc(0xD4, 0x0B, Bytes{kind});
}
Bytes alignTextField(std::uint8_t kind, std::uint16_t column) {
  return mbc(0xD4, 0x0B, Bytes{kind} + be16(column));
}

Bytes noteReference(std::string_view unitName6) {
  // Include parameter: head, four bytes of which the third is the length of the
  // nested parameter list (counting two head bytes), then the list itself.
  const Bytes nested = sip(0x04, ebc(unitName6));
  const Bytes include =
      Bytes{byte(nested.size() + 6), 0x08, 0x00, 0x00, byte(nested.size() + 2), 0x00} + nested;
  return mbc(0xD9, 0x85, include);
}

Bytes noteEcho(int number) {
  Bytes out = raw({0x2B, 0xD8, 0x04, 0x6A, 0x00, 0x01, ctl::SPS});
  for (char digit : std::to_string(number)) out.push_back(static_cast<std::uint8_t>(digit + 0xC0));
  return out + raw({ctl::SBS, 0x2B, 0xD8, 0x03, 0x6E, 0x00});
}

Bytes pageNumber() {
  return mbc(0xD4, 0x47);
}

Bytes formatUnitPrefix() {
  return field(0xE1, 0x03, {});
}

Bytes documentParams(std::uint16_t cgcsid, std::uint16_t cpid, std::size_t dataLength) {
  Bytes data = be16(cgcsid) + be16(cpid);
  data.resize(dataLength, 0);
  return field(0xE2, 0x05, data);
}

Bytes pageImageParams(std::uint16_t width, std::uint16_t depth, std::uint16_t top,
                      std::uint16_t bottomLimit) {
  return field(0xE5, 0x07,
               zeros(4) + be16(width) + be16(depth) + zeros(2) + be16(top) + be16(bottomLimit));
}

Bytes lineParams(const Line& line) {
  return field(0xE6, 0x01, lineData(line));
}

Bytes tab(std::uint8_t kind, std::uint16_t position) {
  return Bytes{kind} + be16(position);
}

Bytes tabData(std::uint8_t measure, const Bytes& stops) {
  return Bytes{measure} + stops;
}

Bytes tabParams(std::uint8_t measure, const Bytes& stops) {
  return field(0xE6, 0x02, zeros(1) + tabData(measure, stops));
}

Bytes operatorMessage(std::string_view text) {
  return field(0xE4, 0x03, ebc(text));
}

Bytes noteFormatParams(const Bytes& sips) {
  constexpr std::size_t kMinData = 10;
  if (sips.size() >= kMinData) return field(0xE9, 0x03, sips);
  const std::size_t missing = kMinData - sips.size();
  // An unused parameter (id 1) of at least three bytes, so that it is read.
  return field(0xE9, 0x03, sips + sip(0x01, zeros(missing < 3 ? 1 : missing - 2)));
}

Bytes masterFormat(int which, const Bytes& members) {
  return field(0xE2, static_cast<std::uint8_t>(which), padWithSkippedField(members, 49));
}

Bytes marginTextDecl(std::uint8_t type, std::uint16_t position, std::uint8_t firstPage) {
  return field(0xE5, type, Bytes{firstPage} + be16(position));
}

Bytes marginTextField(std::uint8_t type, const Bytes& text) {
  return field(0xE8, type, text);
}

Bytes textUnitName(std::string_view name6) {
  return field(0xE1, 0x04, ebc(name6));
}

Bytes establishMaster(int which) {
  return field(0xE3, static_cast<std::uint8_t>(which), {});
}

Bytes formatChange(const Bytes& members) {
  return field(0xE2, 0x04, padWithSkippedField(members, 59));
}

Bytes bodyText(const Bytes& text) {
  return field(0xE8, 0x07, text);
}

Bytes endUnit() {
  return field(0xE1, 0x06, {});
}

Bytes formatUnit1() {
  return formatUnitPrefix() + documentParams();
}

Bytes formatUnit2(const Bytes& members, const Bytes& marginTexts) {
  return formatUnitPrefix() + masterFormat(1, members) + marginTexts;
}

Bytes standardMembers() {
  Bytes stops;
  for (std::uint16_t inch = 2; inch <= 7; ++inch) stops = stops + tab(0, inch * 1440);
  return pageImageParams(12240, 15840, 1440, 14400) + lineParams(Line{}) + tabParams(1, stops);
}

Bytes standardFormat() {
  return formatUnit1() + formatUnit2(standardMembers());
}

Bytes textUnit(std::string_view name6, const Bytes& body, const Bytes& leading) {
  return textUnitName(name6) + leading + bodyText(body);
}

Bytes document(const Bytes& units) {
  return standardFormat() + units + endUnit();
}

}  // namespace dca
