// Property: every well-formed document converts, with status 0 and no
// temporary file left behind, into well-formed output. The documents are
// random mixtures of text, single-byte controls, multi-byte controls,
// footnotes and margin texts, built so that every structured field is valid.
#include <gtest/gtest.h>

#include <functional>
#include <iterator>
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
    static const char* const words[] = {"river", "ledger", "\xC4rger", "fa\347ade",
                                        "12.5",  "it's",   "a>b",      "`q'",
                                        "\\",    "x",      "##",       "A\xF1o"};
    return dca::ebc(words[pick(12)]);
  }

  // One paragraph: words and controls, ended by a required carrier return or
  // a required page end; a note reference now and then, whose footnote unit
  // is appended to `notes`.
  Bytes paragraph(Bytes& notes) {
    const std::function<Bytes()> controls[] = {
        [] { return Bytes{ctl::HT}; },
        [] { return Bytes{ctl::IT}; },
        [] { return Bytes{ctl::CRE}; },
        [&] { return Bytes{pick(2) ? ctl::INX : ctl::IRT}; },
        [&] { return Bytes{pick(2) ? ctl::SPS : ctl::SBS}; },
        [&] { return Bytes{pick(2) ? ctl::SHY : ctl::SUB}; },
        [&] { return Bytes{pick(2) ? ctl::RSP : ctl::NSP}; },
        [&] { return pick(2) ? dca::beginEmphasis() : dca::endEmphasis(); },
        [&] { return pick(2) ? dca::beginUnderscore() : dca::endUnderscore(); },
        [&] { return dca::setGfid(pick(3) == 0 ? 26 : (pick(2) ? 85 : 11)); },
        [] { return dca::returnToMasterFont(); },
        [&] { return dca::escapedGraphic(static_cast<std::uint8_t>(0x41 + pick(0xBE))); },
        [&] { return dca::alignTextLine(static_cast<std::uint8_t>(pick(3))); },
        [&] {
          return dca::alignTextField(static_cast<std::uint8_t>(pick(6)),
                                     static_cast<std::uint16_t>(pick(60)));
        },
        [] { return dca::setTabs(dca::tabData(1, dca::tab(0, 1440) + dca::tab(3, 2880))); },
        [] { return dca::printTextUnitName(); },
        [] { return dca::displayPrompt(dca::ebc("NAME")); },
        [] { return dca::returnToMasterLine(); },
    };
    Bytes text;
    const int items = 1 + pick(30);
    for (int i = 0; i < items; ++i) {
      const std::size_t choice = static_cast<std::size_t>(pick(24));
      if (choice < std::size(controls)) {
        text = text + controls[choice]();
      } else if (choice == std::size(controls)) {
        ++footnotes_;
        char name[16];
        std::snprintf(name, sizeof name, "9%05d", footnotes_);
        // The converter counts references and footnote units alike.
        text = text + dca::noteReference(name) + dca::noteEcho(++noteCounter_);
        ++noteCounter_;
        notes = notes + dca::textUnit(name, word() + dca::ebc(" ") + word() + Bytes{ctl::RCR});
      } else {
        text = text + word() + Bytes{ctl::SP};
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
