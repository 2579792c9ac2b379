// Writes the input of every vantrove case in a folder of end-to-end cases
// (tests/cases/README.md) to OUTPUT/NAME.dca, and the case's file sections
// under OUTPUT/NAME/, for bench/compare_outputs.sh. Cases that run tyx2html
// are left out: their input is a Tyx file.
//
//   case_inputs CASES OUTPUT
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/notation.h"

namespace fs = std::filesystem;

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("usage: case_inputs CASES OUTPUT\n", stderr);
    return 2;
  }
  for (const auto& entry : fs::directory_iterator(argv[1])) {
    if (entry.path().extension() != ".case") continue;
    const fs::path out = fs::path(argv[2]) / entry.path().stem();
    std::ifstream in(entry.path());
    std::string input, line, *section = nullptr;
    std::vector<std::pair<fs::path, std::string>> files;
    bool tyx2html = false;
    while (std::getline(in, line)) {
      if (line.starts_with("--- ")) {
        section = line == "--- input" ? &input
                  : line.starts_with("--- file ")
                      ? &files.emplace_back(out / line.substr(9), "").second
                      : nullptr;
      } else if (section != nullptr) {
        *section += line + "\n";
      } else {
        tyx2html = tyx2html || line.starts_with("runs tyx2html");
      }
    }
    if (tyx2html) continue;
    const dca::Bytes bytes = dca::fromText(input);
    std::ofstream(out.string() + ".dca", std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    for (const auto& [path, text] : files) {
      fs::create_directories(path.parent_path());
      std::ofstream(path) << text;
    }
  }
  return 0;
}
