// The style block of an HTML page: the CSS that lays out the page box, the
// fonts, tab stops, footnotes and header and footer, and the classes of the
// paragraph formats.
#pragma once

#include <string>
#include <string_view>

#include "tyx2html/charset.h"
#include "tyx2html/reader.h"

namespace tyx2html {

// A number of points for CSS: at most two decimals, no trailing zeros.
std::string pt(double value);

// The CSS font stack shown for a family name, and whether its faces are of
// fixed pitch.
struct FontStack {
  std::string css;
  bool monospace;
};
FontStack fontStack(std::string_view family);

// Appends the head of the page to `out`, up to and including the opening of
// the page box: the title, and the style block made from the document and
// page settings and the paragraph catalog that `reader` has read.
void writeHead(std::string& out, const Reader& reader, Charset charset, std::string_view title);

}  // namespace tyx2html
