// The shipped font map data/dca.am: it loads, it defines the IBM fonts below,
// and every font it defines sends each code point of EBCDIC code page 037 to
// its ISO 8859-1 code in that font's output family, size and style.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>

#include "fontmap/fontmap.h"

namespace vantrove {
namespace {

// EBCDIC code page 037 to ISO 8859-1, indexed by the EBCDIC code (taken from
// iconv's CP037 converter, independently of the font map).
constexpr std::uint8_t kCp037ToLatin1[256] = {
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
    0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0xB3, 0xDB, 0xDC, 0xD9, 0xDA, 0x9F};

struct OutputFont {
  const char* family;
  int size;   // points: 12 for 10 pitch, 10 for 12 pitch, 9, 8 and 7 for 13.3, 15
              // and 17.1 pitch, 10 for proportional faces
  int style;  // 1 bold, 2 italic
};

// IBM faces by GFID: typewriter faces in Courier, gothic faces in Helvetica,
// serif and proportional book faces in Times. The document default, Matrix
// Gothic 10 (GFID 26), stays in Courier to keep its columns.
const std::map<std::uint32_t, OutputFont> kFonts = {
    {3, {"Courier", 12, 0}},      // OCR-B
    {5, {"Courier", 12, 0}},      // Orator 10
    {11, {"Courier", 12, 0}},     // Courier 10
    {12, {"Courier", 12, 0}},     // Prestige Pica 10
    {18, {"Courier", 12, 2}},     // Courier Italic 10
    {19, {"Courier", 12, 0}},     // OCR-A
    {26, {"Courier", 12, 0}},     // Matrix Gothic 10
    {40, {"Helvetica", 12, 0}},   // Gothic Text 10
    {41, {"Times", 12, 0}},       // Roman Text 10
    {42, {"Times", 12, 0}},       // Serif Text 10
    {43, {"Times", 12, 2}},       // Serif Text Italic 10
    {46, {"Courier", 12, 1}},     // Courier Bold 10
    {60, {"Courier", 12, 1}},     // Prestige Pica Bold 10
    {70, {"Times", 10, 0}},       // Serif Text 12
    {71, {"Times", 10, 2}},       // Serif Text Italic 12
    {72, {"Times", 10, 1}},       // Serif Text Bold 12
    {85, {"Courier", 10, 0}},     // Courier 12
    {86, {"Courier", 10, 0}},     // Prestige Elite 12
    {87, {"Helvetica", 10, 0}},   // Letter Gothic 12
    {91, {"Helvetica", 10, 0}},   // Light Gothic 12
    {92, {"Courier", 10, 2}},     // Courier Italic 12
    {107, {"Courier", 10, 0}},    // Elite 12
    {108, {"Courier", 10, 1}},    // Courier Bold 12
    {110, {"Helvetica", 10, 1}},  // Letter Gothic Bold 12
    {155, {"Times", 10, 3}},      // Boldface Italic
    {159, {"Times", 10, 1}},      // Boldface
    {160, {"Times", 10, 0}},      // Essay
    {162, {"Times", 10, 2}},      // Essay Italic
    {176, {"Times", 10, 1}},      // Bold PS
    {177, {"Times", 10, 3}},      // Bold Italic PS
    {204, {"Helvetica", 9, 0}},   // Matrix Gothic 13.3
    {222, {"Helvetica", 8, 0}},   // Gothic Text 15
    {223, {"Courier", 8, 0}},     // Courier 15
    {253, {"Courier", 7, 1}},     // Courier Bold 17.1
    {254, {"Courier", 7, 0}},     // Courier 17.1
};

TEST(DcaAm, LoadsAndEveryFontItDefinesMapsCodePage037ToLatin1) {
  const std::string path = VANTROVE_SOURCE_DIR "/data/dca.am";
  AmReset();
  std::FILE* stream = std::fopen(path.c_str(), "r");
  ASSERT_NE(stream, nullptr) << path;
  EXPECT_EQ(AmFontOpen(stream), 0) << AmErrorText();
  std::fclose(stream);

  // Every GFID the file names in a "<GFID n>" statement (all decimal).
  std::ifstream in(path);
  const std::string content{std::istreambuf_iterator<char>(in), {}};
  std::set<std::uint32_t> gfids;
  for (std::size_t at = content.find("<GFID "); at != std::string::npos;
       at = content.find("<GFID ", at + 1)) {
    gfids.insert(static_cast<std::uint32_t>(std::stoul(content.substr(at + 6, 12))));
  }
  std::set<std::uint32_t> expected;
  for (const auto& [gfid, font] : kFonts) expected.insert(gfid);
  EXPECT_EQ(gfids, expected);

  for (const auto& [gfid, want] : kFonts) {
    const AmFontEntry* font = AmFontRead(nullptr, gfid, 0, 0);
    ASSERT_NE(font, nullptr) << "GFID " << gfid;
    for (int c = 0; c < 256; ++c) {
      const AmFontEntry* out = font->fontMap[c];
      EXPECT_EQ(font->codeMap[c], kCp037ToLatin1[c])
          << "GFID " << gfid << " code 0x" << std::hex << c;
      EXPECT_STREQ(out->family, want.family) << "GFID " << gfid << " code " << c;
      EXPECT_EQ(out->gfid, 0u) << "GFID " << gfid << " code " << c;
      EXPECT_EQ(out->size, want.size) << "GFID " << gfid << " code " << c;
      EXPECT_EQ(out->style, want.style) << "GFID " << gfid << " code " << c;
    }
  }
  AmReset();
}

}  // namespace
}  // namespace vantrove
