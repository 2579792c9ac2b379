// Writes generated documents for the browser test: random DCA documents with
// prose, footnotes, margin texts and tabbed tables, each converted with
// vantrove and then tyx2html. For document n the folder gets n.dca (the
// document, for bench/compare_outputs.sh), n.tyx, n.html and n.json, the
// tables it holds: each row's id (the start of its first cell) and each
// tabbed column's kind and tab stop position in points.
//
//   browser_docs <folder> <count>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "support/process.h"
#include "support/random_document.h"

namespace {

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
    vtest::RandomDocument generator(1000 + static_cast<unsigned>(n), true);
    const dca::Bytes document = generator.build();
    const auto tyx = vtest::convert(document);
    const std::string base = folder + "/" + std::to_string(n);
    if (tyx.status != 0) {
      std::fprintf(stderr, "document %d: vantrove status %d: %s\n", n, tyx.status, tyx.err.c_str());
      return 1;
    }
    writeFile(base + ".dca", std::string(document.begin(), document.end()));
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
