// The HTML page: one self-contained document with a single style block, laid
// out like the Tyx document it shows (page size and margins, paragraph formats
// with their indents, alignment and tab stops, fonts, footnotes, and the
// header and footer texts).
#pragma once

#include <cstdio>
#include <string>

#include "tyx2html/charset.h"
#include "tyx2html/reader.h"
#include "tyx2html/style.h"

namespace tyx2html {

struct PageOptions {
  Charset charset = Charset::Latin1;
  std::string title;  // the page title, as UTF-8
};

// Reads all events of `reader` and writes the page to `out`, body text as it
// comes. Problems of the document go to `report`. False when a write failed.
bool renderPage(Reader& reader, std::FILE* out, const PageOptions& options, const Report& report);

}  // namespace tyx2html
