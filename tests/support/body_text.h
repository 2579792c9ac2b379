// Helpers for tests that convert body text and compare paragraphs, catalog
// entries and diagnostics.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

#include "support/dca_builder.h"
#include "support/process.h"

namespace vtest {

// A body paragraph with its tag and the statements of its lines.
inline std::string para(const std::string& tag, const std::string& lines) {
  return "<Para <PgfTag `" + tag + "'>\n\t<ParaLine # Begin Para's ParaLines.\n" + lines +
         "\t> # End Paraline.\n> # End Para.\n";
}

// The first character of a paragraph in the master font: family and size are
// the paragraph font's already, only the emphasis is new.
inline const std::string kPlainFont = "\t<Font <FPlain Yes>>\n";

// The "Pgf" statement of the catalog entry with this tag.
inline std::string pgfEntry(const std::string& out, const std::string& tag) {
  const std::string text = catalog(out);
  const std::size_t start = text.find("<Pgf\n\t<PgfTag `" + tag + "'>\n");
  if (start == std::string::npos) return "<missing " + tag + ">";
  return text.substr(start, text.find("\n>\n", start) + 3 - start);
}

// One diagnostic line at an input offset.
inline std::string diagnostic(std::size_t offset, const std::string& message) {
  char head[40];
  std::snprintf(head, sizeof head, "vantrove: Byte 0%o: ", static_cast<unsigned>(offset));
  return head + message + "\n";
}

// Input offset of the first body text byte of convertBody's document.
inline std::size_t firstBodyByte() {
  return dca::standardFormat().size() + dca::textUnitName("000001").size() + 5;
}

// The standard format with one text unit, 000001, holding this body text.
inline RunResult convertBody(const dca::Bytes& body) {
  return convert(dca::document(dca::textUnit("000001", body)));
}

}  // namespace vtest
