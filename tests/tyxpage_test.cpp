// The font stacks of tyx2html's page: typewriter faces fixed-pitch, gothic
// faces sans-serif, the rest serif, and a family's own name first, without
// what would break the style. The pages themselves are cases (tests/cases/page_*).
#include "tyx2html/page.h"

#include <gtest/gtest.h>

#include <string>

namespace tyx2html {
namespace {

TEST(TyxPage, FontStacks) {
  const struct {
    std::string_view family;
    bool mono;
    std::string_view first;
  } cases[] = {{"Courier", true, "'Courier New'"},   {"Letter Gothic", true, "'Courier New'"},
               {"Times Roman", false, "'Times New"}, {"Helvetica", false, "Helvetica"},
               {"Sans Serif", false, "Helvetica"},   {"Zapf<x>", false, "'Zapfx',"}};
  for (const auto& c : cases) {
    const FontStack stack = fontStack(c.family);
    EXPECT_EQ(stack.monospace, c.mono) << c.family;
    EXPECT_EQ(stack.css.rfind(c.first, 0), 0u) << c.family << ": " << stack.css;
  }
}

}  // namespace
}  // namespace tyx2html
