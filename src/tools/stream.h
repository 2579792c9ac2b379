// Block copy from one open stream to another.
#pragma once

#include <cstdio>

namespace vantrove {

// Copies `in` from where it stands to `out` in blocks of 10240 bytes. Reports
// nothing: a read error or a write that writes nothing ends the copy.
void StreamCopy(std::FILE* in, std::FILE* out);

}  // namespace vantrove
