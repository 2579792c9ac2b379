// Writes the sample DCA documents into the folder given (default: the current
// one) as <name>.dca.
#include <fstream>
#include <iostream>
#include <string>

#include "support/examples.h"

int main(int argc, char** argv) {
  std::string folder = argc > 1 ? argv[1] : ".";
  for (const auto& example : vtest::examples()) {
    std::string path = folder + "/" + example.name + ".dca";
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(example.document.data()),
              static_cast<std::streamsize>(example.document.size()));
    if (!out) {
      std::cerr << "cannot write " << path << "\n";
      return 1;
    }
    std::cout << path << "\n";
  }
  return 0;
}
