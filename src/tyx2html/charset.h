// Character sets for the numbered character codes of a Tyx file: each of the
// 256 codes of a set as the UTF-8 text the page shows for it.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace tyx2html {

enum class Charset { Latin1, Cp437, Cp850 };

// The set named by `name` ("iso-8859-1", "latin1", "cp437", "cp850", any case);
// false when the name is unknown.
bool charsetByName(std::string_view name, Charset* out);

// The Unicode code point a code stands for. Control codes stand for their
// visible pictures (U+2400 to U+241F, U+2421 for 0x7F); the C1 controls of
// ISO-8859-1 for U+FFFD. Code 9 stays a tab.
char32_t codePoint(Charset set, std::uint8_t code);

// One code as UTF-8: up to 3 bytes.
struct Utf8 {
  char bytes[4];
  std::uint8_t length;
  std::string_view view() const { return {bytes, length}; }
};

// The UTF-8 text of all 256 codes of a set, built once.
const std::array<Utf8, 256>& utf8Table(Charset set);

// Appends the UTF-8 form of a code point to `out` (U+FFFD for one that is
// not a Unicode scalar value); returns the number of bytes written (1 to 4).
int encodeUtf8(char32_t point, char* out);

}  // namespace tyx2html
