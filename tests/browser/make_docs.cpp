// Writes generated documents for the browser test: random DCA documents with
// prose, footnotes, margin texts and tabbed tables, each converted with
// vantrove and then tyx2html. For document n the folder gets n.tyx, n.html
// and n.json, the tables it holds: each row's id (the start of its first cell)
// and each tabbed column's kind and tab stop position in points.
//
//   browser_docs <folder> <count>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "support/dca_builder.h"
#include "support/process.h"

namespace {

using dca::Bytes;
using dca::operator+;
namespace ctl = dca::ctl;

class Generator {
 public:
  explicit Generator(unsigned seed) : random_(seed) {}

  Bytes build() {
    Bytes units;
    const int count = 1 + pick(3);
    for (int u = 0; u < count; ++u) {
      char name[16];
      std::snprintf(name, sizeof name, "%06d", u + 1);
      Bytes leading;
      if (pick(3) == 0) {
        leading = dca::marginTextDecl(pick(2) ? 0x01 : 0x04, 720) +
                  dca::marginTextField(1, dca::ebc("Running head ") + dca::pageNumber());
      }
      Bytes body;
      Bytes notes;
      const int blocks = 1 + pick(5);
      for (int b = 0; b < blocks; ++b) body = body + (pick(3) == 0 ? table() : prose(notes));
      units = units + dca::textUnit(name, body, leading) + notes;
    }
    return dca::document(units);
  }

  std::string json() const { return "{\"tables\":[" + tables_ + "]}\n"; }

 private:
  int pick(int n) { return static_cast<int>(random_() % static_cast<unsigned>(n)); }

  std::string letters(int length) {
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
    std::string text;
    for (int i = 0; i < length; ++i) text += kLetters[pick(52)];
    return text;
  }
  std::string digits(int length) {
    std::string text;
    for (int i = 0; i < length; ++i) text += static_cast<char>('0' + pick(10));
    return text;
  }

  Bytes word() {
    static const char* const words[] = {"river",
                                        "ledger",
                                        "\xC4rger",
                                        "fa\347ade",
                                        "12.5",
                                        "it's",
                                        "a>b",
                                        "`q'",
                                        "\\",
                                        "x&y",
                                        "<p>",
                                        "A\xF1o",
                                        "na\357ve",
                                        "\xA3"
                                        "5"};
    return dca::ebc(words[pick(static_cast<int>(std::size(words)))]);
  }

  // A paragraph of prose: words and the controls that turn into strings,
  // characters and font changes; a footnote now and then.
  Bytes prose(Bytes& notes) {
    const std::function<Bytes()> controls[] = {
        [] { return Bytes{ctl::CRE}; },
        [] {
          return Bytes{ctl::SHY, ctl::CRE};
        },
        [] { return Bytes{ctl::RSP}; },
        [] { return Bytes{ctl::NSP}; },
        [] { return Bytes{ctl::HT}; },
        [&] { return pick(2) ? dca::beginEmphasis() : dca::endEmphasis(); },
        [&] { return pick(2) ? dca::beginUnderscore() : dca::endUnderscore(); },
        [&] { return dca::setGfid(pick(3) == 0 ? 26 : (pick(2) ? 85 : 11)); },
        [&] { return Bytes{pick(2) ? ctl::SPS : ctl::SBS}; },
        [&] { return dca::escapedGraphic(static_cast<std::uint8_t>(0x41 + pick(0xBE))); },
    };
    Bytes text;
    const int items = 1 + pick(40);
    for (int i = 0; i < items; ++i) {
      const int choice = pick(30);
      if (choice < static_cast<int>(std::size(controls))) {
        text = text + controls[choice]();
      } else if (choice == 29 && pick(3) == 0) {
        char name[16];
        std::snprintf(name, sizeof name, "9%05d", ++footnotes_);
        text = text + dca::noteReference(name) + dca::noteEcho(++noteCounter_);
        ++noteCounter_;
        notes = notes + dca::textUnit(name, word() + dca::ebc(" ") + word() + Bytes{ctl::RCR});
      } else {
        text = text + word() + Bytes{ctl::SP};
      }
    }
    return text + Bytes{ctl::RCR};
  }

  // A table: rows of cells between tabs, on tab stops of its own (left, right,
  // centre and decimal, set with a Set Tabs control) or on the six left stops
  // of the master format (2 to 7 inches). Cells are short enough not to reach
  // the next stop in a fixed-pitch face.
  Bytes table() {
    enum Kind { Left = 0, Decimal = 1, Center = 3, Right = 4 };
    std::vector<Kind> kinds;
    std::vector<int> positions;  // 1440ths of an inch from the left margin
    // Tables are set in the master font, of fixed pitch.
    Bytes text = dca::returnToMasterFont();
    const bool own = pick(2) == 0;
    const int columns = 1 + pick(4);
    if (own) {
      Bytes stops;
      for (int c = 0; c < columns; ++c) {
        static const Kind kKinds[] = {Left, Decimal, Center, Right};
        kinds.push_back(kKinds[pick(4)]);
        positions.push_back(2016 * (c + 1) + 144 * pick(3));
        stops = stops + dca::tab(static_cast<std::uint8_t>(kinds.back()),
                                 static_cast<std::uint16_t>(positions.back()));
      }
      text = text + dca::setTabs(dca::tabData(1, stops));
    } else {
      for (int c = 0; c < columns; ++c) {
        kinds.push_back(Left);
        positions.push_back(2880 + 1440 * c);
      }
    }
    const int table = tableCount_++;
    std::string rows;
    const int count = 2 + pick(6);
    for (int r = 0; r < count; ++r) {
      const std::string id = "T" + std::to_string(table) + "R" + std::to_string(r);
      rows += std::string(rows.empty() ? "" : ",") + "\"" + id + "\"";
      Bytes row = dca::ebc(id + letters(pick(3)));
      for (int c = 0; c < columns; ++c) {
        row = row + Bytes{ctl::HT};
        std::string cell;
        switch (kinds[c]) {
          case Left:
            cell = pick(8) == 0 ? "" : letters(1 + pick(6));
            break;
          case Right:
            cell = digits(1 + pick(4));
            break;
          case Center:
            cell = letters(1 + pick(5));
            break;
          case Decimal:
            cell = digits(1 + pick(4)) + "." + digits(pick(3));
            break;
        }
        if (pick(6) == 0 && !cell.empty()) {
          row = row + dca::beginEmphasis() + dca::ebc(cell) + dca::endEmphasis();
        } else {
          row = row + dca::ebc(cell);
        }
      }
      text = text + row + Bytes{ctl::RCR};
    }
    std::string columnsJson;
    for (int c = 0; c < columns; ++c) {
      static const char* const kNames[] = {"left", "decimal", "", "center", "right"};
      columnsJson += std::string(c ? "," : "") + "{\"type\":\"" + kNames[kinds[c]] +
                     "\",\"x\":" + std::to_string(positions[c] / 20.0) + "}";
    }
    tables_ += std::string(tables_.empty() ? "" : ",") + "{\"rows\":[" + rows + "],\"columns\":[" +
               columnsJson + "]}";
    // Back to the master format's tab stops.
    return text + (own ? dca::returnToMasterLine() : Bytes{});
  }

  std::mt19937 random_;
  int footnotes_ = 0;
  int noteCounter_ = 0;
  int tableCount_ = 0;
  std::string tables_;
};

void writeFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s folder count\n", argv[0]);
    return 2;
  }
  const std::string folder = argv[1];
  const int count = std::atoi(argv[2]);
  for (int n = 0; n < count; ++n) {
    Generator generator(1000 + static_cast<unsigned>(n));
    const Bytes document = generator.build();
    const auto tyx = vtest::convert(document);
    const std::string base = folder + "/" + std::to_string(n);
    if (tyx.status != 0) {
      std::fprintf(stderr, "document %d: vantrove status %d: %s\n", n, tyx.status, tyx.err.c_str());
      return 1;
    }
    writeFile(base + ".tyx", tyx.out);
    const auto html = vtest::runProgram(TYX2HTML_BIN, {base + ".tyx", base + ".html"});
    if (html.status != 0 || !html.err.empty()) {
      std::fprintf(stderr, "document %d: tyx2html status %d: %s\n", n, html.status,
                   html.err.c_str());
      return 1;
    }
    writeFile(base + ".json", generator.json());
  }
  return 0;
}
