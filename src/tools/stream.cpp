// Block copy between two open streams.
#include "tools/stream.h"

#include <array>
#include <cerrno>

namespace vantrove {

void StreamCopy(std::FILE* in, std::FILE* out) {
  std::array<char, 10240> block;
  for (;;) {
    errno = 0;
    const std::size_t got = std::fread(block.data(), 1, block.size(), in);
    if (got == 0 && errno > 0) return;  // read error
    const bool atEnd = got == 0;
    errno = 0;
    // A zero-length write reports 0 and so ends the copy after end of input.
    const std::size_t put = std::fwrite(block.data(), 1, got, out);
    if (put == 0 || atEnd) return;
  }
}

}  // namespace vantrove
