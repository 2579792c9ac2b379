// The sample documents in examples/: each NAME.input, in the DCA builder's
// notation, gives NAME.dca byte for byte, which converts with status 0 and no
// diagnostics into well-formed output, exactly NAME.tyx, which shows as the
// page NAME.html.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/notation.h"
#include "support/process.h"
#include "support/wellformed.h"

namespace {

TEST(Examples, RebuildConvertShowAndCompare) {
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(VANTROVE_SOURCE_DIR "/examples")) {
    if (entry.path().extension() != ".input") continue;
    ++count;
    const std::string base = entry.path().parent_path() / entry.path().stem();
    SCOPED_TRACE(base);
    const dca::Bytes document = dca::fromText(vtest::readFile(base + ".input"));
    EXPECT_EQ(vtest::readFile(base + ".dca"), std::string(document.begin(), document.end()))
        << base << ".dca is out of date: rebuild it with make_examples";
    auto r = vtest::convert(document);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(vtest::tyxFault(r.out), "");
    EXPECT_EQ(r.out, vtest::readFile(base + ".tyx"));
    EXPECT_TRUE(vtest::tmpFiles().empty());
    r = vtest::runProgram(TYX2HTML_BIN, {base + ".tyx"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, vtest::readFile(base + ".html"));
  }
  EXPECT_EQ(count, 3);
}

TEST(WellFormed, CheckerFindsFaults) {
  EXPECT_EQ(vtest::tyxFault("<A <B `x>y\\'z'>>\n# <\n"), "");
  EXPECT_NE(vtest::tyxFault("<A\n"), "");
  EXPECT_NE(vtest::tyxFault("<A>>\n"), "");
  EXPECT_NE(vtest::tyxFault("<A `open>\n"), "");
}

}  // namespace
