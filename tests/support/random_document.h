// Random DCA documents, every structured field valid: text units of prose
// (words and controls, footnotes referenced from the text) and tables on tab
// stops, with margin texts now and then.
#pragma once

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "support/dca_builder.h"

namespace vtest {

class RandomDocument {
 public:
  // With `pages`, only controls whose result a page shows and the browser
  // test measures; else also those that align, indent, prompt, print the
  // unit's name and end pages.
  RandomDocument(unsigned seed, bool pages) : random_(seed), pages_(pages) {}

  dca::Bytes build();
  // The tables built, as JSON: each row's id (the start of its first cell) and
  // each tabbed column's kind and tab stop position in points.
  std::string json() const { return "{\"tables\":[" + tables_ + "]}\n"; }

 private:
  int pick(int n) { return static_cast<int>(random_() % static_cast<unsigned>(n)); }
  std::string letters(int length);
  std::string digits(int length);
  dca::Bytes word();
  dca::Bytes prose(dca::Bytes& notes);
  dca::Bytes table();

  std::mt19937 random_;
  bool pages_;
  int footnotes_ = 0;
  int noteCounter_ = 0;
  int tableCount_ = 0;
  std::string tables_;
};

}  // namespace vtest
