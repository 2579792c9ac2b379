// Property: every well-formed document converts, with status 0 and no
// temporary file left behind, into well-formed output. The documents are
// random mixtures of text, single-byte controls, multi-byte controls,
// footnotes and margin texts, built so that every structured field is valid.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "support/dca_builder.h"
#include "support/process.h"
#include "support/wellformed.h"

namespace {

using dca::Bytes;
using dca::operator+;
namespace ctl = dca::ctl;

class RandomDocument {
 public:
  explicit RandomDocument(unsigned seed) : random_(seed) {}

  Bytes build() {
    Bytes units;
    const int count = 1 + pick(4);
    for (int u = 0; u < count; ++u) {
      char name[16];
      std::snprintf(name, sizeof name, "%06d", u + 1);
      Bytes leading;
      if (pick(4) == 0) {
        leading = dca::marginTextDecl(pick(2) ? 0x01 : 0x04, 720) +
                  dca::marginTextField(1 + pick(6), dca::ebc("Head ") + dca::pageNumber());
      }
      Bytes body;
      Bytes notes;
      const int paragraphs = 1 + pick(6);
      for (int p = 0; p < paragraphs; ++p) body = body + paragraph(notes);
      units = units + dca::textUnit(name, body, leading) + notes;
    }
    return dca::document(units);
  }

 private:
  int pick(int n) { return static_cast<int>(random_() % static_cast<unsigned>(n)); }

  Bytes word() {
    static const char* const words[] = {"river",
                                        "ledger",
                                        "\xC4rger",
                                        "fa\xE7"
                                        "ade",
                                        "12.5",
                                        "it's",
                                        "a>b",
                                        "`q'",
                                        "\\",
                                        "x",
                                        "##",
                                        "A\xF1o"};
    return dca::ebc(words[pick(12)]);
  }

  // One paragraph: words and controls, ended by a required carrier return or
  // a required page end; a note reference now and then, whose footnote unit
  // is appended to `notes`.
  Bytes paragraph(Bytes& notes) {
    Bytes text;
    const int items = 1 + pick(30);
    for (int i = 0; i < items; ++i) {
      switch (pick(24)) {
        case 0:
          text.push_back(ctl::HT);
          break;
        case 1:
          text.push_back(ctl::IT);
          break;
        case 2:
          text.push_back(ctl::CRE);
          break;
        case 3:
          text.push_back(pick(2) ? ctl::INX : ctl::IRT);
          break;
        case 4:
          text.push_back(pick(2) ? ctl::SPS : ctl::SBS);
          break;
        case 5:
          text.push_back(pick(2) ? ctl::SHY : ctl::SUB);
          break;
        case 6:
          text.push_back(pick(2) ? ctl::RSP : ctl::NSP);
          break;
        case 7:
          text = text + (pick(2) ? dca::beginEmphasis() : dca::endEmphasis());
          break;
        case 8:
          text = text + (pick(2) ? dca::beginUnderscore() : dca::endUnderscore());
          break;
        case 9:
          text = text + dca::setGfid(pick(3) == 0 ? 26 : (pick(2) ? 85 : 11));
          break;
        case 10:
          text = text + dca::returnToMasterFont();
          break;
        case 11:
          text = text + dca::escapedGraphic(static_cast<std::uint8_t>(0x41 + pick(0xBE)));
          break;
        case 12:
          text = text + dca::alignTextLine(static_cast<std::uint8_t>(pick(3)));
          break;
        case 13:
          text = text + dca::alignTextField(static_cast<std::uint8_t>(pick(6)),
                                            static_cast<std::uint16_t>(pick(60)));
          break;
        case 14:
          text = text + dca::setTabs(dca::tabData(1, {{0, 1440}, {3, 2880}}));
          break;
        case 15:
          text = text + dca::printTextUnitName();
          break;
        case 16:
          text = text + dca::displayPrompt(dca::ebc("NAME"));
          break;
        case 17:
          text = text + dca::returnToMasterLine();
          break;
        case 18: {
          ++footnotes_;
          char name[16];
          std::snprintf(name, sizeof name, "9%05d", footnotes_);
          // The converter counts references and footnote units alike.
          text = text + dca::noteReference(name) + dca::noteEcho(++noteCounter_);
          ++noteCounter_;
          notes = notes + dca::textUnit(name, word() + dca::ebc(" ") + word() + Bytes{ctl::RCR});
          break;
        }
        default:
          text = text + word();
          text.push_back(ctl::SP);
          break;
      }
    }
    text.push_back(pick(8) == 0 ? ctl::RPE : ctl::RCR);
    return text;
  }

  std::mt19937 random_;
  int footnotes_ = 0;
  int noteCounter_ = 0;
};

TEST(WellFormed, RandomValidDocumentsGiveWellFormedOutput) {
  for (unsigned seed = 1; seed <= 40; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    Bytes document = RandomDocument(seed).build();
    auto r = vtest::convert(document);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err.find("Byte"), std::string::npos) << r.err;  // valid input: no diagnostics
    EXPECT_EQ(vtest::tyxFault(r.out), "");
    EXPECT_NE(r.out.find("> # End TextFlow\n", r.out.size() - 17), std::string::npos);
    EXPECT_TRUE(vtest::tmpFiles().empty());
  }
}

}  // namespace
