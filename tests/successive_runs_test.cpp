// Documents converted one after the other in one process, through the entry
// the fuzz harness uses with every module reset in between, give the same
// output, diagnostics and status as each gives in a process of its own: no
// state of one run reaches the next.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "fontmap/fontmap.h"
#include "support/in_process.h"
#include "support/notation.h"
#include "support/process.h"
#include "vantrove/driver.h"

namespace {

using dca::Bytes;

struct Result {
  int status;
  std::string out, err;
  bool operator==(const Result&) const = default;
};

Result inProcess(const Bytes& document) {
  vtest::startInProcess();
  std::FILE* output = std::tmpfile();
  std::FILE* input = vtest::openBytes(document);
  const vtest::Outcome outcome = vtest::capture([&] { vantrove::KRRun(input, output); });
  std::string out(static_cast<std::size_t>(std::ftell(output)), '\0');
  std::rewind(output);
  out.resize(std::fread(out.data(), 1, out.size(), output));
  std::fclose(output);
  vtest::stopInProcess();  // closes the input if the run left it open
  return {outcome.status, out, outcome.err};
}

TEST(SuccessiveRuns, GiveWhatFreshProcessesGive) {
  std::FILE* map = std::fopen(VANTROVE_SOURCE_DIR "/data/dca.am", "r");
  ASSERT_NE(map, nullptr);
  ASSERT_EQ(vantrove::AmFontOpen(map), 0);
  std::fclose(map);

  std::vector<Bytes> documents;
  for (const char* name : {"letter", "memo", "report"}) {
    const std::string text =
        vtest::readFile(VANTROVE_SOURCE_DIR "/examples/" + std::string(name) + ".dca");
    documents.emplace_back(text.begin(), text.end());
  }
  // Fatal errors that leave state behind: in the scan of a first line, with
  // an alternate master format in force and a footnote open, and before the
  // format units are complete.
  for (const char* text :
       {R"(standardFormat textUnit 000001 { "Cut " <2B D4 01> })",
        R"(standardFormat formatUnitPrefix masterFormat 2 { lineParams left=2880 align=3 }
              marginTextDecl 4 14400 marginTextField 4 { "Foot" }
              textUnitName 000001 establishMaster 2 bodyText { "Note" noteReference 900001 " x" }
              textUnit 900001 { "Open" setGfid 85 beginEmphasis })",
        "formatUnit1"}) {
    documents.push_back(dca::fromText(text));
  }
  // Each after every other one, and after itself.
  std::vector<Result> fresh;
  for (const Bytes& document : documents) {
    const vtest::RunResult r = vtest::convert(document);
    fresh.push_back({r.status, r.out, r.err});
  }
  for (std::size_t i = 0; i < documents.size(); ++i) {
    for (std::size_t j = 0; j < documents.size(); ++j) {
      inProcess(documents[i]);
      EXPECT_EQ(inProcess(documents[j]), fresh[j]) << "document " << j << " after " << i;
    }
  }
  vantrove::AmReset();
}

}  // namespace
