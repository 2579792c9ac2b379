// A folder tree of generated documents for the batch converter: nested folders
// of small documents and, on request, the inputs an archive really holds: odd
// names, damaged documents, files that are not DCA and an empty file.
#pragma once

#include <string>
#include <vector>

#include "support/dca_builder.h"

namespace vtest {

struct TreeFile {
  std::string path;  // relative to the tree's root
  dca::Bytes bytes;
  std::string status;  // what vantrove-batch reports for it on a first run
};

// `count` documents of 1 to 3 KB in nested folders; with `oddOnes`, also names
// with blanks, quotes, a newline and bytes that are not UTF-8, two documents
// sharing an output name, truncated documents, documents with warnings, files
// that are not DCA and an empty file.
std::vector<TreeFile> batchTree(int count, bool oddOnes);
// Writes the files under `root`, making the folders.
void writeTree(const std::string& root, const std::vector<TreeFile>& files);

}  // namespace vtest
