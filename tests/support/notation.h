// The DCA builder's text notation: a document written as a sequence of items
// (texts, bytes in hexadecimal, single-byte controls and the builder's
// functions by name with their arguments), as tests/cases/README.md describes.
#pragma once

#include <string_view>

#include "support/dca_builder.h"

namespace dca {

// The bytes the text describes; a fault in it throws std::runtime_error
// naming its line.
Bytes fromText(std::string_view text);

}  // namespace dca
