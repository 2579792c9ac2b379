#include "support/random_document.h"

#include <cstdio>
#include <iterator>

namespace vtest {

using dca::Bytes;
using dca::operator+;
namespace ctl = dca::ctl;

// One to three text units of prose and tables, each with its footnote units
// after it.
Bytes RandomDocument::build() {
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

std::string RandomDocument::letters(int length) {
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
  std::string text;
  for (int i = 0; i < length; ++i) text += kLetters[pick(52)];
  return text;
}
std::string RandomDocument::digits(int length) {
  std::string text;
  for (int i = 0; i < length; ++i) text += static_cast<char>('0' + pick(10));
  return text;
}

Bytes RandomDocument::word() {
  static const char* const words[] = {"river", "ledger", "\xC4rger", "fa\347ade", "12.5",
                                      "it's",  "a>b",    "`q'",      "\\",        "x&y",
                                      "<p>",   "A\xF1o", "na\357ve", "\2435"};
  return dca::ebc(words[pick(static_cast<int>(std::size(words)))]);
}

// A paragraph of prose: words and the controls that turn into strings,
// characters and font changes; a footnote now and then.
// A paragraph of words and controls, a footnote now and then (its unit goes
// to `notes`).
Bytes RandomDocument::prose(Bytes& notes) {
  std::vector<std::function<Bytes()>> controls = {
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
  if (!pages_) {
    const std::function<Bytes()> more[] = {
        [] { return Bytes{ctl::IT}; },
        [&] { return Bytes{pick(2) ? ctl::INX : ctl::IRT}; },
        [] { return Bytes{ctl::SUB}; },
        [] { return dca::returnToMasterFont(); },
        [&] { return dca::alignTextLine(static_cast<std::uint8_t>(pick(3))); },
        [&] { return dca::alignTextField(pick(6), pick(60)); },
        [] { return dca::setTabs(dca::tabData(1, dca::tab(0, 1440) + dca::tab(3, 2880))); },
        [] { return dca::printTextUnitName(); },
        [] { return dca::displayPrompt(dca::ebc("NAME")); },
        [] { return dca::returnToMasterLine(); },
    };
    controls.insert(controls.end(), std::begin(more), std::end(more));
  }
  const int choices = static_cast<int>(controls.size()) + 20;
  Bytes text;
  const int items = 1 + pick(40);
  for (int i = 0; i < items; ++i) {
    const int choice = pick(choices);
    if (choice < static_cast<int>(controls.size())) {
      text = text + controls[choice]();
    } else if (choice == choices - 1 && pick(3) == 0) {
      char name[16];
      std::snprintf(name, sizeof name, "9%05d", ++footnotes_);
      // The converter counts references and footnote units alike.
      text = text + dca::noteReference(name) + dca::noteEcho(++noteCounter_);
      ++noteCounter_;
      notes = notes + dca::textUnit(name, word() + dca::ebc(" ") + word() + Bytes{ctl::RCR});
    } else {
      text = text + word() + Bytes{ctl::SP};
    }
  }
  return text + Bytes{!pages_ && pick(8) == 0 ? ctl::RPE : ctl::RCR};
}

// A table: rows of cells between tabs, on tab stops of its own (left, right,
// centre and decimal, set with a Set Tabs control) or on the six left stops
// of the master format (2 to 7 inches). Cells are short enough not to reach
// the next stop in a fixed-pitch face.
Bytes RandomDocument::table() {
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

}  // namespace vtest
