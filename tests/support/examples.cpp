#include "support/examples.h"

namespace vtest {
namespace {

using dca::Bytes;
using dca::operator+;
namespace ctl = dca::ctl;

Bytes t(std::string_view text) {
  return dca::ebc(text);
}
Bytes b(std::initializer_list<int> bytes) {
  return dca::raw(bytes);
}

// A short letter: address lines, a date aligned right, indented paragraphs
// with line ends inside them, emphasis and underscore.
Bytes letter() {
  Bytes address = t("Harbour Records Office") + b({ctl::RCR}) + t("12 Quay Street") +
                  b({ctl::RCR}) + t("Port Ellery") + b({ctl::RCR}) + b({ctl::RCR});
  Bytes date = dca::alignTextLine(2) + t("4 March 1991") + b({ctl::RCR});
  Bytes greeting = t("Dear Ms. Okafor,") + b({ctl::RCR});
  Bytes first = b({ctl::SP, ctl::SP, ctl::SP, ctl::SP, ctl::SP}) +
                t("Thank you for your letter of 19 February. The shipping ledgers you") +
                b({ctl::CRE}) + t("asked about are kept in the ") + dca::beginEmphasis() +
                t("east reading room") + dca::endEmphasis() + t(", and may be") + b({ctl::CRE}) +
                t("consulted on any weekday between nine and four.") + b({ctl::RCR});
  Bytes second = b({ctl::SP, ctl::SP, ctl::SP, ctl::SP, ctl::SP}) +
                 t("Please bring a letter of introduction; the volumes for 1887 to") +
                 b({ctl::CRE}) + t("1893 are ") + dca::beginUnderscore() + t("fragile") +
                 dca::endUnderscore() + t(" and are shown only by appoint") +
                 b({ctl::SHY, ctl::CRE}) + t("ment.") + b({ctl::RCR});
  Bytes closing = b({ctl::RCR}) + t("Yours sincerely,") + b({ctl::RCR}) + b({ctl::RCR}) +
                  t("J. Ferreira-Lind") + b({ctl::RCR}) + t("Archivist") + b({ctl::RCR});
  return dca::document(
      dca::textUnit("000001", address + date + greeting + first + second + closing));
}

// A memo: heading rows with tabs, a small table on tab stops, a hanging
// paragraph, and two footnotes referenced from the text.
Bytes memo() {
  Bytes heading = t("MEMORANDUM") + b({ctl::RCR}) + b({ctl::RCR}) + t("To:") + b({ctl::HT}) +
                  t("All branch managers") + b({ctl::RCR}) + t("From:") + b({ctl::HT}) +
                  t("Head office, accounts") + b({ctl::RCR}) + t("Subject:") + b({ctl::HT}) +
                  t("Stock counts for the second quarter") + b({ctl::RCR}) + b({ctl::RCR});
  Bytes intro = t("The counts below were taken on 30 June") + dca::noteReference("900001") +
                dca::noteEcho(1) + t(" and replace the provisional figures") + b({ctl::CRE}) +
                t("circulated last week.") + b({ctl::RCR}) + b({ctl::RCR});
  Bytes table = t("Branch") + b({ctl::HT}) + t("Cartons") + b({ctl::HT}) + t("Value") +
                b({ctl::RCR}) + t("Northgate") + b({ctl::HT}) + t("1,204") + b({ctl::HT}) +
                t("18,060.00") + b({ctl::RCR}) + t("Riverside") + b({ctl::HT}) + t("877") +
                b({ctl::HT}) + t("13,155.50") + b({ctl::RCR}) + t("Old Market") + b({ctl::HT}) +
                t("2,391") + b({ctl::HT}) + t("35,865.00") + b({ctl::RCR}) + b({ctl::RCR});
  Bytes hanging = t("Note:") + b({ctl::IT}) +
                  t("Riverside reopened on 12 June after the flood, so its count") + b({ctl::CRE}) +
                  t("covers two weeks of trading only") + dca::noteReference("900003") +
                  dca::noteEcho(3) + t(".") + b({ctl::RCR});
  Bytes footnote1 = t("Counts were made after close of business.") + b({ctl::RCR});
  Bytes footnote2 = t("See the insurance report of 14 June.") + b({ctl::RCR});
  return dca::document(
      dca::textUnit("000001", heading + intro) + dca::textUnit("900001", footnote1) +
      dca::textUnit("000002", table + hanging) + dca::textUnit("900003", footnote2));
}

// A report: margin texts at the top and the bottom (with the page number),
// a centred heading, an indented list, chemical formulae with subscripts, a
// figure on a decimal tab, and a page end before the second section.
Bytes report() {
  Bytes top = dca::marginTextDecl(0x01, 720) +
              dca::marginTextField(0x01, t("Annual Report of the Water Board"));
  Bytes bottom =
      dca::marginTextDecl(0x04, 720) + dca::marginTextField(0x04, t("Page ") + dca::pageNumber());
  Bytes title = dca::alignTextLine(1) + t("1. Water Quality") + b({ctl::RCR}) + b({ctl::RCR});
  Bytes text = t("Samples from all four reservoirs met the standard for nitrate (NO") +
               b({ctl::SBS}) + t("3") + b({ctl::SPS}) + t(") and") + b({ctl::CRE}) +
               t("for dissolved iron. Hardness, measured as CaCO") + b({ctl::SBS}) + t("3") +
               b({ctl::SPS}) + t(", rose slightly in") + b({ctl::CRE}) + t("the dry months.") +
               b({ctl::RCR});
  Bytes list = b({ctl::IT}) + t("a) Upper Reservoir, capacity 4.2 million cubic metres") +
               b({ctl::RCR}) + b({ctl::IT}) +
               t("b) Lower Reservoir, capacity 2.9 million cubic metres") + b({ctl::RCR});
  Bytes figure = dca::alignTextField(1, 40) + t("Total cost 1,482,300.75") + b({ctl::RCR});
  Bytes section = b({ctl::RPE}) + dca::alignTextLine(1) + t("2. Finance") + b({ctl::RCR}) +
                  t("Spending stayed within the budget approved by the Board.") + b({ctl::RCR});
  return dca::standardFormat() + dca::textUnit("000001", title + text, top + bottom) +
         dca::textUnit("000002", list + figure + section) + dca::endUnit();
}

}  // namespace

std::vector<Example> examples() {
  return {{"letter", letter()}, {"memo", memo()}, {"report", report()}};
}

}  // namespace vtest
