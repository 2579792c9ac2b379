// Writes each sample document NAME.input of examples/, the DCA document in the
// builder's notation, as NAME.dca into the folder given (default: the current
// one).
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "support/notation.h"

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  const fs::path folder = argc > 1 ? argv[1] : ".";
  for (const auto& entry : fs::directory_iterator(VANTROVE_SOURCE_DIR "/examples")) {
    if (entry.path().extension() != ".input") continue;
    std::ostringstream text;
    text << std::ifstream(entry.path()).rdbuf();
    const dca::Bytes document = dca::fromText(text.str());
    const fs::path path = folder / entry.path().filename().replace_extension(".dca");
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(document.data()),
              static_cast<std::streamsize>(document.size()));
    if (!out) {
      std::cerr << "cannot write " << path << "\n";
      return 1;
    }
    std::cout << path.string() << "\n";
  }
  return 0;
}
