#include "support/wellformed.h"

namespace vtest {

std::string tyxFault(const std::string& text) {
  long depth = 0;
  std::size_t line = 1;
  bool quoted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\n') ++line;
    if (quoted) {
      // Inside `...': a backslash escapes the next character, a straight
      // quote ends the text.
      if (c == '\\')
        ++i;
      else if (c == '\'')
        quoted = false;
      else if (c == '\n')
        return "line end inside a quoted text at line " + std::to_string(line - 1);
      continue;
    }
    switch (c) {
      case '`':
        quoted = true;
        break;
      case '#':
        while (i + 1 < text.size() && text[i + 1] != '\n') ++i;
        break;
      case '<':
        ++depth;
        break;
      case '>':
        if (--depth < 0) return "unbalanced > at line " + std::to_string(line);
        break;
      default:
        break;
    }
  }
  if (quoted) return "quoted text not closed";
  if (depth != 0) return std::to_string(depth) + " statement(s) not closed";
  return "";
}

}  // namespace vtest
