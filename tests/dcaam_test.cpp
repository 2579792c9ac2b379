// The shipped font map data/dca.am loads, and every IBM font it names sends
// each code point of EBCDIC code page 037 to its ISO 8859-1 code, all in one
// output font: a wrong entry would change text silently.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "fontmap/fontmap.h"
#include "support/dca_builder.h"

namespace vantrove {
namespace {

TEST(DcaAm, EveryFontMapsCodePage037ToLatin1) {
  const std::string path = VANTROVE_SOURCE_DIR "/data/dca.am";
  AmReset();
  std::FILE* stream = std::fopen(path.c_str(), "r");
  ASSERT_NE(stream, nullptr) << path;
  EXPECT_EQ(AmFontOpen(stream), 0) << AmErrorText();
  std::fclose(stream);
  std::ifstream in(path);
  const std::string text{std::istreambuf_iterator<char>(in), {}};
  int fonts = 0;
  for (auto at = text.find("<GFID "); at != std::string::npos; at = text.find("<GFID ", at + 1)) {
    const auto gfid = static_cast<std::uint32_t>(std::stoul(text.substr(at + 6, 12)));
    const AmFontEntry* font = AmFontRead(nullptr, gfid, 0, 0);
    ASSERT_NE(font, nullptr) << "GFID " << gfid;
    ++fonts;
    const auto face = [&](int c) {
      const AmFontEntry* out = font->fontMap[c];
      return std::string(out->family) + " " + std::to_string(out->size + 100 * out->style);
    };
    for (int c = 0; c < 256; ++c) {
      EXPECT_EQ(font->codeMap[c], dca::latin1(static_cast<std::uint8_t>(c))) << gfid << " " << c;
      EXPECT_EQ(face(c), face(0x40)) << gfid << " " << c;
    }
  }
  EXPECT_GT(fonts, 30);
  AmReset();
}

}  // namespace
}  // namespace vantrove
