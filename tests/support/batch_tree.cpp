#include "support/batch_tree.h"

#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>

namespace vtest {
namespace {

using dca::Bytes;
using dca::operator+;
namespace ctl = dca::ctl;

const char* const kWords[] = {"ledger", "harbour",  "account", "shipment", "the",    "of",
                              "and",    "invoice",  "March",   "cartons",  "office", "to",
                              "branch", "received", "1987",    "a",        "report", "water"};

// A document of about `size` bytes: paragraphs of words with line ends inside
// them and now and then an emphasised word.
Bytes document(int seed, std::size_t size) {
  std::minstd_rand random(static_cast<unsigned>(seed) + 1);
  Bytes body;
  std::size_t line = 0;
  while (body.size() + 200 < size) {
    const Bytes word = dca::ebc(kWords[random() % std::size(kWords)]);
    if (random() % 23 == 0)
      body = body + dca::beginEmphasis() + word + dca::endEmphasis();
    else
      body = body + word;
    line += word.size() + 1;
    if (line > 60) {
      body.push_back(random() % 4 == 0 ? ctl::RCR : ctl::CRE);
      line = 0;
    } else {
      body.push_back(ctl::SP);
    }
  }
  body.push_back(ctl::RCR);
  return dca::document(dca::textUnit("000001", body));
}

}  // namespace

std::vector<TreeFile> batchTree(int count, bool oddOnes) {
  std::vector<TreeFile> files;
  for (int i = 0; i < count; ++i) {
    std::string folder = "vol " + std::to_string(i % 4) + "/";
    if (i % 3 != 0) folder += "box " + std::to_string(i % 5) + "/";
    const char* extension = i % 7 == 0 ? "" : i % 2 ? ".dca" : ".rft";
    files.push_back({folder + "doc" + std::to_string(i) + extension,
                     document(i, 1000 + static_cast<std::size_t>(i * 997 % 2000)), "converted"});
  }
  if (!oddOnes) return files;

  const Bytes plain = document(-1, 1200);
  for (const char* name : {"it's a \"quoted\", odd name.dca", "new\nline.dca", "caf\xE9 cr\xE8me",
                           " leading blank.dca", "-dash.dca", "~tilde.dca", "twin.dca"})
    files.push_back({std::string("odd names/") + name, plain, "converted"});
  // Same output name as twin.dca, which comes first.
  files.push_back({"odd names/twin.rft", plain, "failed"});
  for (int i = 1; i <= 3; ++i)
    files.push_back({"damaged/truncated " + std::to_string(i) + ".dca",
                     Bytes(plain.begin(), plain.begin() + static_cast<long>(plain.size() * i / 4)),
                     "failed"});
  const Bytes unknownControl = dca::mbc(0xD7, 0x99, dca::raw({1, 2}));
  for (int i = 1; i <= 2; ++i)
    files.push_back(
        {"damaged/warning " + std::to_string(i) + ".dca",
         dca::document(dca::textUnit("000001", dca::ebc("Before") + unknownControl +
                                                   dca::ebc(" after.") + Bytes{ctl::RCR})),
         "converted with warnings"});
  files.push_back({"not dca/readme.txt", dca::raw({'h', 'e', 'l', 'l', 'o', '\n'}), "not DCA"});
  // A format unit prefix of the wrong type is not one.
  files.push_back({"not dca/other.dca", dca::field(0xE1, 0x04, {}) + plain, "not DCA"});
  files.push_back({"not dca/empty.dca", {}, "not DCA"});
  return files;
}

void writeTree(const std::string& root, const std::vector<TreeFile>& files) {
  namespace fs = std::filesystem;
  for (const auto& file : files) {
    const fs::path path = fs::path(root) / file.path;
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(file.bytes.data()),
              static_cast<std::streamsize>(file.bytes.size()));
    if (!out) throw std::runtime_error("batch tree: cannot write " + path.string());
  }
}

}  // namespace vtest
