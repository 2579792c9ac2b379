// The shipped font map data/dca.am: it loads, it defines the IBM fonts below,
// and every font it defines sends each code point of EBCDIC code page 037 to
// its ISO 8859-1 code in that font's output family, size and style.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>

#include "fontmap/fontmap.h"
#include "support/dca_builder.h"

namespace vantrove {
namespace {

// IBM faces by GFID: 3 OCR-B, 5 Orator 10, 11 Courier 10, 12 Prestige Pica 10,
// 18 Courier Italic 10, 19 OCR-A, 26 Matrix Gothic 10, 40 Gothic Text 10,
// 41 Roman Text 10, 42 Serif Text 10, 43 Serif Text Italic 10, 46 Courier Bold
// 10, 60 Prestige Pica Bold 10, 70 Serif Text 12, 71 Serif Text Italic 12,
// 72 Serif Text Bold 12, 85 Courier 12, 86 Prestige Elite 12, 87 Letter Gothic
// 12, 91 Light Gothic 12, 92 Courier Italic 12, 107 Elite 12, 108 Courier Bold
// 12, 110 Letter Gothic Bold 12, 155 Boldface Italic, 159 Boldface, 160 Essay,
// 162 Essay Italic, 176 Bold PS, 177 Bold Italic PS, 204 Matrix Gothic 13.3,
// 222 Gothic Text 15, 223 Courier 15, 253 Courier Bold 17.1, 254 Courier 17.1.
// Each is set in an output font, "family size style": typewriter faces in
// Courier, gothic faces in Helvetica, serif and proportional book faces in
// Times; the document default, Matrix Gothic 10, stays in Courier to keep its
// columns. Sizes in points: 12 for 10 pitch, 10 for 12 pitch, 9, 8 and 7 for
// 13.3, 15 and 17.1 pitch, 10 for proportional faces. Style: 1 bold, 2 italic.
const char* const kFonts =
    "Courier 12 0: 3 5 11 12 19 26; Courier 12 1: 46 60; Courier 12 2: 18; "
    "Courier 10 0: 85 86 107; Courier 10 1: 108; Courier 10 2: 92; Courier 8 0: 223; "
    "Courier 7 0: 254; Courier 7 1: 253; Helvetica 12 0: 40; Helvetica 10 0: 87 91; "
    "Helvetica 10 1: 110; Helvetica 9 0: 204; Helvetica 8 0: 222; Times 12 0: 41 42; "
    "Times 12 2: 43; Times 10 0: 70 160; Times 10 1: 72 159 176; Times 10 2: 71 162; "
    "Times 10 3: 155 177";

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
  std::set<std::uint32_t> named, expected;
  for (auto at = content.find("<GFID "); at != std::string::npos;
       at = content.find("<GFID ", at + 1)) {
    named.insert(static_cast<std::uint32_t>(std::stoul(content.substr(at + 6, 12))));
  }
  std::istringstream table(kFonts);
  for (std::string line; std::getline(table >> std::ws, line, ';');) {
    const std::string want = line.substr(0, line.find(':'));
    std::istringstream gfids(line.substr(want.size() + 1));
    for (std::uint32_t gfid; gfids >> gfid;) {
      expected.insert(gfid);
      const AmFontEntry* font = AmFontRead(nullptr, gfid, 0, 0);
      ASSERT_NE(font, nullptr) << "GFID " << gfid;
      for (int c = 0; c < 256; ++c) {
        const AmFontEntry* out = font->fontMap[c];
        EXPECT_EQ(
            std::to_string(font->codeMap[c]) + " " + out->family + " " + std::to_string(out->size) +
                " " + std::to_string(out->style) + " GFID " + std::to_string(out->gfid),
            std::to_string(dca::latin1(static_cast<std::uint8_t>(c))) + " " + want + " GFID 0")
            << "GFID " << gfid << " code " << c;
      }
    }
  }
  EXPECT_EQ(named, expected);
  AmReset();
}

}  // namespace
}  // namespace vantrove
