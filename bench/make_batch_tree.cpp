// Writes a tree of generated documents for vantrove-batch into a folder:
//   make_batch_tree FOLDER [COUNT [odd]]
// COUNT documents of 1 to 3 KB (default 200) in nested folders; with "odd",
// also the odd names, damaged documents and files that are not DCA.
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "support/batch_tree.h"

int main(int argc, char** argv) {
  if (argc < 2 || argc > 4) {
    std::cerr << "usage: make_batch_tree FOLDER [COUNT [odd]]\n";
    return 2;
  }
  const int count = argc > 2 ? std::atoi(argv[2]) : 200;
  const bool odd = argc > 3 && std::strcmp(argv[3], "odd") == 0;
  const auto files = vtest::batchTree(count, odd);
  vtest::writeTree(argv[1], files);
  std::cout << files.size() << " files in " << argv[1] << "\n";
  return 0;
}
