// The sample documents in examples/: each is rebuilt byte for byte by the
// builder, converts with status 0 and no diagnostics into well-formed output,
// converts exactly into the output checked in beside it, and that output
// shows as the page checked in beside it.
#include <gtest/gtest.h>

#include <string>

#include "support/examples.h"
#include "support/process.h"
#include "support/wellformed.h"

namespace {

TEST(Examples, RebuildConvertShowAndCompare) {
  for (const auto& example : vtest::examples()) {
    SCOPED_TRACE(example.name);
    std::string base = std::string(VANTROVE_SOURCE_DIR) + "/examples/" + example.name;
    std::string shipped = vtest::readFile(base + ".dca");
    EXPECT_EQ(shipped, std::string(example.document.begin(), example.document.end()))
        << "examples/" << example.name << ".dca is out of date: rebuild it with make_examples";
    auto r = vtest::convert(example.document);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(vtest::tyxFault(r.out), "");
    EXPECT_EQ(r.out, vtest::readFile(base + ".tyx"));
    EXPECT_TRUE(vtest::tmpFiles().empty());
    r = vtest::runProgram(TYX2HTML_BIN, {base + ".tyx"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, vtest::readFile(base + ".html")) << "examples/" << example.name << ".html";
  }
}

TEST(WellFormed, CheckerFindsFaults) {
  EXPECT_EQ(vtest::tyxFault("<A <B `x>y\\'z'>>\n# <\n"), "");
  EXPECT_NE(vtest::tyxFault("<A\n"), "");
  EXPECT_NE(vtest::tyxFault("<A>>\n"), "");
  EXPECT_NE(vtest::tyxFault("<A `open>\n"), "");
}

}  // namespace
