// Property: every valid document converts, with status 0, no diagnostics and
// no temporary file left behind, into well-formed output that ends where a
// document ends. The documents are random mixtures of prose, tables, every
// kind of control, footnotes and margin texts.
#include <gtest/gtest.h>

#include <string>

#include "support/process.h"
#include "support/random_document.h"
#include "support/wellformed.h"

namespace {

TEST(WellFormed, RandomValidDocumentsGiveWellFormedOutput) {
  for (unsigned seed = 1; seed <= 60; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    auto r = vtest::convert(vtest::RandomDocument(seed, false).build());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(vtest::tyxFault(r.out), "");
    EXPECT_TRUE(r.out.ends_with("> # End TextFlow\n"));
    EXPECT_TRUE(vtest::tmpFiles().empty());
  }
}

}  // namespace
